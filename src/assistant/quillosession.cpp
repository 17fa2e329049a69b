#include "quillosession.h"

#include "ai/moteur.h"
#include "ai/routes.h"
#include "model/store.h"
#include "quilloappliquer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QUrl>
#include <QUuid>

Q_LOGGING_CATEGORY(lcQuillo, "vd.assistant.quillo")

namespace vd::assistant {

namespace {

// Bumped on every change of any session's store, so the engine's copy of the
// app data is sent again only when it is stale.
quint64 compteurDonnees = 0;
quint64 donneesChargees = 0;
// Set while a session writes its conversation or memory, which the read tools never see.
bool ecritureConversation = false;

template<typename F>
void sansChangerDonnees(F&& f)
{
    ecritureConversation = true;
    f();
    ecritureConversation = false;
}

QString nouvelId(const char* prefixe)
{
    return QString::fromLatin1(prefixe) + QUuid::createUuid().toString(QUuid::WithoutBraces).remove(QLatin1Char('-')).left(16);
}

QByteArray compact(const QJsonValue& v)
{
    return v.isObject() ? QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact)
                        : QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact);
}

QJsonObject lireObjet(const QString& t) { return QJsonDocument::fromJson(t.toUtf8()).object(); }

QJsonObject resultatOutil(const QString& id, const QString& contenu, bool erreur = false)
{
    QJsonObject r{{QStringLiteral("type"), QStringLiteral("tool_result")},
                  {QStringLiteral("tool_use_id"), id},
                  {QStringLiteral("content"), contenu}};
    if (erreur)
        r.insert(QStringLiteral("is_error"), true);
    return r;
}

SourceQuillo versSource(ai::SourceIA s)
{
    switch (s) {
    case ai::SourceIA::cle: return SourceQuillo::cle;
    case ai::SourceIA::cloud: return SourceQuillo::cloud;
    case ai::SourceIA::relais: return SourceQuillo::relais;
    case ai::SourceIA::demo: break;
    }
    return SourceQuillo::demo;
}

// The demonstration's stream, played event by event as if it came from the network.
class FluxDemoQuillo final : public ai::FluxReponse {
public:
    FluxDemoQuillo(const QByteArray& texte, platform::Horloge& h, int pauseMs, QObject* parent)
        : FluxReponse(parent), horloge_(h), pause_(pauseMs)
    {
        morceaux_ = texte.split('\n');
        horloge_.apres(pause_, this, [this] { suivant(); });
    }
    void annuler() override { annule_ = true; }
    QByteArray entete(const QByteArray&) const override { return {}; }

private:
    void suivant()
    {
        if (annule_)
            return;
        // A few events per step: the text grows word by word.
        for (int n = 0; n < 6 && i_ < morceaux_.size(); ++n, ++i_)
            Q_EMIT donnees(morceaux_[i_] + '\n');
        if (i_ >= morceaux_.size()) {
            Q_EMIT fin();
            return;
        }
        horloge_.apres(pause_, this, [this] { suivant(); });
    }
    platform::Horloge& horloge_;
    int pause_;
    QList<QByteArray> morceaux_;
    qsizetype i_ = 0;
    bool annule_ = false;
};

} // namespace

QuilloSession::QuilloSession(model::Store& store, ConfigQuillo config, QString mode, QObject* parent)
    : QObject(parent), store_(store), config_(std::move(config)),
      moteur_(config_.client.moteur ? *config_.client.moteur : ai::Moteur::instance()),
      horloge_(config_.client.horloge ? *config_.client.horloge : platform::Horloge::instance()), mode_(std::move(mode))
{
    versionDonnees_ = ++compteurDonnees;
    connect(&store_, &model::Store::etatChange, this, [this] {
        if (!ecritureConversation)
            versionDonnees_ = ++compteurDonnees;
    });
    if (!config_.client.reseau) {
        static QNetworkAccessManager* r = new QNetworkAccessManager();
        config_.client.reseau = r;
    }
    if (config_.client.urlAnthropic.isEmpty()) {
        const QString v = qEnvironmentVariable("VD_URL_ANTHROPIC").trimmed();
        config_.client.urlAnthropic = QUrl(v.isEmpty() ? QStringLiteral("https://api.anthropic.com") : v);
    }
    if (!config_.client.routes.connecte && config_.client.cloud) {
        ai::AccesCloudIA* cloud = config_.client.cloud;
        config_.client.routes.connecte = [cloud] { return cloud->connecte(); };
    }
    nouvelle();
}

