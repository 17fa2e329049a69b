#pragma once
// The team section of the Équipe page: the team's seats, members and pending
// invitations from Compte::equipe(), and for its owners and managers the forms
// that invite, change a role, remove a member and cancel an invitation through
// the "equipe" function. Without an account (demonstration, no backend, signed
// out, no team) it explains where the team will appear and offers the account.
#include <QJsonObject>
#include <QWidget>
#include <functional>
#include <optional>

#include <qcoro/qcorotask.h>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace vd::cloud {

class Compte;

class SectionEquipe : public QWidget {
    Q_OBJECT
public:
    // compte null: no backend (local or demonstration mode).
    explicit SectionEquipe(Compte* compte, QWidget* parent = nullptr);

    // Opens the account screen (sign-in, received invitations).
    std::function<void()> ouvrirCompte;
    // Asks the user to confirm a removal; a dialog by default.
    std::function<bool(const QString& question)> confirmer;

    // "3 places libres sur 10", "1 place libre sur 10", "Aucune place libre sur 10".
    static QString textePlaces(int libres, int sieges);
    // "12 appels sur 30 jours", "1 appel sur 30 jours", "Aucun appel sur 30 jours".
    static QString texteAppels(int n);

    // Sends one "equipe" action; refreshes the account when it succeeds.
    QCoro::Task<bool> executer(QJsonObject corps, QString succes);
    QString message() const;
    bool occupe() const { return occupe_; }

Q_SIGNALS:
    void actionTerminee(bool reussie);

private:
    void construireFormulaire();
    void actualiser();
    void remplirListes(const QJsonObject& equipe);
    QWidget* ligneMembre(const QJsonObject& m, const QString& monRole, bool gestionnaire);
    QWidget* ligneInvitation(const QJsonObject& i);
    void inviter();
    void montrerMessage(const QString& texte, bool erreur);
    void mettreOccupe(bool occupe);
    void rafraichirCompte();

    Compte* compte_;
    std::optional<QJsonObject> affichee_;
    int etatAffiche_ = -1;
    bool occupe_ = false;

    QLabel* titre_ = nullptr;
    QLabel* explication_ = nullptr;
    QPushButton* boutonCompte_ = nullptr;
    QWidget* equipe_ = nullptr;
    QLabel* role_ = nullptr;
    QLabel* places_ = nullptr;
    QWidget* formulaire_ = nullptr;
    QLineEdit* email_ = nullptr;
    QComboBox* roleInvite_ = nullptr;
    QCheckBox* envoyerEmail_ = nullptr;
    QPushButton* inviter_ = nullptr;
    QLabel* message_ = nullptr;
    QVBoxLayout* membres_ = nullptr;
    QWidget* blocInvitations_ = nullptr;
    QVBoxLayout* invitations_ = nullptr;
};

} // namespace vd::cloud
