#include "cli.h"
#include "contextecommande.h"
#include "cli_commandes.h"
#include "crm/filtres.h"
#include "crm/operationscrm.h"
#include "model/store.h"
#include "model/texte.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vd::app {

namespace {

const QString usage = QStringLiteral(
    "Utilisation : vendalo contacts lister [--recherche TEXTE] [--etape ID] [--profil ID] [--a-relancer] | creer JSON | "
    "modifier ID JSON | etape ID ETAPE | supprimer ID");

QJsonObject versJson(const model::Contact& c) { return model::versObjetJson(c); }

// Saves at once; the failure reaches stderr.
int sauver(model::Store& store)
{
    store.sauvegarder(true);
    if (auto e = store.erreurSauvegarde())
        return erreur(*e);
    return 0;
}

int lister(model::Store& store, const QStringList& args)
{
    crm::CriteresCRM c;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool suivant = i + 1 < args.size();
        if (a == QLatin1String("--recherche") && suivant)
            c.recherche = args[++i];
        else if (a == QLatin1String("--etape") && suivant)
            c.etape = args[++i];
        else if (a == QLatin1String("--profil") && suivant)
            c.profil = args[++i];
        else if (a == QLatin1String("--a-relancer"))
            c.relances = true;
        else
            return erreur(usage, 2);
    }
    crm::IndexContacts index;
    const auto& contacts = store.etat().contacts;
    index.mettreAJour(contacts);
    QJsonArray r;
    for (int p : index.filtrer(c, model::jourCalendaire(store.horloge().maintenant())))
        r.append(versJson(contacts.at(p)));
    sortieJson(r);
    return 0;
}

std::optional<QJsonObject> objet(const QString& texte)
{
    QJsonParseError e{};
    const QJsonDocument d = QJsonDocument::fromJson(texte.toUtf8(), &e);
    if (e.error != QJsonParseError::NoError || !d.isObject())
        return std::nullopt;
    return d.object();
}

int creerOuModifier(model::Store& store, const QString& id, const QString& json)
{
    const auto o = objet(json);
    if (!o)
        return erreur(QStringLiteral("Le contact doit être un objet JSON, par exemple {\"nom\": \"Durand\", \"societe\": \"Acme\"}."));
    crm::SaisieContact base;
    if (!id.isEmpty()) {
        const model::Contact* c = store.etat().contact(id);
        if (!c)
            return erreur(crm::messageContactInconnu(id));
        base = crm::SaisieContact::depuis(*c);
    } else {
        base.probabilite.clear();
    }
    auto r = crm::enregistrerContact(store, id, crm::SaisieContact::depuisJson(*o, base));
    if (!r)
        return erreur(r.erreur());
    if (int code = sauver(store))
        return code;
    sortieJson(versJson(r.valeur()));
    return 0;
}

} // namespace

namespace {

int modifierContacts(model::Store& store, const QStringList& args)
{
    if (store.ecritureBloquee())
        return erreur(store.erreurSauvegarde().value_or(QString()));
    const QString& verbe = args[0];
    const QStringList reste = args.mid(1);
    if (verbe == QLatin1String("creer") && reste.size() == 1)
        return creerOuModifier(store, QString(), reste[0]);
    if (verbe == QLatin1String("modifier") && reste.size() == 2)
        return creerOuModifier(store, reste[0], reste[1]);
    if (verbe == QLatin1String("etape") && reste.size() == 2) {
        auto r = crm::changerEtape(store, reste[0], reste[1]);
        if (!r)
            return erreur(r.erreur());
        if (int code = sauver(store))
            return code;
        sortieJson(versJson(r.valeur()));
        return 0;
    }
    if (verbe == QLatin1String("supprimer") && reste.size() == 1) {
        auto r = crm::supprimerContact(store, reste[0]);
        if (!r)
            return erreur(r.erreur());
        if (int code = sauver(store))
            return code;
        sortieJson(QJsonObject{{QStringLiteral("supprime"), reste[0]}});
        return 0;
    }
    return erreur(usage, 2);
}

} // namespace

int commandeContacts(const QStringList& args)
{
    if (args.isEmpty())
        return erreur(usage, 2);
    // Listing only reads; every other verb is a write through the folder's single writer.
    if (args[0] == QLatin1String("lister")) {
        const QStringList reste = args.mid(1);
        return executerEnLecture([&](model::Store& store) { return lister(store, reste); });
    }
    return executerEnEcriture(QStringLiteral("contacts"), args, [&](model::Store& store) { return modifierContacts(store, args); });
}

} // namespace vd::app
