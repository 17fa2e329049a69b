// vd-test: pulse
// vd-test: timeout=240
// Real sound through the real libpulse layer, against the private daemon of
// scripts/avec-pulse.sh: a 440 Hz tone into the microphone's sink, French
// speech into the speakers' sink; the blocks must carry each on its channel.
#include "call/captureaudio.h"
#include "fakes/lecteurpulse.h"
#include "platform/horloge.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <algorithm>
#include <cmath>

using namespace vd::call;
using Genre = ErreurCaptureAudio::Genre;

namespace {

struct Canaux {
    std::vector<float> vous, prospect;
};

Canaux separer(const QList<QByteArray>& blocs)
{
    Canaux c;
    for (const QByteArray& b : blocs) {
        const auto* p = reinterpret_cast<const uchar*>(b.constData());
        for (qsizetype i = 0; i + 3 < b.size(); i += 4) {
            c.vous.push_back(float(qFromLittleEndian<qint16>(p + i)) / 32768.0f);
            c.prospect.push_back(float(qFromLittleEndian<qint16>(p + i + 2)) / 32768.0f);
        }
    }
    return c;
}

double carreMoyen(const float* x, size_t n)
{
    double s = 0;
    for (size_t i = 0; i < n; ++i)
        s += double(x[i]) * x[i];
    return n ? s / double(n) : 0.0;
}

// Amplitude of f Hz in n samples at 16 kHz.
double amplitude(const float* x, size_t n, double f)
{
    double re = 0, im = 0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 2 * M_PI * f * double(i) / 16000.0;
        re += x[i] * std::cos(w);
        im += x[i] * std::sin(w);
    }
    return 2 * std::sqrt(re * re + im * im) / double(n);
}

// First sample of each burst: louder than 0.1 after at least 100 ms of quiet.
std::vector<qsizetype> debutsDeSalves(const std::vector<float>& x)
{
    std::vector<qsizetype> debuts;
    qsizetype dernierFort = -100000;
    for (size_t i = 0; i < x.size(); ++i) {
        if (std::abs(x[i]) <= 0.1f)
            continue;
        if (qsizetype(i) - dernierFort > 1600)
            debuts.push_back(qsizetype(i));
        dernierFort = qsizetype(i);
    }
    return debuts;
}

double mediane(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool executer(const QString& programme, const QStringList& args, QString* sortie = nullptr)
{
    QProcess p;
    p.start(programme, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning() << programme << args << p.readAllStandardError();
        return false;
    }
    if (sortie)
        *sortie = QString::fromUtf8(p.readAllStandardOutput());
    return true;
}
bool pactl(const QStringList& args, QString* sortie = nullptr) { return executer("pactl", args, sortie); }

// What a capture hands out on its own thread, read from the test's.
struct Collecte {
    QMutex verrou;
    QList<QByteArray> blocs;
    QList<qint64> instants;   // ms since the start, when the block left rappel
    QStringList fins;
    QElapsedTimer chrono;

    void brancher(CaptureAudio& c)
    {
        chrono.start();
        c.setRappel([this](const QByteArray& b) {
            QMutexLocker l(&verrou);
            blocs << b;
            instants << chrono.elapsed();
        });
        c.setSurFin([this](const QString& s) {
            QMutexLocker l(&verrou);
            fins << s;
        });
    }
    Canaux canaux() { QMutexLocker l(&verrou); return separer(blocs); }
    QStringList finsVues() { QMutexLocker l(&verrou); return fins; }
    qsizetype nombre() { QMutexLocker l(&verrou); return blocs.size(); }
    void vider() { QMutexLocker l(&verrou); blocs.clear(); }
};

} // namespace

class TstCapturePulse : public QObject {
    Q_OBJECT
    QTemporaryDir dossier_;
    QString ton_, parole_;

