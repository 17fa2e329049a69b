#include "ecranframework.h"

#include "ai/moteur.h"
#include "blocsframework.h"
#include "editeurframework.h"
#include "model/store.h"
#include "platform/horloge.h"
#include "ui/ecrans/style.h"
#include "ui/toasts.h"

#include <QGridLayout>
#include <QHash>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QUuid>

namespace vd::team {

using ui::style::bouton;
using ui::style::etiquette;
using Genre = ui::Toasts::Toast::Genre;

namespace {

const QString titreEcran = QStringLiteral("Framework de vente");

// A sample method for the demonstration, in the words a team lead would use.
const QString methodeDemo = QStringLiteral(
    "1. Accueil : on cadre l'appel, son objectif et le temps dont dispose le prospect.\n"
    "2. Découverte : on fait décrire la situation actuelle, le problème principal et ce qu'il coûte chaque mois.\n"
    "3. Démonstration : on ne montre que ce qui répond aux problèmes dits, et on demande une réaction après chaque point.\n"
    "4. Conclusion : on traite le dernier frein et on fixe une date de démarrage ou de décision.");

QString nouvelId() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }

QLabel* texteLong(const QString& t, const QString& role, QWidget* parent)
{
    QLabel* l = etiquette(t, role, parent);
    l->setWordWrap(true);
    return l;
}

QString nEtapes(qsizetype n) { return n == 1 ? QStringLiteral("1 étape") : QStringLiteral("%1 étapes").arg(n); }

} // namespace

EcranFramework::EcranFramework(ui::Contexte& ctx, ai::Moteur& moteur, ai::ClientIABase& client, bool demo, QWidget* parent)
    : EcranBase(ctx, parent), moteur_(moteur), demo_(demo)
{
    auto* racine = new QVBoxLayout(this);
    racine->setContentsMargins(0, 0, 0, 0);
    pages_ = new QStackedWidget(this);
    racine->addWidget(pages_);

    auto* defil = new QScrollArea(pages_);
    defil->setObjectName(QStringLiteral("page"));
    defil->setWidgetResizable(true);
    auto* interieur = new QWidget(defil);
    interieur->setObjectName(QStringLiteral("pageInterieur"));
    auto* corps = new QVBoxLayout(interieur);
    corps->setContentsMargins(32, 24, 32, 32);
    corps->setSpacing(16);
    defil->setWidget(interieur);
    pages_->addWidget(defil);

    corps->addWidget(texteLong(QStringLiteral("Le process que Quillo suit pendant vos appels : les étapes, leurs questions, "
                                              "leur poids dans le score et la grille de qualification."),
                               QStringLiteral("secondaire"), interieur));
    corps->addWidget(etiquette(QStringLiteral("Vos frameworks"), QStringLiteral("titreSection"), interieur));
    auto* carteListe = ui::style::carte(QStringLiteral("carte"), interieur);
    liste_ = new QVBoxLayout(carteListe);
    liste_->setContentsMargins(20, 8, 20, 8);
    liste_->setSpacing(0);
    corps->addWidget(carteListe);

    corps->addSpacing(8);
    corps->addWidget(etiquette(QStringLiteral("Partir d'un modèle"), QStringLiteral("titreSection"), interieur));
    corps->addWidget(construireModeles(interieur));

    methode_ = new BlocMethodePerso(ctx_, moteur_, client, demo_, interieur);
    corps->addWidget(methode_);

    corps->addSpacing(8);
    titreQuestions_ = etiquette(QStringLiteral("Ce que disent vos appels"), QStringLiteral("titreSection"), interieur);
    corps->addWidget(titreQuestions_);
    questions_ = new BlocQuestions(ctx_, moteur_, interieur);
    corps->addWidget(questions_);
    propositions_ = new BlocPropositions(ctx_, demo_, interieur);
    corps->addWidget(propositions_);
    corps->addStretch(1);

    editeur_ = new EditeurFramework(*ctx_.store, ctx_.compteConnecte, pages_);
    pages_->addWidget(editeur_);

    connect(editeur_, &EditeurFramework::annule, this, &EcranFramework::revenirALaListe);
    connect(editeur_, &EditeurFramework::enregistre, this, [this](const QString& id) {
        if (ctx_.toasts)
            ctx_.toasts->montrer(QStringLiteral("Framework enregistré."), Genre::ok);
        methode_->apresEnregistrement(id);
        revenirALaListe();
    });
    // The proposal grows the card: the section asked for stays in sight.
    connect(&methode_->analyse(), &AnalyseMethodePerso::change, this, &EcranFramework::defiler);
    connect(methode_, &BlocMethodePerso::ajuster, this, [this](const FrameworkVente& f) { ouvrirEditeur(f); });

    // The lists follow the store once changes settle, and only while the screen is shown.
    if (ctx_.horloge) {
        relire_ = ctx_.horloge->creerMinuterie(this);
        relire_->setUnique(true);
        connect(relire_, &platform::Minuterie::expire, this, [this] {
            remplirListe();
            questions_->actualiser();
        });
    }
    connect(ctx_.store, &model::Store::etatChange, this, [this] {
        listePerimee_ = true;
        if (!isVisible())
            return;
        if (relire_)
            relire_->demarrer(500);
        else {
            remplirListe();
            questions_->actualiser();
        }
    });
}

