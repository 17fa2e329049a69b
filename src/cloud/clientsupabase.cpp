#include "clientsupabase.h"

#include "cloud/fluxfonction.h"
#include "cloud/ouvreururl.h"

#include <QJsonDocument>
#include <QNetworkCookieJar>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

#include <qcoro/qcoronetworkreply.h>

Q_LOGGING_CATEGORY(lcCloud, "vd.cloud")

namespace vd::cloud {

using model::JSONValeur;

std::optional<JSONValeur> lireReponseJson(const QByteArray& corps)
{
    if (corps.trimmed().isEmpty())
        return JSONValeur();
    return JSONValeur::depuisTexte(corps);
}

ClientSupabase::ClientSupabase(ConfigCloud config, StockageSession* stockage, platform::Horloge* horloge,
                               OuvreurUrl* ouvreur, QObject* parent)
    : QObject(parent)
    , config_(std::move(config))
    , base_(config_.supabaseUrl.value_or(QUrl()))
    , stockage_(stockage)
    , horloge_(horloge ? horloge : &platform::Horloge::instance())
    , ouvreur_(ouvreur)
    , reseau_(new QNetworkAccessManager(this))
    , reseauFlux_(new QNetworkAccessManager(this))
{
    qRegisterMetaType<vd::cloud::ErreurCloud>();
    if (!ouvreur_) {
        ouvreurSysteme_ = std::make_unique<OuvreurSysteme>();
        ouvreur_ = ouvreurSysteme_.get();
    }
    for (QNetworkAccessManager* r : {reseau_, reseauFlux_}) {
        r->setCookieJar(new QNetworkCookieJar(r));   // in memory only, never kept between runs
        r->setAutoDeleteReplies(false);
    }
    // At start the stored session is used as is; the first call refreshes it if needed.
    if (stockage_)
        session_ = stockage_->lireSession();
}

ClientSupabase::~ClientSupabase() = default;

std::unique_ptr<ClientSupabase> ClientSupabase::creer(const ConfigCloud& config, StockageSession* stockage,
                                                      platform::Horloge* horloge, OuvreurUrl* ouvreur)
{
    if (!config.active())
        return nullptr;
    return std::make_unique<ClientSupabase>(config, stockage, horloge, ouvreur);
}

QNetworkRequest ClientSupabase::requete(const QString& chemin, const QUrlQuery& query, const QString& jeton,
                                        bool avecCorps) const
{
    QUrl url = base_;
    QString p = url.path();
    while (p.endsWith(QLatin1Char('/')))
        p.chop(1);
    url.setPath(p + QLatin1Char('/') + chemin);
    if (!query.isEmpty())
        url.setQuery(query);
    QNetworkRequest r(url);
    r.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    r.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    r.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    r.setRawHeader("apikey", config_.anonKey.toUtf8());
    r.setRawHeader("Authorization", "Bearer " + (jeton.isEmpty() ? config_.anonKey : jeton).toUtf8());
    r.setRawHeader("Accept", "application/json");
    r.setRawHeader("X-Client-Info", "vendalo-mac/2.0");
    if (avecCorps)
        r.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    return r;
}

QCoro::Task<ReponseHttp> ClientSupabase::envoyer(QByteArray methode, QString chemin, QUrlQuery query,
                                                 std::optional<QByteArray> corps, QString jeton, int delaiMs,
                                                 QList<QPair<QByteArray, QByteArray>> entetes)
{
    QNetworkRequest r = requete(chemin, query, jeton, corps.has_value());
    for (const auto& [nom, valeur] : entetes)
        r.setRawHeader(nom, valeur);
    QNetworkReply* reponse = reseau_->sendCustomRequest(r, methode, corps.value_or(QByteArray()));

    // Time limits on the injected clock: between two pieces of the answer, and for the whole transfer.
    bool delaiDepasse = false;
    auto* attente = horloge_->creerMinuterie(reponse);
    auto* total = horloge_->creerMinuterie(reponse);
    attente->setUnique(true);
    total->setUnique(true);
    auto couper = [&delaiDepasse, reponse] {
        delaiDepasse = true;
        reponse->abort();
    };
    connect(attente, &platform::Minuterie::expire, reponse, couper);
    connect(total, &platform::Minuterie::expire, reponse, couper);
    connect(reponse, &QNetworkReply::downloadProgress, attente, [attente, delaiMs] { attente->demarrer(delaiMs); });
    attente->demarrer(delaiMs);
    total->demarrer(std::max(delaiMs, delaiTransfertMs));

    co_await qCoro(reponse).waitForFinished();
    attente->arreter();
    total->arreter();

    ReponseHttp h;
    h.statut = reponse->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reponse->isOpen())
        h.corps = reponse->readAll();
    h.entetes = reponse->rawHeaderPairs();
    h.delaiDepasse = delaiDepasse;
    if (h.statut == 0 || delaiDepasse)
        h.erreurReseau = reponse->error() == QNetworkReply::NoError ? int(QNetworkReply::UnknownNetworkError)
                                                                    : int(reponse->error());
    if (delaiDepasse) {
        h.statut = 0;
        h.erreurReseau = int(QNetworkReply::TimeoutError);
    } else if (h.statut != 0 && reponse->error() != QNetworkReply::NoError && h.reussie()) {
        // A 2xx cut before its end is no answer.
        h.statut = 0;
        h.erreurReseau = int(reponse->error());
    }
    reponse->deleteLater();
    if (h.sansReponse())
        qCDebug(lcCloud) << methode << chemin << "no answer, error" << h.erreurReseau;
    co_return h;
}

