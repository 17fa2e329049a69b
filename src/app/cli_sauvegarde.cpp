#include "cli.h"
#include "cli_commandes.h"
#include "model/store.h"
#include "platform/lecture.h"

#include <QFile>
#include <QJsonObject>
#include <cstdio>

namespace vd::app {

namespace {

int exporter(const QString& chemin)
{
    model::Store store(model::Store::cheminPrincipal());
    if (store.ecritureBloquee())
        return erreur(store.erreurSauvegarde().value_or(QString()));
    if (chemin == QLatin1String("-")) {
        const QByteArray b = store.exporterSauvegarde();
        std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
        return 0;
    }
    auto r = store.exporterVers(chemin);
    if (!r)
        return erreur(r.erreur());
    sortieJson(QJsonObject{{QStringLiteral("message"), QStringLiteral("Sauvegarde enregistrée.")},
                           {QStringLiteral("fichier"), chemin},
                           {QStringLiteral("appels"), store.etat().appels.size()},
                           {QStringLiteral("contacts"), store.etat().contacts.size()}});
    return 0;
}

int importer(const QString& chemin)
{
    // Size checked first: /dev/zero or a huge file gives a clear message, never an exhausted memory.
    auto lu = platform::lireBorne(chemin, platform::limiteSauvegarde, true);
    if (!lu)
        return erreur(lu.erreur().genre == platform::ErreurLecture::Genre::binaire ? QStringLiteral("Ce fichier n'est pas un JSON valide.")
                                                                                : lu.erreur().message);
    const QByteArray donnees = std::move(lu.valeur());
    model::Store store(model::Store::cheminPrincipal());
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
    if (args[0] == QLatin1String("exporter"))
        return exporter(args[1]);
    if (args[0] == QLatin1String("importer"))
        return importer(args[1]);
    return erreur(usage, 2);
}

} // namespace vd::app
