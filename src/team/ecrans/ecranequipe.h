#pragma once
// The Équipe page. Today its team section (members, roles, invitations, seats);
// the coaching sections of the team will sit below it.
#include "ui/ecrans/ecranbase.h"

namespace vd::cloud {
class SectionEquipe;
}

namespace vd::team {

class EcranEquipe : public ui::EcranBase {
    Q_OBJECT
public:
    explicit EcranEquipe(ui::Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return QStringLiteral("Équipe"); }
    cloud::SectionEquipe* sectionEquipe() const { return section_; }

private:
    cloud::SectionEquipe* section_;
};

} // namespace vd::team
