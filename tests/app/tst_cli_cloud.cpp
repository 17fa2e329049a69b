// "vendalo cloud …" run as a separate process against the local backend
// emulator: sign-in kept between runs, procedure call, sign-out, French errors.
// vd-test: timeout=120
#include "environnementvendalo.h"
#include "fakes/fauxsupabase.h"

using vd::fakes::FauxSupabase;
using vd::fakes::ReponseHttpFactice;

class TestCliCloud : public QObject {
    Q_OBJECT

    // Waits on the event loop (the emulator answers from this process).
    SortieVendalo lancer(const QStringList& args, const QByteArray& entree = {}, bool configure = true)
    {
        QProcessEnvironment env = environnementVendalo(dossier);
        env.insert(QStringLiteral("HOME"), dossier.path());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + dossier.path() + QStringLiteral("/pas-de-bus"));
        env.remove(QStringLiteral("VD_URL_SUPABASE"));
        if (configure) {
            env.insert(QStringLiteral("VD_URL_SUPABASE"), serveur.url().toString() + QStringLiteral("/"));
            env.insert(QStringLiteral("VD_CLE_PUBLIQUE_SUPABASE"), serveur.cleAnon());
        }
        return lancerVendalo(env, QStringList{QStringLiteral("cloud")} + args, entree);
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
        SortieVendalo s = lancer({QStringLiteral("etat")}, {}, false);
        QCOMPARE(s.code, 0);
        QCOMPARE(s.json().object().value(QStringLiteral("actif")).toBool(), false);

        s = lancer({QStringLiteral("connecter"), QStringLiteral("lea@exemple.fr")}, "faux\n");
        QCOMPARE(s.code, 1);
        QCOMPARE(s.derniereErreur(), QStringLiteral("Email ou mot de passe incorrect."));

        // Spaces inside the password line are kept.
        s = lancer({QStringLiteral("connecter"), QStringLiteral("lea@exemple.fr")}, " mot de passe \n");
        QCOMPARE(s.code, 0);
        QCOMPARE(s.json().object().value(QStringLiteral("connecte")).toBool(), true);
        QCOMPARE(s.json().object().value(QStringLiteral("adresse")).toString(), serveur.url().toString());

        // A new run finds the session again and signs its calls with it.
        s = lancer({QStringLiteral("procedure"), QStringLiteral("bonjour"), QStringLiteral(R"({"p_nom":"Léa"})")});
        QCOMPARE(s.code, 0);
        QCOMPARE(s.json().object().value(QStringLiteral("salut")).toString(), QStringLiteral("Léa"));
        const QByteArray jeton = serveur.requetes(QStringLiteral("/rest/v1/rpc/bonjour")).value(0).entete("authorization");
        QVERIFY(!serveur.utilisateurDuJeton(QString::fromUtf8(jeton.mid(7))).isEmpty());

        s = lancer({QStringLiteral("procedure"), QStringLiteral("inconnue")});
        QCOMPARE(s.code, 1);
        QCOMPARE(s.derniereErreur(), QStringLiteral("Une erreur est survenue. Réessayez dans un instant."));

        // A streamed function prints its lines as they come.
        s = lancer({QStringLiteral("flux"), QStringLiteral("claude"), QStringLiteral(R"({"tache":"libre"})")});
        QCOMPARE(s.code, 0);
        QCOMPARE(s.sortie, QByteArray("data: {\"a\":1}\n\ndata: {\"b\":2}\n\n"));

        s = lancer({QStringLiteral("deconnecter")});
        QCOMPARE(s.code, 0);
        QCOMPARE(s.json().object().value(QStringLiteral("connecte")).toBool(), false);
        QCOMPARE(serveur.nombre("POST", QStringLiteral("/auth/v1/logout")), 1);
        s = lancer({QStringLiteral("etat")});
        QCOMPARE(s.json().object().value(QStringLiteral("connecte")).toBool(), false);
    }
};

QTEST_GUILESS_MAIN(TestCliCloud)
#include "tst_cli_cloud.moc"
