#pragma once
// The process's shared objects and the window around them, created once.
#include "app/connexionaudemarrage.h"
#include "app/ui.h"
#include "app/misesajour.h"
#include "app/quitter.h"
#include "app/sondeaudio.h"
#include "model/store.h"

#include <QHash>
#include <QObject>
#include <QUrl>
#include <memory>

namespace vd::call {
class SessionAppel;
}

namespace vd::ai {
class ClientIA;
class AnalysesEnCours;
class GenerateurBrief;
class Souffleur;
class PanneauSouffleur;
} // namespace vd::ai
namespace vd::crm {
class EcritureRelances;
} // namespace vd::crm
namespace vd::call {
class LiaisonSouffleur;
class FenetreSouffleur;
class GardeAppelOublie;
class DetectionPartage;
struct CarteOubli;
} // namespace vd::call
namespace vd::platform {
class LecteurFenetres;
class NotificationsBureau;
class CaptureEcran;
}
namespace vd::assistant {
class AideApp;
}
namespace vd::cloud {
class ClientProgramme;
class Compte;
class Synchro;
} // namespace vd::cloud

namespace vd::team {
class CoachingEquipe;
class EquipeDemo;
class PilotageEquipe;
}
namespace vd::agenda::regles {
struct ResumeEquipe;
}
namespace vd::platform {
class Preferences;
}

namespace vd::agenda {
class Agenda;
class AvantRendezVous;
class ClientAgenda;
class FenetreNotifications;
class NotificationsApp;
class PileNotifications;
struct CarteNotification;
} // namespace vd::agenda

namespace vd::app {

class FenetrePrincipale;
class MoniteurClavierAppel;
class ElementStatut;

struct OptionsLancement {
    QHash<QString, QString> environnement;
    bool auDemarrage = false;   // started by the session's autostart entry
    bool demo = false;          // --demo
    QString capture;            // --capture FICHIER.png
    QString ecran;              // --ecran NOM[:ID]: demonstration data on that screen, no simulated call
    QString lien;               // a vendalo2: URL given on the command line
    static OptionsLancement depuis(const QStringList& arguments);
};

class Application : public QObject {
    Q_OBJECT
public:
    // store: the process's store (created after the single-instance lock).
    Application(std::unique_ptr<model::Store> store, OptionsLancement options, platform::Horloge& horloge,
                platform::Preferences& preferences, std::unique_ptr<ServiceDemarrage> serviceDemarrage, QObject* parent = nullptr);
    ~Application() override;

    // Window (unless discreet), status item, login default, updater, retention notice.
    void demarrer();

    Contexte& contexte() { return ctx_; }
    FenetrePrincipale* fenetre() const { return fenetre_.get(); }
    model::Store& store() { return *store_; }
    call::SessionAppel& session() { return *session_; }
    ai::AnalysesEnCours& analyses() { return *analyses_; }
    agenda::Agenda& agenda() { return *agenda_; }
    agenda::AvantRendezVous& avantRendezVous() { return *avant_; }
    agenda::PileNotifications& pileNotifications() { return *pile_; }
    agenda::FenetreNotifications* fenetreNotifications() const { return fenetreNotifs_.get(); }
    agenda::NotificationsApp& notifications() { return *notifications_; }
    // The account (local mode without a backend) and synchronisation (none without a backend).
    cloud::Compte& compte() { return *compte_; }
    cloud::Synchro* synchro() const { return synchro_.get(); }
    // The team's coaching data (none without a backend).
    team::CoachingEquipe* coaching() const { return coaching_.get(); }
    // For tests: replaces how the pre-flight probes the audio.
    void setSondeAudio(std::unique_ptr<SondeAudio> s) { sonde_ = std::move(s); }
    Navigation& navigation() { return navigation_; }
    Toasts& toasts() { return toasts_; }
    bool discret() const { return discret_; }

