#include "ecrannouvelappel.h"

#include "feuilleprevol.h"
#include "libelles.h"
#include "style.h"
#include "app/prevol.h"
#include "call/sessionappel.h"
#include "model/store.h"
#include "model/texte.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUuid>
#include <QVBoxLayout>

namespace vd::app {

namespace {

QComboBox* liste(QWidget* parent, const QList<std::pair<QString, QString>>& choix)
{
    auto* c = new QComboBox(parent);
    for (const auto& [valeur, libelle] : choix)
        c->addItem(libelle, valeur);
    c->setMinimumWidth(280);
    return c;
}

} // namespace

EcranNouvelAppel::EcranNouvelAppel(Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 8, 0, 24);
    l->setSpacing(16);
    auto* intro = style::etiquette(QStringLiteral("Trois étapes pour décrocher prêt : le prospect, le type d'appel, puis un brief."),
                                   QStringLiteral("secondaire"), this);
    l->addWidget(intro);

    auto* c1 = style::carte(QStringLiteral("carte"), this);
    auto* v1 = new QVBoxLayout(c1);
    v1->setContentsMargins(24, 20, 24, 20);
    v1->addWidget(style::etiquette(QStringLiteral("Qui appelez-vous ?"), QStringLiteral("titreCarte"), c1));
    contact_ = new QComboBox(c1);
    contact_->setMinimumWidth(360);
    v1->addWidget(contact_, 0, Qt::AlignLeft);
    nouveau_ = new QWidget(c1);
    auto* fn = new QFormLayout(nouveau_);
    fn->setContentsMargins(0, 8, 0, 0);
    prenom_ = new QLineEdit(nouveau_);
    nom_ = new QLineEdit(nouveau_);
    societe_ = new QLineEdit(nouveau_);
    fn->addRow(QStringLiteral("Prénom"), prenom_);
    fn->addRow(QStringLiteral("Nom"), nom_);
    fn->addRow(QStringLiteral("Société"), societe_);
    v1->addWidget(nouveau_);
    l->addWidget(c1);

    auto* c2 = style::carte(QStringLiteral("carte"), this);
    auto* v2 = new QVBoxLayout(c2);
    v2->setContentsMargins(24, 20, 24, 20);
    v2->addWidget(style::etiquette(QStringLiteral("L'appel"), QStringLiteral("titreCarte"), c2));
    auto* f = new QFormLayout;
    f->setHorizontalSpacing(24);
    type_ = liste(c2, {{QStringLiteral("prospection"), libelles::typeAppel(QStringLiteral("prospection"))},
                       {QStringLiteral("decouverte"), libelles::typeAppel(QStringLiteral("decouverte"))},
                       {QStringLiteral("demo"), libelles::typeAppel(QStringLiteral("demo"))},
                       {QStringLiteral("suivi"), libelles::typeAppel(QStringLiteral("suivi"))},
                       {QStringLiteral("negociation"), libelles::typeAppel(QStringLiteral("negociation"))},
                       {QStringLiteral("closing"), libelles::typeAppel(QStringLiteral("closing"))},
                       {QStringLiteral("upsell"), libelles::typeAppel(QStringLiteral("upsell"))}});
    objectif_ = new QLineEdit(c2);
    objectif_->setPlaceholderText(QStringLiteral("Par exemple : obtenir un rendez-vous de démonstration"));
    methode_ = liste(c2, {{QStringLiteral("aucune"), QStringLiteral("Aucune méthode")}, {QStringLiteral("bant"), QStringLiteral("BANT")},
                          {QStringLiteral("meddic"), QStringLiteral("MEDDIC")}, {QStringLiteral("soncas"), QStringLiteral("SONCAS")}});
    langue_ = liste(c2, {{QStringLiteral("fr"), QStringLiteral("Français")}, {QStringLiteral("en"), QStringLiteral("Anglais")},
                         {QStringLiteral("multi"), QStringLiteral("Détection auto")}});
    f->addRow(QStringLiteral("Type d'appel"), type_);
    f->addRow(QStringLiteral("Objectif"), objectif_);
    f->addRow(QStringLiteral("Méthode"), methode_);
    f->addRow(QStringLiteral("Langue"), langue_);
    v2->addLayout(f);
    l->addWidget(c2);

