#pragma once
// The waiting samples of one speaker, at 16 kHz. Filled by the source's
// audio thread, emptied by the capture's clock; at most 0.6 s waits, so a
// stalled clock never makes memory grow (the oldest audio goes first).
#include <QMutex>
#include <QtGlobal>
#include <vector>

namespace vd::call {

class TamponAudio {
public:
    static constexpr qsizetype max = 9600;

    void ajouter(const float* x, qsizetype n);
    // Writes n samples to sortie: the waiting ones first, then zeros.
    // Returns how many zeros were written.
    qsizetype prendre(float* sortie, qsizetype n);
    std::vector<float> prendre(qsizetype n);
    void vider();
    qsizetype enAttente() const;
    qsizetype capacite() const;   // memory held, in samples

private:
    mutable QMutex verrou_;
    std::vector<float> echantillons_;
    qsizetype debut_ = 0;   // first sample not yet handed out
};

} // namespace vd::call