QuilloSession::~QuilloSession() { arreterLecture(); }

QString QuilloSession::maintenant() const { return store_.horodatageMaintenant(); }
QString QuilloSession::aujourdhui() const { return horloge_.maintenant().toLocalTime().date().toString(Qt::ISODate); }

bool QuilloSession::memoireActive() const
{
    return store_.etat().reglages.quillo.qt().toObject().value(QLatin1String("memoire")).toBool(true);
}

QJsonValue QuilloSession::donnees()
{
    if (donneesChargees == versionDonnees_)
        return QString();
    donneesChargees = versionDonnees_;
    return QString::fromUtf8(donneesQuillo(store_.etat(), aujourdhui()));
}

void QuilloSession::nouvelle()
{
    if (enCours_)
        arreter();
    conversation_ = ConversationQuillo();
    conversation_.id = nouvelId("q_");
    conversation_.mode = mode_;
    conversation_.creeLe = conversation_.majLe = maintenant();
    historiqueCoupe_ = false;
    Q_EMIT changement();
}

void QuilloSession::lierAppel(const QString& appelId)
{
    if (conversation_.appelId == appelId)
        return;
    nouvelle();
    conversation_.appelId = appelId;
    conversation_.titre = QStringLiteral("Pendant l'appel");
}

QList<ConversationQuillo> QuilloSession::conversations(const model::Store& store)
{
    QList<ConversationQuillo> r;
    for (const model::JSONValeur& v : store.etat().quilloConversations)
        if (v.qt().isObject())
            r.append(ConversationQuillo::depuisJson(v.qt().toObject()));
    std::sort(r.begin(), r.end(), [](const auto& a, const auto& b) { return a.majLe > b.majLe; });
    return r;
}

bool QuilloSession::ouvrir(const QString& id)
{
    for (const ConversationQuillo& c : conversations(store_))
        if (c.id == id) {
            if (enCours_)
                arreter();
            conversation_ = c;
            historiqueCoupe_ = false;
            Q_EMIT changement();
            return true;
        }
    return false;
}

void QuilloSession::supprimerHistorique(model::Store& store)
{
    QList<model::Store::Suppression> s;
    for (const model::JSONValeur& v : store.etat().quilloConversations)
        s.append({QStringLiteral("quilloConversations"), v.qt().toObject().value(QLatin1String("id")).toString()});
    store.modifier([](model::Etat& e) { e.quilloConversations.clear(); }, s);
}

void QuilloSession::supprimerMemoire(model::Store& store)
{
    store.modifier([](model::Etat& e) { e.quilloMemoire.clear(); });
}

bool QuilloSession::ouvrirLien(const QString& url)
{
    const QUrl u(url.trimmed());
    const QString s = u.scheme().toLower();
    if (!u.isValid() || (s != QLatin1String("http") && s != QLatin1String("https") && s != QLatin1String("mailto")))
        return false;
    if (ouvrirURL)
        ouvrirURL(u.toString());
    return true;
}

void QuilloSession::sauver()
{
    conversation_.majLe = maintenant();
    const QJsonObject o = conversation_.versJson();
    const QString id = conversation_.id;
    sansChangerDonnees([&] { store_.modifier([&](model::Etat& e) {
        for (model::JSONValeur& v : e.quilloConversations)
            if (v.qt().toObject().value(QLatin1String("id")).toString() == id) {
                v = model::JSONValeur(o);
                return;
            }
        e.quilloConversations.append(model::JSONValeur(o));
    }); });
}

