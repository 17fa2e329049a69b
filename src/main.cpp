#include "app/cli.h"
#include "app/cli_commandes.h"
#include "app/ecrans/demarrage.h"

#include <QCoreApplication>
#include <cstring>

int main(int argc, char** argv)
{
    const QString premier = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (premier == QLatin1String("--version")) {
        vd::app::sortieTexte(QStringLiteral("Vendalo " VD_VERSION));
        return 0;
    }
    if (premier == QLatin1String("--help") || premier == QLatin1String("-h") || premier == QLatin1String("aide")) {
        vd::app::sortieTexte(vd::app::texteAide());
        return 0;
    }
    if (const vd::app::Commande* c = premier.isEmpty() ? nullptr : vd::app::trouverCommande(premier)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Vendalo"));
        QStringList args = app.arguments().mid(2);
        return c->executer(args);
    }
    if (!premier.isEmpty() && !premier.startsWith(QLatin1String("vendalo2:"), Qt::CaseInsensitive) && !premier.startsWith(QLatin1Char('-'))) {
        return vd::app::erreur(QStringLiteral("Commande inconnue : « %1 ». Essayez « vendalo --help ».").arg(premier), 2);
    }
    if (premier.isEmpty() && qEnvironmentVariable("VD_TEST_MOTEUR") == QLatin1String("1")) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Vendalo"));
        return vd::app::commandeAutotest({});
    }
    return vd::app::lancerApplication(argc, argv);
}
