#pragma once
// Sound sources through libpulse (PulseAudio, or PipeWire through
// pipewire-pulse): the microphone is the default source, the system audio is
// the monitor of the default sink. Streams run on libpulse's threaded main
// loop; a change of default device (headset plugged in) moves the stream to
// the new device, and when no device can take over the source ends.
#include "platform/sourcesaudio.h"

#include <memory>

namespace vd::platform {

class SourcesPulse final : public SourcesAudio {
public:
    SourcesPulse();
    ~SourcesPulse() override;
    SourcesPulse(const SourcesPulse&) = delete;
    SourcesPulse& operator=(const SourcesPulse&) = delete;

    ResultatVide<EchecSource> ouvrir(GenreSource genre, Donnees donnees, Fin fin) override;
    void fermer(GenreSource genre) override;
    QString peripherique(GenreSource genre) const override;

    struct Interne;

private:
    std::unique_ptr<Interne> d_;
};

} // namespace vd::platform
