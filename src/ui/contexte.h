#pragma once
// The shared objects every screen reads, created once by the start-up.
#include <QString>
#include <functional>
#include <optional>

namespace vd::call {
class SessionAppel;
struct ConfigAppel;
} // namespace vd::call
namespace vd::model {
class Store;
}
namespace vd::ai {
class GenerateurBrief;
class PanneauSouffleur;
} // namespace vd::ai
namespace vd::platform {
class Horloge;
class Preferences;
} // namespace vd::platform

namespace vd::agenda {
class Agenda;
class NotificationsApp;
} // namespace vd::agenda
namespace vd::cloud {
class ClientSupabase;
class Compte;
class Synchro;
} // namespace vd::cloud
namespace vd::team {
class CoachingEquipe;
class PilotageEquipe;
} // namespace vd::team
namespace vd::crm {
class EcritureRelances;
} // namespace vd::crm
namespace vd::assistant {
class AideApp;
}
namespace vd::app {
class ConnexionAuDemarrage;
class MisesAJour;
} // namespace vd::app

namespace vd::ui {

class Navigation;
class Toasts;

// Progress of one call's analysis, as the analysis screen shows it.
struct SuiviAnalyse {
    int etape = 0;
    bool fini = false;
    std::optional<QString> erreur;
};

struct Contexte {
    model::Store* store = nullptr;
    Navigation* navigation = nullptr;
    Toasts* toasts = nullptr;
    app::ConnexionAuDemarrage* connexion = nullptr;
    app::MisesAJour* misesAJour = nullptr;
    platform::Horloge* horloge = nullptr;
    platform::Preferences* preferences = nullptr;
    call::SessionAppel* session = nullptr;
    // The prompter's state, for its view docked in the live screen.
    ai::PanneauSouffleur* panneau = nullptr;
    // Writes the pre-call brief of the new-call screen; none: the screen offers no brief.
    ai::GenerateurBrief* briefs = nullptr;
    // The coming meetings (none before the application creates it).
    agenda::Agenda* agenda = nullptr;
    // Which notifications the user gets (none before the application creates it).
    agenda::NotificationsApp* notifications = nullptr;
    // The backend (none without a configured backend: local mode), the account and synchronisation.
    cloud::ClientSupabase* client = nullptr;
    cloud::Compte* compte = nullptr;
    cloud::Synchro* synchro = nullptr;
    // Team steering (signed-in managers only; none otherwise).
    team::PilotageEquipe* pilotage = nullptr;
    // The team's comments, exemplary calls, objectives, ranking and reports (none in local mode).
    team::CoachingEquipe* coaching = nullptr;
    // The daily writer of follow-up messages: steps being written and their errors (none in a bare screen).
    crm::EcritureRelances* ecritureRelances = nullptr;
    // The signed-in account's id; none in local mode or signed out ("local" settings then).
    std::function<std::optional<QString>()> compteConnecte;
    // The help panel's state (the chat, the tickets and their counters); none before the application makes it.
    assistant::AideApp* aide = nullptr;

    // Replaces the data with the engine's demonstration state; none on success, else the message.
    std::function<std::optional<QString>()> chargerDemo;
    // Starts the simulated call; none on success, else the refusal.
    std::function<std::optional<QString>()> lancerAppelSimule;
    // Whether a call is connecting, running or paused.
    std::function<bool()> appelActif;
    std::function<void()> montrerFenetre;
    // Opens the pre-flight sheet for a prepared call.
    std::function<void(const call::ConfigAppel&)> ouvrirPreVol;
    // A help request for the prompter ("objection", "questions", "recap").
    std::function<void(const QString& tache)> demanderAide;
    // Shows or hides the prompter.
    std::function<void()> basculerSouffleur;
    // Whether the prompter sits in the live screen rather than floating (remembered).
    std::function<bool()> souffleurAncre;
    std::function<void(bool ancre)> ancrerSouffleur;
    // Starts (again) the analysis of a call; empty when no analysis is available.
    std::function<void(const QString& appelId)> analyser;
    std::function<std::optional<SuiviAnalyse>(const QString& appelId)> suiviAnalyse;
    std::function<void()> quitter;
};

} // namespace vd::ui
