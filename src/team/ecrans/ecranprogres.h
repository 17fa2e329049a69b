#pragma once
// "Progresser": the exercise of the week with the week's calls judged, the six
// competences over 30 days with their trend and a small chart each, and the
// moments to listen to again.
#include "team/progres.h"
#include "ui/ecrans/ecranbase.h"

class QGridLayout;

namespace vd::team {

class EcranProgres : public ui::EcranBase {
    Q_OBJECT
public:
    explicit EcranProgres(ui::Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return QStringLiteral("Progresser"); }
    void afficher(const ui::Ecran& e) override;
    const BilanProgres& bilan() const { return bilan_; }

private:
    void recalculer();
    void planifier();
    QWidget* carteExercice();
    QWidget* carteCompetence(const Dimension& d, const EvolutionCompetence& e, bool plusFaible);
    QWidget* colonneMoments(const QString& titre, MomentProgres::Genre genre, const QString& vide);
    QString nomContact(const std::optional<QString>& contactId) const;
    void ouvrirAppel(const QString& appelId);

    QVBoxLayout* corps_;
    BilanProgres bilan_;
    bool planifie_ = false;
    bool construit_ = false;
};

} // namespace vd::team
