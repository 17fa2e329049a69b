#include "etatmoteur.h"

namespace vd::ai {

model::Etat etatPourContact(const model::Etat& etat, const std::optional<QString>& contactId)
{
    model::Etat r;
    r.version = etat.version;
    r.reglages = etat.reglages;
    r.entreprise = etat.entreprise;
    r.profilsClients = etat.profilsClients;
    r.objections = etat.objections;
    r.questionsFavorites = etat.questionsFavorites;
    r.frameworks = etat.frameworks;
    r.frameworkIgnorees = etat.frameworkIgnorees;
    if (!contactId || contactId->isEmpty())
        return r;
    if (const model::Contact* c = etat.contact(*contactId))
        r.contacts.append(*c);
    for (const model::Appel& a : etat.appels)
        if (a.contactId == contactId)
            r.appels.append(a);
    for (const model::Interaction& i : etat.interactions)
        if (i.contactId == *contactId)
            r.interactions.append(i);
    return r;
}

QJsonObject etatMoteurPourContact(const model::Etat& etat, const std::optional<QString>& contactId)
{
    return model::versObjetJson(etatPourContact(etat, contactId));
}

} // namespace vd::ai
