#pragma once
// An exemplary call of the team, read-only: the manager's note and who pinned
// it, its analysis and its transcript. Without a call: the team's list.
#include <qcoro/qcorotask.h>
#include "ui/ecrans/ecranbase.h"

class QLabel;

namespace vd::team {

struct AppelExemplaire;

class EcranExemplaire : public ui::EcranBase {
    Q_OBJECT
public:
    explicit EcranExemplaire(ui::Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return titre_; }
    void afficher(const ui::Ecran& e) override;

private:
    QCoro::Task<void> charger();
    void remplir();
    void remplirListe();
    void remplirAppel(const AppelExemplaire& e);

    QVBoxLayout* corps_;
    QString appelId_;
    QString titre_ = QStringLiteral("Appels exemplaires");
    QString erreur_;
    bool charge_ = false;
};

} // namespace vd::team