ElementQuillo& QuilloSession::ajouter(ElementQuillo e)
{
    if (e.id.isEmpty())
        e.id = nouvelId("e_");
    if (e.le.isEmpty())
        e.le = maintenant();
    conversation_.affichage.append(std::move(e));
    Q_EMIT changement();
    return conversation_.affichage.last();
}

ElementQuillo* QuilloSession::element(const QString& toolUseId)
{
    for (ElementQuillo& e : conversation_.affichage)
        if (e.genre == ElementQuillo::Genre::proposition && e.toolUseId == toolUseId)
            return &e;
    return nullptr;
}

void QuilloSession::demander(const QString& questionBrute)
{
    const QString question = questionBrute.trimmed();
    if (enCours_ || question.isEmpty())
        return;
    ++generation_;
    enCours_ = true;
    tours_ = 0;
    texteDansQuestion_ = false;
    reformulee_ = false;
    outilsAppeles_.clear();
    if (conversation_.titre.isEmpty())
        conversation_.titre = question.left(80);
    if (!conversation_.aujourdhui)
        conversation_.aujourdhui = aujourdhui();
    if (memoireActive() && !conversation_.memoire)
        conversation_.memoire = store_.etat().quilloMemoire;
    ElementQuillo q;
    q.genre = ElementQuillo::Genre::question;
    q.texte = question;
    ajouter(q);
    // Notes of the app (decisions taken since the last turn) travel with the question.
    QJsonArray contenu;
    for (const QString& n : std::as_const(conversation_.notesApp))
        contenu.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("text")}, {QStringLiteral("text"), n}});
    conversation_.notesApp.clear();
    contenu.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("text")}, {QStringLiteral("text"), question}});
    // After a stop, a cut or a round limit, the last turn may already be the user's: the question joins it.
    const QJsonObject dernier = conversation_.messages.isEmpty() ? QJsonObject() : lireObjet(conversation_.messages.last());
    if (dernier.value(QLatin1String("role")).toString() == QLatin1String("user")) {
        QJsonArray avant = dernier.value(QLatin1String("content")).toArray();
        if (dernier.value(QLatin1String("content")).isString())
            avant = QJsonArray{QJsonObject{{QStringLiteral("type"), QStringLiteral("text")},
                                           {QStringLiteral("text"), dernier.value(QLatin1String("content")).toString()}}};
        for (const QJsonValue& v : contenu)
            avant.append(v);
        conversation_.messages.last() = QString::fromUtf8(
            compact(QJsonObject{{QStringLiteral("role"), QStringLiteral("user")}, {QStringLiteral("content"), avant}}));
    } else {
        conversation_.messages.append(QString::fromUtf8(
            compact(QJsonObject{{QStringLiteral("role"), QStringLiteral("user")}, {QStringLiteral("content"), contenu}})));
    }
    Q_EMIT changement();
    if (config_.sourceForcee) {
        source_ = config_.sourceForcee;
        envoyerTour();
        return;
    }
    const int g = generation_;
    ai::choisirSourceIA(config_.client.routes, this, [this, g](ai::SourceIA s) {
        if (g != generation_ || !enCours_)
            return;
        source_ = versSource(s);
        envoyerTour();
    });
}

