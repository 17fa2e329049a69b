// A logout, a shutdown or Ctrl+C during « vendalo simuler »: the call is stopped and saved with
// its transcript, never left "en_cours", and the command says so.
// vd-test: timeout=120
#include "environnementvendalo.h"

#include <csignal>

class TstCliSignaux : public QObject {
    Q_OBJECT

    // The call of this run as saved on disk, once it holds some transcript.
    static QJsonObject appelEnCours(const QTemporaryDir& dossier)
    {
        for (const QJsonValue& v : etatSurDisque(dossier).value(QStringLiteral("appels")).toArray()) {
            const QJsonObject a = v.toObject();
            if (a.value(QStringLiteral("statut")).toString() == QLatin1String("en_cours") &&
                !a.value(QStringLiteral("transcript")).toArray().isEmpty())
                return a;
        }
        return {};
    }

private Q_SLOTS:
    void signalPendantLAppel_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalPendantLAppel()
    {
        QFETCH(int, signal);
        QTemporaryDir dossier;
        QProcess p;
        p.setProcessEnvironment(environnementVendalo(dossier));
        p.start(QStringLiteral(VD_VENDALO_BIN), {QStringLiteral("simuler"), QStringLiteral("--vitesse"), QStringLiteral("4")});
        p.closeWriteChannel();
        QVERIFY(p.waitForStarted());
        // Wait for the call's first checkpoint on disk (it saves within 2 s of a final).
        QJsonObject enCours;
        QElapsedTimer t;
        t.start();
        while (enCours.isEmpty() && t.elapsed() < 60000 && p.state() == QProcess::Running) {
            p.waitForFinished(200);
            enCours = appelEnCours(dossier);
        }
        QVERIFY2(!enCours.isEmpty(), "aucun appel en cours sur le disque");
        const QString id = enCours.value(QStringLiteral("id")).toString();
        QVERIFY(::kill(pid_t(p.processId()), signal) == 0);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        const QString erreurs = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(erreurs.contains(QStringLiteral("Appel simulé interrompu : l'appel est arrêté et enregistré.")), qPrintable(erreurs));

        const QJsonObject appel = parChamp(etatSurDisque(dossier).value(QStringLiteral("appels")), id).value(0);
        QVERIFY(!appel.isEmpty());
        QVERIFY(appel.value(QStringLiteral("statut")).toString() != QLatin1String("en_cours"));
        QVERIFY(appel.value(QStringLiteral("transcript")).toArray().size() >= enCours.value(QStringLiteral("transcript")).toArray().size());
        QVERIFY(appel.value(QStringLiteral("duree")).toDouble() > 0);
    }
};

QTEST_GUILESS_MAIN(TstCliSignaux)
#include "tst_cli_signaux.moc"
