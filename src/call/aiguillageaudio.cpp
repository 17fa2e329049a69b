#include "aiguillageaudio.h"

#include "interfaces.h"

namespace vd::call {

void AiguillageAudio::ouvrir(MoteurTranscriptionBase* cible)
{
    QMutexLocker l(&verrou_);
    cible_ = cible;
    ouvert_ = true;
}

bool AiguillageAudio::reouvrir()
{
    QMutexLocker l(&verrou_);
    ouvert_ = cible_ != nullptr;
    return ouvert_;
}

void AiguillageAudio::fermer()
{
    QMutexLocker l(&verrou_);
    ouvert_ = false;
}

void AiguillageAudio::couper()
{
    QMutexLocker l(&verrou_);
    ouvert_ = false;
    cible_ = nullptr;
}

bool AiguillageAudio::transmettre(const QByteArray& bloc)
{
    QMutexLocker l(&verrou_);
    if (!ouvert_ || !cible_)
        return false;
    cible_->envoyer(bloc);
    return true;
}

bool AiguillageAudio::ouvert() const
{
    QMutexLocker l(&verrou_);
    return ouvert_;
}

MoteurTranscriptionBase* AiguillageAudio::cible() const
{
    QMutexLocker l(&verrou_);
    return cible_;
}

} // namespace vd::call