void QuilloSession::envoyerTour()
{
    auto conf = moteur_.appelerJSON(QStringLiteral("quilloConfiguration"), {mode_});
    if (!conf) {
        erreur(conf.erreur().description());
        return;
    }
    maxTours_ = conf.valeur().toObject().value(QLatin1String("maxTours")).toInt(config_.maxToursDefaut);
    QJsonArray messages;
    for (const QString& m : std::as_const(conversation_.messages))
        messages.append(lireObjet(m));
    QJsonObject p{{QStringLiteral("messages"), messages},
                  {QStringLiteral("mode"), mode_},
                  {QStringLiteral("aujourdhui"), conversation_.aujourdhui.value_or(aujourdhui())},
                  {QStringLiteral("memoireActive"), memoireActive()},
                  {QStringLiteral("sansStrict"), sansStrict()}};
    const QString modele = store_.etat().reglages.quillo.qt().toObject().value(QLatin1String("modele")).toString();
    if (!modele.isEmpty())
        p.insert(QStringLiteral("modele"), modele);
    if (memoireActive()) {
        QJsonArray mem;
        for (const QString& f : conversation_.memoire.value_or(QStringList()))
            mem.append(f);
        p.insert(QStringLiteral("memoire"), mem);
    }
    if (contexteQuestion)
        p.insert(QStringLiteral("contexteAppel"), *contexteQuestion);
    auto r = moteur_.appelerJSON(QStringLiteral("quilloRequete"), {p});
    if (!r) {
        erreur(r.erreur().description());
        return;
    }
    const QJsonObject o = r.valeur().toObject();
    const bool coupe = o.value(QLatin1String("historiqueCoupe")).toBool();
    if (coupe != historiqueCoupe_) {
        historiqueCoupe_ = coupe;
        Q_EMIT changement();
    }
    QJsonObject corps = o.value(QLatin1String("corps")).toObject();
    corps.insert(QStringLiteral("stream"), true);
    derniereRequete_ = corps;
    ouvrirFlux(corps);
}

void QuilloSession::ouvrirFlux(const QJsonObject& corps)
{
    arreterLecture();
    flux_ = FluxQuillo();
    decoupeur_.vider();
    elementsTexte_.clear();
    ai::FluxReponse* f = nullptr;
    const ai::ConfigClientIA& c = config_.client;
    auto requete = [](const QUrl& url) {
        QNetworkRequest req(url);
        req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        req.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        req.setRawHeader("content-type", "application/json");
        req.setRawHeader("accept", "text/event-stream");
        return req;
    };
    const int inactivite = config_.delaiMs + 30000;
    switch (*source_) {
    case SourceQuillo::demo: {
        auto d = moteur_.appelerTexte(QStringLiteral("quilloDemo"),
                                      {QJsonObject{{QStringLiteral("messages"), corps.value(QLatin1String("messages"))}}});
        if (!d) {
            erreur(d.erreur().description());
            return;
        }
        f = new FluxDemoQuillo(d.valeur().toUtf8(), horloge_, config_.pauseDemoMs, this);
        break;
    }
    case SourceQuillo::cle: {
        platform::Coffre& coffre = c.routes.coffre ? *c.routes.coffre : platform::Coffre::instance();
        const std::optional<QString> cle = ai::lireCle(coffre, ai::cleAnthropic);
        if (!cle) {
            erreur(messageErreurQuillo(401, {}, {}, SourceQuillo::cle));
            return;
        }
        QString base = c.urlAnthropic.toString();
        if (!base.endsWith(QLatin1Char('/')))
            base += QLatin1Char('/');
        QNetworkRequest req = requete(QUrl(base + QStringLiteral("v1/messages")));
        req.setRawHeader("x-api-key", cle->toUtf8());
        req.setRawHeader("anthropic-version", "2023-06-01");
        if (const std::optional<QString> ws = ai::lireCle(coffre, ai::cleWorkspace))
            req.setRawHeader("anthropic-workspace-id", ws->toUtf8());
        QJsonObject envoi = corps;
        const QString modele = corps.value(QLatin1String("model")).toString();
        if (moteur_.appelerBooleen(QStringLiteral("repliSupporte"), {modele}).valeurOu(false)) {
            envoi.insert(QStringLiteral("fallbacks"), QStringLiteral("default"));
            req.setRawHeader("anthropic-beta", "server-side-fallback-2026-07-01");
        }
        f = new ai::FluxHttp(c.reseau->post(req, compact(envoi)), horloge_, inactivite, false, this);
        break;
    }
    case SourceQuillo::relais: {
        const std::optional<QUrl> relais = ai::normaliserRelais(c.routes.relais ? c.routes.relais() : QString());
        if (!relais) {
            erreur(textesQuillo::reseau);
            return;
        }
        const QJsonObject contenu{{QStringLiteral("tache"), QStringLiteral("quillo")}, {QStringLiteral("payload"), corps}};
        const QJsonObject envoi{
            {QStringLiteral("model"), corps.value(QLatin1String("model"))},
            {QStringLiteral("max_tokens"), 16000},
            {QStringLiteral("stream"), true},
            {QStringLiteral("messages"),
             QJsonArray{QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                                    {QStringLiteral("content"), QString::fromUtf8(ai::texteJsonTrie(contenu))}}}}};
        f = new ai::FluxHttp(c.reseau->post(requete(ai::urlRelais(*relais, QStringLiteral("api/v1/messages"))), compact(envoi)),
                             horloge_, inactivite, false, this);
        break;
    }
    case SourceQuillo::cloud:
        if (!c.cloud || !c.cloud->connecte()) {
            erreur(ai::messages::connexionRequise);
            return;
        }
        f = c.cloud->ouvrirFlux(QStringLiteral("claude"),
                                QJsonObject{{QStringLiteral("tache"), QStringLiteral("quillo")}, {QStringLiteral("payload"), corps}},
                                c.inactiviteCloudMs);
        if (!f) {
            erreur(ai::messages::connexionRequise);
            return;
        }
        f->setParent(this);
        break;
    }
    lecture_ = f;
    connect(f, &ai::FluxReponse::donnees, this, &QuilloSession::surDonnees);
    connect(f, &ai::FluxReponse::fin, this, &QuilloSession::surFin);
    connect(f, &ai::FluxReponse::echec, this, &QuilloSession::surEchec);
    if (!veille_) {
        veille_ = horloge_.creerMinuterie(this);
        veille_->setUnique(true);
        connect(veille_, &platform::Minuterie::expire, this, [this] {
            if (lecture_) {
                arreterLecture();
                erreur(textesQuillo::delai);
            }
        });
    }
    veille_->demarrer(config_.delaiMs);
}

