// The backend token of the transcription through the real backend client,
// against the backend emulator.
#include "call/accestranscription.h"
#include "call/moteurtranscription.h"
#include "cloud/outilscloud.h"

#include <QJsonDocument>
#include <QTest>

using namespace vd::call;
using vd::fakes::ReponseHttpFactice;
using vd::fakes::RequeteHttp;

namespace {
using ResultatJeton = vd::Resultat<JetonCloud, QString>;
}

class TestTranscriptionCloud : public QObject {
    Q_OBJECT
    std::unique_ptr<vd::tests::BancCloud> banc;

    std::optional<ResultatJeton> jeton(TranscriptionCloud& cloud)
    {
        std::optional<ResultatJeton> r;
        cloud.jeton(this, [&](const ResultatJeton& x) { r = x; });
        if (!QTest::qWaitFor([&] { return r.has_value(); }, 10000))
            return std::nullopt;
        return r;
    }

private Q_SLOTS:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        banc = std::make_unique<vd::tests::BancCloud>();
        vd::platform::Horloge::installer(&banc->horloge);
        QVERIFY(banc->demarrer());
    }
    void cleanup()
    {
        banc.reset();
        vd::platform::Horloge::installer(nullptr);
    }

    void sansSession()
    {
        TranscriptionCloud cloud(appelFonctionCloud(banc->client.get()), "appel-1", 2, "fr", IdMoteur::soniox, true);
        const auto r = jeton(cloud);
        QVERIFY(r && !*r);
        QCOMPARE(r->erreur(), QStringLiteral("Connectez-vous pour lancer la transcription."));
        QCOMPARE(banc->serveur.requetes("/functions/v1/transcription-jeton").size(), 0);
    }

    void jetonDuBackend()
    {
        QVERIFY(banc->connecter());
        banc->serveur.surFonction("transcription-jeton", [](const RequeteHttp&) {
            return ReponseHttpFactice::json(200, QJsonObject{{"access_token", "tmp-42"}, {"session_id", "s-1"},
                                                             {"moteur", "soniox"}, {"url_websocket", "wss://exemple/ws"}});
        });
        TranscriptionCloud cloud(appelFonctionCloud(banc->client.get()), "appel-1", 2, "fr", IdMoteur::soniox, true);
        auto r = jeton(cloud);
        QVERIFY(r && *r);
        QCOMPARE(r->valeur().jeton, QStringLiteral("tmp-42"));
        QCOMPARE(r->valeur().urlWebsocket, QStringLiteral("wss://exemple/ws"));
        const auto requetes = banc->serveur.requetes("/functions/v1/transcription-jeton");
        QCOMPARE(requetes.size(), 1);
        QCOMPARE(requetes[0].methode, QByteArray("POST"));
        QVERIFY(requetes[0].entete("authorization").startsWith("Bearer "));
        const QJsonObject corps = requetes[0].json().toObject();
        QCOMPARE(corps["appelId"].toString(), QStringLiteral("appel-1"));
        QCOMPARE(corps["moteur"].toString(), QStringLiteral("soniox"));
        QVERIFY(corps["session_id"].isNull());
        // The next request of the call (after the shared 20 s) carries the session.
        banc->horloge.avancer(20000);
        r = jeton(cloud);
        QVERIFY(r && *r);
        QCOMPARE(banc->serveur.requetes("/functions/v1/transcription-jeton").last().json().toObject()["session_id"].toString(),
                 QStringLiteral("s-1"));
    }

    void ancienneFonctionPourDeepgram()
    {
        QVERIFY(banc->connecter());
        // "transcription-jeton" is unknown to this backend: it answers 404.
        banc->serveur.surFonction("deepgram-jeton", [](const RequeteHttp& r) {
            if (r.json().toObject().contains("moteur"))
                return ReponseHttpFactice::json(400, QJsonObject{{"error", "requete_invalide"}});
            return ReponseHttpFactice::json(200, QJsonObject{{"access_token", "dg-1"}});
        });
        TranscriptionCloud cloud(appelFonctionCloud(banc->client.get()), "appel-2", 2, "fr", IdMoteur::deepgram, true);
        const auto r = jeton(cloud);
        QVERIFY(r && *r);
        QCOMPARE(r->valeur().jeton, QStringLiteral("dg-1"));
        QCOMPARE(banc->serveur.requetes("/functions/v1/transcription-jeton").size(), 1);
        QCOMPARE(banc->serveur.requetes("/functions/v1/deepgram-jeton").size(), 1);
    }

    // The backend's error codes reach the messages (each code's wording is the token tests').
    void codesDuBackend_data()
    {
        QTest::addColumn<int>("statut");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("désactivée") << 403 << "fonction_desactivee" << "La transcription n'est pas encore disponible.";
        QTest::newRow("trop de sessions") << 429 << "trop_de_sessions"
                                          << "Trop de transcriptions en même temps. Terminez un appel avant d'en lancer un autre.";
    }
    void codesDuBackend()
    {
        QFETCH(int, statut);
        QFETCH(QString, code);
        QFETCH(QString, message);
        QVERIFY(banc->connecter());
        banc->serveur.surFonction("transcription-jeton", [statut, code](const RequeteHttp&) {
            return vd::fakes::FauxSupabase::erreurFonction(statut, code);
        });
        TranscriptionCloud cloud(appelFonctionCloud(banc->client.get()), "appel-3", 1, "fr", IdMoteur::soniox, true);
        const auto r = jeton(cloud);
        QVERIFY(r && !*r);
        QCOMPARE(r->erreur(), message);
    }
};

QTEST_GUILESS_MAIN(TestTranscriptionCloud)
#include "tst_transcription_cloud.moc"
