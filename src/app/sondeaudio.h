#pragma once
// What the pre-flight can observe of the audio permissions on Linux: the
// microphone counts as authorised when a default input exists, the system
// audio when the monitor of the default output can be found.
#include "prevol.h"

namespace vd::app {

struct EtatAudio {
    StatutMicro micro = StatutMicro::nonDetermine;
    EtatEcran ecran = EtatEcran::manquant;
    bool serveurJoignable = false;
};

class SondeAudio {
public:
    virtual ~SondeAudio() = default;
    virtual EtatAudio sonder() = 0;
};

// libpulse (works on PipeWire through pipewire-pulse); answers within ~1.5 s.
class SondeAudioPulse final : public SondeAudio {
public:
    EtatAudio sonder() override;
};

} // namespace vd::app