bool ClientSupabase::valideAssezLongtemps(const SessionAuth& s) const
{
    return s.expireLe > horloge_->maintenant().addSecs(margeRafraichissementS);
}

QCoro::Task<ResultatCloud<QString>> ClientSupabase::jetonValide()
{
    if (!session_)
        co_return echec(erreurSession(QStringLiteral("session_absente")));
    if (valideAssezLongtemps(*session_))
        co_return QString(session_->accessToken);   // a copy: QCoro moves from what co_return names
    auto r = co_await rafraichir();
    if (!r)
        co_return echec(r.erreur());
    co_return r.valeur().accessToken;
}

QCoro::Task<ResultatCloud<QString>> ClientSupabase::jetonApres401(QString ancien)
{
    if (!session_)
        co_return echec(erreurSession(QStringLiteral("session_absente")));
    if (session_->accessToken != ancien && valideAssezLongtemps(*session_))
        co_return QString(session_->accessToken);   // a copy: QCoro moves from what co_return names
    auto r = co_await rafraichir();
    if (!r)
        co_return echec(r.erreur());
    co_return r.valeur().accessToken;
}

QCoro::Task<ResultatCloud<SessionAuth>> ClientSupabase::rafraichir()
{
    auto d = rafraichissement_;
    if (!d) {
        d = std::make_shared<Diffusion<ResultatCloud<SessionAuth>>>();
        rafraichissement_ = d;
        executerRafraichissement(d);   // may already be resolved when it returns
    }
    co_return co_await *d;
}

