#pragma once
// Plays a demonstration scenario into the session as a transcription client
// would: growing partial segments, then the final one, of both speakers, on
// the call's clock (which runs `vitesse` times faster for a demonstration).
// No audio, no network.
#include "call/interfaces.h"
#include "call/typessession.h"

#include <QObject>
#include <optional>
#include <vector>

namespace vd::platform {
class Horloge;
class Minuterie;
}

namespace vd::call {

class SessionAppel;

class LecteurDemo : public QObject {
    Q_OBJECT
public:
    LecteurDemo(SessionAppel& session, platform::Horloge& horloge, const AppelGuide& guide);
    void demarrer();
    // Goes on after the pause point; the time spent waiting shifts the rest of the script.
    void continuer();
    void arreter();
    bool fini() const { return prochain_ == evenements_.size(); }

    struct Evenement {
        qint64 tMs = 0;
        int tour = 0;
        SegmentLive segment;
    };
    // Partial segments every few words, then the final one, in time order.
    static std::vector<Evenement> evenementsDe(const ScenarioDemo& scenario);

private:
    void tick();

    SessionAppel& session_;
    std::vector<Evenement> evenements_;
    size_t prochain_ = 0;
    qint64 decalageMs_ = 0;
    std::optional<qint64> attenteDepuis_;
    std::optional<int> arret_;
    qint64 debutArret_ = 0;
    bool arretPasse_ = false;
    platform::Minuterie* minuteur_ = nullptr;
};

} // namespace vd::call
