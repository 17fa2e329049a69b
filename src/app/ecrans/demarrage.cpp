#include "demarrage.h"

#include "application.h"
#include "fenetreprincipale.h"
#include "app/ui.h"
#include "crm/ecrans/democrm.h"
#include "ui/ecrans/style.h"
#include "app/cli.h"
#include "app/demo.h"
#include "app/contextecommande.h"
#include "app/instanceunique.h"
#include "app/relais.h"
#include "platform/dossiers.h"
#include "platform/horloge.h"
#include "platform/preferences.h"
#include "platform/signauxarret.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <QScreen>
#include <QSessionManager>
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

// Saves the window (or the whole X screen) after a delay, then quits.
void capturerPuisQuitter(Application& application, const QString& fichier, int delaiMs, bool ecranEntier,
                         QPointer<QWidget> cible = nullptr)
{
    const QString chemin = QFileInfo(fichier).absoluteFilePath();
    QTimer::singleShot(delaiMs, &application, [&application, chemin, ecranEntier, cible] {
        QDir().mkpath(QFileInfo(chemin).absolutePath());
        QScreen* ecran = QGuiApplication::primaryScreen();
        QPixmap image = ecranEntier && ecran && QGuiApplication::platformName() == QLatin1String("xcb") ? ecran->grabWindow(0) : QPixmap();
        if (image.isNull())
            image = cible ? cible->grab() : application.fenetre()->grab();
        const bool ok = image.save(chemin);
        std::fprintf(ok ? stdout : stderr, ok ? "Capture enregistrée : %s\n" : "La capture n'a pas pu être enregistrée : %s\n",
                     qUtf8Printable(chemin));
        application.demanderQuitter();
    });
}

// "--demo --ecran NOM[:ID]": the demonstration data, in memory (nothing of the user's is read or
// written), on one screen, with no simulated call.
int lancerEcran(QApplication& app, const OptionsLancement& options)
{
    const qsizetype deuxPoints = options.ecran.indexOf(QLatin1Char(':'));
    const QString nom = deuxPoints < 0 ? options.ecran : options.ecran.left(deuxPoints);
    std::optional<QString> id;
    if (deuxPoints >= 0 && deuxPoints + 1 < options.ecran.size())
        id = options.ecran.mid(deuxPoints + 1);
    // The CRM's import and export sheets open over the CRM screen.
    const bool feuilleCrm = crm::estEcranDemo(nom);
    auto ecran = feuilleCrm ? std::optional(Ecran::de(Ecran::Genre::crm)) : Ecran::depuisNom(nom, id);
    if (!ecran)
        return erreur(QStringLiteral("Écran inconnu : « %1 ». Écrans : %2.")
                          .arg(nom, (Ecran::noms() + crm::nomsEcransDemo()).join(QStringLiteral(", "))),
                      2);
    auto demo = etatDemonstration();
    if (!demo)
        return erreur(demo.erreur(), 1);
    model::Etat etat = demo.valeur();
    etat.reglages.onboarde = true;
    if (Ecran::montreUnEnregistrement(ecran->genre)) {
        const bool contact = ecran->genre == Ecran::Genre::ficheContact;
        if (!ecran->charge) {
            if (contact ? etat.contacts.isEmpty() : etat.appels.isEmpty())
                return erreur(QStringLiteral("Les données de démonstration n'ont rien à montrer sur cet écran."), 1);
            ecran->charge = contact ? etat.contacts.first().id : etat.appels.first().id;
        }
        // A call sheet may be asked at a moment: "fiche:ID@83000".
        const QString id = !contact && ecran->genre == Ecran::Genre::ficheAppel ? ecran->charge->section(QLatin1Char('@'), 0, 0) : *ecran->charge;
        const bool trouve = contact ? std::any_of(etat.contacts.cbegin(), etat.contacts.cend(), [&](const auto& c) { return c.id == id; })
                                    : std::any_of(etat.appels.cbegin(), etat.appels.cend(), [&](const auto& a) { return a.id == id; });
        if (!trouve)
            return erreur(QStringLiteral("Aucun enregistrement « %1 » dans les données de démonstration.").arg(*ecran->charge), 2);
    }
    auto store = std::make_unique<model::Store>();
    store->remplacerEtat(std::move(etat));
    Application application(std::move(store), options, platform::Horloge::instance(), platform::Preferences::instance(),
                            std::make_unique<ServiceDemarrageXdg>(QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath()));
    QObject::connect(&application, &Application::quitterAccepte, &app, &QCoreApplication::quit);
    application.demarrer();
    application.montrerFenetre();
    application.contexte().navigation->aller(*ecran);
    QTemporaryDir dossierDemo;
    QPointer<QWidget> feuille;
    if (feuilleCrm) {
        feuille = crm::ouvrirEcranDemo(application.contexte(), application.fenetre(), nom, id.value_or(QString()), dossierDemo.path());
        if (!feuille)
            return erreur(QStringLiteral("Le fichier de démonstration n'a pas pu être écrit."), 1);
    }
    if (!options.capture.isEmpty())
        capturerPuisQuitter(application, options.capture, 2000, false, feuille);
    return app.exec();
}

} // namespace

