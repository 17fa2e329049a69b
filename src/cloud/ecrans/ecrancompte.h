#pragma once
// The account page. Signed out: sign-in, sign-up, the wait for the
// confirmation link, password recovery. After a recovery link: the new
// password; without a company name: that step. Signed in: the account, its
// team and role, the invitations received, sign-out and the deletion of the
// account (a preview, then the typed confirmation). Without a backend: the
// local-mode message. One request at a time, its buttons off while it runs.
#include "ui/ecrans/ecranbase.h"

#include <QJsonObject>
#include <QPointer>

#include <qcoro/qcorotask.h>

class QLineEdit;
class QPushButton;

namespace vd::cloud {

class ClientSupabase;
class Compte;
struct ErreurCloud;

class EcranCompte : public ui::EcranBase {
    Q_OBJECT
public:
    enum class Vue { local, connexion, inscription, confirmation, recuperation, motDePasse, entreprise, compte };
    Q_ENUM(Vue)

    // The text to type before the account is deleted, unless the preview names
    // another one ("confirmation", the account's e-mail for the real backend).
    static inline const QString motSuppression = QStringLiteral("SUPPRIMER");

    explicit EcranCompte(ui::Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override;
    void afficher(const ui::Ecran& e) override;

    Vue vue() const;
    bool requeteEnCours() const { return enCours_; }

private:
    struct Saisie {
        QString nom, entreprise, email, motDePasse, motDePasse2, confirmation;
    };

    ClientSupabase* client() const;
    void remplir();
    void allerA(Vue formulaire);

    // Building blocks (ecrancompte.cpp).
    QFrame* carte(QVBoxLayout*& l);
    QLineEdit* champ(QVBoxLayout* l, const QString& libelle, QString Saisie::*cible, const QString& nom,
                     bool secret = false);
    QPushButton* bouton(QBoxLayout* l, const QString& texte, const QString& role, std::function<void()> faire);
    QPushButton* bouton(QBoxLayout* l, const QString& texte, const QString& role, void (EcranCompte::*faire)())
    {
        return bouton(l, texte, role, [this, faire] { (this->*faire)(); });
    }
    void messages(QVBoxLayout* l);
    bool commencer();
    void finir(const std::optional<ErreurCloud>& erreur, const std::optional<QString>& info = std::nullopt);

    // Signed out and the first steps (ecrancompte_connexion.cpp).
    void remplirConnexion();
    void remplirInscription();
    void remplirConfirmation();
    void remplirRecuperation();
    void remplirMotDePasse();
    void remplirEntreprise();
    void seConnecter();
    void sInscrire();
    void continuerAvecGoogle();
    void annulerGoogle();
    void renvoyer();
    void demanderLien();
    void choisirMotDePasse();
    void enregistrerEntreprise();
    void plusTard();
    QCoro::Task<void> executerConnexion(QString email, QString motDePasse);
    QCoro::Task<void> executerInscription(QString email, QString motDePasse, QJsonObject donnees);
    QCoro::Task<void> executerGoogle();
    QCoro::Task<void> executerRenvoi(QString email);
    QCoro::Task<void> executerLien(QString email);
    QCoro::Task<void> executerMotDePasse(QString motDePasse);
    QCoro::Task<void> executerEntreprise(QString id, QString entreprise);

    // Signed in (ecrancompte_session.cpp).
    void remplirCompte();
    void remplirInvitations(const QJsonArray& invitations);
    void remplirSuppression();
    void seDeconnecter();
    void demanderApercu();
    void supprimer();
    void annulerSuppression();
    QString motAttendu() const;
    bool confirmationSaisie(const QString& texte) const;
    QCoro::Task<void> executerInvitation(QString id, bool accepter);
    QCoro::Task<void> executerDeconnexion();
    QCoro::Task<void> executerApercu();
    QCoro::Task<void> executerSuppression(QString confirmation);

    QVBoxLayout* corps_ = nullptr;
    Vue formulaire_ = Vue::connexion;   // the signed-out form shown
    Vue affichee_ = Vue::local;
    int etatAffiche_ = -1;   // the account state the page was drawn for
    Saisie saisie_;
    bool enCours_ = false;
    bool google_ = false;
    bool entrepriseReportee_ = false;
    bool messagesEnBas_ = false;   // messages of the deletion shown in its own card
    QString emailAConfirmer_;
    std::optional<QString> erreur_, info_;
    std::optional<QJsonObject> apercu_;   // the deletion preview, once asked
    QList<QPointer<QWidget>> actifs_;     // off while a request runs
};

} // namespace vd::cloud
