#pragma once
// The program's only door to its backend: signs every request, keeps the
// session fresh (one shared refresh), runs the sign-in flows and turns every
// failure into one ErreurCloud with its French message.
#include "cloud/configcloud.h"
#include "cloud/diffusion.h"
#include "cloud/erreurcloud.h"
#include "cloud/session.h"
#include "model/json.h"
#include "platform/horloge.h"
#include "platform/resultat.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QUrlQuery>
#include <functional>
#include <memory>
#include <optional>

#include <qcoro/qcorotask.h>

class QNetworkAccessManager;
class QNetworkRequest;

namespace vd::cloud {

class FluxFonction;
class OuvreurUrl;

template<typename T>
using ResultatCloud = Resultat<T, ErreurCloud>;
using ResultatCloudVide = ResultatVide<ErreurCloud>;

// A raw HTTP exchange: status and body, or the transport failure.
struct ReponseHttp {
    int statut = 0;
    QByteArray corps;
    QList<QNetworkReply::RawHeaderPair> entetes;
    int erreurReseau = 0;   // QNetworkReply::NetworkError when no HTTP answer came
    bool delaiDepasse = false;
    bool reussie() const { return statut >= 200 && statut < 300; }
    bool sansReponse() const { return statut == 0; }
};

// Methods and paths (kept out of co_await expressions: g++ 12 rejects string literals there).
namespace http {
inline const QByteArray GET = QByteArrayLiteral("GET");
inline const QByteArray POST = QByteArrayLiteral("POST");
inline const QByteArray PUT = QByteArrayLiteral("PUT");
inline const QByteArray PATCH = QByteArrayLiteral("PATCH");
inline const QString token = QStringLiteral("auth/v1/token");
inline const QString signup = QStringLiteral("auth/v1/signup");
inline const QString user = QStringLiteral("auth/v1/user");
inline const QString logout = QStringLiteral("auth/v1/logout");
inline const QString recover = QStringLiteral("auth/v1/recover");
inline const QString resend = QStringLiteral("auth/v1/resend");
inline const QString rest = QStringLiteral("rest/v1/");
inline const QString rpc = QStringLiteral("rest/v1/rpc/");
inline const QString fonctions = QStringLiteral("functions/v1/");
} // namespace http

class ClientSupabase : public QObject {
    Q_OBJECT
public:
    enum class Evenement { connexion, rafraichissement, expiration, deconnexion, utilisateur };
    Q_ENUM(Evenement)
    enum class Retour { minimal, representation };

    // Time limits (ms): auth calls, logout, streamed answers between bytes and in all.
    static constexpr int delaiAuthMs = 30'000;
    static constexpr int delaiTransfertMs = 120'000;
    static constexpr int delaiDeconnexionMs = 8'000;
    static constexpr int delaiFluxMs = 150'000;
    static constexpr int delaiFluxTotalMs = 900'000;
    static constexpr int margeRafraichissementS = 60;

    // The configuration must be active; the stored session is read at once.
    ClientSupabase(ConfigCloud config, StockageSession* stockage, platform::Horloge* horloge = nullptr,
                   OuvreurUrl* ouvreur = nullptr, QObject* parent = nullptr);
    ~ClientSupabase() override;
    // None when the configuration has no address (cloud off).
    static std::unique_ptr<ClientSupabase> creer(const ConfigCloud& config, StockageSession* stockage,
                                                 platform::Horloge* horloge = nullptr, OuvreurUrl* ouvreur = nullptr);

    const ConfigCloud& config() const { return config_; }
    QUrl base() const { return base_; }
    const std::optional<SessionAuth>& session() const { return session_; }
    bool connecte() const { return session_.has_value(); }
    // Called with every session change, like sessionChangee().
    std::function<void(const std::optional<SessionAuth>&, Evenement)> surSession;

    // Sign-in and account. inscrire() gives true when the account is usable at
    // once, false when the e-mail must be confirmed first.
    QCoro::Task<ResultatCloud<bool>> inscrire(QString email, QString motDePasse, QJsonObject donnees = {});
    QCoro::Task<ResultatCloudVide> connecter(QString email, QString motDePasse);
    // Opens the browser on the authorisation page and waits for the callback
    // link handed to traiterLien(); annulerConnexionWeb() ends it silently.
    QCoro::Task<ResultatCloudVide> connecterAvecGoogle();
    void annulerConnexionWeb();
    bool connexionWebEnCours() const { return authWeb_ != nullptr; }
    QCoro::Task<ResultatCloudVide> renvoyerConfirmation(QString email);
    QCoro::Task<ResultatCloudVide> demanderReinitialisation(QString email);
    QCoro::Task<ResultatCloudVide> changerMotDePasse(QString motDePasse);
    // A "vendalo2://auth-callback" link; gives the flow it completes ("signup",
    // "recovery", "google", or the link's own "type").
    QCoro::Task<ResultatCloud<QString>> traiterLien(QUrl url);
    QCoro::Task<void> deconnecter();
    QCoro::Task<ResultatCloud<UtilisateurAuth>> utilisateurCourant();
    QCoro::Task<ResultatCloud<QString>> jetonValide();

