// Demonstration calls: a scenario played through the same session path as a
// live call, on the fake clock, without audio or network; the script
// lengthened for long calls; the prompter tied to a simulated call.
#include "ai/analyses.h"
#include "ai/panneausouffleur.h"
#include "ai/souffleur.h"
#include "call/lecteurdemo.h"
#include "call/liaisonsouffleur.h"
#include "fakes/clientiascripte.h"
#include "fauxappel.h"
#include "team/framework.h"

#include <QJsonArray>
#include <QtTest>

using namespace vd;
using call::EtatSession;
using call::ScenarioDemo;
using test::BancSession;

namespace {

ScenarioDemo scenario()
{
    ScenarioDemo s;
    s.id = QStringLiteral("decouverte");
    s.contactId = QStringLiteral("c_demo");
    s.type = QStringLiteral("decouverte");
    s.objectif = QStringLiteral("Qualifier le besoin");
    s.tours = {
        {QStringLiteral("vous"), QStringLiteral("Bonjour Claire, merci de prendre ce moment avec moi."), 0, 3000, std::nullopt},
        {QStringLiteral("prospect"), QStringLiteral("Avec plaisir, nous cherchons un outil pour nos commerciaux."), 3500, 7000, 1},
        {QStringLiteral("vous"), QStringLiteral("Combien de commerciaux sont concernés aujourd'hui ?"), 7500, 10000, std::nullopt},
        {QStringLiteral("prospect"), QStringLiteral("Une douzaine, mais le budget est serré cette année."), 10500, 14000, 1},
    };
    return s;
}


// Three turns over 10 s, for the lengthened script.
ScenarioDemo scenarioCourt()
{
    ScenarioDemo s;
    s.id = QStringLiteral("decouverte");
    s.tours = {
        {QStringLiteral("vous"), QStringLiteral("Bonjour, merci de prendre ce moment."), 1000, 4000, std::nullopt},
        {QStringLiteral("prospect"), QStringLiteral("Avec plaisir, nous avons trois agences."), 4500, 9000, 2},
        {QStringLiteral("vous"), QStringLiteral("Combien de techniciens ?"), 9300, 11000, std::nullopt},
    };
    return s;
}

// A simulated call of the shipped demonstration, with the prompter beside it.
struct AppelSimule {
    platform::HorlogeFactice horloge;
    ai::Moteur& moteur = ai::Moteur::instance();
    model::Store store{QString(), horloge};
    fakes::ClientIAScripte client;
    std::optional<call::ScenarioDemo> scenario;
    AppelSimule()
    {
        store.remplacerEtat(*model::Etat::depuisJson(moteur.appelerJSON(QStringLiteral("etatDemo")).valeur()));
        scenario = call::ScenarioDemo::depuisJson(moteur.appelerJSON(QStringLiteral("scenarioDemo"), {QStringLiteral("decouverte")}).valeur());
    }
};

} // namespace

