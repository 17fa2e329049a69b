#include "quitter.h"

#include <QPointer>

namespace vd::app {

QuitteDifferee::QuitteDifferee(platform::Horloge& horloge, std::function<bool()> appelActif,
                               std::function<void(std::function<void()>)> arreterAppel, std::function<void()> quitter, QObject* parent)
    : QObject(parent), horloge_(horloge), appelActif_(std::move(appelActif)), arreterAppel_(std::move(arreterAppel)),
      quitter_(std::move(quitter))
{
    delai_ = horloge_.creerMinuterie(this);
    delai_->setUnique(true);
    connect(delai_, &platform::Minuterie::expire, this, &QuitteDifferee::repondre);
}

void QuitteDifferee::demander()
{
    if (enAttente_)
        return;   // already waiting for the call to stop
    if (!appelActif_ || !appelActif_()) {
        quitter_();
        return;
    }
    enAttente_ = true;
    const quint64 tour = ++tour_;
    delai_->demarrer(delaiMs);
    QPointer<QuitteDifferee> moi(this);
    arreterAppel_([moi, tour] {
        if (moi && moi->tour_ == tour)
            moi->repondre();
    });
}

void QuitteDifferee::repondre()
{
    if (!enAttente_)
        return;   // the other task answered first
    enAttente_ = false;
    ++tour_;
    delai_->arreter();
    quitter_();
}

} // namespace vd::app
