#include "compteuraudio.h"

namespace vd::call {

void CompteurAudio::ajouter(qint64 octets)
{
    if (octets <= 0)
        return;
    QMutexLocker l(&verrou_);
    total_ += octets;
}

qint64 CompteurAudio::total() const
{
    QMutexLocker l(&verrou_);
    return total_;
}

void CompteurAudio::remettreAZero()
{
    QMutexLocker l(&verrou_);
    total_ = 0;
}

} // namespace vd::call