QCoro::Task<void> ClientSupabase::executerRafraichissement(std::shared_ptr<Diffusion<ResultatCloud<SessionAuth>>> d)
{
    auto terminer = [this, d](ResultatCloud<SessionAuth> r) {
        if (rafraichissement_ == d)
            rafraichissement_.reset();
        d->resoudre(std::move(r));
    };
    if (!session_) {
        terminer(echec(erreurSession(QStringLiteral("session_absente"))));
        co_return;
    }
    const quint64 generation = generationSession_;
    const UtilisateurAuth utilisateur = session_->utilisateur;
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("refresh_token"));
    QJsonObject corps{{QStringLiteral("refresh_token"), session_->refreshToken}};
    const ReponseHttp h = co_await envoyer(http::POST, http::token, q,
                                           QJsonDocument(corps).toJson(QJsonDocument::Compact), QString(), delaiAuthMs);
    if (generation != generationSession_) {
        // Signed out or signed in again meanwhile: this answer belongs to a gone session.
        terminer(session_ ? ResultatCloud<SessionAuth>(*session_)
                          : ResultatCloud<SessionAuth>(echec(erreurSession(QStringLiteral("session_absente")))));
        co_return;
    }
    if (h.sansReponse()) {
        terminer(echec(erreurReseau(h.erreurReseau, h.delaiDepasse)));
        co_return;
    }
    if (h.reussie()) {
        QJsonObject o = QJsonDocument::fromJson(h.corps).object();
        const bool avecUtilisateur = o.value(QStringLiteral("user")).isObject();
        if (!avecUtilisateur)
            o.insert(QStringLiteral("user"), QJsonObject{{QStringLiteral("id"), utilisateur.id}});
        auto s = sessionDepuisReponse(o, horloge_->maintenant());
        if (!s) {
            terminer(echec(erreurIllisible(h.statut)));
            co_return;
        }
        if (!avecUtilisateur)
            s->utilisateur = utilisateur;
        installer(*s, Evenement::rafraichissement);
        terminer(*s);
        co_return;
    }
    // Time-out and rate answers are passing troubles: the session stays.
    if (h.statut >= 400 && h.statut < 500 && h.statut != 408 && h.statut != 429) {
        qCInfo(lcCloud) << "refresh refused with status" << h.statut << "- signed out";
        oublier(Evenement::expiration);
        ErreurCloud e = erreurSession(QStringLiteral("session_expiree"));
        e.statut = h.statut;
        terminer(echec(e));
        co_return;
    }
    terminer(echec(erreurAuth(h.statut, h.corps)));
}

QCoro::Task<ResultatCloud<ReponseHttp>> ClientSupabase::envoyerAvecJeton(QByteArray methode, QString chemin,
                                                                         QUrlQuery query, std::optional<QByteArray> corps,
                                                                         int delaiMs, bool anonymeAdmis,
                                                                         QList<QPair<QByteArray, QByteArray>> entetes)
{
    QString jeton;
    if (session_ || !anonymeAdmis) {
        auto j = co_await jetonValide();
        if (!j)
            co_return echec(j.erreur());
        jeton = j.valeur();
    }
    ReponseHttp h = co_await envoyer(methode, chemin, query, corps, jeton, delaiMs, entetes);
    if (h.statut == 401 && !jeton.isEmpty()) {
        // Once: a 401 that outlives a fresh token fails the call.
        auto j = co_await jetonApres401(jeton);
        if (!j)
            co_return echec(j.erreur());
        h = co_await envoyer(methode, chemin, query, corps, j.valeur(), delaiMs, entetes);
    }
    if (h.sansReponse())
        co_return echec(erreurReseau(h.erreurReseau, h.delaiDepasse));
    co_return h;
}

void ClientSupabase::installer(const SessionAuth& s, Evenement e)
{
    session_ = s;
    ++generationSession_;
    if (stockage_)
        stockage_->ecrireSession(s);
    publier(e);
}

void ClientSupabase::oublier(Evenement e)
{
    session_.reset();
    ++generationSession_;
    if (stockage_)
        stockage_->ecrireSession(std::nullopt);
    publier(e);
}

void ClientSupabase::publier(Evenement e)
{
    if (surSession)
        surSession(session_, e);
    Q_EMIT sessionChangee(e);
}

// ---- data access ----

namespace {
QByteArray compact(const QJsonValue& v)
{
    return JSONValeur(v).versTexte();
}

// A JSON answer, or the error its status and body say (erreur: the table for this kind of call).
ResultatCloud<JSONValeur> lireJson(const ResultatCloud<ReponseHttp>& r, ErreurCloud (*erreur)(int, const QByteArray&))
{
    if (!r)
        return echec(r.erreur());
    const ReponseHttp& h = r.valeur();
    if (!h.reussie())
        return echec(erreur(h.statut, h.corps));
    auto v = lireReponseJson(h.corps);
    if (!v)
        return echec(erreurIllisible(h.statut));
    return *v;
}
} // namespace

