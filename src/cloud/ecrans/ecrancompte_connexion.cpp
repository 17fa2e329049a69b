// The signed-out forms of the account page and the two steps that may follow
// a sign-in: a new password after a recovery link, the company name.
#include "ecrancompte.h"

#include "cloud/clientsupabase.h"
#include "cloud/compte.h"
#include "ui/ecrans/style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vd::cloud {

namespace st = ui::style;

namespace {

const QString trop_court = QStringLiteral("Mot de passe trop faible : 8 caractères au moins.");

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

bool emailPlausible(const QString& e)
{
    const QString t = e.trimmed();
    const qsizetype a = t.indexOf(QLatin1Char('@'));
    return a > 0 && a < t.size() - 1 && !t.contains(QLatin1Char(' '));
}

} // namespace

void EcranCompte::remplirConnexion()
{
    QVBoxLayout* l = nullptr;
    carte(l);
    l->addWidget(st::etiquette(QStringLiteral("Connexion à votre compte Vendalo"), QStringLiteral("titreCarte")));
    texte(QStringLiteral("Votre compte relie vos appels à votre équipe et garde vos données à l'abri."), l);
    if (const auto m = ctx_.compte->messageSession())
        texte(*m, l, QStringLiteral("alerte"))->setObjectName(QStringLiteral("messageSession"));
    // What the last opened link gave ("Email confirmé. Connectez-vous.", an expired link…).
    if (const auto& d = ctx_.compte->dernierLien(); d && d->genre == Compte::ResultatLien::Genre::message && !d->message.isEmpty())
        texte(d->message, l, QStringLiteral("alerte"))->setObjectName(QStringLiteral("messageLien"));
    champ(l, QStringLiteral("Adresse email"), &Saisie::email, QStringLiteral("email"));
    QLineEdit* mdp = champ(l, QStringLiteral("Mot de passe"), &Saisie::motDePasse, QStringLiteral("motDePasse"), true);
    connect(mdp, &QLineEdit::returnPressed, this, &EcranCompte::seConnecter);
    messages(l);
    QHBoxLayout* r = rangee(l);
    bouton(r, QStringLiteral("Se connecter"), QStringLiteral("primaire"), &EcranCompte::seConnecter);
    bouton(r, QStringLiteral("Continuer avec Google"), QStringLiteral("secondaire"), &EcranCompte::continuerAvecGoogle);
    r->addStretch(1);
    if (google_) {
        texte(QStringLiteral("Terminez la connexion dans votre navigateur, puis revenez ici."), l);
        QPushButton* a = st::bouton(QStringLiteral("Annuler"), QStringLiteral("secondaire"));
        connect(a, &QPushButton::clicked, this, &EcranCompte::annulerGoogle);
        rangee(l)->addWidget(a, 0, Qt::AlignLeft);
    }
    QHBoxLayout* liens = rangee(l);
    bouton(liens, QStringLiteral("Mot de passe oublié ?"), QStringLiteral("lien"), [this] { allerA(Vue::recuperation); });
    bouton(liens, QStringLiteral("Pas encore de compte ? Créer un compte"), QStringLiteral("lien"),
           [this] { allerA(Vue::inscription); });
    liens->addStretch(1);
}

void EcranCompte::seConnecter()
{
    if (enCours_)
        return;
    if (saisie_.email.trimmed().isEmpty() || saisie_.motDePasse.isEmpty()) {
        erreur_ = QStringLiteral("Saisissez votre adresse email et votre mot de passe.");
        info_.reset();
        remplir();
        return;
    }
    if (commencer())
        executerConnexion(saisie_.email.trimmed(), saisie_.motDePasse);
}

