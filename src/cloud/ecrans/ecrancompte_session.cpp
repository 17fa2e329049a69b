// The signed-in account page: the account and its team, the invitations
// received, sign-out, and the deletion of the account.
#include "ecrancompte.h"

#include "cloud/clientsupabase.h"
#include "cloud/compte.h"
#include "ui/ecrans/style.h"

#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vd::cloud {

namespace st = ui::style;

namespace {

QLabel* texte(const QString& t, QVBoxLayout* l, const QString& role = QStringLiteral("secondaire"))
{
    QLabel* e = st::etiquette(t, role);
    e->setWordWrap(true);
    l->addWidget(e);
    return e;
}

QHBoxLayout* rangee(QVBoxLayout* l)
{
    auto* r = new QHBoxLayout;
    r->setSpacing(8);
    l->addLayout(r);
    return r;
}

QString chaine(const QJsonObject& o, const char* cle) { return o.value(QLatin1String(cle)).toString().trimmed(); }

QString pluriel(int n, const QString& un, const QString& plusieurs)
{
    return QStringLiteral("%1 %2").arg(n).arg(n > 1 ? plusieurs : un);
}

} // namespace

void EcranCompte::remplirCompte()
{
    const bool horsLigne = ctx_.compte->etat() == Compte::Etat::horsLigne;
    const auto& infos = ctx_.compte->infos();
    if (horsLigne) {
        QFrame* n = st::carte(QStringLiteral("encartAmbre"), this);
        n->setMaximumWidth(560);
        auto* l = new QVBoxLayout(n);
        l->setContentsMargins(16, 10, 16, 10);
        texte(infos ? QStringLiteral("Hors ligne : voici le dernier état connu de votre compte. Il se mettra à jour au retour "
                                     "du réseau.")
                    : QStringLiteral("Hors ligne : votre compte s'affichera au retour du réseau."),
              l, QStringLiteral("alerte"))
            ->setObjectName(QStringLiteral("noteHorsLigne"));
        corps_->addWidget(n);
    }

    const QJsonObject c = infos ? infos->value(QStringLiteral("compte")).toObject() : QJsonObject();
    const QString email = !chaine(c, "email").isEmpty() ? chaine(c, "email")
        : client()->session() ? client()->session()->utilisateur.email : QString();
    QVBoxLayout* l = nullptr;
    carte(l)->setObjectName(QStringLiteral("resumeCompte"));
    l->addWidget(st::etiquette(chaine(c, "nom").isEmpty() ? email : chaine(c, "nom"), QStringLiteral("titreCarte")));
    texte(email, l);
    if (!infos) {
        texte(ctx_.compte->erreur().value_or(QStringLiteral("Chargement de votre compte…")), l);
    } else {
        const QString entreprise = chaine(c, "entreprise");
        QHBoxLayout* r = rangee(l);
        r->addWidget(st::etiquette(entreprise.isEmpty() ? QStringLiteral("Entreprise non renseignée")
                                                        : QStringLiteral("Entreprise : %1").arg(entreprise),
                                   QStringLiteral("secondaire")));
        if (entreprise.isEmpty() && !horsLigne)
            bouton(r, QStringLiteral("Renseigner"), QStringLiteral("lien"), [this] {
                entrepriseReportee_ = false;
                remplir();
            });
        r->addStretch(1);
        if (const auto e = ctx_.compte->erreur(); e && !horsLigne)
            texte(*e, l, QStringLiteral("erreur"));
    }
    if (!messagesEnBas_)
        messages(l);

    if (infos) {
        QVBoxLayout* e = nullptr;
        carte(e)->setObjectName(QStringLiteral("equipeCompte"));
        const QJsonObject o = infos->value(QStringLiteral("organisation")).toObject();
        if (o.isEmpty()) {
            e->addWidget(st::etiquette(QStringLiteral("Équipe"), QStringLiteral("titreCarte")));
            texte(QStringLiteral("Vous ne faites partie d'aucune équipe. Une invitation de votre responsable vous y fera entrer."), e);
        } else {
            e->addWidget(st::etiquette(QStringLiteral("Équipe « %1 »").arg(chaine(o, "nom")), QStringLiteral("titreCarte")));
            texte(QStringLiteral("Votre rôle : %1").arg(Compte::libelleRole(chaine(c, "roleOrg"))), e);
            const int membres = o.value(QStringLiteral("membres")).toInt();
            const int sieges = o.value(QStringLiteral("sieges")).toInt();
            if (sieges > 0)
                texte(QStringLiteral("%1 sur %2").arg(pluriel(membres, QStringLiteral("membre"), QStringLiteral("membres")),
                                                      pluriel(sieges, QStringLiteral("place"), QStringLiteral("places"))),
                      e);
            if (!chaine(o, "proprietaireNom").isEmpty())
                texte(QStringLiteral("Propriétaire : %1").arg(chaine(o, "proprietaireNom")), e);
        }
        remplirInvitations(infos->value(QStringLiteral("invitations")).toArray());
    }

    QVBoxLayout* s = nullptr;
    carte(s);
    QHBoxLayout* r = rangee(s);
    r->addWidget(st::etiquette(QStringLiteral("Connecté avec %1").arg(email), QStringLiteral("secondaire")));
    r->addStretch(1);
    bouton(r, QStringLiteral("Se déconnecter"), QStringLiteral("secondaire"), &EcranCompte::seDeconnecter);

    if (!horsLigne)
        remplirSuppression();
}

