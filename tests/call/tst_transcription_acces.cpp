// Credentials of the transcription sockets: own keys, the relay's token
// route, the backend token with its shared 20 s request and 404 fallback.
#include "call/accestranscription.h"
#include "call/moteurtranscription.h"
#include "fakes/fauxdeepgram.h"
#include "fakes/fauxrelaistranscription.h"
#include "fakes/fauxsoniox.h"
#include "platform/coffre.h"
#include "platform/horloge.h"
#include "commun_transcription.h"

#include <QJsonDocument>
#include <QTest>
#include <QTimer>

using namespace vd::call;
using vd::ai::SourceIA;
using vd::platform::HorlogeFactice;

namespace {

using ResultatAcces = vd::Resultat<AccesTranscription, QString>;
using ResultatJeton = vd::Resultat<JetonCloud, QString>;

// A backend whose answers the test gives by hand.
struct FauxBackend {
    struct Appel {
        QString nom;
        QJsonObject corps;
        int delaiMs;
        RappelFonction rappel;
    };
    QList<Appel> appels;
    AppelFonction fonction()
    {
        return [this](const QString& nom, const QJsonObject& corps, int delaiMs, QObject*, RappelFonction r) {
            appels.append({nom, corps, delaiMs, std::move(r)});
        };
    }
    void repondre(int i, const QJsonObject& o) { appels[i].rappel(o); }
    void echouer(int i, ErreurFonction e) { appels[i].rappel(vd::echec(e)); }
};

ErreurFonction erreurFonction(int statut, QString code, QString message = {}, ErreurFonction::Genre g = ErreurFonction::Genre::autre)
{
    return ErreurFonction{g, statut, code, message};
}

} // namespace

class TestAcces : public QObject {
    Q_OBJECT

    HorlogeFactice* horloge = nullptr;
    vd::platform::CoffreMemoire* coffre = nullptr;

    std::optional<ResultatAcces> obtenir(FournisseurAcces& f)
    {
        std::optional<ResultatAcces> r;
        f.obtenir(this, [&](const ResultatAcces& x) { r = x; });
        if (!QTest::qWaitFor([&] { return r.has_value(); }, 5000))
            return std::nullopt;
        return r;
    }

private Q_SLOTS:
    void init()
    {
        horloge = new HorlogeFactice;
        vd::platform::Horloge::installer(horloge);
        coffre = new vd::platform::CoffreMemoire;
        vd::platform::Coffre::installer(coffre);
        qunsetenv("VD_URL_SONIOX");
        qunsetenv("VD_URL_DEEPGRAM");
    }
    void cleanup()
    {
        vd::platform::Coffre::installer(nullptr);
        delete coffre;
        vd::platform::Horloge::installer(nullptr);
        delete horloge;
    }

    void cleAbsente()
    {
        coffre->ecrire("soniox", "   ");
        AccesCle soniox(IdMoteur::soniox, false, "fr", 2);
        auto r = obtenir(soniox);
        QVERIFY(r && !*r);
        QCOMPARE(r->erreur(), QStringLiteral("Aucune clé de transcription n'est configurée. Ajoutez la vôtre dans Réglages, ou lancez l'appel simulé."));
        AccesCle deepgram(IdMoteur::deepgram, false, "fr", 2);
        r = obtenir(deepgram);
        QVERIFY(r && !*r);
    }

    void clesPropres()
    {
        coffre->ecrire("soniox", "cle-s");
        coffre->ecrire("deepgram", "cle-d");
        qputenv("VD_URL_SONIOX", "ws://127.0.0.1:5");
        AccesCle soniox(IdMoteur::soniox, false, "fr", 2);
        auto r = obtenir(soniox);
        QVERIFY(r && *r);
        QCOMPARE(r->valeur().cle, QStringLiteral("cle-s"));
        QCOMPARE(r->valeur().url.toString(), QStringLiteral("ws://127.0.0.1:5/transcribe-websocket"));
        QCOMPARE(r->valeur().mode, SourceIA::cle);
        AccesCle deepgram(IdMoteur::deepgram, false, "en", 1);
        r = obtenir(deepgram);
        QCOMPARE(r->valeur().cle, QStringLiteral("Token cle-d"));
        QVERIFY(r->valeur().url.query().contains("language=en"));
        QVERIFY(!r->valeur().url.query().contains("multichannel"));
    }

