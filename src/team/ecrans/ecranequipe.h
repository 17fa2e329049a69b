#pragma once
// The Équipe page: tabs for the week's objectives, the Monday report and the
// team's members (roles, invitations, seats).
#include "ui/ecrans/ecranbase.h"

class QTabWidget;

namespace vd::cloud {
class SectionEquipe;
}

namespace vd::team {

class OngletObjectifs;
class OngletRapport;

class EcranEquipe : public ui::EcranBase {
    Q_OBJECT
public:
    explicit EcranEquipe(ui::Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return QStringLiteral("Équipe"); }
    void afficher(const ui::Ecran& e) override;
    cloud::SectionEquipe* sectionEquipe() const { return section_; }
    QTabWidget* onglets() const { return onglets_; }

private:
    void ongletMontre();
    cloud::SectionEquipe* section_;
    QTabWidget* onglets_;
    OngletObjectifs* objectifs_;
    OngletRapport* rapport_;
};

} // namespace vd::team
