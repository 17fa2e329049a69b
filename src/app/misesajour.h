#pragma once
// Automatic updates: when they are off and why, checks refused during a
// call, a ready version installed on quit or at once when the user is away,
// and relaunches held back until the call is over. The update framework
// itself is an outside component behind CadreMisesAJour.
#include "platform/horloge.h"
#include "platform/preferences.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace vd::app {

// The embedded update framework.
class CadreMisesAJour {
public:
    virtual ~CadreMisesAJour() = default;
    virtual QString demarrer() = 0;   // empty on success, else the error
    virtual void verifierMaintenant() = 0;
};

struct InfoApplication {
    QString versionCourte = QStringLiteral(VD_VERSION);
    QString build = QStringLiteral("1");
    QString adresseFlux;    // "SUFeedURL"
    QString clePublique;    // "SUPublicEDKey"
    bool debug = false;
    // Installed as a system package (Linux): the package manager updates the app, never the app itself.
    bool parPaquets = false;
    // Reads "info.json" among the resources (keys SUFeedURL, SUPublicEDKey, build).
    static InfoApplication duProgramme();
};

// Why automatic updates are off, or none when they may start.
std::optional<QString> raisonMisesAJourInactives(const QHash<QString, QString>& environnement, const InfoApplication& info);

// Holds installation actions back while a call runs.
class ReportInstallation : public QObject {
    Q_OBJECT
public:
    explicit ReportInstallation(platform::Horloge& horloge, double delaiSec = 5, QObject* parent = nullptr);

    // Runs now when no call is in progress, else waits for its end.
    void executer(std::function<void()> action);
    void setAppelEnCours(bool enCours);
    bool appelEnCours() const { return appelEnCours_; }
    int enAttente() const { return int(enAttente_.size()); }
    double delai() const { return delai_; }

private:
    void finDuDelai();
    platform::Horloge& horloge_;
    std::vector<std::function<void()>> enAttente_;
    bool appelEnCours_ = false;
    double delai_;
    platform::Minuterie* tache_ = nullptr;
};

class MisesAJour : public QObject {
    Q_OBJECT
public:
    using Fabrique = std::function<std::unique_ptr<CadreMisesAJour>()>;
    MisesAJour(InfoApplication info, QHash<QString, QString> environnement, Fabrique fabrique, platform::Horloge& horloge,
               platform::Preferences& prefs, QObject* parent = nullptr);
    ~MisesAJour() override;

    // Whether a call is connecting, running or paused.
    std::function<bool()> etatAppel;

    void demarrer();
    bool actif() const { return actif_; }
    std::optional<QString> raison() const { return raison_; }
    std::optional<QString> versionPrete() const { return versionPrete_; }
    std::optional<QDateTime> derniereVerification() const { return derniereVerification_; }
    ReportInstallation& report() { return report_; }
    const InfoApplication& info() const { return info_; }

    // Asked by the framework before each check: none when allowed, else the refusal.
    std::optional<QString> autoriserVerification() const;
    void verifierMaintenant();

    // The framework downloaded a version that installs on quit.
    void surVersionPrete(const QString& version, double inactifDepuisSec, std::function<void()> installer);
    bool installationPossible() const { return bool(installerMaintenant_); }
    void installerMaintenant();
    void plusTard();
    // The framework wants to relaunch the app: held back during a call.
    void demanderRelance(std::function<void()> relancer);
    void surAbandon(const QString& raison);

    // Texts of the settings screen.
    QString texteVersion() const;
    QString texteEtat() const;   // empty when nothing to say

    static QString texteParPaquets()
    {
        return QStringLiteral("Vendalo se met à jour avec les autres logiciels, par le gestionnaire de paquets du système "
                              "(par exemple « sudo apt upgrade » ou la logithèque).");
    }
    static QString texteInactives() { return QStringLiteral("Les mises à jour automatiques ne sont pas actives sur cette version."); }

Q_SIGNALS:
    void change();

private:
    bool appelActif() const { return etatAppel && etatAppel(); }
    InfoApplication info_;
    QHash<QString, QString> env_;
    Fabrique fabrique_;
    platform::Horloge& horloge_;
    platform::Preferences& prefs_;
    std::unique_ptr<CadreMisesAJour> controleur_;
    bool actif_ = false;
    std::optional<QString> raison_;
    std::optional<QString> versionPrete_;
    std::optional<QDateTime> derniereVerification_;
    std::function<void()> installerMaintenant_;
    ReportInstallation report_;
};

} // namespace vd::app
