#include "tamponaudio.h"

#include <algorithm>

namespace vd::call {

void TamponAudio::ajouter(const float* x, qsizetype n)
{
    if (n <= 0)
        return;
    QMutexLocker l(&verrou_);
    echantillons_.insert(echantillons_.end(), x, x + n);
    const auto taille = qsizetype(echantillons_.size());
    if (taille - debut_ > max)
        debut_ = taille - max;
    if (debut_ > max) {
        echantillons_.erase(echantillons_.begin(), echantillons_.begin() + debut_);
        debut_ = 0;
    }
}

qsizetype TamponAudio::prendre(float* sortie, qsizetype n)
{
    if (n <= 0)
        return 0;
    QMutexLocker l(&verrou_);
    const qsizetype dispo = std::min(n, qsizetype(echantillons_.size()) - debut_);
    std::copy_n(echantillons_.begin() + debut_, dispo, sortie);
    debut_ += dispo;
    std::fill(sortie + dispo, sortie + n, 0.0f);
    return n - dispo;
}

std::vector<float> TamponAudio::prendre(qsizetype n)
{
    std::vector<float> v(size_t(std::max<qsizetype>(0, n)));
    prendre(v.data(), qsizetype(v.size()));
    return v;
}

void TamponAudio::vider()
{
    QMutexLocker l(&verrou_);
    echantillons_.clear();
    debut_ = 0;
}

qsizetype TamponAudio::enAttente() const
{
    QMutexLocker l(&verrou_);
    return qsizetype(echantillons_.size()) - debut_;
}

qsizetype TamponAudio::capacite() const
{
    QMutexLocker l(&verrou_);
    return qsizetype(echantillons_.capacity());
}

} // namespace vd::call
