// Sign-in flows of ClientSupabase: password, sign-up, recovery, Google through
// the browser with PKCE, callback links, password change, sign-out.
#include "clientsupabase.h"

#include "cloud/ouvreururl.h"

#include <QJsonDocument>
#include <QLoggingCategory>
#include <QUrlQuery>

Q_DECLARE_LOGGING_CATEGORY(lcCloud)

namespace vd::cloud {

namespace {

QByteArray compact(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QUrlQuery avecRedirection()
{
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("redirect_to"), lienAuthCallback);
    return q;
}

int longueur(const QString& s)
{
    return int(s.toUcs4().size());
}

ErreurCloud lienInvalide()
{
    return {ErreurCloud::Genre::auth, 0, QStringLiteral("lien_invalide"), messages::lienInvalide, std::nullopt, std::nullopt};
}

} // namespace

QCoro::Task<ResultatCloudVide> ClientSupabase::postAuth(QString chemin, QUrlQuery query, QJsonObject corps)
{
    const ReponseHttp h = co_await envoyer(http::POST, chemin, query, compact(corps), QString(), delaiAuthMs);
    if (h.sansReponse())
        co_return echec(erreurReseau(h.erreurReseau, h.delaiDepasse));
    if (!h.reussie())
        co_return echec(erreurAuth(h.statut, h.corps));
    co_return Rien{};
}

QCoro::Task<ResultatCloud<bool>> ClientSupabase::inscrire(QString email, QString motDePasse, QJsonObject donnees)
{
    email = emailNormalise(email);
    if (longueur(motDePasse) < 8)
        co_return echec(erreurAuthCode(QStringLiteral("weak_password"), 422));
    const PKCEEnAttente pkce{nouveauVerificateur(), QStringLiteral("signup"), email};
    const QJsonObject corps{{QStringLiteral("email"), email},
                            {QStringLiteral("password"), motDePasse},
                            {QStringLiteral("data"), donnees},
                            {QStringLiteral("code_challenge"), defiPkce(pkce.verificateur)},
                            {QStringLiteral("code_challenge_method"), QStringLiteral("s256")}};
    const ReponseHttp h = co_await envoyer(http::POST, http::signup, avecRedirection(), compact(corps),
                                           QString(), delaiAuthMs);
    if (h.sansReponse())
        co_return echec(erreurReseau(h.erreurReseau, h.delaiDepasse));
    if (!h.reussie())
        co_return echec(erreurAuth(h.statut, h.corps));
    if (stockage_)
        stockage_->ecrirePkce(pkce);
    // A project without e-mail confirmation answers with a session at once.
    const QJsonObject o = QJsonDocument::fromJson(h.corps).object();
    if (o.contains(QStringLiteral("access_token"))) {
        auto s = sessionDepuisReponse(o, horloge_->maintenant());
        if (!s)
            co_return echec(erreurIllisible(h.statut));
        installer(*s, Evenement::connexion);
        co_return true;
    }
    co_return false;
}

QCoro::Task<ResultatCloudVide> ClientSupabase::connecter(QString email, QString motDePasse)
{
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("password"));
    const QJsonObject corps{{QStringLiteral("email"), emailNormalise(email)}, {QStringLiteral("password"), motDePasse}};
    const ReponseHttp h = co_await envoyer(http::POST, http::token, q, compact(corps), QString(),
                                           delaiAuthMs);
    if (h.sansReponse())
        co_return echec(erreurReseau(h.erreurReseau, h.delaiDepasse));
    if (!h.reussie())
        co_return echec(erreurAuth(h.statut, h.corps));
    auto s = sessionDepuisReponse(QJsonDocument::fromJson(h.corps).object(), horloge_->maintenant());
    if (!s)
        co_return echec(erreurIllisible(h.statut));
    installer(*s, Evenement::connexion);
    co_return Rien{};
}

QCoro::Task<ResultatCloudVide> ClientSupabase::renvoyerConfirmation(QString email)
{
    return postAuth(http::resend, avecRedirection(),
                    {{QStringLiteral("type"), QStringLiteral("signup")}, {QStringLiteral("email"), emailNormalise(email)}});
}

