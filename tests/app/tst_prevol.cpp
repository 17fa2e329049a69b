#include "app/prevol.h"
#include "platform/formulation.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

using namespace vd::app;
using A = AutorisationsPreVol;

class TestPreVol : public QObject {
    Q_OBJECT
private slots:
    void motsDuSystemeCourant()
    {
        // On Linux the sheet never names the Mac.
        if (vd::platform::systemeCourant() != vd::platform::Systeme::gnuLinux)
            QSKIP("Linux seulement");
        const auto a = AutorisationsPreVol::construire(QStringLiteral("micro+mac"), StatutMicro::autorise, EtatEcran::manquant, false, std::nullopt);
        QCOMPARE(a.lignes[0].titre, QStringLiteral("Son de l'ordinateur"));
        QCOMPARE(a.boutons[0].libelle, QStringLiteral("Ouvrir les paramètres du système"));
        QCOMPARE(libelleCourtEcran(EtatEcran::aRelancer), QStringLiteral("Son de l'ordinateur : relancez l'app"));
    }

    void demoNeDemandeRien()
    {
        const A a = A::construire(QStringLiteral("demo"), StatutMicro::refuse, EtatEcran::manquant, true, QStringLiteral("Erreur"));
        QVERIFY(a.lignes.isEmpty());
        QVERIFY(a.boutons.isEmpty());
        QVERIFY(!a.relancer);
        QVERIFY(!a.bloquant);
    }

    void toutAutorise()
    {
        const A a = A::construire(QStringLiteral("micro+mac"), StatutMicro::autorise, EtatEcran::autorise, false, std::nullopt);
        QVERIFY(a.lignes.isEmpty());
        QVERIFY(a.boutons.isEmpty());
        QVERIFY(!a.bloquant);
    }

    void microRefuseEtEcranManquant()
    {
        const A a = A::construire(QStringLiteral("micro+mac"), StatutMicro::refuse, EtatEcran::manquant, false, QStringLiteral("x"));
        QCOMPARE(a.lignes.size(), 2);
        QCOMPARE(a.lignes[0].icone, QStringLiteral("mic.slash"));
        QCOMPARE(a.lignes[0].titre, QStringLiteral("Micro"));
        QCOMPARE(a.lignes[0].texte, QStringLiteral("Refusé. Autorisez Vendalo dans Confidentialité et sécurité, Micro."));
        QCOMPARE(a.lignes[1].icone, QStringLiteral("rectangle.dashed.badge.record"));
        QCOMPARE(a.lignes[1].titre, vd::platform::formuler(QStringLiteral("Son du Mac")));
        QCOMPARE(a.boutons.size(), 2);
        QCOMPARE(a.boutons[0].libelle, QStringLiteral("Ouvrir les réglages du micro"));
        QCOMPARE(a.boutons[0].action, (A::Action{A::Action::Genre::ouvrir, QStringLiteral("Privacy_Microphone")}));
        QCOMPARE(a.boutons[1].libelle, QStringLiteral("Ouvrir les réglages de l'écran"));
        QCOMPARE(a.boutons[1].action, (A::Action{A::Action::Genre::ouvrir, QStringLiteral("Privacy_ScreenCapture")}));
        QVERIFY(!a.bloquant);   // lines explain the failure
    }

    void seulEcranManquantUnBoutonRenomme()
    {
        const A a = A::construire(QStringLiteral("micro+mac"), StatutMicro::autorise, EtatEcran::manquant, false, std::nullopt);
        QCOMPARE(a.lignes.size(), 1);
        QCOMPARE(a.lignes[0].texte, QStringLiteral("Pour entendre le prospect, autorisez Vendalo dans Confidentialité et sécurité, "
                                                   "Enregistrement de l'écran et de l'audio du système."));
        QCOMPARE(a.boutons.size(), 1);
        QCOMPARE(a.boutons[0].libelle, vd::platform::formuler(QStringLiteral("Ouvrir Réglages Système")));
    }

    void ecranManquantAvecVideo()
    {
        const A a = A::construire(QStringLiteral("micro+mac"), StatutMicro::autorise, EtatEcran::manquant, true, std::nullopt);
        QCOMPARE(a.lignes[0].titre, vd::platform::formuler(QStringLiteral("Son du Mac et vidéo")));
        QCOMPARE(a.lignes[0].texte, QStringLiteral("Pour entendre le prospect et filmer l'écran, autorisez Vendalo dans Confidentialité et "
                                                   "sécurité, Enregistrement de l'écran et de l'audio du système."));
    }

    void ecranARelancer()
    {
        const A a = A::construire(QStringLiteral("micro+mac"), StatutMicro::autorise, EtatEcran::aRelancer, false, std::nullopt);
        QCOMPARE(a.lignes.size(), 1);
        QCOMPARE(a.lignes[0].icone, QStringLiteral("arrow.clockwise"));
        QCOMPARE(a.lignes[0].texte, vd::platform::formuler(QStringLiteral("Accès accordé. Relancez Vendalo pour que macOS le prenne en compte.")));
        QCOMPARE(a.boutons.size(), 1);
        QCOMPARE(a.boutons[0].libelle, QStringLiteral("Relancer Vendalo"));   // not a settings pane: keeps its label
        QCOMPARE(a.boutons[0].action.genre, A::Action::Genre::relancer);
        QVERIFY(a.relancer);
    }

