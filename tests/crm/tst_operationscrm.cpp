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
const QString janvier = QStringLiteral("2026-01-01T08:00:00.000Z");

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
        QCOMPARE(enregistrerContact(*store, {}, s).erreur(), QStringLiteral("Indiquez au moins un nom ou une société."));
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
        QVERIFY(c.id.startsWith(QStringLiteral("c_")) && c.creeLe == h0 && c.majLe == h0);
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

    // From a stage with a sequence in some status (and made for an outcome), to another stage: the sequence's status and
    // stop reason after.
    void changementDEtape_data()
    {
        QTest::addColumn<QStringList>("cas");   // from, to, status before, sequence's outcome, status after, reason
        QTest::newRow("perdu arrête la séquence active") << QStringList{"proposition", "perdu", "active", "", "arretee", "perdu"};
        QTest::newRow("perdu arrête aussi une séquence d'affaire gagnée") << QStringList{"gagne", "perdu", "active", "gagne", "arretee", "perdu"};
        QTest::newRow("gagné arrête la séquence") << QStringList{"negociation", "gagne", "active", "", "arretee", "gagne"};
        QTest::newRow("gagné garde la séquence faite pour l'affaire gagnée") << QStringList{"negociation", "gagne", "active", "gagne", "active", ""};
        QTest::newRow("gagné arrête une proposition") << QStringList{"negociation", "gagne", "proposee", "", "arretee", "gagne"};
        QTest::newRow("autre étape ne change rien") << QStringList{"decouverte", "demo", "active", "", "active", ""};
        QTest::newRow("séquence finie reste finie") << QStringList{"negociation", "perdu", "terminee", "", "terminee", ""};
        QTest::newRow("séquence arrêtée garde sa raison") << QStringList{"negociation", "gagne", "arretee", "", "arretee", ""};
    }
    void changementDEtape()
    {
        QFETCH(QStringList, cas);
        model::Etat e = etatDeBase();
        e.contacts[0].etape = cas[0];
        e.contacts[0].relance = sequence(cas[2], cas[3]);
        store->remplacerEtat(e);
        QVERIFY(changerEtape(*store, QStringLiteral("c1"), cas[1]));
        const model::Contact& c = *store->etat().contact(QStringLiteral("c1"));
        QCOMPARE(c.etape + '|' + c.majLe, cas[1] + '|' + h0);
        // Stopped now: the date of the stop with its reason.
        QCOMPARE(champs(relanceDe(c), {"statut", "raisonArret", "arreteeLe"}), cas[4] + '|' + cas[5] + '|' + (cas[5].isEmpty() ? QString() : h0));
    }

    void issueEtSommeil()
    {
        const QString id = QStringLiteral("c1");
        // After each change: stage before the outcome|outcome date|probability|stage before sleep|sleep date.
        const auto apres = [&](const char* etape) {
            const auto r = changerEtape(*store, id, QString::fromLatin1(etape));
            const model::Contact* c = store->etat().contact(id);
            return r ? QStringList({c->etapeAvantIssue.value_or("-"), c->issueLe.value_or("-"), QString::number(c->probabilite),
                                    c->etapeAvantSommeil.value_or("-"), c->sommeilLe.value_or("-")})
                           .join('|')
                     : r.erreur();
        };
        QCOMPARE(apres("perdu"), "proposition|" + h0 + "|0|-|-");
        // Lost to won keeps the stage before the outcome.
        QCOMPARE(apres("gagne"), "proposition|" + h0 + "|100|-|-");
        // Back into the pipeline: the outcome fields go.
        QCOMPARE(apres("negociation"), QStringLiteral("-|-|75|-|-"));
        QVERIFY(!store->etat().contact(id)->issueVue);
        QCOMPARE(apres("sommeil"), "-|-|5|negociation|" + h0);
        QCOMPARE(apres("demo"), QStringLiteral("-|-|35|-|-"));
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
        // The form's own probability wins over the stage default.
        QCOMPARE(champs(relanceDe(c), {"raisonArret"}) + '|' + c.etapeAvantIssue.value_or(QString()) + '|' + QString::number(c.probabilite),
                 QStringLiteral("perdu|proposition|5"));
    }

    void suppressionSignaleeEtAppelsGardes()
    {
        QSignalSpy suppressions(store.get(), &model::Store::supprime);
        QVERIFY(supprimerContact(*store, QStringLiteral("c1")));
        QCOMPARE(QList<QList<QVariant>>(suppressions), (QList<QList<QVariant>>{{QStringLiteral("contacts"), QStringLiteral("c1"), h0},
                                                                             {QStringLiteral("interactions"), QStringLiteral("i1"), h0},
                                                                             {QStringLiteral("interactions"), QStringLiteral("i2"), h0}}));
        const model::Etat& e = store->etat();
        QVERIFY(!e.contact(QStringLiteral("c1")) && e.interactions.size() == 1);
        QCOMPARE(e.interactions.first().id, QStringLiteral("i3"));
        // The call stays, with its transcript, without its contact.
        const model::Appel* a = e.appel(QStringLiteral("a1"));
        QVERIFY(a && !a->contactId);
        QCOMPARE(a->majLe + '|' + a->transcript.value(0).texte + '|' + QString::number(a->transcript.size()), h0 + "|Bonjour|1");
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
        QCOMPARE(r.valeur().creeLe + '|' + r.valeur().majLe + '|' + r.valeur().douleurs.join(','), h0 + '|' + h0 + "|Plannings,Urgences");
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
        QCOMPARE(r.valeur().categorie + '|' + r.valeur().majLe, "autre|" + h0);
        QSignalSpy suppressions(store.get(), &model::Store::supprime);
        QVERIFY(supprimerObjection(*store, r.valeur().id));
        QCOMPARE(suppressions.count(), 1);
        QCOMPARE(suppressions.first().at(0).toString(), QStringLiteral("objections"));
        QCOMPARE(store->etat().objections.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestOperationsCRM)
#include "tst_operationscrm.moc"
