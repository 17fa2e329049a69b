#include "ecranfichecontact.h"

#include "formulairecontact.h"
#include "modelecontacts.h"
#include "crm/contextecontact.h"
#include "crm/etapes.h"
#include "crm/filtres.h"
#include "model/store.h"
#include "model/texte.h"
#include "platform/horloge.h"
#include "ui/ecrans/libelles.h"
#include "ui/ecrans/style.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

namespace vd::crm {

namespace st = ui::style;

namespace {

QFrame* carteTitree(const QString& titre, QVBoxLayout*& contenu, QWidget* parent)
{
    QFrame* c = st::carte(QStringLiteral("carte"), parent);
    contenu = new QVBoxLayout(c);
    contenu->setContentsMargins(16, 14, 16, 14);
    contenu->setSpacing(8);
    contenu->addWidget(st::etiquette(titre, QStringLiteral("titreCarte"), c));
    return c;
}

QLabel* texte(const QString& t, const QString& role, QWidget* parent)
{
    QLabel* l = st::etiquette(t, role, parent);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QString libelleInteraction(const QString& type)
{
    static const QHash<QString, QString> t = {{QStringLiteral("appel"), QStringLiteral("Appel")},   {QStringLiteral("email"), QStringLiteral("Email")},
                                              {QStringLiteral("note"), QStringLiteral("Note")},     {QStringLiteral("relance"), QStringLiteral("Relance")},
                                              {QStringLiteral("linkedin"), QStringLiteral("LinkedIn")}, {QStringLiteral("rdv"), QStringLiteral("Rendez-vous")}};
    return t.value(type, type.isEmpty() ? QStringLiteral("Note") : type);
}

QString libelleStatutRelance(const QString& s)
{
    static const QHash<QString, QString> t = {{QStringLiteral("proposee"), QStringLiteral("Proposée, à activer")},
                                              {QStringLiteral("active"), QStringLiteral("Active")},
                                              {QStringLiteral("sommeil"), QStringLiteral("En sommeil")},
                                              {QStringLiteral("arretee"), QStringLiteral("Arrêtée")},
                                              {QStringLiteral("terminee"), QStringLiteral("Toutes les relances sont envoyées.")}};
    return t.value(s, s);
}

QString libelleArret(const QString& r)
{
    if (r == QLatin1String("gagne"))
        return QStringLiteral("Affaire gagnée");
    if (r == QLatin1String("perdu"))
        return QStringLiteral("Affaire perdue");
    if (r == QLatin1String("nouvel_appel"))
        return QStringLiteral("Nouvel appel avec ce contact");
    if (r == QLatin1String("reponse"))
        return QStringLiteral("Le prospect a répondu");
    return QStringLiteral("Arrêtée à la main");
}

} // namespace

EcranFicheContact::EcranFicheContact(ui::Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    corps_ = pageDefilante(QMargins(0, 8, 16, 24), 16);
    connect(ctx_.store, &model::Store::etatChange, this, [this] {
        if (isVisible())
            QTimer::singleShot(0, this, [this] {
                if (isVisible())
                    remplir();
            });
    });
}

QString EcranFicheContact::titre() const
{
    if (const model::Contact* c = ctx_.store->etat().contact(id_))
        return c->nomComplet().isEmpty() ? QStringLiteral("Contact") : c->nomComplet();
    return QStringLiteral("Contact");
}

std::optional<ui::EcranBase::Action> EcranFicheContact::actionPrincipale() const
{
    if (!ctx_.store->etat().contact(id_))
        return std::nullopt;
    ui::Navigation* nav = ctx_.navigation;
    const QString id = id_;
    return Action{QStringLiteral("Nouvel appel"), [nav, id] { nav->aller(ui::Ecran::nouvelAppel(id)); }};
}

void EcranFicheContact::afficher(const ui::Ecran& e)
{
    id_ = e.charge.value_or(QString());
    remplir();
    Q_EMIT enTeteChange();
}

void EcranFicheContact::remplir()
{
    st::vider(corps_);
    const model::Etat& etat = ctx_.store->etat();
    const model::Contact* c = etat.contact(id_);
    if (!c) {
        corps_->addWidget(st::etiquette(QStringLiteral("Ce contact n'existe plus."), QStringLiteral("secondaire"), this));
        corps_->addStretch(1);
        return;
    }
    const ContexteContactCRM x = contexteContact(etat, *c);
    QWidget* page = corps_->parentWidget();

    // The record.
    QFrame* fiche = st::carte(QStringLiteral("carte"), page);
    auto* fl = new QVBoxLayout(fiche);
    fl->setContentsMargins(16, 14, 16, 14);
    fl->setSpacing(6);
    auto* haut = new QHBoxLayout;
    haut->addWidget(ui::libelles::puceEtape(c->etape, fiche));
    const QString poste = QStringList{c->poste, c->societe}.filter(QRegularExpression(QStringLiteral("\\S"))).join(QStringLiteral(" · "));
    haut->addWidget(st::etiquette(poste, QStringLiteral("secondaire"), fiche));
    haut->addStretch(1);
    auto* modifier = st::bouton(QStringLiteral("Modifier le contact"), {}, fiche);
    modifier->setObjectName(QStringLiteral("modifierContact"));
    connect(modifier, &QPushButton::clicked, this, [this] {
        auto* f = new FormulaireContact(ctx_, id_, this);
        f->setAttribute(Qt::WA_DeleteOnClose);
        f->open();
    });
    haut->addWidget(modifier);
    fl->addLayout(haut);
    auto* g = new QGridLayout;
    g->setHorizontalSpacing(24);
    g->setVerticalSpacing(6);
    int n = 0;
    auto info = [&](const QString& etiquette, const QString& valeur) {
        if (valeur.trimmed().isEmpty())
            return;
        auto* col = new QVBoxLayout;
        col->setSpacing(0);
        col->addWidget(st::etiquette(etiquette, QStringLiteral("legende"), fiche));
        col->addWidget(texte(valeur, {}, fiche));
        g->addLayout(col, n / 3, n % 3);
        ++n;
    };
    info(QStringLiteral("Valeur de l'affaire"), c->valeur > 0 ? montant(c->valeur) : QString());
    info(QStringLiteral("Probabilité de signer"), QStringLiteral("%1\u00A0%").arg(c->probabilite));
    info(QStringLiteral("Email"), c->email);
    info(QStringLiteral("Téléphone"), c->tel);
    info(QStringLiteral("LinkedIn"), c->linkedin);
    info(QStringLiteral("Source"), c->source);
    info(QStringLiteral("Tags"), c->tags.join(QStringLiteral(", ")));
    if (c->raisonPerte)
        info(QStringLiteral("Raison de la perte"), *c->raisonPerte);
    if (c->issueLe)
        info(c->etape == QLatin1String("perdu") ? QStringLiteral("Perdu le") : QStringLiteral("Issue le"), jourCourt(*c->issueLe));
    fl->addLayout(g);
    if (!c->notes.isEmpty()) {
        fl->addWidget(st::etiquette(QStringLiteral("Notes"), QStringLiteral("legende"), fiche));
        fl->addWidget(texte(c->notes, {}, fiche));
    }
    corps_->addWidget(fiche);

    auto* colonnes = new QHBoxLayout;
    colonnes->setSpacing(16);
    auto* gauche = new QVBoxLayout;
    gauche->setSpacing(16);
    auto* droite = new QVBoxLayout;
    droite->setSpacing(16);
    colonnes->addLayout(gauche, 3);
    colonnes->addLayout(droite, 2);
    corps_->addLayout(colonnes);

    // The last call.
    QVBoxLayout* l = nullptr;
    QFrame* dernier = carteTitree(QStringLiteral("Dernier appel"), l, page);
    if (x.dernierAppel) {
        const model::Appel& a = *x.dernierAppel;
        auto* ligne = new QHBoxLayout;
        ligne->addWidget(st::etiquette(ui::libelles::typeAppel(a.type) + QStringLiteral(" · ") + st::dateCourte(a.debut.isEmpty() ? a.creeLe : a.debut) +
                                           QStringLiteral(" · ") + st::duree(a.duree),
                                       QStringLiteral("secondaire"), dernier));
        ligne->addStretch(1);
        if (const auto s = ui::libelles::score(a))
            ligne->addWidget(st::etiquette(QStringLiteral("%1 / 100").arg(*s), QStringLiteral("chipBleu"), dernier));
        l->addLayout(ligne);
        if (a.analyse && !a.analyse->resume.isEmpty())
            l->addWidget(texte(a.analyse->resume, {}, dernier));
        auto* voir = st::bouton(QStringLiteral("Voir le dernier appel"), QStringLiteral("lien"), dernier);
        voir->setObjectName(QStringLiteral("voirDernierAppel"));
        const QString appelId = a.id;
        connect(voir, &QPushButton::clicked, this, [this, appelId] { ctx_.navigation->aller(ui::Ecran::ficheAppel(appelId)); });
        l->addWidget(voir, 0, Qt::AlignLeft);
    } else {
        l->addWidget(texte(QStringLiteral("Aucun appel avec ce contact pour l'instant."), QStringLiteral("secondaire"), dernier));
    }
    gauche->addWidget(dernier);

    // History.
    QFrame* histo = carteTitree(QStringLiteral("Historique"), l, page);
    if (x.historique.isEmpty())
        l->addWidget(texte(QStringLiteral("Les appels, emails et notes avec ce contact s'afficheront ici."), QStringLiteral("secondaire"), histo));
    for (const model::Interaction& i : x.historique) {
        auto* ligne = new QVBoxLayout;
        ligne->setSpacing(2);
        ligne->addWidget(st::etiquette(libelleInteraction(i.type) + QStringLiteral(" · ") + st::dateCourte(i.date.isEmpty() ? i.creeLe : i.date),
                                       QStringLiteral("legende"), histo));
        if (!i.titre.isEmpty())
            ligne->addWidget(texte(i.titre, QStringLiteral("titreCarte"), histo));
        if (!i.resume.isEmpty())
            ligne->addWidget(texte(i.resume, {}, histo));
        l->addLayout(ligne);
    }
    gauche->addWidget(histo);

    // Objections met.
    QFrame* obj = carteTitree(QStringLiteral("Objections rencontrées"), l, page);
    if (x.objectionsPassees.isEmpty())
        l->addWidget(texte(QStringLiteral("Aucune objection relevée dans les appels analysés."), QStringLiteral("secondaire"), obj));
    for (const ObjectionPasseeCRM& o : x.objectionsPassees) {
        auto* ligne = new QHBoxLayout;
        auto* gauche2 = new QVBoxLayout;
        gauche2->setSpacing(0);
        gauche2->addWidget(texte(o.libelle, {}, obj));
        gauche2->addWidget(st::etiquette(st::dateCourte(o.date, false), QStringLiteral("legende"), obj));
        ligne->addLayout(gauche2, 1);
        const QString t = ui::libelles::traitementObjection(o.traitement);
        const QString role = o.traitement == QLatin1String("oui") ? QStringLiteral("chipBleu")
                             : o.traitement == QLatin1String("non") ? QStringLiteral("chipAmbre") : QStringLiteral("chipGris");
        if (!t.isEmpty())
            ligne->addWidget(st::etiquette(t, role, obj), 0, Qt::AlignTop);
        l->addLayout(ligne);
    }
    gauche->addWidget(obj);
    gauche->addStretch(1);

    // Next action and follow-up sequence.
    QFrame* suite = carteTitree(QStringLiteral("Prochaine action"), l, page);
    if (c->prochaineAction && !c->prochaineAction->texte.isEmpty()) {
        l->addWidget(texte(c->prochaineAction->texte, {}, suite));
        if (!c->prochaineAction->echeance.isEmpty()) {
            const bool due = aRelancer(*c, model::jourCalendaire(ctx_.horloge ? ctx_.horloge->maintenant() : QDateTime::currentDateTimeUtc()));
            l->addWidget(st::etiquette(QStringLiteral("Échéance : ") + jourCourt(c->prochaineAction->echeance), due ? QStringLiteral("alerte") : QStringLiteral("legende"), suite));
        }
    } else {
        l->addWidget(texte(QStringLiteral("Aucune prochaine action."), QStringLiteral("secondaire"), suite));
    }
    l->addWidget(st::etiquette(QStringLiteral("Relance"), QStringLiteral("legende"), suite));
    const QJsonObject seq = c->relance ? c->relance->qt().toObject() : QJsonObject();
    if (seq.isEmpty()) {
        l->addWidget(texte(QStringLiteral("Aucune séquence de relance. Après un appel analysé, Quillo en propose une, à relire avant de l'activer."),
                           QStringLiteral("secondaire"), suite));
    } else {
        const QString statut = seq.value(QLatin1String("statut")).toString();
        QString t = libelleStatutRelance(statut.isEmpty() ? QStringLiteral("proposee") : statut);
        if (statut == QLatin1String("arretee"))
            t += QStringLiteral(" · ") + libelleArret(seq.value(QLatin1String("raisonArret")).toString());
        l->addWidget(texte(t, {}, suite));
        if (const auto e = echeanceContact(*c); e && (statut == QLatin1String("active") || statut == QLatin1String("sommeil")))
            l->addWidget(st::etiquette(QStringLiteral("Prochain envoi : ") + jourCourt(e->echeance), QStringLiteral("legende"), suite));
    }
    droite->addWidget(suite);

    // Qualification heard.
    QFrame* qualif = carteTitree(QStringLiteral("Qualification"), l, page);
    int items = 0;
    auto champ = [&](const QString& e, const QString& v) {
        if (v.trimmed().isEmpty())
            return;
        l->addWidget(st::etiquette(e, QStringLiteral("legende"), qualif));
        l->addWidget(texte(v, {}, qualif));
        ++items;
    };
    champ(QStringLiteral("Budget"), c->champs.budget);
    champ(QStringLiteral("Décideur"), c->champs.decideur);
    champ(QStringLiteral("Échéance"), c->champs.echeance);
    champ(QStringLiteral("Douleur"), c->champs.douleur);
    if (c->qualification)
        for (const model::JSONValeur& q : *c->qualification) {
            const QJsonObject o = q.qt().toObject();
            champ(o.value(QLatin1String("nom")).toString(o.value(QLatin1String("item")).toString()), o.value(QLatin1String("valeur")).toString());
        }
    if (!items)
        l->addWidget(texte(QStringLiteral("Rien d'entendu pour l'instant : le budget, le décideur, l'échéance et la douleur s'affichent ici après un appel."),
                           QStringLiteral("secondaire"), qualif));
    droite->addWidget(qualif);

    // Customer profile.
    QFrame* profil = carteTitree(QStringLiteral("Profil client"), l, page);
    if (x.profilClient) {
        const model::ProfilClient& p = *x.profilClient;
        l->addWidget(texte(p.nom, QStringLiteral("titreCarte"), profil));
        const QString desc = QStringList{p.role, p.secteur, p.taille}.filter(QRegularExpression(QStringLiteral("\\S"))).join(QStringLiteral(" · "));
        if (!desc.isEmpty())
            l->addWidget(texte(desc, QStringLiteral("secondaire"), profil));
        if (!p.douleurs.isEmpty()) {
            l->addWidget(st::etiquette(QStringLiteral("Douleurs habituelles"), QStringLiteral("legende"), profil));
            l->addWidget(texte(QStringLiteral("• ") + p.douleurs.join(QStringLiteral("\n• ")), {}, profil));
        }
        if (!p.criteres.isEmpty()) {
            l->addWidget(st::etiquette(QStringLiteral("Critères de choix"), QStringLiteral("legende"), profil));
            l->addWidget(texte(QStringLiteral("• ") + p.criteres.join(QStringLiteral("\n• ")), {}, profil));
        }
    } else {
        l->addWidget(texte(QStringLiteral("Aucun profil client associé."), QStringLiteral("secondaire"), profil));
    }
    droite->addWidget(profil);
    droite->addStretch(1);
    corps_->addStretch(1);
}

} // namespace vd::crm