QString EcranFramework::titre() const { return titreEcran; }

std::optional<ui::EcranBase::Action> EcranFramework::actionPrincipale() const
{
    if (pages_->currentWidget() == editeur_)
        return std::nullopt;
    auto* moi = const_cast<EcranFramework*>(this);
    return Action{QStringLiteral("Nouveau framework"), [moi] {
                      const model::Etat& e = moi->ctx_.store->etat();
                      moi->ouvrirEditeur(frameworkParDefaut(e.reglages.methode, nouvelId(), moi->ctx_.store->horodatageMaintenant(),
                                                            moi->grilles()));
                  }};
}

void EcranFramework::showEvent(QShowEvent* e)
{
    EcranBase::showEvent(e);
    if (listePerimee_) {
        remplirListe();
        questions_->actualiser();
    }
}

void EcranFramework::afficher(const ui::Ecran& e)
{
    remplirListe();
    questions_->actualiser();
    propositions_->actualiser();
    const QString charge = e.charge.value_or(QString());
    defilerVers_ = nullptr;
    if (charge.isEmpty()) {
        // Back on the screen with a draft open: the draft is still there.
        if (pages_->currentWidget() != editeur_ || !editeur_->modifie())
            revenirALaListe();
        return;
    }
    const QHash<QString, QWidget*> sections{{QStringLiteral("methode"), methode_},
                                            {QStringLiteral("questions"), titreQuestions_},
                                            {QStringLiteral("propositions"), propositions_}};
    if (QWidget* section = sections.value(charge)) {
        revenirALaListe();
        defilerVers_ = section;
        if (demo_ && defilerVers_ == methode_ && methode_->analyse().etat() == AnalyseMethodePerso::Etat::saisie) {
            methode_->setTexte(methodeDemo);
            methode_->analyse().analyser();
        }
        defiler();
        return;
    }
    const qsizetype i = charge.indexOf(QLatin1Char(':'));
    modifier(i < 0 ? charge : charge.left(i), i < 0 ? std::nullopt : std::optional(charge.mid(i + 1)));
}

// The section asked for at the top of the page, once the layout has taken its changes.
void EcranFramework::defiler()
{
    QMetaObject::invokeMethod(this, [this] {
        if (!defilerVers_ || pages_->currentIndex() != 0)
            return;
        auto* defil = static_cast<QScrollArea*>(pages_->widget(0));
        defil->widget()->layout()->activate();
        defil->verticalScrollBar()->setValue(defilerVers_->y() - 8);
    }, Qt::QueuedConnection);
}

QList<GrilleQualification> EcranFramework::grilles()
{
    if (!grilles_)
        grilles_ = grillesDepuisMoteur(moteur_.donnee(QStringLiteral("GRILLES_QUALIFICATION")).toArray());
    return *grilles_;
}

