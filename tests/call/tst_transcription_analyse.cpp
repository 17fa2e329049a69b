// Service messages to segments, wire formats and the failure messages.
#include "call/analyseurs.h"
#include "call/moteurtranscription.h"
#include "call/transcription.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUrlQuery>

using namespace vd::call;
using vd::ai::SourceIA;

namespace {

QJsonObject jeton(const QString& t, qint64 d, qint64 f, bool final, QJsonValue locuteur = QJsonValue::Undefined)
{
    QJsonObject o{{"text", t}, {"start_ms", d}, {"end_ms", f}, {"is_final", final}};
    if (!locuteur.isUndefined())
        o.insert("speaker", locuteur);
    return o;
}

QByteArray message(const QJsonArray& jetons, bool fini = false)
{
    QJsonObject o{{"tokens", jetons}};
    if (fini)
        o.insert("finished", true);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

const QJsonObject fin{{"text", "<end>"}, {"is_final", true}};

SegmentLive seg(QString qui, QString texte, bool final, qint64 d, qint64 f, std::optional<qint64> inter = std::nullopt)
{
    return SegmentLive{qui, texte, final, d, f, inter};
}

} // namespace

class TestAnalyse : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pasUnObjet()
    {
        AnalyseurSoniox a;
        QVERIFY(!a.analyser("[1,2]", 0).estResultat);
        QVERIFY(!a.analyser("pas du json", 0).estResultat);
    }

    void erreurDuService()
    {
        AnalyseurSoniox a;
        const auto r = a.analyser(R"({"error_code":401,"error_type":"temp_api_key_session_expired","error_message":"x"})", 0);
        QVERIFY(r.erreur.has_value());
        QCOMPARE(r.erreur->code, 401);
        QCOMPARE(r.erreur->type, QStringLiteral("temp_api_key_session_expired"));
        QVERIFY(r.segments.isEmpty());
        const auto r2 = a.analyser(R"({"error_code":503})", 0);
        QCOMPARE(r2.erreur->type, QString());
        QCOMPARE(r2.erreur->message, QString());
    }

    void finauxSansMarqueurRestentPartiels()
    {
        AnalyseurSoniox a;
        a.role = RoleFluxSoniox::vous;
        auto r = a.analyser(message({jeton("Bon", 100, 300, true), jeton("jour", 300, 500, true), jeton(" à", 500, 600, false)}), 1000);
        QVERIFY(r.estResultat);
        QCOMPARE(r.segments, QList<SegmentLive>{seg("vous", "Bonjour à", false, 1100, 1600)});
        QCOMPARE(a.enAttente.size(), 2);
        r = a.analyser(message({jeton(" tous", 600, 900, true), fin}), 1000);
        QCOMPARE(r.segments, QList<SegmentLive>{seg("vous", "Bonjour tous", true, 1100, 1900)});
        QVERIFY(a.enAttente.isEmpty());
    }

    void marqueurFinalisation()
    {
        AnalyseurSoniox a;
        a.role = RoleFluxSoniox::vous;
        const auto r = a.analyser(message({jeton("Oui", 0, 200, true), QJsonObject{{"text", "<fin>"}, {"is_final", true}}}), 0);
        QCOMPARE(r.segments, QList<SegmentLive>{seg("vous", "Oui", true, 0, 200)});
    }

    // A token without an end, or tokens out of order, never give a segment ending before it starts.
    void jetonsSansFinOuDesordonnes()
    {
        AnalyseurSoniox a;
        a.role = RoleFluxSoniox::vous;
        auto r = a.analyser(R"({"tokens":[{"text":"Bonjour","start_ms":500,"is_final":true},{"text":"<fin>","is_final":true}]})", 0);
        QCOMPARE(r.segments, QList<SegmentLive>{seg("vous", "Bonjour", true, 500, 500)});
        r = a.analyser(message({jeton("Oui", 800, 900, true), jeton(" non", 100, 200, true), fin}), 0);
        QCOMPARE(r.segments, QList<SegmentLive>{seg("vous", "Oui non", true, 800, 800)});
    }

