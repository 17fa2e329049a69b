// Post-call analysis against a scripted model client and a small engine script.
#include "ai/analyses.h"
#include "ai/effetsanalyse.h"
#include "fakes/clientiascripte.h"
#include "platform/horloge.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>

using namespace vd;
using vd::fakes::ClientIAScripte;

namespace {

const QString cheminMoteur = QStringLiteral(VD_SOURCE_DIR "/tests/ai/moteur_factice.js");

model::Segment seg(const QString& loc, const QString& texte, qint64 debut)
{
    model::Segment s;
    s.locuteur = loc;
    s.texte = texte;
    s.debutMs = debut;
    s.finMs = debut + 2000;
    s.id = model::Segment::idPour(debut, texte);
    return s;
}

model::Etat etatDeBase()
{
    model::Etat e;
    model::Contact c;
    c.id = QStringLiteral("c1");
    c.prenom = QStringLiteral("Léa");
    c.nom = QStringLiteral("Martin");
    c.etape = QStringLiteral("contacte");
    c.probabilite = 10;
    c.champs.budget = QStringLiteral("20 k€");
    e.contacts.append(c);
    model::Appel a;
    a.id = QStringLiteral("a1");
    a.contactId = QStringLiteral("c1");
    a.statut = QStringLiteral("analyse");
    a.source = QStringLiteral("micro+mac");
    a.moteurTranscription = QStringLiteral("soniox");
    a.transcript = {seg(QStringLiteral("vous"), QStringLiteral("Bonjour, qu'est-ce qui vous amène ?"), 0),
                    seg(QStringLiteral("prospect"), QStringLiteral("On perd des clients."), 3000)};
    e.appels.append(a);
    return e;
}

const char* reponseModele =
    "{\"score\": 72, \"verdict\": \"Bon appel\", \"resume\": \"Découverte solide.\", "
    "  \"dimensions\": {\"decouverte\": {\"score\": 80, \"commentaire\": \"Bien\", \"preuve\": \"qu'est-ce qui vous amène\"}}, "
    "  \"crm\": {\"etapeSuggeree\": \"decouverte\", \"probabilite\": 35, \"resumeInteraction\": \"Besoin identifié.\", "
    "          \"prochaineAction\": \"Envoyer une proposition\", \"champs\": {\"douleur\": \"perte de clients\", \"budget\": \"\"}}, "
    "  \"relances\": {\"etapes\": [{\"canal\": \"email\"}]}, \"syntheseManager\": {\"points\": [\"a\"]}}";

} // namespace

class TestAnalyses : public QObject {
    Q_OBJECT
    std::unique_ptr<platform::HorlogeFactice> horloge;
    std::unique_ptr<ai::Moteur> moteur;

private Q_SLOTS:
    void initTestCase()
    {
        horloge = std::make_unique<platform::HorlogeFactice>();
        platform::Horloge::installer(horloge.get());
        moteur = std::make_unique<ai::Moteur>(cheminMoteur);
        QVERIFY(!moteur->charger());
    }
    void cleanupTestCase() { platform::Horloge::installer(nullptr); }

    void appelInconnuSansRequete()
    {
        model::Store store;
        store.remplacerEtat(etatDeBase());
        ClientIAScripte client;
        ai::AnalysesEnCours analyses(store, *moteur, client);
        analyses.analyser(QStringLiteral("inconnu"));
        auto s = analyses.suivi(QStringLiteral("inconnu"));
        QVERIFY(s);
        QCOMPARE(s->erreur.value_or(QString()), QStringLiteral("Cet appel est introuvable."));
        QCOMPARE(client.requetes.size(), 0);
    }