class TstSessionDemo : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void lectureDuScenario_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("tours");
        QTest::addColumn<QString>("premier");   // locuteur,debut,fin of the first turn
        QTest::addColumn<QString>("second");
        QTest::newRow("temps donnés") << QByteArray(R"({"id":"x","tours":[{"locuteur":"prospect","texte":"Bonjour à vous","debutMs":100,"finMs":900,"interlocuteur":2},{"locuteur":"vous","texte":"Merci","debutMs":1000,"finMs":1400}]})")
                                      << 2 << "prospect,100,900,2" << "vous,1000,1400,0";
        QTest::newRow("temps absents: posés d'après les mots")
            << QByteArray(R"({"tours":[{"locuteur":"commercial","texte":"un deux trois"},{"locuteur":"client","texte":"quatre cinq"}]})")
            << 2 << "vous,0,1140,0" << "prospect,1840,2600,0";
        QTest::newRow("début et durée") << QByteArray(R"({"tours":[{"locuteur":"vous","texte":"Allô","tMs":"2000","dureeMs":500}]})")
                                        << 1 << "vous,2000,2500,0" << "";
        QTest::newRow("tours vides ou invalides ignorés")
            << QByteArray(R"({"tours":[3,{"locuteur":"vous","texte":"  "},{"locuteur":"vous","texte":"Oui","debutMs":50,"finMs":10}]})")
            << 1 << "vous,50,50,0" << "";
        QTest::newRow("fin avant le début") << QByteArray(R"({"tours":[{"locuteur":"vous","texte":"Oui","debutMs":-5,"finMs":-10}]})")
                                            << 1 << "vous,0,0,0" << "";
        QTest::newRow("aucun tour") << QByteArray(R"({"tours":[]})") << 0 << "" << "";
        QTest::newRow("pas un objet") << QByteArray(R"([1,2])") << 0 << "" << "";
    }
    void lectureDuScenario()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, tours);
        QFETCH(QString, premier);
        QFETCH(QString, second);
        const QJsonDocument d = QJsonDocument::fromJson(json);
        const auto s = ScenarioDemo::depuisJson(d.isObject() ? QJsonValue(d.object()) : QJsonValue(d.array()));
        if (tours == 0) {
            QVERIFY(!s);
            return;
        }
        QVERIFY(s);
        QCOMPARE(s->tours.size(), tours);
        auto decrire = [](const call::TourDemo& t) {
            return QStringLiteral("%1,%2,%3,%4").arg(t.locuteur).arg(t.debutMs).arg(t.finMs).arg(t.interlocuteur.value_or(0));
        };
        QCOMPARE(decrire(s->tours[0]), premier);
        if (tours > 1)
            QCOMPARE(decrire(s->tours[1]), second);
    }

    void evenements()
    {
        ScenarioDemo s;
        s.tours = {{QStringLiteral("prospect"), QStringLiteral("un deux trois quatre cinq six sept"), 0, 2800, 1}};
        const auto e = call::LecteurDemo::evenementsDe(s);
        QCOMPARE(e.size(), size_t(3));
        QCOMPARE(e[0].tMs, 1200);
        QCOMPARE(e[0].segment.texte, QStringLiteral("un deux trois"));
        QVERIFY(!e[0].segment.final);
        QCOMPARE(e[1].segment.texte, QStringLiteral("un deux trois quatre cinq six"));
        QCOMPARE(e[1].segment.finMs, 2400);
        QCOMPARE(e[2].tMs, 2800);
        QVERIFY(e[2].segment.final);
        QCOMPARE(e[2].segment.interlocuteur, std::optional<qint64>(1));
    }

    void appelSimuleComplet()
    {
        BancSession b;
        QSignalSpy fin(b.session.get(), &call::SessionAppel::guideTermine);
        QVERIFY(!b.session->demarrerGuide(call::AppelGuide{scenario(), std::nullopt, 4.0}));
        QCOMPARE(b.session->etat(), EtatSession::enCours);
        QVERIFY(b.session->estGuide());
        QCOMPARE(b.session->etatTranscription(), QStringLiteral("Appel simulé"));
        QCOMPARE(b.capture->demarrages, 0);            // no audio
        QCOMPARE(b.transcriptions.size(), size_t(0));  // no network
        const model::Appel* a = b.appel();
        QCOMPARE(a->source, QStringLiteral("demo"));
        QCOMPARE(a->contactId, std::optional<QString>(QStringLiteral("c_demo")));
        QCOMPARE(a->objectif, QStringLiteral("Qualifier le besoin"));
        QVERIFY(!a->moteurTranscription);

        // 0.5 s of real time is 2 s of the script: the first turn is still partial.
        b.horloge.avancer(500);
        QCOMPARE(b.session->offsetMs(), 2000);
        QVERIFY(b.session->finals().isEmpty());
        QVERIFY(b.session->interims().contains(QStringLiteral("vous")));
        b.horloge.avancer(500);
        QCOMPARE(b.session->finals().size(), 1);
        QCOMPARE(b.session->finals()[0].texte, QStringLiteral("Bonjour Claire, merci de prendre ce moment avec moi."));
        b.horloge.avancer(2000);
        QCOMPARE(b.session->finals().size(), 3);
        QCOMPARE(fin.count(), 0);
        b.horloge.avancer(1000);
        QCOMPARE(fin.count(), 1);
        QCOMPARE(b.session->finals().size(), 4);
        QCOMPARE(b.session->finals()[3].locuteur, QStringLiteral("prospect"));
        QCOMPARE(b.session->finals()[3].interlocuteur, std::optional<qint64>(1));
        QCOMPARE(b.session->finals()[3].debutMs, 10500);
        QCOMPARE(b.session->etatTranscription(), QStringLiteral("Appel simulé terminé"));
        QCOMPARE(b.session->etat(), EtatSession::enCours);   // the user (or the caller) stops it

        b.session->arreter();
        QCOMPARE(b.session->etat(), EtatSession::termine);
        QCOMPARE(b.session->codeTranscription(), QStringLiteral("demo_fin"));
        a = b.appel();
        QCOMPARE(a->statut, QStringLiteral("analyse"));
        QCOMPARE(a->transcript.size(), 4);
        QCOMPARE(a->duree, 16.0);
        QCOMPARE(b.analyses.size(), 1);
        QVERIFY(b.session->syntheseFin());
        QVERIFY(!b.session->syntheseFin()->enCours);
    }

    void pointDAttente()
    {
        BancSession b;
        QVERIFY(!b.session->demarrerGuide(call::AppelGuide{scenario(), 2, 1.0}));
        QSignalSpy guide(b.session.get(), &call::SessionAppel::guideChange);
        b.horloge.avancer(7500);
        QCOMPARE(b.session->finals().size(), 2);
        QVERIFY(b.session->attenteGuide());
        QCOMPARE(guide.count(), 1);
        b.horloge.avancer(10000);
        QCOMPARE(b.session->finals().size(), 2);
        QVERIFY(b.session->interims().isEmpty());
        QCOMPARE(b.session->offsetMs(), 17500);   // the call's clock keeps running
        b.session->continuerGuide();
        QVERIFY(!b.session->attenteGuide());
        b.horloge.avancer(6600);
        QCOMPARE(b.session->finals().size(), 4);
        // The rest of the script is shifted by the 10 s of waiting.
        QCOMPARE(b.session->finals()[2].debutMs, 17500);
        QCOMPARE(b.session->finals()[3].finMs, 24000);
    }

    void pauseDeLaDemo()
    {
        BancSession b;
        QVERIFY(!b.session->demarrerGuide(call::AppelGuide{scenario(), std::nullopt, 1.0}));
        b.horloge.avancer(3000);
        b.session->pause();
        b.horloge.avancer(60000);
        QCOMPARE(b.session->offsetMs(), 3000);
        QCOMPARE(b.session->finals().size(), 1);
        b.session->reprendre();
        b.horloge.avancer(4000);
        QCOMPARE(b.session->finals().size(), 2);
        QCOMPARE(b.session->finals()[1].finMs, 7000);
    }

    void arretAuMilieu()
    {
        BancSession b;
        QVERIFY(!b.session->demarrerGuide(call::AppelGuide{scenario(), std::nullopt, 1.0}));
        b.horloge.avancer(5000);   // the prospect is mid-sentence
        QVERIFY(b.session->interims().contains(QStringLiteral("prospect")));
        b.session->arreter();
        QCOMPARE(b.session->finals().size(), 2);   // the partial became final
        b.horloge.avancer(60000);
        QCOMPARE(b.session->finals().size(), 2);   // playback stopped with the call
        QCOMPARE(b.appel()->duree, 5.0);
        // A new call can start at once.
        QVERIFY(!b.session->demarrerGuide(call::AppelGuide{scenario(), std::nullopt, 1.0}));
        QVERIFY(b.session->finals().isEmpty());
    }

    void scenarioDuMoteurLivre()
    {
        BancSession b;
        if (!b.scriptLivre())
            QSKIP("moteur.js n'est pas encore livré dans resources/");
        call::ConfigAppel c;
        c.source = QStringLiteral("demo");
        c.type = QStringLiteral("decouverte");
        QVERIFY(!b.session->demarrer(c));
        QVERIFY(b.session->estGuide());
        QSignalSpy fin(b.session.get(), &call::SessionAppel::guideTermine);
        for (int i = 0; i < 3600 && fin.isEmpty(); ++i)
            b.horloge.avancer(1000);
        QCOMPARE(fin.count(), 1);
        QSet<QString> locuteurs;
        for (const auto& s : b.session->finals())
            locuteurs.insert(s.locuteur);
        QCOMPARE(locuteurs, (QSet<QString>{QStringLiteral("vous"), QStringLiteral("prospect")}));
        b.session->arreter();
        QCOMPARE(b.appel()->statut, QStringLiteral("analyse"));
        QVERIFY(b.appel()->metriques);
        QVERIFY(b.appel()->metriques->nbEchanges > 0);
    }

    // The script lengthened for long calls: the turns again, round after
    // round, on the call's clock.
    void prolonge_data()
    {
        QTest::addColumn<qint64>("dureeMs");
        QTest::addColumn<int>("tours");
        QTest::addColumn<qint64>("fin");   // end of the last turn
        // One round lasts 10 s (1 s → 11 s) and the next starts 0.7 s later: a period of 10.7 s.
        QTest::newRow("aucune durée") << qint64(0) << 3 << qint64(11000);
        QTest::newRow("déjà assez long") << qint64(11000) << 3 << qint64(11000);
        QTest::newRow("une seconde de plus") << qint64(11001) << 6 << qint64(21700);
        QTest::newRow("juste la fin du second tour") << qint64(21700) << 6 << qint64(21700);
        QTest::newRow("une minute") << qint64(60000) << 18 << qint64(64500);
        QTest::newRow("durée négative") << qint64(-5) << 3 << qint64(11000);
    }
    void prolonge()
    {
        QFETCH(qint64, dureeMs);
        QFETCH(int, tours);
        QFETCH(qint64, fin);
        const ScenarioDemo base = scenarioCourt();
        const ScenarioDemo s = base.prolonge(dureeMs);
        QCOMPARE(s.tours.size(), tours);
        QCOMPARE(s.tours.last().finMs, fin);
        QCOMPARE(s.id, base.id);
        // Each round repeats the script's turns, speakers and words, shifted by whole periods.
        for (qsizetype i = 0; i < s.tours.size(); ++i) {
            const call::TourDemo& t = s.tours[i];
            const call::TourDemo& o = base.tours[i % base.tours.size()];
            const qint64 decalage = (i / base.tours.size()) * 10700;
            QCOMPARE(t.locuteur, o.locuteur);
            QCOMPARE(t.texte, o.texte);
            QCOMPARE(t.interlocuteur, o.interlocuteur);
            QCOMPARE(t.debutMs, o.debutMs + decalage);
            QCOMPARE(t.finMs, o.finMs + decalage);
        }
    }

    void evenementsDansLOrdre()
    {
        // The player's events stay in time order across rounds.
        const auto e = vd::call::LecteurDemo::evenementsDe(scenarioCourt().prolonge(40000));
        QVERIFY(!e.empty());
        for (size_t i = 1; i < e.size(); ++i)
            QVERIFY(e[i - 1].tMs <= e[i].tMs);
        QCOMPARE(e.back().tMs, scenarioCourt().prolonge(40000).tours.last().finMs);
        QVERIFY(e.back().segment.final);
    }

    void scenarioVide()
    {
        ScenarioDemo s;
        QVERIFY(s.prolonge(60000).tours.isEmpty());
    }

    // The prompter tied to a running simulated call: objections spotted on the
    // session's finals reach the call, help answers land in the call's help list.
    void appelSimuleAvecSouffleur()
    {
        AppelSimule a;
        auto& [horloge, moteur, store, client, scenario] = a;
        QVERIFY(scenario);
        call::SessionAppel session(store, moteur, horloge, {});
        ai::Souffleur souffleur(moteur, client);
        ai::PanneauSouffleur panneau(souffleur, horloge);
        call::LiaisonSouffleur liaison(session, souffleur, panneau, store);

        QVERIFY(!session.demarrerGuide(call::AppelGuide{*scenario, std::nullopt, 50.0}));
        for (int i = 0; i < 400 && session.detections().isEmpty(); ++i)
            horloge.avancer(250);
        QVERIFY(!session.detections().isEmpty());   // spotted by the prompter, recorded on the call

        // A help request streams into the call's help list.
        const auto id = souffleur.demander(QStringLiteral("objection"));
        QVERIFY2(id, qPrintable(id ? QString() : id.erreur()));
        QVERIFY(client.derniere());
        QCOMPARE(client.requetes.last().tache, QStringLiteral("objection"));
        QVERIFY(client.requetes.last().demo);   // a simulated call asks the demonstration route
        client.derniere()->terminer(QStringLiteral("{\"reponse\":\"Je comprends.\"}"));
        QCOMPARE(session.aides().size(), 1);
        QCOMPARE(session.aides().first().statut, call::AideLive::Statut::ok);
        session.arreter();
    }

    // A template picked and one step edited: the next simulated call follows that
    // framework (the one saved as default), shows the step's questions in the
    // prompter and ticks them and the grid live; the analysis scores the step
    // and writes what was heard on the contact.
    void frameworkChoisiDansLAppelSimule()
    {
        AppelSimule a;
        auto& [horloge, moteur, store, client, scenario] = a;
        QVERIFY(scenario);
        const auto grilles = team::grillesDepuisMoteur(moteur.donnee(QStringLiteral("GRILLES_QUALIFICATION")).toArray());
        team::FrameworkVente f = team::frameworkDepuisModele(*team::modeleCycle(QStringLiteral("vente_courte")), QStringLiteral("fw_court"),
                                                             store.horodatageMaintenant(), grilles);
        const QString q1 = QStringLiteral("Comment se passe la planification de vos interventions aujourd'hui ?");
        f.etapes[0].questions = {q1, QStringLiteral("Qui d'autre participe à la décision de votre côté ?")};
        f.parDefaut = true;
        QVERIFY(!team::enregistrerFramework(store, f));

        call::SessionAppel session(store, moteur, horloge, {});
        ai::Souffleur souffleur(moteur, client);
        ai::PanneauSouffleur panneau(souffleur, horloge);
        ai::AnalysesEnCours analyses(store, moteur, client);
        call::LiaisonSouffleur liaison(session, souffleur, panneau, store, &analyses);
        QVERIFY(!session.demarrerGuide(call::AppelGuide{*scenario, std::nullopt, 50.0}));
        QTRY_VERIFY(panneau.etapeCourante().has_value());   // the context is built on its own thread
        QCOMPARE(panneau.titreEtape(), QStringLiteral("Étape 1 / 2 : Découverte express"));
        QCOMPARE(panneau.etapeCourante()->questions.first(), (QPair<QString, bool>{q1, false}));

        QSignalSpy fin(&session, &call::SessionAppel::guideTermine);
        for (int i = 0; i < 2000 && fin.isEmpty(); ++i)
            horloge.avancer(250);
        QCOMPARE(fin.count(), 1);
        // Both questions asked: the prompter moves on to the next step.
        QCOMPARE(panneau.etapeCourante()->id, QStringLiteral("proposition"));
        QStringList entendus;
        for (const auto& g : panneau.grilleCochee())
            if (g.entendu)
                entendus << g.id;
        QCOMPARE(entendus, (QStringList{"budget", "autorite", "besoin", "echeance"}));
        QVERIFY(session.qualificationAppel().size() >= 2);
        QCOMPARE(session.qualificationAppel().first().qt()[QLatin1String("source")].toString(), QStringLiteral("direct"));

        const QString appelId = session.appelIdTexte();
        session.arreter();
        QTRY_VERIFY(!client.requetes.isEmpty() && client.requetes.last().tache == QLatin1String("analyse"));
        auto demo = moteur.appelerTexte(QStringLiteral("reponseDemo"), {QStringLiteral("analyse"), client.requetes.last().payload});
        QVERIFY(demo);
        client.derniere()->terminer(demo.valeur());
        QTRY_VERIFY(store.etat().appel(appelId)->analyse.has_value());
        const model::MethodeAnalyse& m = store.etat().appel(appelId)->analyse->methode;
        QCOMPARE(m.frameworkId, std::optional<QString>(QStringLiteral("fw_court")));
        QCOMPARE(m.etapes.first().id, QStringLiteral("decouverte"));
        QCOMPARE(m.etapes.first().score, std::optional<qint64>(100));
        QCOMPARE(m.etapes.first().poids, std::optional<double>(30));
        const model::Contact* c = store.etat().contact(scenario->contactId.value_or(QString()));
        QCOMPARE(c->champs.budget, QStringLiteral("15 000 euros"));
        QStringList items;
        for (const model::JSONValeur& q : c->qualification.value_or(QList<model::JSONValeur>()))
            items << q.qt()[QLatin1String("item")].toString();
        QVERIFY2(items.contains(QStringLiteral("autorite")), qPrintable(items.join(',')));
    }
};

QTEST_GUILESS_MAIN(TstSessionDemo)
#include "tst_sessiondemo.moc"