    void relais_data()
    {
        QTest::addColumn<int>("statut");
        QTest::addColumn<QByteArray>("corps");
        QTest::addColumn<QString>("cle");
        QTest::addColumn<QString>("message");
        QTest::newRow("jeton") << 200 << QByteArray(R"({"access_token":"abc"})") << "Bearer abc" << "";
        QTest::newRow("erreur du relais") << 429 << QByteArray(R"({"erreur":"Quota du relais atteint."})") << "" << "Quota du relais atteint.";
        QTest::newRow("erreur nommant le fournisseur") << 500 << QByteArray(R"({"erreur":"Deepgram key revoked"})") << ""
                                                      << "Impossible d'ouvrir la transcription. Réessayez dans un instant.";
        QTest::newRow("sans erreur") << 502 << QByteArray("<html>") << "" << "Impossible d'ouvrir la transcription. Réessayez dans un instant.";
        QTest::newRow("2xx sans jeton") << 200 << QByteArray("{}") << "" << "Impossible d'ouvrir la transcription. Réessayez dans un instant.";
    }
    void relais()
    {
        QFETCH(int, statut);
        QFETCH(QByteArray, corps);
        QFETCH(QString, cle);
        QFETCH(QString, message);
        vd::fakes::FauxRelaisTranscription serveur;
        QVERIFY(serveur.demarrer());
        serveur.statut = statut;
        serveur.corps = corps;
        AccesRelais relais(adresseRelais(serveur.url().toString() + "/api"), "fr", 2);
        const auto r = obtenir(relais);
        QVERIFY(r);
        QCOMPARE(serveur.requetes.size(), 1);
        QCOMPARE(serveur.requetes[0].methode, QByteArray("POST"));
        QCOMPARE(serveur.requetes[0].chemin, QByteArray("/api/deepgram/token"));
        if (cle.isEmpty()) {
            QVERIFY(!*r);
            QCOMPARE(r->erreur(), message);
        } else {
            QVERIFY(*r);
            QCOMPARE(r->valeur().cle, cle);
            QCOMPARE(r->valeur().mode, SourceIA::relais);
        }
        // No cache: a second request goes out.
        obtenir(relais);
        QCOMPARE(serveur.requetes.size(), 2);
    }

    void relaisMuetOuAbsent()
    {
        vd::fakes::FauxRelaisTranscription serveur;
        QVERIFY(serveur.demarrer());
        serveur.muet = true;
        AccesRelais relais(serveur.url(), "fr", 2);
        std::optional<ResultatAcces> r;
        relais.obtenir(this, [&](const ResultatAcces& x) { r = x; });
        QTRY_COMPARE(serveur.requetes.size(), 1);
        horloge->avancer(9999);
        QTest::qWait(20);
        QVERIFY(!r);
        horloge->avancer(1);
        QTRY_VERIFY(r.has_value());
        QCOMPARE(r->erreur(), messages::relaisMuet);

        AccesRelais absent(QUrl(QStringLiteral("http://127.0.0.1:1")), "fr", 2);
        const auto r2 = obtenir(absent);
        QVERIFY(r2 && !*r2);
        QCOMPARE(r2->erreur(), QStringLiteral("Le serveur de transcription ne répond pas. Vérifiez votre connexion internet."));
    }

    void jetonPartageVingtSecondes()
    {
        FauxBackend b;
        TranscriptionCloud cloud(b.fonction(), "appel-1", 2, "fr", IdMoteur::soniox, true);
        QList<ResultatJeton> recus;
        cloud.jeton(this, [&](const ResultatJeton& r) { recus.append(r); });
        cloud.jeton(this, [&](const ResultatJeton& r) { recus.append(r); });
        QCOMPARE(b.appels.size(), 1);
        QCOMPARE(b.appels[0].nom, QStringLiteral("transcription-jeton"));
        QCOMPARE(b.appels[0].delaiMs, 15000);
        const QJsonObject attendu{{"appelId", "appel-1"}, {"canaux", 2}, {"langue", "fr"}, {"diarisation", true},
                                  {"session_id", QJsonValue::Null}, {"moteur", "soniox"}};
        QCOMPARE(b.appels[0].corps, attendu);
        b.repondre(0, QJsonObject{{"access_token", "tmp-1"}, {"session_id", "s-9"}, {"url_websocket", "wss://x/transcribe-websocket"}});
        QCOMPARE(recus.size(), 2);
        QCOMPARE(recus[0].valeur().jeton, QStringLiteral("tmp-1"));
        QCOMPARE(recus[1].valeur().urlWebsocket, QStringLiteral("wss://x/transcribe-websocket"));
        horloge->avancer(19999);
        cloud.jeton(this, [&](const ResultatJeton& r) { recus.append(r); });
        QTRY_COMPARE(recus.size(), 3);
        QCOMPARE(b.appels.size(), 1);
        horloge->avancer(1);
        cloud.jeton(this, [&](const ResultatJeton& r) { recus.append(r); });
        QCOMPARE(b.appels.size(), 2);
        QCOMPARE(b.appels[1].corps["session_id"].toString(), QStringLiteral("s-9"));
        QCOMPARE(cloud.numeroCle(), 2);
    }

