#pragma once
// Demonstration data from the engine, decoded into the program's records.
#include "model/etat.h"

#include <optional>

namespace vd::ai {

class Moteur;

// The engine's demonstration state (Moteur.etatDemo), decoded leniently; none
// when the engine cannot give it. Used by the in-memory store under VD_TEST_MOTEUR=1.
std::optional<model::Etat> etatDemonstration(Moteur& moteur);

} // namespace vd::ai
