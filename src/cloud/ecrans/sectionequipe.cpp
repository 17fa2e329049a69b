#include "sectionequipe.h"

#include "cloud/compte.h"
#include "model/texte.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

namespace vd::cloud {

namespace {

QLabel* etiquette(const QString& texte, const QString& role, QWidget* parent)
{
    auto* l = new QLabel(texte, parent);
    l->setTextFormat(Qt::PlainText);
    if (!role.isEmpty())
        l->setProperty("role", role);
    return l;
}

QPushButton* bouton(const QString& texte, const QString& role, QWidget* parent)
{
    auto* b = new QPushButton(texte, parent);
    if (!role.isEmpty())
        b->setProperty("role", role);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

QFrame* carte(QWidget* parent)
{
    auto* f = new QFrame(parent);
    f->setProperty("role", QStringLiteral("carte"));
    return f;
}

void vider(QVBoxLayout* l)
{
    while (QLayoutItem* i = l->takeAt(0)) {
        if (QWidget* w = i->widget())
            w->deleteLater();
        delete i;
    }
}

// "5 mars" (with the year when it is not this one).
QString jour(const QString& horodatage)
{
    const auto d = model::lireHorodatage(horodatage);
    if (!d)
        return {};
    const QDate j = d->toLocalTime().date();
    const QLocale fr(QLocale::French, QLocale::France);
    return fr.toString(j, j.year() == QDate::currentDate().year() ? QStringLiteral("d MMMM") : QStringLiteral("d MMMM yyyy"));
}

const QString cleRole = QStringLiteral("roleOrg");

} // namespace

SectionEquipe::SectionEquipe(Compte* compte, QWidget* parent) : QWidget(parent), compte_(compte)
{
    confirmer = [this](const QString& question) {
        return QMessageBox::question(this, QStringLiteral("Équipe"), question, QMessageBox::Yes | QMessageBox::Cancel,
                                     QMessageBox::Cancel) == QMessageBox::Yes;
    };
    construireFormulaire();
    if (compte_)
        connect(compte_, &Compte::change, this, &SectionEquipe::actualiser);
    actualiser();
}

QString SectionEquipe::textePlaces(int libres, int sieges)
{
    if (libres <= 0)
        return QStringLiteral("Aucune place libre sur %1").arg(sieges);
    return (libres == 1 ? QStringLiteral("1 place libre sur %1") : QStringLiteral("%1 places libres sur %2").arg(libres))
        .arg(sieges);
}

QString SectionEquipe::texteAppels(int n)
{
    if (n <= 0)
        return QStringLiteral("Aucun appel sur 30 jours");
    return n == 1 ? QStringLiteral("1 appel sur 30 jours") : QStringLiteral("%1 appels sur 30 jours").arg(n);
}

void SectionEquipe::construireFormulaire()
{
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(12);
    titre_ = etiquette(QStringLiteral("Votre équipe"), QStringLiteral("titreSection"), this);
    l->addWidget(titre_);
    explication_ = etiquette({}, QStringLiteral("secondaire"), this);
    explication_->setWordWrap(true);
    l->addWidget(explication_);
    boutonCompte_ = bouton(QStringLiteral("Ouvrir mon compte"), QStringLiteral("primaire"), this);
    boutonCompte_->setObjectName(QStringLiteral("ouvrirCompte"));
    connect(boutonCompte_, &QPushButton::clicked, this, [this] {
        if (ouvrirCompte)
            ouvrirCompte();
    });
    l->addWidget(boutonCompte_, 0, Qt::AlignLeft);

    equipe_ = new QWidget(this);
    auto* e = new QVBoxLayout(equipe_);
    e->setContentsMargins(0, 0, 0, 0);
    e->setSpacing(12);
    auto* entete = new QHBoxLayout;
    role_ = etiquette({}, QStringLiteral("chipBleu"), equipe_);
    places_ = etiquette({}, QStringLiteral("secondaire"), equipe_);
    places_->setObjectName(QStringLiteral("places"));
    entete->addWidget(role_);
    entete->addWidget(places_);
    entete->addStretch();
    e->addLayout(entete);

    // Built once, so a refresh never clears an address being typed.
    formulaire_ = carte(equipe_);
    auto* f = new QVBoxLayout(formulaire_);
    f->setContentsMargins(16, 12, 16, 12);
    f->addWidget(etiquette(QStringLiteral("Inviter un membre"), QStringLiteral("titreCarte"), formulaire_));
    auto* ligne = new QHBoxLayout;
    email_ = new QLineEdit(formulaire_);
    email_->setObjectName(QStringLiteral("emailInvitation"));
    email_->setPlaceholderText(QStringLiteral("adresse@entreprise.fr"));
    roleInvite_ = new QComboBox(formulaire_);
    roleInvite_->addItem(Compte::libelleRole(QStringLiteral("commercial")), QStringLiteral("commercial"));
    roleInvite_->addItem(Compte::libelleRole(QStringLiteral("manager")), QStringLiteral("manager"));
    inviter_ = bouton(QStringLiteral("Inviter"), QStringLiteral("primaire"), formulaire_);
    inviter_->setObjectName(QStringLiteral("inviter"));
    ligne->addWidget(email_, 1);
    ligne->addWidget(roleInvite_);
    ligne->addWidget(inviter_);
    f->addLayout(ligne);
    envoyerEmail_ = new QCheckBox(QStringLiteral("Envoyer l'e-mail d'invitation"), formulaire_);
    envoyerEmail_->setChecked(true);
    f->addWidget(envoyerEmail_);
    connect(inviter_, &QPushButton::clicked, this, &SectionEquipe::inviter);
    connect(email_, &QLineEdit::returnPressed, this, &SectionEquipe::inviter);
    e->addWidget(formulaire_);

    message_ = etiquette({}, {}, equipe_);
    message_->setObjectName(QStringLiteral("messageEquipe"));
    message_->setWordWrap(true);
    message_->hide();
    e->addWidget(message_);

    auto* cartesMembres = carte(equipe_);
    auto* cm = new QVBoxLayout(cartesMembres);
    cm->setContentsMargins(16, 12, 16, 12);
    cm->addWidget(etiquette(QStringLiteral("Membres"), QStringLiteral("titreCarte"), cartesMembres));
    membres_ = new QVBoxLayout;
    membres_->setSpacing(8);
    cm->addLayout(membres_);
    e->addWidget(cartesMembres);

    blocInvitations_ = carte(equipe_);
    auto* ci = new QVBoxLayout(blocInvitations_);
    ci->setContentsMargins(16, 12, 16, 12);
    ci->addWidget(etiquette(QStringLiteral("Invitations en attente"), QStringLiteral("titreCarte"), blocInvitations_));
    invitations_ = new QVBoxLayout;
    invitations_->setSpacing(8);
    ci->addLayout(invitations_);
    e->addWidget(blocInvitations_);
    l->addWidget(equipe_);
    l->addStretch();
}

void SectionEquipe::actualiser()
{
    // 0 no backend, 1 signed out, 2 loading, 3 no team, 4 a team.
    int etat = 0;
    std::optional<QJsonObject> equipe;
    if (compte_) {
        if (compte_->etat() == Compte::Etat::deconnecte || compte_->etat() == Compte::Etat::connexion)
            etat = 1;
        else if (!compte_->equipe())
            etat = 2;
        else if (!compte_->equipe()->value(QStringLiteral("organisation")).isObject())
            etat = 3;
        else {
            etat = 4;
            equipe = compte_->equipe();
        }
    }
    if (etat == etatAffiche_ && equipe == affichee_)
        return;
    etatAffiche_ = etat;
    affichee_ = equipe;
    static const QString textes[] = {
        QStringLiteral("Votre équipe apparaîtra ici une fois connecté à un compte Vendalo d'équipe : ses membres, leurs rôles, "
                       "les invitations en attente et les places libres."),
        QStringLiteral("Connectez-vous à votre compte Vendalo pour voir votre équipe."),
        QStringLiteral("Chargement de votre équipe…"),
        QStringLiteral("Votre compte n'est rattaché à aucune équipe. Demandez une invitation à votre responsable, "
                       "ou acceptez celle que vous avez reçue depuis votre compte."),
        QString()};
    explication_->setText(textes[etat]);
    explication_->setVisible(etat != 4);
    boutonCompte_->setText(etat == 1 ? QStringLiteral("Se connecter") : QStringLiteral("Ouvrir mon compte"));
    boutonCompte_->setVisible(etat != 2 && etat != 4);
    equipe_->setVisible(etat == 4);
    if (etat != 4) {
        titre_->setText(QStringLiteral("Votre équipe"));
        return;
    }
    remplirListes(*equipe);
}

void SectionEquipe::remplirListes(const QJsonObject& equipe)
{
    const QJsonObject org = equipe.value(QStringLiteral("organisation")).toObject();
    const QString monRole = equipe.value(cleRole).toString();
    const bool gestionnaire = equipe.value(QStringLiteral("gestionnaire")).toBool();
    titre_->setText(org.value(QStringLiteral("nom")).toString());
    role_->setText(QStringLiteral("Votre rôle : ") + Compte::libelleRole(monRole));
    const int sieges = equipe.value(QStringLiteral("sieges")).toInt();
    const QJsonValue libres = equipe.value(QStringLiteral("placesLibres"));
    places_->setText(libres.isDouble() ? textePlaces(libres.toInt(), sieges) : QString());
    formulaire_->setVisible(gestionnaire);

    vider(membres_);
    const QJsonArray membres = equipe.value(QStringLiteral("membres")).toArray();
    for (const QJsonValue& m : membres)
        membres_->addWidget(ligneMembre(m.toObject(), monRole, gestionnaire));
    if (membres.isEmpty())
        membres_->addWidget(etiquette(QStringLiteral("Aucun membre pour le moment."), QStringLiteral("secondaire"), this));

    vider(invitations_);
    const QJsonArray invitations = equipe.value(QStringLiteral("invitations")).toArray();
    for (const QJsonValue& i : invitations)
        invitations_->addWidget(ligneInvitation(i.toObject()));
    blocInvitations_->setVisible(gestionnaire);
    if (invitations.isEmpty())
        invitations_->addWidget(etiquette(QStringLiteral("Aucune invitation en attente. Invitez un membre avec le formulaire ci-dessus."),
                                          QStringLiteral("secondaire"), this));
}

QWidget* SectionEquipe::ligneMembre(const QJsonObject& m, const QString& monRole, bool gestionnaire)
{
    auto* w = new QWidget(this);
    w->setObjectName(QStringLiteral("membre"));
    auto* l = new QHBoxLayout(w);
    l->setContentsMargins(0, 4, 0, 4);
    const QString id = m.value(QStringLiteral("id")).toString();
    const QString email = m.value(QStringLiteral("email")).toString();
    const QString nom = m.value(QStringLiteral("nom")).toString().trimmed();
    const QString role = m.value(cleRole).toString();
    auto* identite = new QVBoxLayout;
    identite->setSpacing(2);
    identite->addWidget(etiquette(nom.isEmpty() ? email : nom, QStringLiteral("titreCarte"), w));
    QStringList details;
    if (!nom.isEmpty())
        details << email;
    if (m.contains(QStringLiteral("derniereActivite"))) {
        const QString d = jour(m.value(QStringLiteral("derniereActivite")).toString());
        details << (d.isEmpty() ? QStringLiteral("Aucune activité") : QStringLiteral("Dernière activité le ") + d);
    }
    if (m.value(QStringLiteral("appels30j")).isDouble())
        details << texteAppels(m.value(QStringLiteral("appels30j")).toInt());
    identite->addWidget(etiquette(details.join(QStringLiteral(" · ")), QStringLiteral("secondaire"), w));
    l->addLayout(identite, 1);

    // An owner's role is changed only by an owner; only an owner names one.
    const bool modifiable = gestionnaire && (role != QLatin1String("proprietaire") || monRole == QLatin1String("proprietaire"));
    if (!modifiable) {
        l->addWidget(etiquette(Compte::libelleRole(role), QStringLiteral("chipGris"), w), 0, Qt::AlignVCenter);
        return w;
    }
    auto* choix = new QComboBox(w);
    choix->setObjectName(QStringLiteral("roleMembre"));
    QStringList roles{QStringLiteral("commercial"), QStringLiteral("manager")};
    if (monRole == QLatin1String("proprietaire"))
        roles << QStringLiteral("proprietaire");
    for (const QString& r : roles)
        choix->addItem(Compte::libelleRole(r), r);
    choix->setCurrentIndex(std::max<qsizetype>(0, roles.indexOf(role)));
    connect(choix, &QComboBox::activated, this, [this, choix, id, role, nom, email](int) {
        const QString nouveau = choix->currentData().toString();
        if (nouveau == role)
            return;
        executer(QJsonObject{{QStringLiteral("action"), QStringLiteral("changer_role")}, {QStringLiteral("membre"), id},
                             {QStringLiteral("role_org"), nouveau}},
                 QStringLiteral("%1 est maintenant %2.").arg(nom.isEmpty() ? email : nom, Compte::libelleRole(nouveau).toLower()));
    });
    l->addWidget(choix);
    auto* retirer = bouton(QStringLiteral("Retirer"), QStringLiteral("danger"), w);
    retirer->setObjectName(QStringLiteral("retirerMembre"));
    connect(retirer, &QPushButton::clicked, this, [this, id, nom, email] {
        const QString qui = nom.isEmpty() ? email : nom;
        if (confirmer && !confirmer(QStringLiteral("Retirer %1 de l'équipe ? Son compte et ses données restent ; "
                                                   "seul son accès à l'équipe prend fin.").arg(qui)))
            return;
        executer(QJsonObject{{QStringLiteral("action"), QStringLiteral("retirer")}, {QStringLiteral("membre"), id}},
                 QStringLiteral("%1 ne fait plus partie de l'équipe.").arg(qui));
    });
    l->addWidget(retirer);
    return w;
}

QWidget* SectionEquipe::ligneInvitation(const QJsonObject& i)
{
    auto* w = new QWidget(this);
    w->setObjectName(QStringLiteral("invitation"));
    auto* l = new QHBoxLayout(w);
    l->setContentsMargins(0, 4, 0, 4);
    const QString email = i.value(QStringLiteral("email")).toString();
    auto* texte = new QVBoxLayout;
    texte->setSpacing(2);
    texte->addWidget(etiquette(email, QStringLiteral("titreCarte"), w));
    QStringList details{Compte::libelleRole(i.value(cleRole).toString())};
    const QString statut = i.value(QStringLiteral("emailStatut")).toString();
    if (statut == QLatin1String("envoye"))
        details << QStringLiteral("e-mail envoyé le ") + jour(i.value(QStringLiteral("emailLe")).toString());
    else if (statut == QLatin1String("a_envoyer"))
        details << QStringLiteral("e-mail en cours d'envoi");
    else if (statut.isEmpty())
        details << QStringLiteral("sans e-mail");
    else
        details << QStringLiteral("e-mail non remis");
    if (const QString expire = jour(i.value(QStringLiteral("expireLe")).toString()); !expire.isEmpty())
        details << QStringLiteral("expire le ") + expire;
    if (i.value(QStringLiteral("compteExistant")).toBool())
        details << QStringLiteral("a déjà un compte");
    texte->addWidget(etiquette(details.join(QStringLiteral(" · ")), QStringLiteral("secondaire"), w));
    l->addLayout(texte, 1);
    auto* annuler = bouton(QStringLiteral("Annuler l'invitation"), {}, w);
    annuler->setObjectName(QStringLiteral("annulerInvitation"));
    const QString id = i.value(QStringLiteral("id")).toString();
    connect(annuler, &QPushButton::clicked, this, [this, id, email] {
        executer(QJsonObject{{QStringLiteral("action"), QStringLiteral("annuler_invitation")}, {QStringLiteral("invitation"), id}},
                 QStringLiteral("L'invitation de %1 est annulée.").arg(email));
    });
    l->addWidget(annuler);
    return w;
}

void SectionEquipe::inviter()
{
    const QString email = email_->text().trimmed();
    if (email.isEmpty()) {
        montrerMessage(QStringLiteral("Saisissez l'adresse email de la personne à inviter."), true);
        return;
    }
    const bool envoyer = envoyerEmail_->isChecked();
    executer(QJsonObject{{QStringLiteral("action"), QStringLiteral("inviter")}, {QStringLiteral("email"), email},
                         {QStringLiteral("role_org"), roleInvite_->currentData().toString()},
                         {QStringLiteral("envoyer_email"), envoyer}},
             envoyer ? QStringLiteral("Invitation envoyée à %1.").arg(email)
                     : QStringLiteral("Invitation créée pour %1 : elle la verra dans son compte Vendalo.").arg(email));
}

QCoro::Task<bool> SectionEquipe::executer(QJsonObject corps, QString succes)
{
    if (!compte_ || occupe_)
        co_return false;
    QPointer<SectionEquipe> moi(this);
    QPointer<Compte> compte(compte_);
    mettreOccupe(true);
    auto r = co_await compte_->actionEquipe(corps);
    if (!moi)
        co_return false;
    mettreOccupe(false);
    const bool ok = r.ok();
    if (ok) {
        if (corps.value(QStringLiteral("action")).toString() == QLatin1String("inviter"))
            email_->clear();
        montrerMessage(succes, false);
    } else {
        montrerMessage(r.erreur().message, true);
        // A refused role change must not leave its new value in the list.
        etatAffiche_ = -1;
        actualiser();
    }
    // Whatever the answer, show the team as it stands now.
    if (compte)
        rafraichirCompte();
    Q_EMIT actionTerminee(ok);
    co_return ok;
}

void SectionEquipe::rafraichirCompte()
{
    // A refresh already running may have read the team before this change: one more after it.
    if (!compte_->rafraichissementEnCours()) {
        compte_->rafraichir();
        return;
    }
    auto* garde = new QObject(this);
    connect(compte_, &Compte::rafraichi, garde, [this, garde] {
        garde->deleteLater();
        compte_->rafraichir();
    });
}

QString SectionEquipe::message() const { return message_->isHidden() ? QString() : message_->text(); }

void SectionEquipe::montrerMessage(const QString& texte, bool erreur)
{
    message_->setText(texte);
    message_->setProperty("role", erreur ? QStringLiteral("erreur") : QStringLiteral("succes"));
    message_->style()->unpolish(message_);
    message_->style()->polish(message_);
    message_->setVisible(!texte.isEmpty());
}

void SectionEquipe::mettreOccupe(bool occupe)
{
    occupe_ = occupe;
    inviter_->setEnabled(!occupe);
    for (QPushButton* b : findChildren<QPushButton*>())
        if (b != boutonCompte_)
            b->setEnabled(!occupe);
    for (QComboBox* c : findChildren<QComboBox*>())
        c->setEnabled(!occupe);
}

} // namespace vd::cloud