    void transcriptVide()
    {
        model::Etat e = etatDeBase();
        e.appels[0].transcript = {seg(QStringLiteral("vous"), QStringLiteral("   "), 0)};
        model::Store store;
        store.remplacerEtat(e);
        ClientIAScripte client;
        QList<QJsonObject> journal;
        ai::AnalysesEnCours analyses(store, *moteur, client);
        analyses.setJournal([&](const QJsonObject& o) { journal.append(o); });
        analyses.analyser(QStringLiteral("a1"));
        QCOMPARE(analyses.suivi(QStringLiteral("a1"))->erreur.value_or(QString()),
                 QStringLiteral("Le transcript est vide : il n'y a rien à analyser."));
        QCOMPARE(client.requetes.size(), 0);
        QCOMPARE(journal.size(), 1);
        QCOMPARE(journal[0].value("type").toString(), QStringLiteral("analyse_echec"));
        QCOMPARE(journal[0].value("source").toString(), QStringLiteral("app"));
        QCOMPARE(journal[0].value("details").toObject().value("appel_id").toString(), QStringLiteral("a1"));
        QCOMPARE(journal[0].value("details").toObject().value("moteur").toString(), QStringLiteral("soniox"));
    }

    void payloadIncomplet_data()
    {
        QTest::addColumn<QString>("objectif");
        QTest::newRow("réponse qui le dit") << QStringLiteral("incomplet");
        QTest::newRow("exception du script") << QStringLiteral("jette");
    }
    void payloadIncomplet()
    {
        QFETCH(QString, objectif);
        model::Etat e = etatDeBase();
        e.appels[0].objectif = objectif;
        model::Store store;
        store.remplacerEtat(e);
        ClientIAScripte client;
        ai::AnalysesEnCours analyses(store, *moteur, client);
        analyses.analyser(QStringLiteral("a1"));
        QCOMPARE(analyses.suivi(QStringLiteral("a1"))->erreur.value_or(QString()),
                 QStringLiteral("Le payload d'analyse est incomplet."));
        QCOMPARE(client.requetes.size(), 0);
    }

    void analyseComplete()
    {
        model::Store store;
        store.remplacerEtat(etatDeBase());
        ClientIAScripte client;
        ai::AnalysesEnCours analyses(store, *moteur, client);
        analyses.setEquipe([] { return true; });
        QSignalSpy fin(&analyses, &ai::AnalysesEnCours::analyseTerminee);
        analyses.analyser(QStringLiteral("a1"));
        QCOMPARE(client.requetes.size(), 1);
        const ai::RequeteIA& r = client.requetes[0];
        QCOMPARE(r.tache, QStringLiteral("analyse"));
        QCOMPARE(r.modele, QStringLiteral("claude-sonnet-5-5"));
        QCOMPARE(r.appelId.value_or(QString()), QStringLiteral("a1"));
        QVERIFY(!r.formatStructure);
        QVERIFY(r.payload.toObject().value("equipe").toBool());
        QCOMPARE(r.payload.toObject().value("contexte").toObject().value("nom").toString(), QStringLiteral("Léa Martin"));
        QCOMPARE(analyses.suivi(QStringLiteral("a1"))->etape, 3);
        QCOMPARE(analyses.etapes().size(), 5);
        QCOMPARE(analyses.progression(QStringLiteral("a1")), 0.6);

        // Partial values reach the progress entry while the answer streams.
        client.derniere()->envoyerPartiel(QJsonObject{{"score", 72}});
        QCOMPARE(analyses.suivi(QStringLiteral("a1"))->partiel.value_or(QJsonValue()).toObject().value("score").toInt(), 72);
        QCOMPARE(store.etat().contact(QStringLiteral("c1"))->etape, QStringLiteral("contacte"));

        ai::InfosGeneration infos;
        infos.modele = QStringLiteral("claude-opus-5-5");
        infos.source = ai::SourceIA::cle;
        client.derniere()->terminer(QString::fromUtf8(reponseModele), infos);
        QCOMPARE(fin.size(), 1);
        QCOMPARE(fin[0][1].toBool(), true);
        auto s = analyses.suivi(QStringLiteral("a1"));
        QVERIFY(s->fini);
        QVERIFY(!s->erreur);
        QCOMPARE(analyses.progression(QStringLiteral("a1")), 1.0);

        const model::Appel& a = *store.etat().appel(QStringLiteral("a1"));
        QVERIFY(a.analyse);
        QCOMPARE(a.statut, QStringLiteral("analyse"));
        QCOMPARE(a.analyse->score, 72);
        QCOMPARE(a.analyse->dimensions.value("decouverte").score, 80);
        QCOMPARE(a.modeleAnalyse.value_or(QString()), QStringLiteral("claude-opus-5-5"));
        QCOMPARE(ai::AnalysesEnCours::libelleAnalyse(a), QStringLiteral("Analyse avancée"));
        QCOMPARE(a.analyse->meta->qt().toObject().value("source").toString(), QStringLiteral("cle"));
        QCOMPARE(a.analyse->autres.value("syntheseManager").toObject().value("normalise").toBool(), true);
        QVERIFY(a.metriques);
        QCOMPARE(a.metriques->nbEchanges, 2);
        QCOMPARE(ai::AnalysesEnCours::avisCourt(a),
                 QStringLiteral("Cet appel est très court (moins de 4 échanges). Le score peut être peu fiable : "
                                "appel test ou conversation trop brève."));
        // The follow-up sequence is proposed on the call, never activated on the contact.
        QVERIFY(a.analyse->relances);
        const model::Contact& c = *store.etat().contact(QStringLiteral("c1"));
        QVERIFY(!c.relance);
        QCOMPARE(c.etape, QStringLiteral("decouverte"));
        QCOMPARE(c.probabilite, 35.0);
        QCOMPARE(c.prochaineAction->texte, QStringLiteral("Envoyer une proposition"));
        QCOMPARE(c.champs.douleur, QStringLiteral("perte de clients"));
        QCOMPARE(c.champs.budget, QStringLiteral("20 k€"));   // an empty learnt value erases nothing
        QCOMPARE(a.analyse->crm.etapeAppliquee, std::optional<bool>(true));
        QCOMPARE(store.etat().interactions.size(), 1);
        QCOMPARE(store.etat().interactions[0].appelId.value_or(QString()), QStringLiteral("a1"));
        QCOMPARE(store.etat().interactions[0].resume, QStringLiteral("Besoin identifié."));

        // Analysing again replaces the interaction of the call instead of adding one.
        analyses.analyser(QStringLiteral("a1"));
        client.derniere()->terminer(QString::fromUtf8(reponseModele), infos);
        QCOMPARE(store.etat().interactions.size(), 1);
    }

