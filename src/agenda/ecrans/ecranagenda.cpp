#include "agenda/ecrans/ecranagenda.h"

#include "agenda/agenda.h"
#include "model/store.h"
#include "ui/ecrans/style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace vd::agenda {

using ui::style::bouton;
using ui::style::etiquette;

EcranAgenda::EcranAgenda(ui::Contexte& ctx, Agenda* agenda, QWidget* parent) : EcranBase(ctx, parent), agenda_(agenda)
{
    QVBoxLayout* corps = pageDefilante(QMargins(0, 8, 0, 24), 16);
    message_ = etiquette(QString(), QStringLiteral("encart"), this);
    message_->setObjectName(QStringLiteral("messageAgenda"));
    message_->setWordWrap(true);
    message_->hide();
    corps->addWidget(message_);
    auto* blocConnexions = new QWidget(this);
    connexions_ = new QVBoxLayout(blocConnexions);
    connexions_->setContentsMargins(0, 0, 0, 0);
    connexions_->setSpacing(8);
    corps->addWidget(blocConnexions);
    auto* blocJours = new QWidget(this);
    jours_ = new QVBoxLayout(blocJours);
    jours_->setContentsMargins(0, 0, 0, 0);
    jours_->setSpacing(12);
    corps->addWidget(blocJours);
    corps->addStretch(1);
    // Rebuilt from the event loop: a click that changes the agenda (connect, cancel,
    // disconnect, "Plus tard") must not delete its own button under it.
    if (agenda_)
        connect(agenda_, &Agenda::change, this, &EcranAgenda::planifier);
    if (ctx_.store)
        connect(ctx_.store, &model::Store::etatChange, this, [this] {
            if (isVisible())
                planifier();
        });
    reconstruire();
}

void EcranAgenda::planifier()
{
    if (planifie_)
        return;
    planifie_ = true;
    QTimer::singleShot(0, this, [this] {
        planifie_ = false;
        reconstruire();
    });
}

std::optional<ui::EcranBase::Action> EcranAgenda::actionPrincipale() const
{
    if (!agenda_ || agenda_->connexions().isEmpty())
        return std::nullopt;
    QPointer<Agenda> a = agenda_;
    return Action{QStringLiteral("Actualiser"), [a] {
                      if (a)
                          a->actualiser(true);
                  }};
}

void EcranAgenda::afficher(const ui::Ecran&)
{
    reconstruire();
}

QString EcranAgenda::texteReconnaissance(const EvenementAgenda& e, const QString& nomContact)
{
    if (e.contactId) {
        if (e.parDomaine)
            return texteParDomaine(nomContact);
        return QStringLiteral("Avec ") + nomContact + QStringLiteral(" · reconnu par son adresse")
               + (e.invite && e.invite->email ? QStringLiteral(" ") + *e.invite->email : QString());
    }
    if (e.sansInvite)
        return QStringLiteral("Aucun invité à suivre pour ce rendez-vous.");
    if (e.interne)
        return QStringLiteral("Réunion interne");
    return QStringLiteral("Aucun contact reconnu parmi les invités");
}

QWidget* EcranAgenda::ligne(const EvenementAgenda& e, const QHash<QString, QString>& noms, QWidget* parent)
{
    auto* carte = ui::style::carte(QStringLiteral("carte"), parent);
    carte->setObjectName(QStringLiteral("rdv:") + e.id);
    auto* h = new QHBoxLayout(carte);
    h->setContentsMargins(16, 12, 16, 12);
    h->setSpacing(16);
    const QString heure = e.journeeEntiere ? QStringLiteral("Journée") : e.debut.toLocalTime().toString(QStringLiteral("HH:mm"));
    auto* h1 = etiquette(heure, QStringLiteral("horloge"), carte);
    h1->setMinimumWidth(64);
    h->addWidget(h1, 0, Qt::AlignTop);
    auto* v = new QVBoxLayout;
    v->setSpacing(4);
    // Calendar texts are shown as they are: plain text, never rich text.
    auto* titre = etiquette(e.titre.simplified().isEmpty() ? QStringLiteral("Rendez-vous") : e.titre.simplified(), QStringLiteral("titreCarte"), carte);
    titre->setWordWrap(true);
    v->addWidget(titre);
    const QString nom = e.contactId ? noms.value(*e.contactId, QStringLiteral("Contact")) : QString();
    auto* rec = etiquette(texteReconnaissance(e, nom), e.contactId ? QString() : QStringLiteral("legende"), carte);
    rec->setWordWrap(true);
    v->addWidget(rec);
    h->addLayout(v, 1);
    if (e.contactId && preparerBrief && !e.journeeEntiere) {
        auto* b = bouton(QStringLiteral("Préparer le brief"), QStringLiteral("secondaire"), carte);
        const QString id = e.id;
        connect(b, &QPushButton::clicked, this, [this, id] {
            if (preparerBrief)
                preparerBrief(id);
        });
        h->addWidget(b, 0, Qt::AlignVCenter);
    }
    return carte;
}

