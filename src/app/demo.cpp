#include "demo.h"

#include "ai/moteur.h"
#include "crm/operationscrm.h"

namespace vd::app {

Resultat<model::Etat, QString> etatDemonstration()
{
    auto r = ai::Moteur::instance().appelerJSON(QStringLiteral("etatDemo"));
    if (!r)
        return echec(QStringLiteral("Les données de démonstration ne sont pas disponibles : ") + r.erreur().description());
    auto etat = model::Etat::depuisJson(r.valeur());
    if (!etat)
        return echec(QStringLiteral("Les données de démonstration sont illisibles."));
    // The follow-ups reach the team's table through their calls, as in real use.
    for (const model::Contact& c : QList<model::Contact>(etat->contacts))
        crm::refleterRelance(*etat, c.id, c.majLe);
    return *etat;
}

std::optional<QString> chargerDemonstration(model::Store& store)
{
    auto etat = etatDemonstration();
    if (!etat)
        return etat.erreur();
    model::Etat e = etat.valeur();
    // Keep who the salesperson is if they already said so.
    if (!store.etat().reglages.commercial.prenom.isEmpty())
        e.reglages.commercial = store.etat().reglages.commercial;
    e.reglages.onboarde = true;
    if (auto copie = store.garderEtatRemplace(); !copie)
        return copie.erreur();
    store.remplacerEtat(std::move(e), true);
    return std::nullopt;
}

} // namespace vd::app
