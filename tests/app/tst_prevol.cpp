#include "app/prevol.h"
#include "platform/formulation.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

Q_DECLARE_METATYPE(std::optional<QString>)

using namespace vd::app;
using A = AutorisationsPreVol;

class TestPreVol : public QObject {
    Q_OBJECT
private slots:
    // What the sheet lists (in the words of the system it runs on) for each state: lines "icon · title · text", buttons "label → action", then the flags.
    void construire_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("micro");
        QTest::addColumn<int>("ecran");
        QTest::addColumn<bool>("video");
        QTest::addColumn<std::optional<QString>>("bloquant");
        QTest::addColumn<QStringList>("attendu");
        using vd::platform::formuler;
        const QString reglages = formuler("Ouvrir Réglages Système");
        const QString enregistrement = "autorisez Vendalo dans Confidentialité et sécurité, Enregistrement de l'écran et de l'audio du système.";
        QTest::newRow("démo") << "demo" << int(StatutMicro::refuse) << int(EtatEcran::manquant) << true << std::optional<QString>("Erreur")
                              << QStringList{};
        QTest::newRow("tout autorisé") << "micro+mac" << int(StatutMicro::autorise) << int(EtatEcran::autorise) << false
                                       << std::optional<QString>() << QStringList{};
        QTest::newRow("micro refusé, écran manquant")
            << "micro+mac" << int(StatutMicro::refuse) << int(EtatEcran::manquant) << false << std::optional<QString>("x")
            << QStringList{"mic.slash · Micro · Refusé. Autorisez Vendalo dans Confidentialité et sécurité, Micro.",
                           "rectangle.dashed.badge.record · " + formuler("Son du Mac") + " · Pour entendre le prospect, " + enregistrement,
                           "Ouvrir les réglages du micro → 0 Privacy_Microphone",
                           "Ouvrir les réglages de l'écran → 0 Privacy_ScreenCapture"};   // lines explain the failure: not blocking
        QTest::newRow("écran manquant seul : un bouton renommé")
            << "micro+mac" << int(StatutMicro::autorise) << int(EtatEcran::manquant) << false << std::optional<QString>()
            << QStringList{"rectangle.dashed.badge.record · " + formuler("Son du Mac") + " · Pour entendre le prospect, " + enregistrement,
                           reglages + " → 0 Privacy_ScreenCapture"};
        QTest::newRow("écran manquant avec vidéo")
            << "micro+mac" << int(StatutMicro::autorise) << int(EtatEcran::manquant) << true << std::optional<QString>()
            << QStringList{"rectangle.dashed.badge.record · " + formuler("Son du Mac et vidéo") +
                               " · Pour entendre le prospect et filmer l'écran, " + enregistrement,
                           reglages + " → 0 Privacy_ScreenCapture"};
        QTest::newRow("écran à relancer")
            << "micro+mac" << int(StatutMicro::autorise) << int(EtatEcran::aRelancer) << false << std::optional<QString>()
            << QStringList{"arrow.clockwise · " + formuler("Son du Mac") + " · " +
                               formuler("Accès accordé. Relancez Vendalo pour que macOS le prenne en compte."),
                           "Relancer Vendalo → 2 ", "relancer"};   // not a settings pane: keeps its label
        QTest::newRow("micro non déterminé")
            << "micro+mac" << int(StatutMicro::nonDetermine) << int(EtatEcran::autorise) << false << std::optional<QString>()
            << QStringList{"micro · Micro · " + formuler("À autoriser pour transcrire votre voix. macOS vous le demande en un clic."),
                           "Autoriser le micro → 1 "};
        QTest::newRow("micro restreint seul : renommé")
            << "micro+mac" << int(StatutMicro::restreint) << int(EtatEcran::autorise) << false << std::optional<QString>()
            << QStringList{"mic.slash · Micro · Refusé. Autorisez Vendalo dans Confidentialité et sécurité, Micro.",
                           reglages + " → 0 Privacy_Microphone"};
        QTest::newRow("bloquant sans ligne") << "micro+mac" << int(StatutMicro::autorise) << int(EtatEcran::autorise) << false
                                             << std::optional<QString>("Aucun micro n'est branché.")
                                             << QStringList{"bloquant : Aucun micro n'est branché."};
        QTest::newRow("bloquant vide") << "micro+mac" << int(StatutMicro::autorise) << int(EtatEcran::autorise) << false
                                       << std::optional<QString>(QString()) << QStringList{};
    }
    void construire()
    {
        QFETCH(QString, source);
        QFETCH(int, micro);
        QFETCH(int, ecran);
        QFETCH(bool, video);
        QFETCH(std::optional<QString>, bloquant);
        QFETCH(QStringList, attendu);
        const A a = A::construire(source, StatutMicro(micro), EtatEcran(ecran), video, bloquant);
        QStringList vu;
        for (const A::Ligne& l : a.lignes)
            vu << l.icone + " · " + l.titre + " · " + vd::platform::formuler(l.texte);
        for (const A::Bouton& b : a.boutons)
            vu << b.libelle + " → " + QString::number(int(b.action.genre)) + " " + b.action.panneau;
        if (a.relancer)
            vu << "relancer";
        if (a.bloquant)
            vu << "bloquant : " + *a.bloquant;
        QCOMPARE(vu, attendu);
    }

    void libellesCourts()
    {
        using vd::platform::formuler;
        QCOMPARE((QStringList{libelleCourtMicro(StatutMicro::nonDetermine), libelleCourtMicro(StatutMicro::refuse), libelleCourtMicro(StatutMicro::autorise),
                              libelleCourtEcran(EtatEcran::manquant), libelleCourtEcran(EtatEcran::aRelancer), libelleCourtEcran(EtatEcran::autorise)}),
                 (QStringList{"Micro à autoriser", "Micro à autoriser", "", formuler("Son du Mac à autoriser"), formuler("Son du Mac : relancez l'app"),
                              formuler("Son du Mac autorisé")}));
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
