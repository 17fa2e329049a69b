#pragma once
// What the engine's live tasks read of the store for one call: settings, company, customer
// profiles, the objection library, frameworks and favourite questions, and of the contacts only
// the call's contact with its own calls and interactions. Loading this instead of the whole
// store keeps the cost of a call context independent of the store's size.
#include "model/etat.h"

#include <QJsonObject>
#include <optional>

namespace vd::ai {

model::Etat etatPourContact(const model::Etat& etat, const std::optional<QString>& contactId);
QJsonObject etatMoteurPourContact(const model::Etat& etat, const std::optional<QString>& contactId);

} // namespace vd::ai
