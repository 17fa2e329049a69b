#include "app/instanceunique.h"

#include <QLocalSocket>
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

    void lienLongTransmisOuRefuseEntier_data()
    {
        QTest::addColumn<int>("taille");
        QTest::addColumn<bool>("recu");
        QTest::newRow("20 Ko (jetons de connexion)") << 20 * 1024 << true;
        QTest::newRow("64 Ko tout juste") << int(InstanceUnique::limiteLien) << true;
        QTest::newRow("64 Ko et un octet") << int(InstanceUnique::limiteLien) + 1 << false;
        QTest::newRow("200 Ko") << 200 * 1024 << false;
    }
    void lienLongTransmisOuRefuseEntier()
    {
        QFETCH(int, taille);
        QFETCH(bool, recu);
        QTemporaryDir dossier;
        InstanceUnique principale(dossier.path());
        QCOMPARE(principale.acquerir(QString()), InstanceUnique::Issue::proprietaire);
        QSignalSpy messages(&principale, &InstanceUnique::messageRecu);
        const QByteArray debut("vendalo2://auth-callback#access_token=");
        const QByteArray lien = debut + QByteArray(taille - debut.size(), 'a');
        QLocalSocket s;
        s.connectToServer(principale.nomServeur());
        QVERIFY(s.waitForConnected(2000));
        s.write(lien + '\n');
        QTRY_VERIFY_WITH_TIMEOUT(s.canReadLine(), 5000);
        QCOMPARE(s.readLine().trimmed(), recu ? QByteArray("ok") : QByteArray("refuse"));
        QTest::qWait(50);
        if (recu) {
            QCOMPARE(messages.count(), 1);
            QCOMPARE(messages.at(0).at(0).toString().size(), taille);   // whole, never cut
        } else {
            QCOMPARE(messages.count(), 0);
        }
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
