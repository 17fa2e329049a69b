// Live help: requests, refusals, streaming, detection on joined finals, history
// and ratings, and its context built from the store on the shipped script.
#include "ai/etatmoteur.h"
#include "ai/souffleur.h"
#include "fakes/appelfactice.h"
#include "fakes/clientiascripte.h"
#include "model/store.h"
#include "moteur_commun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using namespace vd;
using vd::fakes::AppelFactice;
using vd::fakes::ClientIAScripte;
using vd::tests::champs;

namespace {
const QString cheminMoteur = QStringLiteral(VD_SOURCE_DIR "/tests/ai/moteur_factice.js");
const QString prospect = QStringLiteral("prospect");
const QString vous = QStringLiteral("vous");

// A prompter on a scripted client, attached to a call in progress.
struct Banc {
    ClientIAScripte client;
    ai::Souffleur s;
    AppelFactice appel;
    explicit Banc(ai::Moteur& m, const model::Reglages& r = {}) : s(m, client)
    {
        s.setReglages(r);
        s.setAppel(&appel);
    }
};

// Apostrophes in raw strings are written \u0027: the moc of Qt 6.4 misreads a raw string holding one.
const char* donneesStore = R"({
  "contacts": [{"id": "c_autre", "prenom": "Anne", "nom": "Roy", "societe": "Morel Bâtiment"},
               {"id": "c_morel", "prenom": "Julien", "nom": "Morel", "societe": "Morel Bâtiment"}],
  "objections": [{"id": "o1", "categorie": "prix", "libelle": "C\u0027est trop cher", "reponse": "Ramenez au coût du problème."},
                 {"id": "o2", "categorie": "prix", "libelle": "Pas de budget cette année", "reponse": "Demandez quand le budget s\u0027ouvre."}],
  "reglages": {"commercial": {"prenom": "Camille"}},
  "appels": [{"id": "p1", "contactId": "c_morel", "statut": "analyse", "debut": "2026-11-02T10:00:00.000Z"},
             {"id": "p2", "contactId": "c_autre", "statut": "analyse", "debut": "2026-11-02T10:00:00.000Z"}]
})";

void remplir(model::Store& store) { store.remplacerEtat(model::Etat::depuisJson(QJsonDocument::fromJson(donneesStore).object()).value_or(model::Etat())); }

// The same on the store's data for Morel's call, with an empty state left in
// the engine by another caller: the context must not rely on it.
struct BancStore {
    model::Store store;
    ClientIAScripte client;
    ai::Souffleur s;
    AppelFactice appel;
    explicit BancStore(ai::Moteur& m) : s(m, client)
    {
        remplir(store);
        s.setSourceEtat([this] { return store.etat(); });
        appel.config.insert(QStringLiteral("contactId"), QStringLiteral("c_morel"));
        s.setAppel(&appel);
        m.appeler(QStringLiteral("chargerEtat"), {QJsonObject()});
    }
};

} // namespace

class TestSouffleur : public QObject {
    Q_OBJECT
    std::unique_ptr<ai::Moteur> moteur;
    std::unique_ptr<ai::Moteur> livre;   // the shipped script

    int contextes() { return int(moteur->appelerNombre(QStringLiteral("nbContextes")).valeurOu(-1)); }

private Q_SLOTS:
    void initTestCase()
    {
        moteur = std::make_unique<ai::Moteur>(cheminMoteur);
        QVERIFY(!moteur->charger());
        livre = std::make_unique<ai::Moteur>(QStringLiteral(VD_RESOURCES_DIR "/moteur.js"));
        QVERIFY2(!livre->charger(), "moteur.js");
    }

    void refuseSansAppel()
    {
        ClientIAScripte client;
        AppelFactice appel;
        appel.actif = false;
        ai::Souffleur s(*moteur, client), seul(*moteur, client);   // a call that has ended, and no call at all
        s.setAppel(&appel);
        const QList<std::pair<QString, QString>> demandes{{"objection", {}}, {"questions", {}}, {"recap", {}}, {"libre", "Quel prix annoncer ?"}};
        for (const auto& [tache, demande] : demandes) {
            QCOMPARE(tache + ": " + s.demander(tache, demande).erreur(), tache + ": L'appel n'est pas en cours.");
            QCOMPARE(seul.demander(tache, demande).erreur(), QStringLiteral("L'appel n'est pas en cours."));
        }
        QCOMPARE(client.requetes.size(), 0);
        QVERIFY(s.aides().isEmpty());
    }

