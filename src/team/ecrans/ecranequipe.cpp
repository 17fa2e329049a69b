#include "ecranequipe.h"

#include "cloud/ecrans/sectionequipe.h"
#include "team/coachingequipe.h"
#include "team/ecrans/ongletobjectifs.h"
#include "team/ecrans/ongletpilotage.h"
#include "team/ecrans/ongletrapport.h"

#include <QTabWidget>

namespace vd::team {

EcranEquipe::EcranEquipe(ui::Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    QVBoxLayout* corps = pageDefilante(QMargins(32, 24, 32, 32), 24);
    onglets_ = new QTabWidget(this);
    onglets_->setObjectName(QStringLiteral("ongletsEquipe"));
    onglets_->setDocumentMode(true);
    pilotage_ = new OngletPilotage(ctx_, onglets_);
    objectifs_ = new OngletObjectifs(ctx_, onglets_);
    rapport_ = new OngletRapport(ctx_, onglets_);
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
    onglets_->addTab(pilotage_, QStringLiteral("Pilotage"));
    onglets_->addTab(objectifs_, QStringLiteral("Objectifs"));
    onglets_->addTab(rapport_, QStringLiteral("Rapport"));
    onglets_->addTab(membres, QStringLiteral("Membres"));
    // The steering tab is for managers only.
    onglets_->setTabVisible(0, pilotage_->disponible());
    connect(pilotage_, &OngletPilotage::disponibiliteChange, this, [this](bool d) { onglets_->setTabVisible(0, d); });
    // Without a backend there are no objectives nor reports: the members' tab says where the team will appear.
    if (pilotage_->disponible())
        onglets_->setCurrentWidget(pilotage_);
    else if (!ctx_.coaching)
        onglets_->setCurrentWidget(membres);
    else
        onglets_->setCurrentWidget(objectifs_);
    connect(onglets_, &QTabWidget::currentChanged, this, [this] { ongletMontre(); });
    corps->addWidget(onglets_);
    corps->addStretch();
}

void EcranEquipe::afficher(const ui::Ecran& e)
{
    const QString voulu = e.charge.value_or(QString());
    for (int i = 0; i < onglets_->count(); ++i)
        if (!voulu.isEmpty() && onglets_->isTabVisible(i) && onglets_->tabText(i).compare(voulu, Qt::CaseInsensitive) == 0)
            onglets_->setCurrentIndex(i);
    if (ctx_.coaching)
        ctx_.coaching->rafraichirNonLus();
    ongletMontre();
}

void EcranEquipe::ongletMontre()
{
    QWidget* w = onglets_->currentWidget();
    if (w == objectifs_)
        objectifs_->recharger();
    else if (w == rapport_)
        rapport_->recharger();
}

} // namespace vd::team
