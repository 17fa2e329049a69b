// CRM changes through the store: majLe stamped, stage changes and their
// consequences (outcome, sleep, follow-up stop rules), deletions reported,
// calls kept without their link; profiles and objections.
#include "crm/bibliothequecrm.h"
#include "crm/operationscrm.h"
#include "model/store.h"
#include "platform/horloge.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vd;
using namespace vd::crm;

namespace {

const QDateTime t0(QDate(2026, 3, 10), QTime(9, 0), Qt::UTC);
const QString h0 = QStringLiteral("2026-03-10T09:00:00.000Z");

model::Etat etatDeBase()
{
    model::Etat e;
    model::Contact c;
    c.id = QStringLiteral("c1");
    c.nom = QStringLiteral("Durand");
    c.etape = QStringLiteral("proposition");
    c.probabilite = 55;
    c.creeLe = c.majLe = QStringLiteral("2026-01-01T08:00:00.000Z");
    e.contacts << c;
    model::Contact autre;
    autre.id = QStringLiteral("c2");
    autre.societe = QStringLiteral("Acme");
    autre.majLe = QStringLiteral("2026-01-01T08:00:00.000Z");
    e.contacts << autre;
    for (const char* id : {"i1", "i2"}) {
        model::Interaction i;
        i.id = QString::fromLatin1(id);
        i.contactId = QStringLiteral("c1");
        e.interactions << i;
    }
    model::Interaction i3;
    i3.id = QStringLiteral("i3");
    i3.contactId = QStringLiteral("c2");
    e.interactions << i3;
    model::Appel a;
    a.id = QStringLiteral("a1");
    a.contactId = QStringLiteral("c1");
    a.statut = QStringLiteral("analyse");
    a.majLe = QStringLiteral("2026-01-01T08:00:00.000Z");
    model::Segment s;
    s.id = QStringLiteral("s1");
    s.texte = QStringLiteral("Bonjour");
    a.transcript << s;
    e.appels << a;
    model::ProfilClient p;
    p.id = QStringLiteral("p1");
    p.nom = QStringLiteral("PME de maintenance");
    e.profilsClients << p;
    e.contacts[1].profilClientId = QStringLiteral("p1");
    model::ObjectionLib o;
    o.id = QStringLiteral("o1");
    o.libelle = QStringLiteral("C'est trop cher");
    o.reponse = QStringLiteral("Comparons au coût actuel.");
    e.objections << o;
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
private Q_SLOTS:
    void creationHorodateeEtRefusee()
    {
        platform::HorlogeFactice h{t0};
        model::Store store(QString(), h);
        SaisieContact s;
        s.email = QStringLiteral("pas un email");
        auto refus = enregistrerContact(store, {}, s);
        QVERIFY(!refus);
        QCOMPARE(refus.erreur(), QStringLiteral("Indiquez au moins un nom ou une société."));
        QVERIFY(store.etat().contacts.isEmpty());
        s.societe = QStringLiteral("Acme");
        QCOMPARE(enregistrerContact(store, {}, s).erreur(), QStringLiteral("Cet email ne semble pas valide."));
        s.email.clear();
        s.etape = QStringLiteral("nimporte");
        QVERIFY(enregistrerContact(store, {}, s).erreur().startsWith(QStringLiteral("Étape inconnue : « nimporte ».")));
        s.etape = QStringLiteral("demo");
        auto ok = enregistrerContact(store, {}, s);
        QVERIFY(ok);
        QCOMPARE(store.etat().contacts.size(), 1);
        const model::Contact& c = store.etat().contacts.first();
        QVERIFY(c.id.startsWith(QStringLiteral("c_")));
        QCOMPARE(c.creeLe, h0);
        QCOMPARE(c.majLe, h0);
        QCOMPARE(c.probabilite, 35.0);
        QCOMPARE(ok.valeur(), c);
    }

    void modificationHorodateeSansToucherAuReste()
    {
        platform::HorlogeFactice h{t0};
        model::Store store(QString(), h);
        store.remplacerEtat(etatDeBase());
        h.avancer(60'000);
        SaisieContact s = SaisieContact::depuis(*store.etat().contact(QStringLiteral("c1")));
        s.valeur = QStringLiteral("12 000");
        QVERIFY(enregistrerContact(store, QStringLiteral("c1"), s));
        const model::Contact* c = store.etat().contact(QStringLiteral("c1"));
        QCOMPARE(c->valeur, 12000.0);
        QCOMPARE(c->majLe, QStringLiteral("2026-03-10T09:01:00.000Z"));
        QCOMPARE(c->creeLe, QStringLiteral("2026-01-01T08:00:00.000Z"));
        QCOMPARE(store.etat().contact(QStringLiteral("c2"))->majLe, QStringLiteral("2026-01-01T08:00:00.000Z"));
        QCOMPARE(enregistrerContact(store, QStringLiteral("absent"), s).erreur(), QStringLiteral("Aucun contact « absent »."));
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
        platform::HorlogeFactice h{t0};
        model::Store store(QString(), h);
        model::Etat e = etatDeBase();
        e.contacts[0].etape = depuis;
        e.contacts[0].relance = sequence(statutAvant, issueSequence);
        store.remplacerEtat(e);
        auto r = changerEtape(store, QStringLiteral("c1"), vers);
        QVERIFY(r);
        const model::Contact& c = *store.etat().contact(QStringLiteral("c1"));
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
        platform::HorlogeFactice h{t0};
        model::Store store(QString(), h);
        store.remplacerEtat(etatDeBase());
        const QString id = QStringLiteral("c1");
        QVERIFY(changerEtape(store, id, QStringLiteral("perdu")));
        const model::Contact* c = store.etat().contact(id);
        QCOMPARE(c->etapeAvantIssue, QStringLiteral("proposition"));
        QCOMPARE(c->issueLe, h0);
        QCOMPARE(c->probabilite, 0.0);
        // Lost to won keeps the stage before the outcome.
        QVERIFY(changerEtape(store, id, QStringLiteral("gagne")));
        c = store.etat().contact(id);
        QCOMPARE(c->etapeAvantIssue, QStringLiteral("proposition"));
        QCOMPARE(c->probabilite, 100.0);
        // Back into the pipeline: the outcome fields go.
        QVERIFY(changerEtape(store, id, QStringLiteral("negociation")));
        c = store.etat().contact(id);
        QVERIFY(!c->issueLe && !c->etapeAvantIssue && !c->issueVue);
        QCOMPARE(c->probabilite, 75.0);
        QVERIFY(changerEtape(store, id, QStringLiteral("sommeil")));
        c = store.etat().contact(id);
        QCOMPARE(c->etapeAvantSommeil, QStringLiteral("negociation"));
        QCOMPARE(c->sommeilLe, h0);
        QVERIFY(changerEtape(store, id, QStringLiteral("demo")));
        c = store.etat().contact(id);
        QVERIFY(!c->etapeAvantSommeil && !c->sommeilLe);
        QCOMPARE(changerEtape(store, id, QStringLiteral("inconnue")).erreur().left(30), QStringLiteral("Étape inconnue : « inconnue »."));
        QCOMPARE(changerEtape(store, QStringLiteral("zz"), QStringLiteral("demo")).erreur(), QStringLiteral("Aucun contact « zz »."));
    }

    void formulaireAppliqueLesReglesDEtape()
    {
        platform::HorlogeFactice h{t0};
        model::Store store(QString(), h);
        model::Etat e = etatDeBase();
        e.contacts[0].relance = sequence(QStringLiteral("active"));
        store.remplacerEtat(e);
        SaisieContact s = SaisieContact::depuis(*store.etat().contact(QStringLiteral("c1")));
        s.etape = QStringLiteral("perdu");
        s.probabilite = QStringLiteral("5");
        QVERIFY(enregistrerContact(store, QStringLiteral("c1"), s));
        const model::Contact& c = *store.etat().contact(QStringLiteral("c1"));
        QCOMPARE(relanceDe(c).value(QStringLiteral("raisonArret")).toString(), QStringLiteral("perdu"));
        QCOMPARE(c.etapeAvantIssue, QStringLiteral("proposition"));
        QCOMPARE(c.probabilite, 5.0);   // the form's own value wins over the stage default
    }

    void suppressionSignaleeEtAppelsGardes()
    {
        platform::HorlogeFactice h{t0};
        model::Store store(QString(), h);
        store.remplacerEtat(etatDeBase());
        QSignalSpy suppressions(&store, &model::Store::supprime);
        QVERIFY(supprimerContact(store, QStringLiteral("c1")));
        QCOMPARE(suppressions.count(), 3);
        QCOMPARE(suppressions.at(0), (QList<QVariant>{QStringLiteral("contacts"), QStringLiteral("c1"), h0}));
        QCOMPARE(suppressions.at(1), (QList<QVariant>{QStringLiteral("interactions"), QStringLiteral("i1"), h0}));
        QCOMPARE(suppressions.at(2), (QList<QVariant>{QStringLiteral("interactions"), QStringLiteral("i2"), h0}));
        const model::Etat& e = store.etat();
        QVERIFY(!e.contact(QStringLiteral("c1")));
        QCOMPARE(e.interactions.size(), 1);
        QCOMPARE(e.interactions.first().id, QStringLiteral("i3"));
        const model::Appel* a = e.appel(QStringLiteral("a1"));
        QVERIFY(a);
        QVERIFY(!a->contactId);
        QCOMPARE(a->majLe, h0);
        QCOMPARE(a->transcript.size(), 1);
        QCOMPARE(a->transcript.first().texte, QStringLiteral("Bonjour"));
        QVERIFY(!supprimerContact(store, QStringLiteral("c1")));
        QCOMPARE(suppressions.count(), 3);
    }

    void modificationSimpleNeSignaleAucuneSuppression()
    {
        platform::HorlogeFactice h{t0};
        model::Store store(QString(), h);
        store.remplacerEtat(etatDeBase());
        QSignalSpy suppressions(&store, &model::Store::supprime);
        QVERIFY(changerEtape(store, QStringLiteral("c1"), QStringLiteral("demo")));
        store.modifier([](model::Etat& e) { e.interactions.removeLast(); });   // not an explicit deletion
        QCOMPARE(suppressions.count(), 0);
    }

    void profils()
    {
        platform::HorlogeFactice h{t0};
        model::Store store(QString(), h);
        store.remplacerEtat(etatDeBase());
        model::ProfilClient p;
        p.nom = QStringLiteral("   ");
        QCOMPARE(enregistrerProfil(store, p).erreur(), QStringLiteral("Indiquez un nom pour ce profil."));
        p.nom = QStringLiteral("pme de MAINTENANCE");
        QCOMPARE(enregistrerProfil(store, p).erreur(), QStringLiteral("Un profil porte déjà ce nom."));
        p.nom = QStringLiteral("Réseaux de services");
        p.douleurs = {QStringLiteral(" Plannings "), QString(), QStringLiteral("Urgences")};
        auto r = enregistrerProfil(store, p);
        QVERIFY(r);
        QCOMPARE(r.valeur().creeLe, h0);
        QCOMPARE(r.valeur().majLe, h0);
        QCOMPARE(r.valeur().douleurs, (QStringList{QStringLiteral("Plannings"), QStringLiteral("Urgences")}));
        QCOMPARE(store.etat().profilsClients.size(), 2);
        // Renaming a profile to its own name is no duplicate.
        model::ProfilClient existant = store.etat().profilsClients.first();
        existant.secteur = QStringLiteral("Maintenance");
        h.avancer(1000);
        QVERIFY(enregistrerProfil(store, existant));
        QCOMPARE(store.etat().profilsClients.first().majLe, QStringLiteral("2026-03-10T09:00:01.000Z"));
        QSignalSpy suppressions(&store, &model::Store::supprime);
        QVERIFY(supprimerProfil(store, QStringLiteral("p1")));
        QCOMPARE(suppressions.count(), 1);
        QCOMPARE(suppressions.first().at(0).toString(), QStringLiteral("profilsClients"));
        const model::Contact* c2 = store.etat().contact(QStringLiteral("c2"));
        QVERIFY(c2 && c2->profilClientId.isEmpty());
        QCOMPARE(c2->majLe, QStringLiteral("2026-03-10T09:00:01.000Z"));
        QVERIFY(!supprimerProfil(store, QStringLiteral("p1")));
    }

    void objections()
    {
        platform::HorlogeFactice h{t0};
        model::Store store(QString(), h);
        store.remplacerEtat(etatDeBase());
        model::ObjectionLib o;
        QCOMPARE(enregistrerObjection(store, o).erreur(), QStringLiteral("Indiquez l'objection."));
        o.libelle = QStringLiteral("c’est trop CHER");
        QCOMPARE(enregistrerObjection(store, o).erreur(), QStringLiteral("Indiquez la réponse préparée."));
        o.reponse = QStringLiteral("…");
        QCOMPARE(enregistrerObjection(store, o).erreur(), QStringLiteral("Cette objection est déjà dans la bibliothèque."));
        o.libelle = QStringLiteral("Pas le moment");
        auto r = enregistrerObjection(store, o);
        QVERIFY(r);
        QCOMPARE(r.valeur().categorie, QStringLiteral("autre"));
        QCOMPARE(r.valeur().majLe, h0);
        QSignalSpy suppressions(&store, &model::Store::supprime);
        QVERIFY(supprimerObjection(store, r.valeur().id));
        QCOMPARE(suppressions.count(), 1);
        QCOMPARE(suppressions.first().at(0).toString(), QStringLiteral("objections"));
        QCOMPARE(store.etat().objections.size(), 1);
    }

    void changementDEtapeSurvitAuRedemarrage()
    {
        QTemporaryDir dossier;
        const QString fichier = dossier.filePath(QStringLiteral("etat.json"));
        {
            platform::HorlogeFactice h{t0};
            model::Store store(fichier, h);
            store.remplacerEtat(etatDeBase());
            QVERIFY(changerEtape(store, QStringLiteral("c1"), QStringLiteral("gagne")));
            store.sauvegarder(true);
            QVERIFY(!store.erreurSauvegarde());
        }
        platform::HorlogeFactice h{t0};
        model::Store relu(fichier, h);
        QCOMPARE(relu.etat().contact(QStringLiteral("c1"))->etape, QStringLiteral("gagne"));
        QCOMPARE(relu.etat().contact(QStringLiteral("c1"))->majLe, h0);
    }
};

QTEST_GUILESS_MAIN(TestOperationsCRM)
#include "tst_operationscrm.moc"