QCoro::Task<ResultatCloudVide> ClientSupabase::demanderReinitialisation(QString email)
{
    email = emailNormalise(email);
    const PKCEEnAttente pkce{nouveauVerificateur(), QStringLiteral("recovery"), email};
    const QJsonObject corps{{QStringLiteral("email"), email},
                            {QStringLiteral("code_challenge"), defiPkce(pkce.verificateur)},
                            {QStringLiteral("code_challenge_method"), QStringLiteral("s256")}};
    auto r = co_await postAuth(http::recover, avecRedirection(), corps);
    if (r && stockage_)
        stockage_->ecrirePkce(pkce);
    co_return r;
}

QCoro::Task<ResultatCloudVide> ClientSupabase::changerMotDePasse(QString motDePasse)
{
    if (longueur(motDePasse) < 8)
        co_return echec(erreurAuthCode(QStringLiteral("weak_password"), 422));
    const QByteArray corps = compact({{QStringLiteral("password"), motDePasse}});
    auto r = co_await envoyerAvecJeton(http::PUT, http::user, {}, corps, delaiAuthMs, false);
    if (!r)
        co_return echec(r.erreur());
    if (!r.valeur().reussie())
        co_return echec(erreurAuth(r.valeur().statut, r.valeur().corps));
    co_return Rien{};
}

QCoro::Task<ResultatCloud<UtilisateurAuth>> ClientSupabase::utilisateurCourant()
{
    auto r = co_await envoyerAvecJeton(http::GET, http::user, {}, std::nullopt, delaiAuthMs, false);
    if (!r)
        co_return echec(r.erreur());
    const ReponseHttp& h = r.valeur();
    if (!h.reussie())
        co_return echec(erreurAuth(h.statut, h.corps));
    auto u = utilisateurDepuisJson(QJsonDocument::fromJson(h.corps).object());
    if (!u)
        co_return echec(erreurIllisible(h.statut));
    if (session_ && session_->utilisateur.id == u->id) {
        SessionAuth s = *session_;
        s.utilisateur = *u;
        installer(s, Evenement::utilisateur);
    }
    co_return *u;
}

QCoro::Task<void> ClientSupabase::deconnecter()
{
    if (!session_)
        co_return;
    const QString id = session_->utilisateur.id;
    // The user's own token, so that the server ends this session's refresh token too.
    auto j = co_await jetonValide();
    if (j) {
        QUrlQuery q;
        q.addQueryItem(QStringLiteral("scope"), QStringLiteral("local"));
        const ReponseHttp h = co_await envoyer(http::POST, http::logout, q, std::nullopt, j.valeur(),
                                               delaiDeconnexionMs);
        if (!h.reussie())
            qCInfo(lcCloud) << "logout answered" << h.statut << "- forgotten locally all the same";
    }
    if (session_ && session_->utilisateur.id == id)
        oublier(Evenement::deconnexion);
}

QCoro::Task<ResultatCloudVide> ClientSupabase::connecterAvecGoogle()
{
    if (authWeb_) {
        // A newer sign-in replaces the one still waiting.
        auto ancien = std::exchange(authWeb_, nullptr);
        ancien->resoudre(echec(erreurAnnule()));
    }
    const PKCEEnAttente pkce{nouveauVerificateur(), QStringLiteral("google"), QString()};
    QUrl url = base_;
    url.setPath(url.path() + QStringLiteral("/auth/v1/authorize"));
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("provider"), QStringLiteral("google"));
    q.addQueryItem(QStringLiteral("redirect_to"), lienAuthCallback);
    q.addQueryItem(QStringLiteral("code_challenge"), defiPkce(pkce.verificateur));
    q.addQueryItem(QStringLiteral("code_challenge_method"), QStringLiteral("s256"));
    q.addQueryItem(QStringLiteral("prompt"), QStringLiteral("select_account"));
    url.setQuery(q);
    if (stockage_)
        stockage_->ecrirePkce(pkce);
    auto d = std::make_shared<Diffusion<ResultatCloud<QString>>>();
    authWeb_ = d;
    if (!ouvreur_->ouvrir(url)) {
        authWeb_.reset();
        if (stockage_)
            stockage_->ecrirePkce(std::nullopt);
        co_return echec(ErreurCloud{ErreurCloud::Genre::auth, 0, QStringLiteral("auth_web_indisponible"),
                                    messages::googleNonOuvert, std::nullopt, std::nullopt});
    }
    auto r = co_await *d;
    if (authWeb_ == d)
        authWeb_.reset();
    if (!r) {
        if (r.erreur().genre == ErreurCloud::Genre::annule && stockage_) {
            auto enAttente = stockage_->lirePkce();
            if (enAttente && enAttente->verificateur == pkce.verificateur)
                stockage_->ecrirePkce(std::nullopt);
        }
        co_return echec(r.erreur());
    }
    co_return Rien{};
}

