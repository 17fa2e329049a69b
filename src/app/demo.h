#pragma once
#include "model/store.h"

#include <optional>

namespace vd::app {

// The demonstration state from the engine script ("etatDemo"), or the reason it is unavailable.
Resultat<model::Etat, QString> etatDemonstration();
// "Charger la démo": replaces the store's content; none on success, else the message.
std::optional<QString> chargerDemonstration(model::Store& store);

} // namespace vd::app
