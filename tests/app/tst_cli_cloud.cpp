// "vendalo cloud …" run as a separate process against the local backend
// emulator: sign-in kept between runs, procedure call, sign-out, French errors.
// vd-test: timeout=120
#include "fakes/fauxsupabase.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using vd::fakes::FauxSupabase;
using vd::fakes::ReponseHttpFactice;

class TestCliCloud : public QObject {
    Q_OBJECT

    struct Sortie {
        int code = -1;
        QJsonObject json;
        QByteArray brut;
        QString erreur;
    };

    // Waits on the event loop (the emulator answers from this process).
    Sortie lancer(const QStringList& args, const QByteArray& entree = {}, bool configure = true)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), dossier.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dossier.path() + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dossier.path() + QStringLiteral("/data"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + dossier.path() + QStringLiteral("/pas-de-bus"));
        if (configure) {
            env.insert(QStringLiteral("VD_URL_SUPABASE"), serveur.url().toString() + QStringLiteral("/"));
            env.insert(QStringLiteral("VD_CLE_PUBLIQUE_SUPABASE"), serveur.cleAnon());
        } else {
            env.remove(QStringLiteral("VD_URL_SUPABASE"));
        }
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VD_VENDALO_BIN), QStringList{QStringLiteral("cloud")} + args);
        if (!p.waitForStarted(10'000))
            return {};
        p.write(entree);
        p.closeWriteChannel();
        QElapsedTimer t;
        t.start();
        while (p.state() != QProcess::NotRunning && t.elapsed() < 60'000)
            QTest::qWait(20);
        Sortie s;
        s.code = p.exitCode();
        s.brut = p.readAllStandardOutput();
        s.json = QJsonDocument::fromJson(s.brut).object();
        // The message is the last line (log lines may come before it).
        s.erreur = QString::fromUtf8(p.readAllStandardError()).trimmed().split(QLatin1Char('\n')).last();
        return s;
    }

    QTemporaryDir dossier;
    FauxSupabase serveur;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dossier.isValid());
        QVERIFY(serveur.demarrer());
        serveur.ajouterUtilisateur(QStringLiteral("lea@exemple.fr"), QStringLiteral(" mot de passe "));
        serveur.surProcedure(QStringLiteral("bonjour"), [](const vd::fakes::RequeteHttp& r) {
            return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("salut"), r.json().toObject().value(QStringLiteral("p_nom"))}});
        });
    }

    void init()
    {
        serveur.surFonction(QStringLiteral("claude"), [](const vd::fakes::RequeteHttp&) {
            return ReponseHttpFactice::flux({"data: {\"a\":1}\r\n\r\ndata: {\"b\"", ":2}\n\n"}, 20);
        });
    }

    void parcours()
    {
        Sortie s = lancer({QStringLiteral("etat")}, {}, false);
        QCOMPARE(s.code, 0);
        QCOMPARE(s.json.value(QStringLiteral("actif")).toBool(), false);

        s = lancer({QStringLiteral("connecter"), QStringLiteral("lea@exemple.fr")}, "faux\n");
        QCOMPARE(s.code, 1);
        QCOMPARE(s.erreur, QStringLiteral("Email ou mot de passe incorrect."));

        // Spaces inside the password line are kept.
        s = lancer({QStringLiteral("connecter"), QStringLiteral("lea@exemple.fr")}, " mot de passe \n");
        QCOMPARE(s.code, 0);
        QCOMPARE(s.json.value(QStringLiteral("connecte")).toBool(), true);
        QCOMPARE(s.json.value(QStringLiteral("adresse")).toString(), serveur.url().toString());

        // A new run finds the session again and signs its calls with it.
        s = lancer({QStringLiteral("procedure"), QStringLiteral("bonjour"), QStringLiteral(R"({"p_nom":"Léa"})")});
        QCOMPARE(s.code, 0);
        QCOMPARE(s.json.value(QStringLiteral("salut")).toString(), QStringLiteral("Léa"));
        const QByteArray jeton = serveur.requetes(QStringLiteral("/rest/v1/rpc/bonjour")).value(0).entete("authorization");
        QVERIFY(!serveur.utilisateurDuJeton(QString::fromUtf8(jeton.mid(7))).isEmpty());

        s = lancer({QStringLiteral("procedure"), QStringLiteral("inconnue")});
        QCOMPARE(s.code, 1);
        QCOMPARE(s.erreur, QStringLiteral("Une erreur est survenue. Réessayez dans un instant."));

        // A streamed function prints its lines as they come.
        s = lancer({QStringLiteral("flux"), QStringLiteral("claude"), QStringLiteral(R"({"tache":"libre"})")});
        QCOMPARE(s.code, 0);
        QCOMPARE(s.brut, QByteArray("data: {\"a\":1}\n\ndata: {\"b\":2}\n\n"));

        s = lancer({QStringLiteral("deconnecter")});
        QCOMPARE(s.code, 0);
        QCOMPARE(s.json.value(QStringLiteral("connecte")).toBool(), false);
        QCOMPARE(serveur.nombre("POST", QStringLiteral("/auth/v1/logout")), 1);
        s = lancer({QStringLiteral("etat")});
        QCOMPARE(s.json.value(QStringLiteral("connecte")).toBool(), false);
    }
};

QTEST_GUILESS_MAIN(TestCliCloud)
#include "tst_cli_cloud.moc"
