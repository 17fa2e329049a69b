#include "ecranprofils.h"

#include "crm/bibliothequecrm.h"
#include "model/store.h"
#include "ai/moteur.h"
#include "ui/ecrans/style.h"
#include "ui/toasts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

namespace vd::crm {

namespace st = ui::style;

EcranProfils::EcranProfils(ui::Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 8, 0, 16);
    onglets_ = new QTabWidget(this);
    onglets_->addTab(ongletProfils(), QStringLiteral("Profils clients"));
    onglets_->addTab(ongletObjections(), QStringLiteral("Objections"));
    l->addWidget(onglets_);
    connect(ctx_.store, &model::Store::etatChange, this, [this] {
        if (isVisible())
            remplirListes();
    });
}

QLineEdit* EcranProfils::champ(const QString& nom) const
{
    for (QLineEdit* e : lignes_)
        if (e->objectName() == nom)
            return e;
    return nullptr;
}

QPlainTextEdit* EcranProfils::zone(const QString& nom) const
{
    for (QPlainTextEdit* e : zones_)
        if (e->objectName() == nom)
            return e;
    return nullptr;
}

namespace {

QListWidget* liste(QWidget* parent)
{
    auto* w = new QListWidget(parent);
    w->setFixedWidth(280);
    w->setSpacing(2);
    return w;
}

} // namespace

QWidget* EcranProfils::ongletProfils()
{
    auto* w = new QWidget(this);
    auto* h = new QHBoxLayout(w);
    h->setContentsMargins(0, 16, 0, 0);
    h->setSpacing(16);
    auto* gauche = new QVBoxLayout;
    listeProfils_ = liste(w);
    listeProfils_->setObjectName(QStringLiteral("listeProfils"));
    gauche->addWidget(listeProfils_, 1);
    auto* nouveau = st::bouton(QStringLiteral("Nouveau profil"), {}, w);
    connect(nouveau, &QPushButton::clicked, this, &EcranProfils::nouveauProfil);
    gauche->addWidget(nouveau);
    h->addLayout(gauche);

    QFrame* carte = st::carte(QStringLiteral("carte"), w);
    auto* g = new QGridLayout(carte);
    g->setContentsMargins(16, 14, 16, 14);
    g->setHorizontalSpacing(16);
    g->setVerticalSpacing(4);
    int r = 0;
    auto ligne = [&](const QString& nom, const QString& titre, int col, const QString& aide = {}) {
        g->addWidget(st::etiquette(titre, QStringLiteral("legende"), carte), r, col);
        auto* e = new QLineEdit(carte);
        e->setObjectName(nom);
        e->setPlaceholderText(aide);
        connect(e, &QLineEdit::returnPressed, this, &EcranProfils::enregistrerProfil);
        lignes_.append(e);
        g->addWidget(e, r + 1, col);
    };
    auto zoneTexte = [&](const QString& nom, const QString& titre, int col) {
        g->addWidget(st::etiquette(titre + QStringLiteral(" (une par ligne)"), QStringLiteral("legende"), carte), r, col);
        auto* z = new QPlainTextEdit(carte);
        z->setObjectName(nom);
        z->setFixedHeight(84);
        zones_.append(z);
        g->addWidget(z, r + 1, col);
    };
    ligne(QStringLiteral("profilNom"), QStringLiteral("Nom du profil"), 0, QStringLiteral("PME de maintenance"));
    ligne(QStringLiteral("profilTypeVente"), QStringLiteral("Type de vente"), 1, QStringLiteral("B2B, cycle court…"));
    r += 2;
    ligne(QStringLiteral("profilRole"), QStringLiteral("Interlocuteur type"), 0, QStringLiteral("Directeur des opérations"));
    ligne(QStringLiteral("profilSecteur"), QStringLiteral("Secteur"), 1);
    r += 2;
    ligne(QStringLiteral("profilTaille"), QStringLiteral("Taille"), 0, QStringLiteral("20 à 200 salariés"));
    ligne(QStringLiteral("profilMaturite"), QStringLiteral("Maturité"), 1);
    r += 2;
    zoneTexte(QStringLiteral("profilDouleurs"), QStringLiteral("Douleurs"), 0);
    zoneTexte(QStringLiteral("profilObjectifs"), QStringLiteral("Objectifs"), 1);
    r += 2;
    zoneTexte(QStringLiteral("profilDeclencheurs"), QStringLiteral("Déclencheurs"), 0);
    zoneTexte(QStringLiteral("profilCriteres"), QStringLiteral("Critères de choix"), 1);
    r += 2;
    erreurProfil_ = st::etiquette(QString(), QStringLiteral("erreur"), carte);
    erreurProfil_->hide();
    g->addWidget(erreurProfil_, r++, 0, 1, 2);
    auto* pied = new QHBoxLayout;
    auto* sup = st::bouton(QStringLiteral("Supprimer le profil"), QStringLiteral("danger"), carte);
    connect(sup, &QPushButton::clicked, this, [this] {
        if (profilId_.isEmpty())
            return;
        if (QMessageBox::question(this, QStringLiteral("Supprimer le profil"),
                                  QStringLiteral("Supprimer ce profil ? Les contacts qui y sont rattachés restent, sans profil.")) != QMessageBox::Yes)
            return;
        if (auto res = supprimerProfil(*ctx_.store, profilId_); !res)
            ctx_.toasts->montrer(res.erreur(), ui::Toasts::Toast::Genre::erreur);
        else
            nouveauProfil();
    });
    pied->addWidget(sup);
    pied->addStretch(1);
    auto* ok = st::bouton(QStringLiteral("Enregistrer le profil"), QStringLiteral("primaire"), carte);
    ok->setObjectName(QStringLiteral("enregistrerProfil"));
    connect(ok, &QPushButton::clicked, this, &EcranProfils::enregistrerProfil);
    pied->addWidget(ok);
    g->addLayout(pied, r++, 0, 1, 2);
    g->setRowStretch(r, 1);
    h->addWidget(carte, 1);
    connect(listeProfils_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* it) {
        if (it)
            choisirProfil(it->data(Qt::UserRole).toString());
    });
    return w;
}

