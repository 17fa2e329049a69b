// vd-test: x11 timeout=180
// A simulated call from the Help menu on a real X display, as a user sees it:
// the floating prompter above the main window listens, spots an objection and
// shows the streamed help; the call ends and its analysis reaches the call
// sheet. Screenshots land in $VD_CAPTURES (default: the temporary folder).
#include "environnementvendalo.h"
#include "ai/panneausouffleur.h"
#include "agenda/agenda.h"
#include "agenda/avantrendezvous.h"
#include "agenda/ecrans/fenetrenotifications.h"
#include "agenda/pilenotifications.h"
#include "app/ecrans/blocenregistrement.h"
#include "app/ecrans/feuilleprevol.h"
#include "platform/dossiers.h"
#include "assistant/ecrans/ecranquillo.h"
#include "assistant/ecrans/panneauquilloappel.h"
#include "ui/ecrans/ecranbase.h"
#include "app/ecrans/fenetreprincipale.h"
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

#include <QAbstractItemModel>
#include <QAction>
#include <QDialog>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>

using namespace vd;
using namespace vd::app;

namespace {

// The whole program on the demonstration data, its window shown.
struct AppliDemo : BancApplication {
    bool demoChargee = false;
    explicit AppliDemo(ReglagesBanc r = {}) : BancApplication(r)
    {
        demoChargee = !app->contexte().chargerDemo();
        app->montrerFenetre();
    }
};

QImage ecranEntier()
{
    QCoreApplication::processEvents();
    QTest::qWait(150);   // let the X server draw what was just mapped
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

// Saves a screenshot as x11-NOM.png in $VD_CAPTURES (default: the temporary folder).
bool capturer(const QString& nom, const QImage& image = ecranEntier())
{
    const QString d = qEnvironmentVariable("VD_CAPTURES", QDir::tempPath());
    QDir().mkpath(d);
    return image.save(d + QStringLiteral("/x11-") + nom + QStringLiteral(".png"));
}

} // namespace

class TestAppelX11 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { preparerEcrans(); }

