// vd-test: postgres
// vd-test: timeout=300
// Synchronisation on the real procedures: two data folders signed in to the
// same account converge both ways through "vendalo synchroniser" with no lost
// change and no echo; in a team the manager receives a member's calls and a
// member never receives the manager's contacts.
// A run killed with SIGKILL between two batches loses nothing and resends
// nothing the server had acknowledged.
#include "../app/environnementvendalo.h"
#include "cloud/synchro.h"
#include "model/store.h"
#include "outilscloud.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace vd;
using cloud::Synchro;
using vd::fakes::FauxSupabase;

namespace {

struct Sortie {
    int code = -1;
    QJsonValue json;
    QString erreur;
};

QSet<QString> resume(const QJsonValue& liste)
{
    QSet<QString> r;
    for (const QJsonValue& v : liste.toArray()) {
        const QJsonObject o = v.toObject();
        r.insert(o.value(QStringLiteral("id")).toString() + QLatin1Char('|') + o.value(QStringLiteral("nom")).toString() +
                 QLatin1Char('|') + o.value(QStringLiteral("societe")).toString());
    }
    return r;
}

} // namespace

class TestSynchroPostgres : public QObject {
    Q_OBJECT

    std::unique_ptr<FauxSupabase> serveur;

    void preparer(QProcess& p, const QTemporaryDir& dossier, const QStringList& args)
    {
        QProcessEnvironment env = environnementVendalo(dossier);
        env.insert(QStringLiteral("HOME"), dossier.path());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + dossier.path() + QStringLiteral("/pas-de-bus"));
        env.insert(QStringLiteral("VD_URL_SUPABASE"), serveur->url().toString());
        env.insert(QStringLiteral("VD_CLE_PUBLIQUE_SUPABASE"), serveur->cleAnon());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VD_VENDALO_BIN), args);
    }

    Sortie lancer(const QTemporaryDir& dossier, const QStringList& args, const QByteArray& entree = {})
    {
        QProcess p;
        preparer(p, dossier, args);
        if (!p.waitForStarted(10'000))
            return {};
        p.write(entree);
        p.closeWriteChannel();
        QElapsedTimer t;
        t.start();
        while (p.state() != QProcess::NotRunning && t.elapsed() < 120'000)
            QTest::qWait(20);
        Sortie s;
        s.code = p.exitCode();
        const QJsonDocument d = QJsonDocument::fromJson(p.readAllStandardOutput());
        s.json = d.isArray() ? QJsonValue(d.array()) : QJsonValue(d.object());
        s.erreur = QString::fromUtf8(p.readAllStandardError()).trimmed().split(QLatin1Char('\n')).last();
        return s;
    }

    QJsonObject synchroniser(const QTemporaryDir& d, const QStringList& options = {})
    {
        const Sortie s = lancer(d, QStringList{QStringLiteral("synchroniser")} + options);
        if (s.code != 0)
            qWarning() << "synchroniser :" << s.erreur;
        return s.code == 0 ? s.json.toObject() : QJsonObject{{QStringLiteral("echec"), s.erreur}};
    }

private Q_SLOTS:
    void init()
    {
        if (fakes::BasePostgres::connexionEnvironnement().isEmpty())
            QSKIP("Sans base PostgreSQL (lancer par scripts/avec-postgres.sh)");
        QStandardPaths::setTestModeEnabled(true);
        serveur = std::make_unique<FauxSupabase>(&platform::Horloge::instance());
        QVERIFY2(serveur->utiliserPostgres(), qPrintable(serveur->base() ? serveur->base()->erreur() : QString()));
        QVERIFY(serveur->demarrer());
    }
    void cleanup() { serveur.reset(); }

    void deuxDossiersConvergent()
    {
        serveur->ajouterUtilisateur(QStringLiteral("lea@exemple.fr"), QStringLiteral("motdepasse1"));
        QTemporaryDir a, b;
        for (const QTemporaryDir* d : {&a, &b})
            QCOMPARE(lancer(*d, {QStringLiteral("cloud"), QStringLiteral("connecter"), QStringLiteral("lea@exemple.fr")},
                            "motdepasse1\n").code, 0);

        const Sortie c1 = lancer(a, {QStringLiteral("contacts"), QStringLiteral("creer"), QStringLiteral(R"({"nom": "Durand", "societe": "Acme"})")});
        QCOMPARE(c1.code, 0);
        const QString id1 = c1.json.toObject().value(QStringLiteral("id")).toString();
        QVERIFY(!id1.isEmpty());

        // The first connection with local data waits for the user's choice.
        Sortie refuse = lancer(a, {QStringLiteral("synchroniser")});
        QCOMPARE(refuse.code, 1);
        QVERIFY2(refuse.erreur.contains(QStringLiteral("--envoyer-local")), qPrintable(refuse.erreur));
        QCOMPARE(refuse.json.toObject().value(QStringLiteral("phase")).toString(), QStringLiteral("attenteDecision"));

        QJsonObject r = synchroniser(a, {QStringLiteral("--envoyer-local")});
        QCOMPARE(r.value(QStringLiteral("phase")).toString(), QStringLiteral("aJour"));
        QCOMPARE(r.value(QStringLiteral("envoyes")).toInt(), 1);

        r = synchroniser(b);
        QCOMPARE(r.value(QStringLiteral("phase")).toString(), QStringLiteral("aJour"));
        QCOMPARE(r.value(QStringLiteral("recus")).toInt(), 1);
        QCOMPARE(r.value(QStringLiteral("envoyes")).toInt(), 0);

        // Edits on both sides, one each.
        const Sortie c2 = lancer(b, {QStringLiteral("contacts"), QStringLiteral("creer"), QStringLiteral(R"({"nom": "Martin", "societe": "Béta"})")});
        QCOMPARE(c2.code, 0);
        QCOMPARE(lancer(b, {QStringLiteral("contacts"), QStringLiteral("modifier"), id1, QStringLiteral(R"({"societe": "Acme Nord"})")}).code, 0);
        QCOMPARE(synchroniser(b).value(QStringLiteral("envoyes")).toInt(), 2);
        QTest::qWait(20);
        const Sortie c3 = lancer(a, {QStringLiteral("contacts"), QStringLiteral("creer"), QStringLiteral(R"({"nom": "Petit"})")});
        QCOMPARE(c3.code, 0);
        r = synchroniser(a);
        QCOMPARE(r.value(QStringLiteral("envoyes")).toInt(), 1);
        QCOMPARE(r.value(QStringLiteral("recus")).toInt(), 2);
        r = synchroniser(b);
        QCOMPARE(r.value(QStringLiteral("recus")).toInt(), 1);

        const QSet<QString> la = resume(lancer(a, {QStringLiteral("contacts"), QStringLiteral("lister")}).json);
        const QSet<QString> lb = resume(lancer(b, {QStringLiteral("contacts"), QStringLiteral("lister")}).json);
        QCOMPARE(la.size(), 3);
        QCOMPARE(la, lb);
        QVERIFY(la.contains(id1 + QStringLiteral("|Durand|Acme Nord")));

        // No echo: runs on an up-to-date pair send and receive nothing.
        for (const QTemporaryDir* d : {&a, &b, &a}) {
            r = synchroniser(*d);
            QCOMPARE(r.value(QStringLiteral("envoyes")).toInt(), 0);
            QCOMPARE(r.value(QStringLiteral("recus")).toInt(), 0);
        }

        // A deletion on one side reaches the other.
        QCOMPARE(lancer(a, {QStringLiteral("contacts"), QStringLiteral("supprimer"), id1}).code, 0);
        QCOMPARE(synchroniser(a).value(QStringLiteral("envoyes")).toInt(), 1);
        QCOMPARE(synchroniser(b).value(QStringLiteral("recus")).toInt(), 1);
        QCOMPARE(resume(lancer(b, {QStringLiteral("contacts"), QStringLiteral("lister")}).json).size(), 2);

        // Without the cloud configured the command says so.
        QProcess p;
        QProcessEnvironment env = environnementVendalo(a);
        env.remove(QStringLiteral("VD_URL_SUPABASE"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VD_VENDALO_BIN), {QStringLiteral("synchroniser")});
        QVERIFY(p.waitForFinished(30'000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("Le compte Vendalo n'est pas encore disponible sur ce Mac.")));
    }

    // A run killed between two batches: the first batch stays acknowledged, the
    // local store is whole, and the next run sends only what was not acknowledged.
    void killPendantUneRunNePerdRien()
    {
        const QString email = QStringLiteral("lea@exemple.fr");
        serveur->ajouterUtilisateur(email, QStringLiteral("motdepasse1"));
        QTemporaryDir a, b;
        for (const QTemporaryDir* d : {&a, &b})
            QCOMPARE(lancer(*d, {QStringLiteral("cloud"), QStringLiteral("connecter"), email}, "motdepasse1\n").code, 0);
        constexpr int nombre = 2500;
        QFile csv(a.filePath(QStringLiteral("contacts.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write("Nom,Société,Email\n");
        for (int i = 0; i < nombre; ++i)
            csv.write(QStringLiteral("Nom %1,Société %1,c%1@exemple.fr\n").arg(i).toUtf8());
        csv.close();
        QCOMPARE(lancer(a, {QStringLiteral("importer"), csv.fileName(), QStringLiteral("--mode"), QStringLiteral("creer")}).code, 0);

        // Every call reaches the real procedure; the log keeps the contact ids each one carried.
        QList<QSet<QString>> envois;
        QProcess tue;
        serveur->surProcedure(QStringLiteral("synchroniser"), [&](const fakes::RequeteHttp& r) {
            const QJsonObject corps = r.json().toObject();
            QSet<QString> ids;
            for (const QJsonValue& c : corps.value(QStringLiteral("p_changements")).toObject().value(QStringLiteral("contacts")).toArray())
                ids.insert(c.toObject().value(QStringLiteral("id")).toString());
            envois.append(ids);
            const QString jeton = QString::fromUtf8(r.entete("authorization")).mid(7);
            const fakes::ReponseHttpFactice rep = serveur->base()->appeler(QStringLiteral("synchroniser"), corps,
                                                                          serveur->utilisateurDuJeton(jeton), email);
            // The second batch is stored by the server, but its answer never reaches the client.
            if (envois.size() == 2 && tue.state() != QProcess::NotRunning) {
                tue.kill();
                tue.waitForFinished(10'000);
            }
            return rep;
        });
        preparer(tue, a, {QStringLiteral("synchroniser"), QStringLiteral("--envoyer-local")});
        QVERIFY(tue.waitForStarted(10'000));
        QElapsedTimer t;
        t.start();
        while (tue.state() != QProcess::NotRunning && t.elapsed() < 120'000)
            QTest::qWait(20);
        QCOMPARE(tue.exitStatus(), QProcess::CrashExit);
        QCOMPARE(envois.size(), 2);
        const QSet<QString> acquittes = envois.at(0);
        QCOMPARE(acquittes.size(), 1000);

        QCOMPARE(lancer(a, {QStringLiteral("contacts"), QStringLiteral("lister")}).json.toArray().size(), nombre);
        const QJsonObject r = synchroniser(a, {QStringLiteral("--envoyer-local")});
        QCOMPARE(r.value(QStringLiteral("phase")).toString(), QStringLiteral("aJour"));
        QSet<QString> renvoyes;
        for (qsizetype i = 2; i < envois.size(); ++i)
            renvoyes.unite(envois.at(i));
        QVERIFY2(!renvoyes.intersects(acquittes), "un lot déjà acquitté a été renvoyé");
        QCOMPARE(renvoyes.size(), nombre - int(acquittes.size()));

        // The other computer receives each contact once.
        QCOMPARE(synchroniser(b).value(QStringLiteral("recus")).toInt(), nombre);
        QCOMPARE(lancer(b, {QStringLiteral("contacts"), QStringLiteral("lister")}).json.toArray().size(), nombre);
        const QJsonObject calme = synchroniser(a);
        QCOMPARE(calme.value(QStringLiteral("envoyes")).toInt(), 0);
        QCOMPARE(calme.value(QStringLiteral("recus")).toInt(), 0);
    }

    void equipeManagerEtMembre()
    {
        const QString idManager = serveur->ajouterUtilisateur(QStringLiteral("paule@exemple.fr"), QStringLiteral("motdepasse1"));
        const QString idMembre = serveur->ajouterUtilisateur(QStringLiteral("lea@exemple.fr"), QStringLiteral("motdepasse1"));
        fakes::BasePostgres* base = serveur->base();
        const QString org = base->executer(QStringLiteral("insert into public.organisations (nom, sieges, proprietaire_id) "
                                                          "values ('Ventes Nord', 3, ?::uuid) returning id::text"), {idManager})
                                .value(0).toString();
        QVERIFY2(!org.isEmpty(), qPrintable(base->erreur()));
        base->executer(QStringLiteral("insert into public.membres values (?::uuid, ?::uuid, 'manager', now())"), {org, idManager});
        base->executer(QStringLiteral("insert into public.membres values (?::uuid, ?::uuid, 'commercial', now())"), {org, idMembre});

        struct Poste {
            platform::CoffreMemoire coffre;
            cloud::StockageSession stockage{coffre};
            std::unique_ptr<cloud::ClientSupabase> client;
            model::Store store;
            QTemporaryDir dossier;
            std::unique_ptr<Synchro> synchro;
        };
        auto poste = [&](const QString& email, const QString& role) {
            auto p = std::make_unique<Poste>();
            p->client = std::make_unique<cloud::ClientSupabase>(serveur->config(), &p->stockage);
            if (!tests::attendre(p->client->connecter(email, QStringLiteral("motdepasse1"))).ok())
                return std::unique_ptr<Poste>();
            p->synchro = std::make_unique<Synchro>(p->client.get(), p->store, p->dossier.path());
            p->synchro->setChoixPrealable(Synchro::Choix::envoyer);
            p->synchro->definirEquipe(org, role);
            return p;
        };
        auto run = [](Poste& p) {
            QSignalSpy fin(p.synchro.get(), &Synchro::termine);
            p.synchro->synchroniser(true);
            return fin.wait(30'000) && fin.last().at(0).toBool();
        };
        auto manager = poste(QStringLiteral("paule@exemple.fr"), QStringLiteral("manager"));
        auto membre = poste(QStringLiteral("lea@exemple.fr"), QStringLiteral("commercial"));
        QVERIFY(manager && membre);

        manager->store.modifier([](model::Etat& e) {
            model::Contact c;
            c.id = QStringLiteral("contact-prive");
            c.nom = QStringLiteral("Client de Paule");
            c.majLe = c.creeLe = QStringLiteral("2026-12-01T09:00:00.000Z");
            e.contacts.append(c);
        });
        membre->store.modifier([](model::Etat& e) {
            model::Appel a;
            a.id = QStringLiteral("appel-lea");
            a.statut = QStringLiteral("analyse");
            a.debut = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
            a.majLe = a.creeLe = a.debut;
            e.appels.append(a);
        });
        QVERIFY(run(*manager));
        QVERIFY(run(*membre));
        QVERIFY(run(*manager));

        QVERIFY(manager->store.etat().appel(QStringLiteral("appel-lea")));
        QCOMPARE(manager->store.etat().appel(QStringLiteral("appel-lea"))->compteId, std::optional(idMembre));
        QVERIFY(manager->synchro->disque().autres.contains(QStringLiteral("appel-lea")));
        QVERIFY(!membre->store.etat().contact(QStringLiteral("contact-prive")));
        QVERIFY(membre->store.etat().contacts.isEmpty());

        // The manager never pushes the member's call back, even after a local change.
        manager->store.modifier([](model::Etat& e) { e.appels[0].majLe = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs); });
        QVERIFY(run(*manager));
        QCOMPARE(manager->synchro->objetsEnvoyes(), 0);
        QVERIFY(manager->synchro->refus().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSynchroPostgres)
#include "tst_synchro_postgres.moc"
