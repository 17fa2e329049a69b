#include "ecrannouvelappel.h"

#include "feuilleprevol.h"
#include "app/ui.h"
#include "ui/ecrans/libelles.h"
#include "ui/ecrans/style.h"
#include "app/prevol.h"
#include "call/sessionappel.h"
#include "model/store.h"
#include "model/texte.h"

#include <QComboBox>
#include <QFrame>
#include <QStyle>
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

void changerRole(QPushButton* b, const QString& role)
{
    if (b->property("role").toString() == role)
        return;
    b->setProperty("role", role);
    b->style()->unpolish(b);
    b->style()->polish(b);
}

QString puces(const QStringList& l)
{
    QStringList r;
    for (const QString& t : l)
        r << QStringLiteral("• ") + t;
    return r.join(QLatin1Char('\n'));
}

} // namespace

EcranNouvelAppel::EcranNouvelAppel(Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    auto* l = pageDefilante(QMargins(0, 8, 16, 24), 16);
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
    contact_->setObjectName(QStringLiteral("contact"));
    prenom_->setObjectName(QStringLiteral("prenom"));
    nom_->setObjectName(QStringLiteral("nom"));
    societe_->setObjectName(QStringLiteral("societe"));
    type_->setObjectName(QStringLiteral("typeAppel"));
    objectif_->setObjectName(QStringLiteral("objectif"));
    methode_->setObjectName(QStringLiteral("methode"));
    langue_->setObjectName(QStringLiteral("langue"));
    f->addRow(QStringLiteral("Type d'appel"), type_);
    f->addRow(QStringLiteral("Objectif"), objectif_);
    f->addRow(QStringLiteral("Méthode"), methode_);
    f->addRow(QStringLiteral("Langue"), langue_);
    v2->addLayout(f);
    l->addWidget(c2);

    carteBrief_ = style::carte(QStringLiteral("carte"), this);
    carteBrief_->setObjectName(QStringLiteral("carteBrief"));
    corpsBrief_ = new QVBoxLayout(carteBrief_);
    corpsBrief_->setContentsMargins(24, 20, 24, 20);
    corpsBrief_->setSpacing(6);
    carteBrief_->hide();
    l->addWidget(carteBrief_);

    attente_ = style::etiquette(QStringLiteral("Quillo prépare le brief…"), QStringLiteral("secondaire"), this);
    attente_->setObjectName(QStringLiteral("briefEnCours"));
    attente_->hide();
    l->addWidget(attente_);
    erreur_ = style::etiquette({}, QStringLiteral("erreur"), this);
    erreur_->setWordWrap(true);
    erreur_->hide();
    l->addWidget(erreur_);
    auto* boutons = new QHBoxLayout;
    generer_ = style::bouton(QStringLiteral("Générer le brief"), QStringLiteral("primaire"), this);
    generer_->setObjectName(QStringLiteral("genererBrief"));
    sans_ = style::bouton(QStringLiteral("Passer sans brief"), {}, this);
    sans_->setObjectName(QStringLiteral("passerSansBrief"));
    go_ = style::bouton(QStringLiteral("Passer à l'appel"), QStringLiteral("primaire"), this);
    go_->setObjectName(QStringLiteral("passerAlAppel"));
    boutons->addWidget(generer_);
    boutons->addWidget(sans_);
    boutons->addWidget(go_);
    boutons->addStretch(1);
    l->addLayout(boutons);
    l->addStretch(1);
    connect(generer_, &QPushButton::clicked, this, &EcranNouvelAppel::genererBrief);
    connect(sans_, &QPushButton::clicked, this, &EcranNouvelAppel::passerSansBrief);
    connect(go_, &QPushButton::clicked, this, &EcranNouvelAppel::passerAlAppel);
    connect(contact_, &QComboBox::currentIndexChanged, this, &EcranNouvelAppel::contactChoisi);
    for (QComboBox* c : {type_, methode_, langue_})
        connect(c, &QComboBox::currentIndexChanged, this, &EcranNouvelAppel::verifierBrief);
    if (ai::GenerateurBrief* g = ctx_.briefs) {
        connect(g, &ai::GenerateurBrief::pret, this, &EcranNouvelAppel::surBriefPret);
        connect(g, &ai::GenerateurBrief::echec, this, &EcranNouvelAppel::surBriefEchec);
        connect(g, &ai::GenerateurBrief::enCoursChange, this, &EcranNouvelAppel::majBoutons);
    }
    majBoutons();
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
    // A contact created from this form keeps the call type the user chose for it.
    if (!creationEnCours_) {
        const model::Contact* c = ctx_.store->etat().contact(id);
        const QString suggere = model::typeAppelPourEtape(c ? c->etape : QStringLiteral("nouveau"));
        const int i = type_->findData(suggere);
        if (i >= 0)
            type_->setCurrentIndex(i);
    }
    verifierBrief();
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
        creationEnCours_ = true;
        remplirContacts(id);
        creationEnCours_ = false;
    }
    cfg.contactId = id;
    cfg.type = type_->currentData().toString();
    cfg.objectif = objectif_->text().trimmed();
    cfg.methode = methode_->currentData().toString();
    cfg.langue = langue_->currentData().toString();
    cfg.source = QStringLiteral("micro+mac");
    return cfg;
}

