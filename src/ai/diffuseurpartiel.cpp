#include "diffuseurpartiel.h"

#include "model/texte.h"

namespace vd::ai {

DiffuseurPartiel::DiffuseurPartiel(platform::Horloge& horloge, Rappel rappel, QObject* parent)
    : QObject(parent), horloge_(horloge), rappel_(std::move(rappel))
{
}

void DiffuseurPartiel::ajouter(const QString& fragment)
{
    if (!rappel_ || ferme_)
        return;
    texte_ += fragment;
    const qint64 maintenant = horloge_.monotoneMs();
    const qint64 ecoule = dernier_ ? maintenant - *dernier_ : intervalleMs;
    if (ecoule >= intervalleMs) {
        publier();
        return;
    }
    if (minuteur_ && minuteur_->actif())
        return;
    if (!minuteur_) {
        minuteur_ = horloge_.creerMinuterie(this);
        minuteur_->setUnique(true);
        connect(minuteur_, &platform::Minuterie::expire, this, [this] { publier(); });
    }
    minuteur_->demarrer(int(intervalleMs - ecoule));
}

void DiffuseurPartiel::recommencer()
{
    if (minuteur_)
        minuteur_->arreter();
    texte_.clear();
}

void DiffuseurPartiel::terminer()
{
    if (ferme_)
        return;
    if (minuteur_)
        minuteur_->arreter();
    if (rappel_)
        publier();
    ferme_ = true;
}

void DiffuseurPartiel::fermer()
{
    if (minuteur_)
        minuteur_->arreter();
    ferme_ = true;
}

void DiffuseurPartiel::publier()
{
    if (ferme_ || !rappel_)
        return;
    dernier_ = horloge_.monotoneMs();
    const std::optional<QJsonValue> valeur = model::completerJsonPartiel(texte_);
    if (!valeur || (precedent_ && *precedent_ == *valeur))
        return;
    precedent_ = *valeur;
    ++publications_;
    rappel_(*valeur);
}

} // namespace vd::ai
