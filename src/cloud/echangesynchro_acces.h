#pragma once
// Uniform access to the synchronised lists of Etat (internal to synchronisation).
#include "model/etat.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

namespace vd::cloud::synchro::detail {

template<typename T>
QString idDe(const T& r) { return r.id; }
inline QString idDe(const model::JSONValeur& v) { return v.qt().toObject().value(QStringLiteral("id")).toString(); }

template<typename T>
QString majLeDe(const T& r) { return r.majLe; }
inline QString majLeDe(const model::JSONValeur& v) { return v.qt().toObject().value(QStringLiteral("majLe")).toString(); }

template<typename T>
QByteArray encoder(const T& r)
{
    QByteArray b;
    model::EcrivainJson e(b);
    model::ecrire(e, r);
    return b;
}
inline QByteArray encoder(const model::JSONValeur& v) { return QJsonDocument(v.qt().toObject()).toJson(QJsonDocument::Compact); }

template<typename T>
std::optional<T> decoder(const QJsonObject& o) { return T::depuisJson(QJsonValue(o)); }
template<>
inline std::optional<model::JSONValeur> decoder<model::JSONValeur>(const QJsonObject& o) { return model::JSONValeur(o); }

template<typename T>
bool enDirect(const T&) { return false; }
inline bool enDirect(const model::Appel& a) { return a.statut == QLatin1String("en_cours"); }

template<typename T>
std::optional<QString> compteDe(const T&) { return std::nullopt; }
inline std::optional<QString> compteDe(const model::Appel& a) { return a.compteId; }

// Calls f(list) for the list of Etat named by its wire name; false when none.
template<typename E, typename F>
bool visiter(E& etat, const QString& fil, F&& f)
{
    if (fil == QLatin1String("contacts")) f(etat.contacts);
    else if (fil == QLatin1String("interactions")) f(etat.interactions);
    else if (fil == QLatin1String("profils_clients")) f(etat.profilsClients);
    else if (fil == QLatin1String("objections_lib")) f(etat.objections);
    else if (fil == QLatin1String("appels")) f(etat.appels);
    else if (fil == QLatin1String("frameworks")) f(etat.frameworks);
    else return false;
    return true;
}

} // namespace vd::cloud::synchro::detail