QWidget* EcranProfils::ongletObjections()
{
    auto* w = new QWidget(this);
    auto* h = new QHBoxLayout(w);
    h->setContentsMargins(0, 16, 0, 0);
    h->setSpacing(16);
    auto* gauche = new QVBoxLayout;
    listeObjections_ = liste(w);
    listeObjections_->setObjectName(QStringLiteral("listeObjections"));
    gauche->addWidget(listeObjections_, 1);
    auto* nouvelle = st::bouton(QStringLiteral("Nouvelle objection"), {}, w);
    connect(nouvelle, &QPushButton::clicked, this, &EcranProfils::nouvelleObjection);
    gauche->addWidget(nouvelle);
    h->addLayout(gauche);

    QFrame* carte = st::carte(QStringLiteral("carte"), w);
    auto* v = new QVBoxLayout(carte);
    v->setContentsMargins(16, 14, 16, 14);
    v->setSpacing(4);
    v->addWidget(st::etiquette(QStringLiteral("Objection"), QStringLiteral("legende"), carte));
    auto* libelle = new QLineEdit(carte);
    libelle->setObjectName(QStringLiteral("objectionLibelle"));
    libelle->setPlaceholderText(QStringLiteral("C'est trop cher pour nous"));
    connect(libelle, &QLineEdit::returnPressed, this, &EcranProfils::enregistrerObjection);
    lignes_.append(libelle);
    v->addWidget(libelle);
    v->addSpacing(8);
    v->addWidget(st::etiquette(QStringLiteral("Catégorie"), QStringLiteral("legende"), carte));
    categorie_ = new QComboBox(carte);
    categorie_->setObjectName(QStringLiteral("objectionCategorie"));
    for (const QJsonValue& c : ai::Moteur::instance().donnee(QStringLiteral("CATEGORIES_OBJECTION")).toArray()) {
        const QJsonObject o = c.toObject();
        categorie_->addItem(o.value(QLatin1String("libelle")).toString(), o.value(QLatin1String("id")).toString());
    }
    if (categorie_->findData(QStringLiteral("autre")) < 0)
        categorie_->addItem(QStringLiteral("Autre"), QStringLiteral("autre"));
    v->addWidget(categorie_);
    v->addSpacing(8);
    v->addWidget(st::etiquette(QStringLiteral("Réponse préparée"), QStringLiteral("legende"), carte));
    auto* reponse = new QPlainTextEdit(carte);
    reponse->setObjectName(QStringLiteral("objectionReponse"));
    reponse->setFixedHeight(140);
    zones_.append(reponse);
    v->addWidget(reponse);
    erreurObjection_ = st::etiquette(QString(), QStringLiteral("erreur"), carte);
    erreurObjection_->hide();
    v->addWidget(erreurObjection_);
    auto* pied = new QHBoxLayout;
    auto* sup = st::bouton(QStringLiteral("Supprimer l'objection"), QStringLiteral("danger"), carte);
    connect(sup, &QPushButton::clicked, this, [this] {
        if (objectionId_.isEmpty())
            return;
        if (QMessageBox::question(this, QStringLiteral("Supprimer l'objection"), QStringLiteral("Retirer cette objection de la bibliothèque ?")) !=
            QMessageBox::Yes)
            return;
        if (auto res = supprimerObjection(*ctx_.store, objectionId_); !res)
            ctx_.toasts->montrer(res.erreur(), ui::Toasts::Toast::Genre::erreur);
        else
            nouvelleObjection();
    });
    pied->addWidget(sup);
    pied->addStretch(1);
    auto* ok = st::bouton(QStringLiteral("Enregistrer l'objection"), QStringLiteral("primaire"), carte);
    ok->setObjectName(QStringLiteral("enregistrerObjection"));
    connect(ok, &QPushButton::clicked, this, &EcranProfils::enregistrerObjection);
    pied->addWidget(ok);
    v->addLayout(pied);
    v->addStretch(1);
    h->addWidget(carte, 1);
    connect(listeObjections_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* it) {
        if (it)
            choisirObjection(it->data(Qt::UserRole).toString());
    });
    return w;
}

