// The Soniox and Deepgram engines against the fake services, on the fake clock
// (streams share the test's thread so the fake clock drives every timer); the
// services' messages to segments, wire formats and failure messages alone;
// then the sockets' credentials: own keys, the relay's token route, the
// backend token with its shared 20 s request and 404 fallback, by hand and
// through the real backend client against the backend emulator.
#include "call/accestranscription.h"
#include "call/analyseurs.h"
#include "call/moteurtranscription.h"
#include "call/transcription.h"
#include "cloud/outilscloud.h"
#include "fakes/fauxdeepgram.h"
#include "fakes/fauxrelaistranscription.h"
#include "fakes/fauxsoniox.h"
#include "platform/coffre.h"
#include "platform/horloge.h"
#include "commun_transcription.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

using namespace vd::call;
using vd::ai::SourceIA;
using vd::fakes::FauxDeepgram;
using vd::fakes::FauxSoniox;
using vd::fakes::ReponseHttpFactice;
using vd::fakes::RequeteHttp;
using vd::platform::HorlogeFactice;

namespace {

using ResultatAcces = vd::Resultat<AccesTranscription, QString>;
using ResultatJeton = vd::Resultat<JetonCloud, QString>;

// A backend whose answers the test gives by hand.
struct FauxBackend {
    struct Appel { QString nom; QJsonObject corps; int delaiMs; RappelFonction rappel; };
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


// Counts requests; each answer carries a new key ("k1", "k2", …).
struct AccesCompte final : FournisseurAcces {
    AccesCompte(QUrl u, SourceIA m) : url(std::move(u)), mode(m) {}
    void obtenir(QObject* contexte, Rappel rappel) override
    {
        ++demandes;
        AccesTranscription a{QStringLiteral("k%1").arg(demandes), url, mode, {}};
        QMetaObject::invokeMethod(contexte, [rappel, a] { rappel(a); }, Qt::QueuedConnection);
    }
    QUrl url;
    SourceIA mode;
    int demandes = 0;
};

// ms of 16 kHz stereo, every frame the same two little-endian samples.
QByteArray stereo(int ms, qint16 gauche, qint16 droite)
{
    const char trame[4] = {char(gauche & 0xff), char(gauche >> 8), char(droite & 0xff), char(droite >> 8)};
    return QByteArray(trame, 4).repeated(ms * 16);
}

QByteArray mono(int ms) { return QByteArray(ms * 32, '\x01'); }

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

const QJsonObject fin = FauxSoniox::fin();

SegmentLive seg(QString qui, QString texte, bool final, qint64 d, qint64 f, std::optional<qint64> inter = std::nullopt)
{
    return SegmentLive{qui, texte, final, d, f, inter};
}

} // namespace

class TestSoniox : public QObject {
    Q_OBJECT

    HorlogeFactice* horloge = nullptr;
    FauxSoniox* serveur = nullptr;
    std::shared_ptr<AccesCompte> acces;
    std::unique_ptr<Soniox> moteur;
    FauxDeepgram* dg = nullptr;   // the Deepgram tests' service and engine
    std::unique_ptr<Deepgram> moteurDg;
    vd::test::Ecoute e;
    vd::platform::CoffreMemoire* coffre = nullptr;
    std::unique_ptr<vd::tests::BancCloud> banc;   // the emulator's tests, on its own clock
    QList<SegmentLive>& segments = e.segments;
    QStringList& etats = e.etats;

    void creer(SourceIA mode = SourceIA::cle, const QUrl& url = {})
    {
        acces = std::make_shared<AccesCompte>(url.isEmpty() ? serveur->url() : url, mode);
        moteur = std::make_unique<Soniox>(ContexteTranscription{.filDedie = false, .fournisseurCle = acces});
        e.suivre(moteur.get(), this);
    }

    void lancer(int canaux, QString langue = QStringLiteral("fr"), quint64 generation = 7)
    {
        moteur->demarrer({.moteur = QStringLiteral("soniox"), .langue = langue, .canaux = canaux, .generation = generation});
    }

    // Opens every stream: configuration frames in, 0.8 s confirmation.
    bool ouvrir(int canaux, QString langue = QStringLiteral("fr"))
    {
        lancer(canaux, langue);
        if (!QTest::qWaitFor([&] { return vd::test::fluxConfigures(*serveur, canaux < 2 ? 1 : 2); }, 5000))
            return false;
        horloge->avancer(800);
        return QTest::qWaitFor([&] { return e.ouvert; }, 5000);
    }

    // Fires the timers due, then gives the sockets a moment: nothing more may come.
    void avancerPuisAttendre(int ms)
    {
        horloge->avancer(ms);
        QTest::qWait(20);
    }

    int indexVous() const { return vd::test::indexVous(*serveur); }

    // Deepgram: one socket for both channels, no confirmation delay.
    void creerDeepgram(SourceIA mode, const QString& autorisation, int canaux = 2, const QString& langue = QStringLiteral("fr"))
    {
        moteurDg = std::make_unique<Deepgram>(ContexteTranscription{
            .filDedie = false, .fournisseurCle = std::make_shared<AccesFixe>(AccesTranscription{autorisation, urlDeepgram(langue, canaux, dg->url()), mode, {}})});
        e.suivre(moteurDg.get(), this);
        moteurDg->demarrer({.moteur = QStringLiteral("deepgram"), .langue = langue, .canaux = canaux, .generation = 3});
    }

    bool ouvrirDeepgram()
    {
        creerDeepgram(SourceIA::cle, QStringLiteral("Token cle-deepgram"));
        return QTest::qWaitFor([&] { return e.ouvert; }, 5000);
    }