void QuilloSession::arreterLecture()
{
    if (veille_)
        veille_->arreter();
    if (lecture_) {
        ai::FluxReponse* f = lecture_;
        lecture_ = nullptr;
        f->disconnect(this);
        f->annuler();
        f->deleteLater();
    }
}

void QuilloSession::surDonnees(const QByteArray& morceau)
{
    if (!lecture_)
        return;
    veille_->demarrer(config_.delaiMs);
    decoupeur_.ajouter(morceau, [this](QByteArrayView l) {
        if (flux_.erreur)
            return;
        const std::optional<FluxQuillo::Evenement> ev = flux_.ligne(l);
        if (!ev)
            return;
        if (ev->genre == FluxQuillo::Evenement::Genre::texte) {
            // Each text block of the round is its own displayed answer, shown as it grows.
            auto it = elementsTexte_.find(ev->index);
            if (it == elementsTexte_.end()) {
                ElementQuillo r;
                r.genre = ElementQuillo::Genre::reponse;
                it = elementsTexte_.insert(ev->index, ajouter(r).id);
            }
            for (ElementQuillo& e : conversation_.affichage)
                if (e.id == *it) {
                    e.texte += ev->delta;
                    break;
                }
            texteDansQuestion_ = true;
            Q_EMIT texteRecu(*it);
        }
    });
    if (flux_.erreur && lecture_) {
        arreterLecture();
        const int statut = ai::statutPourErreurFlux(flux_.erreur->type);
        ai::EchecFlux e;
        e.genre = ai::EchecFlux::Genre::http;
        e.statut = statut;
        e.message = flux_.erreur->message;
        e.code = flux_.erreur->type;
        lecture_ = nullptr;
        surEchec(e);
    }
}

void QuilloSession::surFin()
{
    if (!lecture_)
        return;
    arreterLecture();
    terminerTour();
}

void QuilloSession::surEchec(const ai::EchecFlux& e)
{
    arreterLecture();
    if (!enCours_)
        return;
    if (e.genre == ai::EchecFlux::Genre::reseau) {
        erreur(textesQuillo::reseau);
        return;
    }
    if (e.genre == ai::EchecFlux::Genre::session) {
        erreur(e.message.isEmpty() ? ai::messages::connexionRequise : e.message);
        return;
    }
    if (erreurDeGrammaire(e.statut, e.message) && !reformulee_) {
        // The strict tool schemas could not be compiled: the same turn goes again without them.
        reformulee_ = true;
        conversationsSansStrict_.insert(conversation_.id);
        ElementQuillo n;
        n.genre = ElementQuillo::Genre::erreur;
        n.texte = textesQuillo::reformule;
        ajouter(n);
        envoyerTour();
        return;
    }
    erreur(messageErreurQuillo(e.statut, e.message, e.code, *source_));
}