    void microNonDetermine()
    {
        const A a = A::construire(QStringLiteral("micro+mac"), StatutMicro::nonDetermine, EtatEcran::autorise, false, std::nullopt);
        QCOMPARE(a.lignes.size(), 1);
        QCOMPARE(a.lignes[0].texte, vd::platform::formuler(QStringLiteral("À autoriser pour transcrire votre voix. macOS vous le demande en un clic.")));
        QCOMPARE(a.boutons[0].libelle, QStringLiteral("Autoriser le micro"));
        QCOMPARE(a.boutons[0].action.genre, A::Action::Genre::demanderMicro);
    }

    void microRestreintSeulRenomme()
    {
        const A a = A::construire(QStringLiteral("micro+mac"), StatutMicro::restreint, EtatEcran::autorise, false, std::nullopt);
        QCOMPARE(a.boutons.size(), 1);
        QCOMPARE(a.boutons[0].libelle, vd::platform::formuler(QStringLiteral("Ouvrir Réglages Système")));
    }

    void bloquantSansLigne()
    {
        const A a = A::construire(QStringLiteral("micro+mac"), StatutMicro::autorise, EtatEcran::autorise, false,
                                  QStringLiteral("Aucun micro n'est branché."));
        QCOMPARE(a.bloquant.value_or(QString()), QStringLiteral("Aucun micro n'est branché."));
        const A vide = A::construire(QStringLiteral("micro+mac"), StatutMicro::autorise, EtatEcran::autorise, false, QString());
        QVERIFY(!vide.bloquant);
    }

    void libellesCourts()
    {
        QCOMPARE(libelleCourtMicro(StatutMicro::nonDetermine), QStringLiteral("Micro à autoriser"));
        QCOMPARE(libelleCourtMicro(StatutMicro::refuse), QStringLiteral("Micro à autoriser"));
        QCOMPARE(libelleCourtMicro(StatutMicro::autorise), QString());
        QCOMPARE(libelleCourtEcran(EtatEcran::manquant), vd::platform::formuler(QStringLiteral("Son du Mac à autoriser")));
        QCOMPARE(libelleCourtEcran(EtatEcran::aRelancer), vd::platform::formuler(QStringLiteral("Son du Mac : relancez l'app")));
        QCOMPARE(libelleCourtEcran(EtatEcran::autorise), vd::platform::formuler(QStringLiteral("Son du Mac autorisé")));
    }

    void texteDemo()
    {
        QCOMPARE(TextesPreVol::demo(QStringLiteral("Claire"), true),
                 QStringLiteral("L'appel simulé rejoue une conversation de démo, avec le prénom de Claire. Il sera rangé dans sa fiche."));
        QVERIFY(TextesPreVol::demo(QStringLiteral("Claire"), false).startsWith(
            QStringLiteral("L'appel simulé rejoue une conversation de démo, avec le prénom de ")));
    }

    void demarrageErreurMontreeUneFois()
    {
        DemarrageAppel d;
        d.commencer();
        QVERIFY(d.enCours());
        d.echouer(QString());
        QVERIFY(!d.enCours());
        QCOMPARE(d.erreur().value_or(QString()), QStringLiteral("L'appel n'a pas pu démarrer. Réessayez."));
        QCOMPARE(d.erreurAMontrer().value_or(QString()), QStringLiteral("L'appel n'a pas pu démarrer. Réessayez."));
        d.erreurVue();
        QVERIFY(!d.erreurAMontrer());
        // The same failure again is a new start: shown again.
        d.commencer();
        d.echouer(QStringLiteral("Le micro est indisponible."));
        QCOMPARE(d.erreurAMontrer().value_or(QString()), QStringLiteral("Le micro est indisponible."));
        d.commencer();
        QVERIFY(!d.erreur());
    }

    void scriptRelanceAttendPuisRelance()
    {
        // A process that ends at once: the script starts the "app" ($0) right after.
        QProcess vieux;
        vieux.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("sleep 0.3")});
        QVERIFY(vieux.waitForStarted());
        QProcess sh;
        sh.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), scriptRelance(vieux.processId(), 50), QStringLiteral("/bin/echo"),
                                             QStringLiteral("relancé")});
        QVERIFY(vieux.waitForFinished(5000));
        QVERIFY(sh.waitForFinished(15000));
        QCOMPARE(sh.exitCode(), 0);
        QCOMPARE(sh.readAllStandardOutput().trimmed(), QByteArray("relancé"));
    }

    void scriptRelanceAbandonneSiLAncienNeSeTerminePas()
    {
        // Our own pid never ends while the script runs: it gives up after its polls.
        QProcess sh;
        sh.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), scriptRelance(QCoreApplication::applicationPid(), 3),
                                             QStringLiteral("/bin/echo"), QStringLiteral("relancé")});
        QVERIFY(sh.waitForFinished(15000));
        QCOMPARE(sh.exitCode(), 1);
        QVERIFY(sh.readAllStandardOutput().isEmpty());
        // The production script polls 150 times every 0.2 s: about 30 s.
        QVERIFY(scriptRelance(42).contains(QStringLiteral("-ge 150")));
        QVERIFY(scriptRelance(42).contains(QStringLiteral("kill -0 42")));
        QVERIFY(scriptRelance(42).contains(QStringLiteral("sleep 0.2")));
    }
};

QTEST_GUILESS_MAIN(TestPreVol)
#include "tst_prevol.moc"
