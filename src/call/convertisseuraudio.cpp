#include "convertisseuraudio.h"

#include "blocaudio.h"

#include <cmath>
#include <speex/speex_resampler.h>

namespace vd::call {

ConvertisseurAudio::ConvertisseurAudio(int frequence, int canaux) : frequence_(frequence), canaux_(canaux)
{
    if (frequence <= 0 || canaux <= 0)
        return;
    if (frequence != kFrequenceAppel) {
        int err = 0;
        etat_ = speex_resampler_init(1, spx_uint32_t(frequence), spx_uint32_t(kFrequenceAppel), SPEEX_RESAMPLER_QUALITY_DEFAULT,
                                     &err);
        if (!etat_ || err != RESAMPLER_ERR_SUCCESS)
            return;
        speex_resampler_skip_zeros(etat_);
    }
    valide_ = true;
}

ConvertisseurAudio::~ConvertisseurAudio()
{
    if (etat_)
        speex_resampler_destroy(etat_);
}

void ConvertisseurAudio::convertir(const float* trames, qsizetype n, std::vector<float>& sortie)
{
    sortie.clear();
    if (!valide_ || n <= 0)
        return;
    mono_.resize(size_t(n));
    const float facteur = 1.0f / float(canaux_);
    for (qsizetype i = 0; i < n; ++i) {
        float s = 0.0f;
        const float* t = trames + i * canaux_;
        for (int c = 0; c < canaux_; ++c)
            s += std::isfinite(t[c]) ? t[c] : 0.0f;
        mono_[size_t(i)] = s * facteur;
    }
    if (!etat_) {
        sortie.assign(mono_.begin(), mono_.end());
        return;
    }
    // One pass into a buffer sized for the whole input plus the filter's slack.
    sortie.resize(size_t(n * kFrequenceAppel / frequence_ + 64));
    spx_uint32_t entree = spx_uint32_t(n);
    spx_uint32_t produit = spx_uint32_t(sortie.size());
    if (speex_resampler_process_float(etat_, 0, mono_.data(), &entree, sortie.data(), &produit) != RESAMPLER_ERR_SUCCESS) {
        sortie.clear();
        return;
    }
    sortie.resize(produit);
}

} // namespace vd::call