void EcranNouvelAppel::passerAlAppel() { ouvrirPreVol(true); }

void EcranNouvelAppel::passerSansBrief() { ouvrirPreVol(false); }

void EcranNouvelAppel::ouvrirPreVol(bool avecBrief)
{
    auto cfg = preparer();
    if (!cfg) {
        montrerErreur(cfg.erreur());
        return;
    }
    erreur_->hide();
    call::ConfigAppel config = cfg.valeur();
    if (avecBrief && brief_ && pourBrief_ && memeAppel(*pourBrief_, parametresCourants()))
        config.brief = brief_;
    if (ctx_.ouvrirPreVol)
        ctx_.ouvrirPreVol(config);
}

void EcranNouvelAppel::montrerErreur(const QString& message)
{
    erreur_->setText(message);
    erreur_->show();
}

ai::ParametresBrief EcranNouvelAppel::parametresCourants() const
{
    return {contact_->currentData().toString(), type_->currentData().toString(), objectif_->text().trimmed(),
            methode_->currentData().toString(), langue_->currentData().toString()};
}

bool EcranNouvelAppel::memeAppel(const ai::ParametresBrief& a, const ai::ParametresBrief& b)
{
    return a.contactId == b.contactId && a.type == b.type && a.methode == b.methode && a.langue == b.langue;
}

void EcranNouvelAppel::genererBrief()
{
    if (!ctx_.briefs)
        return;
    auto cfg = preparer();
    if (!cfg) {
        montrerErreur(cfg.erreur());
        return;
    }
    erreur_->hide();
    const auto r = ctx_.briefs->generer(parametresCourants());
    if (!r)
        montrerErreur(r.erreur());
}

void EcranNouvelAppel::verifierBrief()
{
    const ai::ParametresBrief courants = parametresCourants();
    if (ctx_.briefs) {
        if (auto enCours = ctx_.briefs->parametresEnCours(); enCours && !memeAppel(*enCours, courants))
            ctx_.briefs->annuler();
    }
    if (brief_ && pourBrief_ && !memeAppel(*pourBrief_, courants)) {
        brief_.reset();
        pourBrief_.reset();
        majBrief();
    }
    majBoutons();
}

void EcranNouvelAppel::surBriefPret(const ai::ParametresBrief& p, const model::Brief& b)
{
    if (!memeAppel(p, parametresCourants()))
        return;
    brief_ = b;
    pourBrief_ = p;
    erreur_->hide();
    majBrief();
    majBoutons();
}

void EcranNouvelAppel::surBriefEchec(const ai::ParametresBrief& p, const QString& message)
{
    if (memeAppel(p, parametresCourants()))
        montrerErreur(message);
}

void EcranNouvelAppel::majBrief()
{
    style::vider(corpsBrief_);
    carteBrief_->setVisible(brief_.has_value());
    if (!brief_)
        return;
    const model::Brief& b = *brief_;
    auto* parent = carteBrief_;
    corpsBrief_->addWidget(style::etiquette(QStringLiteral("Votre brief"), QStringLiteral("titreCarte"), parent));
    auto bloc = [&](const QString& titre, const QString& texte) {
        if (texte.trimmed().isEmpty())
            return;
        auto* t = style::etiquette(titre, QStringLiteral("legende"), parent);
        t->setContentsMargins(0, 8, 0, 0);
        corpsBrief_->addWidget(t);
        auto* corps = style::etiquette(texte, {}, parent);
        corps->setWordWrap(true);
        corps->setTextInteractionFlags(Qt::TextSelectableByMouse);
        corpsBrief_->addWidget(corps);
    };
    bloc(QStringLiteral("Objectif"), b.objectifMesurable);
    bloc(QStringLiteral("Pour ouvrir"), b.ouverture.isEmpty() ? QString() : QStringLiteral("« %1 »").arg(b.ouverture));
    bloc(QStringLiteral("Points clés"), puces(b.pointsCles));
    QStringList objections;
    for (const model::ObjectionProbable& o : b.objectionsProbables)
        objections << (o.parade.isEmpty() ? o.objection : o.objection + QStringLiteral("\n   → ") + o.parade);
    bloc(QStringLiteral("Objections probables"), puces(objections));
    bloc(QStringLiteral("Questions à poser"), puces(b.questions));
}

void EcranNouvelAppel::majBoutons()
{
    const bool disponible = ctx_.briefs != nullptr;
    const bool enCours = disponible && ctx_.briefs->enCours();
    generer_->setVisible(disponible);
    generer_->setEnabled(!enCours);
    attente_->setVisible(enCours);
    const bool avecBrief = brief_.has_value();
    // The brief is the next step until there is one; then the call is.
    go_->setVisible(avecBrief || !disponible);
    changerRole(generer_, avecBrief ? QString() : QStringLiteral("primaire"));
    generer_->setText(avecBrief ? QStringLiteral("Refaire le brief") : QStringLiteral("Générer le brief"));
}

QString EcranNouvelAppel::erreurAffichee() const
{
    return erreur_->isHidden() ? QString() : erreur_->text();
}

} // namespace vd::app
