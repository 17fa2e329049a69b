// The capture's clock with scripted sources and the fake clock: block sizes
// and cadence, zero padding, catch-up after a stall, encoding, levels, mono
// calls, error mapping, end of a source; the switch to the transcription,
// the level meters and the audio byte counter.
#include "platform/formulation.h"
#include "call/aiguillageaudio.h"
#include "call/blocaudio.h"
#include "call/captureaudio.h"
#include "call/compteuraudio.h"
#include "call/interfaces.h"
#include "call/vumetres.h"
#include "fakes/sourcesfactices.h"
#include "platform/horloge.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <atomic>
#include <cmath>

using namespace vd;
using namespace vd::call;
using platform::EchecSource;
using platform::GenreSource;
using Genre = ErreurCaptureAudio::Genre;

Q_DECLARE_METATYPE(vd::platform::EchecSource)
Q_DECLARE_METATYPE(vd::platform::GenreSource)
Q_DECLARE_METATYPE(vd::call::ErreurCaptureAudio::Genre)

namespace {

// The fake clock, keeping hold of the capture's timer so a test can stall it.
class HorlogeEspion final : public platform::Horloge {
public:
    platform::HorlogeFactice factice;
    platform::Minuterie* minuterie = nullptr;
    QDateTime maintenant() const override { return factice.maintenant(); }
    qint64 monotoneMs() const override { return factice.monotoneMs(); }
    platform::Minuterie* creerMinuterie(QObject* parent) override { return minuterie = factice.creerMinuterie(parent); }
};

std::vector<qint16> decoder(const QByteArray& b)
{
    std::vector<qint16> v(size_t(b.size() / 2));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = qint16(quint16(uchar(b[int(2 * i)])) | quint16(uchar(b[int(2 * i + 1)]) << 8));
    return v;
}

struct Banc {
    HorlogeEspion horloge;
    fakes::SourcesFactices* sources = new fakes::SourcesFactices;
    CaptureAudio capture{std::unique_ptr<platform::SourcesAudio>(sources), &horloge, CaptureAudio::Fil::appelant};
    QList<QByteArray> blocs;
    QList<qint64> instants;
    QStringList fins;

    Banc()
    {
        capture.setSurFin([this](const QString& s) { fins << s; });
    }
    void brancher()
    {
        capture.setRappel([this](const QByteArray& b) {
            blocs << b;
            instants << horloge.monotoneMs();
        });
    }
    bool demarrer(int canaux)
    {
        brancher();
        return capture.demarrer(canaux).ok();
    }
    void avancer(qint64 ms) { horloge.factice.avancer(ms); }
    // Delivers `ms` of a constant on one source, at 16 kHz mono.
    void livrer(GenreSource g, qint64 ms, float valeur) { sources->livrer(g, std::vector<float>(size_t(ms * 16), valeur)); }
};


class MoteurEspion final : public MoteurTranscriptionBase {
public:
    QList<QByteArray> recus;
    QSemaphore* entre = nullptr;    // released when a block arrives
    QSemaphore* libere = nullptr;   // acquired before returning
    std::atomic<bool> enCours{false};
    void demarrer(const ParametresTranscription&) override {}
    void envoyer(const QByteArray& bloc) override
    {
        enCours = true;
        if (entre)
            entre->release();
        if (libere)
            libere->acquire();
        recus << bloc;
        enCours = false;
    }
    void couper() override {}
    void terminer() override {}
    QString nomAffiche() const override { return QStringLiteral("Espion"); }
};

} // namespace

class TstCaptureAudio : public QObject {
    Q_OBJECT
    std::unique_ptr<Banc> b;
private Q_SLOTS:
    void init() { b = std::make_unique<Banc>(); }
    void cleanup() { b.reset(); }

    void blocsToutesLes100ms()
    {
        QVERIFY(b->demarrer(2));
        QCOMPARE(b->capture.canaux(), 2);
        b->avancer(200);
        QVERIFY(b->blocs.isEmpty());   // 200 ms behind real time: nothing due yet
        b->avancer(100);
        QCOMPARE(b->blocs.size(), 1);
        b->avancer(1000);
        QCOMPARE(b->blocs.size(), 11);
        for (int i = 0; i < b->blocs.size(); ++i) {
            QCOMPARE(b->blocs[i].size(), 1600 * 2 * 2);
            QCOMPARE(b->instants[i], qint64(300 + 100 * i));
        }
        QCOMPARE(b->capture.statistiques().echantillons, qint64(11 * 1600));
    }