    void doubleDeclenchementUneFois()
    {
        Banc b(*moteur);
        auto& [client, s, appel] = b;
        auto a = s.assistance();
        auto encore = s.assistance();
        QVERIFY(a.ok() && encore.ok());
        QCOMPARE(a.valeur(), encore.valeur());
        QCOMPARE(client.requetes.size(), 1);
        QCOMPARE(s.aides().size(), 1);
        // Once answered, the same key may be asked again.
        client.derniere()->terminer(QStringLiteral("{\"reponse\": \"Par rapport à quoi ?\"}"));
        QVERIFY(s.assistance().ok());
        QCOMPARE(client.requetes.size(), 2);
    }

    void questionsLibresDistinctes()
    {
        Banc b(*moteur);
        auto& [client, s, appel] = b;
        QVERIFY(s.question(QStringLiteral("Quel délai proposer ?")).ok());
        QVERIFY(s.question(QStringLiteral("Quel délai  proposer ?")).ok());   // the same question
        QVERIFY(s.question(QStringLiteral("Quelle remise accorder ?")).ok());
        QCOMPARE(client.requetes.size(), 2);
        QCOMPARE(client.requetes[1].payload.toObject().value("demande").toString(), QStringLiteral("Quelle remise accorder ?"));
        QVERIFY(!s.question(QStringLiteral("   ")).ok());
        QCOMPARE(client.requetes.size(), 2);
    }

    // Typed in the free question box, "récap" asks for the recap.
    void recapEnQuestionLibre()
    {
        const QList<std::pair<QString, QString>> cas{{"« récap »", "recap"}, {"Récap ?", "recap"}, {"recap", "recap"}, {"Fais un récap du prix", "libre"}};
        for (const auto& [texte, tache] : cas) {
            Banc b(*moteur);
            QVERIFY(b.s.question(texte).ok());
            QCOMPARE(b.client.requetes.size(), 1);
            QCOMPARE(texte + " → " + b.client.requetes[0].tache + " " + b.s.aides()[0].tache, texte + " → " + tache + " " + tache);
        }
    }

    void contexteUneFoisParAppelEtFenetre()
    {
        model::Reglages r;
        r.modeles.live = QStringLiteral("claude-haiku-4-5");
        Banc b(*moteur, r);
        auto& [client, s, appel] = b;
        appel.dire(prospect, QStringLiteral("Bonjour."), 0, 1000);
        appel.dire(vous, QStringLiteral("Qu'est-ce qui vous amène ?"), 100000, 102000);
        appel.dire(prospect, QStringLiteral("Le prix, surtout."), 200000, 203000);
        const int avant = contextes();
        QVERIFY(s.assistance().ok());
        QVERIFY(s.questionsDeSuivi().ok());
        QCOMPARE(contextes(), avant + 1);
        // The first words are older than 180 s.
        QCOMPARE(champs(client.requetes[0].payload, {"tache", "fenetreSec", "transcript.length", "derniereProspect", "contexte.contactId"}),
                 QStringLiteral("objection | 180 | 2 | Le prix, surtout. | c1"));
        QCOMPARE(client.requetes[0].modele, QStringLiteral("claude-haiku-4-5"));
        QCOMPARE(client.requetes[0].appelId.value_or(QString()), QStringLiteral("a1"));
        QCOMPARE(s.aides()[0].tMs, 203000);

        // A window under 30 s is raised to 30 s.
        QVERIFY(s.demander(QStringLiteral("recap"), {}, 5).ok());
        QCOMPARE(champs(client.requetes[2].payload, {"fenetreSec", "transcript.length"}), QStringLiteral("30 | 1"));

        // A new call takes its context again.
        s.reinitialiser();
        appel.id = QStringLiteral("a2");
        QVERIFY(s.recap().ok());
        QCOMPARE(contextes(), avant + 2);
    }

    void reponseEnFluxPuisFinie()
    {
        Banc b(*moteur);
        auto& [client, s, appel] = b;
        const QString id = s.assistance().valeur();
        QSignalSpy change(&s, &ai::Souffleur::aideChangee);
        client.derniere()->envoyerPartiel(QJsonObject{{"reponse", "Par rapport"}});
        QCOMPARE(s.aide(id)->partiel->toObject().value("reponse").toString(), QStringLiteral("Par rapport"));
        QCOMPARE(s.aide(id)->statut, ai::AideLive::Statut::enCours);
        QVERIFY(s.historique().isEmpty());
        ai::InfosGeneration infos;
        infos.modele = QStringLiteral("claude-haiku-4-5");
        infos.latenceMs = 420;
        client.derniere()->terminer(QStringLiteral("{\"reponse\": \"Par rapport à quoi ?\"}"), infos);
        const ai::AideLive* a = s.aide(id);
        QCOMPARE(a->statut, ai::AideLive::Statut::ok);
        QVERIFY(!a->partiel);
        QCOMPARE(QStringList({(*a->resultat)["reponse"].toString(), a->modele.value_or(QString()), QString::number(a->latenceMs.value_or(0))}),
                 (QStringList{"Par rapport à quoi ?", "claude-haiku-4-5", "420"}));
        QCOMPARE(s.historique(), QStringList{id});
        QCOMPARE(s.requetesEnVol(), 0);
        QVERIFY(change.size() >= 2);

        s.noter(id, true);
        QCOMPARE(s.aide(id)->utile, std::optional<bool>(true));
        QCOMPARE(s.aidesFinies().size(), 1);
        QCOMPARE(s.aidesFinies()[0].utile, std::optional<bool>(true));
        QCOMPARE(s.aidesFinies()[0].resultat.qt().toObject().value("reponse").toString(), QStringLiteral("Par rapport à quoi ?"));
    }

