#include "fenetreprincipale.h"

#include "app/ui.h"
#include "ui/ecrans/ecranbase.h"
#include "ui/ecrans/style.h"
#include "zonetoasts.h"
#include "app/misesajour.h"
#include "cloud/ecrans/lignesynchro.h"
#include "model/store.h"
#include "platform/preferences.h"

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace vd::app {

namespace {

struct EntreeNav {
    Ecran::Genre genre;
    const char* libelle;
    const char* icone;
};

const EntreeNav entreesNav[] = {
    {Ecran::Genre::tableau, "Tableau de bord", "tableau"}, {Ecran::Genre::appels, "Appels", "telephone"},
    {Ecran::Genre::crm, "CRM", "crm"},                     {Ecran::Genre::agenda, "Agenda", "calendrier"},
    {Ecran::Genre::relances, "Relances", "relances"},      {Ecran::Genre::quillo, "Quillo", "quillo"},
    {Ecran::Genre::equipe, "Équipe", "equipe"},            {Ecran::Genre::progresser, "Progresser", "progresser"},
    {Ecran::Genre::reglages, "Réglages", "reglages"},
};

// The sidebar entry a screen belongs to.
Ecran::Genre rubrique(Ecran::Genre g)
{
    using G = Ecran::Genre;
    switch (g) {
    case G::ficheAppel: case G::analyse: case G::enAppel: case G::nouvelAppel: case G::exemplaire: return G::appels;
    case G::ficheContact: case G::profils: case G::framework: return G::crm;
    case G::classement: case G::admin: return G::equipe;
    default: return g;
    }
}

} // namespace

FenetrePrincipale::FenetrePrincipale(Contexte& ctx, FabriqueEcran fabrique, QWidget* parent)
    : QMainWindow(parent), ctx_(ctx), fabrique_(std::move(fabrique))
{
    setObjectName(QStringLiteral("principale"));
    setWindowTitle(QStringLiteral("Vendalo"));
    setWindowIcon(style::icone(QStringLiteral("vendalo"), style::couleur::accent, 64));
    resize(1280, 820);

    auto* centre = new QWidget(this);
    centre->setObjectName(QStringLiteral("contenu"));
    auto* h = new QHBoxLayout(centre);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(0);

    auto* barre = new QWidget(centre);
    barre->setObjectName(QStringLiteral("barreLaterale"));
    barre->setAttribute(Qt::WA_StyledBackground);
    barre->setFixedWidth(224);
    auto* bl = new QVBoxLayout(barre);
    bl->setContentsMargins(16, 20, 16, 16);
    bl->setSpacing(4);
    auto* marque = new QHBoxLayout;
    auto* logo = new QLabel(barre);
    logo->setPixmap(style::icone(QStringLiteral("vendalo"), style::couleur::accent, 28).pixmap(28, 28));
    marque->addWidget(logo);
    auto* nom = style::etiquette(QStringLiteral("Vendalo"), {}, barre);
    nom->setObjectName(QStringLiteral("marque"));
    marque->addWidget(nom, 1);
    bl->addLayout(marque);
    bl->addSpacing(16);
    auto* nouvel = style::bouton(QStringLiteral("Nouvel appel"), QStringLiteral("primaire"), barre);
    nouvel->setIcon(style::icone(QStringLiteral("plus"), Qt::white, 16));
    connect(nouvel, &QPushButton::clicked, this, [this] { ctx_.navigation->aller(Ecran::nouvelAppel()); });
    bl->addWidget(nouvel);
    bl->addSpacing(16);
    auto* groupe = new QButtonGroup(this);
    for (const EntreeNav& e : entreesNav) {
        auto* b = new QToolButton(barre);
        b->setProperty("role", QStringLiteral("nav"));
        b->setText(QString::fromUtf8(e.libelle));
        b->setCheckable(true);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        b->setCursor(Qt::PointingHandCursor);
        QIcon ic;
        ic.addPixmap(style::icone(QString::fromLatin1(e.icone)).pixmap(18, 18), QIcon::Normal, QIcon::Off);
        ic.addPixmap(style::icone(QString::fromLatin1(e.icone), style::couleur::accent).pixmap(18, 18), QIcon::Normal, QIcon::On);
        b->setIcon(ic);
        b->setIconSize(QSize(18, 18));
        groupe->addButton(b);
        const Ecran::Genre g = e.genre;
        connect(b, &QToolButton::clicked, this, [this, g] { ctx_.navigation->aller(Ecran::de(g)); });
        if (g == Ecran::Genre::reglages)
            bl->addStretch(1);
        bl->addWidget(b);
        boutonsNav_.insert(int(g), b);
    }
    bl->addSpacing(8);
    bl->addWidget(style::filet(barre));
    bl->addWidget(new cloud::LigneSynchro(ctx_, barre));
    h->addWidget(barre);

    auto* droite = new QWidget(centre);
    auto* dl = new QVBoxLayout(droite);
    dl->setContentsMargins(32, 20, 32, 0);
    dl->setSpacing(12);
    auto* entete = new QHBoxLayout;
    entete->setSpacing(8);
    retour_ = style::bouton(QStringLiteral("Retour"), QStringLiteral("retour"), droite);
    retour_->setIcon(style::icone(QStringLiteral("retour"), style::couleur::texteSecondaire, 16));
    connect(retour_, &QPushButton::clicked, this, [this] { ctx_.navigation->retour(); });
    entete->addWidget(retour_);
    titre_ = style::etiquette({}, QStringLiteral("titrePage"), droite);
    entete->addWidget(titre_, 1);
    actionPage_ = style::bouton({}, QStringLiteral("primaire"), droite);
    connect(actionPage_, &QPushButton::clicked, this, [this] {
        if (EcranBase* p = pageCourante())
            if (auto a = p->actionPrincipale())
                a->faire();
    });
    entete->addWidget(actionPage_);
    dl->addLayout(entete);
    pile_ = new QStackedWidget(droite);
    dl->addWidget(pile_, 1);
    h->addWidget(droite, 1);
    setCentralWidget(centre);

    toasts_ = new ZoneToasts(*ctx_.toasts, *ctx_.horloge, centre);

    construireMenus();
    connect(ctx_.navigation, &Navigation::ecranChange, this, &FenetrePrincipale::montrerEcran);
    montrerEcran();
}

QAction* FenetrePrincipale::ajouter(QMenu* menu, const QString& nom, const QString& texte, const QKeySequence& raccourci,
                                    std::function<void()> faire)
{
    QAction* a = menu->addAction(texte);
    if (!raccourci.isEmpty())
        a->setShortcut(raccourci);
    connect(a, &QAction::triggered, this, [faire = std::move(faire)] { faire(); });
    actions_.insert(nom, a);
    return a;
}

void FenetrePrincipale::construireMenus()
{
    Navigation* nav = ctx_.navigation;
    QMenu* app = menuBar()->addMenu(QStringLiteral("Vendalo"));
    ajouter(app, QStringLiteral("reglages"), QStringLiteral("Réglages…"), QKeySequence(QStringLiteral("Ctrl+,")),
            [nav] { nav->aller(Ecran::de(Ecran::Genre::reglages)); });
    ajouter(app, QStringLiteral("misesAJour"), QStringLiteral("Rechercher les mises à jour…"), {}, [this] { Q_EMIT verifierMisesAJour(); });
    app->addSeparator();
    ajouter(app, QStringLiteral("quitter"), QStringLiteral("Quitter Vendalo"), QKeySequence(QStringLiteral("Ctrl+Q")),
            [this] { Q_EMIT quitterDemande(); });

    QMenu* fichier = menuBar()->addMenu(QStringLiteral("Fichier"));
    ajouter(fichier, QStringLiteral("nouvelAppel"), QStringLiteral("Nouvel appel"), QKeySequence(QStringLiteral("Ctrl+N")),
            [nav] { nav->aller(Ecran::nouvelAppel()); });
    fichier->addSeparator();
    ajouter(fichier, QStringLiteral("fermer"), QStringLiteral("Fermer la fenêtre"), QKeySequence(QStringLiteral("Ctrl+W")), [this] { close(); });

    QMenu* appel = menuBar()->addMenu(QStringLiteral("Appel"));
    ajouter(appel, QStringLiteral("afficherQuillo"), QStringLiteral("Afficher Quillo"), QKeySequence(QStringLiteral("Ctrl+Alt+S")), [this] {
        if (basculerQuillo_)
            basculerQuillo_();
    });
    ajouter(appel, QStringLiteral("revenirAppel"), QStringLiteral("Revenir à l'appel"), {}, [nav] { nav->aller(Ecran::de(Ecran::Genre::enAppel)); });
    connect(appel, &QMenu::aboutToShow, this, [this] {
        const bool actif = ctx_.appelActif && ctx_.appelActif();
        actions_.value(QStringLiteral("revenirAppel"))->setEnabled(actif);
        actions_.value(QStringLiteral("afficherQuillo"))->setEnabled(actif && basculerQuillo_);
    });

    QMenu* aller = menuBar()->addMenu(QStringLiteral("Aller"));
    ajouter(aller, QStringLiteral("tableau"), QStringLiteral("Tableau de bord"), QKeySequence(QStringLiteral("Ctrl+1")),
            [nav] { nav->aller(Ecran::de(Ecran::Genre::tableau)); });
    ajouter(aller, QStringLiteral("appels"), QStringLiteral("Appels"), QKeySequence(QStringLiteral("Ctrl+2")),
            [nav] { nav->aller(Ecran::de(Ecran::Genre::appels)); });
    ajouter(aller, QStringLiteral("crm"), QStringLiteral("CRM"), QKeySequence(QStringLiteral("Ctrl+3")), [nav] { nav->aller(Ecran::de(Ecran::Genre::crm)); });
    ajouter(aller, QStringLiteral("quillo"), QStringLiteral("Quillo"), QKeySequence(QStringLiteral("Ctrl+J")),
            [nav] { nav->aller(Ecran::de(Ecran::Genre::quillo)); });
    ajouter(aller, QStringLiteral("profils"), QStringLiteral("Profils"), QKeySequence(QStringLiteral("Ctrl+4")),
            [nav] { nav->aller(Ecran::profils(QStringLiteral("profils"))); });
    ajouter(aller, QStringLiteral("framework"), QStringLiteral("Framework de vente"), QKeySequence(QStringLiteral("Ctrl+5")),
            [nav] { nav->aller(Ecran::de(Ecran::Genre::framework)); });
    aller->addSeparator();
    ajouter(aller, QStringLiteral("retour"), QStringLiteral("Retour"), QKeySequence(QStringLiteral("Ctrl+[")), [nav] { nav->retour(); });
    connect(aller, &QMenu::aboutToShow, this, [this] { actions_.value(QStringLiteral("retour"))->setEnabled(ctx_.navigation->peutRevenir()); });

    QMenu* aide = menuBar()->addMenu(QStringLiteral("Aide"));
    ajouter(aide, QStringLiteral("priseEnMain"), QStringLiteral("Prise en main"), {}, [this] { Q_EMIT priseEnMain(); });
    ajouter(aide, QStringLiteral("aideTickets"), QStringLiteral("Aide et tickets"), QKeySequence(QKeySequence::HelpContents),
            [nav] { nav->aller(Ecran::aide()); });
    ajouter(aide, QStringLiteral("appelSimule"), QStringLiteral("Essayer un appel simulé"), {}, [this] {
        if (!ctx_.lancerAppelSimule)
            return;
        if (auto refus = ctx_.lancerAppelSimule())
            ctx_.toasts->montrer(*refus, Toasts::Toast::Genre::erreur);
    });
    connect(aide, &QMenu::aboutToShow, this, [this] {
        const bool masquee = ctx_.preferences && ctx_.preferences->valeur(QStringLiteral("vd.priseEnMain.masquee"), false).toBool();
        actions_.value(QStringLiteral("priseEnMain"))->setVisible(!masquee);
    });
    connect(app, &QMenu::aboutToShow, this, [this] {
        actions_.value(QStringLiteral("misesAJour"))->setEnabled(ctx_.misesAJour && ctx_.misesAJour->actif());
    });
}

void FenetrePrincipale::setActionsAppel(std::function<void()> basculerQuillo)
{
    basculerQuillo_ = std::move(basculerQuillo);
}

EcranBase* FenetrePrincipale::pageCourante() const
{
    return qobject_cast<EcranBase*>(pile_->currentWidget());
}

void FenetrePrincipale::montrerEcran()
{
    const Ecran& e = ctx_.navigation->ecran();
    EcranBase* page = pages_.value(int(e.genre));
    if (!page) {
        page = fabrique_(e.genre, pile_);
        if (!page)
            return;
        pages_.insert(int(e.genre), page);
        pile_->addWidget(page);
        connect(page, &EcranBase::enTeteChange, this, [this, page] {
            if (page == pageCourante())
                majEnTete();
        });
    }
    page->afficher(e);
    pile_->setCurrentWidget(page);
    if (QToolButton* b = boutonsNav_.value(int(rubrique(e.genre))))
        b->setChecked(true);
    majEnTete();
}

void FenetrePrincipale::majEnTete()
{
    EcranBase* p = pageCourante();
    titre_->setText(p ? p->titre() : QString());
    retour_->setVisible(ctx_.navigation->peutRevenir());
    const auto a = p ? p->actionPrincipale() : std::nullopt;
    actionPage_->setVisible(bool(a));
    if (a)
        actionPage_->setText(a->libelle);
}

void FenetrePrincipale::closeEvent(QCloseEvent* e)
{
    // Closing hides the window; the app lives on in the status item.
    Q_EMIT fermee();
    e->accept();
}

void FenetrePrincipale::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    if (toasts_)
        toasts_->placer();
}

} // namespace vd::app