void ClientSupabase::annulerConnexionWeb()
{
    if (auto d = std::exchange(authWeb_, nullptr))
        d->resoudre(echec(erreurAnnule()));
}

QCoro::Task<ResultatCloud<QUrl>> ClientSupabase::connecterAgenda(QString fournisseur)
{
    if (auto ancien = std::exchange(agendaWeb_, nullptr))
        ancien->resoudre(echec(erreurAnnule()));
    if (!session_)
        co_return echec(erreurSession(QStringLiteral("session_absente")));
    const QJsonObject corps{{QStringLiteral("retour"), lienAgenda}, {QStringLiteral("fournisseur"), fournisseur}};
    const QString nom = QStringLiteral("agenda/connecter");
    auto r = co_await appelerFonction(nom, QJsonValue(corps), delaiAuthMs);
    if (!r)
        co_return echec(r.erreur());
    const QUrl page(r.valeur().qt().toObject().value(QStringLiteral("url")).toString());
    const QString schema = page.scheme().toLower();
    // The consent page carries the user's grant: only over https.
    if (!page.isValid() || page.host().isEmpty() || schema != QLatin1String("https"))
        co_return echec(erreurIllisible(200));
    auto d = std::make_shared<Diffusion<ResultatCloud<QUrl>>>();
    agendaWeb_ = d;
    if (!ouvreur_->ouvrir(page)) {
        agendaWeb_.reset();
        co_return echec(ErreurCloud{ErreurCloud::Genre::fonction, 0, QStringLiteral("feuille_indisponible"),
                                    QStringLiteral("La page de connexion n'a pas pu s'ouvrir."), std::nullopt, std::nullopt});
    }
    auto retour = co_await *d;
    if (agendaWeb_ == d)
        agendaWeb_.reset();
    co_return retour;
}

void ClientSupabase::annulerConnexionAgenda()
{
    if (auto d = std::exchange(agendaWeb_, nullptr))
        d->resoudre(echec(erreurAnnule()));
}

QCoro::Task<ResultatCloud<QString>> ClientSupabase::traiterLien(QUrl url)
{
    if (url.scheme().compare(schemaLiens, Qt::CaseInsensitive) == 0
        && url.host().compare(QLatin1String("agenda"), Qt::CaseInsensitive) == 0) {
        auto d = std::exchange(agendaWeb_, nullptr);
        if (!d)
            co_return echec(lienInvalide());
        d->resoudre(url);
        const QString type = QStringLiteral("agenda");
        co_return type;
    }
    auto r = co_await traiterLienSansFeuille(url);
    if (auto d = std::exchange(authWeb_, nullptr)) {
        if (!r && r.erreur().code == QLatin1String("lien_invalide")) {
            ErreurCloud e = r.erreur();
            e.code = QStringLiteral("auth_web_sans_reponse");
            e.message = messages::googleSansReponse;
            r = echec(e);
        }
        d->resoudre(r);
    }
    co_return r;
}