void EcranFramework::ouvrirEditeur(const FrameworkVente& f, const std::optional<QString>& etapeId)
{
    editeur_->ouvrir(f, etapeId);
    pages_->setCurrentWidget(editeur_);
    Q_EMIT enTeteChange();
}

void EcranFramework::revenirALaListe()
{
    if (pages_->currentIndex() == 0)
        return;
    pages_->setCurrentIndex(0);
    remplirListe();
    Q_EMIT enTeteChange();
}

void EcranFramework::partirDuModele(const QString& modeleId)
{
    if (const auto m = modeleCycle(modeleId))
        ouvrirEditeur(frameworkDepuisModele(*m, nouvelId(), ctx_.store->horodatageMaintenant(), grilles()));
}

void EcranFramework::modifier(const QString& id, const std::optional<QString>& etapeId)
{
    if (const auto f = frameworkParId(ctx_.store->etat(), id))
        ouvrirEditeur(*f, etapeId);
    else
        revenirALaListe();
}

QWidget* EcranFramework::construireModeles(QWidget* parent)
{
    auto* w = new QWidget(parent);
    auto* g = new QGridLayout(w);
    g->setContentsMargins(0, 0, 0, 0);
    g->setSpacing(16);
    const QList<ModeleCycle> modeles = modelesCycle();
    for (qsizetype i = 0; i < modeles.size(); ++i) {
        const ModeleCycle& m = modeles[i];
        auto* c = ui::style::carte(QStringLiteral("carteGrise"), w);
        auto* v = new QVBoxLayout(c);
        v->setContentsMargins(16, 14, 16, 14);
        v->setSpacing(6);
        v->addWidget(etiquette(m.nom, QStringLiteral("titreCarte"), c));
        v->addWidget(texteLong(m.description, QStringLiteral("secondaire"), c));
        v->addWidget(texteLong(QStringLiteral("Pour\u00A0: ") + m.pourQui, QStringLiteral("legende"), c));
        v->addStretch(1);
        auto* h = new QHBoxLayout;
        h->addWidget(etiquette(nEtapes(m.etapes.size()) + QStringLiteral(" · grille ") + grilleParId(grilles(), m.grille).nom,
                               QStringLiteral("legende"), c));
        h->addStretch(1);
        auto* b = bouton(QStringLiteral("Partir de ce modèle"), {}, c);
        b->setObjectName(QStringLiteral("modele_") + m.id);
        const QString id = m.id;
        connect(b, &QPushButton::clicked, this, [this, id] { partirDuModele(id); });
        h->addWidget(b);
        v->addLayout(h);
        g->addWidget(c, int(i / 2), int(i % 2));
    }
    return w;
}

