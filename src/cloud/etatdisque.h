#pragma once
// What synchronisation remembers between runs ("cloud/synchro.json"): the
// server's cursor, what the server is known to hold, local deletions not yet
// acknowledged, and the records it must not push.
#include <QHash>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <optional>

namespace vd::cloud {

// "majLe" values compared as instants (any ISO 8601 form: with or without
// fractions, Z or an offset); text order only when one cannot be read.
int comparerInstants(const QString& a, const QString& b);

// Collection (wire name) → id → value.
using CarteIds = QHash<QString, QHash<QString, QString>>;
// The value for (fil, id), or null.
inline const QString* chercher(const CarteIds& c, const QString& fil, const QString& id)
{
    const auto f = c.constFind(fil);
    if (f == c.cend())
        return nullptr;
    const auto i = f->constFind(id);
    return i == f->cend() ? nullptr : &i.value();
}

struct Empreinte {
    QString empreinte, majLe, creeLe;
    bool operator==(const Empreinte&) const = default;
};

struct EtatDisque {
    std::optional<QString> compteId, organisationId, roleOrg;
    bool equipe = false;
    std::optional<QString> depuis;
    CarteIds connus;
    CarteIds suppressions;
    std::optional<Empreinte> entrepriseSynchro, entrepriseLocale;
    QHash<QString, QHash<QString, QJsonObject>> extras;
    QSet<QString> autres;
    QHash<QString, QString> pointsAppels;
    bool frameworksCharges = false;
    // Records the server refused for good, with the "majLe" refused: sent again only once changed.
    CarteIds refuses;
    // Records of the demonstration data (wire name → ids): never pushed.
    QHash<QString, QSet<QString>> demonstration;

    bool operator==(const EtatDisque&) const = default;

    QJsonObject versJson() const;
    static EtatDisque depuisJson(const QJsonObject& o);
    // Forget what the server holds (cursor, known versions, acknowledged company
    // profile): the next run pulls everything and compares again.
    void oublierServeur();
};

// The file: missing or unreadable gives an empty state; writing is atomic.
struct FichierDisque {
    QString chemin;
    std::optional<EtatDisque> lire() const;   // none when absent
    QString ecrire(const EtatDisque& e) const;
    bool effacer() const;
};

} // namespace vd::cloud
