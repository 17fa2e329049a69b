#include "coachingequipe.h"

#include "equipedemo.h"
#include "model/json.h"
#include "platform/preferences.h"

#include <QJsonArray>

namespace vd::team {

namespace {
const QString pServeurMaintenant = QStringLiteral("serveur_maintenant");
const QString pRecents = QStringLiteral("commentaires_recents");
const QString pLire = QStringLiteral("lire_commentaires");
const QString pCommenter = QStringLiteral("commenter_appel");
const QString pModifier = QStringLiteral("modifier_commentaire");
const QString pSupprimer = QStringLiteral("supprimer_commentaire");
const QString pLister = QStringLiteral("lister_appels_exemplaires");
const QString pLireExemplaire = QStringLiteral("lire_appel_exemplaire");
const QString pEpingler = QStringLiteral("epingler_appel");
const QString pDesepingler = QStringLiteral("desepingler_appel");
const QString pObjectifs = QStringLiteral("objectifs_semaine");
const QString pFixer = QStringLiteral("fixer_objectif");
const QString pSupprimerObjectif = QStringLiteral("supprimer_objectif");
const QString pReprendre = QStringLiteral("reprendre_objectifs");
const QString pClassement = QStringLiteral("classement_equipe");
const QString pRapports = QStringLiteral("lire_rapports_equipe");

const QString indiceCommentaire = QStringLiteral("commentaire_introuvable");
const QString indiceExemplaire = QStringLiteral("exemplaire_introuvable");
const QString indiceObjectif = QStringLiteral("objectif_introuvable");

template<typename T>
QList<T> liste(const QJsonValue& v)
{
    return model::lire::liste<T>(v, [](const QJsonValue& e) { return T::depuisJson(e); });
}

// A silent failure (nothing to show).
Echec<QString> silence() { return echec(QString()); }

QJsonValue texteOuNull(const std::optional<QString>& t) { return t ? QJsonValue(*t) : QJsonValue(QJsonValue::Null); }
} // namespace

CoachingEquipe::CoachingEquipe(cloud::ClientSupabase* client, platform::Preferences& preferences, QObject* parent)
    : QObject(parent), client_(client), preferences_(preferences)
{
    if (client_)
        connect(client_, &cloud::ClientSupabase::sessionChangee, this, [this] { suivreSession(); });
    suivreSession();
}

CoachingEquipe::CoachingEquipe(EquipeDemo* demo, platform::Preferences& preferences, QObject* parent)
    : QObject(parent), demo_(demo), preferences_(preferences)
{
    compteId_ = EquipeDemo::manager;
    reinitialiser();
}

QString CoachingEquipe::message(const cloud::ErreurCloud& e)
{
    using G = cloud::ErreurCloud::Genre;
    if (e.genre == G::annule)
        return {};
    // Network and session failures already say what to do; so do the team refusals.
    if (e.genre == G::reseau || e.genre == G::session)
        return e.message.isEmpty() ? textes::generique : e.message;
    if ((e.indice == QLatin1String("equipe_requise") || e.indice == QLatin1String("action_interdite")) && !e.message.isEmpty())
        return e.message;
    return textes::generique;
}

void CoachingEquipe::suivreSession()
{
    const QString id = client_ && client_->session() ? client_->session()->utilisateur.id : QStringLiteral("-");
    if (id == compteId_ && generation_ > 0)
        return;
    compteId_ = id;
    reinitialiser();
}

void CoachingEquipe::reinitialiser()
{
    ++generation_;
    objectifs_.reset();
    classements_.clear();
    exemplaires_.clear();
    exemplairesCharges_ = false;
    commentaires_.clear();
    epingles_.clear();
    rapports_.clear();
    rapportsCharges_ = false;
    depuisMemoire_.reset();
    const QStringList ids = preferences_.valeur(cleNonLus(compteId_)).toStringList();
    nonLus_ = QSet<QString>(ids.begin(), ids.end());
    Q_EMIT compteChange();
    Q_EMIT change();
}

std::optional<QString> CoachingEquipe::marque() const
{
    const QString m = preferences_.valeur(cleDepuis(compteId_)).toString();
    if (!m.isEmpty())
        return m;
    return depuisMemoire_;
}

void CoachingEquipe::fixerMarque(const QString& m)
{
    depuisMemoire_ = m;
    preferences_.definir(cleDepuis(compteId_), m);
}

void CoachingEquipe::enregistrerNonLus()
{
    QStringList ids(nonLus_.begin(), nonLus_.end());
    ids.sort();
    preferences_.definir(cleNonLus(compteId_), ids);
}

QCoro::Task<CoachingEquipe::Appel> CoachingEquipe::appeler(QString nom, QJsonObject parametres)
{
    if (demo_)
        co_return Appel{false, demo_->repondre(nom, parametres)};
    if (!client_ || !client_->session()) {
        cloud::ErreurCloud e;
        e.genre = cloud::ErreurCloud::Genre::session;
        e.code = QStringLiteral("session_absente");
        e.message = client_ ? cloud::messages::sessionAbsente : textes::generique;
        co_return Appel{false, echec(e)};
    }
    const quint64 generation = generation_;
    QPointer<CoachingEquipe> moi(this);
    auto r = co_await client_->appelerProcedure(nom, parametres, delaiMs);
    if (!moi || generation != generation_)
        co_return Appel{true, std::move(r)};
    co_return Appel{false, std::move(r)};
}

// ---- Comments --------------------------------------------------------------

std::optional<QString> CoachingEquipe::verifierCommentaire(const QString& texte)
{
    if (texte.trimmed().isEmpty())
        return textes::commentaireVide;
    if (longueur(texte.trimmed()) > maxCommentaire)
        return textes::commentaireTropLong;
    return std::nullopt;
}

void CoachingEquipe::marquerLu(const QString& appelId)
{
    if (nonLus_.remove(appelId)) {
        enregistrerNonLus();
        Q_EMIT change();
    }
}

QCoro::Task<ResultatCoachingVide> CoachingEquipe::chargerCommentaires(QString appelId)
{
    const QJsonObject parametresA = QJsonObject{{QStringLiteral("p_appel_id"), appelId}};
    auto a = co_await appeler(pLire, parametresA);
    if (a.perime)
        co_return silence();
    if (!a.r.ok())
        co_return echec(message(a.r.erreur()));
    if (!a.r.valeur().qt().isArray())
        co_return echec(textes::generique);
    commentaires_.insert(appelId, liste<CommentaireAppel>(a.r.valeur().qt()));
    nonLus_.remove(appelId);
    enregistrerNonLus();
    Q_EMIT change();
    co_return Rien{};
}

QCoro::Task<ResultatCoaching<CommentaireAppel>> CoachingEquipe::commenter(QString appelId, QString texte, std::optional<qint64> tMs)
{
    if (const auto refus = verifierCommentaire(texte))
        co_return echec(*refus);
    const QJsonObject p{{QStringLiteral("p_appel_id"), appelId},
                        {QStringLiteral("p_texte"), texte.trimmed()},
                        {QStringLiteral("p_t_ms"), tMs ? QJsonValue(double(*tMs)) : QJsonValue(QJsonValue::Null)}};
    auto a = co_await appeler(pCommenter, p);
    if (a.perime)
        co_return silence();
    if (!a.r.ok())
        co_return echec(message(a.r.erreur()));
    auto c = CommentaireAppel::depuisJson(a.r.valeur().qt());
    if (!c)
        co_return echec(textes::generique);
    if (c->appelId.isEmpty())
        c->appelId = appelId;
    commentaires_[appelId].append(*c);
    Q_EMIT change();
    co_return *c;
}

void CoachingEquipe::retirerCommentaire(const QString& appelId, const QString& id)
{
    auto it = commentaires_.find(appelId);
    if (it == commentaires_.end())
        return;
    it->removeIf([&id](const CommentaireAppel& c) { return c.id == id; });
    Q_EMIT change();
}

QCoro::Task<ResultatCoaching<CommentaireAppel>> CoachingEquipe::modifierCommentaire(QString appelId, QString id, QString texte,
                                                                                   std::optional<qint64> tMs)
{
    if (const auto refus = verifierCommentaire(texte))
        co_return echec(*refus);
    const QJsonObject p{{QStringLiteral("p_id"), id},
                        {QStringLiteral("p_texte"), texte.trimmed()},
                        {QStringLiteral("p_t_ms"), tMs ? QJsonValue(double(*tMs)) : QJsonValue(QJsonValue::Null)}};
    auto a = co_await appeler(pModifier, p);
    if (a.perime)
        co_return silence();
    if (!a.r.ok()) {
        if (a.r.erreur().indice == indiceCommentaire) {
            retirerCommentaire(appelId, id);
            co_return silence();
        }
        co_return echec(message(a.r.erreur()));
    }
    auto c = CommentaireAppel::depuisJson(a.r.valeur().qt());
    if (!c)
        co_return echec(textes::generique);
    auto& l = commentaires_[appelId];
    bool remplace = false;
    for (CommentaireAppel& x : l)
        if (x.id == c->id) {
            x = *c;
            remplace = true;
        }
    if (!remplace)
        l.append(*c);
    Q_EMIT change();
    co_return *c;
}

QCoro::Task<ResultatCoachingVide> CoachingEquipe::supprimerCommentaire(QString appelId, QString id)
{
    const QJsonObject parametresA = QJsonObject{{QStringLiteral("p_id"), id}};
    auto a = co_await appeler(pSupprimer, parametresA);
    if (a.perime)
        co_return silence();
    // Already deleted by someone else: it is gone, which is what was asked.
    if (!a.r.ok() && a.r.erreur().indice != indiceCommentaire)
        co_return echec(message(a.r.erreur()));
    retirerCommentaire(appelId, id);
    co_return Rien{};
}

// ---- Exemplary calls -------------------------------------------------------

QCoro::Task<ResultatCoachingVide> CoachingEquipe::chargerExemplaires()
{
    auto a = co_await appeler(pLister, {});
    if (a.perime)
        co_return silence();
    if (!a.r.ok())
        co_return echec(message(a.r.erreur()));
    if (!a.r.valeur().qt().isArray())
        co_return echec(textes::generique);
    exemplaires_ = liste<AppelExemplaire>(a.r.valeur().qt());
    exemplairesCharges_ = true;
    Q_EMIT change();
    co_return Rien{};
}

QCoro::Task<ResultatCoachingVide> CoachingEquipe::lireExemplaire(QString appelId)
{
    const QJsonObject parametresA = QJsonObject{{QStringLiteral("p_appel_id"), appelId}};
    auto a = co_await appeler(pLireExemplaire, parametresA);
    if (a.perime)
        co_return silence();
    if (!a.r.ok())
        co_return echec(message(a.r.erreur()));
    const QJsonValue v = a.r.valeur().qt();
    if (v.isNull() || v.isUndefined()) {
        epingles_.insert(appelId, std::nullopt);
    } else if (auto e = AppelExemplaire::depuisJson(v)) {
        epingles_.insert(appelId, *e);
    } else {
        co_return echec(textes::generique);
    }
    Q_EMIT change();
    co_return Rien{};
}

QCoro::Task<ResultatCoaching<AppelExemplaire>> CoachingEquipe::epingler(QString appelId, QString note)
{
    note = note.trimmed();
    if (longueur(note) > maxNote)
        co_return echec(textes::noteTropLongue);
    const QJsonObject p{{QStringLiteral("p_appel_id"), appelId},
                        {QStringLiteral("p_note"), note.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(note)}};
    auto a = co_await appeler(pEpingler, p);
    if (a.perime)
        co_return silence();
    if (!a.r.ok())
        co_return echec(message(a.r.erreur()));
    auto e = AppelExemplaire::depuisJson(a.r.valeur().qt());
    if (!e)
        co_return echec(textes::generique);
    // Keep the whole call already read with the pin.
    if (const auto ancien = epingles_.value(appelId); ancien && ancien->appel && !e->appel)
        e->appel = ancien->appel;
    epingles_.insert(appelId, *e);
    exemplaires_.removeIf([&appelId](const AppelExemplaire& x) { return x.appelId == appelId; });
    AppelExemplaire liste = *e;
    liste.appel.reset();
    exemplaires_.prepend(liste);
    Q_EMIT change();
    co_return *e;
}

QCoro::Task<ResultatCoachingVide> CoachingEquipe::desepingler(QString appelId)
{
    const QJsonObject parametresA = QJsonObject{{QStringLiteral("p_appel_id"), appelId}};
    auto a = co_await appeler(pDesepingler, parametresA);
    if (a.perime)
        co_return silence();
    if (!a.r.ok() && a.r.erreur().indice != indiceExemplaire)
        co_return echec(message(a.r.erreur()));
    exemplaires_.removeIf([&appelId](const AppelExemplaire& x) { return x.appelId == appelId; });
    epingles_.insert(appelId, std::nullopt);
    Q_EMIT change();
    co_return Rien{};
}

// ---- Unread comments -------------------------------------------------------

QCoro::Task<ResultatCoachingVide> CoachingEquipe::rafraichirNonLus()
{
    if (!client_ || !client_->session())
        co_return Rien{};
    const QString moi = compteId_;
    // The server's time before the read: the next mark, whatever the client's clock says.
    auto t = co_await appeler(pServeurMaintenant, {});
    if (t.perime)
        co_return silence();
    if (!t.r.ok())
        co_return echec(message(t.r.erreur()));
    const QString serveur = model::lire::texte(t.r.valeur().qt(), QString());
    if (serveur.isEmpty())
        co_return echec(textes::generique);

    std::optional<QString> depuis = marque();
    for (int page = 0; page < maxPagesRecents; ++page) {
        const QJsonObject p{{QStringLiteral("p_depuis"), texteOuNull(depuis)}, {QStringLiteral("p_limite"), limiteRecents}};
        auto a = co_await appeler(pRecents, p);
        if (a.perime)
            co_return silence();
        // A failed read leaves the mark where it was: the same comments are asked again next time.
        if (!a.r.ok())
            co_return echec(message(a.r.erreur()));
        if (!a.r.valeur().qt().isArray())
            co_return echec(textes::generique);
        const QJsonArray brut = a.r.valeur().qt().toArray();
        bool ajoute = false;
        for (const CommentaireAppel& c : liste<CommentaireAppel>(brut)) {
            if (c.auteurId == moi)
                continue;
            const QString appel = c.appel ? c.appel->id : c.appelId;
            if (c.appel && c.appel->compteId && *c.appel->compteId != moi)
                continue;
            if (!appel.isEmpty() && !nonLus_.contains(appel)) {
                nonLus_.insert(appel);
                ajoute = true;
            }
        }
        if (ajoute) {
            enregistrerNonLus();
            Q_EMIT change();
        }
        if (brut.size() < limiteRecents) {
            fixerMarque(serveur);
            co_return Rien{};
        }
        // A full page: more may follow. The page is oldest first, so its newest
        // comment is where the next page starts (and the mark, should the next read fail).
        const QString dernier = model::lire::texte(brut.last().toObject().value(QStringLiteral("cree_le")), QString());
        if (dernier.isEmpty() || (depuis && dernier == *depuis))
            co_return Rien{};
        fixerMarque(dernier);
        depuis = dernier;
    }
    co_return Rien{};
}

// ---- Objectives, ranking, reports ------------------------------------------

QCoro::Task<ResultatCoachingVide> CoachingEquipe::chargerObjectifs(std::optional<QString> semaine)
{
    const QJsonObject parametresA = QJsonObject{{QStringLiteral("p_semaine"), texteOuNull(semaine)}};
    auto a = co_await appeler(pObjectifs, parametresA);
    if (a.perime)
        co_return silence();
    if (!a.r.ok())
        co_return echec(message(a.r.erreur()));
    auto o = ObjectifsSemaine::depuisJson(a.r.valeur().qt());
    if (!o)
        co_return echec(textes::generique);
    objectifs_ = std::move(*o);
    Q_EMIT change();
    co_return Rien{};
}

QCoro::Task<ResultatCoaching<ObjectifEquipe>> CoachingEquipe::fixerObjectif(ObjectifSaisi saisi)
{
    if (!saisi.semaine && !saisi.id && objectifs_)
        saisi.semaine = objectifs_->semaine;
    const QJsonObject parametresA = QJsonObject{{QStringLiteral("p_objectif"), saisi.versJson()}};
    auto a = co_await appeler(pFixer, parametresA);
    if (a.perime)
        co_return silence();
    if (!a.r.ok()) {
        if (a.r.erreur().indice == indiceObjectif && saisi.id && objectifs_) {
            objectifs_->objectifs.removeIf([&saisi](const ObjectifEquipe& o) { return o.id == *saisi.id; });
            Q_EMIT change();
            co_return silence();
        }
        // The server explains a refused target or type in French.
        if (a.r.erreur().code == QLatin1String("22023") && !a.r.erreur().message.isEmpty())
            co_return echec(a.r.erreur().message);
        co_return echec(message(a.r.erreur()));
    }
    auto o = ObjectifEquipe::depuisJson(a.r.valeur().qt());
    if (!o)
        co_return echec(textes::generique);
    if (objectifs_) {
        auto& l = objectifs_->objectifs;
        l.removeIf([&o](const ObjectifEquipe& x) { return x.id == o->id; });
        if (o->semaine == objectifs_->semaine || objectifs_->semaine.isEmpty()) {
            // Team objectives first, then by creation (the server's order).
            qsizetype i = l.size();
            if (o->equipe)
                for (i = 0; i < l.size() && l.at(i).equipe; ++i) {
                }
            l.insert(i, *o);
        }
        Q_EMIT change();
    }
    co_return *o;
}

QCoro::Task<ResultatCoachingVide> CoachingEquipe::supprimerObjectif(QString id)
{
    const QJsonObject parametresA = QJsonObject{{QStringLiteral("p_id"), id}};
    auto a = co_await appeler(pSupprimerObjectif, parametresA);
    if (a.perime)
        co_return silence();
    if (!a.r.ok() && a.r.erreur().indice != indiceObjectif)
        co_return echec(message(a.r.erreur()));
    if (objectifs_) {
        objectifs_->objectifs.removeIf([&id](const ObjectifEquipe& o) { return o.id == id; });
        Q_EMIT change();
    }
    co_return Rien{};
}

QCoro::Task<ResultatCoaching<int>> CoachingEquipe::reprendreObjectifs()
{
    const std::optional<QString> semaine = objectifs_ ? std::optional(objectifs_->semaine) : std::nullopt;
    const QJsonObject parametresA = QJsonObject{{QStringLiteral("p_semaine"), texteOuNull(semaine)}};
    auto a = co_await appeler(pReprendre, parametresA);
    if (a.perime)
        co_return silence();
    if (!a.r.ok())
        co_return echec(message(a.r.erreur()));
    const QJsonObject o = a.r.valeur().qt().toObject();
    if (auto s = ObjectifsSemaine::depuisJson(o.value(QStringLiteral("objectifs")))) {
        objectifs_ = std::move(*s);
        Q_EMIT change();
    }
    co_return int(model::lire::entier(o.value(QStringLiteral("repris")), 0));
}

QCoro::Task<ResultatCoachingVide> CoachingEquipe::chargerClassement(int jours)
{
    const QJsonObject parametresA = QJsonObject{{QStringLiteral("p_periode_jours"), jours}};
    auto a = co_await appeler(pClassement, parametresA);
    if (a.perime)
        co_return silence();
    if (!a.r.ok())
        co_return echec(message(a.r.erreur()));
    auto c = ClassementEquipe::depuisJson(a.r.valeur().qt());
    if (!c)
        co_return echec(textes::generique);
    if (c->periodeJours <= 0)
        c->periodeJours = jours;
    classements_.insert(jours, std::move(*c));
    Q_EMIT change();
    co_return Rien{};
}

QCoro::Task<ResultatCoachingVide> CoachingEquipe::chargerRapports()
{
    const QJsonObject parametresA = QJsonObject{{QStringLiteral("p_limite"), limiteRapports}};
    auto a = co_await appeler(pRapports, parametresA);
    if (a.perime)
        co_return silence();
    if (!a.r.ok())
        co_return echec(message(a.r.erreur()));
    if (!a.r.valeur().qt().isArray())
        co_return echec(textes::generique);
    rapports_ = liste<RapportEquipe>(a.r.valeur().qt());
    rapportsCharges_ = true;
    Q_EMIT change();
    co_return Rien{};
}

} // namespace vd::team
