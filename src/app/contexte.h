#pragma once
// The shared objects every screen reads, created once by the start-up.
#include <QString>
#include <functional>
#include <optional>

namespace vd::model {
class Store;
}
namespace vd::platform {
class Horloge;
class Preferences;
} // namespace vd::platform

namespace vd::app {

class Navigation;
class Toasts;
class ConnexionAuDemarrage;
class MisesAJour;

struct Contexte {
    model::Store* store = nullptr;
    Navigation* navigation = nullptr;
    Toasts* toasts = nullptr;
    ConnexionAuDemarrage* connexion = nullptr;
    MisesAJour* misesAJour = nullptr;
    platform::Horloge* horloge = nullptr;
    platform::Preferences* preferences = nullptr;

    // Replaces the data with the engine's demonstration state; none on success, else the message.
    std::function<std::optional<QString>()> chargerDemo;
    // Starts the simulated call; none on success, else the refusal.
    std::function<std::optional<QString>()> lancerAppelSimule;
    // Whether a call is connecting, running or paused.
    std::function<bool()> appelActif;
    std::function<void()> montrerFenetre;
    // Starts (again) the analysis of a call; empty when no analysis is available.
    std::function<void(const QString& appelId)> analyser;
    std::function<void()> quitter;
};

} // namespace vd::app
