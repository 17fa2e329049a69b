#include "contextecontact.h"

#include <algorithm>

namespace vd::crm {

namespace {
QString dateAppel(const model::Appel& a) { return a.debut.isEmpty() ? a.creeLe : a.debut; }
} // namespace

ContexteContactCRM contexteContact(const model::Etat& etat, const model::Contact& c)
{
    ContexteContactCRM x;
    for (const model::Interaction& i : etat.interactions)
        if (i.contactId == c.id)
            x.historique.append(i);
    std::stable_sort(x.historique.begin(), x.historique.end(),
                     [](const model::Interaction& a, const model::Interaction& b) { return a.date > b.date; });
    QList<const model::Appel*> appels;
    for (const model::Appel& a : etat.appels)
        if (a.contactId == c.id && a.statut != QLatin1String("en_cours"))
            appels.append(&a);
    std::stable_sort(appels.begin(), appels.end(), [](const model::Appel* a, const model::Appel* b) { return dateAppel(*a) > dateAppel(*b); });
    if (!appels.isEmpty())
        x.dernierAppel = *appels.first();
    for (const model::Appel* a : appels) {
        if (!a->analyse)
            continue;
        for (const model::ObjectionAnalyse& o : a->analyse->objections)
            if (!o.libelle.trimmed().isEmpty())
                x.objectionsPassees.append({o.libelle, o.categorie, o.traitement, dateAppel(*a), a->id});
    }
    if (!c.profilClientId.isEmpty())
        for (const model::ProfilClient& p : etat.profilsClients)
            if (p.id == c.profilClientId)
                x.profilClient = p;
    return x;
}

void DerniersEchanges::mettreAJour(const model::Etat& etat)
{
    if (pret_ && etat.interactions.isSharedWith(interactions_) && etat.appels.isSharedWith(appels_))
        return;
    interactions_ = etat.interactions;
    appels_ = etat.appels;
    pret_ = true;
    dates_.clear();
    auto noter = [this](const QString& id, const QString& date) {
        if (id.isEmpty() || date.isEmpty())
            return;
        QString& d = dates_[id];
        if (date > d)
            d = date;
    };
    for (const model::Interaction& i : interactions_)
        noter(i.contactId, i.date.isEmpty() ? i.creeLe : i.date);
    for (const model::Appel& a : appels_)
        if (a.contactId)
            noter(*a.contactId, dateAppel(a));
}

} // namespace vd::crm
