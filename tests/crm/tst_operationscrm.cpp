// CRM changes through the store: majLe stamped, stage changes and their
// consequences (outcome, sleep, follow-up stop rules), deletions reported,
// calls kept without their link; profiles and objections.
#include "crm/bibliothequecrm.h"
#include "crm/operationscrm.h"
#include "model/store.h"
#include "platform/horloge.h"
#include "commun_crm.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace vd;
using namespace vd::crm;
using vd::tests::champs;

namespace {

const QDateTime t0(QDate(2026, 3, 10), QTime(9, 0), Qt::UTC);
const QString h0 = QStringLiteral("2026-03-10T09:00:00.000Z");
const QString janvier = janvier;

model::Etat etatDeBase()
{
    model::Etat e;
    e.contacts = {{.id = "c1", .nom = "Durand", .etape = "proposition", .probabilite = 55, .creeLe = janvier, .majLe = janvier},
                  {.id = "c2", .societe = "Acme", .profilClientId = "p1", .majLe = janvier}};
    e.interactions = {{.id = "i1", .contactId = "c1"}, {.id = "i2", .contactId = "c1"}, {.id = "i3", .contactId = "c2"}};
    e.appels = {{.id = "a1", .contactId = "c1", .statut = "analyse", .transcript = {{.id = "s1", .texte = "Bonjour"}}, .majLe = janvier}};
    e.profilsClients = {{.id = "p1", .nom = "PME de maintenance"}};
    e.objections = {{.id = "o1", .libelle = "C'est trop cher", .reponse = "Comparons au coût actuel."}};
    return e;
}

model::JSONValeur sequence(const QString& statut, const QString& issue = {})
{
    QJsonObject s{{QStringLiteral("statut"), statut}, {QStringLiteral("etapes"), QJsonArray{}}};
    if (!issue.isEmpty())
        s.insert(QStringLiteral("issue"), issue);
    return model::JSONValeur(s);
}

QJsonObject relanceDe(const model::Contact& c) { return c.relance ? c.relance->qt().toObject() : QJsonObject(); }

} // namespace

class TestOperationsCRM : public QObject {
    Q_OBJECT
    platform::HorlogeFactice h{t0};
    std::unique_ptr<model::Store> store;

private Q_SLOTS:
    void init()
    {
        h.fixer(t0);
        store = std::make_unique<model::Store>(QString(), h);
        store->remplacerEtat(etatDeBase());
    }

    void creationHorodateeEtRefusee()
    {
        store->remplacerEtat({});
        SaisieContact s;
        s.email = QStringLiteral("pas un email");
        auto refus = enregistrerContact(*store, {}, s);
        QVERIFY(!refus);
        QCOMPARE(refus.erreur(), QStringLiteral("Indiquez au moins un nom ou une société."));
        QVERIFY(store->etat().contacts.isEmpty());
        s.societe = QStringLiteral("Acme");
        QCOMPARE(enregistrerContact(*store, {}, s).erreur(), QStringLiteral("Cet email ne semble pas valide."));
        s.email.clear();
        s.etape = QStringLiteral("nimporte");
        QVERIFY(enregistrerContact(*store, {}, s).erreur().startsWith(QStringLiteral("Étape inconnue : « nimporte ».")));
        s.etape = QStringLiteral("demo");
        auto ok = enregistrerContact(*store, {}, s);
        QVERIFY(ok);
        QCOMPARE(store->etat().contacts.size(), 1);
        const model::Contact& c = store->etat().contacts.first();
        QVERIFY(c.id.startsWith(QStringLiteral("c_")));
        QVERIFY(c.creeLe == h0 && c.majLe == h0);
        QCOMPARE(c.probabilite, 35.0);
        QCOMPARE(ok.valeur(), c);
    }

