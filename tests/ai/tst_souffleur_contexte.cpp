// The live-help context on the shipped engine script: built from the store's current data (the
// call's contact, the objection library, the salesperson), off the main thread, and again when
// the contact or the library changes during the call.
#include "ai/etatmoteur.h"
#include "ai/souffleur.h"
#include "fakes/appelfactice.h"
#include "fakes/clientiascripte.h"
#include "model/store.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>

using namespace vd;
using vd::fakes::AppelFactice;
using vd::fakes::ClientIAScripte;

namespace {

model::Contact contact(const QString& id, const QString& prenom, const QString& nom)
{
    model::Contact c;
    c.id = id;
    c.prenom = prenom;
    c.nom = nom;
    c.societe = QStringLiteral("Morel Bâtiment");
    return c;
}

model::ObjectionLib objection(const QString& id, const QString& libelle, const QString& reponse)
{
    model::ObjectionLib o;
    o.id = id;
    o.categorie = QStringLiteral("prix");
    o.libelle = libelle;
    o.reponse = reponse;
    return o;
}

model::Appel appelDe(const QString& id, const QString& contactId)
{
    model::Appel a;
    a.id = id;
    a.contactId = contactId;
    a.statut = QStringLiteral("analyse");
    a.debut = QStringLiteral("2026-11-02T10:00:00.000Z");
    return a;
}

void remplir(model::Store& store)
{
    store.modifier([](model::Etat& e) {
        e.contacts = {contact(QStringLiteral("c_autre"), QStringLiteral("Anne"), QStringLiteral("Roy")),
                      contact(QStringLiteral("c_morel"), QStringLiteral("Julien"), QStringLiteral("Morel"))};
        e.objections = {objection(QStringLiteral("o1"), QStringLiteral("C'est trop cher"), QStringLiteral("Ramenez au coût du problème.")),
                        objection(QStringLiteral("o2"), QStringLiteral("Pas de budget cette année"), QStringLiteral("Demandez quand le budget s'ouvre."))};
        e.reglages.commercial.prenom = QStringLiteral("Camille");
        e.appels = {appelDe(QStringLiteral("p1"), QStringLiteral("c_morel")), appelDe(QStringLiteral("p2"), QStringLiteral("c_autre"))};
    });
}

} // namespace

class TestSouffleurContexte : public QObject {
    Q_OBJECT
    std::unique_ptr<ai::Moteur> moteur;

private Q_SLOTS:
    void initTestCase()
    {
        moteur = std::make_unique<ai::Moteur>(QStringLiteral(VD_RESOURCES_DIR "/moteur.js"));
        QVERIFY2(!moteur->charger(), "moteur.js");
    }

    void etatDuContactSeulement()
    {
        model::Store store;
        remplir(store);
        const model::Etat e = ai::etatPourContact(store.etat(), QStringLiteral("c_morel"));
        QCOMPARE(e.contacts.size(), 1);
        QCOMPARE(e.contacts[0].nom, QStringLiteral("Morel"));
        QCOMPARE(e.appels.size(), 1);
        QCOMPARE(e.appels[0].id, QStringLiteral("p1"));
        QCOMPARE(e.objections.size(), 2);
        QCOMPARE(e.reglages.commercial.prenom, QStringLiteral("Camille"));
        // No contact: the shared data only.
        const model::Etat sans = ai::etatPourContact(store.etat(), std::nullopt);
        QVERIFY(sans.contacts.isEmpty() && sans.appels.isEmpty());
        QCOMPARE(sans.objections.size(), 2);
    }

    void aideAvecLesDonneesDuStore()
    {
        model::Store store;
        remplir(store);
        ClientIAScripte client;
        ai::Souffleur s(*moteur, client);
        s.setSourceEtat([&store] { return store.etat(); });
        AppelFactice appel;
        appel.config.insert(QStringLiteral("contactId"), QStringLiteral("c_morel"));
        s.setAppel(&appel);
        // Another caller left an empty state in the engine: the context must not rely on it.
        QVERIFY(moteur->appeler(QStringLiteral("chargerEtat"), {QJsonObject()}).ok());

        QSignalSpy pret(&s, &ai::Souffleur::contexteChange);
        s.preparerContexte();
        QVERIFY(s.contexte().isNull());   // built on the worker thread, delivered later
        QVERIFY(pret.wait(5000));
        appel.dire(QStringLiteral("prospect"), QStringLiteral("C'est trop cher pour nous."), 1000, 3000);
        QVERIFY(s.assistance().ok());
        QCOMPARE(client.requetes.size(), 1);
        const QJsonObject ctx = client.requetes[0].payload.toObject().value("contexte").toObject();
        QCOMPARE(ctx.value("contact").toObject().value("nom").toString(), QStringLiteral("Julien Morel"));
        QCOMPARE(ctx.value("objections").toArray().size(), 2);
        QCOMPARE(ctx.value("objections").toArray()[0].toObject().value("libelle").toString(), QStringLiteral("C'est trop cher"));
        QCOMPARE(ctx.value("commercial").toObject().value("prenom").toString(), QStringLiteral("Camille"));
        QCOMPARE(ctx.value("historique").toArray().size(), 1);   // the contact's own past call only

        // The library and the contact change during the call: the context follows.
        store.modifier([](model::Etat& e) {
            e.objections.append(objection(QStringLiteral("o3"), QStringLiteral("Je dois en parler"), QStringLiteral("Avec qui ?")));
        });
        s.etatModifie(store.etat());
        QVERIFY(pret.wait(5000));
        QCOMPARE(s.contexte().toObject().value("objections").toArray().size(), 3);
        store.modifier([](model::Etat& e) { e.contact(QStringLiteral("c_morel"))->prenom = QStringLiteral("Jules"); });
        s.etatModifie(store.etat());
        QVERIFY(pret.wait(5000));
        QCOMPARE(s.contexte().toObject().value("contact").toObject().value("nom").toString(), QStringLiteral("Jules Morel"));

        // A change elsewhere (another call's transcript) does not rebuild it.
        const int avant = int(pret.count());
        store.modifier([](model::Etat& e) { e.appels[1].objectif = QStringLiteral("autre"); });
        s.etatModifie(store.etat());
        QTest::qWait(100);
        QCOMPARE(int(pret.count()), avant);
    }

    void aideAvantQueLeContexteSoitPret()
    {
        // A request right at the start of the call builds the context in place, from the store.
        model::Store store;
        remplir(store);
        ClientIAScripte client;
        ai::Souffleur s(*moteur, client);
        s.setSourceEtat([&store] { return store.etat(); });
        AppelFactice appel;
        appel.config.insert(QStringLiteral("contactId"), QStringLiteral("c_morel"));
        s.setAppel(&appel);
        QVERIFY(moteur->appeler(QStringLiteral("chargerEtat"), {QJsonObject()}).ok());
        QVERIFY(s.recap().ok());
        const QJsonObject ctx = client.requetes[0].payload.toObject().value("contexte").toObject();
        QCOMPARE(ctx.value("contact").toObject().value("nom").toString(), QStringLiteral("Julien Morel"));
        QCOMPARE(ctx.value("objections").toArray().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestSouffleurContexte)
#include "tst_souffleur_contexte.moc"