    template<typename R, typename F>
    std::optional<R> attendre(F demander)
    {
        std::optional<R> r;
        demander([&](const R& x) { r = x; });
        if (!QTest::qWaitFor([&] { return r.has_value(); }, 10000))
            return std::nullopt;
        return r;
    }
    std::optional<ResultatAcces> obtenir(FournisseurAcces& f)
    {
        return attendre<ResultatAcces>([&](auto r) { f.obtenir(this, r); });
    }
    std::optional<ResultatJeton> demanderJeton(TranscriptionCloud& cloud)
    {
        return attendre<ResultatJeton>([&](auto r) { cloud.jeton(this, r); });
    }
    // The real backend client, signed in or not, against the emulator.
    bool emulateur(bool connecte = true)
    {
        banc = std::make_unique<vd::tests::BancCloud>();
        vd::platform::Horloge::installer(&banc->horloge);
        return banc->demarrer() && (!connecte || banc->connecter());
    }
    TranscriptionCloud cloudEmule(IdMoteur moteur, int canaux = 2) const
    {
        return TranscriptionCloud(appelFonctionCloud(banc->client.get()), "appel-1", canaux, "fr", moteur, true);
    }
    QList<RequeteHttp> requetes(const QString& fonction) const { return banc->serveur.requetes("/functions/v1/" + fonction); }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        horloge = new HorlogeFactice;
        vd::platform::Horloge::installer(horloge);
        coffre = new vd::platform::CoffreMemoire;
        vd::platform::Coffre::installer(coffre);
        qunsetenv("VD_URL_SONIOX");
        qunsetenv("VD_URL_DEEPGRAM");
        serveur = new FauxSoniox;
        QVERIFY(serveur->demarrer());
        dg = new FauxDeepgram;
        QVERIFY(dg->demarrer());
        dg->autorisationAttendue = QStringLiteral("Token cle-deepgram");
        e = {};
        creer();
    }
    void cleanup()
    {
        moteur.reset();
        moteurDg.reset();
        VERIFIER_SANS_ANOMALIE(*serveur);
        VERIFIER_SANS_ANOMALIE(*dg);
        delete serveur;
        delete dg;
        vd::platform::Coffre::installer(nullptr);
        delete coffre;
        vd::platform::Horloge::installer(nullptr);
        banc.reset();
        delete horloge;
    }

    void stereoOuvreDeuxFlux()
    {
        QVERIFY(ouvrir(2));
        QCOMPARE(serveur->nombreConnexions(), 2);
        const int v = indexVous();
        const QJsonObject cv = serveur->configuration(v), cp = serveur->configuration(1 - v);
        QCOMPARE((QVariantList{cv["enable_speaker_diarization"].toBool(), cp["enable_speaker_diarization"].toBool(), cv["api_key"].toVariant(), cp["language_hints"].toVariant()}),
                 (QVariantList{false, true, "k1", QVariantList{"fr"}}));
        moteur->envoyer(stereo(100, 0x1122, 0x3344));
        moteur->envoyer(QByteArray());   // ignored
        QTRY_COMPARE(serveur->connexion(1 - v).audio.size(), 3200);
        QTRY_COMPARE(serveur->connexion(v).taillesAudio, QList<int>{3200});
        QCOMPARE(serveur->connexion(v).audio.left(4).toHex() + ' ' + serveur->connexion(1 - v).audio.left(4).toHex(), "22112211 44334433");
        QCOMPARE(e.generations, QList<quint64>{7});
    }

    void monoOuvreUnFluxMixte()
    {
        QVERIFY(ouvrir(1, QStringLiteral("de")));
        QCOMPARE(serveur->nombreConnexions(), 1);
        QVERIFY(serveur->configuration(0)["enable_speaker_diarization"].toBool());
        QCOMPARE(serveur->configuration(0)["language_hints"].toArray(), QJsonArray{"fr"});
        moteur->envoyer(mono(100));
        QTRY_COMPARE(serveur->connexion(0).taillesAudio, QList<int>{3200});
    }

    void confirmationApresHuitDixiemes()
    {
        lancer(1);
        QTRY_VERIFY(!serveur->configuration(0).isEmpty());
        avancerPuisAttendre(799);
        QVERIFY(!e.ouvert);
        horloge->avancer(1);
        QTRY_VERIFY(e.ouvert);
        QVERIFY(e.echec.isEmpty());
    }

