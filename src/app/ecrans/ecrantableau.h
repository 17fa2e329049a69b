#pragma once
#include "app/ui.h"
#include "ui/ecrans/ecranbase.h"

class QVBoxLayout;

namespace vd::app {

// Dashboard: a few figures, the latest calls, the next steps; on an empty
// store, the ways to get started (demonstration data, simulated call).
class EcranTableau : public EcranBase {
    Q_OBJECT
public:
    explicit EcranTableau(Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return QStringLiteral("Tableau de bord"); }
    std::optional<Action> actionPrincipale() const override;
    void afficher(const Ecran&) override { reconstruire(); }

private:
    void reconstruire();
    QWidget* accueil();
    QWidget* tuile(const QString& libelle, const QString& valeur, const QString& detail);
    QVBoxLayout* corps_;
    bool aJour_ = false;
};

} // namespace vd::app