    void sourceMuetteCompleteeDeZeros()
    {
        QVERIFY(b->demarrer(2));
        // The microphone keeps time; the system audio says nothing for a second.
        for (int i = 0; i < 13; ++i) {
            b->livrer(GenreSource::micro, 100, 0.5f);
            b->avancer(100);
        }
        QCOMPARE(b->blocs.size(), 11);
        std::vector<qint16> attendu(3200, 0);   // 0.5 for "vous", the prospect silent
        for (size_t k = 0; k < attendu.size(); k += 2)
            attendu[k] = 16383;
        for (const QByteArray& bloc : b->blocs)
            QCOMPARE(decoder(bloc), attendu);
        const auto st = b->capture.statistiques();
        QCOMPARE(st.completes[0], qint64(0));
        QCOMPARE(st.completes[1], qint64(11 * 1600));
        // Prospect audio that comes back later is handed out next, still aligned.
        b->livrer(GenreSource::micro, 100, 0.5f);
        b->livrer(GenreSource::sonSysteme, 100, -0.25f);
        b->avancer(100);
        const auto s = decoder(b->blocs.last());
        QCOMPARE(s[0], qint16(16383));
        QCOMPARE(s[1], qint16(-8192));
    }

    void rattrapageApresBlocage()
    {
        QVERIFY(b->demarrer(2));
        b->avancer(300);
        QCOMPARE(b->blocs.size(), 1);
        // The clock's thread stalls for 2.8 s while the sources keep delivering.
        b->horloge.minuterie->arreter();
        for (int i = 0; i < 28; ++i) {
            b->livrer(GenreSource::micro, 100, 0.1f);
            b->livrer(GenreSource::sonSysteme, 100, 0.1f);
            b->avancer(100);
        }
        b->horloge.minuterie->demarrer(kPeriodeTicMs);
        b->avancer(300);
        QCOMPARE(b->blocs.size(), 4);
        QCOMPARE(b->blocs[1].size(), 32000 * 4);   // 2 s at most
        QCOMPARE(b->blocs[2].size(), 16000 * 4);   // the rest of the delay
        QCOMPARE(b->blocs[3].size(), 1600 * 4);    // back on time
        // Only the newest 0.6 s waited per speaker: the rest of the 2 s block is zeros.
        const auto st = b->capture.statistiques();
        QCOMPARE(st.completes[0], qint64(1600 + 32000 - 9600 + 16000 + 1600));
        QCOMPARE(st.completes[1], st.completes[0]);
        QCOMPARE(st.echantillons, qint64(1600 + 32000 + 16000 + 1600));
    }

    void niveauxMonteeEtDecroissance()
    {
        QVERIFY(b->demarrer(2));
        b->livrer(GenreSource::micro, 100, 0.25f);   // level 0.8
        std::vector<float> sinus(1600);
        for (size_t i = 0; i < sinus.size(); ++i)
            sinus[i] = float(std::sin(2 * M_PI * 1000.0 * double(i) / 16000.0));
        b->sources->livrer(GenreSource::sonSysteme, sinus);   // level 1
        b->avancer(300);
        auto [vous, prospect] = b->capture.niveaux();
        QVERIFY(std::abs(vous - 0.8f) < 1e-5f);
        QCOMPARE(prospect, 1.0f);
        b->avancer(100);   // a silent block
        std::tie(vous, prospect) = b->capture.niveaux();
        QVERIFY(std::abs(vous - 0.52f) < 1e-5f);
        QVERIFY(std::abs(prospect - 0.65f) < 1e-5f);
        const auto st = b->capture.statistiques();
        QCOMPARE(st.crete[1], 1.0f);
        QVERIFY(std::abs(st.somme[0] - (0.8 + 0.52)) < 1e-5);
    }