    void echecNonGarde()
    {
        FauxBackend b;
        TranscriptionCloud cloud(b.fonction(), "appel-1", 1, "fr", IdMoteur::soniox, true);
        QList<ResultatJeton> recus;
        cloud.jeton(this, [&](const ResultatJeton& r) { recus.append(r); });
        cloud.jeton(this, [&](const ResultatJeton& r) { recus.append(r); });
        b.echouer(0, erreurFonction(0, "url_-1", {}, ErreurFonction::Genre::reseau));
        QCOMPARE(recus.size(), 2);
        QCOMPARE(recus[0].erreur(), QStringLiteral("Pas de connexion. Quillo et la transcription ont besoin d'internet."));
        // Within 20 s, the next attempt still asks again.
        cloud.jeton(this, [&](const ResultatJeton& r) { recus.append(r); });
        QCOMPARE(b.appels.size(), 2);
    }

    void messagesDuBackend_data()
    {
        QTest::addColumn<int>("moteur");
        QTest::addColumn<int>("statut");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("serveur");
        QTest::addColumn<int>("genre");
        QTest::addColumn<QString>("message");
        const int autre = int(ErreurFonction::Genre::autre), soniox = int(IdMoteur::soniox);
        const QString trop = QStringLiteral("Trop de transcriptions en même temps. Terminez un appel avant d'en lancer un autre.");
        const QString demarre = QStringLiteral("La transcription ne démarre pas. Réessayez dans un instant.");
        QTest::newRow("désactivée") << soniox << 403 << "fonction_desactivee" << "" << autre << "La transcription n'est pas encore disponible.";
        QTest::newRow("clé serveur absente") << soniox << 500 << "cle_serveur_absente" << "" << autre << "La transcription n'est pas encore disponible.";
        QTest::newRow("trop de sessions") << soniox << 429 << "trop_de_sessions" << trop << autre << trop;
        QTest::newRow("session") << soniox << 401 << "non_connecte" << "" << int(ErreurFonction::Genre::session)
                                 << "Connectez-vous pour lancer la transcription.";
        QTest::newRow("autre") << soniox << 500 << "erreur_interne" << "" << autre << demarre;
        QTest::newRow("404 soniox") << soniox << 404 << "" << "" << autre << demarre;
        // Deepgram falls back on the older function after a 404, but not when sessions are full.
        QTest::newRow("404 deepgram, trop de sessions") << int(IdMoteur::deepgram) << 404 << "trop_de_sessions" << trop << autre << trop;
    }
    void messagesDuBackend()
    {
        QFETCH(int, moteur);
        QFETCH(int, statut);
        QFETCH(QString, code);
        QFETCH(QString, serveur);
        QFETCH(int, genre);
        QFETCH(QString, message);
        FauxBackend b;
        TranscriptionCloud cloud(b.fonction(), "a", 2, "fr", IdMoteur(moteur), true);
        std::optional<ResultatJeton> r;
        cloud.jeton(this, [&](const ResultatJeton& x) { r = x; });
        b.echouer(0, erreurFonction(statut, code, serveur, ErreurFonction::Genre(genre)));
        QVERIFY(r && !*r);
        QCOMPARE(r->erreur(), message);
        QCOMPARE(b.appels.size(), 1);
    }

    void sansCompte()
    {
        TranscriptionCloud cloud({}, "a", 2, "fr", IdMoteur::deepgram, true);
        std::optional<ResultatJeton> r;
        cloud.jeton(this, [&](const ResultatJeton& x) { r = x; });
        QTRY_VERIFY(r.has_value());
        QCOMPARE(r->erreur(), QStringLiteral("Connectez-vous pour lancer la transcription."));
    }

    void repliDeepgramSur404()
    {
        FauxBackend b;
        TranscriptionCloud cloud(b.fonction(), "a", 2, "fr", IdMoteur::deepgram, true);
        std::optional<ResultatJeton> r;
        cloud.jeton(this, [&](const ResultatJeton& x) { r = x; });
        b.echouer(0, erreurFonction(404, "http_404"));
        QCOMPARE(b.appels.size(), 2);
        QCOMPARE(b.appels[1].nom, QStringLiteral("deepgram-jeton"));
        QVERIFY(!b.appels[1].corps.contains("moteur"));
        QCOMPARE(b.appels[1].corps.size(), 5);
        QVERIFY(!r);
        b.repondre(1, QJsonObject{{"access_token", "dg"}});
        QVERIFY(r && *r);
        QCOMPARE(r->valeur().jeton, QStringLiteral("dg"));
    }