    void finalVideEffacePartielSansSegment()
    {
        AnalyseurSoniox a;
        a.role = RoleFluxSoniox::prospect;
        a.analyser(message({jeton("  ", 0, 100, true, 1)}), 0);
        const auto r = a.analyser(message({fin}), 0);
        // No final segment, one empty partial that clears the speaker's partial.
        QCOMPARE(r.segments.size(), 1);
        QVERIFY(!r.segments[0].final);
        QVERIFY(r.segments[0].texte.isEmpty());
        QCOMPARE(r.segments[0].locuteur, QStringLiteral("prospect"));
    }

    void locuteurEnTexte()
    {
        AnalyseurSoniox a;
        a.role = RoleFluxSoniox::prospect;
        const auto r = a.analyser(message({jeton("Allô", 0, 100, true, " 4 "), jeton("?", 100, 150, true, "4"),
                                           jeton("!", 150, 200, true, 4), fin}),
                                  0);
        QCOMPARE(r.segments, QList<SegmentLive>{seg("prospect", "Allô?!", true, 0, 200, 1)});
        QCOMPARE(a.voix.numeros.value(4), 1);
    }

    void nouvelleVoixDemandeTroisJetons()
    {
        AnalyseurSoniox a;
        a.role = RoleFluxSoniox::prospect;
        a.voix.enregistrer(1);
        // Two tokens from an unknown speaker: still voice 1, merged into the group before.
        auto r = a.analyser(message({jeton("Je", 0, 100, true, 1), jeton(" vois", 100, 200, true, 1), jeton(" oui", 200, 300, true, 2),
                                     jeton(" non", 300, 400, true, 2), fin}),
                            0);
        QCOMPARE(r.segments, QList<SegmentLive>{seg("prospect", "Je vois oui non", true, 0, 400, 1)});
        QCOMPARE(a.voix.numeros.size(), 1);
        // Three tokens: voice 2 is registered.
        r = a.analyser(message({jeton("Je", 0, 100, true, 1), jeton(" pense", 100, 200, true, 2), jeton(" que", 200, 300, true, 2),
                                jeton(" non", 300, 400, true, 2), fin}),
                       0);
        QCOMPARE(r.segments, (QList<SegmentLive>{seg("prospect", "Je", true, 0, 100, 1), seg("prospect", "pense que non", true, 100, 400, 2)}));
        QCOMPARE(a.voix.numeros.value(2), 2);
    }

    void premierGroupeSansVoixConnue()
    {
        AnalyseurSoniox a;
        a.role = RoleFluxSoniox::prospect;
        a.voix.enregistrer(7);
        a.voix.enregistrer(3);
        // First run is short and unknown: it takes the number of the first known speaker of the batch.
        const auto r = a.analyser(message({jeton("Eh", 0, 100, true, 9), jeton(" bien", 100, 200, true, 3), fin}), 0);
        QCOMPARE(r.segments, QList<SegmentLive>{seg("prospect", "Eh bien", true, 0, 200, 2)});
    }

    void partielProspectSansEnregistrer()
    {
        AnalyseurSoniox a;
        a.role = RoleFluxSoniox::prospect;
        a.voix.enregistrer(1);
        const auto r = a.analyser(message({jeton("Qui", 0, 100, false, 5)}), 0);
        QCOMPARE(r.segments, QList<SegmentLive>{seg("prospect", "Qui", false, 0, 100, 2)});
        QCOMPARE(a.voix.numeros.size(), 1);
        const auto r2 = a.analyser(message({jeton("Sans", 0, 100, false)}), 0);
        QCOMPARE(r2.segments.value(0).interlocuteur, std::nullopt);
    }

