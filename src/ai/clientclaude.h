#pragma once
// The language-model client: picks the route, sends one streamed request,
// publishes the growing answer, enforces the time limits, retries transient
// failures and ends with the text or a ready French message.
#include "accescloudia.h"
#include "clientia.h"
#include "diffuseurpartiel.h"
#include "erreursclaude.h"
#include "fluxreponse.h"
#include "fluxsse.h"
#include "routes.h"

#include <QJsonObject>
#include <QPointer>
#include <QUrl>

class QNetworkAccessManager;

namespace vd::ai {

class Moteur;

// Which time limit of a streamed read fired.
enum class DelaiFlux { premierTexte, sansOctet, sansProgres, total };

struct ConfigClientIA {
    ContexteRoutes routes;                    // relay address, keychain, relay checker
    AccesCloudIA* cloud = nullptr;            // the signed-in account, if the backend is configured
    Moteur* moteur = nullptr;                 // default: the process's engine
    platform::Horloge* horloge = nullptr;     // default: the process clock
    QNetworkAccessManager* reseau = nullptr;  // default: the shared session
    QUrl urlAnthropic;                        // default: VD_URL_ANTHROPIC, else the vendor's address
    int pauseDemoMs = 350;                    // imitated streaming of the demonstration route
    int inactiviteMs = 60000;                 // no byte for that long: the transfer is timed out
    int inactiviteCloudMs = 150000;
};

// Default limits: live tasks answer in seconds, the others may stream long.
LimitesFlux limitesParDefaut(bool tacheLive);
// True when the value can be written as JSON as it is (no undefined, no NaN or infinity).
bool payloadSerialisable(const QJsonValue& v);

class ClientIA final : public ClientIABase {
    Q_OBJECT
public:
    explicit ClientIA(ConfigClientIA config, QObject* parent = nullptr);
    DemandeIA* envoyer(const RequeteIA& requete) override;
    const ConfigClientIA& config() const { return config_; }

private:
    ConfigClientIA config_;
};

class DemandeClaude final : public DemandeIA {
    Q_OBJECT
public:
    DemandeClaude(const ConfigClientIA& config, RequeteIA requete, QObject* parent = nullptr);
    ~DemandeClaude() override;
    void annuler() override;

    // For tests and diagnostics.
    SourceIA source() const { return source_; }
    int tentatives() const { return tentatives_; }
    std::optional<DelaiFlux> depasse() const { return depasse_; }
    const QString& textePartiel() const { return diffuseur_->texte(); }
    int evenementsLus() const { return flux_.evenements; }
    bool reessaiEnAttente() const { return reessaiEnAttente_; }

private:
    void demarrer();
    void surSource(SourceIA source);
    std::optional<QString> preparerCle();
    void preparerRelais();
    void tenter();
    void brancher(FluxReponse* flux);
    void surDonnees(const QByteArray& morceau);
    void surLigne(QByteArrayView ligne);
    void surFin();
    void surEchec(const EchecFlux& e);
    void surEchecHTTP(const ErreurHTTP& e, const QString& code);
    void surEchecReseau(bool reessayable);
    void reessayer(int delaiMs);
    void verifierVeille();
    void arreterLecture();
    void conclureFlux();
    void repondreDemo();
    void echouer(const QString& message, const QString& type, int statut);
    bool budgetRestant() const;

    ConfigClientIA config_;
    RequeteIA requete_;
    platform::Horloge& horloge_;
    Moteur& moteur_;
    DiffuseurPartiel* diffuseur_;
    SourceIA source_ = SourceIA::demo;
    LimitesFlux limites_;
    int budget_ = 2;
    int reessais_ = 0;
    int tentatives_ = 0;
    bool fini_ = false;
    bool reessaiEnAttente_ = false;

    // The request of the own-key and relay routes.
    QUrl url_;
    QJsonObject corps_;
    bool repli_ = false;
    bool format_ = false;

    // The running attempt.
    QPointer<FluxReponse> lecture_;
    platform::Minuterie* veille_ = nullptr;
    DecoupeurLignes decoupeur_;
    FluxSSE flux_;
    qint64 debut_ = 0, derniereLigne_ = 0, dernierProgres_ = 0;
    std::optional<qint64> premierTexte_;
    std::optional<DelaiFlux> depasse_;
    std::optional<QString> modeleCloud_, promptCloud_;
};

} // namespace vd::ai
