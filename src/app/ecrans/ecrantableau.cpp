#include "ecrantableau.h"

#include "app/ui.h"
#include "ui/ecrans/libelles.h"
#include "ui/ecrans/style.h"
#include "model/store.h"
#include "model/texte.h"
#include "platform/horloge.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

namespace vd::app {

EcranTableau::EcranTableau(Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    corps_ = pageDefilante(QMargins(0, 8, 0, 24), 24);
    connect(ctx_.store, &model::Store::etatChange, this, [this] {
        aJour_ = false;
        if (isVisible())
            reconstruire();
    });
}

std::optional<EcranBase::Action> EcranTableau::actionPrincipale() const
{
    Navigation* nav = ctx_.navigation;
    return Action{QStringLiteral("Nouvel appel"), [nav] { nav->aller(Ecran::nouvelAppel()); }};
}

QWidget* EcranTableau::accueil()
{
    auto* c = style::carte(QStringLiteral("encart"));
    auto* l = new QVBoxLayout(c);
    l->setContentsMargins(32, 32, 32, 32);
    l->setSpacing(12);
    const QString prenom = ctx_.store->etat().reglages.commercial.prenom;
    l->addWidget(style::etiquette(prenom.isEmpty() ? QStringLiteral("Bienvenue dans Vendalo") : QStringLiteral("Bienvenue, ") + prenom,
                                  QStringLiteral("titreSection")));
    auto* texte = style::etiquette(QStringLiteral(
        "Vendalo écoute vos appels, vous souffle quoi répondre pendant l'échange et analyse chaque appel ensuite. "
        "Vos appels, vos contacts et vos prochaines étapes apparaîtront ici."));
    texte->setWordWrap(true);
    texte->setProperty("role", QStringLiteral("secondaire"));
    l->addWidget(texte);
    auto* etapes = style::etiquette(QStringLiteral(
        "Pour découvrir l'application sans clé ni réseau : chargez les données de démonstration, puis essayez un appel simulé."));
    etapes->setWordWrap(true);
    l->addWidget(etapes);
    auto* boutons = new QHBoxLayout;
    boutons->setSpacing(8);
    auto* demo = style::bouton(QStringLiteral("Charger la démo"), QStringLiteral("primaire"));
    demo->setObjectName(QStringLiteral("chargerDemo"));
    connect(demo, &QPushButton::clicked, this, [this] {
        if (!ctx_.chargerDemo)
            return;
        if (auto err = ctx_.chargerDemo())
            ctx_.toasts->montrer(*err, Toasts::Toast::Genre::erreur);
        else
            ctx_.toasts->montrer(QStringLiteral("Données de démo rechargées."), Toasts::Toast::Genre::ok);
    });
    boutons->addWidget(demo);
    auto* simule = style::bouton(QStringLiteral("Essayer un appel simulé"));
    simule->setObjectName(QStringLiteral("appelSimule"));
    simule->setIcon(style::icone(QStringLiteral("demo"), style::couleur::texte, 16));
    connect(simule, &QPushButton::clicked, this, [this] {
        if (!ctx_.lancerAppelSimule)
            return;
        if (auto refus = ctx_.lancerAppelSimule())
            ctx_.toasts->montrer(*refus, Toasts::Toast::Genre::erreur);
    });
    boutons->addWidget(simule);
    auto* reglages = style::bouton(QStringLiteral("Ajouter mes clés"), QStringLiteral("lien"));
    connect(reglages, &QPushButton::clicked, this, [this] { ctx_.navigation->aller(Ecran::de(Ecran::Genre::reglages)); });
    boutons->addWidget(reglages);
    boutons->addStretch(1);
    l->addLayout(boutons);
    return c;
}

QWidget* EcranTableau::tuile(const QString& libelle, const QString& valeur, const QString& detail)
{
    auto* c = style::carte();
    auto* l = new QVBoxLayout(c);
    l->setContentsMargins(20, 16, 20, 16);
    l->setSpacing(4);
    l->addWidget(style::etiquette(libelle, QStringLiteral("legende")));
    l->addWidget(style::etiquette(valeur, QStringLiteral("chiffre")));
    auto* d = style::etiquette(detail, QStringLiteral("legende"));
    d->setWordWrap(true);
    l->addWidget(d);
    return c;
}

void EcranTableau::reconstruire()
{
    if (aJour_)
        return;
    aJour_ = true;
    style::vider(corps_);
    const model::Etat& etat = ctx_.store->etat();
    const bool vide = etat.appels.isEmpty() && etat.contacts.isEmpty();
    if (vide) {
        corps_->addWidget(accueil());
        corps_->addStretch(1);
        return;
    }
    const QDateTime maintenant = ctx_.horloge->maintenant();
    const QLocale fr(QLocale::French, QLocale::France);

    // Figures of the last 7 days.
    int appels7 = 0, analyses = 0;
    double sommeScores = 0, dureeTotale = 0;
    for (const model::Appel& a : etat.appels) {
        const auto d = model::lireHorodatage(a.debut.isEmpty() ? a.creeLe : a.debut);
        if (d && d->secsTo(maintenant) <= 7 * 86400) {
            ++appels7;
            dureeTotale += a.duree;
        }
        if (auto s = libelles::score(a)) {
            ++analyses;
            sommeScores += *s;
        }
    }
    int actifs = 0;
    for (const model::Contact& c : etat.contacts)
        if (c.etape != QLatin1String("gagne") && c.etape != QLatin1String("perdu") && c.etape != QLatin1String("sommeil"))
            ++actifs;
    auto* tuiles = new QHBoxLayout;
    tuiles->setSpacing(16);
    tuiles->addWidget(tuile(QStringLiteral("Appels ces 7 derniers jours"), QString::number(appels7),
                            appels7 ? QStringLiteral("%1 au téléphone").arg(style::duree(dureeTotale)) : QStringLiteral("Aucun appel cette semaine")));
    tuiles->addWidget(tuile(QStringLiteral("Score moyen"), analyses ? fr.toString(int(sommeScores / analyses + 0.5)) : QStringLiteral("—"),
                            analyses ? QStringLiteral("Sur %1 appel%2 analysé%2").arg(analyses).arg(analyses > 1 ? QStringLiteral("s") : QString())
                                     : QStringLiteral("Aucun appel analysé")));
    tuiles->addWidget(tuile(QStringLiteral("Affaires en cours"), QString::number(actifs),
                            QStringLiteral("%1 contact%2 au total").arg(etat.contacts.size()).arg(etat.contacts.size() > 1 ? QStringLiteral("s") : QString())));
    corps_->addLayout(tuiles);

    auto* colonnes = new QHBoxLayout;
    colonnes->setSpacing(24);

    // Latest calls.
    auto* recents = style::carte();
    auto* rl = new QVBoxLayout(recents);
    rl->setContentsMargins(20, 16, 20, 16);
    rl->setSpacing(10);
    auto* rt = new QHBoxLayout;
    rt->addWidget(style::etiquette(QStringLiteral("Derniers appels"), QStringLiteral("titreCarte")), 1);
    auto* tous = style::bouton(QStringLiteral("Tout voir"), QStringLiteral("lien"));
    connect(tous, &QPushButton::clicked, this, [this] { ctx_.navigation->aller(Ecran::de(Ecran::Genre::appels)); });
    rt->addWidget(tous);
    rl->addLayout(rt);
    QList<const model::Appel*> tries;
    for (const model::Appel& a : etat.appels)
        tries.append(&a);
    std::sort(tries.begin(), tries.end(), [](const model::Appel* x, const model::Appel* y) {
        return (x->debut.isEmpty() ? x->creeLe : x->debut) > (y->debut.isEmpty() ? y->creeLe : y->debut);
    });
    if (tries.isEmpty())
        rl->addWidget(style::etiquette(QStringLiteral("Vos appels apparaîtront ici après votre premier appel."), QStringLiteral("secondaire")));
    for (qsizetype i = 0; i < std::min<qsizetype>(6, tries.size()); ++i) {
        const model::Appel& a = *tries[i];
        auto* ligne = new style::LigneCliquable;
        ligne->setObjectName(QStringLiteral("appelRecent"));
        auto* ll = new QHBoxLayout(ligne);
        ll->setContentsMargins(4, 6, 4, 6);
        auto* textes = new QVBoxLayout;
        textes->setSpacing(2);
        auto* nom = style::etiquette(libelles::nomContact(etat, a), QStringLiteral("titreCarte"));
        textes->addWidget(nom);
        auto* sous = style::etiquette(libelles::typeAppel(a.type) + QStringLiteral(" · ") + style::dateCourte(a.debut.isEmpty() ? a.creeLe : a.debut) +
                                          QStringLiteral(" · ") + style::duree(a.duree),
                                      QStringLiteral("legende"));
        textes->addWidget(sous);
        ll->addLayout(textes, 1);
        const auto s = libelles::score(a);
        auto* puce = style::etiquette(s ? QString::number(*s) : libelles::statutAppel(a.statut),
                                      s ? QStringLiteral("chipBleu") : QStringLiteral("chipGris"));
        ll->addWidget(puce);
        const QString id = a.id;
        connect(ligne, &style::LigneCliquable::clique, this, [this, id] { ctx_.navigation->aller(Ecran::ficheAppel(id)); });
        rl->addWidget(ligne);
    }
    rl->addStretch(1);
    colonnes->addWidget(recents, 3);

    // Next steps of the contacts, soonest first.
    auto* etapes = style::carte();
    auto* el = new QVBoxLayout(etapes);
    el->setContentsMargins(20, 16, 20, 16);
    el->setSpacing(10);
    el->addWidget(style::etiquette(QStringLiteral("Prochaines étapes"), QStringLiteral("titreCarte")));
    QList<const model::Contact*> avecAction;
    for (const model::Contact& c : etat.contacts)
        if (c.prochaineAction && !c.prochaineAction->texte.trimmed().isEmpty())
            avecAction.append(&c);
    std::sort(avecAction.begin(), avecAction.end(), [](const model::Contact* x, const model::Contact* y) {
        const QString ex = x->prochaineAction->echeance.isEmpty() ? QStringLiteral("9999") : x->prochaineAction->echeance;
        const QString ey = y->prochaineAction->echeance.isEmpty() ? QStringLiteral("9999") : y->prochaineAction->echeance;
        return ex < ey;
    });
    if (avecAction.isEmpty())
        el->addWidget(style::etiquette(QStringLiteral("Aucune prochaine étape notée. Elles viennent de vos appels et de leur analyse."),
                                       QStringLiteral("secondaire")));
    const QDate aujourdhui = maintenant.toLocalTime().date();
    for (qsizetype i = 0; i < std::min<qsizetype>(6, avecAction.size()); ++i) {
        const model::Contact& c = *avecAction[i];
        auto* ligne = new QHBoxLayout;
        auto* textes = new QVBoxLayout;
        textes->setSpacing(2);
        auto* action = style::etiquette(c.prochaineAction->texte);
        action->setWordWrap(true);
        textes->addWidget(action);
        textes->addWidget(style::etiquette(c.nomComplet().trimmed().isEmpty() ? c.societe : c.nomComplet(), QStringLiteral("legende")));
        ligne->addLayout(textes, 1);
        const QDate d = QDate::fromString(c.prochaineAction->echeance, QStringLiteral("yyyy-MM-dd"));
        if (d.isValid()) {
            const bool retard = d < aujourdhui;
            const QString quand = d == aujourdhui ? QStringLiteral("Aujourd'hui") : fr.toString(d, QStringLiteral("d MMM"));
            ligne->addWidget(style::etiquette(quand, retard ? QStringLiteral("chipAmbre") : QStringLiteral("chipGris")), 0, Qt::AlignTop);
        }
        el->addLayout(ligne);
    }
    el->addStretch(1);
    colonnes->addWidget(etapes, 2);
    corps_->addLayout(colonnes);
    corps_->addStretch(1);
}

} // namespace vd::app
