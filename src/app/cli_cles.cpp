#include "ai/routes.h"
#include "cli.h"
#include "cli_commandes.h"
#include "platform/coffre.h"

#include <QFile>
#include <QJsonObject>

namespace vd::app {

int commandeCles(const QStringList& args)
{
    const QString usage = QStringLiteral("Utilisation : vendalo cles definir|effacer NOM (anthropic, anthropic-workspace, soniox, deepgram)");
    if (args.size() != 2)
        return erreur(usage, 2);
    const QString nom = args[1];
    const QStringList noms = {ai::cleAnthropic, ai::cleWorkspace, ai::cleSoniox, ai::cleDeepgram};
    if (!noms.contains(nom))
        return erreur(QStringLiteral("Clé inconnue : « %1 ». Noms possibles : %2.").arg(nom, noms.join(QStringLiteral(", "))), 2);
    platform::Coffre& coffre = platform::Coffre::instance();
    if (args[0] == QLatin1String("definir")) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly))
            return erreur(QStringLiteral("Impossible de lire l'entrée standard."));
        const QString valeur = QString::fromUtf8(in.readAll()).trimmed();
        if (valeur.isEmpty())
            return erreur(QStringLiteral("Aucune valeur reçue sur l'entrée standard : la clé n'a pas été changée."));
        const QString echec = coffre.ecrire(nom, valeur);
        if (!echec.isEmpty())
            return erreur(echec);
        sortieJson(QJsonObject{{QStringLiteral("message"), QStringLiteral("Clé enregistrée.")},
                               {QStringLiteral("nom"), nom},
                               {QStringLiteral("secours"), coffre.enSecours()}});
        return 0;
    }
    if (args[0] == QLatin1String("effacer")) {
        const QString echec = coffre.effacer(nom);
        if (!echec.isEmpty())
            return erreur(echec);
        sortieJson(QJsonObject{{QStringLiteral("message"), QStringLiteral("Clé effacée.")}, {QStringLiteral("nom"), nom}});
        return 0;
    }
    return erreur(usage, 2);
}

} // namespace vd::app
