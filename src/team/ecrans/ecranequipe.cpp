#include "ecranequipe.h"

#include "cloud/ecrans/sectionequipe.h"

namespace vd::team {

EcranEquipe::EcranEquipe(ui::Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    QVBoxLayout* corps = pageDefilante(QMargins(32, 24, 32, 32), 24);
    section_ = new cloud::SectionEquipe(ctx_.compte, this);
    section_->ouvrirCompte = [this] {
        if (ctx_.navigation)
            ctx_.navigation->aller(ui::Ecran::de(ui::Ecran::Genre::compte));
    };
    corps->addWidget(section_);
    corps->addStretch();
}

} // namespace vd::team
