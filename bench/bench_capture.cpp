// Cost and delay of the call capture against the private PulseAudio daemon
// (run under scripts/avec-pulse.sh):
//  1. CPU time of the whole process (sources, conversion, ticks, encoding)
//     per second of captured audio, while a tone and noise play into the
//     two sinks for N seconds (default 60);
//  2. delay from a sound written into the microphone's sink to the block
//     carrying it leaving `rappel` (the 200 ms lag is by design).
#include "call/captureaudio.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <pulse/pulseaudio.h>

using vd::call::CaptureAudio;

namespace {

double cpuSecondes()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

qint64 maintenantUs()
{
    static QElapsedTimer t = [] {
        QElapsedTimer e;
        e.start();
        return e;
    }();
    return t.nsecsElapsed() / 1000;
}

void attendre(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

bool executer(const QStringList& cmd)
{
    QProcess p;
    p.start(cmd.first(), cmd.mid(1));
    return p.waitForFinished(120000) && p.exitCode() == 0;
}

// Plays into one sink from this process with a 10 ms buffer: silence, and a
// 1 kHz burst of 50 ms whenever asked; remembers when the burst was written.
class Lecteur {
public:
    std::atomic<bool> demande{false};
    std::atomic<qint64> ecritUs{-1};

    bool ouvrir(const char* sink)
    {
        boucle_ = pa_threaded_mainloop_new();
        pa_threaded_mainloop_start(boucle_);
        pa_threaded_mainloop_lock(boucle_);
        ctx_ = pa_context_new(pa_threaded_mainloop_get_api(boucle_), "bench");
        pa_context_set_state_callback(ctx_, [](pa_context*, void* u) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(u), 0); }, boucle_);
        pa_context_connect(ctx_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
        while (PA_CONTEXT_IS_GOOD(pa_context_get_state(ctx_)) && pa_context_get_state(ctx_) != PA_CONTEXT_READY)
            pa_threaded_mainloop_wait(boucle_);
        bool ok = pa_context_get_state(ctx_) == PA_CONTEXT_READY;
        if (ok) {
            const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, 48000, 1};
            stream_ = pa_stream_new(ctx_, "bench", &spec, nullptr);
            pa_buffer_attr attr;
            attr.maxlength = uint32_t(-1);
            attr.tlength = uint32_t(pa_usec_to_bytes(10000, &spec));
            attr.prebuf = uint32_t(-1);
            attr.minreq = uint32_t(pa_usec_to_bytes(5000, &spec));
            attr.fragsize = uint32_t(-1);
            pa_stream_set_write_callback(stream_, ecrire, this);
            ok = pa_stream_connect_playback(stream_, sink, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) == 0;
        }
        pa_threaded_mainloop_unlock(boucle_);
        return ok;
    }
    ~Lecteur()
    {
        if (!boucle_)
            return;
        pa_threaded_mainloop_lock(boucle_);
        if (stream_) {
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
        pa_context_disconnect(ctx_);
        pa_context_unref(ctx_);
        pa_threaded_mainloop_unlock(boucle_);
        pa_threaded_mainloop_stop(boucle_);
        pa_threaded_mainloop_free(boucle_);
    }

private:
    static void ecrire(pa_stream* s, size_t n, void* u)
    {
        auto* l = static_cast<Lecteur*>(u);
        std::vector<float> tampon(n / sizeof(float), 0.0f);
        for (float& x : tampon) {
            if (l->reste_ == 0 && l->demande.exchange(false)) {
                l->reste_ = 2400;
                l->phase_ = 0;
                l->ecritUs = maintenantUs();
            }
            if (l->reste_ > 0) {
                x = 0.5f * float(std::sin(2 * M_PI * 1000.0 * l->phase_++ / 48000.0));
                --l->reste_;
            }
        }
        pa_stream_write(s, tampon.data(), tampon.size() * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
    }
    pa_threaded_mainloop* boucle_ = nullptr;
    pa_context* ctx_ = nullptr;
    pa_stream* stream_ = nullptr;
    int reste_ = 0;
    int phase_ = 0;
};

int mesurerCpu(int secondes)
{
    QTemporaryDir dossier;
    const QString ton = dossier.filePath(QStringLiteral("ton.wav"));
    const QString bruit = dossier.filePath(QStringLiteral("bruit.wav"));
    const QString duree = QString::number(secondes + 3);
    if (!executer({QStringLiteral("sox"), QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("48000"), QStringLiteral("-c"),
                   QStringLiteral("2"), ton, QStringLiteral("synth"), duree, QStringLiteral("sine"), QStringLiteral("440"),
                   QStringLiteral("vol"), QStringLiteral("0.5")})
        || !executer({QStringLiteral("sox"), QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("48000"),
                      QStringLiteral("-c"), QStringLiteral("2"), bruit, QStringLiteral("synth"), duree,
                      QStringLiteral("pinknoise"), QStringLiteral("vol"), QStringLiteral("0.3")})) {
        std::fprintf(stderr, "sox a échoué\n");
        return 1;
    }
    QProcess lecteurTon, lecteurBruit;
    lecteurTon.start(QStringLiteral("paplay"), {QStringLiteral("-d"), QStringLiteral("vd_micro"), ton});
    lecteurBruit.start(QStringLiteral("paplay"), {QStringLiteral("-d"), QStringLiteral("vd_hautparleurs"), bruit});
    attendre(1000);

    CaptureAudio capture;
    std::atomic<qint64> octets{0};
    capture.setRappel([&octets](const QByteArray& b) { octets += b.size(); });
    capture.setMixage([](const float*, qsizetype) {});
    const double cpu0 = cpuSecondes();
    QElapsedTimer mur;
    mur.start();
    const auto r = capture.demarrer(2);
    if (!r) {
        std::fprintf(stderr, "%s\n", qPrintable(r.erreur().description()));
        return 1;
    }
    attendre(secondes * 1000);
    capture.arreter();
    const double cpu = cpuSecondes() - cpu0;
    const double secondesAudio = double(octets) / 4.0 / 16000.0;
    const auto st = capture.statistiques();
    lecteurTon.kill();
    lecteurBruit.kill();
    lecteurTon.waitForFinished();
    lecteurBruit.waitForFinished();
    std::printf("capture : %.1f s de temps réel, %.1f s d'audio (%lld blocs, %lld + %lld échantillons complétés)\n",
                double(mur.elapsed()) / 1000.0, secondesAudio, qlonglong(st.blocs), qlonglong(st.completes[0]),
                qlonglong(st.completes[1]));
    std::printf("CPU du processus : %.3f s, soit %.2f ms par seconde d'audio = %.3f %% d'un cœur (cible ≤ 1 %%)\n", cpu,
                1000.0 * cpu / secondesAudio, 100.0 * cpu / secondesAudio);
    return 0;
}

int mesurerDelai(int salves)
{
    Lecteur lecteur;
    if (!lecteur.ouvrir("vd_micro")) {
        std::fprintf(stderr, "lecture impossible dans vd_micro\n");
        return 1;
    }
    CaptureAudio capture;
    QMutex verrou;
    std::vector<double> delais;
    bool dansSalve = false;
    capture.setRappel([&](const QByteArray& b) {
        const qint64 sortie = maintenantUs();
        const auto* p = reinterpret_cast<const uchar*>(b.constData());
        bool fort = false;
        for (qsizetype i = 0; i + 3 < b.size(); i += 4)
            fort = fort || std::abs(qFromLittleEndian<qint16>(p + i)) > 3000;
        QMutexLocker l(&verrou);
        if (fort && !dansSalve) {
            const qint64 ecrit = lecteur.ecritUs.exchange(-1);
            if (ecrit >= 0)
                delais.push_back(double(sortie - ecrit) / 1000.0);
        }
        dansSalve = fort;
    });
    const auto r = capture.demarrer(2);
    if (!r) {
        std::fprintf(stderr, "%s\n", qPrintable(r.erreur().description()));
        return 1;
    }
    attendre(1000);
    for (int i = 0; i < salves; ++i) {
        lecteur.demande = true;
        attendre(700 + (i % 7) * 43);   // bursts land at every phase of the 100 ms tick
    }
    attendre(500);
    capture.arreter();
    QMutexLocker l(&verrou);
    if (delais.empty()) {
        std::fprintf(stderr, "aucune salve détectée\n");
        return 1;
    }
    std::sort(delais.begin(), delais.end());
    double somme = 0;
    for (double d : delais)
        somme += d;
    std::printf("délai son → bloc (%zu salves, tampon de lecture 10 ms compris) : min %.0f ms, médiane %.0f ms, "
                "moyenne %.0f ms, max %.0f ms (cible ≤ 300 ms)\n",
                delais.size(), delais.front(), delais[delais.size() / 2], somme / double(delais.size()), delais.back());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("PULSE_SERVER")) {
        std::fprintf(stderr, "À lancer sous le PulseAudio privé : scripts/avec-pulse.sh %s [SECONDES]\n", argv[0]);
        return 2;
    }
    const int secondes = argc > 1 ? std::max(5, QString::fromLocal8Bit(argv[1]).toInt()) : 60;
    if (int rc = mesurerCpu(secondes))
        return rc;
    return mesurerDelai(20);
}
