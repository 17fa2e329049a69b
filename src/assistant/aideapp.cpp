#include "aideapp.h"

#include "platform/captureecran.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QUuid>

namespace vd::assistant {

using cloud::ErreurCloud;
using cloud::ResultatCloud;
using model::JSONValeur;

namespace {

// Action names (kept out of co_await expressions: g++ 12 rejects string literals there).
const QString actionEtat = QStringLiteral("etat");
const QString actionTickets = QStringLiteral("tickets");
const QString actionTicket = QStringLiteral("ticket");
const QString actionRepondre = QStringLiteral("repondre");
const QString actionLien = QStringLiteral("lien");
const QString actionChat = QStringLiteral("chat");
const QString prefixe = QStringLiteral("support/");

std::optional<QDateTime> date(const QJsonValue& v)
{
    const QString t = v.toString();
    if (t.isEmpty())
        return std::nullopt;
    QDateTime d = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (!d.isValid())
        d = QDateTime::fromString(t, Qt::ISODate);
    return d.isValid() ? std::optional(d) : std::nullopt;
}

} // namespace

MessageDemande MessageDemande::depuisJson(const QJsonObject& o)
{
    MessageDemande m;
    m.id = o.value(QLatin1String("id")).toInt();
    m.auteur = o.value(QLatin1String("auteur")).toString();
    m.texte = o.value(QLatin1String("texte")).toString();
    m.conversationIA = o.value(QLatin1String("conversation_ia")).toBool();
    m.creeLe = date(o.value(QLatin1String("cree_le")));
    for (const QJsonValue& p : o.value(QLatin1String("pieces")).toArray())
        m.pieces.append(PieceServeur::depuisJson(p.toObject()));
    return m;
}

DemandeAide DemandeAide::depuisJson(const QJsonObject& o)
{
    DemandeAide d;
    d.id = o.value(QLatin1String("id")).toVariant().toString();
    d.sujet = o.value(QLatin1String("sujet")).toString();
    d.statut = o.value(QLatin1String("statut")).toString();
    d.creeLe = date(o.value(QLatin1String("cree_le")));
    d.dernierMessageLe = date(o.value(QLatin1String("dernier_message_le")));
    d.dernierAuteur = o.value(QLatin1String("dernier_auteur")).toString();
    d.nonLu = o.value(QLatin1String("non_lu")).toBool();
    for (const QJsonValue& m : o.value(QLatin1String("messages")).toArray())
        d.messages.append(MessageDemande::depuisJson(m.toObject()));
    return d;
}

// ---- transport ----

QCoro::Task<ResultatCloud<JSONValeur>> TransportAideCloud::appeler(QString action, QJsonObject corps, int delaiMs)
{
    QPointer<cloud::ClientSupabase> client = client_;
    if (!client)
        co_return echec(cloud::erreurSession(QStringLiteral("session_absente")));
    co_return co_await client->appelerFonction(prefixe + action, QJsonValue(corps), delaiMs);
}

QCoro::Task<ResultatCloud<JSONValeur>> TransportAideCloud::envoyerPiece(QByteArray donnees, QString type, QString nom,
                                                                        std::optional<QString> ticket)
{
    QPointer<cloud::ClientSupabase> client = client_;
    if (!client)
        co_return echec(cloud::erreurSession(QStringLiteral("session_absente")));
    QList<QPair<QByteArray, QByteArray>> entetes{qMakePair(QByteArrayLiteral("x-vd-nom"), nom.toUtf8().toPercentEncoding())};
    if (ticket && !ticket->isEmpty())
        entetes.append(qMakePair(QByteArrayLiteral("x-vd-ticket"), ticket->toUtf8().toPercentEncoding()));
    const QString chemin = prefixe + QStringLiteral("piece");
    co_return co_await client->envoyerOctetsFonction(chemin, donnees, type.toUtf8(), entetes, delaiPieceMs);
}

// ---- messages ----

std::optional<QString> messageIndice(const QString& indice)
{
    struct Ligne {
        const char* indice;
        const char* message;
    };
    static const Ligne table[] = {
        {"support_trop_de_demandes", "Trop de demandes d'un coup. Patientez une minute, puis réessayez."},
        {"support_limite", "Vous avez posé toutes vos questions à l'aide pour aujourd'hui. Ouvrez un ticket : Nolwe vous répond."},
        {"requete_invalide", "La demande a été refusée. Réessayez."},
        {"requete_trop_longue", "Ce message est trop long. Raccourcissez-le, puis réessayez."},
        {"ticket_introuvable", "Ce ticket est introuvable. Rechargez la liste de vos tickets."},
        {"piece_trop_lourde", "Le fichier dépasse 10 Mo."},
        {"piece_type_refuse", "Ce type de fichier n'est pas accepté. Joignez une image, un PDF, une vidéo courte (MOV, MP4) ou un journal (TXT, LOG)."},
        {"piece_vide", "Le fichier est vide."},
        {"pieces_invalides", "Une pièce jointe n'est plus disponible. Joignez-la de nouveau."},
        {"support_trop_de_pieces", "5 fichiers au plus par message."},
    };
    for (const Ligne& l : table)
        if (indice == QLatin1String(l.indice))
            return QString::fromUtf8(l.message);
    return std::nullopt;
}

QString messageErreurAide(const ErreurCloud& e, const QString& repli, bool chat)
{
    using G = ErreurCloud::Genre;
    if (e.genre == G::session)
        return e.code == QLatin1String("session_expiree") ? e.message : textesAide::nonConnecte;
    if (e.genre == G::fonction && e.code == QLatin1String("non_connecte"))
        return e.message;
    if (auto m = messageIndice(e.code))
        return *m;
    if (e.genre == G::reseau) {
        if (e.code == QStringLiteral("url_%1").arg(int(QNetworkReply::TimeoutError)))
            return chat ? textesAide::tropLongue : cloud::messages::delaiDepasse;
        return textesAide::sansConnexion;
    }
    return repli;
}

// ---- AideApp ----

AideApp::AideApp(std::unique_ptr<TransportAide> transport, platform::Horloge& horloge, QObject* parent)
    : QObject(parent), transport_(std::move(transport)), horloge_(horloge)
{
    minuteur_ = horloge_.creerMinuterie(this);
    connect(minuteur_, &platform::Minuterie::expire, this, &AideApp::rafraichirEtat);
}

AideApp::~AideApp() = default;

void AideApp::setCapture(platform::CaptureEcran* capture)
{
    if (capture_)
        disconnect(capture_, nullptr, this, nullptr);
    capture_ = capture;
    if (!capture_)
        return;
    connect(capture_, &platform::CaptureEcran::terminee, this, [this](bool ok, const QString& chemin, const QString& message) {
        captureEnCours_ = false;
        const auto cible = std::exchange(cibleCapture_, std::nullopt);
        if (!ok) {
            if (!message.isEmpty())
                erreurPieces_ = message;
            Q_EMIT change();
            return;
        }
        if (cible)
            ajouterFichier(*cible, chemin);
        QFile::remove(chemin);
        Q_EMIT change();
    });
}

void AideApp::demarrer()
{
    if (demarre_)
        return;
    demarre_ = true;
    rafraichirEtat();
    minuteur_->demarrer(periodeMs);
}

void AideApp::ouvrir(Onglet onglet)
{
    ouvert_ = true;
    onglet_ = onglet;
    demarrer();
    if (onglet_ == Onglet::demandes && !chargementDemandes_)
        chargerDemandes();
    Q_EMIT change();
}

void AideApp::fermer()
{
    ouvert_ = false;
    Q_EMIT change();
}

void AideApp::setOnglet(Onglet o)
{
    if (o == onglet_)
        return;
    onglet_ = o;
    if (o == Onglet::demandes && ouvert_ && !chargementDemandes_)
        chargerDemandes();
    Q_EMIT change();
}

// ---- counters ----

void AideApp::rafraichirEtat()
{
    if (!transport_)
        return;
    executerEtat();
}

QCoro::Task<void> AideApp::executerEtat()
{
    QPointer<AideApp> moi(this);
    ++compteur_;
    auto r = co_await transport_->appeler(actionEtat, {}, TransportAideCloud::delaiMs);
    if (!moi || !r)
        co_return;
    const int avant = nonLus_;
    lireEtat(r.valeur().qt().toObject());
    dernierEtat_ = horloge_.maintenant();
    // A new answer from support: the open list follows.
    if (nonLus_ != avant && ouvert_ && onglet_ == Onglet::demandes && !chargementDemandes_)
        chargerDemandes();
    Q_EMIT change();
}

void AideApp::lireEtat(const QJsonObject& o)
{
    if (o.value(QLatin1String("non_lus")).isDouble())
        nonLus_ = o.value(QLatin1String("non_lus")).toInt();
    const QJsonValue utilises = o.value(QLatin1String("messages_utilises"));
    const QJsonValue limite = o.value(QLatin1String("limite"));
    if (utilises.isDouble() && limite.isDouble())
        restants_ = std::max(0, limite.toInt() - utilises.toInt());
    else if (o.value(QLatin1String("restants")).isDouble())
        restants_ = std::max(0, o.value(QLatin1String("restants")).toInt());
}

void AideApp::recompter()
{
    int n = 0;
    for (const DemandeAide& d : demandes_)
        n += d.nonLu ? 1 : 0;
    nonLus_ = n;
}

// ---- chat ----

MessageAide* AideApp::messageAide(const QString& id)
{
    for (MessageAide& m : conversation_)
        if (m.id == id)
            return &m;
    return nullptr;
}

QJsonArray AideApp::conversationJson() const
{
    QJsonArray a;
    for (const MessageAide& m : conversation_) {
        if (m.erreur || m.enCours || m.texte.isEmpty())
            continue;
        a.append(QJsonObject{{QStringLiteral("role"), m.role == MessageAide::Role::client ? QStringLiteral("user") : QStringLiteral("assistant")},
                             {QStringLiteral("content"), m.texte}});
    }
    return a;
}

void AideApp::poser(const QString& question)
{
    const QString q = question.trimmed();
    if (q.isEmpty() || enCours_)
        return;
    MessageAide client;
    client.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    client.texte = q;
    client.captures = std::exchange(capturesChat_, {});
    QJsonArray captures;
    for (const PieceJointe& p : client.captures)
        captures.append(QJsonObject{{QStringLiteral("type"), p.type}, {QStringLiteral("data"), QString::fromLatin1(p.donnees.toBase64())}});
    conversation_.append(client);
    QJsonObject corps{{QStringLiteral("messages"), conversationJson()},
                      {QStringLiteral("captures"), captures},
                      {QStringLiteral("ecran"), ecran_},
                      {QStringLiteral("version"), QCoreApplication::applicationVersion()}};
    MessageAide reponse;
    reponse.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    reponse.role = MessageAide::Role::ia;
    reponse.enCours = true;
    conversation_.append(reponse);
    enCours_ = true;
    erreurPieces_.reset();
    Q_EMIT change();
    executerChat(corps, reponse.id);
}

QCoro::Task<void> AideApp::executerChat(QJsonObject corps, QString idReponse)
{
    QPointer<AideApp> moi(this);
    const quint64 generation = generationChat_;
    ++compteur_;
    ResultatCloud<JSONValeur> r = echec(cloud::erreurSession(QStringLiteral("session_absente")));
    if (transport_)
        r = co_await transport_->appeler(actionChat, corps, delaiChatMs);
    if (!moi || generation != generationChat_)
        co_return;
    enCours_ = false;
    MessageAide* m = messageAide(idReponse);
    if (!m)
        co_return;
    m->enCours = false;
    if (r) {
        const QJsonObject o = r.valeur().qt().toObject();
        m->texte = o.value(QLatin1String("texte")).toString().trimmed();
        m->proposeDemande = o.value(QLatin1String("propose_ticket")).toBool();
        if (m->texte.isEmpty()) {
            m->erreur = true;
            m->texte = textesAide::sansReponse;
        }
        lireEtat(o);
    } else {
        m->erreur = true;
        m->texte = messageErreurAide(r.erreur(), textesAide::sansReponse, true);
        if (r.erreur().genre == ErreurCloud::Genre::fonction && r.erreur().statut >= 400 && r.erreur().statut < 500
            && !messageIndice(r.erreur().code) && r.erreur().code != QLatin1String("non_connecte"))
            m->texte = textesAide::refusee;
    }
    Q_EMIT change();
}

void AideApp::nouvelleConversation()
{
    ++generationChat_;
    conversation_.clear();
    capturesChat_.clear();
    enCours_ = false;
    Q_EMIT change();
}

// ---- attachments ----

QList<PieceJointe>* AideApp::liste(const Cible& c)
{
    switch (c.genre) {
    case Cible::Genre::chat: return &capturesChat_;
    case Cible::Genre::formulaire: return &formulaire_.pieces;
    case Cible::Genre::reponse: return &piecesReponse_[c.ticket];
    }
    return nullptr;
}

QList<PieceJointe> AideApp::pieces(const Cible& c) const
{
    switch (c.genre) {
    case Cible::Genre::chat: return capturesChat_;
    case Cible::Genre::formulaire: return formulaire_.pieces;
    case Cible::Genre::reponse: return piecesReponse_.value(c.ticket);
    }
    return {};
}

bool AideApp::ajouterDonnees(const Cible& c, const QString& nom, const QByteArray& donnees)
{
    QList<PieceJointe>* l = liste(c);
    const bool chat = c.genre == Cible::Genre::chat;
    auto refuser = [this](const QString& m) {
        erreurPieces_ = m;
        Q_EMIT change();
        return false;
    };
    if (chat && l->size() >= PiecesJointes::maxCapturesQuestion)
        return refuser(PiecesJointes::textes::tropDeCaptures);
    if (!chat && l->size() >= PiecesJointes::maxParMessage)
        return refuser(PiecesJointes::textes::tropDeFichiers);
    auto p = chat ? PiecesJointes::preparerPourChat(nom, donnees) : PiecesJointes::preparer(nom, donnees);
    if (!p)
        return refuser(p.erreur().message);
    l->append(p.valeur());
    erreurPieces_.reset();
    Q_EMIT change();
    return true;
}

bool AideApp::ajouterFichier(const Cible& c, const QString& chemin)
{
    auto d = PiecesJointes::lireFichier(chemin);
    if (!d) {
        erreurPieces_ = d.erreur().message;
        Q_EMIT change();
        return false;
    }
    return ajouterDonnees(c, QFileInfo(chemin).fileName(), d.valeur());
}

bool AideApp::collerImage(const Cible& c, const QImage& image)
{
    if (image.isNull()) {
        erreurPieces_ = QStringLiteral("Le presse-papiers ne contient pas d'image.");
        Q_EMIT change();
        return false;
    }
    return ajouterDonnees(c, PiecesJointes::textes::imageCollee, PiecesJointes::enPng(image));
}

void AideApp::capturer(const Cible& c)
{
    if (captureEnCours_)
        return;
    if (!capture_ || !capture_->disponible()) {
        erreurPieces_ = platform::CaptureEcran::indisponible();
        Q_EMIT change();
        return;
    }
    captureEnCours_ = true;
    cibleCapture_ = c;
    erreurPieces_.reset();
    Q_EMIT change();
    const QString nom = PiecesJointes::nomCapture(horloge_.maintenant()) + QStringLiteral(".png");
    capture_->capturer(QDir(PiecesJointes::dossierTemporaire()).filePath(nom));
}

void AideApp::retirerPiece(const Cible& c, const QString& id)
{
    QList<PieceJointe>* l = liste(c);
    l->removeIf([&id](const PieceJointe& p) { return p.id == id && p.etat != PieceJointe::Etat::envoi; });
    erreurPieces_.reset();
    Q_EMIT change();
}

void AideApp::reessayerPiece(const Cible& c, const QString& id)
{
    for (const PieceJointe& p : *liste(c))
        if (p.id == id && p.etat == PieceJointe::Etat::erreur) {
            envoyerUnePiece(c, id, c.genre == Cible::Genre::reponse ? std::optional(c.ticket) : std::nullopt);
            return;
        }
}

QCoro::Task<void> AideApp::envoyerUnePiece(Cible c, QString id, std::optional<QString> ticket)
{
    QPointer<AideApp> moi(this);
    PieceJointe* p = nullptr;
    for (PieceJointe& x : *liste(c))
        if (x.id == id)
            p = &x;
    if (!p || !transport_ || p->etat == PieceJointe::Etat::envoi || p->etat == PieceJointe::Etat::envoyee)
        co_return;
    p->etat = PieceJointe::Etat::envoi;
    p->erreur.clear();
    const QByteArray donnees = p->donnees;
    const QString type = p->type, nom = p->nom;
    Q_EMIT change();
    ++compteur_;
    auto r = co_await transport_->envoyerPiece(donnees, type, nom, ticket);
    if (!moi)
        co_return;
    // The list may have moved meanwhile: find the file again.
    p = nullptr;
    for (PieceJointe& x : *liste(c))
        if (x.id == id)
            p = &x;
    if (!p)
        co_return;
    const QString idServeur = r ? r.valeur().qt().toObject().value(QLatin1String("id")).toVariant().toString() : QString();
    if (r && !idServeur.isEmpty()) {
        p->etat = PieceJointe::Etat::envoyee;
        p->idServeur = idServeur;
    } else {
        p->etat = PieceJointe::Etat::erreur;
        const QString raison = r ? cloud::messages::generique : messageErreurAide(r.erreur(), r.erreur().message.isEmpty() ? cloud::messages::generique : r.erreur().message);
        p->erreur = QStringLiteral("« ") + p->nom + QStringLiteral(" » n'est pas parti. ") + raison;
    }
    Q_EMIT change();
}

QCoro::Task<bool> AideApp::envoyerPieces(Cible c, std::optional<QString> ticket)
{
    QPointer<AideApp> moi(this);
    QStringList ids;
    for (const PieceJointe& p : *liste(c))
        if (p.etat != PieceJointe::Etat::envoyee)
            ids << p.id;
    // One after the other: the order of the files is the order the user chose.
    for (const QString& id : ids) {
        co_await envoyerUnePiece(c, id, ticket);
        if (!moi)
            co_return false;
    }
    for (const PieceJointe& p : *liste(c))
        if (p.etat != PieceJointe::Etat::envoyee)
            co_return false;
    co_return true;
}

// ---- new ticket ----

void AideApp::nouveauTicket(bool avecConversation)
{
    if (!formulaireOuvert_)
        formulaire_ = Formulaire{};
    formulaireOuvert_ = true;
    formulaire_.sujetEnCours = true;
    formulaire_.avecConversation = avecConversation && !conversationJson().isEmpty();
    if (formulaire_.avecConversation && formulaire_.message.isEmpty()) {
        // The last question is a fair start for the description.
        for (auto it = conversation_.crbegin(); it != conversation_.crend(); ++it)
            if (it->role == MessageAide::Role::client) {
                formulaire_.message = it->texte;
                break;
            }
    }
    confirmation_.reset();
    onglet_ = Onglet::demandes;
    Q_EMIT change();
}

void AideApp::fermerFormulaire()
{
    if (formulaire_.envoi)
        return;
    formulaireOuvert_ = false;
    formulaire_ = Formulaire{};
    Q_EMIT change();
}

void AideApp::setSujet(const QString& s)
{
    formulaire_.sujet = s;
}

void AideApp::setMessage(const QString& m)
{
    formulaire_.message = m;
}

void AideApp::setAvecConversation(bool b)
{
    formulaire_.avecConversation = b;
    Q_EMIT change();
}

void AideApp::envoyerFormulaire()
{
    if (formulaire_.envoi)
        return;
    confirmation_.reset();
    if (formulaire_.sujet.trimmed().isEmpty())
        formulaire_.erreur = textesAide::sujetManquant;
    else if (formulaire_.message.trimmed().isEmpty())
        formulaire_.erreur = textesAide::messageManquant;
    else if (!transport_)
        formulaire_.erreur = textesAide::nonConnecte;
    else {
        formulaire_.erreur.reset();
        formulaire_.envoi = true;
        Q_EMIT change();
        executerFormulaire();
        return;
    }
    Q_EMIT change();
}

QCoro::Task<void> AideApp::executerFormulaire()
{
    QPointer<AideApp> moi(this);
    const bool toutes = co_await envoyerPieces(Cible::formulaire(), std::nullopt);
    if (!moi)
        co_return;
    if (!toutes) {
        // Nothing is sent: the form keeps its files, the failed ones say why.
        formulaire_.envoi = false;
        for (const PieceJointe& p : formulaire_.pieces)
            if (p.etat == PieceJointe::Etat::erreur) {
                formulaire_.erreur = p.erreur;
                break;
            }
        Q_EMIT change();
        co_return;
    }
    QJsonArray ids;
    for (const PieceJointe& p : formulaire_.pieces)
        ids.append(*p.idServeur);
    QJsonObject corps{{QStringLiteral("sujet"), formulaire_.sujet.trimmed()},
                      {QStringLiteral("message"), formulaire_.message.trimmed()},
                      {QStringLiteral("pieces"), ids}};
    if (formulaire_.avecConversation)
        corps.insert(QStringLiteral("conversation"), conversationJson());
    ++compteur_;
    auto r = co_await transport_->appeler(actionTicket, corps, TransportAideCloud::delaiMs);
    if (!moi)
        co_return;
    formulaire_.envoi = false;
    if (!r) {
        formulaire_.erreur = messageErreurAide(r.erreur(), textesAide::ticketEchoue);
        Q_EMIT change();
        co_return;
    }
    const QJsonObject o = r.valeur().qt().toObject();
    const DemandeAide d = DemandeAide::depuisJson(o.value(QLatin1String("ticket")).isObject() ? o.value(QLatin1String("ticket")).toObject() : o);
    formulaire_ = Formulaire{};
    formulaireOuvert_ = false;
    confirmation_ = textesAide::ticketEnvoye;
    if (!d.id.isEmpty()) {
        remplacer(d);
        demandeOuverte_ = d.id;
    }
    onglet_ = Onglet::demandes;
    Q_EMIT change();
}

// ---- tickets ----

const DemandeAide* AideApp::demande(const QString& id) const
{
    for (const DemandeAide& d : demandes_)
        if (d.id == id)
            return &d;
    return nullptr;
}

void AideApp::remplacer(const DemandeAide& d)
{
    for (DemandeAide& x : demandes_)
        if (x.id == d.id) {
            x = d;
            recompter();
            return;
        }
    demandes_.prepend(d);
    recompter();
}

void AideApp::chargerDemandes()
{
    if (!transport_) {
        erreurDemandes_ = textesAide::nonConnecte;
        Q_EMIT change();
        return;
    }
    if (chargementDemandes_)
        return;
    chargementDemandes_ = true;
    erreurDemandes_.reset();
    Q_EMIT change();
    executerDemandes();
}

QCoro::Task<void> AideApp::executerDemandes()
{
    QPointer<AideApp> moi(this);
    ++compteur_;
    auto r = co_await transport_->appeler(actionTickets, {}, TransportAideCloud::delaiMs);
    if (!moi)
        co_return;
    chargementDemandes_ = false;
    if (!r) {
        erreurDemandes_ = r.erreur().genre == ErreurCloud::Genre::session ? messageErreurAide(r.erreur(), textesAide::listeEchouee)
                                                                          : textesAide::listeEchouee;
        Q_EMIT change();
        co_return;
    }
    const QJsonObject o = r.valeur().qt().toObject();
    QHash<QString, QList<MessageDemande>> fils;
    for (const DemandeAide& d : demandes_)
        fils.insert(d.id, d.messages);
    demandes_.clear();
    for (const QJsonValue& v : o.value(QLatin1String("tickets")).toArray()) {
        DemandeAide d = DemandeAide::depuisJson(v.toObject());
        if (d.messages.isEmpty())
            d.messages = fils.value(d.id);
        demandes_.append(d);
    }
    recompter();
    if (o.value(QLatin1String("non_lus")).isDouble())
        nonLus_ = o.value(QLatin1String("non_lus")).toInt();
    Q_EMIT change();
}

void AideApp::ouvrirDemande(const QString& id)
{
    demandeOuverte_ = id;
    erreurReponse_.reset();
    Q_EMIT change();
    if (transport_)
        executerDemande(id);
}

void AideApp::fermerDemande()
{
    demandeOuverte_.reset();
    Q_EMIT change();
}

QCoro::Task<void> AideApp::executerDemande(QString id)
{
    QPointer<AideApp> moi(this);
    ++compteur_;
    const QJsonObject corps{{QStringLiteral("ticket_id"), id}};
    auto r = co_await transport_->appeler(actionTicket, corps, TransportAideCloud::delaiMs);
    if (!moi)
        co_return;
    if (!r) {
        erreurReponse_ = messageErreurAide(r.erreur(), textesAide::listeEchouee);
        Q_EMIT change();
        co_return;
    }
    const QJsonObject o = r.valeur().qt().toObject();
    DemandeAide d = DemandeAide::depuisJson(o.value(QLatin1String("ticket")).isObject() ? o.value(QLatin1String("ticket")).toObject() : o);
    if (d.id.isEmpty())
        d.id = id;
    d.nonLu = false;   // read now
    remplacer(d);
    Q_EMIT change();
}

void AideApp::repondre(const QString& ticket, const QString& texte)
{
    if (envoiReponse_)
        return;
    if (texte.trimmed().isEmpty() && piecesReponse_.value(ticket).isEmpty()) {
        erreurReponse_ = textesAide::reponseVide;
        Q_EMIT change();
        return;
    }
    if (!transport_) {
        erreurReponse_ = textesAide::nonConnecte;
        Q_EMIT change();
        return;
    }
    envoiReponse_ = true;
    erreurReponse_.reset();
    Q_EMIT change();
    executerReponse(ticket, texte.trimmed());
}

QCoro::Task<void> AideApp::executerReponse(QString ticket, QString texte)
{
    QPointer<AideApp> moi(this);
    const bool toutes = co_await envoyerPieces(Cible::reponse(ticket), ticket);
    if (!moi)
        co_return;
    if (!toutes) {
        envoiReponse_ = false;
        for (const PieceJointe& p : piecesReponse_.value(ticket))
            if (p.etat == PieceJointe::Etat::erreur) {
                erreurReponse_ = p.erreur;
                break;
            }
        Q_EMIT change();
        co_return;
    }
    QJsonArray ids;
    for (const PieceJointe& p : piecesReponse_.value(ticket))
        ids.append(*p.idServeur);
    ++compteur_;
    const QJsonObject corps{{QStringLiteral("ticket_id"), ticket}, {QStringLiteral("texte"), texte}, {QStringLiteral("pieces"), ids}};
    auto r = co_await transport_->appeler(actionRepondre, corps, TransportAideCloud::delaiMs);
    if (!moi)
        co_return;
    envoiReponse_ = false;
    if (!r) {
        erreurReponse_ = messageErreurAide(r.erreur(), textesAide::reponseEchouee);
        Q_EMIT change();
        co_return;
    }
    piecesReponse_.remove(ticket);
    const QJsonObject o = r.valeur().qt().toObject();
    if (o.value(QLatin1String("ticket")).isObject()) {
        DemandeAide d = DemandeAide::depuisJson(o.value(QLatin1String("ticket")).toObject());
        d.nonLu = false;
        remplacer(d);
    } else {
        executerDemande(ticket);
    }
    Q_EMIT change();
}

QCoro::Task<ResultatCloud<QUrl>> AideApp::lien(QString pieceId)
{
    if (!transport_)
        co_return echec(cloud::erreurSession(QStringLiteral("session_absente")));
    const QJsonObject corps{{QStringLiteral("piece_id"), pieceId}};
    auto r = co_await transport_->appeler(actionLien, corps, TransportAideCloud::delaiMs);
    if (!r)
        co_return echec(r.erreur());
    const QUrl u(r.valeur().qt().toObject().value(QLatin1String("url")).toString());
    if (!u.isValid() || u.isEmpty())
        co_return echec(cloud::erreurIllisible());
    co_return u;
}

} // namespace vd::assistant
