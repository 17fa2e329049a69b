#include "demonstration.h"

#include "moteur.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcMoteur)

namespace vd::ai {

std::optional<model::Etat> etatDemonstration(Moteur& moteur)
{
    auto r = moteur.appelerJSON(QStringLiteral("etatDemo"));
    if (!r) {
        qCWarning(lcMoteur) << "état de démonstration indisponible :" << r.erreur().description();
        return std::nullopt;
    }
    return model::Etat::depuisJson(r.valeur());
}

} // namespace vd::ai
