#pragma once
// Applying what an analysis teaches about the contact: stage, probability,
// next action, learnt fields, tone of address, and the interaction of the call.
#include "model/etat.h"

#include <QJsonObject>

namespace vd::ai {

// effets is the engine's answer ({contact, interactions, prochaineAction}); when
// it is empty the analysis's own CRM part is used. The interaction of the call is
// keyed by the call's identifier, so a second analysis replaces it instead of
// adding another; a next step noted by the salesperson during the call wins
// over the analysis's. Sets analyse.crm.etapeAppliquee.
void appliquerEffetsAnalyse(model::Etat& etat, const model::Appel& appel, model::Analyse& analyse,
                            const QJsonObject& effets, const QString& maintenant);

} // namespace vd::ai