int lancerApplication(int argc, char** argv)
{
    if (qEnvironmentVariable("VD_TEST_MOTEUR") == QLatin1String("1"))
        return autoTestMoteur(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vendalo"));
    QApplication::setDesktopFileName(QStringLiteral("io.vendalo.Vendalo"));
    QApplication::setQuitOnLastWindowClosed(false);
    style::appliquer(app);
    OptionsLancement options = OptionsLancement::depuis(app.arguments());
    if (!options.ecran.isEmpty())
        return lancerEcran(app, options);

    // Two processes must never write the same store: the lock comes first.
    InstanceUnique instance(platform::dossierDonnees());
    switch (instance.acquerir(options.lien)) {
    case InstanceUnique::Issue::proprietaire: break;
    case InstanceUnique::Issue::transmis: return 0;
    case InstanceUnique::Issue::occupe: return erreur(relais::messageOccupe());
    }

    auto store = model::Store::principal([]() -> std::optional<model::Etat> {
        auto e = etatDemonstration();
        return e ? std::optional(e.valeur()) : std::nullopt;
    });
    model::Store* s = store.get();
    // This process holds the folder: calls a crash left open are closed before any call of its own.
    if (!s->ecritureBloquee())
        s->fermerAppelsInterrompus();
    Application application(std::move(store), options, platform::Horloge::instance(), platform::Preferences::instance(),
                            std::make_unique<ServiceDemarrageXdg>(QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath()));
    QObject::connect(&instance, &InstanceUnique::messageRecu, &application, &Application::traiterLien);
    // Writing subcommands run here, on this store, while the app holds the folder.
    instance.setExecuteur([&application](const RequeteCommande& r, std::function<void(const ReponseCommande&)> repondre) {
        ContexteCommande base;
        base.store = &application.store();
        base.session = &application.session();
        base.analyses = &application.analyses();
        base.synchro = application.synchro();
        base.montrerAppel = [&application] {
            application.montrerFenetre();
            application.navigation().aller(Ecran::de(Ecran::Genre::enAppel));
        };
        executerRequete(r, std::move(base), repondre);
    });
    QObject::connect(&application, &Application::quitterAccepte, &app, &QCoreApplication::quit);
    // Pending changes are written before the process ends.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, s, [s] { s->sauvegarder(true); });
    // A logout, a shutdown or a signal quits as the menu's "Quitter" does: the call is stopped
    // and saved within the quit delay, then the store is flushed.
    platform::SignauxArret signaux;
    QObject::connect(&signaux, &platform::SignauxArret::arretDemande, &application, &Application::demanderQuitter);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &application, [&application, s](QSessionManager&) {
        s->sauvegarder(true);
        application.demanderQuitter();
    });

    if (options.demo && s->etat().appels.isEmpty() && s->etat().contacts.isEmpty())
        if (auto err = chargerDemonstration(*s))
            std::fprintf(stderr, "%s\n", qUtf8Printable(*err));
    application.demarrer();
    if (options.demo)
        if (auto refus = application.contexte().lancerAppelSimule())
            std::fprintf(stderr, "%s\n", qUtf8Printable(*refus));
    if (!options.capture.isEmpty())
        capturerPuisQuitter(application, options.capture, 12000, true);
    return app.exec();
}

} // namespace vd::app