QCoro::Task<ResultatCloud<JSONValeur>> ClientSupabase::selectionner(QString table, QUrlQuery requeteItems)
{
    auto r = co_await envoyerAvecJeton(http::GET, http::rest + table, requeteItems, std::nullopt,
                                       delaiAuthMs, true);
    co_return lireJson(r, &erreurBase);
}

QCoro::Task<ResultatCloudVide> ClientSupabase::modifier(QString table, QUrlQuery filtres, QJsonObject valeurs)
{
    const QList<QPair<QByteArray, QByteArray>> entetes{qMakePair(QByteArrayLiteral("Prefer"), QByteArrayLiteral("return=minimal"))};
    auto r = co_await envoyerAvecJeton(http::PATCH, http::rest + table, filtres, compact(valeurs), delaiAuthMs, false, entetes);
    if (!r)
        co_return echec(r.erreur());
    if (!r.valeur().reussie())
        co_return echec(erreurBase(r.valeur().statut, r.valeur().corps));
    co_return Rien{};
}

QCoro::Task<ResultatCloud<JSONValeur>> ClientSupabase::inserer(QString table, QJsonArray lignes, QStringList conflit,
                                                               Retour retour)
{
    const QList<QPair<QByteArray, QByteArray>> entetes{qMakePair(QByteArrayLiteral("Prefer"), QByteArray())};
    QByteArray prefer = retour == Retour::representation ? "return=representation" : "return=minimal";
    QUrlQuery q;
    if (!conflit.isEmpty()) {
        prefer += ",resolution=merge-duplicates";
        q.addQueryItem(QStringLiteral("on_conflict"), conflit.join(QLatin1Char(',')));
    }
    QList<QPair<QByteArray, QByteArray>> avecPrefer = entetes;
    avecPrefer[0].second = prefer;
    auto r = co_await envoyerAvecJeton(http::POST, http::rest + table, q, compact(lignes), delaiAuthMs, true,
                                       avecPrefer);
    if (!r)
        co_return echec(r.erreur());
    const ReponseHttp& h = r.valeur();
    if (!h.reussie())
        co_return echec(erreurBase(h.statut, h.corps));
    if (retour == Retour::minimal)
        co_return JSONValeur();
    auto v = lireReponseJson(h.corps);
    if (!v)
        co_return echec(erreurIllisible(h.statut));
    co_return *v;
}

QCoro::Task<ResultatCloud<JSONValeur>> ClientSupabase::appelerProcedure(QString nom, QJsonObject parametres, int delaiMs)
{
    auto r = co_await envoyerAvecJeton(http::POST, http::rpc + nom, {}, compact(parametres), delaiMs,
                                       true);
    co_return lireJson(r, &erreurBase);
}

QCoro::Task<ResultatCloud<JSONValeur>> ClientSupabase::appelerFonction(QString nom, std::optional<QJsonValue> corps,
                                                                       int delaiMs)
{
    std::optional<QByteArray> octets;
    if (corps)
        octets = compact(*corps);
    auto r = co_await envoyerAvecJeton(corps ? http::POST : http::GET, http::fonctions + nom, {}, octets,
                                       delaiMs, true);
    co_return lireJson(r, &erreurFonction);
}

QCoro::Task<ResultatCloud<JSONValeur>> ClientSupabase::envoyerOctetsFonction(QString nom, QByteArray octets, QByteArray type,
                                                                            QList<QPair<QByteArray, QByteArray>> entetes,
                                                                            int delaiMs)
{
    entetes.prepend(qMakePair(QByteArrayLiteral("Content-Type"), type.isEmpty() ? QByteArrayLiteral("application/octet-stream") : type));
    auto r = co_await envoyerAvecJeton(http::POST, http::fonctions + nom, {}, octets, delaiMs, true, entetes);
    co_return lireJson(r, &erreurFonction);
}

FluxFonction* ClientSupabase::appelerFonctionFlux(const QString& nom, const QJsonValue& corps, int delaiMs)
{
    auto* f = new FluxFonction(this, QStringLiteral("functions/v1/") + nom, compact(corps), delaiMs);
    f->demarrer();
    return f;
}

} // namespace vd::cloud