QCoro::Task<ResultatCloud<QString>> ClientSupabase::traiterLienSansFeuille(QUrl url)
{
    if (url.scheme().compare(schemaLiens, Qt::CaseInsensitive) != 0
        || url.host().compare(QLatin1String("auth-callback"), Qt::CaseInsensitive) != 0)
        co_return echec(lienInvalide());
    // Items may come in the query or in the fragment.
    QUrlQuery items(url.query());
    for (const auto& [cle, valeur] : QUrlQuery(url.fragment()).queryItems(QUrl::FullyDecoded))
        if (!items.hasQueryItem(cle))
            items.addQueryItem(cle, valeur);
    auto item = [&items](const char* cle) {
        return items.queryItemValue(QLatin1String(cle), QUrl::FullyDecoded).trimmed();
    };

    if (items.hasQueryItem(QStringLiteral("error")) || items.hasQueryItem(QStringLiteral("error_code"))
        || items.hasQueryItem(QStringLiteral("error_description")))
        co_return echec(erreurAuthLien(item("error"), item("error_code"), item("error_description")));

    if (const QString code = item("code"); !code.isEmpty()) {
        const auto pkce = stockage_ ? stockage_->lirePkce() : std::nullopt;
        if (!pkce)
            co_return echec(erreurAuthCode(QStringLiteral("pkce_absent"), 0));
        QUrlQuery q;
        q.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("pkce"));
        const QJsonObject corps{{QStringLiteral("auth_code"), code}, {QStringLiteral("code_verifier"), pkce->verificateur}};
        const ReponseHttp h = co_await envoyer(http::POST, http::token, q, compact(corps), QString(),
                                               delaiAuthMs);
        if (h.sansReponse())
            co_return echec(erreurReseau(h.erreurReseau, h.delaiDepasse));
        if (!h.reussie()) {
            // A refused code will not work later either; a server failure may.
            if (h.statut < 500 && stockage_)
                stockage_->ecrirePkce(std::nullopt);
            co_return echec(erreurAuth(h.statut, h.corps));
        }
        auto s = sessionDepuisReponse(QJsonDocument::fromJson(h.corps).object(), horloge_->maintenant());
        if (!s)
            co_return echec(erreurIllisible(h.statut));
        if (stockage_)
            stockage_->ecrirePkce(std::nullopt);
        installer(*s, Evenement::connexion);
        co_return pkce->type;
    }

    const QString acces = item("access_token");
    const QString rafraichi = item("refresh_token");
    if (!acces.isEmpty() && !rafraichi.isEmpty()) {
        const ReponseHttp h = co_await envoyer(http::GET, http::user, {}, std::nullopt, acces, delaiAuthMs);
        if (h.sansReponse())
            co_return echec(erreurReseau(h.erreurReseau, h.delaiDepasse));
        if (h.statut == 401 || h.statut == 403)
            co_return echec(lienInvalide());
        if (!h.reussie())
            co_return echec(erreurAuth(h.statut, h.corps));
        const QJsonObject u = QJsonDocument::fromJson(h.corps).object();
        QJsonObject reponse{{QStringLiteral("access_token"), acces},
                            {QStringLiteral("refresh_token"), rafraichi},
                            {QStringLiteral("expires_in"), item("expires_in")},
                            {QStringLiteral("user"), u}};
        if (const QString a = item("expires_at"); !a.isEmpty())
            reponse.insert(QStringLiteral("expires_at"), a);
        if (item("expires_in").isEmpty() && item("expires_at").isEmpty())
            reponse.insert(QStringLiteral("expires_in"), 3600);
        auto s = sessionDepuisReponse(reponse, horloge_->maintenant());
        if (!s)
            co_return echec(erreurIllisible(h.statut));
        // Someone else's link must not replace the signed-in account.
        if (session_ && session_->utilisateur.id != s->utilisateur.id) {
            qCInfo(lcCloud) << "sign-in link of another account refused";
            co_return echec(lienInvalide());
        }
        installer(*s, Evenement::connexion);
        co_return item("type");
    }
    co_return echec(lienInvalide());
}

} // namespace vd::cloud
