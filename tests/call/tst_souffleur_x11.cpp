// vd-test: x11
// The prompter on a real X server: it shows above another window without taking
// the keyboard from it, and looks right on screen.
#include "ai/demonstration.h"
#include "ai/panneausouffleur.h"
#include "call/ecrans/fenetresouffleur.h"
#include "fakes/appelfactice.h"
#include "fakes/clientiascripte.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace vd;

class TestSouffleurX11 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void neVolePasLeFocus()
    {
        ai::Moteur moteur(QStringLiteral(VD_SOURCE_DIR "/tests/ai/moteur_factice.js"));
        QVERIFY(!moteur.charger());
        fakes::ClientIAScripte client;
        fakes::AppelFactice appel;
        ai::Souffleur souffleur(moteur, client);
        souffleur.setAppel(&appel);
        ai::PanneauSouffleur panneau(souffleur);
        panneau.setEtatAppel(QStringLiteral("enCours"), QStringLiteral("ouvert"));
        call::FenetreSouffleur fenetre(panneau);

        // The calling tool: an ordinary window where the user types.
        QWidget outil;
        outil.setWindowTitle(QStringLiteral("Outil d'appel"));
        auto* saisie = new QLineEdit(&outil);
        outil.resize(900, 600);
        outil.move(40, 40);
        outil.show();
        outil.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&outil));
        saisie->setFocus();

        souffleur.segmentFinal(appel.dire(QStringLiteral("prospect"), QStringLiteral("Franchement, c'est trop cher pour nous."), 0, 3000));
        fenetre.boutonAssistance()->click();
        client.derniere()->envoyerPartiel(QJsonObject{{"reponse", "Je comprends. Trop cher par rapport à quoi, exactement ?"}});
        fenetre.setVoulue(true);
        fenetre.move(520, 80);
        QVERIFY(QTest::qWaitForWindowExposed(&fenetre));
        QTest::qWait(200);   // let the window manager settle (real display)
        QCOMPARE(QApplication::activeWindow(), &outil);
        QCOMPARE(QApplication::focusWidget(), saisie);
        QTest::keyClicks(saisie, QStringLiteral("ok"));
        QCOMPARE(saisie->text(), QStringLiteral("ok"));

        const QString dossier = qEnvironmentVariable("VD_CAPTURES", QDir::tempPath());
        const QPixmap ecran = fenetre.screen()->grabWindow(0, 0, 0, 1000, 700);
        QVERIFY(!ecran.isNull());
        QVERIFY(ecran.save(dossier + QStringLiteral("/souffleur-x11.png")));
    }

    // The current step of the framework with its questions, and the grid ticked as the prospect speaks.
    void etapeEtGrille()
    {
        ai::Moteur moteur(QStringLiteral(VD_RESOURCES_DIR "/moteur.js"));
        QVERIFY(!moteur.charger());
        const std::optional<model::Etat> etat = ai::etatDemonstration(moteur);
        QVERIFY(etat);
        fakes::ClientIAScripte client;
        fakes::AppelFactice appel;
        appel.config.insert(QStringLiteral("contactId"), QStringLiteral("c_morel"));
        ai::Souffleur souffleur(moteur, client);
        souffleur.setAppel(&appel);
        souffleur.setSourceEtat([&] { return *etat; });
        ai::PanneauSouffleur panneau(souffleur);
        panneau.setEtatAppel(QStringLiteral("enCours"), QStringLiteral("ouvert"));
        souffleur.preparerContexte();
        QTRY_VERIFY(!souffleur.contexte().isNull());
        QList<QPair<QString, QString>> items;
        for (const QJsonValue& v : souffleur.contexte().toObject().value(QLatin1String("grille")).toObject().value(QLatin1String("items")).toArray())
            items.append({v.toObject().value(QLatin1String("id")).toString(), v.toObject().value(QLatin1String("nom")).toString()});
        panneau.setGrille(items);
        souffleur.segmentFinal(appel.dire(QStringLiteral("vous"), QStringLiteral("Comment ça se passe aujourd'hui, concrètement, de votre côté ?"), 0, 3000));
        souffleur.segmentFinal(appel.dire(QStringLiteral("prospect"), QStringLiteral("On a une enveloppe d'environ 15 000 euros par an."), 3500, 7000));
        QCOMPARE(panneau.titreEtape(), QStringLiteral("Étape 1 / 1 : Découverte"));
        call::FenetreSouffleur fenetre(panneau);
        fenetre.setVoulue(true);
        fenetre.move(40, 40);
        QVERIFY(QTest::qWaitForWindowExposed(&fenetre));
        const QString dossier = qEnvironmentVariable("VD_CAPTURES", QDir::tempPath());
        QVERIFY(fenetre.grab().save(dossier + QStringLiteral("/souffleur-etape-x11.png")));
    }
};

QTEST_MAIN(TestSouffleurX11)
#include "tst_souffleur_x11.moc"
