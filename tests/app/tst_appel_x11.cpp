// vd-test: x11 timeout=180
// A simulated call from the Help menu on a real X display, as a user sees it:
// the floating prompter above the main window listens, spots an objection and
// shows the streamed help; the call ends and its analysis reaches the call
// sheet. Screenshots land in $VD_CAPTURES (default: the temporary folder).
#include "ai/panneausouffleur.h"
#include "agenda/agenda.h"
#include "agenda/avantrendezvous.h"
#include "agenda/ecrans/fenetrenotifications.h"
#include "agenda/pilenotifications.h"
#include "app/ecrans/application.h"
#include "app/ecrans/blocenregistrement.h"
#include "app/ecrans/feuilleprevol.h"
#include "platform/dossiers.h"
#include "assistant/ecrans/ecranquillo.h"
#include "assistant/ecrans/panneauquilloappel.h"
#include "ui/ecrans/ecranbase.h"
#include "app/ecrans/fenetreprincipale.h"
#include "ui/ecrans/style.h"
#include "call/ecrans/fenetresouffleur.h"
#include "call/sessionappel.h"
#include "cloud/ecrans/ecrancompte.h"
#include "crm/ecrans/democrm.h"
#include "crm/ecrans/ecrancrm.h"
#include "crm/ecrans/ecranfichecontact.h"
#include "crm/ecrans/ecranprofils.h"
#include "crm/ecrans/ecranrelances.h"
#include "crm/ecrans/feuilleimportcrm.h"
#include "crm/ecrans/modelecontacts.h"
#include "crm/ecrans/panneauexportcrm.h"
#include "team/ecrans/ecranequipe.h"
#include "team/ecrans/ongletpilotage.h"
#include <QTabWidget>
#include "model/store.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QDialog>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace vd;
using namespace vd::app;

namespace {

call::FenetreSouffleur* souffleurFlottant()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<call::FenetreSouffleur*>(w))
            return f;
    return nullptr;
}

// The whole program on the demonstration data, on a fake clock, its window shown.
struct AppliDemo {
    platform::HorlogeFactice horloge;
    platform::PreferencesMemoire prefs;
    std::unique_ptr<Application> application;
    bool demoChargee = false;

    explicit AppliDemo(QDateTime depart = QDateTime(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC), OptionsLancement options = {})
        : horloge(depart)
    {
        prefs.definir(QStringLiteral("vd.demarrage.defautApplique"), true);
        application = std::make_unique<Application>(std::make_unique<model::Store>(QString(), horloge), options, horloge,
                                                    prefs, std::make_unique<ServiceDemarrageFactice>());
        application->demarrer();
        demoChargee = !application->contexte().chargerDemo();
        application->montrerFenetre();
    }
};

QString dossierCaptures()
{
    const QString d = qEnvironmentVariable("VD_CAPTURES", QDir::tempPath());
    QDir().mkpath(d);
    return d;
}

QImage ecranEntier()
{
    QCoreApplication::processEvents();
    QTest::qWait(150);   // let the X server draw what was just mapped
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

} // namespace

