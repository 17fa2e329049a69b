// The prompter tied to a running simulated call: objections spotted on the
// session's finals reach the call, help answers land in the call's help list.
#include "ai/moteur.h"
#include "ai/panneausouffleur.h"
#include "ai/souffleur.h"
#include "call/liaisonsouffleur.h"
#include "call/sessionappel.h"
#include "fakes/clientiascripte.h"
#include "model/store.h"
#include "platform/horloge.h"

#include <QTest>

using namespace vd;

class TstLiaisonSouffleur : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void appelSimuleAvecSouffleur()
    {
        platform::HorlogeFactice horloge;
        ai::Moteur& moteur = ai::Moteur::instance();
        model::Store store({}, horloge);
        auto demo = moteur.appelerJSON(QStringLiteral("etatDemo"));
        QVERIFY(demo);
        store.remplacerEtat(*model::Etat::depuisJson(demo.valeur()));
        auto brut = moteur.appelerJSON(QStringLiteral("scenarioDemo"), {QStringLiteral("decouverte")});
        QVERIFY(brut);
        auto scenario = call::ScenarioDemo::depuisJson(brut.valeur());
        QVERIFY(scenario);

        fakes::ClientIAScripte client;
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
};

QTEST_GUILESS_MAIN(TstLiaisonSouffleur)
#include "tst_liaisonsouffleur.moc"
