#include "ecranappels.h"

#include "app/ui.h"
#include "ui/ecrans/libelles.h"
#include "ui/ecrans/style.h"
#include "model/store.h"
#include "model/texte.h"
#include "team/pilotageequipe.h"

#include <QHeaderView>
#include <QSet>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace vd::app {

EcranAppels::EcranAppels(Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 8, 0, 24);
    l->setSpacing(16);
    filtre_ = new QLineEdit(this);
    filtre_->setPlaceholderText(QStringLiteral("Rechercher un contact, une société, un type d'appel…"));
    filtre_->setClearButtonEnabled(true);
    filtre_->setMaximumWidth(420);
    l->addWidget(filtre_);
    // "Appels de Léa Martin" · "Voir tous les appels".
    puce_ = new QWidget(this);
    puce_->setObjectName(QStringLiteral("filtreCompte"));
    auto* lp = new QHBoxLayout(puce_);
    lp->setContentsMargins(0, 0, 0, 0);
    lp->setSpacing(8);
    puceTexte_ = style::etiquette({}, QStringLiteral("chipBleu"), puce_);
    puceTexte_->setObjectName(QStringLiteral("puceCompte"));
    lp->addWidget(puceTexte_);
    auto* tous = style::bouton(QStringLiteral("Voir tous les appels"), QStringLiteral("lien"), puce_);
    tous->setObjectName(QStringLiteral("voirTousLesAppels"));
    connect(tous, &QPushButton::clicked, this, [this] {
        compteFiltre_.clear();
        remplir();
    });
    lp->addWidget(tous);
    lp->addStretch(1);
    puce_->hide();
    l->addWidget(puce_);
    pile_ = new QStackedWidget(this);
    table_ = new QTableWidget(0, 5, pile_);
    table_->setHorizontalHeaderLabels({QStringLiteral("Contact"), QStringLiteral("Type"), QStringLiteral("Date"), QStringLiteral("Durée"),
                                       QStringLiteral("Score")});
    table_->verticalHeader()->hide();
    table_->setShowGrid(false);
    table_->setAlternatingRowColors(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < 5; ++c)
        table_->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table_->verticalHeader()->setDefaultSectionSize(44);
    pile_->addWidget(table_);

    auto* vide = new QWidget(pile_);
    auto* vl = new QVBoxLayout(vide);
    vl->addStretch(1);
    auto* ic = new QLabel(vide);
    ic->setPixmap(style::icone(QStringLiteral("telephone"), style::couleur::texteSecondaire, 40).pixmap(40, 40));
    ic->setAlignment(Qt::AlignCenter);
    vl->addWidget(ic);
    auto* t = style::etiquette(QStringLiteral("Aucun appel pour l'instant"), QStringLiteral("titreSection"), vide);
    t->setAlignment(Qt::AlignCenter);
    vl->addWidget(t);
    auto* s = style::etiquette(QStringLiteral("Chaque appel, avec son transcript et son analyse, sera rangé ici."), QStringLiteral("secondaire"), vide);
    s->setAlignment(Qt::AlignCenter);
    vl->addWidget(s);
    auto* bh = new QHBoxLayout;
    bh->addStretch(1);
    auto* demo = style::bouton(QStringLiteral("Charger la démo"), QStringLiteral("primaire"), vide);
    connect(demo, &QPushButton::clicked, this, [this] {
        if (ctx_.chargerDemo)
            if (auto e = ctx_.chargerDemo())
                ctx_.toasts->montrer(*e, Toasts::Toast::Genre::erreur);
    });
    bh->addWidget(demo);
    auto* simule = style::bouton(QStringLiteral("Essayer un appel simulé"), {}, vide);
    connect(simule, &QPushButton::clicked, this, [this] {
        if (ctx_.lancerAppelSimule)
            if (auto e = ctx_.lancerAppelSimule())
                ctx_.toasts->montrer(*e, Toasts::Toast::Genre::erreur);
    });
    bh->addWidget(simule);
    bh->addStretch(1);
    vl->addLayout(bh);
    vl->addStretch(2);
    pile_->addWidget(vide);
    l->addWidget(pile_, 1);

    connect(filtre_, &QLineEdit::textChanged, this, &EcranAppels::remplir);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int ligne, int) {
        if (QTableWidgetItem* it = table_->item(ligne, 0))
            ctx_.navigation->aller(Ecran::ficheAppel(it->data(Qt::UserRole).toString()));
    });
    connect(table_, &QTableWidget::cellActivated, table_, &QTableWidget::cellDoubleClicked);
    connect(ctx_.store, &model::Store::etatChange, this, [this] {
        if (isVisible())
            remplir();
    });
}