QCoro::Task<void> EcranCompte::executerConnexion(QString email, QString motDePasse)
{
    QPointer<EcranCompte> moi(this);
    auto r = co_await client()->connecter(email, motDePasse);
    if (!moi)
        co_return;
    if (r) {
        saisie_.motDePasse.clear();
        formulaire_ = Vue::connexion;
        finir(std::nullopt);
        co_return;
    }
    // Signed up but not confirmed yet: back to the wait for the link, with its resend.
    if (r.erreur().code == QLatin1String("email_not_confirmed")) {
        emailAConfirmer_ = email.toLower();
        formulaire_ = Vue::confirmation;
    }
    finir(r.erreur());
}

void EcranCompte::continuerAvecGoogle()
{
    if (!commencer())
        return;
    google_ = true;
    remplir();
    executerGoogle();
}

QCoro::Task<void> EcranCompte::executerGoogle()
{
    QPointer<EcranCompte> moi(this);
    auto r = co_await client()->connecterAvecGoogle();
    if (!moi)
        co_return;
    finir(r ? std::nullopt : std::optional(r.erreur()));
}

void EcranCompte::annulerGoogle()
{
    if (client())
        client()->annulerConnexionWeb();
}

void EcranCompte::remplirInscription()
{
    QVBoxLayout* l = nullptr;
    carte(l);
    l->addWidget(st::etiquette(QStringLiteral("Créer votre compte Vendalo"), QStringLiteral("titreCarte")));
    texte(QStringLiteral("Un lien de confirmation vous sera envoyé par email."), l);
    champ(l, QStringLiteral("Nom"), &Saisie::nom, QStringLiteral("nom"));
    champ(l, QStringLiteral("Entreprise"), &Saisie::entreprise, QStringLiteral("entreprise"));
    champ(l, QStringLiteral("Adresse email"), &Saisie::email, QStringLiteral("email"));
    QLineEdit* mdp = champ(l, QStringLiteral("Mot de passe (8 caractères au moins)"), &Saisie::motDePasse,
                           QStringLiteral("motDePasse"), true);
    connect(mdp, &QLineEdit::returnPressed, this, &EcranCompte::sInscrire);
    messages(l);
    QHBoxLayout* r = rangee(l);
    bouton(r, QStringLiteral("Créer mon compte"), QStringLiteral("primaire"), &EcranCompte::sInscrire);
    bouton(r, QStringLiteral("Déjà un compte ? Se connecter"), QStringLiteral("lien"), [this] { allerA(Vue::connexion); });
    r->addStretch(1);
}

void EcranCompte::sInscrire()
{
    if (enCours_)
        return;
    // Checked here, before any request.
    std::optional<QString> refus;
    if (!emailPlausible(saisie_.email))
        refus = QStringLiteral("Adresse email invalide.");
    else if (saisie_.motDePasse.toUcs4().size() < 8)
        refus = trop_court;
    if (refus) {
        erreur_ = refus;
        info_.reset();
        remplir();
        return;
    }
    QJsonObject donnees{{QStringLiteral("source"), QStringLiteral("application")}};
    if (!saisie_.nom.trimmed().isEmpty())
        donnees.insert(QStringLiteral("nom"), saisie_.nom.trimmed());
    if (!saisie_.entreprise.trimmed().isEmpty())
        donnees.insert(QStringLiteral("entreprise"), saisie_.entreprise.trimmed());
    if (commencer())
        executerInscription(saisie_.email.trimmed(), saisie_.motDePasse, donnees);
}

QCoro::Task<void> EcranCompte::executerInscription(QString email, QString motDePasse, QJsonObject donnees)
{
    QPointer<EcranCompte> moi(this);
    auto r = co_await client()->inscrire(email, motDePasse, donnees);
    if (!moi)
        co_return;
    if (r) {
        saisie_.motDePasse.clear();
        // Usable at once, or once the e-mail is confirmed.
        formulaire_ = r.valeur() ? Vue::connexion : Vue::confirmation;
        if (!r.valeur())
            emailAConfirmer_ = email.toLower();
        finir(std::nullopt);
        co_return;
    }
    finir(r.erreur());
}

