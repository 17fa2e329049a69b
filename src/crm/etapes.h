#pragma once
// The pipeline stages as the engine defines them (order, labels, colours,
// default probability).
#include <QColor>
#include <QList>
#include <QString>

namespace vd::crm {

struct EtapePipeline {
    QString id, libelle;
    QColor texte, fond;
    double probabilite = 10;
};

// Every stage of the engine, in pipeline order, the sleep stage last.
const QList<EtapePipeline>& etapesPipeline();
const EtapePipeline* etapePipeline(const QString& id);
// The stage's default probability, or 10 when the stage has none.
double probabiliteParDefaut(const QString& etape);
inline const QString etapeSommeil() { return QStringLiteral("sommeil"); }
inline bool estIssue(const QString& etape) { return etape == QLatin1String("gagne") || etape == QLatin1String("perdu"); }

} // namespace vd::crm