std::optional<EcranBase::Action> EcranAppels::actionPrincipale() const
{
    Navigation* nav = ctx_.navigation;
    return Action{QStringLiteral("Nouvel appel"), [nav] { nav->aller(Ecran::nouvelAppel()); }};
}

void EcranAppels::afficher(const Ecran& e)
{
    const QString charge = e.charge.value_or(QString());
    compteFiltre_ = charge.startsWith(QLatin1String("compte:")) ? charge.mid(7).trimmed() : QString();
    remplir();
}

void EcranAppels::remplir()
{
    const model::Etat& etat = ctx_.store->etat();
    filtre_->setVisible(!etat.appels.isEmpty());
    pile_->setCurrentIndex(etat.appels.isEmpty() ? 1 : 0);
    // The member's calls: theirs by account, or as team steering shares them out.
    QSet<QString> duMembre;
    if (!compteFiltre_.isEmpty() && ctx_.pilotage)
        for (const model::Appel& a : ctx_.pilotage->appelsEquipe())
            if (a.compteId == compteFiltre_)
                duMembre.insert(a.id);
    puce_->setVisible(!compteFiltre_.isEmpty());
    if (!compteFiltre_.isEmpty()) {
        const QString nom = team::nomMembreEquipe(ctx_.compte, compteFiltre_);
        puceTexte_->setText(nom.isEmpty() ? QStringLiteral("Appels d'un membre de l'équipe") : QStringLiteral("Appels de ") + nom);
    }
    QList<const model::Appel*> tries;
    const QString f = model::plier(filtre_->text().trimmed());
    for (const model::Appel& a : etat.appels) {
        if (!compteFiltre_.isEmpty() && a.compteId != compteFiltre_ && !duMembre.contains(a.id))
            continue;
        if (!f.isEmpty()) {
            const QString foin = model::plier(libelles::nomContact(etat, a) + QLatin1Char(' ') + libelles::typeAppel(a.type) +
                                              QLatin1Char(' ') + a.objectif);
            if (!foin.contains(f))
                continue;
        }
        tries.append(&a);
    }
    std::sort(tries.begin(), tries.end(), [](const model::Appel* x, const model::Appel* y) {
        return (x->debut.isEmpty() ? x->creeLe : x->debut) > (y->debut.isEmpty() ? y->creeLe : y->debut);
    });
    table_->setRowCount(int(tries.size()));
    for (int i = 0; i < tries.size(); ++i) {
        const model::Appel& a = *tries[i];
        auto* contact = new QTableWidgetItem(libelles::nomContact(etat, a));
        contact->setData(Qt::UserRole, a.id);
        table_->setItem(i, 0, contact);
        table_->setItem(i, 1, new QTableWidgetItem(libelles::typeAppel(a.type)));
        table_->setItem(i, 2, new QTableWidgetItem(style::dateCourte(a.debut.isEmpty() ? a.creeLe : a.debut)));
        table_->setItem(i, 3, new QTableWidgetItem(style::duree(a.duree)));
        const auto s = libelles::score(a);
        table_->setItem(i, 4, new QTableWidgetItem(s ? QStringLiteral("%1 / 100").arg(*s) : libelles::statutAppel(a.statut)));
    }
}

EcranVide::EcranVide(Contexte& ctx, QString titre, const QString& icone, const QString& texte, QWidget* parent)
    : EcranBase(ctx, parent), titre_(std::move(titre))
{
    auto* l = new QVBoxLayout(this);
    l->addStretch(1);
    auto* ic = new QLabel(this);
    ic->setPixmap(style::icone(icone, style::couleur::texteSecondaire, 40).pixmap(40, 40));
    ic->setAlignment(Qt::AlignCenter);
    l->addWidget(ic);
    auto* t = style::etiquette(titre_, QStringLiteral("titreSection"), this);
    t->setAlignment(Qt::AlignCenter);
    l->addWidget(t);
    auto* s = style::etiquette(texte, QStringLiteral("secondaire"), this);
    s->setAlignment(Qt::AlignCenter);
    s->setWordWrap(true);
    s->setMaximumWidth(520);
    l->addWidget(s, 0, Qt::AlignHCenter);
    l->addStretch(2);
}

} // namespace vd::app