    void appelSimuleDuDebutALaFiche()
    {
        AppliDemo f;
        QVERIFY(f.demoChargee);
        Application& app = *f.app;
        FenetrePrincipale* fen = app.fenetre();
        QVERIFY(QTest::qWaitForWindowExposed(fen));
        QVERIFY(capturer(QStringLiteral("tableau")));

        // From the Help menu.
        fen->action(QStringLiteral("appelSimule"))->trigger();
        QVERIFY(app.contexte().appelActif());
        call::FenetreSouffleur* panneau = souffleurFlottant();
        QVERIFY(panneau);
        QVERIFY(QTest::qWaitForWindowExposed(panneau));
        QCOMPARE(panneau->messageEcoute()->text(), QStringLiteral("À l'écoute"));

        // The demonstration script reaches an objection; the prompter spots it.
        QVERIFY(f.tourner([&] { return panneau->bandeauObjection()->isVisible(); }, 250, 2400));
        QVERIFY(!panneau->texteObjection()->text().isEmpty());

        // The help answer streams in on the demonstration route.
        panneau->boutonAssistance()->click();
        QVERIFY(f.tourner([&] { return !panneau->reponse()->text().isEmpty(); }, 50, 200));
        QVERIFY(panneau->reponse()->isVisible());

        // On screen, the prompter is above the main window and inside the screen.
        const QImage ecran = ecranEntier();
        // Whole texts: the panel grew to the wrapped objection and answer.
        for (QLabel* l : {panneau->texteObjection(), panneau->reponse()})
            QVERIFY(l->height() >= l->heightForWidth(l->width()));
        QVERIFY(capturer(QStringLiteral("appel"), ecran));
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
        QVERIFY(capturer(QStringLiteral("appel-ancre")));
        ancrer->click();
        QVERIFY(panneau->isVisible());

        // Quillo beside the live call: the exchange becomes a card under the prompter.
        auto* quillo = fen->pageCourante()->findChild<assistant::PanneauQuilloAppel*>(QStringLiteral("quilloAppel"));
        QVERIFY(quillo);
        quillo->poser(QStringLiteral("Ajoute une note à Julien Morel : rappeler lundi"));
        QVERIFY(f.tourner([&] { return !quillo->session().enCours(); }, 20, 400, 5));
        QCOMPARE(quillo->session().conversation().appelId, app.session().appelId());
        QCOMPARE(quillo->session().conversation().enAttente.size(), 1);
        QVERIFY(capturer(QStringLiteral("appel-quillo")));

        // The call ends; its analysis appears on the call sheet.
        const QString id = app.session().appelIdTexte();
        app.session().arreter();
        QVERIFY(f.tourner([&] { return app.store().etat().appel(id)->analyse.has_value(); }, 250, 400));
        QVERIFY(!panneau->isVisible());
        const model::Appel* appel = app.store().etat().appel(id);
        QVERIFY(appel && appel->analyse);
        QCOMPARE(appel->statut, QStringLiteral("analyse"));
        app.navigation().aller(Ecran::ficheAppel(id));
        QVERIFY(capturer(QStringLiteral("fiche")));
        // The analysis leaves a proposed follow-up on the call, shown in the sheet's follow-up block.
        QVERIFY(appel->analyse->relances);
        auto* bloc = app.fenetre()->pageCourante()->findChild<QFrame*>(QStringLiteral("blocRelances"));
        QVERIFY(bloc);
        if (auto* zone = app.fenetre()->pageCourante()->findChild<QScrollArea*>())
            zone->ensureWidgetVisible(bloc);
        QVERIFY(capturer(QStringLiteral("fiche-relances")));
        // A step's edit: its subject, message, date and channel.
        QPushButton* modifier = bouton(bloc, QStringLiteral("Modifier"));
        QVERIFY(modifier);
        modifier->click();
        auto* dialogue = app.fenetre()->findChild<QDialog*>(QStringLiteral("dialogueEtape"));
        QVERIFY(dialogue);
        QVERIFY(QTest::qWaitForWindowExposed(dialogue));
        QVERIFY(capturer(QStringLiteral("relance-modifier")));
        dialogue->reject();

        // A recorded call: play and clip from its sheet.
        QDir().mkpath(platform::dossierEnregistrements());
        QVERIFY(!ecrireFichier(QDir(platform::dossierEnregistrements()).filePath(id + QStringLiteral(".mp4"))).isEmpty());
        app.store().modifier([&](model::Etat& e) { e.appel(id)->enregistrement = model::EnregistrementAppel{id + QStringLiteral(".mp4"), 754, 9'400'000, true}; });
        app.navigation().aller(Ecran::ficheAppel(id));
        auto* enr = app.fenetre()->pageCourante()->findChild<BlocEnregistrement*>(QStringLiteral("blocEnregistrement"));
        QVERIFY(enr);
        if (auto* zone = app.fenetre()->pageCourante()->findChild<QScrollArea*>())
            zone->ensureWidgetVisible(enr);
        app.fenetre()->repaint();   // the scrolled page drawn whole before the grab
        QVERIFY(capturer(QStringLiteral("fiche-enregistrement")));

        // The pre-flight sheet with its recording choice.
        f.sonde->etat = {StatutMicro::autorise, EtatEcran::autorise, true};
        FeuillePreVol prevol(app.contexte(), call::ConfigAppel{}, *f.sonde, app.fenetre());
        prevol.show();
        QVERIFY(capturer(QStringLiteral("prevol")));
        prevol.reject();
    }

    // "Relances du jour" on the demonstration's follow-ups, late ones first, then the settings page.
    void relancesDuJour()
    {
        AppliDemo f({.depart = QDateTime::currentDateTimeUtc()});
        QVERIFY(f.demoChargee);
        Application& app = *f.app;
        app.navigation().aller(Ecran::de(Ecran::Genre::relances));
        auto* page = qobject_cast<crm::EcranRelances*>(app.fenetre()->pageCourante());
        QVERIFY(page);
        QVERIFY(bouton(page, QStringLiteral("Marquer envoyée")));
        QVERIFY(capturer(QStringLiteral("relances")));
        app.navigation().aller(Ecran{Ecran::Genre::relances, QStringLiteral("reglages")});
        QVERIFY(app.fenetre()->pageCourante()->findChild<QLabel*>());
        QVERIFY(capturer(QStringLiteral("relances-reglages")));
    }

