#include "cli.h"
#include "cli_commandes.h"
#include "contextecommande.h"
#include "model/store.h"

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
    QByteArray donnees;
    if (chemin == QLatin1String("-")) {
        if (!lireEntreeStandard(donnees))
            return erreur(QStringLiteral("Impossible de lire l'entrée standard."));
    } else {
        QFile f(cheminCommande(chemin));
        if (!f.open(QIODevice::ReadOnly))
            return erreur(QStringLiteral("Impossible d'ouvrir « %1 » : %2").arg(chemin, f.errorString()));
        donnees = f.readAll();
    }
    if (store.ecritureBloquee())
        return erreur(store.erreurSauvegarde().value_or(QString()));
    auto r = store.importerSauvegarde(donnees);
    if (!r)
        return erreur(r.erreur().description());
    sortieJson(QJsonObject{{QStringLiteral("message"), model::Store::messageImport()},
                           {QStringLiteral("appels"), store.etat().appels.size()},
                           {QStringLiteral("contacts"), store.etat().contacts.size()}});
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
