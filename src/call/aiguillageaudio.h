#pragma once
// The switch between the capture and the transcription engine: blocks go to
// the target only while the switch is open. Everything is read and written
// under one lock, which is also held while a block is handed over, so once
// fermer() or couper() returns no block reaches the target any more.
#include <QByteArray>
#include <QMutex>

namespace vd::call {

class MoteurTranscriptionBase;

class AiguillageAudio {
public:
    // Opens toward cible (the transcription reported it is open).
    void ouvrir(MoteurTranscriptionBase* cible);
    // Reopens toward the current target (resume); false when there is none.
    bool reouvrir();
    // Pause: blocks are dropped, the target is kept.
    void fermer();
    // The transcription is cut: close and forget the target. Call it before
    // the target is destroyed.
    void couper();
    // Forwards one block from the capture; false when it was dropped.
    bool transmettre(const QByteArray& bloc);

    bool ouvert() const;
    MoteurTranscriptionBase* cible() const;

private:
    mutable QMutex verrou_;
    MoteurTranscriptionBase* cible_ = nullptr;
    bool ouvert_ = false;
};

} // namespace vd::call