    // The CRM's import sheet on a file of another CRM, then the export panel.
    void importPuisExportCrm()
    {
        AppliDemo f;
        QVERIFY(f.demoChargee);
        Application& app = *f.app;
        app.navigation().aller(Ecran::de(Ecran::Genre::crm));
        const qsizetype avant = app.store().etat().contacts.size();
        QTemporaryDir dossier;
        auto* feuille = qobject_cast<crm::FeuilleImportCRM*>(
            crm::ouvrirEcranDemo(app.contexte(), app.fenetre(), QStringLiteral("import-crm"), {}, dossier.path()));
        QVERIFY(feuille);
        crm::ImportCRMModele& m = feuille->modele();
        QTRY_VERIFY_WITH_TIMEOUT(m.etape() == crm::ImportCRMModele::Etape::colonnes && m.plan(), 10000);
        QCOMPARE(m.correspondances().value(2), QStringLiteral("email"));
        QVERIFY(capturer(QStringLiteral("import-crm")));

        feuille->findChild<QPushButton*>(QStringLiteral("continuer"))->click();
        QCOMPARE(m.etape(), crm::ImportCRMModele::Etape::resume);
        auto* confirmer = feuille->findChild<QPushButton*>(QStringLiteral("confirmer"));
        QTRY_VERIFY_WITH_TIMEOUT(confirmer->isEnabled(), 10000);
        QCOMPARE(confirmer->text(), QStringLiteral("Importer 3 contacts"));
        QVERIFY(capturer(QStringLiteral("import-crm-resume")));
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
        QVERIFY(capturer(QStringLiteral("export-crm")));
        const QString chemin = dossier.filePath(QStringLiteral("Vendalo CRM.xlsx"));
        QVERIFY(!panneau->exporterVers(chemin));
        QVERIFY(QFileInfo(chemin).size() > 1000);
        QCOMPARE(f.prefs.valeur(QStringLiteral("vd.crm.export.format"), {}).toString(), QStringLiteral("xlsx"));
        panneau->close();
    }

    // Without a backend: the Équipe page explains where the team will appear; the account page is the local mode's.
    void pagesSansServeur()
    {
        AppliDemo f;
        f.app->navigation().aller(Ecran::de(Ecran::Genre::equipe));
        auto* page = qobject_cast<team::EcranEquipe*>(f.app->fenetre()->pageCourante());
        QVERIFY(page);
        QVERIFY(page->findChild<QPushButton*>(QStringLiteral("ouvrirCompte"))->isVisible());
        QVERIFY(capturer(QStringLiteral("equipe")));
        f.app->navigation().aller(Ecran::de(Ecran::Genre::compte));
        auto* compte = qobject_cast<cloud::EcranCompte*>(f.app->fenetre()->pageCourante());
        QVERIFY(compte);
        QCOMPARE(compte->vue(), cloud::EcranCompte::Vue::local);
        QVERIFY(capturer(QStringLiteral("compte")));
    }

    // The demonstration's team steering: the Pilotage tab first, with its calls to look at and its table.
    void equipePilotageDemo()
    {
        AppliDemo f({.options = {.demo = true}, .depart = QDateTime::currentDateTimeUtc()});
        QVERIFY(f.demoChargee);
        f.app->navigation().aller(Ecran::equipe(QStringLiteral("pilotage")));
        auto* page = qobject_cast<team::EcranEquipe*>(f.app->fenetre()->pageCourante());
        QVERIFY(page);
        QCOMPARE(page->onglets()->currentWidget(), static_cast<QWidget*>(page->ongletPilotage()));
        QCOMPARE(page->onglets()->tabText(0), QStringLiteral("Pilotage"));
        QVERIFY(page->ongletPilotage()->findChild<QWidget*>(QStringLiteral("appelsARegarder"))->isVisible());
        QVERIFY(page->ongletPilotage()->findChild<QWidget*>(QStringLiteral("tableauMembres"))->isVisible());
        QVERIFY(capturer(QStringLiteral("equipe-pilotage")));
    }

