// Synchronisation against a scripted server on the fake clock: batches and
// their limits, acknowledgements, pulled changes that never overwrite newer
// local edits nor come back as echoes, deletions, refusals, shrinking, network
// retries, triggers, replaced states and account changes.
#include "cloud/synchro.h"
#include "model/store.h"
#include "outilscloud.h"
#include "serveursynchro.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace vd;
using cloud::Synchro;
using vd::fakes::FauxSupabase;
using vd::fakes::ReponseHttpFactice;

using tests::contact;

namespace {
const QString t0 = QStringLiteral("2026-03-01T09:00:00.000Z");
}

class TestSynchro : public QObject {
    Q_OBJECT

    std::unique_ptr<tests::BancCloud> b;
    std::unique_ptr<QTemporaryDir> dossier;
    std::unique_ptr<model::Store> store;
    std::unique_ptr<Synchro> s;
    tests::ServeurSynchro serveur;

    QString cloudDir() const { return dossier->filePath(QStringLiteral("cloud")); }

    void nouveauSynchro()
    {
        s.reset();
        s = std::make_unique<Synchro>(b->client.get(), *store, cloudDir(), b->horloge);
    }

    // One forced run, waited for on the event loop (the server answers over real sockets).
    bool run()
    {
        QSignalSpy fin(s.get(), &Synchro::termine);
        s->synchroniser(true);
        if (s->actif() && !fin.wait(20'000))
            return false;
        return fin.isEmpty() ? false : fin.last().at(0).toBool();
    }

    // Advances the fake clock and waits for the run that falls due.
    bool runApres(qint64 ms)
    {
        QSignalSpy fin(s.get(), &Synchro::termine);
        b->horloge.avancer(ms);
        return fin.wait(10'000);
    }

    void ajouterContacts(int n, const QString& prefixe = QStringLiteral("c"))
    {
        store->modifier([&](model::Etat& e) {
            for (int i = 0; i < n; ++i)
                e.contacts.append(contact(prefixe + QString::number(i), t0));
        });
    }

private Q_SLOTS:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        b = std::make_unique<tests::BancCloud>();
        QVERIFY(b->demarrer());
        QVERIFY(b->connecter());
        serveur = tests::ServeurSynchro{};
        serveur.compteId = b->client->session()->utilisateur.id;
        serveur.installer(b->serveur);
        dossier = std::make_unique<QTemporaryDir>();
        store = std::make_unique<model::Store>(dossier->filePath(QStringLiteral("etat.json")), b->horloge);
        nouveauSynchro();
        s->setChoixPrealable(Synchro::Choix::envoyer);
    }
    void cleanup()
    {
        s.reset();
        store.reset();
        dossier.reset();
        b.reset();
    }

    void majLeCompareCommeInstant_data()
    {
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("connu");
        QTest::addColumn<bool>("envoye");
        QTest::newRow("identique") << t0 << t0 << false;
        QTest::newRow("fraction plus récente") << "2026-03-01T09:00:00.500Z" << "2026-03-01T09:00:00Z" << true;
        QTest::newRow("sans fraction, même instant") << "2026-03-01T09:00:00Z" << t0 << false;
        QTest::newRow("décalage, même instant") << "2026-03-01T10:00:00.000+01:00" << t0 << false;
        QTest::newRow("décalage, plus récent") << "2026-03-01T10:00:01+01:00" << t0 << true;
        QTest::newRow("texte plus grand mais plus ancien") << "2026-03-01T09:30:00+02:00" << t0 << false;
        QTest::newRow("plus ancien") << "2026-03-01T08:59:59.999Z" << t0 << false;
        QTest::newRow("inconnu du serveur") << t0 << QString() << true;
    }
    void majLeCompareCommeInstant()
    {
        QFETCH(QString, local);
        QFETCH(QString, connu);
        QFETCH(bool, envoye);
        model::Etat e;
        e.contacts.append(contact(QStringLiteral("c1"), local));
        cloud::EtatDisque d;
        if (!connu.isEmpty())
            d.connus[QStringLiteral("contacts")].insert(QStringLiteral("c1"), connu);
        const auto lot = cloud::synchro::construireLot(e, d, {});
        QCOMPARE(lot.envoyes.value(QStringLiteral("contacts")).contains(QStringLiteral("c1")), envoye);
    }

    void premierEnvoiEnLotsDeMille()
    {
        ajouterContacts(2500);
        QVERIFY(run());
        QCOMPARE(s->phase(), Synchro::Phase::aJour);
        QCOMPARE(serveur.tailles().mid(0, 3), (QList<qsizetype>{1000, 1000, 500}));
        QCOMPARE(s->objetsEnvoyes(), 2500);
        QCOMPARE(int(serveur.donnees[QStringLiteral("contacts")].size()), 2500);
        QCOMPARE(s->disque().connus.value(QStringLiteral("contacts")).size(), 2500);
        QVERIFY(!s->disque().compteId->isEmpty());
        // Options and the first cursor as the server expects them.
        const QJsonObject o = serveur.corps.first().value(QStringLiteral("p_options")).toObject();
        QCOMPARE(o.value(QStringLiteral("limite_appels")).toInt(), 50);
        QCOMPARE(o.value(QStringLiteral("recharger")).toBool(true), false);
        QVERIFY(serveur.corps.first().value(QStringLiteral("p_depuis")).isNull());

        // Up to date: our own records come back once but are neither applied nor sent again.
        serveur.corps.clear();
        QVERIFY(run());
        QCOMPARE(s->objetsRecus(), 0);
        QVERIFY(run());
        for (const QJsonObject& c : serveur.corps)
            QVERIFY(c.value(QStringLiteral("p_changements")).isNull());
        QCOMPARE(s->objetsEnvoyes(), 0);
        QCOMPARE(s->enAttente(), 0);

        // A restart reads "cloud/synchro.json" and resends nothing.
        nouveauSynchro();
        serveur.corps.clear();
        QVERIFY(run());
        QCOMPARE(serveur.nombreEnvoyes(), 0);
    }

    void enregistrementVolumineuxSeulDansSonLot()
    {
        ajouterContacts(3);
        store->modifier([&](model::Etat& e) {
            model::Contact gros = contact(QStringLiteral("gros"), t0);
            gros.notes = QString(250'000, QLatin1Char('x'));
            e.contacts.prepend(gros);
        });
        serveur.refuser = [](const QString&, const QJsonObject& o) {
            return o.value(QStringLiteral("notes")).toString().size() > 200'000 ? QStringLiteral("trop_volumineux") : QString();
        };
        QVERIFY(run());
        QCOMPARE(serveur.tailles(), (QList<qsizetype>{3, 1}));
        QCOMPARE(serveur.envoyes(1).at(0).toObject().value(QStringLiteral("id")).toString(), QStringLiteral("gros"));
        QCOMPARE(s->refus(), (QList<Synchro::Refus>{{QStringLiteral("contacts"), QStringLiteral("gros"), QStringLiteral("trop_volumineux")}}));
        QCOMPARE(Synchro::texteRaison(QStringLiteral("trop_volumineux")),
                 QStringLiteral("Cet élément est trop volumineux pour être synchronisé."));
        // Not sent again until it changes.
        serveur.corps.clear();
        QVERIFY(run());
        QCOMPARE(serveur.nombreEnvoyes(), 0);
        store->modifier([&](model::Etat& e) { e.contacts[0].majLe = QStringLiteral("2026-03-01T10:00:00.000Z"); });
        QVERIFY(run());
        QCOMPARE(serveur.nombreEnvoyes(), 1);
    }

    void curseurImmobileSansBoucle()
    {
        QVERIFY(run());
        serveur.corps.clear();
        const QString curseur = *s->disque().depuis;
        serveur.reponseForcee = [curseur](const QJsonObject&) {
            return QJsonObject{{QStringLiteral("changements"), QJsonObject()}, {QStringLiteral("refuses"), QJsonArray()},
                               {QStringLiteral("prochain_depuis"), curseur}, {QStringLiteral("complet"), false}};
        };
        QVERIFY(!run());
        QCOMPARE(serveur.corps.size(), 1);
        QVERIFY(s->programme());
        b->horloge.avancer(4'000);
        QCOMPARE(serveur.corps.size(), 1);
    }

    void tireSansEcraserUnChangementLocalNonEnvoye()
    {
        ajouterContacts(2);
        QVERIFY(run());
        // Local edit of c0 (not yet sent), server edits of both.
        store->modifier([&](model::Etat& e) {
            e.contacts[0].nom = QStringLiteral("Local");
            e.contacts[0].majLe = QStringLiteral("2026-03-01T09:10:00.000Z");
        });
        const QString contacts = QStringLiteral("contacts");
        serveur.ecrire(contacts, R"({"id": "c0", "nom": "Serveur", "majLe": "2026-03-01T11:05:00+02:00"})");   // 09:05Z, older
        serveur.ecrire(contacts, R"({"id": "c1", "nom": "Ailleurs", "majLe": "2026-03-01T09:20:00.250Z", "champInconnu": 42})");
        serveur.corps.clear();
        QVERIFY(run());
        QCOMPARE(store->etat().contact(QStringLiteral("c0"))->nom, QStringLiteral("Local"));
        QCOMPARE(store->etat().contact(QStringLiteral("c1"))->nom, QStringLiteral("Ailleurs"));
        // Pulled as the server wrote it, not restamped; and not echoed back.
        QCOMPARE(store->etat().contact(QStringLiteral("c1"))->majLe, QStringLiteral("2026-03-01T09:20:00.250Z"));
        QCOMPARE(s->disque().extras.value(contacts).value(QStringLiteral("c1")).value(QStringLiteral("champInconnu")).toInt(), 42);
        QCOMPARE(serveur.donnees[contacts][QStringLiteral("c0")].objet.value(QStringLiteral("nom")).toString(), QStringLiteral("Local"));
        serveur.corps.clear();
        QVERIFY(run());
        QCOMPARE(serveur.nombreEnvoyes(), 0);

        // A newer server version (as an instant) wins over an unsent local edit.
        store->modifier([&](model::Etat& e) {
            e.contacts[1].nom = QStringLiteral("Brouillon");
            e.contacts[1].majLe = QStringLiteral("2026-03-01T09:30:00.000Z");
        });
        serveur.ecrire(contacts, R"({"id": "c1", "nom": "Plus récent", "majLe": "2026-03-01T09:30:00.001Z"})");
        serveur.reponseForcee = [&](const QJsonObject& c) -> std::optional<QJsonObject> {
            // Pull first, as if the local push had not reached the server yet.
            QJsonObject sans = c;
            sans.remove(QStringLiteral("p_changements"));
            serveur.reponseForcee = nullptr;
            return serveur.traiter(sans);
        };
        QVERIFY(run());
        QCOMPARE(store->etat().contact(QStringLiteral("c1"))->nom, QStringLiteral("Plus récent"));
    }

    void suppressionExpliciteSeulement()
    {
        ajouterContacts(3);
        QVERIFY(run());
        serveur.corps.clear();
        store->modifier([](model::Etat& e) { e.contacts.removeFirst(); }, {{QStringLiteral("contacts"), QStringLiteral("c0")}});
        // A removal without an explicit deletion never becomes a tombstone.
        store->modifier([](model::Etat& e) { e.contacts.removeLast(); });
        QVERIFY(run());
        const QJsonArray envoyes = serveur.envoyes(0);
        QCOMPARE(envoyes.size(), 1);
        QCOMPARE(envoyes.at(0).toObject().value(QStringLiteral("id")).toString(), QStringLiteral("c0"));
        QVERIFY(envoyes.at(0).toObject().contains(QStringLiteral("supprimeLe")));
        QVERIFY(s->disque().suppressions.value(QStringLiteral("contacts")).isEmpty());
        QVERIFY(!QFile::exists(QDir(cloudDir()).filePath(model::JournalCloud::fichierSuppressions())));
        // A tombstone from elsewhere removes the local record.
        serveur.ecrire(QStringLiteral("contacts"), R"({"id": "c1", "supprimeLe": "2026-03-02T09:00:00.000Z"})");
        QVERIFY(run());
        QVERIFY(!store->etat().contact(QStringLiteral("c1")));
    }

    void remplacementSansEffacerLeServeur()
    {
        ajouterContacts(2);
        QVERIFY(run());
        QVERIFY(s->disque().depuis.has_value());
        // Erase everything: no tombstone, the cursor and known versions are forgotten, everything comes back.
        store->remplacerEtat(model::Etat{});
        serveur.corps.clear();
        QVERIFY(run());
        QVERIFY(serveur.corps.first().value(QStringLiteral("p_depuis")).isNull());
        QCOMPARE(serveur.nombreEnvoyes(), 0);
        QCOMPARE(store->etat().contacts.size(), 2);

        // The demonstration data are never pushed, even after an edit; new records are.
        model::Etat demo;
        demo.contacts.append(contact(QStringLiteral("demo-1"), t0));
        demo.entreprise.nom = QStringLiteral("Démo SA");
        store->remplacerEtat(demo, true);
        serveur.corps.clear();
        QVERIFY(run());
        store->modifier([&](model::Etat& e) {
            e.contacts[0].majLe = QStringLiteral("2026-03-05T09:00:00.000Z");
            e.contacts.append(contact(QStringLiteral("nouveau"), t0));
        });
        QVERIFY(run());
        QCOMPARE(serveur.nombreEnvoyes(QStringLiteral("entreprises_profil")), 0);
        QVERIFY(serveur.donnees[QStringLiteral("contacts")].count(QStringLiteral("demo-1")) == 0);
        QVERIFY(serveur.donnees[QStringLiteral("contacts")].count(QStringLiteral("nouveau")) == 1);
    }

    void appelEnDirectNiEnvoyeNiTouche()
    {
        store->modifier([](model::Etat& e) {
            model::Appel a;
            a.id = QStringLiteral("a1");
            a.statut = QStringLiteral("en_cours");
            a.majLe = t0;
            e.appels.append(a);
        });
        serveur.ecrire(QStringLiteral("appels"), R"({"id": "a1", "statut": "analyse", "majLe": "2026-03-09T09:00:00.000Z"})");
        QVERIFY(run());
        QCOMPARE(serveur.nombreEnvoyes(QStringLiteral("appels")), 0);
        QCOMPARE(store->etat().appel(QStringLiteral("a1"))->statut, QStringLiteral("en_cours"));
        store->modifier([](model::Etat& e) {
            e.appels[0].statut = QStringLiteral("analyse");
            e.appels[0].majLe = QStringLiteral("2026-03-10T09:00:00.000Z");
        });
        QVERIFY(run());
        QCOMPARE(serveur.nombreEnvoyes(QStringLiteral("appels")), 1);
    }

    void reductionDuLotPuisErreur()
    {
        ajouterContacts(10);
        serveur.reponseForcee = [](const QJsonObject&) -> std::optional<QJsonObject> { return std::nullopt; };
        b->serveur.injecter(QStringLiteral("/rest/v1/rpc/synchroniser"),
                            FauxSupabase::erreurRest(500, QStringLiteral("57014"), QStringLiteral("canceling statement")), 3);
        QVERIFY(!run());
        QCOMPARE(s->phase(), Synchro::Phase::erreur);
        QCOMPARE(s->message(), QStringLiteral("Le serveur a mis trop de temps à répondre. Nouvel essai en cours."));
        QCOMPARE(s->limiteObjets(), 250);
        QCOMPARE(s->limiteAppels(), 12);
        QVERIFY(s->programme());
        // The retry 60 s later succeeds and restores the limits.
        QVERIFY(runApres(60'000));
        QCOMPARE(s->phase(), Synchro::Phase::aJour);
        QCOMPARE(s->limiteObjets(), 1000);
        QCOMPARE(int(serveur.donnees[QStringLiteral("contacts")].size()), 10);
    }

    void reprisesApresPannesReseau()
    {
        QCOMPARE(Synchro::delaiReseauMs(5), 300'000);
        ReponseHttpFactice coupe;
        coupe.couper = true;
        b->serveur.injecter(QStringLiteral("/rest/v1/rpc/synchroniser"), coupe, 1000);
        QVERIFY(!run());
        QCOMPARE(s->phase(), Synchro::Phase::horsLigne);
        QCOMPARE(s->message(), QStringLiteral("Pas de connexion. Vérifiez votre accès à internet."));
        const int attendus[] = {5'000, 15'000, 60'000, 300'000};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(s->essaisReseau(), i + 1);
            b->horloge.avancer(attendus[i] - 1);
            QVERIFY(!s->actif());
            QVERIFY(runApres(1));
        }
        QCOMPARE(s->essaisReseau(), 5);
        b->serveur.viderPannes();
        QVERIFY(runApres(300'000));
        QCOMPARE(s->phase(), Synchro::Phase::aJour);
        QCOMPARE(s->essaisReseau(), 0);
    }

    void rafaleDeChangementsUneSeuleRun()
    {
        QVERIFY(run());
        s->demarrer();
        b->horloge.avancer(1'500);   // the sign-in run
        QSignalSpy fin(s.get(), &Synchro::termine);
        if (s->actif())
            QVERIFY(fin.wait(10'000));
        serveur.corps.clear();
        fin.clear();
        for (int i = 0; i < 5; ++i) {
            store->modifier([i](model::Etat& e) { e.contacts.append(contact(QStringLiteral("r%1").arg(i), t0)); });
            b->horloge.avancer(1'000);
        }
        QCOMPARE(serveur.corps.size(), 0);
        b->horloge.avancer(1'999);
        QCOMPARE(serveur.corps.size(), 0);
        b->horloge.avancer(1);
        QVERIFY(fin.wait(10'000));
        QCOMPARE(serveur.tailles(), QList<qsizetype>{5});
        // Changes applied from the server do not trigger a push.
        serveur.ecrire(QStringLiteral("contacts"), R"({"id": "x", "majLe": "2026-03-01T09:00:00.000Z"})");
        fin.clear();
        s->synchroniser(true);
        QVERIFY(fin.wait(10'000));
        QVERIFY(store->etat().contact(QStringLiteral("x")));
        QVERIFY(!s->programme());
    }

    void autreCompteRepartDeZero()
    {
        ajouterContacts(1);
        QVERIFY(run());
        cloud::EtatDisque d = s->disque();
        d.compteId = QStringLiteral("quelqu-un-d-autre");
        QVERIFY(cloud::FichierDisque{s->cheminDisque()}.ecrire(d).isEmpty());
        nouveauSynchro();
        QVERIFY(!run());
        QCOMPARE(s->phase(), Synchro::Phase::attenteDecision);
        QVERIFY(s->disque().connus.isEmpty());
        QVERIFY(!s->disque().depuis);
        // The same account again reuses its state.
        s->decider(Synchro::Choix::envoyer);
        QSignalSpy fin(s.get(), &Synchro::termine);
        QVERIFY(fin.wait(10'000));
        nouveauSynchro();
        serveur.corps.clear();
        QVERIFY(run());
        QVERIFY(!serveur.corps.first().value(QStringLiteral("p_depuis")).isNull());
    }
};

QTEST_GUILESS_MAIN(TestSynchro)
#include "tst_synchro.moc"