    void deuxFluxSonioxUneSeuleDemande()
    {
        vd::fakes::FauxSoniox serveur;
        QVERIFY(serveur.demarrer());
        FauxBackend b;
        ContexteTranscription c;
        c.filDedie = false;
        c.source = SourceIA::cloud;
        c.appelerFonction = b.fonction();
        Soniox moteur(c);
        vd::test::Ecoute e;
        e.suivre(&moteur, this);
        ParametresTranscription p;
        p.appelId = QStringLiteral("appel-7");
        moteur.demarrer(p);
        QTRY_COMPARE(b.appels.size(), 1);
        QCOMPARE(b.appels[0].corps["appelId"].toString(), QStringLiteral("appel-7"));
        QTest::qWait(20);
        QCOMPARE(b.appels.size(), 1);
        b.repondre(0, QJsonObject{{"access_token", "tmp"}, {"url_websocket", serveur.url().toString()}, {"diarisation", false}});
        QTRY_VERIFY(vd::test::fluxConfigures(serveur, 2));
        // One key for both streams; the backend turned speaker separation off for this call.
        for (int i : {0, 1}) {
            QCOMPARE(serveur.configuration(i)["api_key"].toString(), QStringLiteral("tmp"));
            QCOMPARE(serveur.configuration(i)["enable_speaker_diarization"].toBool(), false);
        }
        horloge->avancer(800);
        QTRY_VERIFY(e.ouvert);
    }

    void deepgramParLeRelais()
    {
        vd::fakes::FauxDeepgram serveur;
        QVERIFY(serveur.demarrer());
        serveur.autorisationAttendue = "Bearer jeton-relais";
        vd::fakes::FauxRelaisTranscription relais;
        QVERIFY(relais.demarrer());
        qputenv("VD_URL_DEEPGRAM", serveur.url().toString().toUtf8());
        ContexteTranscription c;
        c.filDedie = false;
        c.source = SourceIA::relais;
        c.relais = relais.url().toString();
        Deepgram moteur(c);
        vd::test::Ecoute e;
        e.suivre(&moteur, this);
        moteur.demarrer(vd::test::parametres("deepgram", 2));
        QTRY_VERIFY(e.ouvert);
        QCOMPARE(serveur.connexion(0).entetes.value("authorization"), QByteArray("Bearer jeton-relais"));
        qunsetenv("VD_URL_DEEPGRAM");
    }

    void sourceChoisieAuDemarrage()
    {
        vd::fakes::FauxSoniox serveur;
        QVERIFY(serveur.demarrer());
        serveur.cleAttendue = "cle-propre";
        coffre->ecrire("soniox", "cle-propre");
        qputenv("VD_URL_SONIOX", serveur.url().toString().toUtf8());
        SourceIA choix = SourceIA::demo;
        int questions = 0;
        ContexteTranscription c;
        c.filDedie = false;
        c.choisirSource = [&](QObject* ctx, ContexteTranscription::RappelSource r) {
            ++questions;
            QTimer::singleShot(0, ctx, [r, choix] { r(choix); });   // answers later, like the relay check
        };
        Soniox moteur(c);
        vd::test::Ecoute e;
        e.suivre(&moteur, this);
        moteur.demarrer(vd::test::parametres("soniox", 1));
        QTRY_COMPARE(e.echec, messages::indisponible);
        QCOMPARE(serveur.tentatives(), 0);
        choix = SourceIA::cle;
        moteur.demarrer(vd::test::parametres("soniox", 1));
        QTRY_VERIFY(!serveur.configuration(0).isEmpty());
        horloge->avancer(800);
        QTRY_VERIFY(e.ouvert);
        QCOMPARE(questions, 2);
        qunsetenv("VD_URL_SONIOX");
    }

    void sonioxSansRelaisNiDemo_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<bool>("demo");
        QTest::newRow("relais") << int(SourceIA::relais) << false;
        QTest::newRow("démo") << int(SourceIA::demo) << false;
        QTest::newRow("appel simulé") << int(SourceIA::cle) << true;
    }
    void sonioxSansRelaisNiDemo()
    {
        QFETCH(int, source);
        QFETCH(bool, demo);
        ContexteTranscription c;
        c.filDedie = false;
        c.source = SourceIA(source);
        c.relais = "https://relais.exemple.fr";
        Soniox moteur(c);
        vd::test::Ecoute e;
        e.suivre(&moteur, this);
        ParametresTranscription p;
        p.demo = demo;
        moteur.demarrer(p);
        QTRY_COMPARE(e.echec, messages::indisponible);
    }
};

QTEST_GUILESS_MAIN(TestAcces)
#include "tst_transcription_acces.moc"
