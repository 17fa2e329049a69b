#include "etatdisque.h"

#include "model/texte.h"
#include "platform/dossiers.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace vd::cloud {

int comparerInstants(const QString& a, const QString& b)
{
    if (a == b)
        return 0;
    const auto da = model::lireHorodatage(a);
    const auto db = model::lireHorodatage(b);
    if (da && db) {
        const qint64 x = da->toMSecsSinceEpoch(), y = db->toMSecsSinceEpoch();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (da != db)
        return da ? 1 : -1;   // a readable instant wins over an unreadable text
    return a < b ? -1 : 1;
}

namespace {

QJsonObject carteVersJson(const CarteIds& c)
{
    QJsonObject o;
    for (auto it = c.begin(); it != c.end(); ++it) {
        if (it.value().isEmpty())
            continue;
        QJsonObject ids;
        for (auto j = it.value().begin(); j != it.value().end(); ++j)
            ids.insert(j.key(), j.value());
        o.insert(it.key(), ids);
    }
    return o;
}

CarteIds carteDepuisJson(const QJsonValue& v)
{
    CarteIds c;
    const QJsonObject o = v.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QJsonObject ids = it.value().toObject();
        auto& cible = c[it.key()];
        cible.reserve(ids.size());
        for (auto j = ids.begin(); j != ids.end(); ++j)
            if (j.value().isString())
                cible.insert(j.key(), j.value().toString());
    }
    return c;
}

std::optional<QString> texteOpt(const QJsonObject& o, const QString& cle)
{
    const QJsonValue v = o.value(cle);
    if (!v.isString() || v.toString().isEmpty())
        return std::nullopt;
    return v.toString();
}

void mettre(QJsonObject& o, const QString& cle, const std::optional<QString>& v)
{
    if (v)
        o.insert(cle, *v);
}

QJsonValue empreinteVersJson(const std::optional<Empreinte>& e)
{
    if (!e)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("empreinte"), e->empreinte}, {QStringLiteral("majLe"), e->majLe},
                       {QStringLiteral("creeLe"), e->creeLe}};
}

std::optional<Empreinte> empreinteDepuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    Empreinte e{o.value(QStringLiteral("empreinte")).toString(), o.value(QStringLiteral("majLe")).toString(),
                o.value(QStringLiteral("creeLe")).toString()};
    if (e.empreinte.isEmpty())
        return std::nullopt;
    return e;
}

} // namespace

QJsonObject EtatDisque::versJson() const
{
    QJsonObject o;
    mettre(o, QStringLiteral("compteId"), compteId);
    mettre(o, QStringLiteral("organisationId"), organisationId);
    mettre(o, QStringLiteral("roleOrg"), roleOrg);
    o.insert(QStringLiteral("equipe"), equipe);
    o.insert(QStringLiteral("depuis"), depuis ? QJsonValue(*depuis) : QJsonValue());
    o.insert(QStringLiteral("connus"), carteVersJson(connus));
    o.insert(QStringLiteral("suppressions"), carteVersJson(suppressions));
    o.insert(QStringLiteral("entrepriseSynchro"), empreinteVersJson(entrepriseSynchro));
    o.insert(QStringLiteral("entrepriseLocale"), empreinteVersJson(entrepriseLocale));
    QJsonObject ex;
    for (auto it = extras.begin(); it != extras.end(); ++it) {
        QJsonObject ids;
        for (auto j = it.value().begin(); j != it.value().end(); ++j)
            ids.insert(j.key(), j.value());
        if (!ids.isEmpty())
            ex.insert(it.key(), ids);
    }
    o.insert(QStringLiteral("extras"), ex);
    QStringList a(autres.begin(), autres.end());
    a.sort();
    o.insert(QStringLiteral("autres"), QJsonArray::fromStringList(a));
    QJsonObject points;
    for (auto it = pointsAppels.begin(); it != pointsAppels.end(); ++it)
        points.insert(it.key(), it.value());
    o.insert(QStringLiteral("pointsAppels"), points);
    o.insert(QStringLiteral("frameworksCharges"), frameworksCharges);
    o.insert(QStringLiteral("refuses"), carteVersJson(refuses));
    QJsonObject demo;
    for (auto it = demonstration.begin(); it != demonstration.end(); ++it) {
        QStringList ids(it.value().begin(), it.value().end());
        ids.sort();
        if (!ids.isEmpty())
            demo.insert(it.key(), QJsonArray::fromStringList(ids));
    }
    o.insert(QStringLiteral("demonstration"), demo);
    return o;
}

EtatDisque EtatDisque::depuisJson(const QJsonObject& o)
{
    EtatDisque e;
    e.compteId = texteOpt(o, QStringLiteral("compteId"));
    e.organisationId = texteOpt(o, QStringLiteral("organisationId"));
    e.roleOrg = texteOpt(o, QStringLiteral("roleOrg"));
    e.equipe = o.value(QStringLiteral("equipe")).toBool();
    e.depuis = texteOpt(o, QStringLiteral("depuis"));
    e.connus = carteDepuisJson(o.value(QStringLiteral("connus")));
    e.suppressions = carteDepuisJson(o.value(QStringLiteral("suppressions")));
    e.entrepriseSynchro = empreinteDepuisJson(o.value(QStringLiteral("entrepriseSynchro")));
    e.entrepriseLocale = empreinteDepuisJson(o.value(QStringLiteral("entrepriseLocale")));
    const QJsonObject ex = o.value(QStringLiteral("extras")).toObject();
    for (auto it = ex.begin(); it != ex.end(); ++it) {
        const QJsonObject ids = it.value().toObject();
        for (auto j = ids.begin(); j != ids.end(); ++j)
            if (j.value().isObject())
                e.extras[it.key()].insert(j.key(), j.value().toObject());
    }
    for (const QJsonValue& v : o.value(QStringLiteral("autres")).toArray())
        if (v.isString())
            e.autres.insert(v.toString());
    const QJsonObject points = o.value(QStringLiteral("pointsAppels")).toObject();
    for (auto it = points.begin(); it != points.end(); ++it)
        e.pointsAppels.insert(it.key(), it.value().toString());
    e.frameworksCharges = o.value(QStringLiteral("frameworksCharges")).toBool();
    e.refuses = carteDepuisJson(o.value(QStringLiteral("refuses")));
    const QJsonObject demo = o.value(QStringLiteral("demonstration")).toObject();
    for (auto it = demo.begin(); it != demo.end(); ++it)
        for (const QJsonValue& v : it.value().toArray())
            e.demonstration[it.key()].insert(v.toString());
    return e;
}

void EtatDisque::oublierServeur()
{
    depuis.reset();
    connus.clear();
    entrepriseSynchro.reset();
    refuses.clear();
    pointsAppels.clear();
    frameworksCharges = false;
}

std::optional<EtatDisque> FichierDisque::lire() const
{
    QFile f(chemin);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument d = QJsonDocument::fromJson(f.readAll());
    // An unreadable file is a fresh start: the server's versions decide, nothing is lost.
    return EtatDisque::depuisJson(d.object());
}

QString FichierDisque::ecrire(const EtatDisque& e) const
{
    return platform::ecrireAtomique(chemin, QJsonDocument(e.versJson()).toJson(QJsonDocument::Compact));
}

bool FichierDisque::effacer() const { return !QFile::exists(chemin) || QFile::remove(chemin); }

} // namespace vd::cloud