void EcranCompte::remplirInvitations(const QJsonArray& invitations)
{
    if (invitations.isEmpty())
        return;
    corps_->addWidget(st::etiquette(QStringLiteral("Invitations reçues"), QStringLiteral("titreSection"), this));
    for (const QJsonValue& v : invitations) {
        const QJsonObject i = v.toObject();
        const QString id = chaine(i, "id");
        QVBoxLayout* l = nullptr;
        carte(l)->setObjectName(QStringLiteral("invitation"));
        l->addWidget(st::etiquette(QStringLiteral("Équipe « %1 »").arg(chaine(i, "organisationNom")), QStringLiteral("titreCarte")));
        QStringList details{QStringLiteral("Rôle proposé : %1").arg(Compte::libelleRole(chaine(i, "roleOrg")))};
        if (!chaine(i, "invitePar").isEmpty())
            details << QStringLiteral("invitation de %1").arg(chaine(i, "invitePar"));
        if (!chaine(i, "expireLe").isEmpty())
            details << QStringLiteral("valable jusqu'au %1").arg(st::dateCourte(chaine(i, "expireLe"), false));
        texte(details.join(QStringLiteral(" · ")), l);
        const bool complete = i.value(QStringLiteral("equipeComplete")).toBool();
        if (complete)
            texte(QStringLiteral("Cette équipe n'a plus de place libre : demandez à son responsable d'en ajouter une."), l,
                  QStringLiteral("alerte"));
        if (!chaine(i, "depart").isEmpty())
            texte(chaine(i, "depart"), l, QStringLiteral("alerte"));
        QHBoxLayout* r = rangee(l);
        QPushButton* a = bouton(r, QStringLiteral("Accepter"), QStringLiteral("primaire"), [this, id] {
            messagesEnBas_ = false;
            if (commencer())
                executerInvitation(id, true);
        });
        a->setEnabled(a->isEnabled() && !complete);
        bouton(r, QStringLiteral("Refuser"), QStringLiteral("secondaire"), [this, id] {
            messagesEnBas_ = false;
            if (commencer())
                executerInvitation(id, false);
        });
        r->addStretch(1);
    }
}

QCoro::Task<void> EcranCompte::executerInvitation(QString id, bool accepter)
{
    QPointer<EcranCompte> moi(this);
    Compte* compte = ctx_.compte;
    std::optional<ResultatCloud<model::JSONValeur>> r;
    if (accepter)
        r.emplace(co_await compte->accepter(id));
    else
        r.emplace(co_await compte->refuser(id));
    if (!moi)
        co_return;
    if (!*r) {
        finir(r->erreur());
        co_return;
    }
    finir(std::nullopt, accepter ? QStringLiteral("Bienvenue dans votre nouvelle équipe.")
                                 : QStringLiteral("Invitation refusée."));
    compte->rafraichir();
}

void EcranCompte::seDeconnecter()
{
    messagesEnBas_ = false;
    if (commencer())
        executerDeconnexion();
}

QCoro::Task<void> EcranCompte::executerDeconnexion()
{
    QPointer<EcranCompte> moi(this);
    co_await client()->deconnecter();
    if (!moi)
        co_return;
    apercu_.reset();
    saisie_.confirmation.clear();
    formulaire_ = Vue::connexion;
    finir(std::nullopt);
}

