#include "app/instanceunique.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vd::app;

class TestLiens : public QObject {
    Q_OBJECT
private slots:
    void routage_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("attendu");
        QTest::newRow("agenda") << "vendalo2://agenda" << int(DestinationLien::agenda);
        QTest::newRow("agenda en majuscules") << "VENDALO2://AGENDA?ok=1" << int(DestinationLien::agenda);
        QTest::newRow("schéma en casse mixte") << "Vendalo2://Agenda" << int(DestinationLien::agenda);
        QTest::newRow("retour de connexion") << "vendalo2://auth-callback#access_token=x" << int(DestinationLien::compte);
        QTest::newRow("autre hôte") << "vendalo2://inconnu" << int(DestinationLien::compte);
        QTest::newRow("autre schéma") << "https://agenda" << int(DestinationLien::ignore);
        QTest::newRow("schéma voisin") << "vendalo://agenda" << int(DestinationLien::ignore);
        QTest::newRow("vide") << "" << int(DestinationLien::ignore);
    }
    void routage()
    {
        QFETCH(QString, url);
        QFETCH(int, attendu);
        QCOMPARE(int(routerLien(QUrl(url))), attendu);
    }

    void secondeInstanceTransmetSonLien()
    {
        QTemporaryDir dossier;
        InstanceUnique premiere(dossier.path());
        QCOMPARE(premiere.acquerir(QString()), InstanceUnique::Issue::proprietaire);
        QSignalSpy recu(&premiere, &InstanceUnique::messageRecu);
        // The second instance is another process (the lock is per process).
        QProcess seconde;
        seconde.setProgram(QStringLiteral(VD_VENDALO_BIN));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), QFileInfo(dossier.path()).absolutePath());
        seconde.setArguments({QStringLiteral("vendalo2://agenda")});
        // The data folder of the app is XDG_DATA_HOME/Vendalo: aim it at ours.
        QTemporaryDir donnees;
        env.insert(QStringLiteral("XDG_DATA_HOME"), donnees.path());
        seconde.setProcessEnvironment(env);
        InstanceUnique principale(donnees.path() + QStringLiteral("/Vendalo"));
        QCOMPARE(principale.acquerir(QString()), InstanceUnique::Issue::proprietaire);
        QSignalSpy recuPrincipale(&principale, &InstanceUnique::messageRecu);
        seconde.start();
        QVERIFY(seconde.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(recuPrincipale.count(), 1, 20000);
        QCOMPARE(recuPrincipale.at(0).at(0).toString(), QStringLiteral("vendalo2://agenda"));
        // waitForFinished() is false for a process that already ended: only wait while it runs.
        if (seconde.state() != QProcess::NotRunning)
            QVERIFY(seconde.waitForFinished(20000));
        QCOMPARE(seconde.exitStatus(), QProcess::NormalExit);
        QCOMPARE(seconde.exitCode(), 0);
        QCOMPARE(recu.count(), 0);
    }

    void verrouPrisAvantToutDansLeMemeDossier()
    {
        QTemporaryDir dossier;
        InstanceUnique a(dossier.path());
        QCOMPARE(a.acquerir(QString()), InstanceUnique::Issue::proprietaire);
        QVERIFY(QFile::exists(dossier.filePath(QStringLiteral(".vendalo.verrou"))));
    }
};

QTEST_MAIN(TestLiens)
#include "tst_liens.moc"
