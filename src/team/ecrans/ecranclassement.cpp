#include "ecranclassement.h"

#include "cloud/compte.h"
#include "team/coachingequipe.h"
#include "ui/ecrans/style.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>

namespace vd::team {

using ui::style::etiquette;

namespace {
QString sansCompte()
{
    return QStringLiteral("Le classement d'équipe s'affiche quand vous êtes connecté à un compte d'équipe Vendalo : "
                          "chaque membre, son score moyen et sa progression sur la période.");
}
} // namespace

EcranClassement::EcranClassement(ui::Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    QVBoxLayout* corps = pageDefilante(QMargins(32, 24, 32, 32), 16);
    auto* haut = new QHBoxLayout;
    haut->addWidget(etiquette(textes::classement, QStringLiteral("titreSection"), this));
    haut->addStretch(1);
    periode_ = new QComboBox(this);
    for (int j : periodes)
        periode_->addItem(QStringLiteral("%1 derniers jours").arg(j), j);
    periode_->setCurrentIndex(1);
    haut->addWidget(periode_);
    corps->addLayout(haut);
    etat_ = etiquette(QString(), QStringLiteral("secondaire"), this);
    etat_->setWordWrap(true);
    corps->addWidget(etat_);
    auto* carte = ui::style::carte(QStringLiteral("carte"), this);
    liste_ = new QVBoxLayout(carte);
    liste_->setContentsMargins(20, 12, 20, 12);
    liste_->setSpacing(0);
    corps->addWidget(carte);
    corps->addStretch(1);

    connect(periode_, &QComboBox::currentIndexChanged, this, [this] {
        if (ctx_.coaching && !ctx_.coaching->classements().contains(jours()))
            charger(jours());
        remplir();
    });
    if (ctx_.coaching)
        connect(ctx_.coaching, &CoachingEquipe::change, this, &EcranClassement::remplir);
    remplir();
}

QString EcranClassement::titre() const { return textes::classement; }

int EcranClassement::jours() const { return periode_->currentData().toInt(); }

void EcranClassement::afficher(const ui::Ecran& e)
{
    bool ok = false;
    const int j = e.charge.value_or(QString()).toInt(&ok);
    if (ok) {
        const int i = periode_->findData(j);
        if (i >= 0)
            periode_->setCurrentIndex(i);
    }
    // Shown again: the figures are read afresh.
    if (ctx_.coaching)
        charger(jours());
    remplir();
}

QCoro::Task<void> EcranClassement::charger(int jours)
{
    if (enCours_.contains(jours))
        co_return;
    QPointer<EcranClassement> moi(this);
    enCours_.insert(jours);
    erreur_.clear();
    remplir();
    auto r = co_await ctx_.coaching->chargerClassement(jours);
    if (!moi)
        co_return;
    enCours_.remove(jours);
    if (!r.ok())
        erreur_ = r.erreur();
    remplir();
}

void EcranClassement::remplir()
{
    ui::style::vider(liste_);
    liste_->parentWidget()->hide();
    if (!ctx_.coaching) {
        etat_->setText(sansCompte());
        periode_->setEnabled(false);
        return;
    }
    const auto& classements = ctx_.coaching->classements();
    const int j = jours();
    if (!classements.contains(j)) {
        etat_->setText(!erreur_.isEmpty() ? erreur_ : textes::chargementClassement);
        return;
    }
    const ClassementEquipe& c = classements.value(j);
    const bool classe = std::any_of(c.membres.begin(), c.membres.end(), [](const MembreClassement& m) { return m.rang.has_value(); });
    if (!classe) {
        etat_->setText(textes::pasDeClassement + QStringLiteral("\n") + textes::aideClassementVide);
        return;
    }
    etat_->setText(!erreur_.isEmpty() ? erreur_ : QStringLiteral("Score moyen des appels analysés et synchronisés, comparé à la période précédente."));
    liste_->parentWidget()->show();
    bool premier = true;
    for (const MembreClassement& m : c.membres) {
        if (!premier)
            liste_->addWidget(ui::style::filet());
        premier = false;
        auto* ligne = new QWidget;
        auto* h = new QHBoxLayout(ligne);
        h->setContentsMargins(0, 10, 0, 10);
        h->setSpacing(12);
        auto* rang = etiquette(m.rang ? QString::number(*m.rang) : QStringLiteral("–"), QStringLiteral("chiffre"), ligne);
        rang->setFixedWidth(36);
        h->addWidget(rang);
        auto* qui = new QVBoxLayout;
        qui->setSpacing(2);
        qui->addWidget(etiquette(m.nom + (m.moi ? QStringLiteral(" (vous)") : QString()), QStringLiteral("titreCarte"), ligne));
        QStringList details{cloud::Compte::libelleRole(m.roleOrg)};
        details << (m.appels == 0 ? textes::pasEncoreDAppel
                                  : m.appels == 1 ? QStringLiteral("1 appel") : QStringLiteral("%1 appels").arg(m.appels));
        if (m.objectifs > 0)
            details << QStringLiteral("%1 / %2 objectifs atteints").arg(m.objectifsAtteints).arg(m.objectifs);
        qui->addWidget(etiquette(details.join(QStringLiteral(" · ")), QStringLiteral("secondaire"), ligne));
        h->addLayout(qui, 1);
        if (m.progression) {
            const double p = *m.progression;
            h->addWidget(etiquette((p > 0 ? QStringLiteral("+") : QString()) + texteNombre(p),
                                   p > 0 ? QStringLiteral("succes") : p < 0 ? QStringLiteral("erreur") : QStringLiteral("legende"), ligne));
        }
        auto* score = etiquette(m.scoreMoyen ? texteNombre(*m.scoreMoyen) : QStringLiteral("–"), QStringLiteral("chiffre"), ligne);
        score->setMinimumWidth(56);
        score->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        h->addWidget(score);
        liste_->addWidget(ligne);
    }
}

} // namespace vd::team