void EcranCompte::remplirSuppression()
{
    QVBoxLayout* l = nullptr;
    carte(l)->setObjectName(QStringLiteral("suppressionCompte"));
    l->addWidget(st::etiquette(QStringLiteral("Supprimer mon compte"), QStringLiteral("titreCarte")));
    if (!apercu_) {
        texte(QStringLiteral("Le compte et ses données en ligne sont effacés pour de bon. Les données de cet ordinateur restent."), l);
        if (messagesEnBas_)
            messages(l);
        QHBoxLayout* r = rangee(l);
        bouton(r, QStringLiteral("Supprimer mon compte…"), QStringLiteral("danger"), &EcranCompte::demanderApercu);
        r->addStretch(1);
        return;
    }
    const QJsonObject& a = *apercu_;
    struct Compteur {
        const char* cle;
        QString un, plusieurs;
    };
    const QList<Compteur> compteurs{{"appels", QStringLiteral("appel"), QStringLiteral("appels")},
                                    {"contacts", QStringLiteral("contact"), QStringLiteral("contacts")},
                                    {"autres", QStringLiteral("autre donnée"), QStringLiteral("autres données")}};
    QStringList effaces;
    for (const Compteur& k : compteurs)
        if (a.value(QLatin1String(k.cle)).toInt() > 0)
            effaces << pluriel(a.value(QLatin1String(k.cle)).toInt(), k.un, k.plusieurs);
    texte(effaces.isEmpty() ? QStringLiteral("Seront effacés : votre compte et toutes ses données en ligne.")
                            : QStringLiteral("Seront effacés : votre compte, %1.").arg(effaces.join(QStringLiteral(", "))),
          l)
        ->setObjectName(QStringLiteral("apercuSuppression"));
    const QString consequence = chaine(a.value(QStringLiteral("equipe")).toObject(), "consequence");
    if (!consequence.isEmpty())
        texte(consequence, l, QStringLiteral("alerte"));
    // The server may refuse for now (an owner whose team still has members): say why, offer nothing to type.
    const bool possible = !a.value(QStringLiteral("suppressionPossible")).isBool() || a.value(QStringLiteral("suppressionPossible")).toBool();
    if (!possible) {
        texte(chaine(a, "motif").isEmpty() ? QStringLiteral("Ce compte ne peut pas être supprimé pour le moment.") : chaine(a, "motif"),
              l, QStringLiteral("erreur"))
            ->setObjectName(QStringLiteral("motifSuppression"));
        QHBoxLayout* r = rangee(l);
        bouton(r, QStringLiteral("Fermer"), QStringLiteral("secondaire"), &EcranCompte::annulerSuppression);
        r->addStretch(1);
        return;
    }
    const QString consigne = chaine(a, "consigne").isEmpty() ? QStringLiteral("Pour confirmer, tapez %1").arg(motAttendu())
                                                             : chaine(a, "consigne");
    QLineEdit* e = champ(l, consigne, &Saisie::confirmation, QStringLiteral("confirmationSuppression"));
    if (messagesEnBas_)
        messages(l);
    QHBoxLayout* r = rangee(l);
    QPushButton* go = bouton(r, QStringLiteral("Supprimer définitivement"), QStringLiteral("danger"), &EcranCompte::supprimer);
    go->setEnabled(!enCours_ && confirmationSaisie(saisie_.confirmation));
    connect(e, &QLineEdit::textEdited, go, [this, go](const QString& t) { go->setEnabled(!enCours_ && confirmationSaisie(t)); });
    connect(e, &QLineEdit::returnPressed, this, &EcranCompte::supprimer);
    bouton(r, QStringLiteral("Annuler"), QStringLiteral("secondaire"), &EcranCompte::annulerSuppression);
    r->addStretch(1);
}

QString EcranCompte::motAttendu() const
{
    const QString serveur = apercu_ ? chaine(*apercu_, "confirmation") : QString();
    return serveur.isEmpty() ? motSuppression : serveur;
}

// An address is typed in any case; the word exactly.
bool EcranCompte::confirmationSaisie(const QString& t) const
{
    const QString attendu = motAttendu();
    return t.trimmed().compare(attendu, attendu.contains(QLatin1Char('@')) ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0;
}

void EcranCompte::demanderApercu()
{
    messagesEnBas_ = true;
    if (commencer())
        executerApercu();
}

QCoro::Task<void> EcranCompte::executerApercu()
{
    QPointer<EcranCompte> moi(this);
    auto r = co_await ctx_.compte->apercuSuppression();
    if (!moi)
        co_return;
    if (!r) {
        finir(r.erreur());
        co_return;
    }
    apercu_ = r.valeur().qt().toObject();
    saisie_.confirmation.clear();
    finir(std::nullopt);
}

void EcranCompte::annulerSuppression()
{
    apercu_.reset();
    saisie_.confirmation.clear();
    erreur_.reset();
    remplir();
}

void EcranCompte::supprimer()
{
    if (enCours_)
        return;
    // Nothing leaves without the typed word.
    if (!confirmationSaisie(saisie_.confirmation)) {
        erreur_ = QStringLiteral("Tapez %1 pour confirmer la suppression.").arg(motAttendu());
        messagesEnBas_ = true;
        remplir();
        return;
    }
    messagesEnBas_ = true;
    if (commencer())
        executerSuppression(saisie_.confirmation.trimmed());
}

QCoro::Task<void> EcranCompte::executerSuppression(QString confirmation)
{
    QPointer<EcranCompte> moi(this);
    auto r = co_await ctx_.compte->supprimerCompte(confirmation);
    if (!moi)
        co_return;
    if (!r) {
        finir(r.erreur());
        co_return;
    }
    apercu_.reset();
    saisie_ = {};
    messagesEnBas_ = false;
    formulaire_ = Vue::connexion;
    finir(std::nullopt, QStringLiteral("Votre compte a été supprimé."));
}

} // namespace vd::cloud