    void echecDeLAide()
    {
        Banc b(*moteur);
        auto& [client, s, appel] = b;
        const QString id = s.recap().valeur();
        client.derniere()->echouer(QStringLiteral("Trop de demandes en même temps. Réessayez dans une minute."));
        QCOMPARE(s.aide(id)->statut, ai::AideLive::Statut::erreur);
        QCOMPARE(s.aide(id)->erreur.value_or(QString()), QStringLiteral("Trop de demandes en même temps. Réessayez dans une minute."));
        QCOMPARE(s.erreur().value_or(QString()), QStringLiteral("Quillo n'a pas pu répondre. Réessayez."));
        QVERIFY(s.historique().isEmpty());
        QVERIFY(s.aidesFinies().isEmpty());
    }

    void reponseTardiveApresNouvelAppel()
    {
        Banc b(*moteur);
        auto& [client, s, appel] = b;
        QVERIFY(s.assistance().ok());
        auto* ancienne = client.derniere();
        s.reinitialiser();
        QVERIFY(ancienne->annulee);
        QVERIFY(s.aides().isEmpty());
    }

    void recapDeFin()
    {
        ClientIAScripte client;
        ai::Souffleur s(*moteur, client);
        model::Appel a;
        a.id = QStringLiteral("a9");
        a.duree = 12;
        a.transcript = {AppelFactice().dire(prospect, QStringLiteral("On verra en janvier."), 0, 2000)};
        std::optional<QJsonValue> recu;
        int appels = 0;
        s.preparerRecap(a, [&](std::optional<QJsonValue> v) { recu = v; ++appels; });
        QCOMPARE(client.requetes.size(), 1);
        QCOMPARE(client.requetes[0].tache, QStringLiteral("recap"));
        QCOMPARE(champs(client.requetes[0].payload, {"transcript.length", "fenetreSec"}), QStringLiteral("1 | 30"));
        client.derniere()->terminer(QStringLiteral("{\"points\": [\"Décision en janvier\"]}"));
        QCOMPARE(appels, 1);
        QCOMPARE(recu->toObject().value("points").toArray().first().toString(), QStringLiteral("Décision en janvier"));

        s.preparerRecap(a, [&](std::optional<QJsonValue> v) { recu = v; ++appels; });
        client.derniere()->echouer(QStringLiteral("Connexion impossible. Vérifiez votre accès à internet."));
        QCOMPARE(appels, 2);
        QVERIFY(!recu);
    }

    // Finals of the prospect less than 2 s apart are read together: one
    // objection is not found twice, another one in the joined text is new,
    // and nothing is joined across voices or found with detection off.
    void detectionsSurTexteJoint()
    {
        // Finals "who|text|start ms|end ms", detection on or off: the categories found and the time of the last one.
        auto cas = [this](const char* nom, const QStringList& finals, bool detection, const QStringList& categories, qint64 tMs) {
            model::Reglages r;
            if (!detection)
                r.souffleur.detection = QStringLiteral("off");
            Banc b(*moteur, r);
            QSignalSpy spy(&b.s, &ai::Souffleur::detectionChangee);
            for (const QString& f : finals) {
                const QStringList c = f.split('|');
                b.s.segmentFinal(b.appel.dire(c[0], c[1], c[2].toLongLong(), c[3].toLongLong()));
            }
            QStringList trouvees;
            for (const auto& d : b.s.detections())
                trouvees << d.categorie;
            QCOMPARE(nom + (": " + trouvees.join(',')), nom + (": " + categories.join(',')));
            if (!categories.isEmpty())
                QCOMPARE(b.s.derniereDetection()->tMs, tMs);
            QCOMPARE(spy.size(), categories.size());
            QCOMPARE(b.client.requetes.size(), 0);
        };
        cas("1,5 s : examinés ensemble", {"prospect|Franchement c'est trop|10000|12000", "prospect|cher pour nous.|13500|15500"}, true, {"prix"}, 13500);
        cas("1,999 s : examinés ensemble", {"prospect|Franchement c'est trop|10000|12000", "prospect|cher pour nous.|13999|15999"}, true, {"prix"}, 13999);
        cas("2 s : chacun seul", {"prospect|Franchement c'est trop|10000|12000", "prospect|cher pour nous.|14000|16000"}, true, {}, 0);
        cas("voix différentes", {"vous|Vous trouvez ça trop|0|2000", "prospect|cher ? Non.|2500|4000"}, true, {}, 0);
        cas("sans doublon", {"prospect|C'est trop cher.|0|2000", "prospect|Vraiment.|3000|4000"}, true, {"prix"}, 0);
        cas("nouvelle objection ensuite",
            {"prospect|C'est trop cher.|0|2000", "prospect|Vraiment.|3000|4000", "prospect|Et je n'ai pas le temps.|5000|7000"}, true, {"prix", "temps"}, 5000);
        cas("deux objections jointes", {"prospect|C'est trop cher,|0|2000", "prospect|et on n'a pas le temps.|2500|4000"}, true, {"prix", "temps"}, 2500);
        cas("détection coupée", {"prospect|C'est trop cher.|0|2000"}, false, {}, 0);
    }

