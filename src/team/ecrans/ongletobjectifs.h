#pragma once
// The Objectifs tab of the Équipe page: the week's objectives with each
// member's progress; managers set, edit, delete and carry them over.
#include <qcoro/qcorotask.h>
#include "team/typescoaching.h"
#include "ui/contexte.h"

#include <QDialog>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace vd::team {

// The objective form: type, target, skill, member, active.
class FeuilleObjectif : public QDialog {
    Q_OBJECT
public:
    // membres: (account id, name) of the team.
    FeuilleObjectif(const QList<QPair<QString, QString>>& membres, const std::optional<ObjectifEquipe>& existant,
                    QWidget* parent = nullptr);
    ObjectifSaisi saisie() const;
    static QString libelleType(const QString& type);

private:
    void majType();
    QComboBox* type_;
    QDoubleSpinBox* cible_;
    QComboBox* competence_;
    QLabel* libelleCompetence_;
    QComboBox* membre_;
    QCheckBox* actif_;
    std::optional<QString> id_;
};

class OngletObjectifs : public QWidget {
    Q_OBJECT
public:
    explicit OngletObjectifs(ui::Contexte& ctx, QWidget* parent = nullptr);
    // Reads the week again (when the tab is shown).
    void recharger();

private:
    QCoro::Task<void> charger(std::optional<QString> semaine);
    QCoro::Task<void> editer(std::optional<ObjectifEquipe> existant);
    QCoro::Task<void> supprimer(QString id);
    QCoro::Task<void> reprendre();
    void remplir();
    QWidget* carteObjectif(const ObjectifEquipe& o, bool gestionnaire);
    QList<QPair<QString, QString>> membres() const;
    void toast(const QString& m, bool erreur = false);
    std::optional<QString> semaineDecalee(int jours) const;

    ui::Contexte& ctx_;
    QLabel* semaine_;
    QLabel* etat_;
    QPushButton* precedente_;
    QPushButton* suivante_;
    QPushButton* fixer_;
    QPushButton* reprendre_;
    QVBoxLayout* liste_;
    QString erreur_;
    bool enCours_ = false;
};

} // namespace vd::team
