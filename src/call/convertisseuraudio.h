#pragma once
// Converts a source's raw float frames (any rate, any channel count) to
// 16 kHz mono float: channels averaged, then resampled by libspeexdsp.
#include <QtGlobal>
#include <vector>

struct SpeexResamplerState_;

namespace vd::call {

class ConvertisseurAudio {
public:
    ConvertisseurAudio(int frequence, int canaux);
    ~ConvertisseurAudio();
    ConvertisseurAudio(const ConvertisseurAudio&) = delete;
    ConvertisseurAudio& operator=(const ConvertisseurAudio&) = delete;

    bool valide() const { return valide_; }
    bool pour(int frequence, int canaux) const { return frequence == frequence_ && canaux == canaux_; }
    // Replaces sortie with the converted samples of n frames; nothing when the
    // format is unusable. A non-finite input sample counts as silence (it
    // would otherwise poison the resampler's filter for good).
    void convertir(const float* trames, qsizetype n, std::vector<float>& sortie);

private:
    int frequence_;
    int canaux_;
    bool valide_ = false;
    SpeexResamplerState_* etat_ = nullptr;
    std::vector<float> mono_;
};

} // namespace vd::call
