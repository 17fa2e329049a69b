// The floating prompter offscreen: listening states and their messages, the
// objection banner, streamed answers, history navigation, ratings, tools.
#include "platform/formulation.h"
#include "ai/panneausouffleur.h"
#include "call/ecrans/fenetresouffleur.h"
#include "fakes/appelfactice.h"
#include "fakes/clientiascripte.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QFrame>
#include <QLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace vd;
using vd::fakes::AppelFactice;
using vd::fakes::ClientIAScripte;

namespace {
const QString cheminMoteur = QStringLiteral(VD_SOURCE_DIR "/tests/ai/moteur_factice.js");

struct Banc {
    platform::HorlogeFactice horloge;
    ClientIAScripte client;
    AppelFactice appel;
    ai::Souffleur souffleur;
    ai::PanneauSouffleur panneau;
    call::FenetreSouffleur fenetre;
    explicit Banc(ai::Moteur& m) : souffleur(m, client), panneau(souffleur, horloge), fenetre(panneau)
    {
        souffleur.setAppel(&appel);
        panneau.setEtatAppel(QStringLiteral("enCours"), QStringLiteral("ouvert"));
    }
    // Fires a help request from its button and answers it.
    void repondre(QPushButton* bouton, const QString& texte)
    {
        bouton->click();
        client.derniere()->terminer(QStringLiteral("{\"reponse\": \"%1\"}").arg(texte));
    }
};
} // namespace

class TestFenetreSouffleur : public QObject {
    Q_OBJECT
    std::unique_ptr<ai::Moteur> moteur;
    std::unique_ptr<Banc> b;

private Q_SLOTS:
    void initTestCase()
    {
        moteur = std::make_unique<ai::Moteur>(cheminMoteur);
        QVERIFY(!moteur->charger());
    }
    void init() { b = std::make_unique<Banc>(*moteur); }
    void cleanup() { b.reset(); }

    void fenetreQuiNePrendPasLeFocus()
    {
        const Qt::WindowFlags voulus = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus;
        QCOMPARE(b->fenetre.windowFlags() & voulus, voulus);
        QVERIFY(b->fenetre.testAttribute(Qt::WA_ShowWithoutActivating));
    }

    void etatsDEcoute_data()
    {
        QTest::addColumn<QString>("etat");
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("message");
        QTest::newRow("repos") << "inactif" << "" << int(ai::ModeEcoute::repos) << "Aucun appel en cours";
        QTest::newRow("connexion") << "connexion" << "connexion" << int(ai::ModeEcoute::connexion) << "Connexion en cours…";
        QTest::newRow("écoute") << "enCours" << "ouvert" << int(ai::ModeEcoute::ecoute) << "À l'écoute";
        QTest::newRow("reconnexion") << "enCours" << "reconnexion" << int(ai::ModeEcoute::alerte)
                                     << "Connexion à la transcription perdue. Reconnexion en cours…";
        QTest::newRow("pause") << "pause" << "ouvert" << int(ai::ModeEcoute::pause)
                               << "Appel en pause : la transcription est suspendue.";
        QTest::newRow("coupée") << "enCours" << "coupee" << int(ai::ModeEcoute::coupee)
                                << "La transcription est coupée. L'appel continue.";
        QTest::newRow("fini") << "termine" << "" << int(ai::ModeEcoute::fini) << "Appel terminé";
    }
    void etatsDEcoute()
    {
        QFETCH(QString, etat);
        QFETCH(QString, code);
        QFETCH(int, mode);
        QFETCH(QString, message);
        b->panneau.setEtatAppel(etat, code);
        QCOMPARE(int(b->panneau.mode()), mode);
        QCOMPARE(b->fenetre.messageEcoute()->text(), message);
        QCOMPARE(b->fenetre.boutonRelancer()->isVisibleTo(&b->fenetre), mode == int(ai::ModeEcoute::coupee));
    }

    void coachingAffiche()
    {
        b->panneau.setCoaching({QStringLiteral("Vous parlez depuis 1 min 30")});
        QCOMPARE(b->panneau.mode(), ai::ModeEcoute::alerte);
        QVERIFY(b->fenetre.coaching()->isVisibleTo(&b->fenetre));
        QCOMPARE(b->fenetre.coaching()->text(), QStringLiteral("Vous parlez depuis 1 min 30"));
        b->panneau.setCoaching({});
        QCOMPARE(b->panneau.mode(), ai::ModeEcoute::ecoute);
        QVERIFY(!b->fenetre.coaching()->isVisibleTo(&b->fenetre));
    }