    void prochaineEtapeDuCommercialGagne()
    {
        model::Etat e = etatDeBase();
        e.appels[0].prochaineEtape = model::ProchaineAction{QStringLiteral("Rappeler jeudi 11 h"), QStringLiteral("2026-03-05")};
        model::Store store;
        store.remplacerEtat(e);
        ClientIAScripte client;
        ai::AnalysesEnCours analyses(store, *moteur, client);
        analyses.analyser(QStringLiteral("a1"));
        client.derniere()->terminer(QString::fromUtf8(reponseModele));
        const model::Contact& c = *store.etat().contact(QStringLiteral("c1"));
        QCOMPARE(c.prochaineAction->texte, QStringLiteral("Rappeler jeudi 11 h"));
        QCOMPARE(c.prochaineAction->echeance, QStringLiteral("2026-03-05"));
    }

    void annulationPendantLeFlux()
    {
        model::Store store;
        store.remplacerEtat(etatDeBase());
        const model::Contact avant = *store.etat().contact(QStringLiteral("c1"));
        ClientIAScripte client;
        QList<QJsonObject> journal;
        ai::AnalysesEnCours analyses(store, *moteur, client);
        analyses.setJournal([&](const QJsonObject& o) { journal.append(o); });
        analyses.analyser(QStringLiteral("a1"));
        client.derniere()->envoyerPartiel(QJsonObject{{"score", 10}});
        analyses.annuler(QStringLiteral("a1"));
        QVERIFY(client.derniere()->annulee);
        QCOMPARE(analyses.suivi(QStringLiteral("a1"))->erreur.value_or(QString()), QStringLiteral("Analyse annulée."));
        QCOMPARE(*store.etat().contact(QStringLiteral("c1")), avant);
        QVERIFY(!store.etat().appel(QStringLiteral("a1"))->analyse);
        QVERIFY(journal.isEmpty());
        QVERIFY(!analyses.enCours(QStringLiteral("a1")));
    }

