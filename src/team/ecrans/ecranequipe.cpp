#include "ecranequipe.h"

#include "cloud/ecrans/sectionequipe.h"
#include "team/ecrans/ongletpilotage.h"

#include <QTabWidget>

namespace vd::team {

EcranEquipe::EcranEquipe(ui::Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    QVBoxLayout* corps = pageDefilante(QMargins(32, 24, 32, 32), 24);
    onglets_ = new QTabWidget(this);
    onglets_->setObjectName(QStringLiteral("ongletsEquipe"));
    onglets_->setDocumentMode(true);
    pilotage_ = new OngletPilotage(ctx_, onglets_);
    onglets_->addTab(pilotage_, QStringLiteral("Pilotage"));
    auto* membres = new QWidget(onglets_);
    auto* lm = new QVBoxLayout(membres);
    lm->setContentsMargins(0, 16, 0, 0);
    section_ = new cloud::SectionEquipe(ctx_.compte, membres);
    section_->ouvrirCompte = [this] {
        if (ctx_.navigation)
            ctx_.navigation->aller(ui::Ecran::de(ui::Ecran::Genre::compte));
    };
    lm->addWidget(section_);
    lm->addStretch();
    onglets_->addTab(membres, QStringLiteral("Membres"));
    // The steering tab is for managers only.
    onglets_->setTabVisible(0, pilotage_->disponible());
    connect(pilotage_, &OngletPilotage::disponibiliteChange, this, [this](bool d) { onglets_->setTabVisible(0, d); });
    corps->addWidget(onglets_);
    corps->addStretch();
}

void EcranEquipe::afficher(const ui::Ecran& e)
{
    const QString onglet = e.charge.value_or(QString());
    if (onglet == QLatin1String("membres"))
        onglets_->setCurrentIndex(1);
    else if (onglet == QLatin1String("pilotage") && pilotage_->disponible())
        onglets_->setCurrentIndex(0);
}

} // namespace vd::team
