#pragma once
#include <QJsonValue>
#include <QString>
#include <optional>

namespace vd::model {
class Store;
}

namespace vd::assistant {

// Applies the engine's changes ([{collection, op: "ajouter"|"remplacer"|"supprimer"|"fusionner", id?, valeur?}])
// in one store mutation that touches only the records they name. Nothing is
// changed when one of them does not read; then why.
std::optional<QString> appliquerChangements(model::Store& store, const QJsonValue& changements);

} // namespace vd::assistant
