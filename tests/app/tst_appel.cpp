// The call screens with the real session: new call, pre-flight sheet, the
// simulated call from the Help menu, the live screen, in-call keys, the end
// of the call and quitting during a call.
#include "environnementvendalo.h"
#include "app/ecrans/ecranenappel.h"
#include "app/ecrans/ecrannouvelappel.h"
#include "app/ecrans/feuilleprevol.h"
#include "app/ecrans/choixenregistrement.h"
#include "app/ecrans/fenetreprincipale.h"
#include "call/sessionappel.h"

#include <QAction>
#include <QLineEdit>
#include <QSignalSpy>

using namespace vd;
using namespace vd::app;

namespace {

model::Etat etatAvecContact()
{
    model::Etat e;
    e.contacts = {claireMartin()};
    return e;
}

// The program started on Claire Martin's contact (or etat).
struct Banc : BancApplication {
    explicit Banc(model::Etat etat = etatAvecContact()) : BancApplication({.etat = etat}) {}
};

} // namespace

class TestAppel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { preparerEcrans(); }

    void nouvelAppelContactOuSociete()
    {
        Banc b(model::Etat{});
        b.app->navigation().aller(Ecran::nouvelAppel());
        auto* page = qobject_cast<EcranNouvelAppel*>(b.app->fenetre()->pageCourante());
        QVERIFY(page);
        QCOMPARE(page->titre(), QStringLiteral("Nouvel appel"));
        // No contact yet: the form asks for a new one, and needs a name or a company.
        auto r = page->preparer();
        QVERIFY(!r);
        QCOMPARE(r.erreur(), QStringLiteral("Indiquez au moins un nom ou une société."));
        page->passerAlAppel();
        QCOMPARE(page->erreurAffichee(), QStringLiteral("Indiquez au moins un nom ou une société."));
        QCOMPARE(b.app->store().etat().contacts.size(), 0);
        const QList<QLineEdit*> champs = page->findChildren<QLineEdit*>();
        champs.at(2)->setText(QStringLiteral("  Acme  "));   // Société
        auto ok = page->preparer();
        QVERIFY(ok);
        QCOMPARE(b.app->store().etat().contacts.size(), 1);
        const model::Contact& cree = b.app->store().etat().contacts.first();
        QCOMPARE(cree.societe, QStringLiteral("Acme"));
        QCOMPARE(cree.etape, QStringLiteral("nouveau"));
        QCOMPARE(ok.valeur().contactId.value_or(QString()), cree.id);
        QCOMPARE(ok.valeur().type, QStringLiteral("prospection"));   // suggested from the stage "nouveau"
        QCOMPARE(ok.valeur().source, QStringLiteral("micro+mac"));
    }

    void feuillePreVolPermissionsManquantes()
    {
        Banc b;
        b.sonde->etat = {StatutMicro::refuse, EtatEcran::manquant, true};
        FeuillePreVol f(b.app->contexte(), call::ConfigAppel{.contactId = QStringLiteral("c1")}, *b.sonde);
        QCOMPARE(f.autorisations().lignes.size(), 2);
        const QStringList t = f.textes();
        QVERIFY(t.contains(QStringLiteral("Ouvrir les réglages du micro")));
        QVERIFY(t.contains(QStringLiteral("Ouvrir les réglages de l'écran")));
        QVERIFY(t.contains(TextesPreVol::casque));
        QVERIFY(t.contains(TextesPreVol::sansCle));   // no transcription key in the test keychain
        // The demonstration needs nothing and says whose name it uses.
        f.choisirSource(QStringLiteral("demo"));
        QVERIFY(f.autorisations().lignes.isEmpty());
        QVERIFY(f.textes().contains(TextesPreVol::demo(QStringLiteral("Claire"), true)));
        QVERIFY(!f.textes().contains(TextesPreVol::casque));
    }

    void feuillePreVolDemarreLaDemo()
    {
        Banc b;
        const call::ConfigAppel cfg{.contactId = QStringLiteral("c1"), .source = QStringLiteral("demo")};
        FeuillePreVol f(b.app->contexte(), cfg, *b.sonde);
        QSignalSpy demarre(&f, &FeuillePreVol::appelDemarre);
        f.demarrer();
        QCOMPARE(demarre.count(), 1);
        QVERIFY(b.appelActif());
        QCOMPARE(b.app->session().config().contactId.value_or(QString()), QStringLiteral("c1"));
        // A second start while the call runs is refused and shown.
        FeuillePreVol seconde(b.app->contexte(), cfg, *b.sonde);
        seconde.demarrer();
        QCOMPARE(seconde.demarrage().erreur().value_or(QString()), TextesPreVol::dejaEnCours);
        QVERIFY(seconde.textes().contains(TextesPreVol::dejaEnCours));
    }

    // The recording choice: a saved window that is closed stays chosen with
    // the call's warning; what is picked goes into the call's configuration
    // and is offered first next time.
    void feuillePreVolChoixEnregistrement()
    {
        model::Etat e = etatAvecContact();
        const model::CibleEnregistrement zoom{QStringLiteral("fenetre"), QStringLiteral("zoom"), QStringLiteral("zoom"),
                                              QStringLiteral("Réunion hebdo")};
        e.reglages.enregistrement.cible = zoom;
        Banc b(e);
        b.sonde->etat = {StatutMicro::autorise, EtatEcran::autorise, true};
        FeuillePreVol f(b.app->contexte(), call::ConfigAppel{}, *b.sonde);
        ChoixEnregistrement* c = f.choixEnregistrement();
        QCOMPARE(c->libelles().first(), ChoixEnregistrement::libelleEcran());
        QCOMPARE(c->libelles().last(), QStringLiteral("Réunion hebdo (fermée)"));
        QCOMPARE(c->note(), QStringLiteral("La fenêtre « Réunion hebdo » n'est pas ouverte : seul le son est enregistré. "
                                           "Ouvrez la réunion avant de démarrer l'appel."));
        QCOMPARE(f.configChoisie().enregistrer, std::optional<bool>(true));
        QCOMPARE(f.configChoisie().cibleEnregistrement, std::optional(zoom));
        c->choisir(false, 0);
        QCOMPARE(f.configChoisie().enregistrer, std::optional<bool>(false));
        QCOMPARE(f.configChoisie().cibleEnregistrement, std::optional(model::CibleEnregistrement{}));
        f.demarrer();
        QVERIFY(b.app->contexte().store->etat().reglages.enregistrement.choisi);
        QCOMPARE(b.app->contexte().store->etat().reglages.enregistrement.cible, model::CibleEnregistrement{});

        // Open windows: meeting tools first, a pick gives the window's target.
        ChoixEnregistrement d(model::ReglagesEnregistrement{}, std::nullopt, std::nullopt, [] {
            return std::optional(QList<call::FenetreProposee>{
                {4, QStringLiteral("zoom"), QStringLiteral("zoom"), QStringLiteral("Zoom Meeting"), 1280, 800, true},
                {6, QStringLiteral("firefox"), QStringLiteral("firefox"), QStringLiteral("Recettes"), 800, 600, false}});
        });
        QCOMPARE(d.libelles(), (QStringList{QStringLiteral("Tout l'écran"), QStringLiteral("Réunion · Zoom Meeting"),
                                            QStringLiteral("firefox — Recettes")}));
        QCOMPARE(d.indexChoisi(), 0);
        d.choisir(true, 1);
        QCOMPARE(d.cible(), (model::CibleEnregistrement{QStringLiteral("fenetre"), QStringLiteral("zoom"), QStringLiteral("zoom"),
                                                        QStringLiteral("Zoom Meeting")}));
        QVERIFY(d.note().isEmpty());

        // Wayland: no list; the desktop asks for the window when the call starts.
        qputenv("WAYLAND_DISPLAY", "wayland-vd");
        ChoixEnregistrement w(model::ReglagesEnregistrement{}, std::nullopt, std::optional(zoom), [] {
            return std::optional<QList<call::FenetreProposee>>();
        });
        qunsetenv("WAYLAND_DISPLAY");
        QCOMPARE(w.libelles(), (QStringList{QStringLiteral("Tout l'écran"), QStringLiteral("Une fenêtre, choisie au début de l'appel")}));
        QCOMPARE(w.indexChoisi(), 1);
        QCOMPARE(w.note(), QStringLiteral("Au début de l'appel, votre bureau vous demandera quoi filmer."));
        w.choisir(true, 0);
        QCOMPARE(w.cible(), model::CibleEnregistrement{});
    }

    void feuillePreVolAppelReelSansCaptureMontreLErreur()
    {
        Banc b;
        b.sonde->etat = {StatutMicro::autorise, EtatEcran::autorise, true};
        FeuillePreVol f(b.app->contexte(), call::ConfigAppel{}, *b.sonde);
        QVERIFY(f.autorisations().lignes.isEmpty());
        f.demarrer();
        QVERIFY(!b.appelActif());
        QVERIFY(f.demarrage().erreur().has_value());
        QVERIFY(!f.demarrage().erreur()->isEmpty());
        QVERIFY(f.textes().contains(*f.demarrage().erreur()));   // shown as the blocking line
    }

    void appelSimuleDepuisLeMenuAide()
    {
        Banc b;
        FenetrePrincipale* fen = b.app->fenetre();
        fen->action(QStringLiteral("appelSimule"))->trigger();
        QVERIFY(b.appelActif());
        QVERIFY(b.app->session().estGuide());
        QCOMPARE(b.app->navigation().ecran(), Ecran::de(Ecran::Genre::enAppel));
        QCOMPARE(b.app->session().config().type, QStringLiteral("decouverte"));
        QCOMPARE(b.app->session().config().langue, QStringLiteral("fr"));
        // Refused while it runs, with its message, and nothing changes.
        const QString avant = b.app->session().appelIdTexte();
        fen->action(QStringLiteral("appelSimule"))->trigger();
        QCOMPARE(b.app->toasts().toasts().last().message,
                 QStringLiteral("Un appel est déjà en cours. Terminez-le avant d'en lancer un autre."));
        QCOMPARE(b.app->session().appelIdTexte(), avant);
    }

    void ecranEnAppelMontreLeTranscript()
    {
        Banc b;
        QVERIFY(!b.app->contexte().lancerAppelSimule());
        auto* page = qobject_cast<EcranEnAppel*>(b.app->fenetre()->pageCourante());
        QVERIFY(page);
        QCOMPARE(page->titre(), QStringLiteral("Appel simulé"));
        b.horloge.avancer(20000);
        QCoreApplication::processEvents();   // new bubbles are shown on the next turn of the loop
        QVERIFY(!b.app->session().finals().isEmpty());
        const QString premier = b.app->session().finals().first().texte;
        QVERIFY(textesVisibles(page).contains(premier));
        QVERIFY(textesVisibles(page).contains(QStringLiteral("Appel simulé")));   // transcription state label
        QCOMPARE(EcranEnAppel::formaterHorloge(65.4), QStringLiteral("01:05"));
        QCOMPARE(EcranEnAppel::formaterHorloge(3725), QStringLiteral("1:02:05"));
        // A note typed in the side field joins the call.
        auto* note = page->findChild<QLineEdit*>(QStringLiteral("note"));
        note->setText(QStringLiteral("Budget validé en mars"));
        QTest::keyClick(note, Qt::Key_Return);
        QCOMPARE(b.app->session().notes().size(), 1);
        QCOMPARE(b.app->session().notes().first().texte, QStringLiteral("Budget validé en mars"));
    }

    void souffleurFlottantOuAncre()
    {
        Banc b;
        QVERIFY(souffleurFlottant());
        QVERIFY(!souffleurFlottant()->isVisible());   // no call, no prompter
        QVERIFY(!b.app->contexte().lancerAppelSimule());
        QVERIFY(souffleurFlottant()->isVisible());
        auto* page = b.app->fenetre()->pageCourante();
        auto* ancre = page->findChild<call::FenetreSouffleur*>(QStringLiteral("souffleurAncre"));
        auto* ancrer = page->findChild<QPushButton*>(QStringLiteral("ancrer"));
        QVERIFY(ancre && ancrer);
        QVERIFY(!ancre->isVisible());
        QCOMPARE(ancrer->text(), QStringLiteral("Ancrer"));

        // Docked: the live screen holds it, the floating one goes; the choice is remembered.
        ancrer->click();
        QVERIFY(ancre->isVisible());
        QVERIFY(!souffleurFlottant()->isVisible());
        QCOMPARE(ancrer->text(), QStringLiteral("Détacher"));
        QCOMPARE(b.prefs.valeur(QStringLiteral("vd.souffleur.ancre"), false).toBool(), true);

        // "Quillo" hides and shows it wherever it is.
        QPushButton* bascule = bouton(page, QStringLiteral("Quillo"));
        QVERIFY(bascule);
        bascule->click();
        QVERIFY(!ancre->isVisible());
        QVERIFY(!souffleurFlottant()->isVisible());
        bascule->click();
        QVERIFY(ancre->isVisible());

        // Floating again, then hidden by the user: the next call shows it anew.
        ancrer->click();
        QVERIFY(!ancre->isVisible());
        QVERIFY(souffleurFlottant()->isVisible());
        bascule->click();
        QVERIFY(!souffleurFlottant()->isVisible());
        b.app->session().arreter();
        QTRY_VERIFY(!b.appelActif());
        QVERIFY(!souffleurFlottant()->isVisible());
        QVERIFY(!b.app->contexte().lancerAppelSimule());
        QVERIFY(souffleurFlottant()->isVisible());
        b.app->session().arreter();
        QTRY_VERIFY(!b.appelActif());
        QVERIFY(!souffleurFlottant()->isVisible());
    }

    void touchesEnAppel()
    {
        Banc b;
        QStringList demandes;
        b.app->contexte().demanderAide = [&demandes](const QString& t) { demandes << t; };
        FenetrePrincipale* fen = b.app->fenetre();
        fen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(fen));
        // Before the call, Ctrl+2 is the menu shortcut.
        QTest::keyClick(fen, Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(b.app->navigation().ecran(), Ecran::de(Ecran::Genre::appels));
        QVERIFY(demandes.isEmpty());
        QVERIFY(!b.app->contexte().lancerAppelSimule());
        auto* note = b.app->fenetre()->pageCourante()->findChild<QLineEdit*>(QStringLiteral("note"));
        note->setFocus();
        QTest::keyClick(note, Qt::Key_2);
        QVERIFY(demandes.isEmpty());
        QCOMPARE(note->text(), QStringLiteral("2"));
        QTest::keyClick(note, Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(demandes, QStringList{QStringLiteral("questions")});
        QCOMPARE(b.app->navigation().ecran(), Ecran::de(Ecran::Genre::enAppel));   // the menu did not fire
        // After the call the keys are gone.
        b.app->session().arreter();
        QTRY_VERIFY(!b.appelActif());
        QTest::keyClick(b.app->fenetre()->pageCourante(), Qt::Key_1);
        QCOMPARE(demandes.size(), 1);
    }

    void finDAppelMeneALAnalyse()
    {
        Banc b;
        QStringList analyses;
        b.app->contexte().analyser = [&analyses](const QString& id) { analyses << id; };
        QVERIFY(!b.app->contexte().lancerAppelSimule());
        b.horloge.avancer(15000);
        const QString id = b.app->session().appelIdTexte();
        b.app->session().arreter();
        b.horloge.avancer(3000);
        QCOMPARE(b.app->session().etat(), call::EtatSession::termine);
        QCOMPARE(b.app->navigation().ecran(), Ecran::analyse(id));
        QCOMPARE(analyses, QStringList{id});
        QCOMPARE(b.app->fenetre()->pageCourante()->titre(), QStringLiteral("Analyse de l'appel"));
    }

    void quitterPendantUnAppelArreteEtSauvegardeDAbord()
    {
        Banc b;
        QVERIFY(!b.app->contexte().lancerAppelSimule());
        b.horloge.avancer(15000);
        const QString id = b.app->session().appelIdTexte();
        QSignalSpy quitte(b.app.get(), &Application::quitterAccepte);
        b.app->fenetre()->action(QStringLiteral("quitter"))->trigger();
        b.horloge.avancer(4000);
        QCOMPARE(quitte.count(), 1);
        QCOMPARE(b.app->session().etat(), call::EtatSession::termine);
        const model::Appel* a = b.app->store().etat().appel(id);
        QVERIFY(a);
        QVERIFY(!a->transcript.isEmpty());   // saved by the stop, not cut
        b.horloge.avancer(10000);
        QCOMPARE(quitte.count(), 1);   // one answer
    }

    void miseAJourReporteePendantLAppel()
    {
        Banc b;
        QVERIFY(!b.app->contexte().lancerAppelSimule());
        QVERIFY(b.app->contexte().misesAJour->report().appelEnCours());
        b.app->session().arreter();
        b.horloge.avancer(3000);
        QVERIFY(!b.app->contexte().misesAJour->report().appelEnCours());
    }
};

QTEST_MAIN(TestAppel)
#include "tst_appel.moc"