    void aideRefuseeSansAppel()
    {
        b->appel.actif = false;
        b->fenetre.boutonAssistance()->click();
        QCOMPARE(b->client.requetes.size(), 0);
        QCOMPARE(b->fenetre.erreur()->text(), QStringLiteral("L'appel n'est pas en cours."));
        b->horloge.avancer(5000);
        QVERIFY(!b->fenetre.erreur()->isVisibleTo(&b->fenetre));
    }

    void objectionRepereeEtIgnoree()
    {
        QVERIFY(!b->fenetre.bandeauObjection()->isVisibleTo(&b->fenetre));
        b->souffleur.segmentFinal(b->appel.dire(QStringLiteral("prospect"), QStringLiteral("C'est trop cher."), 0, 2000));
        QVERIFY(b->fenetre.bandeauObjection()->isVisibleTo(&b->fenetre));
        QVERIFY(b->fenetre.texteObjection()->text().startsWith(vd::platform::formuler(QStringLiteral("Objection repérée. Cliquez pour une Assistance (⌘1)."))));
        // Clicking the banner asks for an Assistance.
        QTest::mouseClick(b->fenetre.bandeauObjection(), Qt::LeftButton);
        QCOMPARE(b->client.requetes.size(), 1);
        QCOMPARE(b->client.requetes[0].tache, QStringLiteral("objection"));
        b->fenetre.boutonIgnorer()->click();
        QVERIFY(!b->fenetre.bandeauObjection()->isVisibleTo(&b->fenetre));
        // A new objection shows again.
        b->souffleur.segmentFinal(b->appel.dire(QStringLiteral("prospect"), QStringLiteral("Je n'ai pas le temps."), 9000, 11000));
        QVERIFY(b->fenetre.bandeauObjection()->isVisibleTo(&b->fenetre));
    }

    void reponseEnFluxEnTexteBrut()
    {
        b->fenetre.boutonQuestions()->click();
        QCOMPARE(b->client.requetes.size(), 1);
        QCOMPARE(b->fenetre.reponse()->textFormat(), Qt::PlainText);
        b->client.derniere()->envoyerPartiel(QJsonObject{{"questions", QJsonArray{"<b>Qui décide</b> ?"}}});
        QCOMPARE(b->fenetre.reponse()->text(), QStringLiteral("• <b>Qui décide</b> ?"));
        QVERIFY(!b->fenetre.boutonUtile()->isEnabled());
        b->client.derniere()->echouer(QStringLiteral("Quillo est très demandé. Réessayez dans un instant."));
        QCOMPARE(b->fenetre.reponse()->text(), QStringLiteral("Quillo n'a pas pu répondre."));
        QCOMPARE(b->fenetre.erreur()->text(), QStringLiteral("Quillo n'a pas pu répondre."));
    }

    void historiqueEtNotes()
    {
        b->repondre(b->fenetre.boutonAssistance(), QStringLiteral("Première"));
        b->repondre(b->fenetre.boutonQuestions(), QStringLiteral("Deuxième"));
        b->repondre(b->fenetre.boutonRecap(), QStringLiteral("Troisième"));
        QCOMPARE(b->fenetre.reponse()->text(), QStringLiteral("Troisième"));
        QCOMPARE(b->fenetre.compteur()->text(), QStringLiteral("3 / 3"));
        QVERIFY(!b->fenetre.boutonSuivante()->isEnabled());
        b->fenetre.boutonPrecedente()->click();
        b->fenetre.boutonPrecedente()->click();
        QCOMPARE(b->fenetre.reponse()->text(), QStringLiteral("Première"));
        QCOMPARE(b->fenetre.compteur()->text(), QStringLiteral("1 / 3"));
        QVERIFY(!b->fenetre.boutonPrecedente()->isEnabled());

        b->fenetre.boutonUtile()->click();
        QCOMPARE(b->fenetre.accuse()->text(), QStringLiteral("Vous avez trouvé cette réponse utile"));
        QCOMPARE(b->souffleur.aides()[0].utile, std::optional<bool>(true));
        b->fenetre.boutonSuivante()->click();
        QCOMPARE(b->fenetre.reponse()->text(), QStringLiteral("Deuxième"));
        b->fenetre.boutonPeuUtile()->click();
        QCOMPARE(b->fenetre.accuse()->text(), QStringLiteral("Vous avez trouvé cette réponse peu utile"));
        QCOMPARE(b->souffleur.aides()[1].utile, std::optional<bool>(false));
        QVERIFY(b->fenetre.boutonPeuUtile()->isChecked());

        // While the user reads an older answer, a new one does not take its place.
        b->repondre(b->fenetre.boutonAssistance(), QStringLiteral("Quatrième"));
        QCOMPARE(b->fenetre.compteur()->text(), QStringLiteral("4 / 4"));
        b->fenetre.boutonPrecedente()->click();
        QCOMPARE(b->fenetre.reponse()->text(), QStringLiteral("Troisième"));
        b->fenetre.champQuestion()->setText(QStringLiteral("Quel délai ?"));
        QTest::keyClick(b->fenetre.champQuestion(), Qt::Key_Return);
        QCOMPARE(b->client.requetes.last().tache, QStringLiteral("libre"));
        QVERIFY(b->fenetre.champQuestion()->text().isEmpty());
        b->fenetre.boutonPrecedente()->click();   // back to the newest finished answer while it streams
        b->client.derniere()->terminer(QStringLiteral("{\"reponse\": \"Cinquième\"}"));
        QCOMPARE(b->fenetre.reponse()->text(), QStringLiteral("Quatrième"));
        QCOMPARE(b->fenetre.compteur()->text(), QStringLiteral("4 / 5"));
    }

