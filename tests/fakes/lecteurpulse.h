#pragma once
// Plays into one sink of the test's PulseAudio daemon from inside the
// process, with a 10 ms buffer: silence, and a 50 ms 1 kHz burst whenever
// asked; remembers when the burst was written. Lets a test or a benchmark
// know when a sound entered a sink, to within the buffer.
#include <QtGlobal>
#include <atomic>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace vd::fakes {

class LecteurPulse {
public:
    LecteurPulse() = default;
    ~LecteurPulse();
    LecteurPulse(const LecteurPulse&) = delete;
    LecteurPulse& operator=(const LecteurPulse&) = delete;

    bool ouvrir(const char* sink);
    // The next write starts a burst.
    void salve() { demande_ = true; }
    // Steady time (µs, see maintenantUs) at which the last burst was written; -1 before.
    qint64 ecritUs() const { return ecritUs_; }
    qint64 prendreEcritUs() { return ecritUs_.exchange(-1); }

    static qint64 maintenantUs();

private:
    static void ecrire(pa_stream* s, size_t n, void* u);
    pa_threaded_mainloop* boucle_ = nullptr;
    pa_context* ctx_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::atomic<bool> demande_{false};
    std::atomic<qint64> ecritUs_{-1};
    int reste_ = 0;
    int phase_ = 0;
};

} // namespace vd::fakes
