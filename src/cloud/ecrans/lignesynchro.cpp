#include "lignesynchro.h"

#include "cloud/compte.h"
#include "cloud/synchro.h"
#include "decisionsynchro.h"
#include "ui/contexte.h"
#include "ui/ecrans/style.h"
#include "ui/navigation.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vd::cloud {

namespace st = ui::style;

namespace {
QString pluriel(int n, const QString& un, const QString& plusieurs) { return QStringLiteral("%1 %2").arg(n).arg(n > 1 ? plusieurs : un); }
} // namespace

QString LigneSynchro::texteEnAttente(int n)
{
    return pluriel(n, QStringLiteral("modification en attente"), QStringLiteral("modifications en attente"));
}

QString LigneSynchro::texteRefus(int n) { return pluriel(n, QStringLiteral("élément refusé"), QStringLiteral("éléments refusés")); }

QString LigneSynchro::libelleCollection(const QString& c)
{
    static const QHash<QString, QString> noms{
        {QStringLiteral("contacts"), QStringLiteral("Contact")},
        {QStringLiteral("interactions"), QStringLiteral("Interaction")},
        {QStringLiteral("appels"), QStringLiteral("Appel")},
        {QStringLiteral("profils_clients"), QStringLiteral("Profil client")},
        {QStringLiteral("objections_lib"), QStringLiteral("Objection")},
        {QStringLiteral("frameworks"), QStringLiteral("Méthode de vente")},
        {QStringLiteral("entreprises_profil"), QStringLiteral("Profil de l'entreprise")},
    };
    return noms.value(c, c);
}

LigneSynchro::LigneSynchro(ui::Contexte& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("ligneSynchro"));
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(4, 8, 4, 4);
    l->setSpacing(2);
    auto* haut = new QHBoxLayout;
    haut->setSpacing(6);
    point_ = new QLabel(this);
    point_->setFixedSize(8, 8);
    haut->addWidget(point_, 0, Qt::AlignVCenter);
    texte_ = st::etiquette({}, QStringLiteral("legende"), this);
    texte_->setWordWrap(true);
    haut->addWidget(texte_, 1);
    l->addLayout(haut);
    detail_ = st::etiquette({}, QStringLiteral("legende"), this);
    detail_->setWordWrap(true);
    l->addWidget(detail_);

    auto lien = [this, l](const QString& texte, const QString& nom) {
        auto* b = st::bouton(texte, QStringLiteral("lien"), this);
        b->setObjectName(nom);
        b->setCursor(Qt::PointingHandCursor);
        b->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
        l->addWidget(b, 0, Qt::AlignLeft);
        return b;
    };
    connecter_ = lien(QStringLiteral("Se connecter"), QStringLiteral("seConnecter"));
    choisir_ = lien(QStringLiteral("Choisir…"), QStringLiteral("choisir"));
    lienRefus_ = lien(QString(), QStringLiteral("refus"));
    maintenant_ = lien(QStringLiteral("Synchroniser maintenant"), QStringLiteral("synchroniserMaintenant"));
    connect(connecter_, &QPushButton::clicked, this, [this] {
        if (ctx_.navigation)
            ctx_.navigation->aller(ui::Ecran::de(ui::Ecran::Genre::compte));
    });
    connect(maintenant_, &QPushButton::clicked, this, [this] {
        if (ctx_.synchro)
            ctx_.synchro->synchroniser(true);
    });
    connect(lienRefus_, &QPushButton::clicked, this, &LigneSynchro::montrerRefus);
    connect(choisir_, &QPushButton::clicked, this, &LigneSynchro::ouvrirDecision);

    if (ctx_.synchro)
        connect(ctx_.synchro, &Synchro::change, this, &LigneSynchro::maj);
    if (ctx_.compte)
        connect(ctx_.compte, &Compte::change, this, &LigneSynchro::maj);
    maj();
}

QDialog* LigneSynchro::fenetreRefus() const { return refus_; }
DialogueDonneesLocales* LigneSynchro::fenetreDecision() const { return decision_; }

QString LigneSynchro::texte() const { return texte_->text(); }
QString LigneSynchro::detail() const { return detail_->text(); }

