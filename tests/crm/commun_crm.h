#pragma once
// Shared by the CRM and agenda tests. Records are written with designated
// initializers: the fields left out keep their defaults, on purpose.
#include "model/etat.h"

#include <QJsonObject>
#include <QStringList>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace vd::tests {

// A follow-up step as the engine stores it, not yet sent.
inline QJsonObject etapeRelance(const char* id, const char* date, int jour, const char* message = "")
{
    return {{"id", id}, {"date", date}, {"jour", jour}, {"canal", "email"}, {"statut", "a_venir"}, {"objet", ""}, {"message", message}};
}

// The values of some keys, joined by "|": one comparison for several fields.
inline QString champs(const QJsonObject& o, const QStringList& cles)
{
    QStringList v;
    for (const QString& c : cles)
        v << o.value(c).toVariant().toString();
    return v.join(u'|');
}

} // namespace vd::tests