class TestAppelX11 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        style::appliquer(*qApp);
    }

    void appelSimuleDuDebutALaFiche()
    {
        platform::HorlogeFactice horloge{QDateTime(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC)};
        platform::PreferencesMemoire prefs;
        prefs.definir(QStringLiteral("vd.demarrage.defautApplique"), true);
        auto store = std::make_unique<model::Store>(QString(), horloge);
        Application app(std::move(store), OptionsLancement{}, horloge, prefs, std::make_unique<ServiceDemarrageFactice>());
        app.demarrer();
        QVERIFY(!app.contexte().chargerDemo());
        FenetrePrincipale* fen = app.fenetre();
        QVERIFY(QTest::qWaitForWindowExposed(fen));
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-tableau.png")));

        // From the Help menu.
        fen->action(QStringLiteral("appelSimule"))->trigger();
        QVERIFY(app.contexte().appelActif());
        call::FenetreSouffleur* panneau = souffleurFlottant();
        QVERIFY(panneau);
        QVERIFY(QTest::qWaitForWindowExposed(panneau));
        QCOMPARE(panneau->messageEcoute()->text(), QStringLiteral("À l'écoute"));

        // The demonstration script reaches an objection; the prompter spots it.
        for (int i = 0; i < 2400 && !panneau->bandeauObjection()->isVisible(); ++i)
            horloge.avancer(250);
        QVERIFY(panneau->bandeauObjection()->isVisible());
        QVERIFY(!panneau->texteObjection()->text().isEmpty());

        // The help answer streams in on the demonstration route.
        panneau->boutonAssistance()->click();
        for (int i = 0; i < 200 && panneau->reponse()->text().isEmpty(); ++i) {
            QCoreApplication::processEvents();   // the request starts on the next turn of the loop
            horloge.avancer(50);
        }
        QVERIFY(!panneau->reponse()->text().isEmpty());
        QVERIFY(panneau->reponse()->isVisible());

        // On screen, the prompter is above the main window and inside the screen.
        const QImage ecran = ecranEntier();
        // Whole texts: the panel grew to the wrapped objection and answer.
        for (QLabel* l : {panneau->texteObjection(), panneau->reponse()})
            QVERIFY(l->height() >= l->heightForWidth(l->width()));
        QVERIFY(ecran.save(dossierCaptures() + QStringLiteral("/x11-appel.png")));
        const QRect zone = panneau->frameGeometry();
        QVERIFY(panneau->screen()->geometry().contains(zone));
        const QImage propre = panneau->grab().toImage();
        const QPoint centre = panneau->bandeauObjection()->mapTo(panneau, panneau->bandeauObjection()->rect().center());
        QCOMPARE(ecran.pixelColor(zone.topLeft() + centre).name(), propre.pixelColor(centre).name());

        // Docked in the live screen: the same prompter, inside the main window.
        auto* ancrer = fen->pageCourante()->findChild<QPushButton*>(QStringLiteral("ancrer"));
        QVERIFY(ancrer);
        ancrer->click();
        auto* ancre = fen->pageCourante()->findChild<call::FenetreSouffleur*>(QStringLiteral("souffleurAncre"));
        QVERIFY(ancre && ancre->isVisible());
        QVERIFY(!panneau->isVisible());
        QCOMPARE(ancre->reponse()->text(), panneau->reponse()->text());
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-appel-ancre.png")));
        ancrer->click();
        QVERIFY(panneau->isVisible());

        // Quillo beside the live call: the exchange becomes a card under the prompter.
        auto* quillo = fen->pageCourante()->findChild<assistant::PanneauQuilloAppel*>(QStringLiteral("quilloAppel"));
        QVERIFY(quillo);
        quillo->poser(QStringLiteral("Ajoute une note à Julien Morel : rappeler lundi"));
        for (int i = 0; i < 400 && quillo->session().enCours(); ++i) {
            horloge.avancer(20);
            QTest::qWait(5);
        }
        QVERIFY(!quillo->session().enCours());
        QCOMPARE(quillo->session().conversation().appelId, app.session().appelId());
        QCOMPARE(quillo->session().conversation().enAttente.size(), 1);
        QTest::qWait(100);
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-appel-quillo.png")));

        // The call ends; its analysis appears on the call sheet.
        const QString id = app.session().appelIdTexte();
        app.session().arreter();
        for (int i = 0; i < 400 && !app.store().etat().appel(id)->analyse; ++i) {
            QCoreApplication::processEvents();
            horloge.avancer(250);
        }
        QVERIFY(!panneau->isVisible());
        const model::Appel* appel = app.store().etat().appel(id);
        QVERIFY(appel && appel->analyse);
        QCOMPARE(appel->statut, QStringLiteral("analyse"));
        app.navigation().aller(Ecran::ficheAppel(id));
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-fiche.png")));
        // The analysis leaves a proposed follow-up on the call, shown in the sheet's follow-up block.
        QVERIFY(appel->analyse->relances);
        auto* bloc = app.fenetre()->pageCourante()->findChild<QFrame*>(QStringLiteral("blocRelances"));
        QVERIFY(bloc);
        if (auto* zone = app.fenetre()->pageCourante()->findChild<QScrollArea*>())
            zone->ensureWidgetVisible(bloc);
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-fiche-relances.png")));
        // A step's edit: its subject, message, date and channel.
        QPushButton* modifier = nullptr;
        for (QPushButton* b : bloc->findChildren<QPushButton*>())
            if (!modifier && b->text() == QStringLiteral("Modifier"))
                modifier = b;
        QVERIFY(modifier);
        modifier->click();
        auto* dialogue = app.fenetre()->findChild<QDialog*>(QStringLiteral("dialogueEtape"));
        QVERIFY(dialogue);
        QVERIFY(QTest::qWaitForWindowExposed(dialogue));
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-relance-modifier.png")));
        dialogue->reject();


        // A recorded call: play and clip from its sheet.
        QDir().mkpath(platform::dossierEnregistrements());
        QFile fichier(QDir(platform::dossierEnregistrements()).filePath(id + QStringLiteral(".mp4")));
        QVERIFY(fichier.open(QIODevice::WriteOnly));
        fichier.close();
        app.store().modifier([&](model::Etat& e) { e.appel(id)->enregistrement = model::EnregistrementAppel{id + QStringLiteral(".mp4"), 754, 9'400'000, true}; });
        app.navigation().aller(Ecran::ficheAppel(id));
        auto* enr = app.fenetre()->pageCourante()->findChild<BlocEnregistrement*>(QStringLiteral("blocEnregistrement"));
        QVERIFY(enr);
        if (auto* zone = app.fenetre()->pageCourante()->findChild<QScrollArea*>())
            zone->ensureWidgetVisible(enr);
        app.fenetre()->repaint();   // the scrolled page drawn whole before the grab
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-fiche-enregistrement.png")));

        // The pre-flight sheet with its recording choice.
        struct Sonde : SondeAudio {
            EtatAudio sonder() override { return {StatutMicro::autorise, EtatEcran::autorise, true}; }
        } sonde;
        FeuillePreVol prevol(app.contexte(), call::ConfigAppel{}, sonde, app.fenetre());
        prevol.show();
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-prevol.png")));
        prevol.reject();
    }

    // "Relances du jour" on the demonstration's follow-ups, late ones first, then the settings page.
    void relancesDuJour()
    {
        platform::PreferencesMemoire prefs;
        prefs.definir(QStringLiteral("vd.demarrage.defautApplique"), true);
        Application app(std::make_unique<model::Store>(), OptionsLancement{}, platform::Horloge::instance(), prefs,
                        std::make_unique<ServiceDemarrageFactice>());
        app.demarrer();
        QVERIFY(!app.contexte().chargerDemo());
        app.montrerFenetre();
        app.navigation().aller(Ecran::de(Ecran::Genre::relances));
        auto* page = qobject_cast<crm::EcranRelances*>(app.fenetre()->pageCourante());
        QVERIFY(page);
        QList<QPushButton*> marquer;
        for (QPushButton* b : page->findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("Marquer envoyée"))
                marquer << b;
        QVERIFY(!marquer.isEmpty());
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-relances.png")));
        app.navigation().aller(Ecran{Ecran::Genre::relances, QStringLiteral("reglages")});
        QCOMPARE(app.fenetre()->pageCourante()->findChild<QLabel*>() != nullptr, true);
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-relances-reglages.png")));
    }

    // The CRM's import sheet on a file of another CRM, then the export panel.
    void importPuisExportCrm()
    {
        AppliDemo f;
        QVERIFY(f.demoChargee);
        Application& app = *f.application;
        app.navigation().aller(Ecran::de(Ecran::Genre::crm));
        const qsizetype avant = app.store().etat().contacts.size();
        QTemporaryDir dossier;
        auto* feuille = qobject_cast<crm::FeuilleImportCRM*>(
            crm::ouvrirEcranDemo(app.contexte(), app.fenetre(), QStringLiteral("import-crm"), {}, dossier.path()));
        QVERIFY(feuille);
        crm::ImportCRMModele& m = feuille->modele();
        QTRY_VERIFY_WITH_TIMEOUT(m.etape() == crm::ImportCRMModele::Etape::colonnes && m.plan(), 10000);
        QCOMPARE(m.correspondances().value(2), QStringLiteral("email"));
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-import-crm.png")));

        feuille->findChild<QPushButton*>(QStringLiteral("continuer"))->click();
        QCOMPARE(m.etape(), crm::ImportCRMModele::Etape::resume);
        auto* confirmer = feuille->findChild<QPushButton*>(QStringLiteral("confirmer"));
        QTRY_VERIFY_WITH_TIMEOUT(confirmer->isEnabled(), 10000);
        QCOMPARE(confirmer->text(), QStringLiteral("Importer 3 contacts"));
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-import-crm-resume.png")));
        confirmer->click();
        QVERIFY(m.importe());
        QCOMPARE(app.store().etat().contacts.size(), avant + 3);
        const auto annule = m.annuler(QStringLiteral("2026-03-02T09:05:00.000Z"));
        QVERIFY(annule);
        QCOMPARE(app.store().etat().contacts.size(), avant);
        feuille->close();

        auto* panneau = qobject_cast<crm::PanneauExportCRM*>(
            crm::ouvrirEcranDemo(app.contexte(), app.fenetre(), QStringLiteral("export-crm"), {}, dossier.path()));
        QVERIFY(panneau);
        QCOMPARE(panneau->portee(), QStringLiteral("selection"));
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-export-crm.png")));
        const QString chemin = dossier.filePath(QStringLiteral("Vendalo CRM.xlsx"));
        QVERIFY(!panneau->exporterVers(chemin));
        QVERIFY(QFileInfo(chemin).size() > 1000);
        QCOMPARE(f.prefs.valeur(QStringLiteral("vd.crm.export.format"), {}).toString(), QStringLiteral("xlsx"));
        panneau->close();
    }

    // The Équipe page without a backend explains where the team will appear.
    void equipeSansCompte()
    {
        AppliDemo f;
        f.application->navigation().aller(Ecran::de(Ecran::Genre::equipe));
        auto* page = qobject_cast<team::EcranEquipe*>(f.application->fenetre()->pageCourante());
        QVERIFY(page);
        QVERIFY(page->findChild<QPushButton*>(QStringLiteral("ouvrirCompte"))->isVisible());
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-equipe.png")));
    }

    // The demonstration's team steering: the Pilotage tab first, with its calls to look at and its table.
    void equipePilotageDemo()
    {
        OptionsLancement options;
        options.demo = true;
        AppliDemo f(QDateTime::currentDateTimeUtc(), options);
        QVERIFY(f.demoChargee);
        f.application->navigation().aller(Ecran::equipe(QStringLiteral("pilotage")));
        auto* page = qobject_cast<team::EcranEquipe*>(f.application->fenetre()->pageCourante());
        QVERIFY(page);
        QCOMPARE(page->onglets()->currentWidget(), static_cast<QWidget*>(page->ongletPilotage()));
        QCOMPARE(page->onglets()->tabText(0), QStringLiteral("Pilotage"));
        QVERIFY(page->ongletPilotage()->findChild<QWidget*>(QStringLiteral("appelsARegarder"))->isVisible());
        QVERIFY(page->ongletPilotage()->findChild<QWidget*>(QStringLiteral("tableauMembres"))->isVisible());
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-equipe-pilotage.png")));
    }

    // The CRM on the demonstration data: list, board, a contact sheet, profiles and objections.
    void ecransDuCrm()
    {
        AppliDemo f;
        QVERIFY(f.demoChargee);
        Application& app = *f.application;
        const model::Etat& etat = app.store().etat();
        QVERIFY(!etat.contacts.isEmpty());

        app.navigation().aller(Ecran{Ecran::Genre::crm, QStringLiteral("liste")});
        auto* crm = qobject_cast<crm::EcranCRM*>(app.fenetre()->pageCourante());
        QVERIFY(crm);
        crm->rafraichir();
        QCOMPARE(crm->vue(), crm::EcranCRM::Vue::liste);
        QCOMPARE(crm->modeleListe()->rowCount(), etat.contacts.size());
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-crm-liste.png")));

        app.navigation().aller(Ecran{Ecran::Genre::crm, QStringLiteral("pipeline")});
        crm = qobject_cast<crm::EcranCRM*>(app.fenetre()->pageCourante());
        QVERIFY(crm);
        QCOMPARE(crm->vue(), crm::EcranCRM::Vue::pipeline);
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-crm-pipeline.png")));

        const model::Contact& premier = etat.contacts.first();
        app.navigation().aller(Ecran::ficheContact(premier.id));
        auto* fiche = qobject_cast<crm::EcranFicheContact*>(app.fenetre()->pageCourante());
        QVERIFY(fiche);
        QCOMPARE(fiche->titre(), premier.nomComplet().isEmpty() ? QStringLiteral("Contact") : premier.nomComplet());
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-fiche-contact.png")));

        app.navigation().aller(Ecran::profils(QStringLiteral("profils")));
        QVERIFY(qobject_cast<crm::EcranProfils*>(app.fenetre()->pageCourante()));
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-profils.png")));
        app.navigation().aller(Ecran::profils(QStringLiteral("objections")));
        QVERIFY(qobject_cast<crm::EcranProfils*>(app.fenetre()->pageCourante()));
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-objections.png")));
    }

    void quillo()
    {
        // Today's demonstration data: its next actions fall within the week.
        AppliDemo f{QDateTime::currentDateTimeUtc()};
        QVERIFY(f.demoChargee);
        Application& app = *f.application;
        platform::HorlogeFactice& horloge = f.horloge;
        app.navigation().aller(Ecran::de(Ecran::Genre::quillo));
        auto* q = qobject_cast<assistant::EcranQuillo*>(app.fenetre()->pageCourante());
        QVERIFY(q);
        // No key here: the demonstration route answers from the read tools.
        q->poser(QStringLiteral("Quels prospects dois-je relancer cette semaine ?"));
        for (int i = 0; i < 400 && q->session().enCours(); ++i) {
            horloge.avancer(20);
            QTest::qWait(5);
        }
        QVERIFY(!q->session().enCours());
        QCOMPARE(q->session().outilsAppeles(), QStringList{QStringLiteral("prochaines_actions")});
        q->poser(QStringLiteral("Ajoute une note à Julien Morel : rappeler lundi"));
        for (int i = 0; i < 400 && q->session().enCours(); ++i) {
            horloge.avancer(20);
            QTest::qWait(5);
        }
        QCOMPARE(q->session().conversation().enAttente.size(), 1);
        QTest::qWait(100);
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-quillo.png")));
        q->session().appliquer(q->session().conversation().enAttente.value(0));
        QTest::qWait(100);
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-quillo-applique.png")));
    }

    // The agenda of the demonstration calendar, and a meeting card in the floating stack.
    void agendaEtCarteDeRendezVous()
    {
        platform::HorlogeFactice horloge{QDateTime(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC)};
        platform::PreferencesMemoire prefs;
        prefs.definir(QStringLiteral("vd.demarrage.defautApplique"), true);
        OptionsLancement options;
        options.demo = true;
        auto store = std::make_unique<model::Store>(QString(), horloge);
        Application app(std::move(store), options, horloge, prefs, std::make_unique<ServiceDemarrageFactice>());
        QVERIFY(!app.contexte().chargerDemo());
        app.demarrer();
        app.montrerFenetre();
        QTRY_VERIFY(!app.agenda().evenements().isEmpty());
        app.agenda().recalculer();
        app.navigation().aller(Ecran::de(Ecran::Genre::agenda));
        QTRY_VERIFY(app.fenetre()->pageCourante()->findChild<QLabel*>());
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-agenda.png")));

        // The demonstration's first meeting starts in 8 minutes: its card offers to prepare the brief.
        app.avantRendezVous().evaluer();
        QTRY_VERIFY(app.pileNotifications().contient(QStringLiteral("rdv:demo-rdv-1")));
        auto* panneau = app.fenetreNotifications();
        QTRY_VERIFY(panneau->isVisible());
        QVERIFY(!panneau->isActiveWindow());
        bool prepare = false;
        for (QPushButton* b : panneau->findChildren<QPushButton*>())
            prepare = prepare || b->text() == agenda::AvantRendezVous::actionPreparer;
        QVERIFY(prepare);
        const QRect zone = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(panneau->geometry().right(), zone.right() - agenda::FenetreNotifications::marge);
        panneau->raise();
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-carte-rendez-vous.png")));
        panneau->hide();
    }

    // The account page of a demonstration run: no backend, the local-mode page.
    void compteEnModeLocal()
    {
        AppliDemo f;
        f.application->navigation().aller(Ecran::de(Ecran::Genre::compte));
        auto* page = qobject_cast<cloud::EcranCompte*>(f.application->fenetre()->pageCourante());
        QVERIFY(page);
        QCOMPARE(page->vue(), cloud::EcranCompte::Vue::local);
        QVERIFY(ecranEntier().save(dossierCaptures() + QStringLiteral("/x11-compte.png")));
    }
};

QTEST_MAIN(TestAppelX11)
#include "tst_appel_x11.moc"