void QuilloSession::terminerTour()
{
    if (!flux_.termine) {
        // Cut: what was shown stays, the half turn never enters the messages.
        erreur(textesQuillo::coupee);
        return;
    }
    if (flux_.stopReason == QLatin1String("refusal")) {
        erreur(messageErreurQuillo(0, {}, QStringLiteral("refus"), *source_));
        return;
    }
    const QJsonArray contenu = flux_.contenu();
    if (!contenu.isEmpty())
        conversation_.messages.append(QString::fromUtf8(
            compact(QJsonObject{{QStringLiteral("role"), QStringLiteral("assistant")}, {QStringLiteral("content"), contenu}})));
    if (flux_.stopReason == QLatin1String("tool_use") && !appelsOutils(flux_).isEmpty()) {
        executerOutils();
        return;
    }
    if (flux_.stopReason == QLatin1String("max_tokens") && !texteDansQuestion_) {
        erreur(QStringLiteral("Cette conversation est trop longue. Ouvrez-en une nouvelle."));
        return;
    }
    if (!texteDansQuestion_) {
        erreur(textesQuillo::sansReponse);
        return;
    }
    conclure();
}

void QuilloSession::executerOutils()
{
    const QJsonObject infos = moteur_.appelerJSON(QStringLiteral("quilloInfos")).valeurOu(QJsonValue()).toObject();
    const QJsonObject lecture = infos.value(QLatin1String("lecture")).toObject();
    const QJsonObject propositions = infos.value(QLatin1String("propositions")).toObject();
    QJsonArray resultats;
    for (const BlocQuillo& b : appelsOutils(flux_)) {
        outilsAppeles_.append(b.nom);
        if (!b.entree) {
            resultats.append(resultatOutil(b.id, textesQuillo::entreeInvalide, true));
            continue;
        }
        if (lecture.contains(b.nom)) {
            ElementQuillo l;
            l.genre = ElementQuillo::Genre::outil;
            l.outil = b.nom;
            l.texte = lecture.value(b.nom).toString();
            l.enCours = true;
            const QString id = ajouter(l).id;
            lignesOutil_.insert(b.id, l.texte);
            QJsonValue extra;
            if (b.nom == QLatin1String("lire_appel"))
                if (const model::Appel* a = store_.etat().appel(b.entree->toObject().value(QLatin1String("id")).toString()))
                    extra = QString::fromUtf8(compact(model::versObjetJson(*a)));
            auto r = moteur_.appelerTexte(QStringLiteral("quilloOutil"), {b.nom, *b.entree, donnees(), extra});
            for (ElementQuillo& e : conversation_.affichage)
                if (e.id == id)
                    e.enCours = false;
            Q_EMIT changement();
            if (!r) {
                resultats.append(resultatOutil(b.id, r.erreur().description(), true));
                continue;
            }
            const bool echoue = lireObjet(r.valeur()).contains(QLatin1String("erreur"));
            resultats.append(resultatOutil(b.id, r.valeur(), echoue));
            continue;
        }
        if (propositions.contains(b.nom)) {
            const QJsonObject v = moteur_.appelerJSON(QStringLiteral("quilloValider"), {b.nom, *b.entree}).valeurOu(QJsonValue()).toObject();
            if (!v.value(QLatin1String("ok")).toBool()) {
                resultats.append(resultatOutil(b.id, v.value(QLatin1String("message")).toString(textesQuillo::entreeInvalide), true));
                continue;
            }
            ElementQuillo p;
            p.genre = ElementQuillo::Genre::proposition;
            p.outil = b.nom;
            p.texte = propositions.value(b.nom).toString();
            p.proposition = *b.entree;
            p.toolUseId = b.id;
            p.statut = QStringLiteral("attente");
            if (mode_ == QLatin1String("appel") && contexteQuestion)
                p.tMs = contexteQuestion->toObject().value(QLatin1String("tMs")).toInteger();
            ajouter(p);
            conversation_.enAttente.append(b.id);
            resultats.append(resultatOutil(b.id, QStringLiteral("{\"statut\":\"attente\"}")));
            continue;
        }
        if (b.nom == QLatin1String("memoire")) {
            const bool active = memoireActive();
            auto r = moteur_.appelerJSON(QStringLiteral("quilloMemoire"),
                                         {*b.entree, QJsonArray::fromStringList(store_.etat().quilloMemoire), active});
            if (!r) {
                resultats.append(resultatOutil(b.id, r.erreur().description(), true));
                continue;
            }
            const QJsonObject o = r.valeur().toObject();
            if (active && o.value(QLatin1String("change")).toBool()) {
                QStringList mem;
                for (const QJsonValue& f : o.value(QLatin1String("memoire")).toArray())
                    mem << f.toString();
                sansChangerDonnees([&] { store_.modifier([&](model::Etat& e) { e.quilloMemoire = mem; }); });
            }
            if (const QString a = o.value(QLatin1String("affichage")).toString(); !a.isEmpty()) {
                ElementQuillo m;
                m.genre = ElementQuillo::Genre::memoire;
                m.texte = a;
                ajouter(m);
            }
            resultats.append(resultatOutil(b.id, QString::fromUtf8(compact(o.value(QLatin1String("resultat"))))));
            continue;
        }
        if (b.nom == QLatin1String("ouvrir_ecran")) {
            const QJsonObject e = b.entree->toObject();
            const QString ecran = e.value(QLatin1String("ecran")).toString();
            if (!infos.value(QLatin1String("ecrans")).toArray().contains(ecran)) {
                resultats.append(resultatOutil(b.id, textesQuillo::entreeInvalide, true));
                continue;
            }
            ElementQuillo n;
            n.genre = ElementQuillo::Genre::navigation;
            n.ecran = ecran;
            n.cible = e.value(QLatin1String("cible")).toString();
            n.texte = QStringLiteral("Écran ouvert");
            ajouter(n);
            if (naviguer)
                naviguer(ecran, *n.cible);
            resultats.append(resultatOutil(b.id, QStringLiteral("{\"statut\":\"ouvert\"}")));
            continue;
        }
        resultats.append(resultatOutil(b.id, QStringLiteral("Outil inconnu."), true));
    }
    // Every result of the round in one user message.
    conversation_.messages.append(QString::fromUtf8(
        compact(QJsonObject{{QStringLiteral("role"), QStringLiteral("user")}, {QStringLiteral("content"), resultats}})));
    if (++tours_ >= maxTours_) {
        erreur(textesQuillo::sansReponse);
        return;
    }
    envoyerTour();
}

