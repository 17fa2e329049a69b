#include "demarrage.h"

#include "fenetreprincipale.h"
#include "model/store.h"

#include <QApplication>

namespace vd::app {

int lancerApplication(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vendalo"));
    QApplication::setQuitOnLastWindowClosed(false);
    auto store = model::Store::principal({});
    FenetrePrincipale fenetre(*store);
    fenetre.show();
    QObject::connect(&app, &QCoreApplication::aboutToQuit, store.get(), [&store] { store->sauvegarder(true); });
    QObject::connect(&fenetre, &FenetrePrincipale::fermee, &app, &QCoreApplication::quit);
    return app.exec();
}

} // namespace vd::app