    erreur_ = style::etiquette({}, QStringLiteral("erreur"), this);
    erreur_->setWordWrap(true);
    erreur_->hide();
    l->addWidget(erreur_);
    auto* boutons = new QHBoxLayout;
    auto* sans = style::bouton(QStringLiteral("Passer sans brief"), {}, this);
    auto* go = style::bouton(QStringLiteral("Passer à l'appel"), QStringLiteral("primaire"), this);
    go->setObjectName(QStringLiteral("passerAlAppel"));
    boutons->addWidget(sans);
    boutons->addWidget(go);
    boutons->addStretch(1);
    l->addLayout(boutons);
    l->addStretch(1);
    connect(sans, &QPushButton::clicked, this, &EcranNouvelAppel::passerAlAppel);
    connect(go, &QPushButton::clicked, this, &EcranNouvelAppel::passerAlAppel);
    connect(contact_, &QComboBox::currentIndexChanged, this, &EcranNouvelAppel::contactChoisi);
}

void EcranNouvelAppel::afficher(const Ecran& e)
{
    erreur_->hide();
    remplirContacts(e.charge);
    langue_->setCurrentIndex(std::max(0, langue_->findData(ctx_.store->etat().reglages.langue)));
    methode_->setCurrentIndex(std::max(0, methode_->findData(ctx_.store->etat().reglages.methode)));
}

void EcranNouvelAppel::remplirContacts(const std::optional<QString>& choisi)
{
    QSignalBlocker bloque(contact_);
    contact_->clear();
    contact_->addItem(QStringLiteral("Nouveau contact…"), QString());
    const model::Etat& etat = ctx_.store->etat();
    for (const model::Contact& c : etat.contacts) {
        QString nom = c.nomComplet().trimmed();
        if (!c.societe.isEmpty())
            nom = nom.isEmpty() ? c.societe : nom + QStringLiteral(" · ") + c.societe;
        contact_->addItem(nom.isEmpty() ? QStringLiteral("Contact sans nom") : nom, c.id);
    }
    int i = choisi ? contact_->findData(*choisi) : -1;
    contact_->setCurrentIndex(i > 0 ? i : (etat.contacts.isEmpty() ? 0 : 1));
    contactChoisi();
}

void EcranNouvelAppel::contactChoisi()
{
    const QString id = contact_->currentData().toString();
    nouveau_->setVisible(id.isEmpty());
    if (const model::Contact* c = ctx_.store->etat().contact(id)) {
        const QString suggere = model::typeAppelPourEtape(c->etape);
        const int i = type_->findData(suggere);
        if (i >= 0)
            type_->setCurrentIndex(i);
    }
}

Resultat<call::ConfigAppel, QString> EcranNouvelAppel::preparer()
{
    if (ctx_.session && (ctx_.session->etat() == call::EtatSession::connexion || ctx_.session->etat() == call::EtatSession::enCours ||
                         ctx_.session->etat() == call::EtatSession::pause))
        return echec(TextesPreVol::dejaEnCours);
    call::ConfigAppel cfg;
    QString id = contact_->currentData().toString();
    if (id.isEmpty()) {
        const QString prenom = prenom_->text().trimmed(), nom = nom_->text().trimmed(), societe = societe_->text().trimmed();
        if (prenom.isEmpty() && nom.isEmpty() && societe.isEmpty())
            return echec(QStringLiteral("Indiquez au moins un nom ou une société."));
        model::Contact c;
        c.id = QStringLiteral("c_") + QUuid::createUuid().toString(QUuid::WithoutBraces).left(12);
        c.prenom = prenom;
        c.nom = nom;
        c.societe = societe;
        c.etape = QStringLiteral("nouveau");
        c.source = QStringLiteral("appel");
        c.creeLe = c.majLe = model::horodatage(ctx_.horloge->maintenant());
        ctx_.store->modifier([&c](model::Etat& e) { e.contacts.append(c); });
        id = c.id;
        prenom_->clear();
        nom_->clear();
        societe_->clear();
        remplirContacts(id);
    }
    cfg.contactId = id;
    cfg.type = type_->currentData().toString();
    cfg.objectif = objectif_->text().trimmed();
    cfg.methode = methode_->currentData().toString();
    cfg.langue = langue_->currentData().toString();
    cfg.source = QStringLiteral("micro+mac");
    return cfg;
}

void EcranNouvelAppel::passerAlAppel()
{
    auto cfg = preparer();
    if (!cfg) {
        erreur_->setText(cfg.erreur());
        erreur_->show();
        return;
    }
    erreur_->hide();
    if (ctx_.ouvrirPreVol)
        ctx_.ouvrirPreVol(cfg.valeur());
}

QString EcranNouvelAppel::erreurAffichee() const
{
    return erreur_->isHidden() ? QString() : erreur_->text();
}

} // namespace vd::app
