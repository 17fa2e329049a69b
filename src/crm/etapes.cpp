#include "etapes.h"

#include "ai/moteur.h"

#include <QJsonArray>
#include <QJsonObject>

namespace vd::crm {

const QList<EtapePipeline>& etapesPipeline()
{
    static const QList<EtapePipeline> etapes = [] {
        QList<EtapePipeline> l, sommeil;
        const QJsonArray a = ai::Moteur::instance().donnee(QStringLiteral("ETAPES")).toArray();
        for (const QJsonValue& v : a) {
            const QJsonObject o = v.toObject();
            EtapePipeline e;
            e.id = o.value(QLatin1String("id")).toString();
            e.libelle = o.value(QLatin1String("libelle")).toString();
            e.texte = QColor(o.value(QLatin1String("couleur")).toString());
            e.fond = QColor(o.value(QLatin1String("fond")).toString());
            const QJsonValue p = o.value(QLatin1String("probabilite"));
            e.probabilite = p.isDouble() ? p.toDouble() : 10;
            if (e.id.isEmpty())
                continue;
            (e.id == etapeSommeil() ? sommeil : l).append(e);
        }
        return l + sommeil;
    }();
    return etapes;
}

const EtapePipeline* etapePipeline(const QString& id)
{
    for (const EtapePipeline& e : etapesPipeline())
        if (e.id == id)
            return &e;
    return nullptr;
}

double probabiliteParDefaut(const QString& etape)
{
    const EtapePipeline* e = etapePipeline(etape);
    return e ? e->probabilite : 10;
}

} // namespace vd::crm
