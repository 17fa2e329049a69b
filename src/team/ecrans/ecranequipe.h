#pragma once
// The Équipe page: tabs, "Pilotage" first for managers, then the week's
// objectives, the Monday report and the team's members (roles, invitations, seats).
#include "ui/ecrans/ecranbase.h"

class QTabWidget;

namespace vd::cloud {
class SectionEquipe;
}

namespace vd::team {

class OngletObjectifs;
class OngletPilotage;
class OngletRapport;

class EcranEquipe : public ui::EcranBase {
    Q_OBJECT
public:
    explicit EcranEquipe(ui::Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return QStringLiteral("Équipe"); }
    // The payload names a tab: "pilotage", "objectifs", "rapport", "membres".
    void afficher(const ui::Ecran& e) override;
    cloud::SectionEquipe* sectionEquipe() const { return section_; }
    OngletPilotage* ongletPilotage() const { return pilotage_; }
    QTabWidget* onglets() const { return onglets_; }

private:
    void ongletMontre();

    QTabWidget* onglets_;
    OngletPilotage* pilotage_;
    OngletObjectifs* objectifs_;
    OngletRapport* rapport_;
    cloud::SectionEquipe* section_;
};

} // namespace vd::team
