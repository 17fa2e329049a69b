#pragma once
// The Équipe page: tabs, "Pilotage" first for managers, then the team's
// members ("Membres": roles, invitations, seats).
#include "ui/ecrans/ecranbase.h"

class QTabWidget;

namespace vd::cloud {
class SectionEquipe;
}

namespace vd::team {

class OngletPilotage;

class EcranEquipe : public ui::EcranBase {
    Q_OBJECT
public:
    explicit EcranEquipe(ui::Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return QStringLiteral("Équipe"); }
    // The payload names a tab: "pilotage", "membres".
    void afficher(const ui::Ecran& e) override;
    cloud::SectionEquipe* sectionEquipe() const { return section_; }
    OngletPilotage* ongletPilotage() const { return pilotage_; }
    QTabWidget* onglets() const { return onglets_; }

private:
    QTabWidget* onglets_;
    OngletPilotage* pilotage_;
    cloud::SectionEquipe* section_;
};

} // namespace vd::team