void EcranFramework::remplirListe()
{
    listePerimee_ = false;
    ui::style::vider(liste_);
    QWidget* carte = liste_->parentWidget();
    const QList<FrameworkVente> tous = frameworksDe(ctx_.store->etat());
    if (tous.isEmpty()) {
        auto* vide = texteLong(QStringLiteral("Aucun framework pour l'instant. Partez d'un modèle ci-dessous ou de votre propre "
                                              "méthode : Quillo suivra ses étapes pendant vos appels."),
                               QStringLiteral("secondaire"), carte);
        vide->setContentsMargins(0, 12, 0, 12);
        liste_->addWidget(vide);
        return;
    }
    for (qsizetype i = 0; i < tous.size(); ++i) {
        const FrameworkVente f = tous[i];
        if (i > 0)
            liste_->addWidget(ui::style::filet(carte));
        auto* ligne = new QWidget(carte);
        ligne->setObjectName(QStringLiteral("framework_") + f.id);
        auto* h = new QHBoxLayout(ligne);
        h->setContentsMargins(0, 12, 0, 12);
        h->setSpacing(12);
        auto* v = new QVBoxLayout;
        v->setSpacing(4);
        auto* haut = new QHBoxLayout;
        haut->setSpacing(8);
        haut->addWidget(etiquette(f.nom.isEmpty() ? QStringLiteral("Sans nom") : f.nom, QStringLiteral("titreCarte"), ligne));
        if (f.parDefaut)
            haut->addWidget(etiquette(QStringLiteral("Par défaut"), QStringLiteral("chipBleu"), ligne));
        haut->addWidget(etiquette(f.actif ? QStringLiteral("Actif") : QStringLiteral("Désactivé"),
                                  f.actif ? QStringLiteral("chipGris") : QStringLiteral("chipAmbre"), ligne));
        haut->addStretch(1);
        v->addLayout(haut);
        QStringList details{nEtapes(f.etapes.size()), QStringLiteral("grille ") + f.grille().nom};
        if (!f.majLe.isEmpty())
            details << QStringLiteral("modifié le ") + ui::style::dateCourte(f.majLe, false);
        v->addWidget(etiquette(details.join(QStringLiteral(" · ")), QStringLiteral("secondaire"), ligne));
        if (!f.description.isEmpty())
            v->addWidget(texteLong(f.description, QStringLiteral("legende"), ligne));
        auto* actions = new QHBoxLayout;
        actions->setSpacing(12);
        auto lien = [&](const QString& t, auto faire) {
            auto* b = bouton(t, QStringLiteral("lien"), ligne);
            connect(b, &QPushButton::clicked, this, faire);
            actions->addWidget(b);
            return b;
        };
        const QString id = f.id;
        lien(QStringLiteral("Dupliquer"), [this, f] { dupliquer(f); });
        if (!f.parDefaut)
            lien(QStringLiteral("Utiliser par défaut"), [this, id] { definirParDefaut(*ctx_.store, id); });
        lien(f.actif ? QStringLiteral("Désactiver") : QStringLiteral("Activer"),
             [this, id, actif = f.actif] { activer(*ctx_.store, id, !actif); });
        lien(QStringLiteral("Supprimer…"), [this, f] { supprimer(f); });
        actions->addStretch(1);
        v->addLayout(actions);
        h->addLayout(v, 1);
        auto* modifier = bouton(QStringLiteral("Modifier"), {}, ligne);
        modifier->setObjectName(QStringLiteral("modifier_") + f.id);
        connect(modifier, &QPushButton::clicked, this, [this, id] { this->modifier(id); });
        h->addWidget(modifier, 0, Qt::AlignTop);
        liste_->addWidget(ligne);
    }
}

void EcranFramework::dupliquer(const FrameworkVente& f)
{
    FrameworkVente c = f;
    c.id = nouvelId();
    c.nom = f.nom.trimmed().left(limites::nom - 8) + QStringLiteral(" (copie)");
    c.parDefaut = false;
    c.creeLe.clear();
    c.majLe.clear();
    c.creePar.reset();
    c.majPar.reset();
    if (auto m = enregistrerFramework(*ctx_.store, c, ctx_.compteConnecte ? ctx_.compteConnecte() : std::nullopt)) {
        if (ctx_.toasts)
            ctx_.toasts->montrer(*m, Genre::erreur);
        return;
    }
    if (ctx_.toasts)
        ctx_.toasts->montrer(QStringLiteral("Copie créée : « %1 ».").arg(c.nom), Genre::ok);
}

void EcranFramework::supprimer(const FrameworkVente& f)
{
    QMessageBox boite(this);
    boite.setIcon(QMessageBox::Warning);
    boite.setWindowTitle(QStringLiteral("Supprimer le framework"));
    boite.setText(QStringLiteral("Supprimer « %1 »\u00A0?").arg(f.nom));
    boite.setInformativeText(f.parDefaut ? QStringLiteral("C'est votre framework par défaut : les prochains appels n'en suivront plus. "
                                                          "Les analyses déjà faites restent.")
                                         : QStringLiteral("Les analyses déjà faites restent."));
    QPushButton* oui = boite.addButton(QStringLiteral("Supprimer"), QMessageBox::DestructiveRole);
    boite.addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole);
    boite.exec();
    if (boite.clickedButton() != oui)
        return;
    if (supprimerFramework(*ctx_.store, f.id) && ctx_.toasts)
        ctx_.toasts->montrer(QStringLiteral("Framework supprimé."), Genre::info);
}

} // namespace vd::team