    void appelMono()
    {
        QVERIFY(b->demarrer(1));
        QCOMPARE(b->capture.canaux(), 1);
        QVERIFY(!b->sources->ouverte(GenreSource::sonSysteme));
        b->livrer(GenreSource::micro, 100, -0.5f);
        b->livrer(GenreSource::sonSysteme, 100, 1.0f);   // not captured
        b->avancer(400);
        QCOMPARE(b->blocs.size(), 2);
        QCOMPARE(b->blocs[0].size(), 1600 * 2);
        QCOMPARE(decoder(b->blocs[0])[0], qint16(-16384));
        QCOMPARE(b->capture.niveaux().second, 0.0f);
        QVERIFY(b->capture.niveaux().first > 0.0f);
    }

    void mixageMono()
    {
        b->brancher();
        std::vector<float> mix;
        b->capture.setMixage([&mix](const float* m, qsizetype n) { mix.assign(m, m + n); });
        QVERIFY(b->capture.demarrer(2).ok());
        b->sources->livrer(GenreSource::micro, {0.25f, 0.75f, -0.5f});
        b->sources->livrer(GenreSource::sonSysteme, {0.25f, 0.75f});
        b->avancer(300);
        QCOMPARE(mix.size(), size_t(1600));
        QCOMPARE(std::vector<float>(mix.begin(), mix.begin() + 5), (std::vector<float>{0.5f, 1.0f, -0.5f, 0.0f, 0.0f}));
    }

    void conversionDesSources()
    {
        QVERIFY(b->demarrer(2));
        // 48 kHz stereo on the microphone, 44.1 kHz mono on the system audio.
        for (int i = 0; i < 5; ++i) {
            b->sources->livrer(GenreSource::micro, std::vector<float>(4800 * 2, 0.5f), 48000, 2);
            b->sources->livrer(GenreSource::sonSysteme, std::vector<float>(4410, -0.5f), 44100, 1);
            b->avancer(100);
        }
        QCOMPARE(b->blocs.size(), 3);
        const auto s = decoder(b->blocs[1]);
        QVERIFY2(std::abs(s[800] - 16383) < 200, qPrintable(QString::number(s[800])));
        QVERIFY2(std::abs(s[801] + 16384) < 200, qPrintable(QString::number(s[801])));
    }

    void arretCoupeTout()
    {
        QVERIFY(b->demarrer(2));
        b->livrer(GenreSource::micro, 500, 0.9f);
        b->avancer(500);
        QCOMPARE(b->blocs.size(), 3);
        QVERIFY(b->capture.niveaux().first > 0.9f);
        b->capture.arreter();
        QVERIFY(!b->capture.actif());
        QVERIFY(!b->sources->ouverte(GenreSource::micro));
        QVERIFY(!b->sources->ouverte(GenreSource::sonSysteme));
        QCOMPARE(b->horloge.factice.minuteriesActives(), 0);
        b->avancer(1000);
        QCOMPARE(b->blocs.size(), 3);
        // Stopping clears the callback: a new start needs a new one, and
        // nothing goes out before it is set; it starts 200 ms behind now,
        // from zero levels and counts.
        QVERIFY(b->capture.demarrer(2).ok());
        QCOMPARE(b->capture.niveaux().first, 0.0f);
        b->avancer(1000);
        QCOMPARE(b->blocs.size(), 3);
        QCOMPARE(b->capture.statistiques().blocs, qint64(0));
        b->brancher();
        b->avancer(100);
        QCOMPARE(b->blocs.size(), 4);
        QCOMPARE(b->blocs.last().size(), (1100 - 200) * 16 * 4);
        // Audio queued before the restart is not handed out.
        QCOMPARE(decoder(b->blocs.last())[0], qint16(0));
    }

