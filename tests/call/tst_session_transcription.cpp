// vd-test: timeout=240
// A live call from the session down to local transcription services: the
// real capture fed by scripted sound sources, the engine the settings choose
// built by the program's own factory, own keys in an in-memory credential
// store, the services' addresses moved to the fakes through VD_URL_SONIOX /
// VD_URL_DEEPGRAM, and the fake clock driving every timer (capture ticks,
// the 0.8 s confirmation, reconnection delays, saves). What is checked is
// what the screens see: partial and final segments, the transcription state
// label, the start refused, and the saved call. Then `vendalo transcrire`:
// the real program, its stream threads and the system clock, against the
// fake services of this process.
#include "ai/moteur.h"
#include "ai/routes.h"
#include "call/captureaudio.h"
#include "call/moteurtranscription.h"
#include "call/sessionappel.h"
#include "fakes/fauxdeepgram.h"
#include "fakes/fauxsoniox.h"
#include "fakes/sourcesfactices.h"
#include "commun_transcription.h"
#include "fauxappel.h"
#include "model/store.h"
#include "platform/coffre.h"
#include "platform/horloge.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <thread>

using namespace vd;
using call::EtatSession;
using call::SessionAppel;
using fakes::FauxDeepgram;
using fakes::FauxSoniox;
using platform::GenreSource;

namespace {

const QString cleSoniox = QStringLiteral("sk-test-soniox");

// Scripted sources the test keeps hold of once the capture that used them is gone.
class SourcesPartagees final : public platform::SourcesAudio {
public:
    explicit SourcesPartagees(std::shared_ptr<fakes::SourcesFactices> s) : s_(std::move(s)) {}
    ResultatVide<platform::EchecSource> ouvrir(GenreSource g, Donnees d, Fin f) override
    {
        return s_->ouvrir(g, std::move(d), std::move(f));
    }
    void fermer(GenreSource g) override { s_->fermer(g); }
    QString peripherique(GenreSource g) const override { return s_->peripherique(g); }

private:
    std::shared_ptr<fakes::SourcesFactices> s_;
};

// The session wired as the program wires it, on fakes of the outside world:
// on the fake clock with every stream on the test's thread, or (programme)
// on the program's own threads and the system clock.
struct Banc {
    QObject contexte;
    platform::HorlogeFactice horloge;
    platform::HorlogeSysteme systeme;
    const bool programme;
    platform::Horloge& temps;
    platform::CoffreMemoire coffre;
    model::Store store{QString(), temps};
    ai::Moteur moteur{QStringLiteral(VD_RESOURCES_DIR "/moteur.js")};
    std::shared_ptr<fakes::SourcesFactices> sources;  // those of the last capture
    QPointer<call::MoteurTranscription> engin;       // the last engine the session built
    QStringList moteursDemandes;
    QStringList codes;                               // every transcription code published, in order
    std::vector<test::Journalise> journal;
    QStringList analyses;
    std::unique_ptr<SessionAppel> session;

    explicit Banc(const QString& moteurChoisi, bool programme = false)
        : programme(programme), temps(programme ? static_cast<platform::Horloge&>(systeme) : horloge)
    {
        if (!programme)
            platform::Horloge::installer(&horloge);
        platform::Coffre::installer(&coffre);
        store.modifier([&](model::Etat& e) {
            e.reglages.transcription.moteur = moteurChoisi;
            e.reglages.transcription.sonioxEurope = false;
        });
        SessionAppel::Fabriques f;
        f.capture = [this]() -> std::unique_ptr<call::CaptureAudioBase> {
            sources = std::make_shared<fakes::SourcesFactices>();
            if (this->programme)
                return std::make_unique<call::CaptureAudio>(std::make_unique<SourcesPartagees>(sources));
            return std::make_unique<call::CaptureAudio>(std::make_unique<SourcesPartagees>(sources), &horloge,
                                                        call::CaptureAudio::Fil::appelant);
        };
        f.transcription = [this](const QString& m) -> std::unique_ptr<call::MoteurTranscriptionBase> {
            moteursDemandes << m;
            auto t = call::creerMoteurAppel(m, ai::routesDuStore(store), this->programme);
            engin = t.get();
            return t;
        };
        session = std::make_unique<SessionAppel>(store, moteur, temps, f);
        session->setJournal([this](const QString& n, const QString& m, const QJsonObject& p) { journal.push_back({n, m, p}); });
        session->setRappelAnalyse([this](const QString& id) { analyses << id; });
        QObject::connect(session.get(), &SessionAppel::transcriptionChange, &contexte,
                         [this] { codes << session->codeTranscription(); });
    }