    void mixteDevineLeVendeur()
    {
        AnalyseurSoniox a;
        a.role = RoleFluxSoniox::mixte;
        auto r = a.analyser(message({jeton("Bonjour", 0, 300, false, 1)}), 0);
        QCOMPARE(r.segments.value(0).locuteur, QStringLiteral("vous"));
        QVERIFY(!a.locuteurVous);
        r = a.analyser(message({jeton("Bonjour", 0, 300, true, 1), jeton(" Bonjour", 400, 700, true, 2), jeton(" à vous", 700, 900, true, 2), fin}), 0);
        QCOMPARE(a.locuteurVous, std::optional<qint64>(1));
        QCOMPARE(r.segments, (QList<SegmentLive>{seg("vous", "Bonjour", true, 0, 300), seg("prospect", "Bonjour à vous", true, 400, 900)}));
    }

    void finDuFlux()
    {
        AnalyseurSoniox a;
        QVERIFY(a.analyser(message({}, true), 0).fini);
        QVERIFY(!a.analyser(message({}), 0).fini);
    }

    void viderALaFinDuSocket()
    {
        AnalyseurSoniox a;
        a.role = RoleFluxSoniox::vous;
        a.analyser(message({jeton("Reste", 0, 100, true)}), 50);
        QCOMPARE(a.vider(50), QList<SegmentLive>{seg("vous", "Reste", true, 50, 150)});
        QVERIFY(a.vider(50).isEmpty());
    }

    void deepgramResultats()
    {
        VoixProspect voix;
        using M = QJsonObject;
        const auto resultat = [](int canal, QString texte, bool final, QJsonArray mots) {
            const QJsonObject alt{{"transcript", texte}, {"words", mots}};
            return QJsonDocument(M{{"type", "Results"}, {"channel_index", QJsonArray{canal, 2}}, {"start", 1.25}, {"duration", 0.5},
                                   {"is_final", final}, {"channel", M{{"alternatives", QJsonArray{alt}}}}})
                .toJson();
        };
        const auto mot = [](QString m, int loc) { return M{{"word", m}, {"punctuated_word", m}, {"start", 1.3}, {"end", 1.4}, {"speaker", loc}}; };
        auto s = analyserDeepgram(resultat(0, "Bonjour.", true, {}), 2000, voix);
        QVERIFY(s);
        QCOMPARE(*s, seg("vous", "Bonjour.", true, 3250, 3750));
        s = analyserDeepgram(resultat(1, "Oui", false, {mot("Oui", 0)}), 0, voix);
        QCOMPARE(*s, seg("prospect", "Oui", false, 1250, 1750, 1));
        QVERIFY(voix.numeros.isEmpty());
        s = analyserDeepgram(resultat(1, "Oui tout à fait", true, {mot("Oui", 0), mot("tout", 0), mot("à", 0), mot("fait", 0)}), 0, voix);
        QCOMPARE(s->interlocuteur, std::optional<qint64>(1));
        s = analyserDeepgram(resultat(1, "Et moi", true, {mot("Et", 3), mot("moi", 3)}), 0, voix);
        QCOMPARE(s->interlocuteur, std::optional<qint64>(1));   // two words are not enough for a new voice
        s = analyserDeepgram(resultat(1, "Et moi aussi", true, {mot("Et", 3), mot("moi", 3), mot("aussi", 3)}), 0, voix);
        QCOMPARE(s->interlocuteur, std::optional<qint64>(2));
        QVERIFY(!analyserDeepgram(R"({"type":"Metadata"})", 0, voix));
        QVERIFY(!analyserDeepgram("{", 0, voix));
        // Empty final result: clears the partial, adds no segment.
        s = analyserDeepgram(resultat(1, "", true, {}), 0, voix);
        QVERIFY(s && !s->final && s->texte.isEmpty());
    }