    void erreursDeDemarrage_data()
    {
        QTest::addColumn<GenreSource>("source");
        QTest::addColumn<EchecSource>("echec");
        QTest::addColumn<Genre>("attendu");
        QTest::newRow("pas de serveur") << GenreSource::micro << EchecSource::serveurAbsent << Genre::indisponible;
        QTest::newRow("pas de micro") << GenreSource::micro << EchecSource::aucunePeripherique << Genre::aucunMicro;
        QTest::newRow("micro occupé") << GenreSource::micro << EchecSource::ouvertureImpossible << Genre::microIndisponible;
        QTest::newRow("pas de sortie") << GenreSource::sonSysteme << EchecSource::aucunePeripherique
                                       << Genre::sonMacIndisponible;
        QTest::newRow("moniteur fermé") << GenreSource::sonSysteme << EchecSource::ouvertureImpossible
                                        << Genre::sonMacIndisponible;
        QTest::newRow("serveur parti entre les deux") << GenreSource::sonSysteme << EchecSource::serveurAbsent
                                                      << Genre::indisponible;
    }
    void erreursDeDemarrage()
    {
        QFETCH(GenreSource, source);
        QFETCH(EchecSource, echec);
        QFETCH(Genre, attendu);
        b->brancher();
        b->sources->echouer(source, echec);
        const auto r = b->capture.demarrer(2);
        QVERIFY(!r.ok());
        QCOMPARE(r.erreur().genre, attendu);
        QVERIFY(!r.erreur().description().isEmpty());
        QVERIFY(!b->capture.actif());
        // Nothing stays open behind a failed start, and no block goes out.
        QVERIFY(!b->sources->ouverte(GenreSource::micro));
        QVERIFY(!b->sources->ouverte(GenreSource::sonSysteme));
        b->avancer(1000);
        QVERIFY(b->blocs.isEmpty());
        // The next attempt can succeed.
        QVERIFY(b->capture.demarrer(2).ok());
    }
    void messagesDErreur()
    {
        QCOMPARE(ErreurCaptureAudio{Genre::aucunMicro}.description(),
                 QStringLiteral("Aucun micro détecté. Branchez un micro et réessayez."));
        QCOMPARE(ErreurCaptureAudio{Genre::sonMacIndisponible}.description(),
                 vd::platform::formuler(QStringLiteral("Le son du Mac n'a pas pu être capté. Réessayez dans un instant, ou relancez l'app.")));
    }

    void finDUneSource()
    {
        QVERIFY(b->demarrer(2));
        b->avancer(300);
        b->sources->perdre(GenreSource::sonSysteme);
        QCOMPARE(b->fins, QStringList{QStringLiteral("mac")});
        // The call goes on: the prospect channel is padded with zeros.
        b->livrer(GenreSource::micro, 100, 0.5f);
        b->avancer(100);
        QCOMPARE(b->blocs.size(), 2);
        b->sources->perdre(GenreSource::micro);
        QCOMPARE(b->fins, (QStringList{QStringLiteral("mac"), QStringLiteral("micro")}));
    }