    ~Banc()
    {
        session.reset();
        // Engines released with deleteLater go before the clock they hold timers on.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        platform::Coffre::installer(nullptr);
        platform::Horloge::installer(nullptr);
    }

    // A call started on a Soniox fake that expects the user's own key, stored.
    bool demarrerSoniox(FauxSoniox& serveur)
    {
        if (!serveur.demarrer())
            return false;
        serveur.cleAttendue = cleSoniox;
        qputenv("VD_URL_SONIOX", serveur.url().toString().toUtf8());
        coffre.ecrire(QStringLiteral("soniox"), cleSoniox);
        return !session->demarrer(test::BancSession::config());
    }

    // Both voices speak for ms: the microphone at +0.25, the Mac's sound at
    // -0.5, 100 ms at a time as the audio threads deliver it, each followed
    // by a tick of the capture's clock that hands the block on.
    void parler(int ms)
    {
        const std::vector<float> micro(1600, 0.25f), mac(1600, -0.5f);
        for (int t = 0; t < ms; t += 100) {
            sources->livrer(GenreSource::micro, micro);
            sources->livrer(GenreSource::sonSysteme, mac);
            horloge.avancer(100);
        }
    }

    // "speaker start-end voix n" of the final with that text.
    QString finalDe(const QString& texte) const
    {
        for (const auto& s : session->finals())
            if (s.texte == texte)
                return QStringLiteral("%1 %2-%3 voix %4").arg(s.locuteur).arg(s.debutMs).arg(s.finMs).arg(s.interlocuteur.value_or(0));
        return {};
    }
};

QByteArray wav(int canaux, int ms, qint16 gauche, qint16 droite)
{
    const char trame[4] = {char(gauche & 0xff), char(gauche >> 8), char(droite & 0xff), char(droite >> 8)};
    const QByteArray pcm = QByteArray(trame, 2 * canaux).repeated(ms * 16);
    QByteArray h;
    QDataStream d(&h, QIODevice::WriteOnly);
    d.setByteOrder(QDataStream::LittleEndian);
    d.writeRawData("RIFF", 4);
    d << quint32(36 + pcm.size());
    d.writeRawData("WAVEfmt ", 8);
    d << quint32(16) << quint16(1) << quint16(canaux) << quint32(16000) << quint32(16000 * 2 * canaux) << quint16(2 * canaux) << quint16(16);
    d.writeRawData("data", 4);
    d << quint32(pcm.size());
    return h + pcm;
}

struct Sortie {
    int code = -1;
    QList<QJsonObject> lignes;
    QString erreur;
};

} // namespace