void EcranCompte::remplirConfirmation()
{
    QVBoxLayout* l = nullptr;
    carte(l);
    l->addWidget(st::etiquette(QStringLiteral("Confirmez votre adresse email"), QStringLiteral("titreCarte")));
    texte(QStringLiteral("Un lien vient de partir vers %1. Ouvrez-le sur cet ordinateur pour activer votre compte, "
                         "puis connectez-vous.").arg(emailAConfirmer_), l)
        ->setObjectName(QStringLiteral("emailAConfirmer"));
    messages(l);
    QHBoxLayout* r = rangee(l);
    bouton(r, QStringLiteral("Me connecter"), QStringLiteral("primaire"), [this] {
        saisie_.email = emailAConfirmer_;
        allerA(Vue::connexion);
    });
    bouton(r, QStringLiteral("Renvoyer le lien"), QStringLiteral("secondaire"), &EcranCompte::renvoyer);
    bouton(r, QStringLiteral("Changer d'adresse"), QStringLiteral("lien"), [this] { allerA(Vue::inscription); });
    r->addStretch(1);
}

void EcranCompte::renvoyer()
{
    if (commencer())
        executerRenvoi(emailAConfirmer_);
}

QCoro::Task<void> EcranCompte::executerRenvoi(QString email)
{
    QPointer<EcranCompte> moi(this);
    auto r = co_await client()->renvoyerConfirmation(email);
    if (!moi)
        co_return;
    if (r)
        finir(std::nullopt, QStringLiteral("Un nouveau lien vient de partir vers %1.").arg(email));
    else
        finir(r.erreur());
}

void EcranCompte::remplirRecuperation()
{
    QVBoxLayout* l = nullptr;
    carte(l);
    l->addWidget(st::etiquette(QStringLiteral("Mot de passe oublié"), QStringLiteral("titreCarte")));
    texte(QStringLiteral("Indiquez votre adresse : un lien pour choisir un nouveau mot de passe vous sera envoyé."), l);
    QLineEdit* e = champ(l, QStringLiteral("Adresse email"), &Saisie::email, QStringLiteral("email"));
    connect(e, &QLineEdit::returnPressed, this, &EcranCompte::demanderLien);
    messages(l);
    QHBoxLayout* r = rangee(l);
    bouton(r, QStringLiteral("Envoyer le lien"), QStringLiteral("primaire"), &EcranCompte::demanderLien);
    bouton(r, QStringLiteral("Retour à la connexion"), QStringLiteral("lien"), [this] { allerA(Vue::connexion); });
    r->addStretch(1);
}

void EcranCompte::demanderLien()
{
    if (enCours_)
        return;
    if (!emailPlausible(saisie_.email)) {
        erreur_ = QStringLiteral("Adresse email invalide.");
        remplir();
        return;
    }
    if (commencer())
        executerLien(saisie_.email.trimmed());
}

QCoro::Task<void> EcranCompte::executerLien(QString email)
{
    QPointer<EcranCompte> moi(this);
    auto r = co_await client()->demanderReinitialisation(email);
    if (!moi)
        co_return;
    if (!r) {
        finir(r.erreur());
        co_return;
    }
    formulaire_ = Vue::connexion;
    finir(std::nullopt, QStringLiteral("Si un compte existe pour %1, un lien vient de partir : ouvrez-le sur cet ordinateur "
                                       "pour choisir un nouveau mot de passe.").arg(email));
}

void EcranCompte::remplirMotDePasse()
{
    QVBoxLayout* l = nullptr;
    carte(l);
    l->addWidget(st::etiquette(QStringLiteral("Choisissez un nouveau mot de passe"), QStringLiteral("titreCarte")));
    texte(QStringLiteral("Le lien reçu vous a connecté : choisissez maintenant votre nouveau mot de passe."), l);
    champ(l, QStringLiteral("Nouveau mot de passe (8 caractères au moins)"), &Saisie::motDePasse,
          QStringLiteral("nouveauMotDePasse"), true);
    QLineEdit* deux = champ(l, QStringLiteral("Confirmez le mot de passe"), &Saisie::motDePasse2,
                            QStringLiteral("confirmationMotDePasse"), true);
    connect(deux, &QLineEdit::returnPressed, this, &EcranCompte::choisirMotDePasse);
    messages(l);
    QHBoxLayout* r = rangee(l);
    bouton(r, QStringLiteral("Enregistrer le mot de passe"), QStringLiteral("primaire"), &EcranCompte::choisirMotDePasse);
    r->addStretch(1);
}