void QuilloSession::erreur(const QString& message)
{
    arreterLecture();
    ElementQuillo e;
    e.genre = ElementQuillo::Genre::erreur;
    e.texte = message;
    ajouter(e);
    conclure();
}

void QuilloSession::conclure()
{
    enCours_ = false;
    sauver();
    Q_EMIT changement();
    Q_EMIT fini();
}

void QuilloSession::arreter()
{
    if (!enCours_)
        return;
    ++generation_;
    arreterLecture();
    ElementQuillo e;
    e.genre = ElementQuillo::Genre::erreur;
    e.texte = textesQuillo::arretee;
    ajouter(e);
    conclure();
}

void QuilloSession::decider(const QString& toolUseId, const QString& statut, const QString& note)
{
    conversation_.enAttente.removeAll(toolUseId);
    conversation_.notesApp.append(QStringLiteral("(Note de l'app : ") + note + QStringLiteral(")"));
    sauver();
    Q_EMIT changement();
    Q_UNUSED(statut);
}

void QuilloSession::appliquer(const QString& toolUseId)
{
    ElementQuillo* p = element(toolUseId);
    if (!p || (p->statut != QLatin1String("attente") && p->statut != QLatin1String("ignore")))
        return;
    const QString nom = p->outil.value_or(QString());
    const QJsonValue entree = p->proposition.value_or(QJsonValue());
    auto v = moteur_.appelerJSON(QStringLiteral("quilloValider"), {nom, entree});
    QString echec;
    QJsonObject r;
    if (!v || !v.valeur().toObject().value(QLatin1String("ok")).toBool()) {
        echec = v ? v.valeur().toObject().value(QLatin1String("message")).toString() : v.erreur().description();
    } else {
        // The engine reads the current records: the data go with the call when stale.
        auto a = moteur_.appelerJSON(QStringLiteral("quilloAppliquer"),
                                     {nom, entree,
                                      QJsonObject{{QStringLiteral("id"), nouvelId(nom == QLatin1String("creer_contact") ? "c_" : "q_")},
                                                  {QStringLiteral("maintenant"), maintenant()},
                                                  {QStringLiteral("aujourdhui"), aujourdhui()}},
                                      donnees()});
        if (!a)
            echec = a.erreur().description();
        else if (const std::optional<QString> e = appliquerChangements(store_, (r = a.valeur().toObject()).value(QLatin1String("changements"))))
            echec = *e;
    }
    p = element(toolUseId);   // the store's signals may have moved the list
    if (!echec.isEmpty()) {
        p->statut = QStringLiteral("echec");
        p->detail = echec;
        decider(toolUseId, *p->statut, QStringLiteral("la proposition ") + toolUseId + QStringLiteral(" (") + nom +
                                          QStringLiteral(") n'a pas pu être enregistrée : ") + echec);
        return;
    }
    p->statut = QStringLiteral("applique");
    p->choix = QStringLiteral("appliquer");
    if (r.value(QLatin1String("annulation")).isArray())
        p->annulation = r.value(QLatin1String("annulation"));
    p->detail = r.value(QLatin1String("detail")).toString();
    const QString ecran = r.value(QLatin1String("ecran")).toString();
    const QString cible = r.value(QLatin1String("cible")).toString();
    const QStringList questions = [&] {
        QStringList l;
        for (const QJsonValue& q : r.value(QLatin1String("questions")).toArray())
            l << q.toString();
        return l;
    }();
    decider(toolUseId, *p->statut, QStringLiteral("la proposition ") + toolUseId + QStringLiteral(" (") + nom +
                                       QStringLiteral(") a été appliquée."));
    if (!questions.isEmpty() && proposerQuestion)
        proposerQuestion(questions);
    if (nom == QLatin1String("preparer_appel") && !ecran.isEmpty() && naviguer)
        naviguer(ecran, cible);
}

