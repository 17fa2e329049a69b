#pragma once
// The team ranking over a chosen period: rank, calls, mean score and its
// change against the previous period, objectives reached this week.
#include <qcoro/qcorotask.h>
#include "ui/ecrans/ecranbase.h"

class QComboBox;
class QLabel;

namespace vd::team {

class EcranClassement : public ui::EcranBase {
    Q_OBJECT
public:
    static constexpr int periodes[] = {7, 30, 90};
    explicit EcranClassement(ui::Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override;
    void afficher(const ui::Ecran& e) override;
    int jours() const;

private:
    QCoro::Task<void> charger(int jours);
    void remplir();

    QComboBox* periode_;
    QVBoxLayout* liste_;
    QLabel* etat_;
    QString erreur_;
    QSet<int> enCours_;
};

} // namespace vd::team