    void messagesSoniox_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("cle");
        QTest::addColumn<QString>("autre");
        QTest::newRow("400") << 400 << "La transcription refuse ses réglages. Réessayez dans un instant, puis prévenez-nous si cela continue."
                             << "La transcription refuse ses réglages. Réessayez dans un instant, puis prévenez-nous si cela continue.";
        QTest::newRow("401") << 401 << "La transcription refuse votre clé. Vérifiez-la dans Réglages, ainsi que la région de votre projet (Europe ou monde)."
                             << "La transcription ne démarre pas. Réessayez dans un instant.";
        QTest::newRow("402") << 402 << "Le crédit de votre clé de transcription est épuisé. Rechargez-le, puis réessayez."
                             << "La transcription n'est pas disponible pour le moment. Réessayez plus tard.";
        QTest::newRow("403") << 403 << "La transcription ne démarre pas. Réessayez dans un instant."
                             << "La transcription ne démarre pas. Réessayez dans un instant.";
        QTest::newRow("429") << 429 << "Trop de transcriptions en même temps. Terminez un autre appel, puis réessayez."
                             << "Trop de transcriptions en même temps. Terminez un autre appel, puis réessayez.";
        QTest::newRow("500") << 500 << "La transcription ne répond pas pour le moment. Réessayez dans un instant."
                             << "La transcription ne répond pas pour le moment. Réessayez dans un instant.";
    }
    void messagesSoniox()
    {
        QFETCH(int, code);
        QFETCH(QString, cle);
        QFETCH(QString, autre);
        QCOMPARE(messageErreurSoniox(code, SourceIA::cle), cle);
        QCOMPARE(messageErreurSoniox(code, SourceIA::cloud), autre);
        QCOMPARE(messageErreurSoniox(code, SourceIA::relais), autre);
    }

    void erreursDefinitives()
    {
        for (int c : {400, 401, 402, 403})
            QVERIFY(erreurSonioxDefinitive(c, "x"));
        QVERIFY(!erreurSonioxDefinitive(401, "temp_api_key_session_expired"));
        QVERIFY(!erreurSonioxDefinitive(429, "x"));
        QVERIFY(!erreurSonioxDefinitive(500, ""));
    }

    void messagesOuverture_data()
    {
        QTest::addColumn<int>("erreur");
        QTest::addColumn<int>("statut");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("soniox");
        QTest::addColumn<QString>("deepgram");
        const QString reseau = "Connexion impossible. Vérifiez votre accès à internet.";
        const QString demarre = "La transcription ne démarre pas. Réessayez dans un instant.";
        const QString cle = "La transcription refuse votre clé. Vérifiez-la dans Réglages.";
        QTest::newRow("hôte introuvable") << int(QAbstractSocket::HostNotFoundError) << 0 << int(SourceIA::cle) << reseau << reseau;
        QTest::newRow("réseau absent") << int(QAbstractSocket::NetworkError) << 0 << int(SourceIA::cloud) << reseau << reseau;
        QTest::newRow("connexion perdue") << int(QAbstractSocket::RemoteHostClosedError) << 0 << int(SourceIA::cle) << reseau << reseau;
        QTest::newRow("refus clé sans statut") << int(QAbstractSocket::ConnectionRefusedError) << 0 << int(SourceIA::cle) << demarre << cle;
        QTest::newRow("401 clé") << int(QAbstractSocket::ConnectionRefusedError) << 401 << int(SourceIA::cle) << demarre << cle;
        QTest::newRow("403 clé") << int(QAbstractSocket::ConnectionRefusedError) << 403 << int(SourceIA::cle) << demarre << cle;
        QTest::newRow("500 clé") << int(QAbstractSocket::ConnectionRefusedError) << 500 << int(SourceIA::cle) << demarre << demarre;
        QTest::newRow("401 relais") << int(QAbstractSocket::ConnectionRefusedError) << 401 << int(SourceIA::relais) << demarre << demarre;
    }
    void messagesOuverture()
    {
        QFETCH(int, erreur);
        QFETCH(int, statut);
        QFETCH(int, mode);
        QFETCH(QString, soniox);
        QFETCH(QString, deepgram);
        QCOMPARE(messageEchecOuvertureSoniox(QAbstractSocket::SocketError(erreur)), soniox);
        QCOMPARE(messageEchecOuvertureDeepgram(QAbstractSocket::SocketError(erreur), statut, SourceIA(mode)), deepgram);
    }

    void statutDePoignee()
    {
        QCOMPARE(statutHttpPoignee("QWebSocketPrivate::processHandshake: Unhandled http status code: 401 (Unauthorized)."), 401);
        QCOMPARE(statutHttpPoignee("Connection refused"), 0);
    }

    void configurationSoniox_data()
    {
        QTest::addColumn<QString>("langue");
        QTest::addColumn<QStringList>("indices");
        QTest::newRow("fr") << "fr" << QStringList{"fr"};
        QTest::newRow("en") << "en" << QStringList{"en"};
        QTest::newRow("multi") << "multi" << QStringList{"fr", "en"};
        QTest::newRow("de") << "de" << QStringList{"fr"};
    }
    void configurationSoniox()
    {
        QFETCH(QString, langue);
        QFETCH(QStringList, indices);
        const QJsonObject attendu{{"api_key", "k1"}, {"model", "stt-rt-v5"}, {"audio_format", "pcm_s16le"}, {"sample_rate", 16000},
                                  {"num_channels", 1}, {"enable_speaker_diarization", true}, {"enable_endpoint_detection", true},
                                  {"max_endpoint_delay_ms", 1000}, {"language_hints", QJsonArray::fromStringList(indices)}};
        QCOMPARE(QJsonDocument::fromJson(trameConfigurationSoniox("k1", langue, true)).object(), attendu);
    }

    void requeteDeepgram_data()
    {
        QTest::addColumn<QString>("langue");
        QTest::addColumn<int>("canaux");
        QTest::addColumn<QString>("attendu");
        const QString debut = "mip_opt_out=true&model=nova-3&language=";
        const QString milieu = "&punctuate=true&smart_format=true&interim_results=true&endpointing=300&utterance_end_ms=1000"
                               "&encoding=linear16&sample_rate=16000&channels=";
        QTest::newRow("stéréo") << "en" << 2 << debut + "en" + milieu + "2&multichannel=true&diarize=true";
        QTest::newRow("mono") << "multi" << 1 << debut + "multi" + milieu + "1&diarize=true";
        QTest::newRow("allemand") << "de" << 2 << debut + "fr" + milieu + "2&multichannel=true&diarize=true";
    }
    void requeteDeepgram()
    {
        QFETCH(QString, langue);
        QFETCH(int, canaux);
        QFETCH(QString, attendu);
        qunsetenv("VD_URL_DEEPGRAM");
        const QUrl u = urlDeepgram(langue, canaux);
        QCOMPARE(u.path(), QStringLiteral("/v1/listen"));
        QCOMPARE(u.query(), attendu);
        qputenv("VD_URL_DEEPGRAM", "ws://127.0.0.1:9");
        QCOMPARE(urlDeepgram(langue, canaux).toString(), QStringLiteral("ws://127.0.0.1:9/v1/listen?") + attendu);
        qunsetenv("VD_URL_DEEPGRAM");
    }

    void adressesSoniox()
    {
        qunsetenv("VD_URL_SONIOX");
        qunsetenv("VD_URL_SONIOX_EU");
        QCOMPARE(urlSoniox(false).path(), QStringLiteral("/transcribe-websocket"));
        QVERIFY(urlSoniox(true).host() != urlSoniox(false).host());
        qputenv("VD_URL_SONIOX_EU", "ws://127.0.0.1:7");
        QCOMPARE(urlSoniox(true).toString(), QStringLiteral("ws://127.0.0.1:7/transcribe-websocket"));
        qunsetenv("VD_URL_SONIOX_EU");
    }

    void separationStereo()
    {
        const QByteArray bloc = QByteArray::fromHex("0102a1a2" "0304b3b4" "05");
        const auto [vous, prospect] = separerStereo(bloc);
        QCOMPARE(vous, QByteArray::fromHex("01020304"));
        QCOMPARE(prospect, QByteArray::fromHex("a1a2b3b4"));
    }
};

QTEST_GUILESS_MAIN(TestAnalyse)
#include "tst_transcription_analyse.moc"
