#include "ecrancompte.h"

#include "cloud/clientsupabase.h"
#include "cloud/compte.h"
#include "ui/ecrans/style.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vd::cloud {

namespace st = ui::style;

EcranCompte::EcranCompte(ui::Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    corps_ = pageDefilante(QMargins(0, 8, 16, 24), 16);
    if (ctx_.compte) {
        // A state change swaps the page; a refresh redraws the account view (typed text is kept in
        // saisie_), unless the deletion is being confirmed.
        connect(ctx_.compte, &Compte::change, this, [this] {
            const bool etatChange = int(ctx_.compte->etat()) != etatAffiche_;
            if (vue() != affichee_ || etatChange || (affichee_ == Vue::compte && !enCours_ && !apercu_))
                remplir();
        });
    }
    remplir();
}

ClientSupabase* EcranCompte::client() const { return ctx_.compte ? ctx_.client : nullptr; }

QString EcranCompte::titre() const { return QStringLiteral("Compte"); }

void EcranCompte::afficher(const ui::Ecran&) { remplir(); }

EcranCompte::Vue EcranCompte::vue() const
{
    if (!client())
        return Vue::local;
    const Compte::Etat e = ctx_.compte->etat();
    if (e == Compte::Etat::connecte || e == Compte::Etat::horsLigne) {
        if (ctx_.compte->besoinMotDePasse())
            return Vue::motDePasse;
        if (e == Compte::Etat::connecte && ctx_.compte->besoinEntreprise() && !entrepriseReportee_)
            return Vue::entreprise;
        return Vue::compte;
    }
    if (formulaire_ == Vue::confirmation && emailAConfirmer_.isEmpty())
        return Vue::connexion;
    return formulaire_;
}

void EcranCompte::allerA(Vue formulaire)
{
    formulaire_ = formulaire;
    erreur_.reset();
    info_.reset();
    remplir();
}

void EcranCompte::remplir()
{
    actifs_.clear();
    // Deferred: remplir() also runs inside the click of a button it removes.
    while (QLayoutItem* it = corps_->takeAt(0)) {
        if (QWidget* w = it->widget()) {
            w->hide();
            w->setParent(nullptr);
            w->deleteLater();
        }
        delete it;
    }
    affichee_ = vue();
    if (ctx_.compte)
        etatAffiche_ = int(ctx_.compte->etat());
    switch (affichee_) {
    case Vue::local: {
        QVBoxLayout* l = nullptr;
        carte(l);
        l->addWidget(st::etiquette(QStringLiteral("Compte Vendalo"), QStringLiteral("titreCarte")));
        auto* m = st::etiquette(Compte::erreurModeLocal().message, QStringLiteral("secondaire"));
        m->setWordWrap(true);
        l->addWidget(m);
        auto* a = st::etiquette(QStringLiteral("Vos appels, contacts et relances restent sur cet ordinateur ; "
                                               "tout fonctionne sans compte."),
                                QStringLiteral("secondaire"));
        a->setWordWrap(true);
        l->addWidget(a);
        break;
    }
    case Vue::connexion: remplirConnexion(); break;
    case Vue::inscription: remplirInscription(); break;
    case Vue::confirmation: remplirConfirmation(); break;
    case Vue::recuperation: remplirRecuperation(); break;
    case Vue::motDePasse: remplirMotDePasse(); break;
    case Vue::entreprise: remplirEntreprise(); break;
    case Vue::compte: remplirCompte(); break;
    }
    corps_->addStretch(1);
}

QFrame* EcranCompte::carte(QVBoxLayout*& l)
{
    QFrame* c = st::carte(QStringLiteral("carte"), this);
    c->setMaximumWidth(560);
    l = new QVBoxLayout(c);
    l->setContentsMargins(16, 14, 16, 14);
    l->setSpacing(8);
    corps_->addWidget(c);
    return c;
}

QLineEdit* EcranCompte::champ(QVBoxLayout* l, const QString& libelle, QString Saisie::*cible, const QString& nom,
                              bool secret)
{
    l->addWidget(st::etiquette(libelle, QStringLiteral("legende")));
    auto* e = new QLineEdit(saisie_.*cible);
    e->setObjectName(nom);
    if (secret)
        e->setEchoMode(QLineEdit::Password);
    e->setEnabled(!enCours_);
    connect(e, &QLineEdit::textEdited, this, [this, cible](const QString& t) { saisie_.*cible = t; });
    l->addWidget(e);
    actifs_.append(e);
    return e;
}

QPushButton* EcranCompte::bouton(QBoxLayout* l, const QString& texte, const QString& role, std::function<void()> faire)
{
    QPushButton* b = st::bouton(texte, role);
    b->setEnabled(!enCours_);
    connect(b, &QPushButton::clicked, this, std::move(faire));
    l->addWidget(b);
    actifs_.append(b);
    return b;
}

void EcranCompte::messages(QVBoxLayout* l)
{
    auto ajouter = [l](const QString& t, const QString& role, const QString& nom) {
        QLabel* m = st::etiquette(t, role);
        m->setObjectName(nom);
        m->setWordWrap(true);
        l->addWidget(m);
    };
    if (erreur_)
        ajouter(*erreur_, QStringLiteral("erreur"), QStringLiteral("erreurCompte"));
    if (info_)
        ajouter(*info_, QStringLiteral("succes"), QStringLiteral("infoCompte"));
    if (enCours_)
        ajouter(QStringLiteral("Un instant…"), QStringLiteral("secondaire"), QStringLiteral("attenteCompte"));
}

bool EcranCompte::commencer()
{
    if (enCours_ || !client())
        return false;
    enCours_ = true;
    erreur_.reset();
    info_.reset();
    remplir();
    return true;
}

void EcranCompte::finir(const std::optional<ErreurCloud>& erreur, const std::optional<QString>& info)
{
    enCours_ = false;
    google_ = false;
    // A sheet the user closed needs no message.
    if (erreur && erreur->genre != ErreurCloud::Genre::annule)
        erreur_ = erreur->message;
    info_ = info;
    remplir();
}

} // namespace vd::cloud