    void outilsPendantLAppel()
    {
        int moments = 0, pauses = 0, reprises = 0, fins = 0, relances = 0;
        QStringList notes;
        ai::ActionsAppel actions;
        actions.relancerTranscription = [&] { ++relances; };
        actions.marquerMoment = [&] { ++moments; };
        actions.ajouterNote = [&](const QString& n) { notes << n; };
        actions.pause = [&] { ++pauses; };
        actions.reprendre = [&] { ++reprises; };
        actions.terminer = [&] { ++fins; };
        b->panneau.setActions(actions);
        b->panneau.setObjectifEtBrief(QString(), false);
        b->fenetre.boutonOutils()->click();
        QVERIFY(b->fenetre.tiroirOutils()->isVisibleTo(&b->fenetre));
        b->panneau.marquerMoment();
        QCOMPARE(moments, 1);
        b->fenetre.champNote()->setText(QStringLiteral("Rappeler le DAF"));
        QTest::keyClick(b->fenetre.champNote(), Qt::Key_Return);
        QCOMPARE(notes, QStringList{QStringLiteral("Rappeler le DAF")});
        QCOMPARE(b->fenetre.accuse()->text(), QStringLiteral("Rangée dans les notes de l'appel, avec l'heure."));

        b->fenetre.boutonPause()->click();
        QCOMPARE(pauses, 1);
        b->panneau.setEtatAppel(QStringLiteral("pause"), QStringLiteral("ouvert"));
        QCOMPARE(b->fenetre.boutonPause()->text(), QStringLiteral("Reprendre l'appel"));
        b->fenetre.boutonPause()->click();
        QCOMPARE(reprises, 1);
        b->panneau.setEtatAppel(QStringLiteral("enCours"), QStringLiteral("coupee"));
        b->fenetre.boutonRelancer()->click();
        QCOMPARE(relances, 1);
        b->panneau.setEtatAppel(QStringLiteral("enCours"), QStringLiteral("ouvert"));

        // Ending asks for confirmation; Échap or the countdown cancel it.
        b->fenetre.boutonTerminer()->click();
        QVERIFY(b->panneau.finActive());
        QVERIFY(b->fenetre.boutonTerminer()->text().startsWith(
            QStringLiteral("Cliquez pour terminer l'appel et lancer l'analyse. Échap pour annuler.")));
        QTest::keyClick(&b->fenetre, Qt::Key_Escape);
        QVERIFY(!b->panneau.finActive());
        QCOMPARE(fins, 0);
        b->fenetre.boutonTerminer()->click();
        b->horloge.avancer(5000);
        QVERIFY(!b->panneau.finActive());
        QCOMPARE(b->fenetre.boutonTerminer()->text(), QStringLiteral("Terminer l'appel"));
        b->fenetre.boutonTerminer()->click();
        b->horloge.avancer(2000);
        b->fenetre.boutonTerminer()->click();
        QCOMPARE(fins, 1);
    }

    void masqueDuranPartage()
    {
        b->fenetre.setVoulue(true);
        QVERIFY(b->fenetre.isVisible());
        b->panneau.setPartageEcran(true);
        QVERIFY(b->panneau.masqueParPartage());
        QVERIFY(!b->fenetre.isVisible());
        model::ReglagesSouffleur r;
        r.masquerPendantPartage = false;
        b->panneau.setReglages(r);
        QVERIFY(!b->panneau.masqueParPartage());
        QVERIFY(b->panneau.visible());
        QVERIFY(b->fenetre.isVisible());
        // "Masquer Quillo" hides it until the user shows it again.
        b->panneau.masquer();
        QVERIFY(!b->fenetre.isVisible());
        b->panneau.setVisible(true);
        QVERIFY(b->fenetre.isVisible());
        // The owner's wish wins: no call, no panel, whatever the panel says.
        b->fenetre.setVoulue(false);
        QVERIFY(!b->fenetre.isVisible());
        b->panneau.masquer();
        b->panneau.setVisible(true);
        QVERIFY(!b->fenetre.isVisible());
    }

