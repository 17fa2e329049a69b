#include "cli.h"
#include "cli_commandes.h"
#include "contextecommande.h"
#include "model/store.h"
#include "platform/lecture.h"

#include <QFile>
#include <QJsonObject>

namespace vd::app {

namespace {

int exporter(model::Store& store, const QString& chemin)
{
    if (store.ecritureBloquee())
        return erreur(store.erreurSauvegarde().value_or(QString()));
    if (chemin == QLatin1String("-")) {
        ecrireSortie(store.exporterSauvegarde());
        return 0;
    }
    auto r = store.exporterVers(cheminCommande(chemin));
    if (!r)
        return erreur(r.erreur());
    sortieJson(QJsonObject{{QStringLiteral("message"), QStringLiteral("Sauvegarde enregistrée.")},
                           {QStringLiteral("fichier"), chemin},
                           {QStringLiteral("appels"), store.etat().appels.size()},
                           {QStringLiteral("contacts"), store.etat().contacts.size()}});
    return 0;
}

int importer(model::Store& store, const QString& chemin)
{
    // Size checked first: /dev/zero or a huge file gives a clear message, never an exhausted memory.
    QByteArray donnees;
    if (chemin == QLatin1String("-")) {
        if (!lireEntreeStandard(donnees))
            return erreur(QStringLiteral("Impossible de lire l'entrée standard."));
    } else {
        auto lu = platform::lireBorne(cheminCommande(chemin), platform::limiteSauvegarde, true);
        if (!lu)
            return erreur(lu.erreur().genre == platform::ErreurLecture::Genre::binaire ? QStringLiteral("Ce fichier n'est pas un JSON valide.")
                                                                                    : lu.erreur().message);
        donnees = std::move(lu.valeur());
    }
    if (store.ecritureBloquee())
        return erreur(store.erreurSauvegarde().value_or(QString()));
    auto r = store.importerSauvegarde(donnees);
    if (!r)
        return erreur(r.erreur().description());
    QJsonObject sortie{{QStringLiteral("message"), model::Store::messageImport() + model::Store::phraseCopie(store.copieRemplacee())},
                       {QStringLiteral("appels"), store.etat().appels.size()},
                       {QStringLiteral("contacts"), store.etat().contacts.size()}};
    if (!store.copieRemplacee().isEmpty())
        sortie.insert(QStringLiteral("copie"), store.copieRemplacee());
    sortieJson(sortie);
    return 0;
}

} // namespace

int commandeSauvegarde(const QStringList& args)
{
    const QString usage = QStringLiteral("Utilisation : vendalo sauvegarde exporter|importer FICHIER");
    if (args.size() != 2)
        return erreur(usage, 2);
    const QString chemin = args[1];
    if (args[0] == QLatin1String("exporter"))
        return executerEnLecture([&](model::Store& s) { return exporter(s, chemin); });
    if (args[0] == QLatin1String("importer"))
        return executerEnEcriture(QStringLiteral("sauvegarde"), args, [&](model::Store& s) { return importer(s, chemin); });
    return erreur(usage, 2);
}

} // namespace vd::app