    void montrerFenetre();
    void traiterLien(const QString& lien);
    void demanderQuitter();

Q_SIGNALS:
    // The quit may go on (the store is flushed by the caller on the way out).
    void quitterAccepte();

private:
    EcranBase* creerEcran(Ecran::Genre g, QWidget* parent);
    std::optional<QString> lancerAppelSimule();
    void ouvrirPreVol(const call::ConfigAppel& config);
    void surEtatSession();
    void majSouffleur();
    void brancherGardeEtPartage();
    void brancherCloud();
    void demarrerCloud();
    void suivreAppelPourSynchro();
    // Team steering for signed-in managers (and the demonstration's team).
    void brancherPilotage();
    void suivreComptePourPilotage();
    void annoncerAlertesEquipe(const QStringList& appelIds);
    std::optional<agenda::regles::ResumeEquipe> resumeEquipeDuJour() const;
    void montrerCarteOubli(const call::CarteOubli& carte);
    void retirerCarteOubli(const QString& id);
    void agirCarteOubli(const agenda::CarteNotification& carte);
    // Where a notification's action leads ("tableau", "crm-relances", "analyse", "compte"…).
    void ouvrirCible(const QString& cible, const std::optional<QString>& objet);
    bool appelActif() const;

    OptionsLancement options_;
    platform::Horloge& horloge_;
    platform::Preferences& preferences_;
    std::unique_ptr<model::Store> store_;
    Navigation navigation_;
    Toasts toasts_;
    std::unique_ptr<ServiceDemarrage> serviceDemarrage_;
    ConnexionAuDemarrage connexion_;
    MisesAJour misesAJour_;
    std::unique_ptr<ai::ClientIA> clientIA_;
    std::unique_ptr<ai::AnalysesEnCours> analyses_;
    std::unique_ptr<crm::EcritureRelances> ecritureRelances_;
    std::unique_ptr<ai::GenerateurBrief> briefs_;
    std::unique_ptr<call::SessionAppel> session_;
    std::unique_ptr<ai::Souffleur> souffleur_;
    std::unique_ptr<ai::PanneauSouffleur> panneau_;
    std::unique_ptr<call::LiaisonSouffleur> liaison_;
    std::unique_ptr<call::FenetreSouffleur> fenetreSouffleur_;
    std::unique_ptr<call::GardeAppelOublie> gardeOubli_;
    std::unique_ptr<platform::LecteurFenetres> lecteurFenetres_;
    std::unique_ptr<call::DetectionPartage> partage_;
    std::unique_ptr<SondeAudio> sonde_;
    std::unique_ptr<agenda::ClientAgenda> clientAgenda_;
    std::unique_ptr<agenda::Agenda> agenda_;
    std::unique_ptr<agenda::PileNotifications> pile_;
    std::unique_ptr<agenda::AvantRendezVous> avant_;
    std::unique_ptr<agenda::FenetreNotifications> fenetreNotifs_;
    std::unique_ptr<platform::NotificationsBureau> bureau_;
    std::unique_ptr<agenda::NotificationsApp> notifications_;
    std::unique_ptr<cloud::ClientProgramme> cloud_;
    std::unique_ptr<cloud::Compte> compte_;
    std::unique_ptr<cloud::Synchro> synchro_;
    std::unique_ptr<platform::Preferences> preferencesDemo_;
    std::unique_ptr<team::PilotageEquipe> pilotage_;
    std::unique_ptr<team::EquipeDemo> equipeDemo_;
    std::unique_ptr<team::CoachingEquipe> coaching_;
    std::unique_ptr<platform::CaptureEcran> captureEcran_;
    std::unique_ptr<assistant::AideApp> aide_;
    QString appelSynchro_;   // the call kept out of synchronisation while it runs
    void genererBriefAgenda(const QString& evenementId, std::function<void(bool)> fini);
    Contexte ctx_;
    std::unique_ptr<FenetrePrincipale> fenetre_;
    ElementStatut* statut_ = nullptr;
    QuitteDifferee* quitte_ = nullptr;
    MoniteurClavierAppel* clavier_ = nullptr;
    bool discret_ = false;
    bool souffleurAncre_ = false;
    int etatPrecedent_ = 0;
};

} // namespace vd::app