class TstSessionTranscription : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;

    QString ecrire(const QString& nom, const QByteArray& octets)
    {
        const QString chemin = dossier.filePath(nom);
        QFile f(chemin);
        f.open(QIODevice::WriteOnly);
        f.write(octets);
        return chemin;
    }

    Sortie lancer(const QStringList& args, const QMap<QString, QString>& env, const QByteArray& cles)
    {
        QDir().mkpath(dossier.filePath("config/Vendalo"));
        QFile f(dossier.filePath("config/Vendalo/identifiants.json"));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(cles);
        f.close();
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("HOME", dossier.path());
        e.insert("XDG_CONFIG_HOME", dossier.filePath("config"));
        e.insert("XDG_DATA_HOME", dossier.filePath("data"));
        e.insert("VD_COFFRE", "fichier");
        for (auto it = env.begin(); it != env.end(); ++it)
            e.insert(it.key(), it.value());
        p.setProcessEnvironment(e);
        p.start(VD_VENDALO_BIN, QStringList{"transcrire"} + args);
        Sortie s;
        if (!p.waitForStarted(10000))
            return s;
        // The fake services answer from this thread's event loop while the program runs.
        if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000)) {
            p.kill();
            p.waitForFinished();
            return s;
        }
        s.code = p.exitCode();
        for (const QByteArray& l : p.readAllStandardOutput().split('\n'))
            if (!l.trimmed().isEmpty())
                s.lignes.append(QJsonDocument::fromJson(l).object());
        s.erreur = QString::fromUtf8(p.readAllStandardError()).trimmed();
        return s;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dossier.isValid());
        QStandardPaths::setTestModeEnabled(true);
        qRegisterMetaType<vd::call::SegmentLive>();
    }

    void init()
    {
        qunsetenv("VD_URL_SONIOX");
        qunsetenv("VD_URL_SONIOX_EU");
        qunsetenv("VD_URL_DEEPGRAM");
    }

    // Two Soniox streams (microphone, Mac's sound): partials then finals of
    // each speaker, a dropped prospect socket that comes back with its times
    // still on the call's clock, then the stop and the saved call.
    void sonioxDeuxFlux()
    {
        FauxSoniox serveur;
        Banc b(QStringLiteral("soniox"));
        QVERIFY(b.demarrerSoniox(serveur));
        QCOMPARE(b.moteursDemandes, QStringList{"soniox"});
        QCOMPARE(b.session->etat(), EtatSession::connexion);
        QTRY_VERIFY(test::fluxConfigures(serveur, 2));
        const int v = test::indexVous(serveur);   // microphone stream
        const int p = 1 - v;
        QCOMPARE(serveur.configuration(v)["api_key"].toString() + serveur.configuration(p)["api_key"].toString(), cleSoniox + cleSoniox);
        QCOMPARE(serveur.configuration(p)["enable_speaker_diarization"].toBool(), true);
        QTest::qWait(20);
        QCOMPARE(b.session->etat(), EtatSession::connexion);   // not before the 0.8 s confirmation
        b.horloge.avancer(800);
        QTRY_COMPARE(b.session->etat(), EtatSession::enCours);
        QCOMPARE(b.session->offsetMs(), 0);

        // Two seconds of both voices: each stream gets its own channel. The
        // capture ran through the 0.8 s confirmation, so its 200 ms delay is
        // spent and the streams get exactly the call's audio so far.
        b.parler(2000);
        QTRY_COMPARE(serveur.connexion(v).audio.size(), 2000 * 32);
        QTRY_COMPARE(serveur.connexion(p).audio.size(), 2000 * 32);
        QVERIFY(qFromLittleEndian<qint16>(serveur.connexion(v).audio.constData()) > 8000);
        QVERIFY(qFromLittleEndian<qint16>(serveur.connexion(p).audio.constData()) < -16000);

        // A partial shows, then the finals of the right speakers replace it.
        serveur.envoyerJetons(v, {FauxSoniox::jeton("Bonjour", 100, 400, true), FauxSoniox::jeton(" je", 400, 500, false)});
        QTRY_COMPARE(b.session->interims().value("vous"), (call::SegmentLive{"vous", "Bonjour je", false, 100, 500, std::nullopt}));
        serveur.envoyerJetons(v, {FauxSoniox::jeton(" je vous appelle", 400, 1000, true), FauxSoniox::fin()});
        serveur.envoyerJetons(p, {FauxSoniox::jeton("Oui", 1200, 1400, true, 1), FauxSoniox::jeton(" c'est", 1400, 1600, true, 1),
                                  FauxSoniox::jeton(" moi", 1600, 1900, true, 1), FauxSoniox::fin()});
        QTRY_COMPARE(b.session->finals().size(), 2);
        QVERIFY(b.session->interims().isEmpty());
        QCOMPARE(b.finalDe("Bonjour je vous appelle") + ", " + b.finalDe("Oui c'est moi"), "vous 100-1000 voix 0, prospect 1200-1900 voix 1");
        for (const auto& s : b.session->finals())
            QVERIFY(s.finMs <= b.session->offsetMs());   // the transcript never runs ahead of the call

        // The prospect's socket drops: reconnection, audio held meanwhile.
        QCOMPARE(b.session->offsetMs(), 2000);
        serveur.lacher(p);
        QTRY_COMPARE(b.session->codeTranscription(), QStringLiteral("reconnexion"));
        QCOMPARE(b.session->etat(), EtatSession::enCours);
        QVERIFY(!b.session->erreur());
        b.parler(500);
        QCOMPARE(serveur.nombreConnexions(), 2);
        b.parler(100);   // 0.6 s after the drop: the first attempt
        QTRY_COMPARE(serveur.nombreConnexions(), 3);
        QTRY_VERIFY(!serveur.configuration(2).isEmpty());
        QCOMPARE(serveur.configuration(2)["api_key"].toString(), cleSoniox);
        QVERIFY(serveur.configuration(2)["enable_speaker_diarization"].toBool());
        b.parler(800);   // the new socket's confirmation
        QTRY_COMPARE(b.session->codeTranscription(), QStringLiteral("ouvert"));
        // Nothing was lost: the held audio went first, then the live audio.
        QTRY_COMPARE(serveur.connexion(2).audio.size(), (500 + 100 + 800) * 32);
        QVERIFY(qFromLittleEndian<qint16>(serveur.connexion(2).audio.constData()) < -16000);

        // Times on the new socket start from zero; the call places them after the drop.
        serveur.envoyerJetons(2, {FauxSoniox::jeton("Et", 100, 300, true, 1), FauxSoniox::jeton(" le", 300, 500, true, 1),
                                  FauxSoniox::jeton(" prix", 500, 900, true, 1), FauxSoniox::fin()});
        serveur.envoyerJetons(v, {FauxSoniox::jeton("Je", 2500, 2700, true), FauxSoniox::jeton(" vous", 2700, 3000, true),
                                  FauxSoniox::fin()});
        QTRY_COMPARE(b.session->finals().size(), 4);
        // The prospect's words placed after the drop at 2 s, with the same voice as before it.
        QCOMPARE(b.finalDe("Et le prix"), QStringLiteral("prospect 2100-2900 voix 1"));
        QCOMPARE(b.finalDe("Je vous"), QStringLiteral("vous 2500-3000 voix 0"));
        for (const auto& s : b.session->finals())
            QVERIFY(s.finMs <= b.session->offsetMs());
        QCOMPARE(b.codes, (QStringList{"connexion", "ouvert", "reconnexion", "ouvert"}));

        // Stopping: the service's end, then the call saved with its transcript.
        const QString id = *b.session->appelId();
        b.session->arreter();
        QTRY_COMPARE(b.session->etat(), EtatSession::termine);
        const model::Appel* a = b.store.etat().appel(id);
        QVERIFY(a);
        QCOMPARE(a->statut + ' ' + a->moteurTranscription.value_or("-"), QStringLiteral("analyse soniox"));
        QCOMPARE(a->transcript, b.session->finals());
        QCOMPARE(a->transcript.size(), 4);
        QCOMPARE(b.analyses, QStringList{id});
        VERIFIER_SANS_ANOMALIE(serveur);
    }

    // A start the service refuses: the call does not start, the failure's
    // own message is shown, and no call is left behind.
    void demarrageRefuse_data()
    {
        QTest::addColumn<QString>("moteur");
        QTest::addColumn<QString>("cle");
        QTest::addColumn<QString>("message");
        QTest::newRow("soniox, clé de blancs") << "soniox" << "   "
                                         << "Aucune clé de transcription n'est configurée. Ajoutez la vôtre dans Réglages, ou lancez l'appel simulé.";
        QTest::newRow("soniox clé refusée") << "soniox" << "mauvaise"
                                            << "La transcription refuse votre clé. Vérifiez-la dans Réglages, ainsi que la région de votre "
                                               "projet (Europe ou monde).";
        QTest::newRow("deepgram sans clé") << "deepgram" << ""
                                           << "Aucune clé de transcription n'est configurée. Ajoutez la vôtre dans Réglages, ou lancez l'appel simulé.";
        QTest::newRow("deepgram clé refusée") << "deepgram" << "mauvaise" << "La transcription refuse votre clé. Vérifiez-la dans Réglages.";
    }
    void demarrageRefuse()
    {
        QFETCH(QString, moteur);
        QFETCH(QString, cle);
        QFETCH(QString, message);
        FauxSoniox soniox;
        FauxDeepgram deepgram;
        QVERIFY(soniox.demarrer() && deepgram.demarrer());
        soniox.cleAttendue = cleSoniox;
        deepgram.autorisationAttendue = QStringLiteral("Token dg-test-cle");
        qputenv("VD_URL_SONIOX", soniox.url().toString().toUtf8());
        qputenv("VD_URL_DEEPGRAM", deepgram.url().toString().toUtf8());
        Banc b(moteur);
        if (!cle.isEmpty())
            b.coffre.ecrire(moteur, cle);
        QVERIFY(!b.session->demarrer(test::BancSession::config()));
        QTRY_COMPARE(b.session->etat(), EtatSession::inactif);
        QCOMPARE(b.session->erreurTexte(), message);
        QVERIFY(!b.session->appelId() && b.store.etat().appels.isEmpty());
        QVERIFY(b.sources && !b.sources->ouverte(GenreSource::micro) && !b.sources->ouverte(GenreSource::sonSysteme));
        QCOMPARE(b.session->etatTranscription(), QString());
        QCOMPARE(soniox.tentatives() + deepgram.tentatives(), cle.trimmed().isEmpty() ? 0 : (moteur == "soniox" ? 2 : 1));
    }

    // The program's own threading, as the application builds it: each stream
    // on its own thread, the capture ticking on its own, the system clock,
    // audio arriving from a device thread. The session still gets everything
    // on its thread, and the stop joins it all.
    void filsDuProgramme()
    {
        FauxSoniox serveur;
        Banc b(QStringLiteral("soniox"), true);
        QVERIFY(b.demarrerSoniox(serveur));
        QTRY_COMPARE_WITH_TIMEOUT(b.session->etat(), EtatSession::enCours, 10000);   // includes the 0.8 s confirmation
        QCOMPARE(serveur.nombreConnexions(), 2);
        QCOMPARE(b.engin->nombreFlux(), 2);
        const QSet<QThread*> fils{QThread::currentThread(), b.engin->flux(0)->thread(), b.engin->flux(1)->thread()};
        QCOMPARE(fils.size(), 3);   // a thread of its own for each stream
        const int p = 1 - test::indexVous(serveur);

        std::thread appareil([&] {
            const std::vector<float> micro(4800, 0.25f), mac(4800, -0.5f);
            b.sources->livrer(GenreSource::micro, micro);
            b.sources->livrer(GenreSource::sonSysteme, mac);
        });
        appareil.join();
        // Each stream gets its own voice: +0.25 is 0x1fff, -0.5 is 0xc000 (little-endian).
        QTRY_VERIFY_WITH_TIMEOUT(serveur.connexion(1 - p).audio.contains(QByteArray::fromHex("ff1fff1f"))
                                     && serveur.connexion(p).audio.contains(QByteArray::fromHex("00c000c0")), 10000);
        QVERIFY(!serveur.connexion(p).audio.contains(QByteArray::fromHex("ff1fff1f")));
        serveur.envoyerJetons(p, {FauxSoniox::jeton("Oui", 0, 100, true, 0), FauxSoniox::jeton(" bien", 100, 200, true, 0),
                                  FauxSoniox::jeton(" sûr", 200, 300, true, 0), FauxSoniox::fin()});
        QTRY_COMPARE_WITH_TIMEOUT(b.session->finals().size(), 1, 10000);
        QCOMPARE(b.session->finals()[0], (model::Segment{"sg1", "prospect", "Oui bien sûr", 0, 300, 1}));

        const QString id = *b.session->appelId();
        serveur.reponsesFin = {QJsonObject{{"tokens", QJsonArray{FauxSoniox::jeton("Fin", 200, 300, true)}}}};
        b.session->arreter();
        QTRY_COMPARE_WITH_TIMEOUT(b.session->etat(), EtatSession::termine, 5000);
        QTRY_VERIFY(serveur.connexion(0).finRecue && serveur.connexion(1).finRecue);
        QCOMPARE(b.session->finals().size(), 3);   // the last words of each stream
        QCOMPARE(b.store.etat().appel(id)->transcript, b.session->finals());
        b.session.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);   // the engine joins its stream threads
        VERIFIER_SANS_ANOMALIE(serveur);
    }

    // `vendalo transcrire` on a WAV file.
    void transcrireSonioxStereo()
    {
        FauxSoniox serveur;
        QVERIFY(serveur.demarrer());
        serveur.programmer(false, 500, QJsonObject{{"tokens", QJsonArray{FauxSoniox::jeton("Bonjour", 100, 600, true), FauxSoniox::fin()}}});
        serveur.programmer(true, 1000, QJsonObject{{"tokens", QJsonArray{FauxSoniox::jeton("Oui", 1000, 1200, true, 0),
                                                                          FauxSoniox::jeton(" bonjour", 1200, 1400, true, 0),
                                                                          FauxSoniox::jeton(" monsieur", 1400, 1600, true, 0),
                                                                          FauxSoniox::fin()}}});
        serveur.reponsesFin = {QJsonObject{{"tokens", QJsonArray{FauxSoniox::jeton("Merci", 2000, 2400, true, 3)}}}};
        const QString f = ecrire("stereo.wav", wav(2, 3000, 1000, -1000));
        const Sortie s = lancer({f, "--moteur", "soniox", "--langue", "en", "--vite"}, {{"VD_URL_SONIOX", serveur.url().toString()}},
                                R"({"soniox":"cle-cli"})");
        QVERIFY2(s.code == 0, qPrintable(s.erreur));
        VERIFIER_SANS_ANOMALIE(serveur);
        QCOMPARE(serveur.nombreConnexions(), 2);
        const int v = vd::test::indexVous(serveur);
        QCOMPARE(serveur.configuration(v)["api_key"].toString(), QStringLiteral("cle-cli"));
        QCOMPARE(serveur.configuration(v)["language_hints"].toArray(), QJsonArray{"en"});
        // Channel 0 reached the salesperson's stream, channel 1 the prospect's, whole.
        QCOMPARE((QList<qsizetype>{serveur.connexion(v).audio.size(), serveur.connexion(1 - v).audio.size()}), (QList<qsizetype>{96000, 96000}));
        QCOMPARE((QList<qint16>{qFromLittleEndian<qint16>(serveur.connexion(v).audio.constData() + 1000),
                                qFromLittleEndian<qint16>(serveur.connexion(1 - v).audio.constData() + 1000)}),
                 (QList<qint16>{1000, -1000}));
        QVERIFY(serveur.connexion(0).finRecue && serveur.connexion(1).finRecue);

        QCOMPARE(s.lignes.size(), 4);   // the last "Merci" arrives on both streams at the end
        QVERIFY(s.lignes.contains(QJsonObject{{"locuteur", "vous"}, {"texte", "Bonjour"}, {"debutMs", 100}, {"finMs", 600}}));
        QVERIFY(s.lignes.contains(
            QJsonObject{{"locuteur", "prospect"}, {"interlocuteur", 1}, {"texte", "Oui bonjour monsieur"}, {"debutMs", 1000}, {"finMs", 1600}}));
        QVERIFY(s.lignes.contains(QJsonObject{{"locuteur", "vous"}, {"texte", "Merci"}, {"debutMs", 2000}, {"finMs", 2400}}));
        QVERIFY(s.lignes.contains(
            QJsonObject{{"locuteur", "prospect"}, {"interlocuteur", 1}, {"texte", "Merci"}, {"debutMs", 2000}, {"finMs", 2400}}));
    }

    void transcrireDeepgramStereo()
    {
        FauxDeepgram serveur;
        QVERIFY(serveur.demarrer());
        serveur.autorisationAttendue = "Token cle-dg";
        serveur.programmer(500, FauxDeepgram::resultat(0, "Bonjour.", 0.1, 0.5, true));
        serveur.programmer(1000, FauxDeepgram::resultat(1, "Oui bonjour monsieur", 1.0, 0.9, true, FauxDeepgram::mots("Oui bonjour monsieur", 1.0, 4)));
        serveur.programmer(1500, FauxDeepgram::resultat(1, "Et moi aussi", 2.0, 0.9, true, FauxDeepgram::mots("Et moi aussi", 2.0, 2)));
        const QString f = ecrire("stereo.wav", wav(2, 2000, 7, 9));
        const Sortie s = lancer({f, "--moteur", "deepgram", "--vite"}, {{"VD_URL_DEEPGRAM", serveur.url().toString()}},
                                R"({"deepgram":"cle-dg"})");
        QVERIFY2(s.code == 0, qPrintable(s.erreur));
        VERIFIER_SANS_ANOMALIE(serveur);
        QCOMPARE(serveur.connexion(0).audio.size(), 128000);
        QCOMPARE(serveur.connexion(0).textes.last(), QStringLiteral("{\"type\":\"CloseStream\"}"));
        QCOMPARE(s.lignes,
                 (QList<QJsonObject>{QJsonObject{{"locuteur", "vous"}, {"texte", "Bonjour."}, {"debutMs", 100}, {"finMs", 600}},
                                     QJsonObject{{"locuteur", "prospect"}, {"interlocuteur", 1}, {"texte", "Oui bonjour monsieur"}, {"debutMs", 1000}, {"finMs", 1900}},
                                     QJsonObject{{"locuteur", "prospect"}, {"interlocuteur", 2}, {"texte", "Et moi aussi"}, {"debutMs", 2000}, {"finMs", 2900}}}));
    }

    void transcrireSonioxMonoEnTempsReel()
    {
        FauxSoniox serveur;
        QVERIFY(serveur.demarrer());
        serveur.programmer(true, 300, QJsonObject{{"tokens", QJsonArray{FauxSoniox::jeton("Allô", 0, 300, true, 1), FauxSoniox::fin()}}});
        const QString f = ecrire("mono.wav", wav(1, 600, 5, 0));
        const Sortie s = lancer({f, "--moteur", "soniox"}, {{"VD_URL_SONIOX", serveur.url().toString()}}, R"({"soniox":"k"})");
        QVERIFY2(s.code == 0, qPrintable(s.erreur));
        QCOMPARE(serveur.nombreConnexions(), 1);
        QCOMPARE(serveur.connexion(0).taillesAudio, (QList<int>{3200, 3200, 3200, 3200, 3200, 3200}));
        QCOMPARE(s.lignes, QList<QJsonObject>{(QJsonObject{{"locuteur", "vous"}, {"texte", "Allô"}, {"debutMs", 0}, {"finMs", 300}})});
    }

    void transcrireEchecs_data()
    {
        QTest::addColumn<QByteArray>("fichier");   // empty: no file written, the arguments as given
        QTest::addColumn<QByteArray>("cles");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const QByteArray k(R"({"soniox":"k"})");
        const QStringList soniox{"--moteur", "soniox"};
        QTest::newRow("sans clé") << wav(2, 100, 0, 0) << QByteArray("{}") << soniox << 1
                                  << "Aucune clé de transcription n'est configurée. Ajoutez la vôtre dans Réglages, ou lancez l'appel simulé.";
        QTest::newRow("pas un wav") << QByteArray("bonjour") << k << soniox << 1 << "n'est pas un fichier WAV lisible.";
        QByteArray autreFrequence = wav(1, 100, 0, 0);
        qToLittleEndian<quint32>(44100, autreFrequence.data() + 24);
        QTest::newRow("44,1 kHz") << autreFrequence << k << soniox << 1
                                  << "Le fichier doit être en PCM 16 bits à 16 000 Hz, mono ou stéréo ; celui-ci est en 16 bits, 44 100 Hz mono.";
        QByteArray huitBits = wav(2, 100, 0, 0);
        qToLittleEndian<quint32>(44100, huitBits.data() + 24);
        qToLittleEndian<quint16>(8, huitBits.data() + 34);
        QTest::newRow("8 bits") << huitBits << k << soniox << 1
                                << "Le fichier doit être en PCM 16 bits à 16 000 Hz, mono ou stéréo ; celui-ci est en 8 bits, 44 100 Hz stéréo.";
        QByteArray flottant = wav(2, 100, 0, 0);
        qToLittleEndian<quint16>(3, flottant.data() + 20);
        qToLittleEndian<quint16>(32, flottant.data() + 34);
        QTest::newRow("flottant") << flottant << k << soniox << 1 << "celui-ci est en virgule flottante 32 bits, 16 000 Hz stéréo.";
        QTest::newRow("en-tête tronqué") << wav(1, 100, 0, 0).left(30) << k << soniox << 1 << "n'est pas un fichier WAV lisible.";
        QTest::newRow("clé refusée") << wav(1, 100, 0, 0) << QByteArray(R"({"soniox":"mauvaise"})") << soniox << 1
                                     << "La transcription refuse votre clé. Vérifiez-la dans Réglages, ainsi que la région de votre projet (Europe ou monde).";
        // A device that never ends: the header decides, nothing is read whole.
        QTest::newRow("périphérique") << QByteArray() << k << QStringList{"/dev/zero", "--moteur", "soniox"} << 1
                                      << "« /dev/zero » n'est pas un fichier WAV lisible.";
        QTest::newRow("moteur inconnu") << QByteArray() << QByteArray("{}") << QStringList{"--moteur", "autre", "x.wav"} << 2
                                        << "Moteur inconnu : « autre ». Choisissez soniox ou deepgram.";
    }
    void transcrireEchecs()
    {
        QFETCH(QByteArray, fichier);
        QFETCH(QByteArray, cles);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        FauxSoniox serveur;
        QVERIFY(serveur.demarrer());
        serveur.cleAttendue = "k";
        if (!fichier.isEmpty())
            args.prepend(ecrire("entree.wav", fichier));
        const Sortie s = lancer(args, {{"VD_URL_SONIOX", serveur.url().toString()}}, cles);
        QCOMPARE(s.code, code);
        QVERIFY2(s.erreur.endsWith(message), qPrintable(s.erreur));
        QVERIFY(s.lignes.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstSessionTranscription)
#include "tst_session_transcription.moc"