    void placeParDefautEtPlaceChoisie()
    {
        b->fenetre.setVoulue(true);
        const QRect zone = b->fenetre.screen()->availableGeometry();
        // First shown at the top right of the screen, inside it.
        QVERIFY(zone.contains(b->fenetre.geometry()));
        QCOMPARE(b->fenetre.geometry().right(), zone.right() - 24);
        QCOMPARE(b->fenetre.y(), zone.top() + 24);
        // Dragged by its pill: the place is kept for the next showing.
        const QPoint avant = b->fenetre.pos();
        const QPoint depart = b->fenetre.messageEcoute()->mapTo(&b->fenetre, QPoint(4, 4));
        QTest::mousePress(&b->fenetre, Qt::LeftButton, {}, depart);
        QMouseEvent glisse(QEvent::MouseMove, QPointF(depart - QPoint(300, -100)), b->fenetre.mapToGlobal(QPointF(depart - QPoint(300, -100))),
                           Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(&b->fenetre, &glisse);
        QTest::mouseRelease(&b->fenetre, Qt::LeftButton, {}, depart - QPoint(300, -100));
        const QPoint choisie = b->fenetre.pos();
        QCOMPARE(choisie, avant + QPoint(-300, 100));
        b->fenetre.setVoulue(false);
        b->fenetre.setVoulue(true);
        QCOMPARE(b->fenetre.pos(), choisie);
    }

    void texteJamaisCoupe()
    {
        // Long objections and answers wrap and the panel grows to show them whole.
        b->fenetre.setVoulue(true);
        b->souffleur.segmentFinal(b->appel.dire(QStringLiteral("prospect"),
            QStringLiteral("On a testé un outil il y a deux ans, c'était une usine à gaz. Les techniciens ne l'ont jamais adopté, et franchement c'est trop cher pour nous."), 0, 3000));
        b->repondre(b->fenetre.boutonAssistance(),
                   QStringLiteral("Merci de le dire. Qu'est-ce qui avait bloqué avec cet outil ? Je vous montre comment nous évitons précisément ce point, en trois minutes, sur vos propres plannings."));
        QCoreApplication::processEvents();
        for (QLabel* l : b->fenetre.findChildren<QLabel*>()) {
            if (!l->isVisibleTo(&b->fenetre) || !l->wordWrap() || l->text().isEmpty())
                continue;
            QVERIFY2(l->height() >= l->heightForWidth(l->width()), qPrintable(l->objectName() + QStringLiteral(" coupé : ") + l->text()));
            QVERIFY2(b->fenetre.rect().contains(l->mapTo(&b->fenetre, l->rect().bottomRight())), qPrintable(l->objectName()));
        }
    }

    void ancreDansUnEcran()
    {
        // Docked in a screen: a plain child that follows the same panel, never a window.
        QWidget ecran;
        call::FenetreSouffleur vue(b->panneau, &ecran, call::FenetreSouffleur::Mode::ancre);
        ecran.show();
        QVERIFY(!vue.isWindow());
        QVERIFY(!vue.isVisible());   // until the owner wants it
        vue.setVoulue(true);
        QVERIFY(vue.isVisible());
        b->souffleur.segmentFinal(b->appel.dire(QStringLiteral("prospect"), QStringLiteral("Franchement, c'est trop cher pour nous."), 0, 3000));
        QVERIFY(vue.bandeauObjection()->isVisibleTo(&vue));
        QCOMPARE(vue.texteObjection()->text(), b->fenetre.texteObjection()->text());
        // Its fields take the keyboard like any field of the screen.
        QTest::mouseClick(vue.champQuestion(), Qt::LeftButton);
        QVERIFY(!vue.isWindow());
        b->panneau.masquer();
        QVERIFY(!vue.isVisible());
    }

    void themesEtUneLigne()
    {
        model::ReglagesSouffleur r;
        r.theme = QStringLiteral("clair");
        r.tailleTexte = QStringLiteral("grand");
        r.opacite = 0.8;
        b->panneau.setReglages(r);
        QVERIFY(b->fenetre.styleSheet().contains(QStringLiteral("#FFFFFF")));
        QVERIFY(b->fenetre.styleSheet().contains(QStringLiteral("font-size: 18px")));
        QCOMPARE(b->fenetre.windowOpacity(), 0.8);
        b->repondre(b->fenetre.boutonRecap(), QStringLiteral("Ligne un\\nLigne deux"));
        r.modeUneLigne = true;
        b->panneau.setReglages(r);
        QCOMPARE(b->fenetre.reponse()->text(), QStringLiteral("Ligne un"));
        QVERIFY(!b->fenetre.boutonAssistance()->isVisibleTo(&b->fenetre));
    }
};

QTEST_MAIN(TestFenetreSouffleur)
#include "tst_fenetresouffleur.moc"