void QuilloSession::defaire(const QString& toolUseId)
{
    ElementQuillo* p = element(toolUseId);
    if (!p || p->statut != QLatin1String("applique") || !p->annulation)
        return;
    const QJsonValue annulation = *p->annulation;
    const QString nom = p->outil.value_or(QString());
    if (const std::optional<QString> e = appliquerChangements(store_, annulation)) {
        p = element(toolUseId);
        p->detail = *e;
        Q_EMIT changement();
        return;
    }
    p = element(toolUseId);
    p->statut = QStringLiteral("defait");
    p->annulation.reset();
    decider(toolUseId, *p->statut, QStringLiteral("la proposition ") + toolUseId + QStringLiteral(" (") + nom +
                                       QStringLiteral(") a été défaite."));
}

void QuilloSession::ignorer(const QString& toolUseId)
{
    ElementQuillo* p = element(toolUseId);
    if (!p || p->statut != QLatin1String("attente"))
        return;
    p->statut = QStringLiteral("ignore");
    p->choix = QStringLiteral("ignorer");
    decider(toolUseId, *p->statut, QStringLiteral("la proposition ") + toolUseId + QStringLiteral(" (") +
                                       p->outil.value_or(QString()) + QStringLiteral(") est laissée de côté."));
}

} // namespace vd::assistant
