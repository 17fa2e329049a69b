// vd-test: postgres
// vd-test: timeout=300
// Synchronisation on the real procedures: two data folders signed in to the
// same account converge both ways through "vendalo synchroniser" with no lost
// change and no echo; in a team the manager receives a member's calls and a
// member never receives the manager's contacts.
// A run killed with SIGKILL between two batches loses nothing and resends
// nothing the server had acknowledged.
#include "cloud/synchro.h"
#include "model/store.h"
#include "outilscloud.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace vd;
using cloud::Synchro;
using vd::fakes::FauxSupabase;

namespace {

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

    // "vendalo MOTS ARGUMENTS…" in a data folder (the words split on spaces).
    SortieVendalo lancer(const QTemporaryDir& dossier, const QString& mots, const QStringList& arguments = {}, const QByteArray& entree = {})
    {
        return lancerVendalo(tests::environnementCloud(dossier, *serveur), mots.split(QLatin1Char(' ')) + arguments, entree, 120'000);
    }
    bool connecter(const QTemporaryDir& d, const QString& email = QStringLiteral("lea@exemple.fr"))
    {
        return lancer(d, QStringLiteral("cloud connecter"), {email}, "motdepasse1\n").code == 0;
    }
    QJsonArray contacts(const QTemporaryDir& d) { return lancer(d, QStringLiteral("contacts lister")).json().array(); }

    // "envoyes|recus" of one run, or its error.
    QString synchroniser(const QTemporaryDir& d, const QString& mots = QStringLiteral("synchroniser"))
    {
        const SortieVendalo s = lancer(d, mots);
        const QJsonObject o = s.json().object();
        if (s.code != 0 || o.value(QStringLiteral("phase")).toString() != QLatin1String("aJour"))
            return s.derniereErreur();
        return QStringLiteral("%1|%2").arg(o.value(QStringLiteral("envoyes")).toInt()).arg(o.value(QStringLiteral("recus")).toInt());
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
        QVERIFY(connecter(a) && connecter(b));
        const SortieVendalo c1 = lancer(a, QStringLiteral("contacts creer"), {QStringLiteral(R"({"nom": "Durand", "societe": "Acme"})")});
        const QString id1 = c1.json().object().value(QStringLiteral("id")).toString();
        QVERIFY(c1.code == 0 && !id1.isEmpty());

        // The first connection with local data waits for the user's choice.
        const SortieVendalo refuse = lancer(a, QStringLiteral("synchroniser"));
        QCOMPARE(refuse.code, 1);
        QVERIFY2(refuse.derniereErreur().contains(QStringLiteral("--envoyer-local")), qPrintable(refuse.erreurs));
        QCOMPARE(refuse.json().object().value(QStringLiteral("phase")).toString(), QStringLiteral("attenteDecision"));
        QCOMPARE(synchroniser(a, QStringLiteral("synchroniser --envoyer-local")), QStringLiteral("1|0"));
        QCOMPARE(synchroniser(b), QStringLiteral("0|1"));

        // Edits on both sides, one each.
        QCOMPARE(lancer(b, QStringLiteral("contacts creer"), {QStringLiteral(R"({"nom": "Martin", "societe": "Béta"})")}).code, 0);
        QCOMPARE(lancer(b, QStringLiteral("contacts modifier"), {id1, QStringLiteral(R"({"societe": "Acme Nord"})")}).code, 0);
        QCOMPARE(synchroniser(b), QStringLiteral("2|0"));
        QTest::qWait(20);
        QCOMPARE(lancer(a, QStringLiteral("contacts creer"), {QStringLiteral(R"({"nom": "Petit"})")}).code, 0);
        QCOMPARE(synchroniser(a), QStringLiteral("1|2"));
        QCOMPARE(synchroniser(b), QStringLiteral("0|1"));
        const QSet<QString> la = resume(contacts(a));
        QCOMPARE(la.size(), 3);
        QCOMPARE(la, resume(contacts(b)));
        QVERIFY(la.contains(id1 + QStringLiteral("|Durand|Acme Nord")));

        // No echo: runs on an up-to-date pair send and receive nothing.
        for (const QTemporaryDir* d : {&a, &b, &a})
            QCOMPARE(synchroniser(*d), QStringLiteral("0|0"));

        // A deletion on one side reaches the other.
        QCOMPARE(lancer(a, QStringLiteral("contacts supprimer"), {id1}).code, 0);
        QCOMPARE(synchroniser(a), QStringLiteral("1|0"));
        QCOMPARE(synchroniser(b), QStringLiteral("0|1"));
        QCOMPARE(contacts(b).size(), 2);

        // Without the cloud configured the command says so.
        QProcessEnvironment sansCloud = environnementVendalo(a);
        sansCloud.remove(QStringLiteral("VD_URL_SUPABASE"));
        const SortieVendalo s = lancerVendalo(sansCloud, {QStringLiteral("synchroniser")});
        QCOMPARE(s.code, 1);
        QVERIFY(s.erreurs.contains(QStringLiteral("Le compte Vendalo n'est pas encore disponible sur ce Mac.")));
    }

    // A run killed between two batches: the first batch stays acknowledged, the
    // local store is whole, and the next run sends only what was not acknowledged.
    void killPendantUneRunNePerdRien()
    {
        serveur->ajouterUtilisateur(QStringLiteral("lea@exemple.fr"), QStringLiteral("motdepasse1"));
        QTemporaryDir a, b;
        QVERIFY(connecter(a) && connecter(b));
        constexpr int nombre = 2500;
        QFile csv(a.filePath(QStringLiteral("contacts.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write("Nom,Société,Email\n");
        for (int i = 0; i < nombre; ++i)
            csv.write(QStringLiteral("Nom %1,Société %1,c%1@exemple.fr\n").arg(i).toUtf8());
        csv.close();
        QCOMPARE(lancer(a, QStringLiteral("importer"), {csv.fileName(), QStringLiteral("--mode"), QStringLiteral("creer")}).code, 0);

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
                                                                          serveur->utilisateurDuJeton(jeton), QStringLiteral("lea@exemple.fr"));
            // The second batch is stored by the server, but its answer never reaches the client.
            if (envois.size() == 2 && tue.state() != QProcess::NotRunning) {
                tue.kill();
                tue.waitForFinished(10'000);
            }
            return rep;
        });
        tue.setProcessEnvironment(tests::environnementCloud(a, *serveur));
        tue.start(QStringLiteral(VD_VENDALO_BIN), {QStringLiteral("synchroniser"), QStringLiteral("--envoyer-local")});
        QTRY_VERIFY_WITH_TIMEOUT(tue.state() == QProcess::NotRunning, 120'000);   // the emulator answers from this process
        QCOMPARE(tue.exitStatus(), QProcess::CrashExit);
        QCOMPARE(envois.size(), 2);
        const QSet<QString> acquittes = envois.at(0);
        QCOMPARE(acquittes.size(), 1000);

        QCOMPARE(contacts(a).size(), nombre);
        QCOMPARE(synchroniser(a, QStringLiteral("synchroniser --envoyer-local")).section(QLatin1Char('|'), 0, 0), QString::number(nombre - 1000));
        QSet<QString> renvoyes;
        for (qsizetype i = 2; i < envois.size(); ++i)
            renvoyes.unite(envois.at(i));
        QVERIFY2(!renvoyes.intersects(acquittes), "un lot déjà acquitté a été renvoyé");
        QCOMPARE(renvoyes.size(), nombre - int(acquittes.size()));

        // The other computer receives each contact once.
        QCOMPARE(synchroniser(b), QStringLiteral("0|%1").arg(nombre));
        QCOMPARE(contacts(b).size(), nombre);
        QCOMPARE(synchroniser(a), QStringLiteral("0|0"));
    }

    void equipeManagerEtMembre()
    {
        const QString idManager = serveur->ajouterUtilisateur(QStringLiteral("paule@exemple.fr"), QStringLiteral("motdepasse1"));
        const QString idMembre = serveur->ajouterUtilisateur(QStringLiteral("lea@exemple.fr"), QStringLiteral("motdepasse1"));
        const QString org = tests::creerEquipe(*serveur->base(), QStringLiteral("Ventes Nord"), idManager, 3,
                                               {{idManager, QStringLiteral("manager")}, {idMembre, QStringLiteral("commercial")}});
        QVERIFY2(!org.isEmpty(), qPrintable(serveur->base()->erreur()));

        struct Poste : tests::Poste {
            model::Store store;
            QTemporaryDir dossier;
            std::unique_ptr<Synchro> synchro;
        };
        auto poste = [&](const QString& email, const QString& role) {
            auto p = std::make_unique<Poste>();
            if (!p->connecter(*serveur, email))
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