    // Data access.
    QCoro::Task<ResultatCloud<model::JSONValeur>> selectionner(QString table, QUrlQuery requete);
    QCoro::Task<ResultatCloud<model::JSONValeur>> inserer(QString table, QJsonArray lignes, QStringList conflit = {},
                                                          Retour retour = Retour::minimal);
    // PATCH of the rows the PostgREST filters select (e.g. "id" = "eq.…"), without answer body.
    QCoro::Task<ResultatCloudVide> modifier(QString table, QUrlQuery filtres, QJsonObject valeurs);
    QCoro::Task<ResultatCloud<model::JSONValeur>> appelerProcedure(QString nom, QJsonObject parametres, int delaiMs);
    // POST with a body, GET without one.
    QCoro::Task<ResultatCloud<model::JSONValeur>> appelerFonction(QString nom, std::optional<QJsonValue> corps,
                                                                   int delaiMs);
    // POST of raw bytes (an upload): the body as is with its own "Content-Type" and the
    // caller's headers; the answer decoded as JSON like appelerFonction().
    QCoro::Task<ResultatCloud<model::JSONValeur>> envoyerOctetsFonction(QString nom, QByteArray octets, QByteArray type,
                                                                        QList<QPair<QByteArray, QByteArray>> entetes,
                                                                        int delaiMs);
    // Calendar connection: asks the backend function "agenda/connecter" for the
    // provider's consent page, opens it in the browser and gives back the
    // "vendalo2://agenda" link that ends it (its items carry the outcome).
    QCoro::Task<ResultatCloud<QUrl>> connecterAgenda(QString fournisseur);
    void annulerConnexionAgenda();
    bool connexionAgendaEnCours() const { return agendaWeb_ != nullptr; }
    // Streamed answer (server-sent events): the caller owns the returned object.
    FluxFonction* appelerFonctionFlux(const QString& nom, const QJsonValue& corps, int delaiMs = delaiFluxMs);

Q_SIGNALS:
    void sessionChangee(vd::cloud::ClientSupabase::Evenement evenement);

private:
    friend class FluxFonction;

    QNetworkRequest requete(const QString& chemin, const QUrlQuery& query, const QString& jeton, bool avecCorps) const;
    QCoro::Task<ReponseHttp> envoyer(QByteArray methode, QString chemin, QUrlQuery query, std::optional<QByteArray> corps,
                                     QString jeton, int delaiMs, QList<QPair<QByteArray, QByteArray>> entetes = {});
    // Sends with the user's token (the public key when nobody is signed in and
    // anonymeAdmis), and after a 401 once more with a fresh token.
    QCoro::Task<ResultatCloud<ReponseHttp>> envoyerAvecJeton(QByteArray methode, QString chemin, QUrlQuery query,
                                                             std::optional<QByteArray> corps, int delaiMs,
                                                             bool anonymeAdmis,
                                                             QList<QPair<QByteArray, QByteArray>> entetes = {});
    // The token to use after a 401 answered to "ancien".
    QCoro::Task<ResultatCloud<QString>> jetonApres401(QString ancien);
    QCoro::Task<ResultatCloud<SessionAuth>> rafraichir();
    QCoro::Task<void> executerRafraichissement(std::shared_ptr<Diffusion<ResultatCloud<SessionAuth>>> d);
    QCoro::Task<ResultatCloud<QString>> traiterLienSansFeuille(QUrl url);
    QCoro::Task<ResultatCloudVide> postAuth(QString chemin, QUrlQuery query, QJsonObject corps);

    void installer(const SessionAuth& s, Evenement e);
    void oublier(Evenement e);
    void publier(Evenement e);
    bool valideAssezLongtemps(const SessionAuth& s) const;
    QString emailNormalise(const QString& email) const { return email.trimmed().toLower(); }

    ConfigCloud config_;
    QUrl base_;
    StockageSession* stockage_;
    platform::Horloge* horloge_;
    OuvreurUrl* ouvreur_;
    std::unique_ptr<OuvreurUrl> ouvreurSysteme_;
    std::optional<SessionAuth> session_;
    quint64 generationSession_ = 0;
    std::shared_ptr<Diffusion<ResultatCloud<SessionAuth>>> rafraichissement_;
    std::shared_ptr<Diffusion<ResultatCloud<QString>>> authWeb_;
    std::shared_ptr<Diffusion<ResultatCloud<QUrl>>> agendaWeb_;
    QNetworkAccessManager* reseau_;
    QNetworkAccessManager* reseauFlux_;
};

// Reads a JSON answer; an empty body is null, anything unparseable is none.
std::optional<model::JSONValeur> lireReponseJson(const QByteArray& corps);

} // namespace vd::cloud
