#pragma once
// Lenient readers of one field of a JSON object, shared by the team records:
// a missing or mistyped field gives the default (or nothing), never a failure.
#include "model/json.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace vd::team::champs {

inline QJsonValue champ(const QJsonObject& o, const char* cle) { return o.value(QLatin1String(cle)); }
inline QString chaine(const QJsonObject& o, const char* cle) { return model::lire::texte(champ(o, cle), QString()); }
inline std::optional<QString> texteOpt(const QJsonObject& o, const char* cle)
{
    return model::lire::texteOpt(champ(o, cle));
}
inline std::optional<double> nombre(const QJsonObject& o, const char* cle) { return model::lire::nombre(champ(o, cle)); }
inline int entier(const QJsonObject& o, const char* cle) { return int(model::lire::entier(champ(o, cle), 0)); }
inline std::optional<int> entierOpt(const QJsonObject& o, const char* cle)
{
    const auto v = model::lire::entier(champ(o, cle));
    return v ? std::optional<int>(int(*v)) : std::nullopt;
}
inline bool booleen(const QJsonObject& o, const char* cle, bool defaut = false)
{
    return model::lire::booleen(champ(o, cle), defaut);
}
inline QStringList textes(const QJsonObject& o, const char* cle) { return model::lire::textes(champ(o, cle)); }

// A list of records, each decoded by its own depuisJson; unreadable ones dropped.
template<typename T>
QList<T> liste(const QJsonValue& v)
{
    return model::lire::liste<T>(v, [](const QJsonValue& e) { return T::depuisJson(e); });
}

} // namespace vd::team::champs
