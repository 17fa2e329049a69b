#include "demarrage.h"

#include "application.h"
#include "fenetreprincipale.h"
#include "style.h"
#include "app/cli.h"
#include "app/demo.h"
#include "app/instanceunique.h"
#include "platform/dossiers.h"
#include "platform/horloge.h"
#include "platform/preferences.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QScreen>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>

namespace vd::app {

namespace {

// The engine's self-check, then exit (0 passed, 1 failed).
int autoTestMoteur(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vendalo"));
    int code = 1;
    if (const Commande* c = trouverCommande(QStringLiteral("autotest")))
        code = c->executer({}) == 0 ? 0 : 1;
    else
        sortieTexte(QStringLiteral("Vendalo · auto-test du moteur : indisponible dans cette version."));
    std::fflush(stdout);
    return code;
}

} // namespace

int lancerApplication(int argc, char** argv)
{
    if (qEnvironmentVariable("VD_TEST_MOTEUR") == QLatin1String("1"))
        return autoTestMoteur(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vendalo"));
    QApplication::setDesktopFileName(QStringLiteral("vendalo"));
    QApplication::setQuitOnLastWindowClosed(false);
    style::appliquer(app);
    OptionsLancement options = OptionsLancement::depuis(app.arguments());

    // Two processes must never write the same store: the lock comes first.
    InstanceUnique instance(platform::dossierDonnees());
    if (!instance.acquerir(options.lien))
        return 0;

    auto store = model::Store::principal([]() -> std::optional<model::Etat> {
        auto e = etatDemonstration();
        return e ? std::optional(e.valeur()) : std::nullopt;
    });
    model::Store* s = store.get();
    Application application(std::move(store), options, platform::Horloge::instance(), platform::Preferences::instance(),
                            std::make_unique<ServiceDemarrageXdg>(QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath()));
    QObject::connect(&instance, &InstanceUnique::messageRecu, &application, &Application::traiterLien);
    QObject::connect(&application, &Application::quitterAccepte, &app, &QCoreApplication::quit);
    // Pending changes are written before the process ends.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, s, [s] { s->sauvegarder(true); });

    if (options.demo && s->etat().appels.isEmpty() && s->etat().contacts.isEmpty())
        if (auto err = chargerDemonstration(*s))
            std::fprintf(stderr, "%s\n", qUtf8Printable(*err));
    application.demarrer();
    if (options.demo)
        if (auto refus = application.contexte().lancerAppelSimule())
            std::fprintf(stderr, "%s\n", qUtf8Printable(*refus));
    if (!options.capture.isEmpty()) {
        const QString chemin = QFileInfo(options.capture).absoluteFilePath();
        QTimer::singleShot(12000, &application, [&application, chemin] {
            QDir().mkpath(QFileInfo(chemin).absolutePath());
            // The whole screen when there is one (the floating prompter included), else the window.
            QScreen* ecran = QGuiApplication::primaryScreen();
            QPixmap image = ecran && QGuiApplication::platformName() == QLatin1String("xcb") ? ecran->grabWindow(0) : QPixmap();
            if (image.isNull())
                image = application.fenetre()->grab();
            const bool ok = image.save(chemin);
            std::fprintf(ok ? stdout : stderr, ok ? "Capture enregistrée : %s\n" : "La capture n'a pas pu être enregistrée : %s\n",
                         qUtf8Printable(chemin));
            application.demanderQuitter();
        });
    }
    return app.exec();
}

} // namespace vd::app