    void erreurALOuverture_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("message");
        QTest::newRow("401 clé") << 401 << int(SourceIA::cle)
                                 << "La transcription refuse votre clé. Vérifiez-la dans Réglages, ainsi que la région de votre projet (Europe ou monde).";
        QTest::newRow("401 compte") << 401 << int(SourceIA::cloud) << "La transcription ne démarre pas. Réessayez dans un instant.";
        QTest::newRow("503") << 503 << int(SourceIA::cle) << "La transcription ne répond pas pour le moment. Réessayez dans un instant.";
    }
    void erreurALOuverture()
    {
        QFETCH(int, code);
        QFETCH(int, mode);
        QFETCH(QString, message);
        creer(SourceIA(mode));
        lancer(2);
        QTRY_VERIFY(vd::test::fluxConfigures(*serveur, 2));
        const int v = indexVous();
        serveur->envoyerErreur(1 - v, code, QStringLiteral("x"), QStringLiteral("Soniox says no"));
        QTRY_COMPARE(e.echec, message);
        QVERIFY(!e.ouvert);
        // The other stream of the call is closed as well.
        QTRY_VERIFY(serveur->connexion(v).fermee);
        avancerPuisAttendre(20000);
        QCOMPARE(serveur->tentatives(), 2);   // no reconnection after a failed start
        QVERIFY(!e.ouvert);
    }

    void delaiDOuverture()
    {
        serveur->ignorerProchaines(2);
        lancer(2);
        QTRY_COMPARE(serveur->tentatives(), 2);
        avancerPuisAttendre(9999);
        QVERIFY(e.echec.isEmpty());
        horloge->avancer(1);
        QTRY_COMPARE(e.echec, QStringLiteral("La transcription ne répond pas. Vérifiez votre connexion internet."));
    }

    void serveurAbsent()
    {
        const QUrl url = serveur->url();
        delete serveur;
        serveur = new FauxSoniox;   // a fresh one, not listening on that port
        creer(SourceIA::cle, url);
        lancer(1);
        QTRY_COMPARE(e.echec, QStringLiteral("La transcription ne démarre pas. Réessayez dans un instant."));
    }

    void keepAliveApresQuatreSecondesEtDemie()
    {
        QVERIFY(ouvrir(1));
        // Opened at t0, confirmed at t0 + 0.8 s. Audio at t0 + 1.8 s.
        horloge->avancer(1000);
        moteur->envoyer(mono(100));
        QTRY_COMPARE(serveur->connexion(0).audio.size(), 3200);
        horloge->avancer(3200);   // t0 + 5 s: only 3.2 s of silence
        moteur->envoyer(mono(10));
        QTRY_COMPARE(serveur->connexion(0).audio.size(), 3520);
        QCOMPARE(serveur->connexion(0).keepAlives, 0);
        horloge->avancer(5000);   // t0 + 10 s: 5 s since the last frame
        QTRY_COMPARE(serveur->connexion(0).keepAlives, 1);
        horloge->avancer(5000);
        QTRY_COMPARE(serveur->connexion(0).keepAlives, 2);
    }

    void reconnexionGardeCinqSecondesAlignees()
    {
        QVERIFY(ouvrir(1));
        moteur->envoyer(mono(1000));
        QTRY_COMPARE(serveur->connexion(0).audio.size(), 32000);
        serveur->lacher(0);
        QTRY_COMPARE(etats, QStringList{"reconnexion"});
        // 7 s of audio while the socket is down: only the last 5 s are kept.
        for (int i = 0; i < 70; ++i) {
            QByteArray b = mono(100);
            b[0] = char(i);
            moteur->envoyer(b);
        }
        QTest::qWait(20);
        horloge->avancer(600);
        QTRY_COMPARE(serveur->nombreConnexions(), 2);
        QTRY_COMPARE(serveur->connexion(1).audio.size(), 160000);
        QCOMPARE(serveur->connexion(1).audio.at(0), char(20));   // the first 2 s were dropped
        QCOMPARE(serveur->configuration(1)["api_key"].toString(), QStringLiteral("k2"));   // credential asked again
        horloge->avancer(800);
        QTRY_COMPARE(etats, (QStringList{"reconnexion", "ouvert"}));
        // Token times after the reconnection stay on the call's clock: 1 s sent + 2 s dropped.
        serveur->envoyerJetons(1, {FauxSoniox::jeton("Voilà", 0, 500, true, 1), fin});
        QTRY_COMPARE(segments.size(), 1);
        QCOMPARE(QStringLiteral("%1-%2").arg(segments[0].debutMs).arg(segments[0].finMs), QStringLiteral("3000-3500"));
    }

    void finDuSocketLivreLesJetonsEnAttente()
    {
        QVERIFY(ouvrir(2));
        const int v = indexVous();
        serveur->envoyerJetons(v, {FauxSoniox::jeton("Je", 0, 100, true), FauxSoniox::jeton(" disais", 100, 300, true)});
        QTRY_COMPARE(segments.size(), 1);
        serveur->lacher(v);
        QTRY_COMPARE(segments.size(), 2);
        QCOMPARE(segments[1], (SegmentLive{"vous", "Je disais", true, 0, 300, std::nullopt}));
        QTRY_COMPARE(etats, QStringList{"reconnexion"});
    }

    void quatreEchecsCoupent()
    {
        QVERIFY(ouvrir(1));
        for (int essai = 1; essai <= 3; ++essai) {
            serveur->lacher(essai - 1);
            QTRY_COMPARE(etats.count("reconnexion"), essai);
            horloge->avancer(600 * essai);
            QTRY_COMPARE(serveur->nombreConnexions(), essai + 1);
            QTRY_VERIFY(!serveur->configuration(essai).isEmpty());
        }
        serveur->lacher(3);
        QTRY_COMPARE(etats.last(), QStringLiteral("coupee"));
        avancerPuisAttendre(10000);
        QCOMPARE(serveur->nombreConnexions(), 4);
    }

    void unBonResultatRemetLesEssaisAZero()
    {
        QVERIFY(ouvrir(1));
        for (int tour = 0; tour < 5; ++tour) {
            serveur->lacher(tour);
            QTRY_COMPARE(etats.count("reconnexion"), tour + 1);
            horloge->avancer(600);   // always the first attempt's delay
            QTRY_COMPARE(serveur->nombreConnexions(), tour + 2);
            QTRY_VERIFY(!serveur->configuration(tour + 1).isEmpty());
            serveur->envoyerJetons(tour + 1, {FauxSoniox::jeton("ok", 0, 10, false, 1)});
            QTRY_COMPARE(segments.size(), tour + 1);
        }
        QVERIFY(!etats.contains("coupee"));
    }

    void tentativesRateesComptent()
    {
        QVERIFY(ouvrir(1));
        serveur->refuserProchaines(1, 503);   // refused handshake
        serveur->lacher(0);
        QTRY_COMPARE(etats.count("reconnexion"), 1);
        horloge->avancer(600);
        QTRY_COMPARE(serveur->tentatives(), 2);
        QTRY_COMPARE(etats.count("reconnexion"), 2);
        serveur->ignorerProchaines(1);   // stalled attempt: 10 s time-out
        horloge->avancer(1200);
        QTRY_COMPARE(serveur->tentatives(), 3);
        avancerPuisAttendre(9999);
        QCOMPARE(etats.count("reconnexion"), 2);
        horloge->avancer(1);
        QTRY_COMPARE(etats.count("reconnexion"), 3);
        serveur->refuserProchaines(1, 500);
        horloge->avancer(1800);
        QTRY_COMPARE(etats.last(), QStringLiteral("coupee"));
        QCOMPARE(serveur->tentatives(), 4);
    }

    void cleTemporaireExpireeReconnecte()
    {
        creer(SourceIA::cloud);
        QVERIFY(ouvrir(1));
        QCOMPARE(acces->demandes, 1);
        serveur->envoyerErreur(0, 401, QStringLiteral("temp_api_key_session_expired"), QStringLiteral("expired"));
        QTRY_COMPARE(etats, QStringList{"reconnexion"});
        horloge->avancer(600);
        QTRY_VERIFY(!serveur->configuration(1).isEmpty());
        QCOMPARE(acces->demandes, 2);
        QCOMPARE(serveur->configuration(1)["api_key"].toString(), QStringLiteral("k2"));
        horloge->avancer(800);
        QTRY_COMPARE(etats, (QStringList{"reconnexion", "ouvert"}));
    }

    void erreurDefinitiveCoupeApresLesDerniersMots()
    {
        QVERIFY(ouvrir(2));
        const int v = indexVous();
        serveur->envoyerJetons(1 - v, {FauxSoniox::jeton("Plus", 0, 100, true, 2)});
        QTRY_COMPARE(segments.size(), 1);
        serveur->envoyerErreur(1 - v, 402, QStringLiteral("payment"), QStringLiteral("no credit"));
        QTRY_COMPARE(etats, QStringList{"coupee"});
        QCOMPARE(segments.last(), (SegmentLive{"prospect", "Plus", true, 0, 100, 1}));
        // The other stream is stopped too.
        QTRY_VERIFY(serveur->connexion(v).fermee);
        avancerPuisAttendre(10000);
        QCOMPARE(serveur->nombreConnexions(), 2);
    }

    void terminerLivreLesDerniersResultats()
    {
        QVERIFY(ouvrir(2));
        serveur->reponsesFin = {QJsonObject{{"tokens", QJsonArray{FauxSoniox::jeton("Au revoir", 0, 500, true, 0), fin}}}};
        moteur->terminer();
        QTRY_VERIFY(e.termine);
        QVERIFY(serveur->connexion(0).finRecue && serveur->connexion(1).finRecue);
        QCOMPARE(serveur->connexion(0).textes.last(), QString());
        QCOMPARE(segments.size(), 2);
        QVERIFY(segments.contains(SegmentLive{"vous", "Au revoir", true, 0, 500, std::nullopt})
                && segments.contains(SegmentLive{"prospect", "Au revoir", true, 0, 500, 1}));
        QTRY_COMPARE(etats, (QStringList{"ferme"}));
    }

    void terminerAuPlusDeuxSecondes()
    {
        QVERIFY(ouvrir(1));
        serveur->repondreFin = false;
        serveur->envoyerJetons(0, {FauxSoniox::jeton("Dernier", 0, 500, true, 0)});
        QTRY_COMPARE(segments.size(), 1);
        moteur->terminer();
        QTRY_VERIFY(serveur->connexion(0).finRecue);
        avancerPuisAttendre(1999);
        QVERIFY(!e.termine);
        horloge->avancer(1);
        QTRY_VERIFY(e.termine);
        QCOMPARE(segments.last(), (SegmentLive{"vous", "Dernier", true, 0, 500, std::nullopt}));
        QTRY_VERIFY(serveur->connexion(0).fermee);
    }

    void couperFermeToutSansAttendre()
    {
        QVERIFY(ouvrir(2));
        moteur->couper();
        QTRY_VERIFY(serveur->connexion(0).fermee && serveur->connexion(1).fermee);
        QVERIFY(!serveur->connexion(0).finRecue);
        moteur->envoyer(stereo(100, 1, 2));
        avancerPuisAttendre(20000);
        QVERIFY(serveur->connexion(0).audio.isEmpty());
        QCOMPARE(serveur->nombreConnexions(), 2);
        QVERIFY(etats.isEmpty());
    }

    void nouvelleGenerationIgnoreLAncienne()
    {
        QVERIFY(ouvrir(1));
        lancer(1, QStringLiteral("fr"), 8);
        QTRY_COMPARE(serveur->nombreConnexions(), 2);
        QTRY_VERIFY(serveur->connexion(0).fermee);
        serveur->envoyerJetons(0, {FauxSoniox::jeton("vieux", 0, 10, false)});
        QTRY_VERIFY(!serveur->configuration(1).isEmpty());
        serveur->envoyerJetons(1, {FauxSoniox::jeton("neuf", 0, 10, false)});
        QTRY_COMPARE(segments.size(), 1);
        QCOMPARE(segments[0].texte, QStringLiteral("neuf"));
        QCOMPARE(e.generations.last(), quint64(8));
    }

    void compteurAudio()
    {
        auto compteur = std::make_shared<CompteurAudio>();
        moteur->setCompteurAudio(compteur);
        QVERIFY(ouvrir(2));
        moteur->envoyer(stereo(100, 1, 2));
        QTRY_COMPARE(compteur->valeur(), 6400);
    }

    void requeteEtOuvertureImmediate()
    {
        creerDeepgram(SourceIA::cle, QStringLiteral("Token cle-deepgram"), 2, QStringLiteral("de"));
        // Open as soon as the socket is: no confirmation delay on the clock.
        QTRY_VERIFY(e.ouvert);
        const auto& c = dg->connexion(0);
        QCOMPARE(c.entetes.value("authorization"), QByteArray("Token cle-deepgram"));
        QVERIFY(c.textes.isEmpty());   // no configuration frame
        moteurDg->envoyer(QByteArray(6400, '\x02'));
        QTRY_COMPARE(dg->connexion(0).taillesAudio, QList<int>{6400});
    }

    // A refused handshake: the wrong key, or the service failing.
    void cleRefusee_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("statut");   // 0: the key is refused
        QTest::addColumn<QString>("message");
        const QString demarre = QStringLiteral("La transcription ne démarre pas. Réessayez dans un instant.");
        QTest::newRow("clé") << int(SourceIA::cle) << 0 << "La transcription refuse votre clé. Vérifiez-la dans Réglages.";
        QTest::newRow("relais") << int(SourceIA::relais) << 0 << demarre;
        QTest::newRow("compte") << int(SourceIA::cloud) << 0 << demarre;
        QTest::newRow("erreur serveur") << int(SourceIA::cle) << 500 << demarre;
    }
    void cleRefusee()
    {
        QFETCH(int, mode);
        QFETCH(int, statut);
        QFETCH(QString, message);
        if (statut)
            dg->refuserProchaines(1, statut);
        creerDeepgram(SourceIA(mode), statut ? QStringLiteral("Token cle-deepgram") : QStringLiteral("Token mauvaise"));
        QTRY_COMPARE(e.echec, message);
        QCOMPARE((QList<int>{dg->tentatives(), dg->nombreConnexions()}), (QList<int>{1, 0}));
    }

    void keepAliveToutesLesHuitSecondes()
    {
        QVERIFY(ouvrirDeepgram());
        horloge->avancer(7999);
        moteurDg->envoyer(QByteArray(640, '\x01'));
        QTRY_COMPARE(dg->connexion(0).audio.size(), 640);
        QCOMPARE(dg->connexion(0).keepAlives, 0);
        horloge->avancer(1);   // sent even though audio just flowed
        QTRY_COMPARE(dg->connexion(0).keepAlives, 1);
        horloge->avancer(8000);
        QTRY_COMPARE(dg->connexion(0).keepAlives, 2);
    }

    void terminerEnvoieCloseStream()
    {
        QVERIFY(ouvrirDeepgram());
        dg->reponsesFin = {FauxDeepgram::resultat(1, "Merci au revoir", 3.0, 1.0, true, FauxDeepgram::mots("Merci au revoir", 3.0, 0))};
        moteurDg->terminer();
        QTRY_VERIFY(e.termine);
        QCOMPARE(dg->connexion(0).textes, QStringList{"{\"type\":\"CloseStream\"}"});
        QCOMPARE(segments, (QList<SegmentLive>{{"prospect", "Merci au revoir", true, 3000, 4000, 1}}));
        QCOMPARE(etats, QStringList{"ferme"});
        QCOMPARE(e.generations, (QList<quint64>{3, 3, 3}));   // opening, segment, state: all of the start
    }

    void reconnexionDecalageStereo()
    {
        QVERIFY(ouvrirDeepgram());
        moteurDg->envoyer(QByteArray(64000, '\x01'));   // 1 s of stereo
        QTRY_COMPARE(dg->connexion(0).audio.size(), 64000);
        dg->lacher(0);
        QTRY_COMPARE(etats, QStringList{"reconnexion"});
        for (int i = 0; i < 70; ++i)
            moteurDg->envoyer(QByteArray(6400, char(i)));   // 7 s held, 5 s kept
        QTest::qWait(20);
        horloge->avancer(600);
        QTRY_COMPARE(dg->nombreConnexions(), 2);
        QTRY_COMPARE(dg->connexion(1).audio.size(), 320000);
        QCOMPARE(dg->connexion(1).audio.at(0), char(20));
        QTRY_COMPARE(etats, (QStringList{"reconnexion", "ouvert"}));
        dg->envoyerJson(1, QJsonDocument(FauxDeepgram::resultat(0, "Reprise", 0.0, 0.5, true)).toJson());
        QTRY_COMPARE(segments.size(), 1);
        QCOMPARE(segments[0].debutMs, 3000);
    }

    // The analysers and wire formats alone.
    void pasUnObjetOuFinDuFlux()
    {
        AnalyseurSoniox a;
        QVERIFY(!a.analyser("[1,2]", 0).estResultat);
        QVERIFY(!a.analyser("pas du json", 0).estResultat);
        QVERIFY(a.analyser(message({}, true), 0).fini);
        QVERIFY(!a.analyser(message({}), 0).fini);
    }

    void erreurDuService()
    {
        AnalyseurSoniox a;
        const auto decrire = [](const auto& r) {
            return r.erreur ? QStringLiteral("%1 «%2» «%3» %4").arg(r.erreur->code).arg(r.erreur->type, r.erreur->message).arg(r.segments.size())
                            : QStringLiteral("aucune");
        };
        QCOMPARE(decrire(a.analyser(R"({"error_code":401,"error_type":"temp_api_key_session_expired","error_message":"x"})", 0)),
                 QStringLiteral("401 «temp_api_key_session_expired» «x» 0"));
        QCOMPARE(decrire(a.analyser(R"({"error_code":503})", 0)), QStringLiteral("503 «» «» 0"));
        // An expired temporary key is worth a reconnection; so is a service failure without a type.
        QVERIFY(!erreurSonioxDefinitive(401, "temp_api_key_session_expired") && !erreurSonioxDefinitive(500, ""));
    }

    void finauxSansMarqueurRestentPartiels()
    {
        AnalyseurSoniox a{.role = RoleFluxSoniox::vous};
        auto r = a.analyser(message({jeton("Bon", 100, 300, true), jeton("jour", 300, 500, true), jeton(" à", 500, 600, false)}), 1000);
        QVERIFY(r.estResultat);
        QCOMPARE(r.segments, QList<SegmentLive>{seg("vous", "Bonjour à", false, 1100, 1600)});
        QCOMPARE(a.enAttente.size(), 2);
        r = a.analyser(message({jeton(" tous", 600, 900, true), fin}), 1000);
        QCOMPARE(r.segments, QList<SegmentLive>{seg("vous", "Bonjour tous", true, 1100, 1900)});
        QVERIFY(a.enAttente.isEmpty());
    }

    // One message to one stream's analyser: the segments it gives and the
    // prospect's voices it knows afterwards.
    void unMessage_data()
    {
        using V = QMap<qint64, qint64>;
        using L = QList<SegmentLive>;
        QTest::addColumn<int>("role");
        QTest::addColumn<QList<int>>("connues");   // speakers registered before, in order
        QTest::addColumn<QByteArray>("recu");
        QTest::addColumn<L>("segments");
        QTest::addColumn<V>("voix");
        const int vous = int(RoleFluxSoniox::vous), prospect = int(RoleFluxSoniox::prospect);
        QTest::newRow("marqueur de finalisation") << vous << QList<int>{}
            << message({jeton("Oui", 0, 200, true), QJsonObject{{"text", "<fin>"}, {"is_final", true}}}) << L{seg("vous", "Oui", true, 0, 200)} << V{};
        // A token without an end, or tokens out of order, never give a segment ending before it starts.
        QTest::newRow("jeton sans fin") << vous << QList<int>{}
            << QByteArray(R"({"tokens":[{"text":"Bonjour","start_ms":500,"is_final":true},{"text":"<fin>","is_final":true}]})")
            << L{seg("vous", "Bonjour", true, 500, 500)} << V{};
        QTest::newRow("jetons désordonnés") << vous << QList<int>{} << message({jeton("Oui", 800, 900, true), jeton(" non", 100, 200, true), fin})
                                            << L{seg("vous", "Oui non", true, 800, 800)} << V{};
        QTest::newRow("locuteur en texte") << prospect << QList<int>{}
            << message({jeton("Allô", 0, 100, true, " 4 "), jeton("?", 100, 150, true, "4"), jeton("!", 150, 200, true, 4), fin})
            << L{seg("prospect", "Allô?!", true, 0, 200, 1)} << V{{4, 1}};
        // Two tokens from an unknown speaker: still voice 1, merged into the group before.
        QTest::newRow("deux jetons d'une autre voix") << prospect << QList<int>{1}
            << message({jeton("Je", 0, 100, true, 1), jeton(" vois", 100, 200, true, 1), jeton(" oui", 200, 300, true, 2), jeton(" non", 300, 400, true, 2), fin})
            << L{seg("prospect", "Je vois oui non", true, 0, 400, 1)} << V{{1, 1}};
        QTest::newRow("trois jetons: nouvelle voix") << prospect << QList<int>{1}
            << message({jeton("Je", 0, 100, true, 1), jeton(" pense", 100, 200, true, 2), jeton(" que", 200, 300, true, 2), jeton(" non", 300, 400, true, 2), fin})
            << L{seg("prospect", "Je", true, 0, 100, 1), seg("prospect", "pense que non", true, 100, 400, 2)} << V{{1, 1}, {2, 2}};
        // First run is short and unknown: it takes the number of the first known speaker of the batch.
        QTest::newRow("premier groupe sans voix connue") << prospect << QList<int>{7, 3}
            << message({jeton("Eh", 0, 100, true, 9), jeton(" bien", 100, 200, true, 3), fin})
            << L{seg("prospect", "Eh bien", true, 0, 200, 2)} << V{{7, 1}, {3, 2}};
        QTest::newRow("partiel d'une voix inconnue, non enregistrée") << prospect << QList<int>{1} << message({jeton("Qui", 0, 100, false, 5)})
                                                                      << L{seg("prospect", "Qui", false, 0, 100, 2)} << V{{1, 1}};
        QTest::newRow("partiel sans locuteur") << prospect << QList<int>{1} << message({jeton("Sans", 0, 100, false)})
                                               << L{seg("prospect", "Sans", false, 0, 100)} << V{{1, 1}};
    }
    void unMessage()
    {
        QFETCH(int, role);
        QFETCH(QList<int>, connues);
        QFETCH(QByteArray, recu);
        QFETCH(QList<SegmentLive>, segments);
        using V = QMap<qint64, qint64>;
        QFETCH(V, voix);
        AnalyseurSoniox a{.role = RoleFluxSoniox(role)};
        for (int l : connues)
            a.voix.enregistrer(l);
        QCOMPARE(a.analyser(recu, 0).segments, segments);
        QCOMPARE(a.voix.numeros, voix);
    }

    void finalVideEffacePartielSansSegment()
    {
        AnalyseurSoniox a{.role = RoleFluxSoniox::prospect};
        a.analyser(message({jeton("  ", 0, 100, true, 1)}), 0);
        // No final segment, one empty partial that clears the speaker's partial.
        const auto r = a.analyser(message({fin}), 0);
        QCOMPARE(r.segments, QList<SegmentLive>{seg("prospect", "", false, r.segments.value(0).debutMs, r.segments.value(0).finMs,
                                                     r.segments.value(0).interlocuteur)});
    }

    void mixteDevineLeVendeur()
    {
        AnalyseurSoniox a{.role = RoleFluxSoniox::mixte};
        auto r = a.analyser(message({jeton("Bonjour", 0, 300, false, 1)}), 0);
        QVERIFY(!a.locuteurVous);   // the first voice is taken for the salesperson's, not yet known
        QCOMPARE(r.segments, QList<SegmentLive>{seg("vous", "Bonjour", false, 0, 300)});
        r = a.analyser(message({jeton("Bonjour", 0, 300, true, 1), jeton(" Bonjour", 400, 700, true, 2), jeton(" à vous", 700, 900, true, 2), fin}), 0);
        QCOMPARE(a.locuteurVous, std::optional<qint64>(1));
        QCOMPARE(r.segments, (QList<SegmentLive>{seg("vous", "Bonjour", true, 0, 300), seg("prospect", "Bonjour à vous", true, 400, 900)}));
    }

    void viderALaFinDuSocket()
    {
        AnalyseurSoniox a{.role = RoleFluxSoniox::vous};
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
        const auto analyser = [&](const QByteArray& m, qint64 decalage = 0) { return analyserDeepgram(m, decalage, voix).value_or(seg("-", "-", false, -1, -1)); };
        QCOMPARE(analyser(resultat(0, "Bonjour.", true, {}), 2000), seg("vous", "Bonjour.", true, 3250, 3750));
        QCOMPARE(analyser(resultat(1, "Oui", false, {mot("Oui", 0)})), seg("prospect", "Oui", false, 1250, 1750, 1));
        QVERIFY(voix.numeros.isEmpty());
        // Two words are not enough for a new voice, three are.
        QCOMPARE((QList<std::optional<qint64>>{analyser(resultat(1, "Oui tout à fait", true, {mot("Oui", 0), mot("tout", 0), mot("à", 0), mot("fait", 0)})).interlocuteur,
                                               analyser(resultat(1, "Et moi", true, {mot("Et", 3), mot("moi", 3)})).interlocuteur,
                                               analyser(resultat(1, "Et moi aussi", true, {mot("Et", 3), mot("moi", 3), mot("aussi", 3)})).interlocuteur}),
                 (QList<std::optional<qint64>>{1, 1, 2}));
        QVERIFY(!analyserDeepgram(R"({"type":"Metadata"})", 0, voix));
        QVERIFY(!analyserDeepgram("{", 0, voix));
        // Empty final result: clears the partial, adds no segment.
        QCOMPARE(analyser(resultat(1, "", true, {})), seg("prospect", "", false, 1250, 1750));
    }

    void messagesSoniox_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("cle");
        QTest::addColumn<QString>("autre");   // through the relay or the account; empty: the same as with an own key
        QTest::addColumn<bool>("definitive");   // no reconnection after it
        QTest::newRow("400") << 400 << "La transcription refuse ses réglages. Réessayez dans un instant, puis prévenez-nous si cela continue." << "" << true;
        QTest::newRow("401") << 401 << "La transcription refuse votre clé. Vérifiez-la dans Réglages, ainsi que la région de votre projet (Europe ou monde)."
                             << "La transcription ne démarre pas. Réessayez dans un instant." << true;
        QTest::newRow("402") << 402 << "Le crédit de votre clé de transcription est épuisé. Rechargez-le, puis réessayez."
                             << "La transcription n'est pas disponible pour le moment. Réessayez plus tard." << true;
        QTest::newRow("403") << 403 << "La transcription ne démarre pas. Réessayez dans un instant." << "" << true;
        QTest::newRow("429") << 429 << "Trop de transcriptions en même temps. Terminez un autre appel, puis réessayez." << "" << false;
        QTest::newRow("500") << 500 << "La transcription ne répond pas pour le moment. Réessayez dans un instant." << "" << false;
    }
    void messagesSoniox()
    {
        QFETCH(int, code);
        QFETCH(QString, cle);
        QFETCH(QString, autre);
        QFETCH(bool, definitive);
        QCOMPARE(erreurSonioxDefinitive(code, "x"), definitive);
        const QString ailleurs = autre.isEmpty() ? cle : autre;
        QCOMPARE((QStringList{messageErreurSoniox(code, SourceIA::cle), messageErreurSoniox(code, SourceIA::cloud), messageErreurSoniox(code, SourceIA::relais)}),
                 (QStringList{cle, ailleurs, ailleurs}));
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
        QCOMPARE(u.path() + '?' + u.query(), "/v1/listen?" + attendu);
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
        QCOMPARE(vous.toHex() + ' ' + prospect.toHex(), "01020304 a1a2b3b4");
    }

    // Credentials.
    void cleAbsente()
    {
        coffre->ecrire("soniox", "   ");
        AccesCle soniox(IdMoteur::soniox, false, "fr", 2);
        AccesCle deepgram(IdMoteur::deepgram, false, "fr", 2);
        const auto r = obtenir(soniox), r2 = obtenir(deepgram);
        QVERIFY(r && !*r && r2 && !*r2);
        QCOMPARE(r->erreur(), QStringLiteral("Aucune clé de transcription n'est configurée. Ajoutez la vôtre dans Réglages, ou lancez l'appel simulé."));
    }

    void clesPropres()
    {
        coffre->ecrire("soniox", "cle-s");
        coffre->ecrire("deepgram", "cle-d");
        qputenv("VD_URL_SONIOX", "ws://127.0.0.1:5");
        AccesCle soniox(IdMoteur::soniox, false, "fr", 2);
        auto r = obtenir(soniox);
        QVERIFY(r && *r);
        QCOMPARE(r->valeur().cle + ' ' + r->valeur().url.toString(), QStringLiteral("cle-s ws://127.0.0.1:5/transcribe-websocket"));
        QCOMPARE(r->valeur().mode, SourceIA::cle);
        AccesCle deepgram(IdMoteur::deepgram, false, "en", 1);
        r = obtenir(deepgram);
        QCOMPARE(r->valeur().cle + ' ' + r->valeur().url.query(), "Token cle-d " + urlDeepgram("en", 1).query());
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
        QCOMPARE(serveur.requetes[0].methode + ' ' + serveur.requetes[0].chemin, QByteArray("POST /api/deepgram/token"));
        // The relay's token, or the failure's message.
        const auto mode = [](SourceIA m) { return QStringLiteral(" (mode %1)").arg(int(m)); };
        QCOMPARE(*r ? r->valeur().cle + mode(r->valeur().mode) : r->erreur(), cle.isEmpty() ? message : cle + mode(SourceIA::relais));
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
        QTRY_COMPARE(r.value_or(vd::echec(QString())).erreur(), messages::relaisMuet);
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
        QCOMPARE(QStringLiteral("%1 %2 ").arg(b.appels[0].nom).arg(b.appels[0].delaiMs) + QJsonDocument(b.appels[0].corps).toJson(QJsonDocument::Compact),
                 QStringLiteral(R"(transcription-jeton 15000 {"appelId":"appel-1","canaux":2,"diarisation":true,"langue":"fr","moteur":"soniox","session_id":null})"));
        b.repondre(0, QJsonObject{{"access_token", "tmp-1"}, {"session_id", "s-9"}, {"url_websocket", "wss://x/transcribe-websocket"}});
        QCOMPARE(recus.size(), 2);
        QCOMPARE(recus[0].valeur().jeton + ' ' + recus[1].valeur().urlWebsocket, QStringLiteral("tmp-1 wss://x/transcribe-websocket"));
        horloge->avancer(19999);
        cloud.jeton(this, [&](const ResultatJeton& r) { recus.append(r); });
        QTRY_COMPARE(recus.size(), 3);
        QCOMPARE(b.appels.size(), 1);
        horloge->avancer(1);
        cloud.jeton(this, [&](const ResultatJeton& r) { recus.append(r); });
        QCOMPARE((QList<QVariant>{b.appels.size(), b.appels.value(1).corps["session_id"].toString(), cloud.numeroCle()}), (QList<QVariant>{2, "s-9", 2}));
    }

    void echecNonGarde()
    {
        FauxBackend b;
        TranscriptionCloud cloud(b.fonction(), "appel-1", 1, "fr", IdMoteur::soniox, true);
        QList<ResultatJeton> recus;
        cloud.jeton(this, [&](const ResultatJeton& r) { recus.append(r); });
        cloud.jeton(this, [&](const ResultatJeton& r) { recus.append(r); });
        b.echouer(0, ErreurFonction{.genre = ErreurFonction::Genre::reseau, .code = "url_-1"});
        QCOMPARE((QList<QVariant>{recus.size(), recus[0].erreur()}), (QList<QVariant>{2, "Pas de connexion. Quillo et la transcription ont besoin d'internet."}));
        // Within 20 s, the next attempt still asks again.
        cloud.jeton(this, [&](const ResultatJeton& r) { recus.append(r); });
        QCOMPARE(b.appels.size(), 2);
    }

    // Through the emulator (the backend's error shape) or by hand (each code's wording).
    void messagesDuBackend_data()
    {
        QTest::addColumn<bool>("emule");
        QTest::addColumn<int>("moteur");
        QTest::addColumn<int>("statut");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("serveur");
        QTest::addColumn<int>("genre");
        QTest::addColumn<QString>("message");
        const int autre = int(ErreurFonction::Genre::autre), soniox = int(IdMoteur::soniox);
        const QString trop = QStringLiteral("Trop de transcriptions en même temps. Terminez un appel avant d'en lancer un autre.");
        const QString demarre = QStringLiteral("La transcription ne démarre pas. Réessayez dans un instant.");
        const QString indisponible = QStringLiteral("La transcription n'est pas encore disponible.");
        QTest::newRow("émulateur, désactivée") << true << soniox << 403 << "fonction_desactivee" << "" << autre << indisponible;
        QTest::newRow("émulateur, trop de sessions") << true << soniox << 429 << "trop_de_sessions" << "" << autre << trop;
        QTest::newRow("clé serveur absente") << false << soniox << 500 << "cle_serveur_absente" << "" << autre << indisponible;
        QTest::newRow("trop de sessions") << false << soniox << 429 << "trop_de_sessions" << trop << autre << trop;
        QTest::newRow("session") << false << soniox << 401 << "non_connecte" << "" << int(ErreurFonction::Genre::session)
                                 << "Connectez-vous pour lancer la transcription.";
        QTest::newRow("autre") << false << soniox << 500 << "erreur_interne" << "" << autre << demarre;
        QTest::newRow("404 soniox") << false << soniox << 404 << "" << "" << autre << demarre;
        // Deepgram falls back on the older function after a 404, but not when sessions are full.
        QTest::newRow("404 deepgram, trop de sessions") << false << int(IdMoteur::deepgram) << 404 << "trop_de_sessions" << trop << autre << trop;
    }
    void messagesDuBackend()
    {
        QFETCH(bool, emule);
        QFETCH(int, moteur);
        QFETCH(int, statut);
        QFETCH(QString, code);
        QFETCH(QString, serveur);
        QFETCH(int, genre);
        QFETCH(QString, message);
        std::optional<ResultatJeton> r;
        if (emule) {
            QVERIFY(emulateur());
            banc->serveur.surFonction("transcription-jeton", [statut, code](const RequeteHttp&) {
                return vd::fakes::FauxSupabase::erreurFonction(statut, code);
            });
            TranscriptionCloud cloud = cloudEmule(IdMoteur(moteur), 1);
            r = demanderJeton(cloud);
            QCOMPARE(requetes("transcription-jeton").size(), 1);
        } else {
            FauxBackend b;
            TranscriptionCloud cloud(b.fonction(), "a", 2, "fr", IdMoteur(moteur), true);
            cloud.jeton(this, [&](const ResultatJeton& x) { r = x; });
            b.echouer(0, ErreurFonction{ErreurFonction::Genre(genre), statut, code, serveur});
            QCOMPARE(b.appels.size(), 1);
        }
        QVERIFY(r && !*r);
        QCOMPARE(r->erreur(), message);
    }

    void emulateurSansSession()
    {
        QVERIFY(emulateur(false));
        TranscriptionCloud cloud = cloudEmule(IdMoteur::soniox);
        const auto r = demanderJeton(cloud);
        QVERIFY(r && !*r);
        QCOMPARE(r->erreur(), QStringLiteral("Connectez-vous pour lancer la transcription."));
        QVERIFY(requetes("transcription-jeton").isEmpty());
    }

    void jetonDeLEmulateur()
    {
        QVERIFY(emulateur());
        banc->serveur.surFonction("transcription-jeton", [](const RequeteHttp&) {
            return ReponseHttpFactice::json(200, QJsonObject{{"access_token", "tmp-42"}, {"session_id", "s-1"},
                                                             {"moteur", "soniox"}, {"url_websocket", "wss://exemple/ws"}});
        });
        TranscriptionCloud cloud = cloudEmule(IdMoteur::soniox);
        auto r = demanderJeton(cloud);
        QVERIFY(r && *r);
        QCOMPARE(r->valeur().jeton + ' ' + r->valeur().urlWebsocket, QStringLiteral("tmp-42 wss://exemple/ws"));
        QCOMPARE(requetes("transcription-jeton").size(), 1);
        const RequeteHttp q = requetes("transcription-jeton")[0];
        QVERIFY(q.entete("authorization").startsWith("Bearer "));
        const QJsonObject corps = q.json().toObject();
        QCOMPARE((QStringList{q.methode, corps["appelId"].toString(), corps["moteur"].toString(), corps["session_id"].isNull() ? "null" : "?"}),
                 (QStringList{"POST", "appel-1", "soniox", "null"}));
        // The next request of the call (after the shared 20 s) carries the session.
        banc->horloge.avancer(20000);
        r = demanderJeton(cloud);
        QVERIFY(r && *r);
        QCOMPARE(requetes("transcription-jeton").last().json().toObject()["session_id"].toString(), QStringLiteral("s-1"));
    }

    void ancienneFonctionDeLEmulateurPourDeepgram()
    {
        QVERIFY(emulateur());
        // "transcription-jeton" is unknown to this backend: it answers 404.
        banc->serveur.surFonction("deepgram-jeton", [](const RequeteHttp& r) {
            if (r.json().toObject().contains("moteur"))
                return ReponseHttpFactice::json(400, QJsonObject{{"error", "requete_invalide"}});
            return ReponseHttpFactice::json(200, QJsonObject{{"access_token", "dg-1"}});
        });
        TranscriptionCloud cloud = cloudEmule(IdMoteur::deepgram);
        const auto r = demanderJeton(cloud);
        QVERIFY(r && *r);
        QCOMPARE((QList<QVariant>{r->valeur().jeton, requetes("transcription-jeton").size(), requetes("deepgram-jeton").size()}),
                 (QList<QVariant>{"dg-1", 1, 1}));
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
        b.echouer(0, ErreurFonction{.statut = 404, .code = "http_404"});
        QVERIFY(!r);
        QCOMPARE(b.appels.size(), 2);   // the older function, without the engine
        QCOMPARE(b.appels[1].nom + ' ' + QStringList(b.appels[1].corps.keys()).join(','), "deepgram-jeton appelId,canaux,diarisation,langue,session_id");
        b.repondre(1, QJsonObject{{"access_token", "dg"}});
        QVERIFY(r && *r);
        QCOMPARE(r->valeur().jeton, QStringLiteral("dg"));
    }

    void deuxFluxSonioxUneSeuleDemande()
    {
        vd::fakes::FauxSoniox serveur;
        QVERIFY(serveur.demarrer());
        FauxBackend b;
        Soniox moteur({.source = SourceIA::cloud, .appelerFonction = b.fonction(), .filDedie = false});
        e.suivre(&moteur, this);
        moteur.demarrer({.appelId = QStringLiteral("appel-7")});
        QTRY_COMPARE(b.appels.size(), 1);
        QTest::qWait(20);
        QCOMPARE(b.appels.size(), 1);
        QCOMPARE(b.appels[0].corps["appelId"].toString(), QStringLiteral("appel-7"));
        b.repondre(0, QJsonObject{{"access_token", "tmp"}, {"url_websocket", serveur.url().toString()}, {"diarisation", false}});
        QTRY_VERIFY(vd::test::fluxConfigures(serveur, 2));
        // One key for both streams; the backend turned speaker separation off for this call.
        for (int i : {0, 1})
            QCOMPARE(QStringLiteral("%1 %2").arg(serveur.configuration(i)["api_key"].toString()).arg(serveur.configuration(i)["enable_speaker_diarization"].toBool()),
                     QStringLiteral("tmp 0"));
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
        Deepgram moteur({.source = SourceIA::relais, .relais = relais.url().toString(), .filDedie = false});
        e.suivre(&moteur, this);
        moteur.demarrer({.moteur = QStringLiteral("deepgram"), .canaux = 2});
        QTRY_VERIFY(e.ouvert);
        QCOMPARE(serveur.connexion(0).entetes.value("authorization"), QByteArray("Bearer jeton-relais"));
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
        Soniox moteur({.choisirSource = [&](QObject* ctx, ContexteTranscription::RappelSource r) {
                           ++questions;
                           QTimer::singleShot(0, ctx, [r, choix] { r(choix); });   // answers later, like the relay check
                       },
                       .filDedie = false});
        e.suivre(&moteur, this);
        moteur.demarrer({.moteur = QStringLiteral("soniox"), .canaux = 1});
        QTRY_COMPARE(e.echec, messages::indisponible);
        QCOMPARE(serveur.tentatives(), 0);
        choix = SourceIA::cle;
        moteur.demarrer({.moteur = QStringLiteral("soniox"), .canaux = 1});
        QTRY_VERIFY(!serveur.configuration(0).isEmpty());
        horloge->avancer(800);
        QTRY_VERIFY(e.ouvert);
        QCOMPARE(questions, 2);
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
        Soniox moteur({.source = SourceIA(source), .relais = "https://relais.exemple.fr", .filDedie = false});
        e.suivre(&moteur, this);
        moteur.demarrer({.demo = demo});
        QTRY_COMPARE(e.echec, messages::indisponible);
    }
};

QTEST_GUILESS_MAIN(TestSoniox)
#include "tst_transcription_soniox.moc"