void EcranAgenda::reconstruire()
{
    ui::style::vider(connexions_);
    ui::style::vider(jours_);
    auto* parent = connexions_->parentWidget();
    if (!agenda_ || !agenda_->contexte().cloudActif) {
        message_->hide();
        connexions_->addWidget(etiquette(QStringLiteral("Connectez-vous à votre compte Vendalo pour voir vos rendez-vous."), QStringLiteral("legende"), parent));
        Q_EMIT enTeteChange();
        return;
    }
    if (const auto m = agenda_->message()) {
        message_->setText(m->texte);
        message_->setProperty("role", m->erreur ? QStringLiteral("encartRouge") : QStringLiteral("encart"));
        message_->style()->unpolish(message_);
        message_->style()->polish(message_);
        message_->show();
    } else {
        message_->hide();
    }

    // Connections.
    QList<FournisseurAgenda> fournisseurs = agenda_->fournisseursServeur();
    if (fournisseurs.isEmpty())
        fournisseurs = {FournisseurAgenda::google, FournisseurAgenda::microsoft};
    const bool aucune = agenda_->connexions().isEmpty();
    if (aucune && !agenda_->invitationMasquee()) {
        auto* inv = ui::style::carte(QStringLiteral("carteGrise"), parent);
        inv->setObjectName(QStringLiteral("invitationAgenda"));
        auto* h = new QHBoxLayout(inv);
        h->setContentsMargins(16, 12, 16, 12);
        auto* t = etiquette(QStringLiteral("Connectez votre agenda : Quillo prépare un brief avant chaque rendez-vous avec un prospect."), QString(), inv);
        t->setWordWrap(true);
        h->addWidget(t, 1);
        auto* masquer = bouton(QStringLiteral("Plus tard"), QStringLiteral("secondaire"), inv);
        connect(masquer, &QPushButton::clicked, this, [this] {
            if (agenda_)
                agenda_->masquerInvitation(7);
        });
        h->addWidget(masquer);
        connexions_->addWidget(inv);
    }
    for (FournisseurAgenda f : fournisseurs) {
        auto* l = new QWidget(parent);
        auto* h = new QHBoxLayout(l);
        h->setContentsMargins(0, 0, 0, 0);
        const auto c = agenda_->connexions().constFind(f);
        QString texte;
        if (agenda_->connexionEnCours() == f)
            texte = QStringLiteral("Connexion à ") + nomAffiche(f) + QStringLiteral(" en cours dans votre navigateur…");
        else if (c != agenda_->connexions().constEnd())
            texte = nomAffiche(f) + QStringLiteral(" connecté") + (c->email ? QStringLiteral(" (") + *c->email + QStringLiteral(")") : QString());
        else if (agenda_->revoques().contains(f))
            texte = messageRevoque(f);
        else
            texte = nomAffiche(f) + QStringLiteral(" n'est pas connecté.");
        h->addWidget(etiquette(texte, QString(), l), 1);
        QPushButton* b = nullptr;
        if (agenda_->connexionEnCours() == f) {
            b = bouton(QStringLiteral("Annuler"), QStringLiteral("secondaire"), l);
            connect(b, &QPushButton::clicked, this, [this] {
                if (agenda_)
                    agenda_->annulerConnexion();
            });
        } else if (c != agenda_->connexions().constEnd()) {
            b = bouton(QStringLiteral("Déconnecter"), QStringLiteral("secondaire"), l);
            connect(b, &QPushButton::clicked, this, [this, f] {
                if (agenda_)
                    agenda_->deconnecter(f);
            });
        } else {
            b = bouton(agenda_->revoques().contains(f) ? QStringLiteral("Reconnecter") : QStringLiteral("Connecter ") + nomAffiche(f),
                       QStringLiteral("primaire"), l);
            b->setEnabled(!agenda_->connexionEnCours());
            connect(b, &QPushButton::clicked, this, [this, f] {
                if (agenda_)
                    agenda_->connecter(f);
            });
        }
        h->addWidget(b);
        connexions_->addWidget(l);
    }

    // Meetings, day by day.
    const QList<Agenda::Jour> jours = agenda_->jours();
    if (jours.isEmpty()) {
        if (!aucune)
            jours_->addWidget(etiquette(agenda_->derniereActualisation() ? QStringLiteral("Aucun rendez-vous dans les 7 prochains jours.")
                                                                         : QStringLiteral("Lecture de vos rendez-vous…"),
                                        QStringLiteral("legende"), parent));
        Q_EMIT enTeteChange();
        return;
    }
    QSet<QString> voulus;
    for (const Agenda::Jour& j : jours)
        for (const EvenementAgenda& e : j.evenements)
            if (e.contactId)
                voulus.insert(*e.contactId);
    QHash<QString, QString> noms;
    if (ctx_.store && !voulus.isEmpty())
        for (const model::Contact& c : ctx_.store->etat().contacts)
            if (voulus.contains(c.id))
                noms.insert(c.id, c.nomComplet());
    for (const Agenda::Jour& j : jours) {
        jours_->addWidget(etiquette(j.libelle, QStringLiteral("titreSection"), parent));
        for (const EvenementAgenda& e : j.evenements)
            jours_->addWidget(ligne(e, noms, parent));
    }
    Q_EMIT enTeteChange();
}

} // namespace vd::agenda
