// The Soniox and Deepgram engines against the fake services, on the fake clock
// (streams share the test's thread so the fake clock drives every timer).
#include "call/moteurtranscription.h"
#include "fakes/fauxdeepgram.h"
#include "fakes/fauxsoniox.h"
#include "platform/horloge.h"
#include "commun_transcription.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using namespace vd::call;
using vd::ai::SourceIA;
using vd::fakes::FauxDeepgram;
using vd::fakes::FauxSoniox;
using vd::platform::HorlogeFactice;

namespace {

// Counts requests; each answer carries a new key ("k1", "k2", …).
class AccesCompte final : public FournisseurAcces {
public:
    AccesCompte(QUrl url, SourceIA mode) : url_(std::move(url)), mode_(mode) {}
    void obtenir(QObject* contexte, Rappel rappel) override
    {
        ++demandes;
        AccesTranscription a{QStringLiteral("k%1").arg(demandes), url_, mode_, {}};
        QMetaObject::invokeMethod(contexte, [rappel, a] { rappel(a); }, Qt::QueuedConnection);
    }
    int demandes = 0;

private:
    QUrl url_;
    SourceIA mode_;
};

QByteArray stereo(int ms, qint16 gauche, qint16 droite)
{
    QByteArray b;
    for (int i = 0; i < ms * 16; ++i) {
        b.append(reinterpret_cast<const char*>(&gauche), 2);
        b.append(reinterpret_cast<const char*>(&droite), 2);
    }
    return b;
}

QByteArray mono(int ms) { return QByteArray(ms * 32, '\x01'); }

QJsonObject fin() { return FauxSoniox::fin(); }

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
    QList<SegmentLive>& segments = e.segments;
    QStringList& etats = e.etats;

    void creer(SourceIA mode = SourceIA::cle, const QUrl& url = {})
    {
        acces = std::make_shared<AccesCompte>(url.isEmpty() ? serveur->url() : url, mode);
        ContexteTranscription c;
        c.filDedie = false;
        c.fournisseurCle = acces;
        moteur = std::make_unique<Soniox>(c);
        e.suivre(moteur.get(), this);
    }

    void lancer(int canaux, QString langue = QStringLiteral("fr"), quint64 generation = 7)
    {
        moteur->demarrer(vd::test::parametres(QStringLiteral("soniox"), canaux, langue, generation));
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
        ContexteTranscription c;
        c.filDedie = false;
        c.fournisseurCle = std::make_shared<AccesFixe>(AccesTranscription{autorisation, urlDeepgram(langue, canaux, dg->url()), mode, {}});
        moteurDg = std::make_unique<Deepgram>(c);
        e.suivre(moteurDg.get(), this);
        moteurDg->demarrer(vd::test::parametres(QStringLiteral("deepgram"), canaux, langue, 3));
    }

private Q_SLOTS:
    void init()
    {
        horloge = new HorlogeFactice;
        vd::platform::Horloge::installer(horloge);
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
        vd::platform::Horloge::installer(nullptr);
        delete horloge;
    }

    void stereoOuvreDeuxFlux()
    {
        QVERIFY(ouvrir(2));
        QCOMPARE(serveur->nombreConnexions(), 2);
        const int v = indexVous();
        QCOMPARE(serveur->configuration(v)["enable_speaker_diarization"].toBool(), false);
        QCOMPARE(serveur->configuration(1 - v)["enable_speaker_diarization"].toBool(), true);
        QCOMPARE(serveur->configuration(v)["api_key"].toString(), QStringLiteral("k1"));
        QCOMPARE(serveur->configuration(1 - v)["language_hints"].toArray(), QJsonArray{"fr"});
        moteur->envoyer(stereo(100, 0x1122, 0x3344));
        moteur->envoyer(QByteArray());   // ignored
        QTRY_COMPARE(serveur->connexion(v).audio.size(), 3200);
        QTRY_COMPARE(serveur->connexion(1 - v).audio.size(), 3200);
        QCOMPARE(serveur->connexion(v).taillesAudio, QList<int>{3200});
        QCOMPARE(serveur->connexion(v).audio.left(4), QByteArray::fromHex("22112211"));
        QCOMPARE(serveur->connexion(1 - v).audio.left(4), QByteArray::fromHex("44334433"));
        QCOMPARE(e.generations, QList<quint64>{7});
    }

    void monoOuvreUnFluxMixte()
    {
        QVERIFY(ouvrir(1, QStringLiteral("de")));
        QCOMPARE(serveur->nombreConnexions(), 1);
        QCOMPARE(serveur->configuration(0)["enable_speaker_diarization"].toBool(), true);
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
        QByteArray septSecondes;
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
        serveur->envoyerJetons(1, {FauxSoniox::jeton("Voilà", 0, 500, true, 1), fin()});
        QTRY_COMPARE(segments.size(), 1);
        QCOMPARE(segments[0].debutMs, 3000);
        QCOMPARE(segments[0].finMs, 3500);
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
        serveur->reponsesFin = {QJsonObject{{"tokens", QJsonArray{FauxSoniox::jeton("Au revoir", 0, 500, true, 0), fin()}}}};
        moteur->terminer();
        QTRY_VERIFY(e.termine);
        QVERIFY(serveur->connexion(0).finRecue && serveur->connexion(1).finRecue);
        QCOMPARE(serveur->connexion(0).textes.last(), QString());
        QCOMPARE(segments.size(), 2);
        QVERIFY(segments.contains(SegmentLive{"vous", "Au revoir", true, 0, 500, std::nullopt}));
        QVERIFY(segments.contains(SegmentLive{"prospect", "Au revoir", true, 0, 500, 1}));
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
        QVERIFY(c.requete.contains(std::pair{QStringLiteral("language"), QStringLiteral("fr")}));   // German falls back to French
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
        QCOMPARE(dg->tentatives(), 1);
        QCOMPARE(dg->nombreConnexions(), 0);
    }

    void keepAliveToutesLesHuitSecondes()
    {
        creerDeepgram(SourceIA::cle, QStringLiteral("Token cle-deepgram"));
        QTRY_VERIFY(e.ouvert);
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
        creerDeepgram(SourceIA::cle, QStringLiteral("Token cle-deepgram"));
        QTRY_VERIFY(e.ouvert);
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
        creerDeepgram(SourceIA::cle, QStringLiteral("Token cle-deepgram"));
        QTRY_VERIFY(e.ouvert);
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
};

QTEST_GUILESS_MAIN(TestSoniox)
#include "tst_transcription_soniox.moc"