    QProcess* jouer(const QString& fichier, const QString& sink)
    {
        auto* p = new QProcess(this);
        p->start("paplay", {"--latency-msec=20", "-d", sink, fichier});
        return p;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("PULSE_SERVER"), "à lancer sous scripts/avec-pulse.sh");
        QVERIFY(dossier_.isValid());
        ton_ = dossier_.filePath(QStringLiteral("ton.wav"));
        parole_ = dossier_.filePath(QStringLiteral("parole.wav"));
        const QString brut = dossier_.filePath(QStringLiteral("parole-brute.wav"));
        QVERIFY(executer("sox", {"-n", "-r", "48000", "-c", "2", ton_, "synth", "2", "sine", "440", "vol", "0.5"}));
        QVERIFY(executer("espeak-ng", {"-v", "fr", "-w", brut, "Bonjour, je vous appelle au sujet de votre devis. Avez-vous un moment ?"}));
        // Stereo files: the daemon halves a mono stream spread over a stereo sink.
        // Leading silence trimmed, so the speech starts with the file.
        QVERIFY(executer("sox", {brut, "-r", "48000", "-c", "2", parole_, "silence", "1", "0.01", "1%"}));
    }

    void sonReelSurLesDeuxCanaux()
    {
        CaptureAudio capture;
        Collecte e;
        e.brancher(capture);
        const auto r = capture.demarrer(2);
        QVERIFY2(r.ok(), r.ok() ? "" : qPrintable(r.erreur().description()));
        QCOMPARE(capture.peripheriques(), std::pair(QStringLiteral("vd_micro.monitor"), QStringLiteral("vd_hautparleurs.monitor")));
        // An idle null sink's monitor only starts delivering about 1.2 s after
        // the first reader connects (the sink sleeps in long blocks).
        QTest::qWait(1500);
        QProcess* ton = jouer(ton_, QStringLiteral("vd_micro"));
        QProcess* parole = jouer(parole_, QStringLiteral("vd_hautparleurs"));
        QVERIFY(ton->waitForFinished(30000));
        QVERIFY(parole->waitForFinished(30000));
        QCOMPARE(ton->exitCode(), 0);
        QCOMPARE(parole->exitCode(), 0);
        QTest::qWait(500);
        capture.arreter();
        QVERIFY(e.fins.isEmpty());

        // Cadence: one block per 100 ms, each 100 ms of stereo audio.
        QVERIFY2(e.blocs.size() >= 30, qPrintable(QString::number(e.blocs.size())));
        std::vector<double> tailles, ecarts;
        for (int i = 0; i < e.blocs.size(); ++i) {
            QCOMPARE(e.blocs[i].size() % 4, 0);
            tailles.push_back(double(e.blocs[i].size()));
            if (i > 0)
                ecarts.push_back(double(e.instants[i] - e.instants[i - 1]));
        }
        QCOMPARE(mediane(tailles), 6400.0);
        QVERIFY2(mediane(ecarts) >= 80 && mediane(ecarts) <= 120, qPrintable(QString::number(mediane(ecarts))));
        // All the audio of the run went out, none twice: 16 000 samples a second, 200 ms behind.
        const Canaux c = separer(e.blocs);
        const double attendu = double(e.instants.last() - 200) * 16.0;
        QVERIFY2(std::abs(double(c.vous.size()) - attendu) < 16000 * 0.25,
                 qPrintable(QStringLiteral("%1 échantillons pour %2 attendus").arg(c.vous.size()).arg(attendu)));

        // Per 100 ms window: the tone on "vous", the speech on "prospect".
        // The tone lasts 2 s, the speech longer: after the tone only speech plays.
        int fenetresTon = 0, fenetresParole = 0;
        std::vector<double> purete, fuiteTon;
        double vousSansTon = 0, paroleSansTon = 0;
        for (size_t i = 0; i + 1600 <= c.vous.size(); i += 1600) {
            const double ev = carreMoyen(c.vous.data() + i, 1600);
            const double ep = carreMoyen(c.prospect.data() + i, 1600);
            const double av = amplitude(c.vous.data() + i, 1600, 440.0);
            if (std::sqrt(ev) > 0.1) {
                ++fenetresTon;
                purete.push_back(av * av / 2 / ev);
                fuiteTon.push_back(amplitude(c.prospect.data() + i, 1600, 440.0));
            }
            if (std::sqrt(ep) > 0.02)
                ++fenetresParole;
            if (av < 0.01) {
                vousSansTon += ev;
                paroleSansTon += ep;
            }
        }
        QVERIFY2(fenetresTon >= 18 && fenetresTon <= 22, qPrintable(QString::number(fenetresTon)));
        QVERIFY2(mediane(purete) > 0.95, qPrintable(QString::number(mediane(purete))));
        QVERIFY2(fenetresParole >= 15, qPrintable(QString::number(fenetresParole)));
        // Little cross-talk either way: no tone on the prospect's channel, and
        // the speech heard alone leaves the salesperson's channel silent (−30 dB).
        QVERIFY2(mediane(fuiteTon) < 0.01, qPrintable(QString::number(mediane(fuiteTon))));
        QVERIFY2(paroleSansTon > 0.01, qPrintable(QString::number(paroleSansTon)));
        QVERIFY2(vousSansTon < 0.001 * paroleSansTon, qPrintable(QStringLiteral("%1 / %2").arg(vousSansTon).arg(paroleSansTon)));
        qInfo("ton : pureté %.3f, fuite vers le prospect %.4f ; parole seule : %.2e sur « vous » pour %.2e", mediane(purete),
              mediane(fuiteTon), vousSansTon, paroleSansTon);
    }

    // Bursts written into both sinks at (nearly) the same moment: the gap
    // between the two onsets in the blocks follows the gap between the writes.
    void canauxAlignes()
    {
        vd::fakes::LecteurPulse micro, hautParleurs;
        QVERIFY(micro.ouvrir("vd_micro"));
        QVERIFY(hautParleurs.ouvrir("vd_hautparleurs"));
        CaptureAudio capture;
        Collecte e;
        e.brancher(capture);
        QVERIFY(capture.demarrer(2).ok());
        QTest::qWait(1500);
        // The first burst only warms up both sinks: right after the capture
        // connects, a sink may still pull its input in long blocks.
        std::vector<double> ecartsEcriture;
        for (int i = 0; i < 6; ++i) {
            micro.salve();
            hautParleurs.salve();
            QTRY_VERIFY(micro.ecritUs() >= 0 && hautParleurs.ecritUs() >= 0);
            ecartsEcriture.push_back(double(hautParleurs.prendreEcritUs() - micro.prendreEcritUs()) / 1000.0);
            QTest::qWait(400 + 37 * i);
        }
        // Until the last burst's onset is in the blocks on both channels.
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     const Canaux c = e.canaux();
                                     return debutsDeSalves(c.vous).size() >= 6 && debutsDeSalves(c.prospect).size() >= 6;
                                 }()),
                                 5000);
        capture.arreter();
        const Canaux c = separer(e.blocs);
        const auto vous = debutsDeSalves(c.vous);
        const auto prospect = debutsDeSalves(c.prospect);
        QVERIFY2(vous.size() == 6 && prospect.size() == 6,
                 qPrintable(QStringLiteral("%1 et %2 salves").arg(vous.size()).arg(prospect.size())));
        // Both channels advance by the same number of samples; what sits in
        // them at the same index was heard within the 200 ms the blocks lag
        // (the offset comes from how soon each source delivered, and moves
        // only when a source is starved for longer than that).
        for (size_t i = 1; i < 6; ++i) {
            const double ecartCapture = double(prospect[i] - vous[i]) / 16.0;
            qInfo("salve %zu : écart à l'écriture %.1f ms, dans les blocs %.1f ms", i, ecartsEcriture[i], ecartCapture);
            QVERIFY2(std::abs(ecartCapture - ecartsEcriture[i]) < 220.0,
                     qPrintable(QStringLiteral("salve %1 : %2 ms contre %3 ms").arg(i).arg(ecartCapture).arg(ecartsEcriture[i])));
        }
    }

    // New speakers, then a headset become the default output and input: the
    // capture follows each; a microphone that goes away ends its channel only.
    void suitLesChangementsDePeripherique()
    {
        QString casque, ecouteurs;
        QVERIFY(pactl({"load-module", "module-null-sink", "sink_name=vd_casque", "rate=44100"}, &casque));
        QVERIFY(pactl({"load-module", "module-null-sink", "sink_name=vd_ecouteurs"}, &ecouteurs));
        CaptureAudio capture;
        Collecte e;
        e.brancher(capture);
        QVERIFY(capture.demarrer(2).ok());
        QVERIFY(pactl({"set-default-sink", "vd_ecouteurs"}));
        QTRY_COMPARE_WITH_TIMEOUT(capture.peripheriques().second, QStringLiteral("vd_ecouteurs.monitor"), 5000);
        QCOMPARE(capture.peripheriques().first, QStringLiteral("vd_micro.monitor"));
        QVERIFY(pactl({"set-default-sink", "vd_hautparleurs"}));
        QTRY_COMPARE_WITH_TIMEOUT(capture.peripheriques().second, QStringLiteral("vd_hautparleurs.monitor"), 5000);
        QVERIFY(pactl({"set-default-source", "vd_casque.monitor"}));
        QTRY_COMPARE_WITH_TIMEOUT(capture.peripheriques().first, QStringLiteral("vd_casque.monitor"), 5000);
        QCOMPARE(capture.peripheriques().second, QStringLiteral("vd_hautparleurs.monitor"));
        e.vider();
        QProcess* ton = jouer(ton_, QStringLiteral("vd_casque"));
        QVERIFY(ton->waitForFinished(30000));
        // The headset's tone reaches the salesperson's channel.
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     const Canaux c = e.canaux();
                                     double plus = 0;
                                     for (size_t i = 0; i + 1600 <= c.vous.size(); i += 1600)
                                         plus = std::max(plus, amplitude(c.vous.data() + i, 1600, 440.0));
                                     return c.vous.size() > 16000 && plus > 0.3;
                                 }()),
                                 5000);
        QVERIFY(e.finsVues().isEmpty());
        // The default input falls back on the speakers' monitor: no microphone any more.
        QVERIFY(pactl({"set-default-source", "vd_hautparleurs.monitor"}));
        QTRY_COMPARE_WITH_TIMEOUT(e.finsVues(), QStringList{QStringLiteral("micro")}, 5000);
        // The system audio goes on.
        const qsizetype avant = e.nombre();
        QTRY_VERIFY_WITH_TIMEOUT(e.nombre() > avant + 3, 5000);
        QCOMPARE(capture.peripheriques().second, QStringLiteral("vd_hautparleurs.monitor"));
        capture.arreter();
        QVERIFY(pactl({"set-default-source", "vd_micro.monitor"}));
        QVERIFY(pactl({"unload-module", casque.trimmed()}));
        QVERIFY(pactl({"unload-module", ecouteurs.trimmed()}));
    }

    void sansMicroDisponible()
    {
        QVERIFY(pactl({"set-default-source", "vd_hautparleurs.monitor"}));
        CaptureAudio capture;
        const auto r = capture.demarrer(2);
        QVERIFY(pactl({"set-default-source", "vd_micro.monitor"}));
        QVERIFY(!r.ok());
        QCOMPARE(r.erreur().genre, Genre::aucunMicro);
        QVERIFY(capture.demarrer(2).ok());
    }

    void sansServeur()
    {
        const QByteArray serveur = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:" + dossier_.filePath(QStringLiteral("absent")).toUtf8());
        CaptureAudio capture;
        const auto r = capture.demarrer(2);
        qputenv("PULSE_SERVER", serveur);
        QVERIFY(!r.ok());
        QCOMPARE(r.erreur().genre, Genre::indisponible);
    }

    void commandeMauvaiseEntree_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const QString usage = QStringLiteral("Utilisation : vendalo audio tester [--duree SECONDES] [--wav FICHIER]");
        const QString duree = QStringLiteral("Durée invalide : « %1 ». Indiquez un nombre de secondes entre 1 et 3600.");
        QTest::newRow("sans sous-commande") << QStringList{} << 2 << usage;
        QTest::newRow("sous-commande inconnue") << QStringList{"jouer"} << 2 << usage;
        QTest::newRow("option inconnue") << QStringList{"tester", "--vite"} << 2 << usage;
        QTest::newRow("durée sans valeur") << QStringList{"tester", "--duree"} << 2 << usage;
        QTest::newRow("durée illisible") << QStringList{"tester", "--duree", "cinq"} << 2 << duree.arg("cinq");
        QTest::newRow("durée nulle") << QStringList{"tester", "--duree", "0"} << 2 << duree.arg("0");
        QTest::newRow("durée infinie") << QStringList{"tester", "--duree", "inf"} << 2 << duree.arg("inf");
        QTest::newRow("fichier impossible") << QStringList{"tester", "--wav", "/dossier/absent/sortie.wav"} << 1
                                            << QStringLiteral("Impossible d'écrire « /dossier/absent/sortie.wav »");
    }
    void commandeMauvaiseEntree()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        QProcess vendalo;
        vendalo.start(QStringLiteral(VD_VENDALO_BIN), QStringList{QStringLiteral("audio")} + args);
        QVERIFY(vendalo.waitForFinished(20000));
        QCOMPARE(vendalo.exitCode(), code);
        const QString erreur = QString::fromUtf8(vendalo.readAllStandardError());
        QVERIFY2(erreur.contains(message), qPrintable(erreur));
        QVERIFY(vendalo.readAllStandardOutput().isEmpty());
    }

    // The microphone test of the command line, as a user runs it.
    void commandeTester()
    {
        const QString wav = dossier_.filePath(QStringLiteral("sortie.wav"));
        QProcess vendalo;
        vendalo.start(QStringLiteral(VD_VENDALO_BIN), {"audio", "tester", "--duree", "6", "--wav", wav});
        QVERIFY(vendalo.waitForStarted());
        // Wait for the capture to run (its first line) and the sinks to wake up.
        QString journal;
        QTRY_VERIFY_WITH_TIMEOUT((journal += QString::fromUtf8(vendalo.readAllStandardError())).contains(QStringLiteral("Test audio")),
                                 10000);
        QTest::qWait(1500);
        QProcess* ton = jouer(ton_, QStringLiteral("vd_micro"));
        QProcess* parole = jouer(parole_, QStringLiteral("vd_hautparleurs"));
        QVERIFY(vendalo.waitForFinished(30000));
        ton->waitForFinished(30000);
        parole->waitForFinished(30000);
        QCOMPARE(vendalo.exitCode(), 0);
        journal += QString::fromUtf8(vendalo.readAllStandardError());
        QVERIFY2(journal.count(QStringLiteral("prospect")) == 6, qPrintable(journal));   // one line a second
        const QJsonObject bilan = QJsonDocument::fromJson(vendalo.readAllStandardOutput()).object();
        QCOMPARE(bilan.value(QStringLiteral("duree")).toInt(), 6);
        const int blocs = bilan.value(QStringLiteral("blocs")).toInt();
        QVERIFY2(blocs >= 50 && blocs <= 60, qPrintable(QString::number(blocs)));
        QVERIFY(bilan.value(QStringLiteral("vous")).toObject().value(QStringLiteral("crete")).toDouble() > 0.5);
        QVERIFY(bilan.value(QStringLiteral("prospect")).toObject().value(QStringLiteral("crete")).toDouble() > 0.2);
        QCOMPARE(bilan.value(QStringLiteral("peripheriques")).toObject().value(QStringLiteral("micro")).toString(),
                 QStringLiteral("vd_micro.monitor"));
        QCOMPARE(bilan.value(QStringLiteral("wav")).toString(), wav);

        QFile f(wav);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray contenu = f.readAll();
        QVERIFY(contenu.startsWith("RIFF"));
        QCOMPARE(contenu.mid(8, 8), QByteArray("WAVEfmt "));
        const auto* p = reinterpret_cast<const uchar*>(contenu.constData());
        QCOMPARE(qFromLittleEndian<quint16>(p + 22), quint16(2));
        QCOMPARE(qFromLittleEndian<quint32>(p + 24), quint32(16000));
        const quint32 donnees = qFromLittleEndian<quint32>(p + 40);
        QCOMPARE(qsizetype(donnees), contenu.size() - 44);
        QCOMPARE(qint64(donnees / 4), qint64(bilan.value(QStringLiteral("echantillonsParCanal")).toDouble()));
        // The tone is on the salesperson's channel of the file.
        const Canaux c = separer({contenu.mid(44)});
        std::vector<double> amplitudes;
        for (size_t i = 0; i + 1600 <= c.vous.size(); i += 1600)
            amplitudes.push_back(amplitude(c.vous.data() + i, 1600, 440.0) - amplitude(c.prospect.data() + i, 1600, 440.0));
        QVERIFY(*std::max_element(amplitudes.begin(), amplitudes.end()) > 0.4);
    }
};

QTEST_GUILESS_MAIN(TstCapturePulse)
#include "tst_capturepulse.moc"