    void echecGardeLAnalysePrecedente()
    {
        model::Etat e = etatDeBase();
        model::Analyse ancienne;
        ancienne.score = 55;
        ancienne.verdict = QStringLiteral("Ancienne");
        e.appels[0].analyse = ancienne;
        model::Store store;
        store.remplacerEtat(e);
        ClientIAScripte client;
        QList<QJsonObject> journal;
        ai::AnalysesEnCours analyses(store, *moteur, client);
        analyses.setJournal([&](const QJsonObject& o) { journal.append(o); });
        analyses.analyser(QStringLiteral("a1"));
        client.derniere()->echouer(QStringLiteral("Quillo est très demandé. Réessayez dans un instant."));
        QCOMPARE(analyses.suivi(QStringLiteral("a1"))->erreur.value_or(QString()),
                 QStringLiteral("Quillo est très demandé. Réessayez dans un instant."));
        const model::Appel& a = *store.etat().appel(QStringLiteral("a1"));
        QCOMPARE(a.analyse, std::optional(ancienne));
        QCOMPARE(a.statut, QStringLiteral("analyse"));
        QCOMPARE(a.transcript.size(), 2);
        QCOMPARE(journal.size(), 1);
        QCOMPARE(journal[0].value("message").toString(), QStringLiteral("Quillo est très demandé. Réessayez dans un instant."));
    }

    void reponseIllisible()
    {
        model::Store store;
        store.remplacerEtat(etatDeBase());
        ClientIAScripte client;
        ai::AnalysesEnCours analyses(store, *moteur, client);
        analyses.analyser(QStringLiteral("a1"));
        client.derniere()->terminer(QStringLiteral("Désolé, je ne peux pas."));
        QCOMPARE(analyses.suivi(QStringLiteral("a1"))->erreur.value_or(QString()), QStringLiteral("L'analyse a échoué."));
        QCOMPARE(store.etat().appel(QStringLiteral("a1"))->statut, QStringLiteral("erreur"));
        QCOMPARE(store.etat().appel(QStringLiteral("a1"))->erreur.value_or(QString()), QStringLiteral("L'analyse a échoué."));
    }

    void deuxDemandesUneSeuleAnalyse()
    {
        model::Store store;
        store.remplacerEtat(etatDeBase());
        ClientIAScripte client;
        ai::AnalysesEnCours analyses(store, *moteur, client);
        analyses.analyser(QStringLiteral("a1"));
        analyses.analyser(QStringLiteral("a1"));
        QCOMPARE(client.requetes.size(), 2);
        QVERIFY(client.demandes[0]->annulee);
        QVERIFY(!client.demandes[1]->annulee);
        client.demandes[1]->terminer(QString::fromUtf8(reponseModele));
        QVERIFY(analyses.suivi(QStringLiteral("a1"))->fini);
        QCOMPARE(store.etat().interactions.size(), 1);
    }

