// The command line of the language-model client, run as a user would: keys
// stored with "vendalo cles", one request with "vendalo ia" against the local
// Messages server, the demonstration route, and the refusals.
#include "fakes/fauxmessages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using vd::fakes::ReponseFaux;

class TestClientIACli : public QObject {
    Q_OBJECT
    QTemporaryDir dossier_;
    vd::fakes::FauxMessages serveur_;

    struct Sortie {
        int code = -1;
        QString out, err;
    };

    Sortie lancer(const QStringList& args, const QByteArray& entree = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dossier_.path());
        env.insert("XDG_DATA_HOME", dossier_.path() + "/data");
        env.insert("XDG_CONFIG_HOME", dossier_.path() + "/config");
        env.insert("VD_COFFRE", "fichier");
        env.insert("VD_URL_ANTHROPIC", serveur_.url().toString());
        env.insert("VD_RESOURCES_DIR", QStringLiteral(VD_RESOURCES_DIR));
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VD_VENDALO_BIN), args);
        if (!p.waitForStarted(10000))
            return {};
        p.write(entree);
        p.closeWriteChannel();
        // The fake server lives in this process's event loop: wait without blocking it.
        [&] { QTRY_VERIFY_WITH_TIMEOUT(p.state() == QProcess::NotRunning, 30000); }();
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

    const QString payload = QStringLiteral("{\"demande\":\"C'est trop cher\",\"transcript\":[\"prospect: trop cher\"]}");

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dossier_.isValid());
        QVERIFY(serveur_.demarrer());
    }

    void cleEtRequeteEnStreaming()
    {
        Sortie s = lancer({"cles", "definir", "anthropic"}, "sk-cli-987\n");
        QCOMPARE(s.code, 0);
        QVERIFY(s.out.contains(QStringLiteral("Clé enregistrée.")));
        QVERIFY(!s.out.contains(QStringLiteral("sk-cli-987")));

        serveur_.ajouter(ReponseFaux::flux({"{\"reponse\":\"Com", "parons le co", "ût.\"}"}));
        s = lancer({"ia", "objection", payload});
        QVERIFY2(s.code == 0, qPrintable(s.err));
        QCOMPARE(s.out, QStringLiteral("{\"reponse\":\"Comparons le coût.\"}\n"));
        QVERIFY(s.err.contains(QStringLiteral("\"reponse\"")));   // partial values streamed on stderr
        QCOMPARE(serveur_.requetes().last().entetes.value("x-api-key"), QByteArray("sk-cli-987"));
        QCOMPARE(serveur_.requetes().last().chemin, QByteArray("/v1/messages"));

        serveur_.ajouter(ReponseFaux::erreur(401, QStringLiteral("invalid x-api-key")));
        s = lancer({"ia", "objection", payload, "--modele", "claude-haiku-4-5"});
        QCOMPARE(s.code, 1);
        QCOMPARE(s.err.trimmed(), QStringLiteral("Votre clé est refusée. Vérifiez-la dans Réglages."));

        s = lancer({"cles", "effacer", "anthropic"});
        QCOMPARE(s.code, 0);
    }

    void demonstrationSeulementSiDemandee()
    {
        lancer({"cles", "effacer", "anthropic"});
        const int avant = int(serveur_.requetes().size());
        Sortie demo = lancer({"ia", "--demo", "objection", payload});
        QVERIFY2(demo.code == 0, qPrintable(demo.err));
        QVERIFY(!demo.out.trimmed().isEmpty());
        Sortie reel = lancer({"ia", "objection", payload});
        QCOMPARE(reel.code, 1);
        QCOMPARE(reel.err.trimmed(),
                 QStringLiteral("Quillo n'est pas disponible : ajoutez votre clé dans Réglages ou connectez-vous à votre compte."));
        QVERIFY(reel.out.isEmpty());
        QCOMPARE(int(serveur_.requetes().size()), avant);
    }

    // The relay address typed in the settings (without scheme handling here:
    // the local relay is plain http) routes the request through the relay.
    void relaisDesReglages()
    {
        lancer({"cles", "effacer", "anthropic"});
        QDir().mkpath(dossier_.path() + "/data/Vendalo");
        QFile etat(dossier_.path() + "/data/Vendalo/etat.json");
        QVERIFY(etat.open(QIODevice::WriteOnly));
        etat.write("{\"reglages\":{\"relais\":\"" + serveur_.url().toString().toUtf8() + "/api/\"}}");
        etat.close();
        serveur_.ajouter(ReponseFaux::flux({"{\"reponse\":\"Par le relais\"}"}));
        const Sortie s = lancer({"ia", "objection", payload});
        QFile::remove(etat.fileName());
        QVERIFY2(s.code == 0, qPrintable(s.err));
        QCOMPARE(s.out.trimmed(), QStringLiteral("{\"reponse\":\"Par le relais\"}"));
        QCOMPARE(serveur_.requetes().last().chemin, QByteArray("/api/v1/messages"));
        QCOMPARE(serveur_.requetes().last().json().value("model").toString(), QStringLiteral("claude-haiku-4-5"));
    }

    void refus()
    {
        const QList<std::pair<QStringList, QString>> cas{{{"ia", "objection", "{pas du json"}, "Le payload n'est pas un JSON valide"},
                                                         {{"cles", "definir", "openai"}, "Clé inconnue : « openai »."},
                                                         {{"ia", "objection"}, "Utilisation : vendalo ia"}};
        for (const auto& [args, debut] : cas) {
            const Sortie s = lancer(args);
            QCOMPARE(s.code, 2);
            QVERIFY2(s.err.startsWith(debut), qPrintable(s.err));
        }
    }

    void valeurVideRefusee()
    {
        const Sortie s = lancer({"cles", "definir", "soniox"}, "  \n");
        QCOMPARE(s.code, 1);
        QCOMPARE(s.err.trimmed(), QStringLiteral("Aucune valeur reçue sur l'entrée standard : la clé n'a pas été changée."));
    }
};

QTEST_GUILESS_MAIN(TestClientIACli)
#include "tst_clientia_cli.moc"