    // The CRM on the demonstration data: list, board, a contact sheet, profiles and objections.
    void ecransDuCrm()
    {
        AppliDemo f;
        QVERIFY(f.demoChargee);
        Application& app = *f.app;
        const model::Etat& etat = app.store().etat();
        QVERIFY(!etat.contacts.isEmpty());

        app.navigation().aller(Ecran{Ecran::Genre::crm, QStringLiteral("liste")});
        auto* crm = qobject_cast<crm::EcranCRM*>(app.fenetre()->pageCourante());
        QVERIFY(crm);
        crm->rafraichir();
        QCOMPARE(crm->vue(), crm::EcranCRM::Vue::liste);
        QCOMPARE(crm->modeleListe()->rowCount(), etat.contacts.size());
        QVERIFY(capturer(QStringLiteral("crm-liste")));

        app.navigation().aller(Ecran{Ecran::Genre::crm, QStringLiteral("pipeline")});
        crm = qobject_cast<crm::EcranCRM*>(app.fenetre()->pageCourante());
        QVERIFY(crm);
        QCOMPARE(crm->vue(), crm::EcranCRM::Vue::pipeline);
        QVERIFY(capturer(QStringLiteral("crm-pipeline")));

        const model::Contact& premier = etat.contacts.first();
        app.navigation().aller(Ecran::ficheContact(premier.id));
        auto* fiche = qobject_cast<crm::EcranFicheContact*>(app.fenetre()->pageCourante());
        QVERIFY(fiche);
        QCOMPARE(fiche->titre(), premier.nomComplet().isEmpty() ? QStringLiteral("Contact") : premier.nomComplet());
        QVERIFY(capturer(QStringLiteral("fiche-contact")));

        for (const QString onglet : {QStringLiteral("profils"), QStringLiteral("objections")}) {
            app.navigation().aller(Ecran::profils(onglet));
            QVERIFY(qobject_cast<crm::EcranProfils*>(app.fenetre()->pageCourante()));
            QVERIFY(capturer(onglet));
        }
    }

    void quillo()
    {
        // Today's demonstration data: its next actions fall within the week.
        AppliDemo f({.depart = QDateTime::currentDateTimeUtc()});
        QVERIFY(f.demoChargee);
        Application& app = *f.app;
        app.navigation().aller(Ecran::de(Ecran::Genre::quillo));
        auto* q = qobject_cast<assistant::EcranQuillo*>(app.fenetre()->pageCourante());
        QVERIFY(q);
        // No key here: the demonstration route answers from the read tools.
        q->poser(QStringLiteral("Quels prospects dois-je relancer cette semaine ?"));
        QVERIFY(f.tourner([&] { return !q->session().enCours(); }, 20, 400, 5));
        QCOMPARE(q->session().outilsAppeles(), QStringList{QStringLiteral("prochaines_actions")});
        q->poser(QStringLiteral("Ajoute une note à Julien Morel : rappeler lundi"));
        QVERIFY(f.tourner([&] { return !q->session().enCours(); }, 20, 400, 5));
        QCOMPARE(q->session().conversation().enAttente.size(), 1);
        QVERIFY(capturer(QStringLiteral("quillo")));
        q->session().appliquer(q->session().conversation().enAttente.value(0));
        QVERIFY(capturer(QStringLiteral("quillo-applique")));
    }

    // The agenda of the demonstration calendar, and a meeting card in the floating stack.
    void agendaEtCarteDeRendezVous()
    {
        BancApplication b({.options = {.demo = true}, .demarrer = false});
        Application& app = *b.app;
        QVERIFY(!app.contexte().chargerDemo());
        app.demarrer();
        app.montrerFenetre();
        QTRY_VERIFY(!app.agenda().evenements().isEmpty());
        app.agenda().recalculer();
        app.navigation().aller(Ecran::de(Ecran::Genre::agenda));
        QTRY_VERIFY(app.fenetre()->pageCourante()->findChild<QLabel*>());
        QVERIFY(capturer(QStringLiteral("agenda")));

        // The demonstration's first meeting starts in 8 minutes: its card offers to prepare the brief.
        app.avantRendezVous().evaluer();
        QTRY_VERIFY(app.pileNotifications().contient(QStringLiteral("rdv:demo-rdv-1")));
        auto* panneau = app.fenetreNotifications();
        QTRY_VERIFY(panneau->isVisible());
        QVERIFY(!panneau->isActiveWindow());
        QVERIFY(bouton(panneau, agenda::AvantRendezVous::actionPreparer));
        const QRect zone = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(panneau->geometry().right(), zone.right() - agenda::FenetreNotifications::marge);
        panneau->raise();
        QVERIFY(capturer(QStringLiteral("carte-rendez-vous")));
        panneau->hide();
    }
};

QTEST_MAIN(TestAppelX11)
#include "tst_appel_x11.moc"