    void qualificationEtRegistre()
    {
        Banc b(*moteur);
        auto& [client, s, appel] = b;
        appel.config.insert(QStringLiteral("grille"), QJsonObject{{"methode", "bant"}});
        s.setAppel(&appel);
        QSignalSpy qualif(&s, &ai::Souffleur::qualificationChangee);
        s.segmentFinal(appel.dire(prospect, QStringLiteral("On a un budget de 20 000 euros."), 0, 3000));
        s.segmentFinal(appel.dire(prospect, QStringLiteral("Le budget est validé."), 10000, 12000));
        QCOMPARE(s.propositionsQualification().size(), 1);
        QCOMPARE(s.propositionsQualification()[0].item + "/" + s.propositionsQualification()[0].nomItem, QStringLiteral("budget/Budget"));
        QVERIFY(s.itemsEntendus().contains(QStringLiteral("budget")));
        QCOMPARE(qualif.size(), 1);

        QVERIFY(s.registre().isNull());
        s.segmentFinal(appel.dire(vous, QStringLiteral("Et toi, tu en penses quoi ?"), 20000, 22000));
        QCOMPARE(s.registre().toObject().value("registre").toString(), QStringLiteral("tu"));
    }

    // The live-help context on the shipped engine script: built from the store's
    // current data, off the main thread, and again when the contact or the
    // library changes during the call.
    void etatDuContactSeulement()
    {
        model::Store store;
        remplir(store);
        const model::Etat e = ai::etatPourContact(store.etat(), QStringLiteral("c_morel"));
        QCOMPARE(champs(vd::model::versObjetJson(e), {"contacts.*.nom", "appels.*.id", "objections.length", "reglages.commercial.prenom"}),
                 QStringLiteral("[\"Morel\"] | [\"p1\"] | 2 | Camille"));
        // No contact: the shared data only.
        const model::Etat sans = ai::etatPourContact(store.etat(), std::nullopt);
        QVERIFY(sans.contacts.isEmpty() && sans.appels.isEmpty());
        QCOMPARE(sans.objections.size(), 2);
    }

    void aideAvecLesDonneesDuStore()
    {
        BancStore b(*livre);
        auto& [store, client, s, appel] = b;

        QSignalSpy pret(&s, &ai::Souffleur::contexteChange);
        s.preparerContexte();
        QVERIFY(s.contexte().isNull());   // built on the worker thread, delivered later
        QVERIFY(pret.wait(5000));
        appel.dire(QStringLiteral("prospect"), QStringLiteral("C'est trop cher pour nous."), 1000, 3000);
        QVERIFY(s.assistance().ok());
        QCOMPARE(client.requetes.size(), 1);
        // The contact's own past call only.
        QCOMPARE(champs(client.requetes[0].payload["contexte"], {"contact.nom", "objections.length", "objections.0.libelle", "commercial.prenom",
                                                                 "historique.length"}),
                 QStringLiteral("Julien Morel | 2 | C'est trop cher | Camille | 1"));

        // The library and the contact change during the call: the context follows.
        store.modifier([](model::Etat& e) {
            e.objections.append(*model::ObjectionLib::depuisJson(QJsonObject{{"id", "o3"}, {"libelle", "Je dois en parler"}, {"reponse", "Avec qui ?"}}));
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
        BancStore b(*livre);
        auto& [store, client, s, appel] = b;
        QVERIFY(s.recap().ok());
        QCOMPARE(champs(client.requetes[0].payload["contexte"], {"contact.nom", "objections.length"}), QStringLiteral("Julien Morel | 2"));
    }
};

QTEST_GUILESS_MAIN(TestSouffleur)
#include "tst_souffleur.moc"
