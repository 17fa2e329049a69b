#pragma once
// The pure part of synchronisation: which local records go into the next
// batch, and how the server's changes are written into the state.
#include "cloud/etatdisque.h"
#include "model/etat.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

namespace vd::cloud::synchro {

struct Collection {
    QString fil;    // name on the wire
    QString cle;    // key of Etat
};
// The listed collections (the company profile travels apart).
const QList<Collection>& collections();
QString filPourCle(const QString& cle);   // empty when not synchronised
inline const QString entreprises = QStringLiteral("entreprises_profil");
inline const QString appels = QStringLiteral("appels");
inline const QString frameworks = QStringLiteral("frameworks");

// Encoded size from which a record no longer goes into an ordinary batch.
constexpr qint64 tailleVolumineux = 200'001;
constexpr qint64 tailleMaxLot = 1'000'000;

QString empreinte(const model::Entreprise& e);

struct ParametresLot {
    QString compteId;
    int limiteObjets = 1000;
    int limiteAppels = 50;
    QSet<QString> appelsEnDirect;
    QSet<QString> exclus;        // collection + '/' + id: held back for a later run
    QString maintenant;          // ISO 8601, stamps a changed company profile
};

struct Lot {
    QHash<QString, QJsonArray> objets;
    CarteIds envoyes;                           // collection → id → majLe sent
    QHash<QString, QHash<QString, QString>> suppressions;   // collection → id → supprimeLe
    std::optional<Empreinte> entreprise;
    int nbObjets = 0;
    int nbAppels = 0;
    qint64 octets = 0;
    int restant = 0;
    bool volumineux = false;                    // the batch is one oversized record alone

    bool vide() const { return nbObjets == 0; }
    QJsonObject changements() const;
};

// Reads disque (known versions, deletions, exclusions) and updates its
// entrepriseLocale when the company profile changed since last seen.
Lot construireLot(const model::Etat& etat, EtatDisque& disque, const ParametresLot& p);

struct Application {
    int recus = 0;              // records written or removed
    bool etatModifie = false;
};
// Writes the server's changes into etat. A record with unsent local changes
// is kept unless the server's version is newer as an instant; live calls are
// never touched; majLe values are kept as the server sent them.
Application appliquer(model::Etat& etat, EtatDisque& disque, const QJsonObject& changements, const QString& compteId,
                      const QSet<QString>& appelsEnDirect);

// Local data worth a decision before the first push to an account.
struct ResumeLocal {
    int contacts = 0, interactions = 0, appels = 0, profils = 0, objections = 0;
    bool entreprise = false;
    bool vide() const { return contacts + interactions + appels + profils + objections == 0 && !entreprise; }
    bool operator==(const ResumeLocal&) const = default;
};
ResumeLocal resumer(const model::Etat& etat, const EtatDisque& disque);

} // namespace vd::cloud::synchro
