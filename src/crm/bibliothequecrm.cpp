#include "bibliothequecrm.h"

#include "operationscrm.h"
#include "model/texte.h"

namespace vd::crm {

namespace {

void nettoyer(QStringList& l)
{
    QStringList r;
    for (const QString& x : l)
        if (const QString t = x.trimmed(); !t.isEmpty())
            r << t;
    l = r;
}

} // namespace

QStringList lignes(const QString& texte)
{
    QStringList l = texte.split(QLatin1Char('\n'));
    nettoyer(l);
    return l;
}

std::optional<QString> verifierProfil(const model::ProfilClient& p, const QList<model::ProfilClient>& existants)
{
    const QString nom = model::plier(p.nom);
    if (nom.isEmpty())
        return QStringLiteral("Indiquez un nom pour ce profil.");
    for (const model::ProfilClient& x : existants)
        if (x.id != p.id && model::plier(x.nom) == nom)
            return QStringLiteral("Un profil porte déjà ce nom.");
    return std::nullopt;
}

std::optional<QString> verifierObjection(const model::ObjectionLib& o, const QList<model::ObjectionLib>& existantes)
{
    const QString libelle = model::plier(o.libelle);
    if (libelle.isEmpty())
        return QStringLiteral("Indiquez l'objection.");
    if (o.reponse.trimmed().isEmpty())
        return QStringLiteral("Indiquez la réponse préparée.");
    for (const model::ObjectionLib& x : existantes)
        if (x.id != o.id && model::plier(x.libelle) == libelle)
            return QStringLiteral("Cette objection est déjà dans la bibliothèque.");
    return std::nullopt;
}

Resultat<model::ProfilClient, QString> enregistrerProfil(model::Store& store, model::ProfilClient p)
{
    for (QString* t : {&p.nom, &p.typeVente, &p.role, &p.secteur, &p.taille, &p.maturite})
        *t = t->trimmed();
    for (QStringList* l : {&p.douleurs, &p.objectifs, &p.declencheurs, &p.criteres})
        nettoyer(*l);
    if (auto m = verifierProfil(p, store.etat().profilsClients))
        return echec(*m);
    const QString maintenant = store.horodatageMaintenant();
    bool existe = false;
    for (const model::ProfilClient& x : store.etat().profilsClients)
        existe = existe || (!p.id.isEmpty() && x.id == p.id);
    if (!existe) {
        if (p.id.isEmpty())
            p.id = nouvelIdentifiant(QStringLiteral("p_"));
        p.creeLe = maintenant;
    }
    p.majLe = maintenant;
    store.modifier([&](model::Etat& e) {
        for (model::ProfilClient& x : e.profilsClients)
            if (x.id == p.id) {
                x = p;
                return;
            }
        e.profilsClients.append(p);
    });
    return p;
}

Resultat<model::ObjectionLib, QString> enregistrerObjection(model::Store& store, model::ObjectionLib o)
{
    o.libelle = o.libelle.trimmed();
    o.reponse = o.reponse.trimmed();
    o.categorie = o.categorie.trimmed().isEmpty() ? QStringLiteral("autre") : o.categorie.trimmed();
    if (auto m = verifierObjection(o, store.etat().objections))
        return echec(*m);
    const QString maintenant = store.horodatageMaintenant();
    bool existe = false;
    for (const model::ObjectionLib& x : store.etat().objections)
        existe = existe || (!o.id.isEmpty() && x.id == o.id);
    if (!existe) {
        if (o.id.isEmpty())
            o.id = nouvelIdentifiant(QStringLiteral("o_"));
        o.creeLe = maintenant;
    }
    o.majLe = maintenant;
    store.modifier([&](model::Etat& e) {
        for (model::ObjectionLib& x : e.objections)
            if (x.id == o.id) {
                x = o;
                return;
            }
        e.objections.append(o);
    });
    return o;
}

ResultatVide<QString> supprimerProfil(model::Store& store, const QString& id)
{
    bool existe = false;
    for (const model::ProfilClient& x : store.etat().profilsClients)
        existe = existe || x.id == id;
    if (!existe)
        return echec(QStringLiteral("Ce profil n'existe plus."));
    const QString maintenant = store.horodatageMaintenant();
    store.modifier(
        [&](model::Etat& e) {
            e.profilsClients.removeIf([&](const model::ProfilClient& p) { return p.id == id; });
            for (qsizetype k = 0; k < e.contacts.size(); ++k)
                if (e.contacts.at(k).profilClientId == id) {
                    model::Contact& c = e.contacts[k];
                    c.profilClientId.clear();
                    c.majLe = maintenant;
                }
        },
        {{QStringLiteral("profilsClients"), id}});
    return Rien{};
}

ResultatVide<QString> supprimerObjection(model::Store& store, const QString& id)
{
    bool existe = false;
    for (const model::ObjectionLib& x : store.etat().objections)
        existe = existe || x.id == id;
    if (!existe)
        return echec(QStringLiteral("Cette objection n'existe plus."));
    store.modifier([&](model::Etat& e) { e.objections.removeIf([&](const model::ObjectionLib& o) { return o.id == id; }); },
                   {{QStringLiteral("objections"), id}});
    return Rien{};
}

} // namespace vd::crm
