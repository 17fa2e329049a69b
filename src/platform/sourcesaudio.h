#pragma once
// The machine's two sound sources as the call capture sees them: the
// microphone and the system audio (what the speakers play). A source hands
// out raw interleaved float frames in its own format, on an audio thread;
// conversion to the call's format is the caller's business.
#include "platform/resultat.h"

#include <QString>
#include <QtGlobal>
#include <functional>

namespace vd::platform {

enum class GenreSource { micro, sonSysteme };

// Why a source would not open.
enum class EchecSource {
    serveurAbsent,        // no sound server, or a server without any source
    aucunePeripherique,   // no device of that kind (no microphone, no output)
    ouvertureImpossible,  // the device exists but its stream would not start
};

class SourcesAudio {
public:
    // Frames interleaved by channel, `frequence` Hz; called on an audio thread.
    using Donnees = std::function<void(const float* trames, qsizetype nombre, int frequence, int canaux)>;
    // The source is lost for good (device gone and no replacement could be
    // opened, or server gone); called on an audio thread, at most once per
    // opening. Must not call fermer() synchronously.
    using Fin = std::function<void()>;

    virtual ~SourcesAudio() = default;
    // Opens one source (closing it first when it is open). Blocks until the
    // stream delivers or fails.
    virtual ResultatVide<EchecSource> ouvrir(GenreSource genre, Donnees donnees, Fin fin) = 0;
    // After it returns, neither callback of that source runs any more.
    virtual void fermer(GenreSource genre) = 0;
    // Name of the device in use (empty when closed), for diagnostics.
    virtual QString peripherique(GenreSource genre) const = 0;
};

} // namespace vd::platform
