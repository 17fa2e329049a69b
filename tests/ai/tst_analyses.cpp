// Post-call analysis against a scripted model client and a small engine script.
#include "ai/analyses.h"
#include "ai/effetsanalyse.h"
#include "fakes/clientiascripte.h"
#include "moteur_commun.h"
#include "platform/horloge.h"

#include <QSignalSpy>

using namespace vd;
using vd::tests::champs;
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
    e.contacts.append(*model::Contact::depuisJson(QJsonObject{{"id", "c1"}, {"prenom", "Léa"}, {"nom", "Martin"}, {"etape", "contacte"},
                                                               {"probabilite", 10}, {"champs", QJsonObject{{"budget", "20 k€"}}}}));
    e.appels.append(*model::Appel::depuisJson(QJsonObject{{"id", "a1"}, {"contactId", "c1"}, {"statut", "analyse"}, {"source", "micro+mac"},
                                                           {"moteurTranscription", "soniox"}}));
    e.appels[0].transcript = {seg(QStringLiteral("vous"), QStringLiteral("Bonjour, qu'est-ce qui vous amène ?"), 0),
                              seg(QStringLiteral("prospect"), QStringLiteral("On perd des clients."), 3000)};
    return e;
}

const char* reponseModele =
    "{\"score\": 72, \"verdict\": \"Bon appel\", \"resume\": \"Découverte solide.\", "
    "  \"dimensions\": {\"decouverte\": {\"score\": 80, \"commentaire\": \"Bien\", \"preuve\": \"qu'est-ce qui vous amène\"}}, "
    "  \"crm\": {\"etapeSuggeree\": \"decouverte\", \"probabilite\": 35, \"resumeInteraction\": \"Besoin identifié.\", "
    "          \"prochaineAction\": \"Envoyer une proposition\", \"champs\": {\"douleur\": \"perte de clients\", \"budget\": \"\"}}, "
    "  \"relances\": {\"etapes\": [{\"canal\": \"email\"}]}, \"syntheseManager\": {\"points\": [\"a\"]}}";

