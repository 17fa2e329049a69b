#pragma once
// The Rapport tab of the Équipe page: the Monday reports, newest first, each
// with its synthesis, key facts, the team's figures and each member's.
#include <qcoro/qcorotask.h>
#include "team/typescoaching.h"
#include "ui/contexte.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QVBoxLayout;

namespace vd::team {

class OngletRapport : public QWidget {
    Q_OBJECT
public:
    explicit OngletRapport(ui::Contexte& ctx, QWidget* parent = nullptr);
    // Loads the list once per account; "force" asks again.
    void recharger(bool force = false);

private:
    QCoro::Task<void> charger();
    void remplir();
    void remplirRapport(const RapportEquipe& r);
    QWidget* chiffres(const ChiffresRapport& c, bool equipe);

    ui::Contexte& ctx_;
    QComboBox* choix_;
    QLabel* etat_;
    QVBoxLayout* contenu_;
    QString erreur_;
    bool enCours_ = false;
};

} // namespace vd::team