void EcranProfils::afficher(const ui::Ecran& e)
{
    onglets_->setCurrentIndex(e.charge == QLatin1String("objections") ? 1 : 0);
    remplirListes();
    if (profilId_.isEmpty() && listeProfils_->count() > 0)
        listeProfils_->setCurrentRow(0);
    if (objectionId_.isEmpty() && listeObjections_->count() > 0)
        listeObjections_->setCurrentRow(0);
}

void EcranProfils::remplirListes()
{
    const model::Etat& etat = ctx_.store->etat();
    {
        const QSignalBlocker b(listeProfils_);
        listeProfils_->clear();
        for (const model::ProfilClient& p : etat.profilsClients) {
            auto* it = new QListWidgetItem(p.nom.isEmpty() ? QStringLiteral("Profil sans nom") : p.nom, listeProfils_);
            it->setData(Qt::UserRole, p.id);
            it->setSizeHint(QSize(0, 36));
            if (p.id == profilId_)
                listeProfils_->setCurrentItem(it);
        }
    }
    {
        const QSignalBlocker b(listeObjections_);
        listeObjections_->clear();
        for (const model::ObjectionLib& o : etat.objections) {
            auto* it = new QListWidgetItem(o.libelle, listeObjections_);
            it->setData(Qt::UserRole, o.id);
            it->setSizeHint(QSize(0, 36));
            if (o.id == objectionId_)
                listeObjections_->setCurrentItem(it);
        }
    }
}

void EcranProfils::choisirProfil(const QString& id)
{
    profilId_ = id;
    erreurProfil_->hide();
    model::ProfilClient p;
    for (const model::ProfilClient& x : ctx_.store->etat().profilsClients)
        if (x.id == id)
            p = x;
    champ(QStringLiteral("profilNom"))->setText(p.nom);
    champ(QStringLiteral("profilTypeVente"))->setText(p.typeVente);
    champ(QStringLiteral("profilRole"))->setText(p.role);
    champ(QStringLiteral("profilSecteur"))->setText(p.secteur);
    champ(QStringLiteral("profilTaille"))->setText(p.taille);
    champ(QStringLiteral("profilMaturite"))->setText(p.maturite);
    zone(QStringLiteral("profilDouleurs"))->setPlainText(p.douleurs.join(QLatin1Char('\n')));
    zone(QStringLiteral("profilObjectifs"))->setPlainText(p.objectifs.join(QLatin1Char('\n')));
    zone(QStringLiteral("profilDeclencheurs"))->setPlainText(p.declencheurs.join(QLatin1Char('\n')));
    zone(QStringLiteral("profilCriteres"))->setPlainText(p.criteres.join(QLatin1Char('\n')));
}