void LigneSynchro::maj()
{
    Synchro* s = ctx_.synchro;
    const bool connecte = ctx_.compte && (ctx_.compte->etat() == Compte::Etat::connecte || ctx_.compte->etat() == Compte::Etat::horsLigne);
    QColor couleur = st::couleur::texteSecondaire;
    QString texte, detail;
    bool actions = false;
    if (!ctx_.client || !s) {
        texte = QStringLiteral("Mode local");
        detail = QStringLiteral("Vos données restent sur cet ordinateur.");
    } else if (!connecte) {
        texte = QStringLiteral("Non connecté");
        detail = QStringLiteral("Connectez-vous pour synchroniser vos données.");
    } else {
        actions = true;
        texte = s->texteEtat();
        switch (s->phase()) {
        case Synchro::Phase::aJour: couleur = st::couleur::succes; break;
        case Synchro::Phase::erreur: couleur = st::couleur::danger; break;
        case Synchro::Phase::horsLigne:
        case Synchro::Phase::attenteDecision: couleur = st::couleur::alerte; break;
        default: couleur = st::couleur::accent; break;
        }
        QStringList d;
        if (s->enAttente() > 0)
            d << texteEnAttente(s->enAttente());
        // "À jour" already carries the time of the last run.
        if (s->derniereSynchro().isValid() && s->phase() != Synchro::Phase::aJour)
            d << QStringLiteral("Dernière synchronisation à %1").arg(s->derniereSynchro().toLocalTime().toString(QStringLiteral("HH:mm")));
        detail = d.join(QStringLiteral(" · "));
    }
    texte_->setText(texte);
    detail_->setText(detail);
    detail_->setVisible(!detail.isEmpty());
    point_->setStyleSheet(QStringLiteral("background: %1; border-radius: 4px;").arg(couleur.name()));
    connecter_->setVisible(ctx_.client && !connecte);
    const bool decision = actions && s->phase() == Synchro::Phase::attenteDecision && s->donneesLocales();
    choisir_->setVisible(decision);
    maintenant_->setVisible(actions && !decision);
    maintenant_->setEnabled(actions && !s->actif());
    const int nRefus = actions ? int(s->refus().size()) : 0;
    lienRefus_->setVisible(nRefus > 0);
    lienRefus_->setText(texteRefus(nRefus));
    if (refus_ && nRefus == 0)
        refus_->close();
    // The choice is offered once by itself; afterwards from the line's "Choisir…".
    if (decision && !decisionProposee_) {
        decisionProposee_ = true;
        ouvrirDecision();
    } else if (!decision) {
        decisionProposee_ = false;
        if (decision_)
            decision_->close();
    }
}

void LigneSynchro::ouvrirDecision()
{
    Synchro* s = ctx_.synchro;
    if (!s || !s->donneesLocales())
        return;
    if (decision_) {
        decision_->raise();
        return;
    }
    decision_ = new DialogueDonneesLocales(*s, *s->donneesLocales(), window());
    decision_->setAttribute(Qt::WA_DeleteOnClose);
    decision_->open();
}

void LigneSynchro::montrerRefus()
{
    Synchro* s = ctx_.synchro;
    if (!s)
        return;
    if (refus_)
        refus_->close();
    auto* d = new QDialog(window());
    d->setAttribute(Qt::WA_DeleteOnClose);
    d->setObjectName(QStringLiteral("refusSynchro"));
    d->setWindowTitle(QStringLiteral("Éléments non synchronisés"));
    auto* l = new QVBoxLayout(d);
    l->setContentsMargins(24, 24, 24, 20);
    l->setSpacing(12);
    l->addWidget(st::etiquette(QStringLiteral("Éléments refusés par le serveur"), QStringLiteral("titreSection"), d));
    auto* aide = st::etiquette(QStringLiteral("Ils restent sur cet ordinateur ; les autres données sont synchronisées."),
                               QStringLiteral("legende"), d);
    aide->setWordWrap(true);
    l->addWidget(aide);
    auto* liste = new QTreeWidget(d);
    liste->setObjectName(QStringLiteral("listeRefus"));
    liste->setHeaderLabels({QStringLiteral("Type"), QStringLiteral("Identifiant"), QStringLiteral("Raison")});
    liste->setRootIsDecorated(false);
    liste->setWordWrap(true);
    liste->header()->setStretchLastSection(true);
    for (const Synchro::Refus& r : s->refus())
        new QTreeWidgetItem(liste, {libelleCollection(r.collection), r.id, Synchro::texteRaison(r.raison)});
    liste->resizeColumnToContents(0);
    liste->resizeColumnToContents(1);
    l->addWidget(liste, 1);
    auto* fermer = st::bouton(QStringLiteral("Fermer"), QStringLiteral("primaire"), d);
    connect(fermer, &QPushButton::clicked, d, &QDialog::accept);
    l->addWidget(fermer, 0, Qt::AlignRight);
    d->setMinimumSize(680, 320);
    refus_ = d;
    d->open();
}

} // namespace vd::cloud
