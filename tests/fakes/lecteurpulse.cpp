#include "lecteurpulse.h"

#include <QElapsedTimer>
#include <cmath>
#include <pulse/pulseaudio.h>
#include <vector>

namespace vd::fakes {

qint64 LecteurPulse::maintenantUs()
{
    static QElapsedTimer t = [] {
        QElapsedTimer e;
        e.start();
        return e;
    }();
    return t.nsecsElapsed() / 1000;
}

bool LecteurPulse::ouvrir(const char* sink)
{
    boucle_ = pa_threaded_mainloop_new();
    pa_threaded_mainloop_set_name(boucle_, "lecteur");
    pa_threaded_mainloop_start(boucle_);
    pa_threaded_mainloop_lock(boucle_);
    ctx_ = pa_context_new(pa_threaded_mainloop_get_api(boucle_), "lecteur");
    pa_context_set_state_callback(
        ctx_, [](pa_context*, void* u) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(u), 0); }, boucle_);
    pa_context_connect(ctx_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    while (PA_CONTEXT_IS_GOOD(pa_context_get_state(ctx_)) && pa_context_get_state(ctx_) != PA_CONTEXT_READY)
        pa_threaded_mainloop_wait(boucle_);
    bool ok = pa_context_get_state(ctx_) == PA_CONTEXT_READY;
    if (ok) {
        const pa_sample_spec formatEchantillons{PA_SAMPLE_FLOAT32LE, 48000, 2};
        stream_ = pa_stream_new(ctx_, "lecteur", &formatEchantillons, nullptr);
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(pa_usec_to_bytes(10000, &formatEchantillons));
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(pa_usec_to_bytes(5000, &formatEchantillons));
        attr.fragsize = uint32_t(-1);
        pa_stream_set_write_callback(stream_, ecrire, this);
        ok = pa_stream_connect_playback(stream_, sink, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) == 0;
    }
    pa_threaded_mainloop_unlock(boucle_);
    return ok;
}

LecteurPulse::~LecteurPulse()
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

void LecteurPulse::ecrire(pa_stream* s, size_t n, void* u)
{
    auto* l = static_cast<LecteurPulse*>(u);
    std::vector<float> tampon(n / sizeof(float), 0.0f);
    for (size_t i = 0; i + 1 < tampon.size(); i += 2) {
        if (l->reste_ == 0 && l->demande_.exchange(false)) {
            l->reste_ = 2400;
            l->phase_ = 0;
            l->ecritUs_ = maintenantUs();
        }
        if (l->reste_ > 0) {
            tampon[i] = tampon[i + 1] = 0.5f * float(std::sin(2 * M_PI * 1000.0 * l->phase_++ / 48000.0));
            --l->reste_;
        }
    }
    pa_stream_write(s, tampon.data(), tampon.size() * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
}

} // namespace vd::fakes
