#include "blocsynthese.h"

#include "team/pilotageequipe.h"
#include "ui/ecrans/style.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vd::team {

namespace {

QLabel* paragraphe(const QString& t, const QString& role, QWidget* parent)
{
    auto* l = ui::style::etiquette(t, role, parent);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QString horodatage(qint64 ms)
{
    const qint64 s = std::max<qint64>(0, ms / 1000);
    return QStringLiteral("%1:%2").arg(s / 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

bool BlocSynthese::concerne(const ui::Contexte& ctx, const QString& appelId)
{
    if (!ctx.pilotage || !ctx.pilotage->demarre())
        return false;
    for (const model::Appel& a : ctx.pilotage->appelsEquipe())
        if (a.id == appelId)
            return true;
    return false;
}

BlocSynthese::BlocSynthese(ui::Contexte& ctx, const QString& appelId, QWidget* parent)
    : QFrame(parent), ctx_(ctx), appelId_(appelId)
{
    setObjectName(QStringLiteral("syntheseManager"));
    setProperty("role", QStringLiteral("carte"));
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(20, 16, 20, 16);
    l->setSpacing(8);
    l->addWidget(ui::style::etiquette(QStringLiteral("Synthèse manager"), QStringLiteral("titreCarte"), this));
    corps_ = new QVBoxLayout;
    corps_->setSpacing(6);
    l->addLayout(corps_);
    if (ctx_.pilotage)
        connect(ctx_.pilotage, &PilotageEquipe::change, this, &BlocSynthese::remplir);
    remplir();
}

void BlocSynthese::remplir()
{
    ui::style::vider(corps_);
    PilotageEquipe* p = ctx_.pilotage;
    if (!p)
        return;
    const bool enCours = p->synthesesEnCours().contains(appelId_);
    const auto s = p->syntheses().constFind(appelId_);
    if (s != p->syntheses().constEnd()) {
        if (!s->aCoacher.isEmpty()) {
            corps_->addWidget(ui::style::etiquette(QStringLiteral("À coacher"), QStringLiteral("legende"), this));
            for (const SyntheseManager::Point& pt : s->aCoacher) {
                corps_->addWidget(paragraphe(horodatage(pt.tMs) + QStringLiteral(" · ") + pt.point, {}, this));
                if (!pt.citation.isEmpty())
                    corps_->addWidget(paragraphe(QStringLiteral("« ") + pt.citation + QStringLiteral(" »"), QStringLiteral("secondaire"), this));
            }
        }
        auto ligne = [this](const QString& titre, const QString& valeur, const QString& detail) {
            if (valeur.isEmpty() && detail.isEmpty())
                return;
            corps_->addWidget(ui::style::etiquette(titre, QStringLiteral("legende"), this));
            corps_->addWidget(paragraphe(detail.isEmpty() ? valeur : (valeur.isEmpty() ? detail : valeur + QStringLiteral(" — ") + detail), {}, this));
        };
        ligne(QStringLiteral("Risque"), s->risque, s->raisonRisque);
        ligne(QStringLiteral("Prochaine étape"), s->prochaineEtape, {});
        ligne(QStringLiteral("Framework"), s->framework, s->commentaireFramework);
        ligne(QStringLiteral("Action du manager"), s->actionManager, {});
    } else if (!enCours) {
        corps_->addWidget(paragraphe(QStringLiteral("Les moments à coacher, le risque de l'affaire et ce que vous pouvez faire, en une minute de lecture."),
                                     QStringLiteral("secondaire"), this));
    }
    if (const auto e = p->erreursSynthese().constFind(appelId_); e != p->erreursSynthese().constEnd()) {
        auto* m = paragraphe(*e, QStringLiteral("erreur"), this);
        m->setObjectName(QStringLiteral("erreurSynthese"));
        corps_->addWidget(m);
    }
    auto* b = ui::style::bouton(enCours ? QStringLiteral("Synthèse en préparation…")
                                        : (s != p->syntheses().constEnd() ? QStringLiteral("Refaire la synthèse") : QStringLiteral("Préparer la synthèse")),
                                s != p->syntheses().constEnd() ? QString() : QStringLiteral("primaire"), this);
    b->setObjectName(QStringLiteral("preparerSynthese"));
    b->setEnabled(!enCours);
    connect(b, &QPushButton::clicked, this, [this] {
        if (ctx_.pilotage)
            ctx_.pilotage->preparerSynthese(appelId_);
    });
    corps_->addWidget(b, 0, Qt::AlignLeft);
}

} // namespace vd::team
