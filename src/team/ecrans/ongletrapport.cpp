#include "ongletrapport.h"

#include "cloud/compte.h"
#include "team/coachingequipe.h"
#include "ui/ecrans/style.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>

namespace vd::team {

using ui::style::etiquette;

namespace {

QLabel* paragraphe(const QString& t, const QString& role = {})
{
    auto* l = etiquette(t, role);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QString semaineTexte(const QString& iso)
{
    const QDate d = QDate::fromString(iso, QStringLiteral("yyyy-MM-dd"));
    return d.isValid() ? QStringLiteral("Semaine du ") + QLocale(QLocale::French).toString(d, QStringLiteral("d MMMM yyyy")) : iso;
}

QString score(const ChiffresRapport& c)
{
    if (!c.scoreMoyen)
        return QStringLiteral("–");
    QString t = texteNombre(*c.scoreMoyen);
    if (c.progression && *c.progression != 0)
        t += QStringLiteral(" (%1%2)").arg(*c.progression > 0 ? QStringLiteral("+") : QString(), texteNombre(*c.progression));
    return t;
}

QString pourcent(const std::optional<double>& v) { return v ? texteNombre(*v) + QStringLiteral("\u00a0%") : QStringLiteral("–"); }
QString nombre(const std::optional<double>& v) { return v ? texteNombre(*v) : QStringLiteral("–"); }

} // namespace

OngletRapport::OngletRapport(ui::Contexte& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 16, 0, 0);
    l->setSpacing(12);
    auto* haut = new QHBoxLayout;
    haut->addWidget(etiquette(QStringLiteral("Rapport du lundi"), QStringLiteral("titreCarte"), this));
    haut->addStretch(1);
    choix_ = new QComboBox(this);
    haut->addWidget(choix_);
    l->addLayout(haut);
    etat_ = paragraphe(QString(), QStringLiteral("secondaire"));
    l->addWidget(etat_);
    contenu_ = new QVBoxLayout;
    contenu_->setSpacing(12);
    l->addLayout(contenu_);
    l->addStretch(1);
    connect(choix_, &QComboBox::currentIndexChanged, this, &OngletRapport::remplir);
    if (ctx_.coaching)
        connect(ctx_.coaching, &CoachingEquipe::change, this, [this] {
            // Keep the chosen week when the list is read again.
            const QString choisi = choix_->currentData().toString();
            const QSignalBlocker b(choix_);
            choix_->clear();
            for (const RapportEquipe& r : ctx_.coaching->rapports())
                choix_->addItem(semaineTexte(r.semaine), r.id);
            choix_->setCurrentIndex(std::max(0, choix_->findData(choisi)));
            remplir();
        });
    remplir();
}

void OngletRapport::recharger(bool force)
{
    if (ctx_.coaching && (force || !ctx_.coaching->rapportsCharges()))
        charger();
}

QCoro::Task<void> OngletRapport::charger()
{
    if (enCours_)
        co_return;
    QPointer<OngletRapport> moi(this);
    enCours_ = true;
    erreur_.clear();
    remplir();
    auto r = co_await ctx_.coaching->chargerRapports();
    if (!moi)
        co_return;
    enCours_ = false;
    if (!r.ok())
        erreur_ = r.erreur();
    remplir();
}

void OngletRapport::remplir()
{
    ui::style::vider(contenu_);
    choix_->setVisible(choix_->count() > 1);
    if (!ctx_.coaching) {
        etat_->setText(QStringLiteral("Le rapport du lundi de votre équipe s'affiche ici quand vous êtes connecté à un compte d'équipe Vendalo."));
        return;
    }
    const QList<RapportEquipe>& l = ctx_.coaching->rapports();
    if (l.isEmpty()) {
        if (!erreur_.isEmpty())
            etat_->setText(erreur_);
        else if (!ctx_.coaching->rapportsCharges())
            etat_->setText(QStringLiteral("Chargement des rapports…"));
        else
            etat_->setText(QStringLiteral("Pas encore de rapport. Chaque lundi matin, le rapport résume la semaine passée de l'équipe : "
                                          "synthèse, faits marquants et chiffres de chacun."));
        return;
    }
    etat_->setText(erreur_);
    etat_->setVisible(!erreur_.isEmpty());
    const QString id = choix_->currentData().toString();
    for (const RapportEquipe& r : l)
        if (r.id == id || id.isEmpty()) {
            remplirRapport(r);
            return;
        }
    remplirRapport(l.first());
}

void OngletRapport::remplirRapport(const RapportEquipe& r)
{
    const ContenuRapport& c = r.contenu;
    auto* synthese = ui::style::carte();
    auto* s = new QVBoxLayout(synthese);
    s->setContentsMargins(20, 16, 20, 16);
    s->setSpacing(8);
    s->addWidget(etiquette(semaineTexte(r.semaine), QStringLiteral("titreCarte")));
    if (!c.synthese.isEmpty())
        s->addWidget(paragraphe(c.synthese));
    if (!c.faitsMarquants.isEmpty()) {
        s->addWidget(etiquette(QStringLiteral("Faits marquants"), QStringLiteral("legende")));
        for (const QString& f : c.faitsMarquants)
            s->addWidget(paragraphe(QStringLiteral("• ") + f));
    }
    contenu_->addWidget(synthese);
    contenu_->addWidget(chiffres(c.equipe, true));
    if (!c.parMembre.isEmpty()) {
        auto* carte = ui::style::carte();
        auto* g = new QGridLayout(carte);
        g->setContentsMargins(20, 16, 20, 16);
        g->setHorizontalSpacing(16);
        g->setVerticalSpacing(8);
        g->addWidget(etiquette(QStringLiteral("Par membre"), QStringLiteral("titreCarte")), 0, 0, 1, 6);
        const QStringList entetes{QStringLiteral("Membre"), QStringLiteral("Appels"), QStringLiteral("Score moyen"),
                                  QStringLiteral("Parole"), QStringLiteral("Questions"), QStringLiteral("Objectifs")};
        for (int i = 0; i < entetes.size(); ++i)
            g->addWidget(etiquette(entetes[i], QStringLiteral("legende")), 1, i);
        int rang = 2;
        for (const ChiffresRapport& m : c.parMembre) {
            g->addWidget(etiquette(m.nom.value_or(QStringLiteral("Membre"))), rang, 0);
            g->addWidget(etiquette(m.appels == 0 ? textes::pasEncoreDAppel : QString::number(m.appels)), rang, 1);
            g->addWidget(etiquette(score(m)), rang, 2);
            g->addWidget(etiquette(pourcent(m.partParole)), rang, 3);
            g->addWidget(etiquette(nombre(m.questionsParAppel)), rang, 4);
            g->addWidget(etiquette(m.objectifs ? QStringLiteral("%1 / %2").arg(m.objectifsAtteints).arg(m.objectifs) : QStringLiteral("–")),
                         rang, 5);
            ++rang;
        }
        g->setColumnStretch(0, 1);
        contenu_->addWidget(carte);
    }
}

QWidget* OngletRapport::chiffres(const ChiffresRapport& c, bool equipe)
{
    auto* carte = ui::style::carte();
    auto* v = new QVBoxLayout(carte);
    v->setContentsMargins(20, 16, 20, 16);
    v->setSpacing(8);
    v->addWidget(etiquette(equipe ? QStringLiteral("L'équipe") : c.nom.value_or(QString()), QStringLiteral("titreCarte")));
    auto* h = new QHBoxLayout;
    h->setSpacing(24);
    const QList<QPair<QString, QString>> cases = {
        {QStringLiteral("Appels"), QString::number(c.appels)},
        {QStringLiteral("Temps d'appel"), c.dureeTotaleSec > 0 ? ui::style::duree(c.dureeTotaleSec) : QStringLiteral("–")},
        {QStringLiteral("Score moyen"), score(c)},
        {QStringLiteral("Temps de parole"), pourcent(c.partParole)},
        {QStringLiteral("Questions par appel"), nombre(c.questionsParAppel)},
        {QStringLiteral("Objectifs atteints"), c.objectifs ? QStringLiteral("%1 / %2").arg(c.objectifsAtteints).arg(c.objectifs) : QStringLiteral("–")},
    };
    for (const auto& [nom, valeur] : cases) {
        auto* k = new QVBoxLayout;
        k->setSpacing(2);
        k->addWidget(etiquette(valeur, QStringLiteral("chiffre")));
        k->addWidget(etiquette(nom, QStringLiteral("legende")));
        h->addLayout(k);
    }
    h->addStretch(1);
    v->addLayout(h);
    if (c.membres)
        v->addWidget(etiquette(QStringLiteral("%1 membres dans l'équipe").arg(*c.membres), QStringLiteral("secondaire")));
    return carte;
}

} // namespace vd::team
