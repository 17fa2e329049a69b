// The sidebar's synchronisation line against a scripted server: its text per
// state, the refusals window, and the first-connection choice applied from
// its dialog.
#include "cloud/compte.h"
#include "cloud/ecrans/decisionsynchro.h"
#include "cloud/ecrans/lignesynchro.h"
#include "cloud/synchro.h"
#include "model/store.h"
#include "outilscloud.h"
#include "serveursynchro.h"
#include "ui/contexte.h"
#include "ui/ecrans/style.h"
#include "ui/navigation.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>

using namespace vd;
using cloud::LigneSynchro;
using cloud::Synchro;

class TestLigneSynchro : public QObject {
    Q_OBJECT

    std::unique_ptr<tests::BancCloud> b;
    tests::ServeurSynchro serveur;
    QTemporaryDir dossier;
    platform::ReseauFactice reseau;
    std::unique_ptr<model::Store> store;
    std::unique_ptr<cloud::Compte> compte;
    std::unique_ptr<Synchro> s;
    std::unique_ptr<ui::Navigation> navigation;
    ui::Contexte ctx;

    // A signed-in account (or not) with n local contacts and the line's context.
    void preparer(bool client, bool connecte, int contacts)
    {
        b = std::make_unique<tests::BancCloud>();
        QVERIFY(b->demarrer());
        if (connecte)
            QVERIFY(b->connecter());
        serveur = tests::ServeurSynchro{};
        if (connecte)
            serveur.compteId = b->client->session()->utilisateur.id;
        serveur.installer(b->serveur);
        store = std::make_unique<model::Store>(dossier.filePath(QStringLiteral("etat.json")), b->horloge);
        store->modifier([&](model::Etat& e) {
            for (int i = 0; i < contacts; ++i)
                e.contacts.append(tests::contact(QStringLiteral("c%1").arg(i)));
        });
        const QString cloud = dossier.filePath(QStringLiteral("cloud"));
        compte = std::make_unique<cloud::Compte>(client ? b->client.get() : nullptr, cloud, reseau, b->horloge);
        compte->demarrer();
        s = client ? std::make_unique<Synchro>(b->client.get(), *store, cloud, b->horloge) : nullptr;
        navigation = std::make_unique<ui::Navigation>();
        ctx = ui::Contexte{};
        ctx.navigation = navigation.get();
        ctx.client = client ? b->client.get() : nullptr;
        ctx.compte = compte.get();
        ctx.synchro = s.get();
    }
    bool run()
    {
        QSignalSpy fin(s.get(), &Synchro::termine);
        s->synchroniser(true);
        return !s->actif() || fin.wait(20'000);
    }
    static bool visible(const LigneSynchro& l, const char* nom)
    {
        auto* b = l.findChild<QPushButton*>(QLatin1String(nom));
        return b && !b->isHidden();
    }

private Q_SLOTS:
    void initTestCase() { ui::style::appliquer(*qApp); }
    void init() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup()
    {
        s.reset();
        compte.reset();
        store.reset();
        b.reset();
        QDir(dossier.path()).removeRecursively();
        QDir().mkpath(dossier.path());
    }

    void textes_data()
    {
        QTest::addColumn<QString>("cas");
        QTest::addColumn<QString>("texte");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("seConnecter");
        QTest::addColumn<bool>("maintenant");
        QTest::newRow("sans serveur") << "local" << "Mode local" << "Vos données restent sur cet ordinateur." << false << false;
        QTest::newRow("déconnecté") << "deconnecte" << "Non connecté" << "Connectez-vous pour synchroniser vos données." << true << false;
        QTest::newRow("à jour") << "ajour" << "À jour · %1" << "" << false << true;
        QTest::newRow("refus du serveur") << "erreur" << "Accès refusé à ces données." << "3 modifications en attente" << false << true;
    }
    void textes()
    {
        QFETCH(QString, cas);
        QFETCH(QString, texte);
        QFETCH(QString, detail);
        QFETCH(bool, seConnecter);
        QFETCH(bool, maintenant);
        preparer(cas != QLatin1String("local"), cas == QLatin1String("ajour") || cas == QLatin1String("erreur"), 3);
        LigneSynchro ligne(ctx);
        if (s) {
            s->setChoixPrealable(Synchro::Choix::envoyer);
            if (cas == QLatin1String("erreur"))
                b->serveur.injecter(QStringLiteral("/rest/v1/rpc/synchroniser"),
                                    fakes::FauxSupabase::erreurRest(403, QStringLiteral("42501"), QStringLiteral("Accès refusé à ces données.")));
            QVERIFY(run());
        }
        QCOMPARE(ligne.texte(), texte.arg(b->horloge.maintenant().toLocalTime().toString(QStringLiteral("HH:mm"))));
        QCOMPARE(ligne.detail(), detail);
        QCOMPARE(visible(ligne, "seConnecter"), seConnecter);
        QCOMPARE(visible(ligne, "synchroniserMaintenant"), maintenant);
        if (seConnecter) {
            ligne.findChild<QPushButton*>(QStringLiteral("seConnecter"))->click();
            QCOMPARE(navigation->ecran().genre, ui::Ecran::Genre::compte);
        }
        if (maintenant) {
            // "Synchroniser maintenant" runs at once, forced, whatever waits after a failure.
            const int avant = int(serveur.corps.size());
            ligne.findChild<QPushButton*>(QStringLiteral("synchroniserMaintenant"))->click();
            QTRY_VERIFY(!s->actif());
            QCOMPARE(int(serveur.corps.size()), avant + 1);
        }
    }

    void refus()
    {
        preparer(true, true, 2);
        s->setChoixPrealable(Synchro::Choix::envoyer);
        serveur.refuser = [](const QString& col, const QJsonObject& o) {
            return col == QLatin1String("contacts") && o.value(QStringLiteral("id")).toString() == QLatin1String("c1")
                       ? QStringLiteral("trop_volumineux") : QString();
        };
        LigneSynchro ligne(ctx);
        QVERIFY(run());
        auto* lien = ligne.findChild<QPushButton*>(QStringLiteral("refus"));
        QVERIFY(!lien->isHidden());
        QCOMPARE(lien->text(), QStringLiteral("1 élément refusé"));
        lien->click();
        QVERIFY(ligne.fenetreRefus());
        auto* liste = ligne.fenetreRefus()->findChild<QTreeWidget*>(QStringLiteral("listeRefus"));
        QCOMPARE(liste->topLevelItemCount(), 1);
        const QTreeWidgetItem* r = liste->topLevelItem(0);
        QCOMPARE(QStringList({r->text(0), r->text(1), r->text(2)}),
                 QStringList({QStringLiteral("Contact"), QStringLiteral("c1"),
                              QStringLiteral("Cet élément est trop volumineux pour être synchronisé.")}));
        // The next clean run empties the list and closes the window.
        serveur.refuser = nullptr;
        store->modifier([](model::Etat& e) { e.contacts[1].majLe = QStringLiteral("2026-03-02T09:00:00.000Z"); });
        QVERIFY(run());
        QVERIFY(lien->isHidden());
        QTRY_VERIFY(!ligne.fenetreRefus());
    }

    void decision_data()
    {
        QTest::addColumn<QString>("bouton");
        QTest::addColumn<int>("contactsServeur");
        QTest::addColumn<int>("contactsLocaux");
        QTest::newRow("ajouter") << "envoyer" << 3 << 3;
        // The account's own contact replaces the two of this computer.
        QTest::newRow("remplacer") << "remplacer" << 1 << 1;
    }
    void decision()
    {
        QFETCH(QString, bouton);
        QFETCH(int, contactsServeur);
        QFETCH(int, contactsLocaux);
        preparer(true, true, 2);
        store->modifier([](model::Etat& e) { e.entreprise.nom = QStringLiteral("Lumen"); });
        serveur.ecrire(QStringLiteral("contacts"),
                       R"({"id": "s1", "nom": "Roux", "majLe": "2026-03-01T10:00:00.000Z", "creeLe": "2026-03-01T10:00:00.000Z"})");
        LigneSynchro ligne(ctx);
        run();
        QCOMPARE(s->phase(), Synchro::Phase::attenteDecision);
        QCOMPARE(ligne.texte(), QStringLiteral("Vos données locales attendent votre choix"));
        QVERIFY(serveur.corps.isEmpty());   // nothing sent before the choice
        auto* d = ligne.fenetreDecision();
        QVERIFY(d);
        QCOMPARE(d->texte(), QStringLiteral("Cet ordinateur contient déjà 2 contacts et le profil de votre entreprise. Que voulez-vous en faire\u00a0?"));
        d->findChild<QPushButton*>(bouton)->click();
        QTRY_COMPARE(s->phase(), Synchro::Phase::aJour);
        QVERIFY(!ligne.fenetreDecision() || !ligne.fenetreDecision()->isVisible());
        QCOMPARE(int(serveur.donnees[QStringLiteral("contacts")].size()), contactsServeur);
        QCOMPARE(int(store->etat().contacts.size()), contactsLocaux);
    }
};

QTEST_MAIN(TestLigneSynchro)
#include "tst_lignesynchro.moc"
