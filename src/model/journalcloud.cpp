#include "journalcloud.h"

#include "platform/dossiers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vd::model {

namespace {

template<typename T>
QJsonArray idsDe(const QList<T>& liste)
{
    QJsonArray a;
    for (const T& r : liste)
        a.append(r.id);
    return a;
}

QJsonArray idsDe(const QList<JSONValeur>& liste)
{
    QJsonArray a;
    for (const JSONValeur& v : liste)
        a.append(v.qt().toObject().value(QStringLiteral("id")).toString());
    return a;
}

} // namespace

QString JournalCloud::pour(const QString& fichierEtat)
{
    if (fichierEtat.isEmpty())
        return {};
    return QFileInfo(fichierEtat).absoluteDir().filePath(QStringLiteral("cloud"));
}

QString JournalCloud::noterSuppressions(const QList<SuppressionNotee>& liste) const
{
    if (!actif() || liste.isEmpty())
        return {};
    QDir().mkpath(dossier_);
    QFile f(QDir(dossier_).filePath(fichierSuppressions()));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return f.errorString();
    QByteArray lignes;
    for (const SuppressionNotee& s : liste) {
        lignes += QJsonDocument(QJsonObject{{QStringLiteral("collection"), s.collection}, {QStringLiteral("id"), s.id},
                                            {QStringLiteral("le"), s.le}})
                      .toJson(QJsonDocument::Compact);
        lignes += '\n';
    }
    if (f.write(lignes) != lignes.size())
        return f.errorString();
    return {};
}

QString JournalCloud::noterRemplacement(const Etat& e, bool demonstration) const
{
    if (!actif())
        return {};
    QJsonObject o{{QStringLiteral("demonstration"), demonstration}};
    if (demonstration)
        o.insert(QStringLiteral("ids"), QJsonObject{{QStringLiteral("contacts"), idsDe(e.contacts)},
                                                    {QStringLiteral("interactions"), idsDe(e.interactions)},
                                                    {QStringLiteral("profilsClients"), idsDe(e.profilsClients)},
                                                    {QStringLiteral("objections"), idsDe(e.objections)},
                                                    {QStringLiteral("appels"), idsDe(e.appels)},
                                                    {QStringLiteral("frameworks"), idsDe(e.frameworks)}});
    return platform::ecrireAtomique(QDir(dossier_).filePath(fichierRemplacement()),
                                    QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QList<SuppressionNotee> JournalCloud::suppressions() const
{
    QList<SuppressionNotee> r;
    if (!actif())
        return r;
    QFile f(QDir(dossier_).filePath(fichierSuppressions()));
    if (!f.open(QIODevice::ReadOnly))
        return r;
    while (!f.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(f.readLine()).object();
        SuppressionNotee s{o.value(QStringLiteral("collection")).toString(), o.value(QStringLiteral("id")).toString(),
                           o.value(QStringLiteral("le")).toString()};
        if (!s.collection.isEmpty() && !s.id.isEmpty())
            r.append(s);
    }
    return r;
}

std::optional<RemplacementNote> JournalCloud::remplacement() const
{
    if (!actif())
        return std::nullopt;
    QFile f(QDir(dossier_).filePath(fichierRemplacement()));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    RemplacementNote n;
    // An unreadable note still means a replacement happened; only the demonstration marks are lost.
    n.demonstration = o.value(QStringLiteral("demonstration")).toBool();
    const QJsonObject ids = o.value(QStringLiteral("ids")).toObject();
    for (auto it = ids.begin(); it != ids.end(); ++it)
        for (const QJsonValue& v : it.value().toArray())
            n.ids[it.key()].append(v.toString());
    return n;
}

void JournalCloud::effacer() const
{
    if (!actif())
        return;
    QFile::remove(QDir(dossier_).filePath(fichierSuppressions()));
    QFile::remove(QDir(dossier_).filePath(fichierRemplacement()));
}

} // namespace vd::model