// The store on a state, a scripted client, and the analyses over them.
struct Banc {
    model::Store store;
    ClientIAScripte client;
    QList<QJsonObject> journal;
    std::unique_ptr<ai::AnalysesEnCours> analyses;
    Banc(const model::Etat& e, ai::Moteur& moteur)
    {
        store.remplacerEtat(e);
        analyses = std::make_unique<ai::AnalysesEnCours>(store, moteur, client);
        analyses->setJournal([this](const QJsonObject& o) { journal.append(o); });
    }
    QString erreur(const QString& id = QStringLiteral("a1")) const { return analyses->suivi(id)->erreur.value_or(QString()); }
    QJsonArray lignes() const
    {
        QJsonArray a;
        for (const QJsonObject& o : journal)
            a.append(o);
        return a;
    }
    QJsonObject contact() const { return model::versObjetJson(*store.etat().contact(QStringLiteral("c1"))); }
};

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

    // Nothing to analyse, or a payload the engine cannot build: no request, a message.
    void refusSansRequete()
    {
        auto cas = [this](const QString& appel, const QString& objectif, bool transcriptVide, const QString& message) {
            model::Etat e = etatDeBase();
            e.appels[0].objectif = objectif;
            if (transcriptVide)
                e.appels[0].transcript = {seg(QStringLiteral("vous"), QStringLiteral("   "), 0)};
            Banc b(e, *moteur);
            b.analyses->analyser(appel);
            QCOMPARE(b.erreur(appel), message);
            QCOMPARE(b.client.requetes.size(), 0);
            if (transcriptVide)
                QCOMPARE(champs(b.lignes(), {"length", "0.type", "0.source", "0.details.appel_id", "0.details.moteur"}),
                         QStringLiteral("1 | analyse_echec | app | a1 | soniox"));
        };
        cas("inconnu", "", false, "Cet appel est introuvable.");
        cas("a1", "", true, "Le transcript est vide : il n'y a rien à analyser.");
        cas("a1", "incomplet", false, "Le payload d'analyse est incomplet.");   // the script's answer says so
        cas("a1", "jette", false, "Le payload d'analyse est incomplet.");       // the script throws
    }

    void analyseComplete()
    {
        Banc b(etatDeBase(), *moteur);
        b.analyses->setEquipe([] { return true; });
        QSignalSpy fin(b.analyses.get(), &ai::AnalysesEnCours::analyseTerminee);
        b.analyses->analyser(QStringLiteral("a1"));
        QCOMPARE(b.client.requetes.size(), 1);
        const ai::RequeteIA& r = b.client.requetes[0];
        QCOMPARE(QStringList({r.tache, r.modele, r.appelId.value_or(QString())}), (QStringList{"analyse", "claude-sonnet-5-5", "a1"}));
        QVERIFY(!r.formatStructure);
        QCOMPARE(champs(r.payload, {"equipe", "contexte.nom"}), QStringLiteral("true | Léa Martin"));
        QCOMPARE(b.analyses->suivi(QStringLiteral("a1"))->etape, 3);
        QCOMPARE(b.analyses->etapes().size(), 5);
        QCOMPARE(b.analyses->progression(QStringLiteral("a1")), 0.6);

        // Partial values reach the progress entry while the answer streams.
        b.client.derniere()->envoyerPartiel(QJsonObject{{"score", 72}});
        QCOMPARE(b.analyses->suivi(QStringLiteral("a1"))->partiel.value_or(QJsonValue())["score"].toInt(), 72);
        QCOMPARE(b.store.etat().contact(QStringLiteral("c1"))->etape, QStringLiteral("contacte"));

        ai::InfosGeneration infos;
        infos.modele = QStringLiteral("claude-opus-5-5");
        infos.source = ai::SourceIA::cle;
        b.client.derniere()->terminer(QString::fromUtf8(reponseModele), infos);
        QCOMPARE(fin.size(), 1);
        QCOMPARE(fin[0][1].toBool(), true);
        QVERIFY(b.analyses->suivi(QStringLiteral("a1"))->fini && !b.analyses->suivi(QStringLiteral("a1"))->erreur);
        QCOMPARE(b.analyses->progression(QStringLiteral("a1")), 1.0);

        const model::Appel& a = *b.store.etat().appel(QStringLiteral("a1"));
        QVERIFY(a.analyse && a.metriques);
        QCOMPARE(champs(model::versObjetJson(a), {"statut", "analyse.score", "analyse.dimensions.decouverte.score", "modeleAnalyse",
                                                  "analyse.meta.source", "analyse.syntheseManager.normalise", "metriques.nbEchanges",
                                                  "analyse.crm.etapeAppliquee"}),
                 QStringLiteral("analyse | 72 | 80 | claude-opus-5-5 | cle | true | 2 | true"));
        QCOMPARE(ai::AnalysesEnCours::libelleAnalyse(a), QStringLiteral("Analyse avancée"));
        QCOMPARE(ai::AnalysesEnCours::avisCourt(a),
                 QStringLiteral("Cet appel est très court (moins de 4 échanges). Le score peut être peu fiable : "
                                "appel test ou conversation trop brève."));
        // The follow-up sequence is proposed on the call, never activated on the contact;
        // an empty learnt value erases nothing.
        QVERIFY(a.analyse->relances);
        QCOMPARE(champs(b.contact(), {"relance", "etape", "probabilite", "prochaineAction.texte", "champs.douleur", "champs.budget"}),
                 QStringLiteral("undefined | decouverte | 35 | Envoyer une proposition | perte de clients | 20 k€"));
        QCOMPARE(b.store.etat().interactions.size(), 1);
        QCOMPARE(champs(model::versObjetJson(b.store.etat().interactions[0]), {"appelId", "resume"}), QStringLiteral("a1 | Besoin identifié."));

        // Analysing again replaces the interaction of the call instead of adding one.
        b.analyses->analyser(QStringLiteral("a1"));
        b.client.derniere()->terminer(QString::fromUtf8(reponseModele), infos);
        QCOMPARE(b.store.etat().interactions.size(), 1);
    }

    void prochaineEtapeDuCommercialGagne()
    {
        model::Etat e = etatDeBase();
        e.appels[0].prochaineEtape = model::ProchaineAction{QStringLiteral("Rappeler jeudi 11 h"), QStringLiteral("2026-03-05")};
        Banc b(e, *moteur);
        b.analyses->analyser(QStringLiteral("a1"));
        b.client.derniere()->terminer(QString::fromUtf8(reponseModele));
        QCOMPARE(champs(b.contact(), {"prochaineAction.texte", "prochaineAction.echeance"}), QStringLiteral("Rappeler jeudi 11 h | 2026-03-05"));
    }

    void annulationPendantLeFlux()
    {
        Banc b(etatDeBase(), *moteur);
        const model::Contact avant = *b.store.etat().contact(QStringLiteral("c1"));
        b.analyses->analyser(QStringLiteral("a1"));
        b.client.derniere()->envoyerPartiel(QJsonObject{{"score", 10}});
        b.analyses->annuler(QStringLiteral("a1"));
        QVERIFY(b.client.derniere()->annulee);
        QCOMPARE(b.erreur(), QStringLiteral("Analyse annulée."));
        QCOMPARE(*b.store.etat().contact(QStringLiteral("c1")), avant);
        QVERIFY(!b.store.etat().appel(QStringLiteral("a1"))->analyse);
        QVERIFY(b.journal.isEmpty());
        QVERIFY(!b.analyses->enCours(QStringLiteral("a1")));
    }

    void echecGardeLAnalysePrecedente()
    {
        model::Etat e = etatDeBase();
        model::Analyse ancienne;
        ancienne.score = 55;
        ancienne.verdict = QStringLiteral("Ancienne");
        e.appels[0].analyse = ancienne;
        Banc b(e, *moteur);
        b.analyses->analyser(QStringLiteral("a1"));
        b.client.derniere()->echouer(QStringLiteral("Quillo est très demandé. Réessayez dans un instant."));
        QCOMPARE(b.erreur(), QStringLiteral("Quillo est très demandé. Réessayez dans un instant."));
        const model::Appel& a = *b.store.etat().appel(QStringLiteral("a1"));
        QCOMPARE(a.analyse, std::optional(ancienne));
        QCOMPARE(a.statut, QStringLiteral("analyse"));
        QCOMPARE(a.transcript.size(), 2);
        QCOMPARE(b.journal.size(), 1);
        QCOMPARE(b.journal[0].value("message").toString(), QStringLiteral("Quillo est très demandé. Réessayez dans un instant."));
    }

    void reponseIllisible()
    {
        Banc b(etatDeBase(), *moteur);
        b.analyses->analyser(QStringLiteral("a1"));
        b.client.derniere()->terminer(QStringLiteral("Désolé, je ne peux pas."));
        QCOMPARE(b.erreur(), QStringLiteral("L'analyse a échoué."));
        QCOMPARE(champs(model::versObjetJson(*b.store.etat().appel(QStringLiteral("a1"))), {"statut", "erreur"}), QStringLiteral("erreur | L'analyse a échoué."));
    }

    void deuxDemandesUneSeuleAnalyse()
    {
        Banc b(etatDeBase(), *moteur);
        b.analyses->analyser(QStringLiteral("a1"));
        b.analyses->analyser(QStringLiteral("a1"));
        QCOMPARE(b.client.requetes.size(), 2);
        QVERIFY(b.client.demandes[0]->annulee);
        QVERIFY(!b.client.demandes[1]->annulee);
        b.client.demandes[1]->terminer(QString::fromUtf8(reponseModele));
        QVERIFY(b.analyses->suivi(QStringLiteral("a1"))->fini);
        QCOMPARE(b.store.etat().interactions.size(), 1);
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
        QCOMPARE(champs(model::versObjetJson(e.interactions[1]), {"id", "appelId", "contactId"}), QStringLiteral("i_a1 | a1 | c1"));
        QCOMPARE(an.crm.etapeAppliquee, std::optional<bool>(false));
        QCOMPARE(champs(model::versObjetJson(e.contacts[0]), {"etape", "probabilite", "champs.budget", "champs.decideur", "majLe"}),
                 QStringLiteral("contacte | 20 | 20 k€ | La DG | 2026-03-02T09:00:00.000Z"));
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
        Banc b(e, livre);
        b.analyses->analyser(QStringLiteral("a1"));
        QVERIFY2(!b.analyses->suivi(QStringLiteral("a1"))->erreur, qPrintable(b.erreur()));
        QCOMPARE(b.client.requetes.size(), 1);
        auto demo = livre.appelerTexte(QStringLiteral("reponseDemo"), {QStringLiteral("analyse"), b.client.requetes[0].payload});
        QVERIFY(demo.ok() && !demo.valeur().isEmpty());
        ai::InfosGeneration infos;
        infos.source = ai::SourceIA::demo;
        b.client.derniere()->terminer(demo.valeur(), infos);
        auto s = b.analyses->suivi(QStringLiteral("a1"));
        QVERIFY2(s->fini, qPrintable(s->erreur.value_or(QString())));
        const model::Appel& a = *b.store.etat().appel(QStringLiteral("a1"));
        QVERIFY(a.analyse && a.analyse->score > 0);
        QCOMPARE(champs(model::versObjetJson(a), {"statut", "analyse.meta.source"}), QStringLiteral("analyse | demo"));
        QVERIFY(a.metriques && a.metriques->nbEchanges >= 3);
        QCOMPARE(b.store.etat().interactions.size(), 1);
        QVERIFY(b.store.etat().contact(QStringLiteral("c1"))->majLe != QString());
    }

    void reponseEnveloppee()
    {
        QList<int> scores;   // plain JSON, in a code fence, cut short
        for (const char* t : {"{\"score\": 12}", "```json\n{\"score\": 13}\n```", "{\"score\": 14, \"verdict\": \"Bo"})
            scores << ai::lireObjetReponse(QString::fromUtf8(t)).value_or(QJsonObject()).value("score").toInt(-1);
        QCOMPARE(scores, (QList<int>{12, 13, 14}));
    }
};

QTEST_GUILESS_MAIN(TestAnalyses)
#include "tst_analyses.moc"
