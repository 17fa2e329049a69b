#include "ecranequipe.h"

#include "cloud/ecrans/sectionequipe.h"
#include "team/coachingequipe.h"
#include "team/ecrans/ongletobjectifs.h"
#include "team/ecrans/ongletrapport.h"

#include <QTabWidget>

namespace vd::team {

EcranEquipe::EcranEquipe(ui::Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    QVBoxLayout* corps = pageDefilante(QMargins(32, 24, 32, 32), 24);
    section_ = new cloud::SectionEquipe(ctx_.compte, this);
    section_->ouvrirCompte = [this] {
        if (ctx_.navigation)
            ctx_.navigation->aller(ui::Ecran::de(ui::Ecran::Genre::compte));
    };
    onglets_ = new QTabWidget(this);
    objectifs_ = new OngletObjectifs(ctx_, onglets_);
    rapport_ = new OngletRapport(ctx_, onglets_);
    onglets_->addTab(objectifs_, QStringLiteral("Objectifs"));
    onglets_->addTab(rapport_, QStringLiteral("Rapport"));
    onglets_->addTab(section_, QStringLiteral("Membres"));
    // Without a backend there are no objectives nor reports: the members' tab says where the team will appear.
    if (!ctx_.coaching)
        onglets_->setCurrentWidget(section_);
    connect(onglets_, &QTabWidget::currentChanged, this, [this] { ongletMontre(); });
    corps->addWidget(onglets_);
    corps->addStretch();
}

void EcranEquipe::afficher(const ui::Ecran& e)
{
    // "objectifs", "rapport" or "membres" picks the tab.
    const QString voulu = e.charge.value_or(QString());
    for (int i = 0; i < onglets_->count(); ++i)
        if (!voulu.isEmpty() && onglets_->tabText(i).compare(voulu, Qt::CaseInsensitive) == 0)
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