    // The switch between capture and transcription, the level meters and
    // the audio byte counter.
    // A script of operations, then one block: is it forwarded? What did each
    // reouvrir() answer (whether there is a target to resume)?
    void aiguillage_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("transmis");
        QTest::addColumn<bool>("ouvert");
        QTest::addColumn<bool>("cible");   // the engine is still the target
        QTest::addColumn<QString>("reprises");
        QTest::newRow("fermé au départ") << QString() << false << false << false << "";
        QTest::newRow("ouvert vers une cible") << "ouvrir" << true << true << true << "";
        QTest::newRow("ouvert sans cible") << "ouvrirVide" << false << true << false << "";
        QTest::newRow("pause") << "ouvrir fermer" << false << false << true << "";
        QTest::newRow("reprise après pause") << "ouvrir fermer reouvrir" << true << true << true << "oui";
        QTest::newRow("transcription coupée") << "ouvrir couper" << false << false << false << "";
        QTest::newRow("reprise sans client") << "ouvrir couper reouvrir" << false << false << false << "non";
        QTest::newRow("nouveau client après coupure") << "ouvrir couper ouvrir" << true << true << true << "";
        QTest::newRow("reprise sans avoir jamais ouvert") << "reouvrir" << false << false << false << "non";
    }
    void aiguillage()
    {
        QFETCH(QString, script);
        QFETCH(bool, transmis);
        QFETCH(bool, ouvert);
        QFETCH(bool, cible);
        QFETCH(QString, reprises);
        MoteurEspion moteur;
        AiguillageAudio a;
        QStringList reponses;
        for (const QString& op : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (op == QLatin1String("ouvrir"))
                a.ouvrir(&moteur);
            else if (op == QLatin1String("ouvrirVide"))
                a.ouvrir(nullptr);
            else if (op == QLatin1String("fermer"))
                a.fermer();
            else if (op == QLatin1String("reouvrir"))
                reponses << (a.reouvrir() ? "oui" : "non");
            else if (op == QLatin1String("couper"))
                a.couper();
        }
        QCOMPARE(reponses.join(' '), reprises);
        QCOMPARE(a.cible(), cible ? &moteur : nullptr);
        QCOMPARE(a.transmettre(QByteArray("bloc")), transmis);
        QCOMPARE(moteur.recus.size(), transmis ? 1 : 0);
        QCOMPARE(a.ouvert(), ouvert);
    }

    // couper() waits for a block being handed over: once it returns, the
    // engine can be destroyed safely.
    void couperAttendLeBlocEnCours()
    {
        MoteurEspion moteur;
        QSemaphore entre, libere;
        moteur.entre = &entre;
        moteur.libere = &libere;
        AiguillageAudio a;
        a.ouvrir(&moteur);
        QThread* capture = QThread::create([&a] { a.transmettre(QByteArray("bloc")); });
        capture->start();
        QVERIFY(entre.tryAcquire(1, 5000));
        std::atomic<bool> coupe{false};
        QThread* session = QThread::create([&a, &coupe] {
            a.couper();
            coupe = true;
        });
        session->start();
        QVERIFY(!session->wait(100));
        QVERIFY(!coupe);
        libere.release();
        QVERIFY(session->wait(5000));
        QVERIFY(capture->wait(5000));
        QVERIFY(coupe);
        QCOMPARE(moteur.recus.size(), 1);
        QVERIFY(!a.transmettre(QByteArray("après")));
        delete capture;
        delete session;
    }

    void vumetres_data()
    {
        QTest::addColumn<float>("vous");
        QTest::addColumn<float>("prospect");
        QTest::addColumn<bool>("publie");
        QTest::addColumn<float>("vousAffiche");
        QTest::addColumn<float>("prospectAffiche");
        // Each row starts from displayed levels (0.5, 0.25).
        QTest::newRow("identiques") << 0.5f << 0.25f << false << 0.5f << 0.25f;
        QTest::newRow("écart sous le millième") << 0.5002f << 0.2499f << false << 0.5f << 0.25f;
        QTest::newRow("arrondi au millième") << 0.5006f << 0.25f << true << 0.501f << 0.25f;
        QTest::newRow("prospect seul") << 0.5f << 0.9f << true << 0.5f << 0.9f;
        QTest::newRow("silence") << 0.0f << 0.0f << true << 0.0f << 0.0f;
        QTest::newRow("NaN affiché zéro") << std::numeric_limits<float>::quiet_NaN() << 0.25f << true << 0.0f << 0.25f;
    }
    void vumetres()
    {
        QFETCH(float, vous);
        QFETCH(float, prospect);
        QFETCH(bool, publie);
        QFETCH(float, vousAffiche);
        QFETCH(float, prospectAffiche);
        Vumetres v;
        QVERIFY(v.publier(0.5f, 0.25f));
        QSignalSpy spy(&v, &Vumetres::niveauxChanges);
        QCOMPARE(v.publier(vous, prospect), publie);
        QCOMPARE(spy.size(), publie ? 1 : 0);
        QVERIFY(std::abs(v.vous() - vousAffiche) < 1e-6f);
        QVERIFY(std::abs(v.prospect() - prospectAffiche) < 1e-6f);
        if (publie) {
            QVERIFY(std::abs(spy[0][0].toFloat() - vousAffiche) < 1e-6f);
            QVERIFY(std::abs(spy[0][1].toFloat() - prospectAffiche) < 1e-6f);
        }
    }

    void compteurDepuisPlusieursFils()
    {
        CompteurAudio c;
        QList<QThread*> fils;
        for (int f = 0; f < 4; ++f)
            fils << QThread::create([&c] {
                for (int i = 0; i < 10000; ++i)
                    c.ajouter(6400);
            });
        for (QThread* t : fils)
            t->start();
        for (QThread* t : fils) {
            QVERIFY(t->wait(10000));
            delete t;
        }
        QCOMPARE(c.total(), qint64(4) * 10000 * 6400);
        c.ajouter(-5);
        c.ajouter(0);
        QCOMPARE(c.total(), qint64(4) * 10000 * 6400);
        c.remettreAZero();
        QCOMPARE(c.total(), qint64(0));
    }
};

QTEST_GUILESS_MAIN(TstCaptureAudio)
#include "tst_captureaudio.moc"