void EcranCompte::choisirMotDePasse()
{
    if (enCours_)
        return;
    std::optional<QString> refus;
    if (saisie_.motDePasse.toUcs4().size() < 8)
        refus = trop_court;
    else if (saisie_.motDePasse != saisie_.motDePasse2)
        refus = QStringLiteral("Les deux mots de passe ne sont pas identiques.");
    if (refus) {
        erreur_ = refus;
        remplir();
        return;
    }
    if (commencer())
        executerMotDePasse(saisie_.motDePasse);
}

QCoro::Task<void> EcranCompte::executerMotDePasse(QString motDePasse)
{
    QPointer<EcranCompte> moi(this);
    auto r = co_await client()->changerMotDePasse(motDePasse);
    if (!moi)
        co_return;
    if (!r) {
        finir(r.erreur());
        co_return;
    }
    saisie_.motDePasse.clear();
    saisie_.motDePasse2.clear();
    finir(std::nullopt, QStringLiteral("Votre nouveau mot de passe est enregistré."));
    ctx_.compte->fixerBesoinMotDePasse(false);
}

void EcranCompte::remplirEntreprise()
{
    QVBoxLayout* l = nullptr;
    carte(l);
    l->addWidget(st::etiquette(QStringLiteral("Votre entreprise"), QStringLiteral("titreCarte")));
    texte(QStringLiteral("Indiquez le nom de votre entreprise : il figure sur votre compte et auprès de votre équipe."), l);
    QLineEdit* e = champ(l, QStringLiteral("Nom de l'entreprise"), &Saisie::entreprise, QStringLiteral("entreprise"));
    connect(e, &QLineEdit::returnPressed, this, &EcranCompte::enregistrerEntreprise);
    messages(l);
    QHBoxLayout* r = rangee(l);
    bouton(r, QStringLiteral("Enregistrer"), QStringLiteral("primaire"), &EcranCompte::enregistrerEntreprise);
    bouton(r, QStringLiteral("Plus tard"), QStringLiteral("lien"), &EcranCompte::plusTard);
    r->addStretch(1);
}

void EcranCompte::plusTard()
{
    entrepriseReportee_ = true;
    erreur_.reset();
    remplir();
}

void EcranCompte::enregistrerEntreprise()
{
    if (enCours_)
        return;
    const QString nom = saisie_.entreprise.simplified();
    if (nom.isEmpty()) {
        erreur_ = QStringLiteral("Indiquez le nom de votre entreprise.");
        remplir();
        return;
    }
    if (!client()->session())
        return;
    const QString id = client()->session()->utilisateur.id;
    if (commencer())
        executerEntreprise(id, nom.left(200));
}

QCoro::Task<void> EcranCompte::executerEntreprise(QString id, QString entreprise)
{
    QPointer<EcranCompte> moi(this);
    QUrlQuery filtre;
    filtre.addQueryItem(QStringLiteral("id"), QStringLiteral("eq.") + id);
    const QString table = QStringLiteral("comptes");
    const QJsonObject valeurs{{QStringLiteral("entreprise"), entreprise}};
    auto r = co_await client()->modifier(table, filtre, valeurs);
    if (!moi)
        co_return;
    if (!r) {
        finir(r.erreur());
        co_return;
    }
    // The summary shows it once read again; meanwhile the step is done.
    entrepriseReportee_ = true;
    finir(std::nullopt);
    ctx_.compte->rafraichir();
}

} // namespace vd::cloud