void EcranProfils::choisirObjection(const QString& id)
{
    objectionId_ = id;
    erreurObjection_->hide();
    model::ObjectionLib o;
    for (const model::ObjectionLib& x : ctx_.store->etat().objections)
        if (x.id == id)
            o = x;
    champ(QStringLiteral("objectionLibelle"))->setText(o.libelle);
    const int i = categorie_->findData(o.categorie.isEmpty() ? QStringLiteral("autre") : o.categorie);
    categorie_->setCurrentIndex(i < 0 ? categorie_->findData(QStringLiteral("autre")) : i);
    zone(QStringLiteral("objectionReponse"))->setPlainText(o.reponse);
}

void EcranProfils::nouveauProfil()
{
    const QSignalBlocker b(listeProfils_);
    listeProfils_->clearSelection();
    listeProfils_->setCurrentItem(nullptr);
    choisirProfil(QString());
    champ(QStringLiteral("profilNom"))->setFocus();
}

void EcranProfils::nouvelleObjection()
{
    const QSignalBlocker b(listeObjections_);
    listeObjections_->clearSelection();
    listeObjections_->setCurrentItem(nullptr);
    choisirObjection(QString());
    champ(QStringLiteral("objectionLibelle"))->setFocus();
}

bool EcranProfils::enregistrerProfil()
{
    model::ProfilClient p;
    for (const model::ProfilClient& x : ctx_.store->etat().profilsClients)
        if (x.id == profilId_)
            p = x;
    p.id = profilId_;
    p.nom = champ(QStringLiteral("profilNom"))->text();
    p.typeVente = champ(QStringLiteral("profilTypeVente"))->text();
    p.role = champ(QStringLiteral("profilRole"))->text();
    p.secteur = champ(QStringLiteral("profilSecteur"))->text();
    p.taille = champ(QStringLiteral("profilTaille"))->text();
    p.maturite = champ(QStringLiteral("profilMaturite"))->text();
    p.douleurs = lignes(zone(QStringLiteral("profilDouleurs"))->toPlainText());
    p.objectifs = lignes(zone(QStringLiteral("profilObjectifs"))->toPlainText());
    p.declencheurs = lignes(zone(QStringLiteral("profilDeclencheurs"))->toPlainText());
    p.criteres = lignes(zone(QStringLiteral("profilCriteres"))->toPlainText());
    auto r = crm::enregistrerProfil(*ctx_.store, p);
    if (!r) {
        erreurProfil_->setText(r.erreur());
        erreurProfil_->show();
        return false;
    }
    erreurProfil_->hide();
    profilId_ = r.valeur().id;
    remplirListes();
    if (ctx_.toasts)
        ctx_.toasts->montrer(QStringLiteral("Profil enregistré"), ui::Toasts::Toast::Genre::ok);
    return true;
}

bool EcranProfils::enregistrerObjection()
{
    model::ObjectionLib o;
    for (const model::ObjectionLib& x : ctx_.store->etat().objections)
        if (x.id == objectionId_)
            o = x;
    o.id = objectionId_;
    o.libelle = champ(QStringLiteral("objectionLibelle"))->text();
    o.categorie = categorie_->currentData().toString();
    o.reponse = zone(QStringLiteral("objectionReponse"))->toPlainText();
    auto r = crm::enregistrerObjection(*ctx_.store, o);
    if (!r) {
        erreurObjection_->setText(r.erreur());
        erreurObjection_->show();
        return false;
    }
    erreurObjection_->hide();
    objectionId_ = r.valeur().id;
    remplirListes();
    if (ctx_.toasts)
        ctx_.toasts->montrer(QStringLiteral("Objection enregistrée"), ui::Toasts::Toast::Genre::ok);
    return true;
}

} // namespace vd::crm