    void modificationHorodateeSansToucherAuReste()
    {
        h.avancer(60'000);
        SaisieContact s = SaisieContact::depuis(*store->etat().contact(QStringLiteral("c1")));
        s.valeur = QStringLiteral("12 000");
        QVERIFY(enregistrerContact(*store, QStringLiteral("c1"), s));
        const model::Contact* c = store->etat().contact(QStringLiteral("c1"));
        QCOMPARE(c->valeur, 12000.0);
        QCOMPARE(c->majLe, QStringLiteral("2026-03-10T09:01:00.000Z"));
        QCOMPARE(c->creeLe, janvier);
        QCOMPARE(store->etat().contact(QStringLiteral("c2"))->majLe, janvier);
        QCOMPARE(enregistrerContact(*store, QStringLiteral("absent"), s).erreur(), QStringLiteral("Aucun contact « absent »."));
    }

    void changementDEtape_data()
    {
        QTest::addColumn<QString>("depuis");
        QTest::addColumn<QString>("vers");
        QTest::addColumn<QString>("statutAvant");
        QTest::addColumn<QString>("issueSequence");
        QTest::addColumn<QString>("statutApres");
        QTest::addColumn<QString>("raison");
        QTest::newRow("perdu arrête la séquence active") << "proposition" << "perdu" << "active" << "" << "arretee" << "perdu";
        QTest::newRow("perdu arrête aussi une séquence d'affaire gagnée") << "gagne" << "perdu" << "active" << "gagne" << "arretee" << "perdu";
        QTest::newRow("gagné arrête la séquence") << "negociation" << "gagne" << "active" << "" << "arretee" << "gagne";
        QTest::newRow("gagné garde la séquence faite pour l'affaire gagnée") << "negociation" << "gagne" << "active" << "gagne" << "active" << "";
        QTest::newRow("gagné arrête une proposition") << "negociation" << "gagne" << "proposee" << "" << "arretee" << "gagne";
        QTest::newRow("autre étape ne change rien") << "decouverte" << "demo" << "active" << "" << "active" << "";
        QTest::newRow("séquence finie reste finie") << "negociation" << "perdu" << "terminee" << "" << "terminee" << "";
        QTest::newRow("séquence arrêtée garde sa raison") << "negociation" << "gagne" << "arretee" << "" << "arretee" << "";
    }
    void changementDEtape()
    {
        QFETCH(QString, depuis);
        QFETCH(QString, vers);
        QFETCH(QString, statutAvant);
        QFETCH(QString, issueSequence);
        QFETCH(QString, statutApres);
        QFETCH(QString, raison);
        model::Etat e = etatDeBase();
        e.contacts[0].etape = depuis;
        e.contacts[0].relance = sequence(statutAvant, issueSequence);
        store->remplacerEtat(e);
        auto r = changerEtape(*store, QStringLiteral("c1"), vers);
        QVERIFY(r);
        const model::Contact& c = *store->etat().contact(QStringLiteral("c1"));
        QCOMPARE(c.etape, vers);
        QCOMPARE(c.majLe, h0);
        const QJsonObject s = relanceDe(c);
        QCOMPARE(s.value(QStringLiteral("statut")).toString(), statutApres);
        QCOMPARE(s.value(QStringLiteral("raisonArret")).toString(), raison);
        if (!raison.isEmpty())
            QCOMPARE(s.value(QStringLiteral("arreteeLe")).toString(), h0);
    }

    void issueEtSommeil()
    {
            const QString id = QStringLiteral("c1");
        QVERIFY(changerEtape(*store, id, QStringLiteral("perdu")));
        const auto c = [&] { return store->etat().contact(id); };
        QCOMPARE(c()->etapeAvantIssue, QStringLiteral("proposition"));
        QCOMPARE(c()->issueLe, h0);
        QCOMPARE(c()->probabilite, 0.0);
        // Lost to won keeps the stage before the outcome.
        QVERIFY(changerEtape(*store, id, QStringLiteral("gagne")));
        QCOMPARE(c()->etapeAvantIssue, QStringLiteral("proposition"));
        QCOMPARE(c()->probabilite, 100.0);
        // Back into the pipeline: the outcome fields go.
        QVERIFY(changerEtape(*store, id, QStringLiteral("negociation")));
        QVERIFY(!c()->issueLe && !c()->etapeAvantIssue && !c()->issueVue);
        QCOMPARE(c()->probabilite, 75.0);
        QVERIFY(changerEtape(*store, id, QStringLiteral("sommeil")));
        QCOMPARE(c()->etapeAvantSommeil, QStringLiteral("negociation"));
        QCOMPARE(c()->sommeilLe, h0);
        QVERIFY(changerEtape(*store, id, QStringLiteral("demo")));
        QVERIFY(!c()->etapeAvantSommeil && !c()->sommeilLe);
        QCOMPARE(changerEtape(*store, id, QStringLiteral("inconnue")).erreur().left(30), QStringLiteral("Étape inconnue : « inconnue »."));
        QCOMPARE(changerEtape(*store, QStringLiteral("zz"), QStringLiteral("demo")).erreur(), QStringLiteral("Aucun contact « zz »."));
    }

    void formulaireAppliqueLesReglesDEtape()
    {
        model::Etat e = etatDeBase();
        e.contacts[0].relance = sequence(QStringLiteral("active"));
        store->remplacerEtat(e);
        SaisieContact s = SaisieContact::depuis(*store->etat().contact(QStringLiteral("c1")));
        s.etape = QStringLiteral("perdu");
        s.probabilite = QStringLiteral("5");
        QVERIFY(enregistrerContact(*store, QStringLiteral("c1"), s));
        const model::Contact& c = *store->etat().contact(QStringLiteral("c1"));
        QCOMPARE(relanceDe(c).value(QStringLiteral("raisonArret")).toString(), QStringLiteral("perdu"));
        QCOMPARE(c.etapeAvantIssue, QStringLiteral("proposition"));
        QCOMPARE(c.probabilite, 5.0);   // the form's own value wins over the stage default
    }

    void suppressionSignaleeEtAppelsGardes()
    {
        QSignalSpy suppressions(store.get(), &model::Store::supprime);
        QVERIFY(supprimerContact(*store, QStringLiteral("c1")));
        QCOMPARE(suppressions.count(), 3);
        QCOMPARE(QList<QList<QVariant>>(suppressions), (QList<QList<QVariant>>{{QStringLiteral("contacts"), QStringLiteral("c1"), h0},
                                                                             {QStringLiteral("interactions"), QStringLiteral("i1"), h0},
                                                                             {QStringLiteral("interactions"), QStringLiteral("i2"), h0}}));
        const model::Etat& e = store->etat();
        QVERIFY(!e.contact(QStringLiteral("c1")));
        QCOMPARE(e.interactions.size(), 1);
        QCOMPARE(e.interactions.first().id, QStringLiteral("i3"));
        const model::Appel* a = e.appel(QStringLiteral("a1"));
        QVERIFY(a);
        QVERIFY(!a->contactId);
        QCOMPARE(a->majLe, h0);
        QCOMPARE(a->transcript.size(), 1);
        QCOMPARE(a->transcript.first().texte, QStringLiteral("Bonjour"));
        QVERIFY(!supprimerContact(*store, QStringLiteral("c1")));
        store->modifier([](model::Etat& e) { e.interactions.removeLast(); });   // an edit, not an explicit deletion
        QCOMPARE(suppressions.count(), 3);
    }

    void profils()
    {
            model::ProfilClient p;
        p.nom = QStringLiteral("   ");
        QCOMPARE(enregistrerProfil(*store, p).erreur(), QStringLiteral("Indiquez un nom pour ce profil."));
        p.nom = QStringLiteral("pme de MAINTENANCE");
        QCOMPARE(enregistrerProfil(*store, p).erreur(), QStringLiteral("Un profil porte déjà ce nom."));
        p.nom = QStringLiteral("Réseaux de services");
        p.douleurs = {QStringLiteral(" Plannings "), QString(), QStringLiteral("Urgences")};
        auto r = enregistrerProfil(*store, p);
        QVERIFY(r);
        QCOMPARE(r.valeur().creeLe, h0);
        QCOMPARE(r.valeur().majLe, h0);
        QCOMPARE(r.valeur().douleurs, (QStringList{QStringLiteral("Plannings"), QStringLiteral("Urgences")}));
        QCOMPARE(store->etat().profilsClients.size(), 2);
        // Renaming a profile to its own name is no duplicate.
        model::ProfilClient existant = store->etat().profilsClients.first();
        existant.secteur = QStringLiteral("Maintenance");
        h.avancer(1000);
        QVERIFY(enregistrerProfil(*store, existant));
        QCOMPARE(store->etat().profilsClients.first().majLe, QStringLiteral("2026-03-10T09:00:01.000Z"));
        QSignalSpy suppressions(store.get(), &model::Store::supprime);
        QVERIFY(supprimerProfil(*store, QStringLiteral("p1")));
        QCOMPARE(suppressions.count(), 1);
        QCOMPARE(suppressions.first().at(0).toString(), QStringLiteral("profilsClients"));
        const model::Contact* c2 = store->etat().contact(QStringLiteral("c2"));
        QVERIFY(c2 && c2->profilClientId.isEmpty());
        QCOMPARE(c2->majLe, QStringLiteral("2026-03-10T09:00:01.000Z"));
        QVERIFY(!supprimerProfil(*store, QStringLiteral("p1")));
    }

    void objections()
    {
            model::ObjectionLib o;
        QCOMPARE(enregistrerObjection(*store, o).erreur(), QStringLiteral("Indiquez l'objection."));
        o.libelle = QStringLiteral("c’est trop CHER");
        QCOMPARE(enregistrerObjection(*store, o).erreur(), QStringLiteral("Indiquez la réponse préparée."));
        o.reponse = QStringLiteral("…");
        QCOMPARE(enregistrerObjection(*store, o).erreur(), QStringLiteral("Cette objection est déjà dans la bibliothèque."));
        o.libelle = QStringLiteral("Pas le moment");
        auto r = enregistrerObjection(*store, o);
        QVERIFY(r);
        QCOMPARE(r.valeur().categorie, QStringLiteral("autre"));
        QCOMPARE(r.valeur().majLe, h0);
        QSignalSpy suppressions(store.get(), &model::Store::supprime);
        QVERIFY(supprimerObjection(*store, r.valeur().id));
        QCOMPARE(suppressions.count(), 1);
        QCOMPARE(suppressions.first().at(0).toString(), QStringLiteral("objections"));
        QCOMPARE(store->etat().objections.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestOperationsCRM)
#include "tst_operationscrm.moc"