    void effetsRendusParLeMoteur()
    {
        model::Etat e = etatDeBase();
        model::Analyse an;
        an.crm.etapeSuggeree = QStringLiteral("perdu");
        QJsonObject contact = model::versObjetJson(e.contacts[0]);
        contact.insert(QStringLiteral("probabilite"), 20);
        contact.insert(QStringLiteral("champs"), QJsonObject{{"budget", ""}, {"decideur", "La DG"}});
        const QJsonObject effets{
            {"contact", contact},
            {"interactions", QJsonArray{QJsonObject{{"id", "i_a1"}, {"type", "appel"}, {"resume", "Rappel prévu."}}}},
            {"etapeAppliquee", false}};
        model::Interaction autre;
        autre.id = QStringLiteral("i_autre");
        autre.contactId = QStringLiteral("c1");
        autre.resume = QStringLiteral("Note libre");
        e.interactions.append(autre);
        for (int fois = 0; fois < 2; ++fois)
            ai::appliquerEffetsAnalyse(e, e.appels[0], an, effets, QStringLiteral("2026-03-02T09:00:00.000Z"));
        QCOMPARE(e.interactions.size(), 2);
        QCOMPARE(e.interactions[1].id, QStringLiteral("i_a1"));
        QCOMPARE(e.interactions[1].appelId.value_or(QString()), QStringLiteral("a1"));
        QCOMPARE(e.interactions[1].contactId, QStringLiteral("c1"));
        QCOMPARE(an.crm.etapeAppliquee, std::optional<bool>(false));
        QCOMPARE(e.contacts[0].etape, QStringLiteral("contacte"));
        QCOMPARE(e.contacts[0].probabilite, 20.0);
        QCOMPARE(e.contacts[0].champs.budget, QStringLiteral("20 k€"));
        QCOMPARE(e.contacts[0].champs.decideur, QStringLiteral("La DG"));
        QCOMPARE(e.contacts[0].majLe, QStringLiteral("2026-03-02T09:00:00.000Z"));
    }

    void avecLeMoteurLivre()
    {
        // The shipped engine end to end: its canned analysis answer goes through the whole road.
        ai::Moteur livre(QStringLiteral(VD_RESOURCES_DIR "/moteur.js"));
        QVERIFY(!livre.charger());
        model::Etat e = etatDeBase();
        e.appels[0].source = QStringLiteral("demo");
        e.appels[0].transcript.append(seg(QStringLiteral("vous"), QStringLiteral("Combien de clients perdez-vous par mois ?"), 6000));
        e.appels[0].transcript.append(seg(QStringLiteral("prospect"), QStringLiteral("Une dizaine, et c'est trop cher pour nous de continuer."), 9000));
        model::Store store;
        store.remplacerEtat(e);
        ClientIAScripte client;
        ai::AnalysesEnCours analyses(store, livre, client);
        analyses.analyser(QStringLiteral("a1"));
        QVERIFY2(!analyses.suivi(QStringLiteral("a1"))->erreur, qPrintable(analyses.suivi(QStringLiteral("a1"))->erreur.value_or(QString())));
        QCOMPARE(client.requetes.size(), 1);
        auto demo = livre.appelerTexte(QStringLiteral("reponseDemo"), {QStringLiteral("analyse"), client.requetes[0].payload});
        QVERIFY(demo.ok());
        QVERIFY(!demo.valeur().isEmpty());
        ai::InfosGeneration infos;
        infos.source = ai::SourceIA::demo;
        client.derniere()->terminer(demo.valeur(), infos);
        auto s = analyses.suivi(QStringLiteral("a1"));
        QVERIFY2(s->fini, qPrintable(s->erreur.value_or(QString())));
        const model::Appel& a = *store.etat().appel(QStringLiteral("a1"));
        QVERIFY(a.analyse);
        QVERIFY(a.analyse->score > 0);
        QCOMPARE(a.statut, QStringLiteral("analyse"));
        QCOMPARE(a.analyse->meta->qt().toObject().value("source").toString(), QStringLiteral("demo"));
        QVERIFY(a.metriques && a.metriques->nbEchanges >= 3);
        QCOMPARE(store.etat().interactions.size(), 1);
        QVERIFY(store.etat().contact(QStringLiteral("c1"))->majLe != QString());
    }

    void reponseEnveloppee_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::addColumn<int>("score");
        QTest::newRow("json") << QStringLiteral("{\"score\": 12}") << 12;
        QTest::newRow("bloc de code") << QStringLiteral("```json\n{\"score\": 13}\n```") << 13;
        QTest::newRow("coupé") << QStringLiteral("{\"score\": 14, \"verdict\": \"Bo") << 14;
    }
    void reponseEnveloppee()
    {
        QFETCH(QString, texte);
        QFETCH(int, score);
        auto o = ai::lireObjetReponse(texte);
        QVERIFY(o);
        QCOMPARE(o->value("score").toInt(), score);
    }
};

QTEST_GUILESS_MAIN(TestAnalyses)
#include "tst_analyses.moc"
