#pragma once
// The program's view of the signed-in user: session and network state, the
// account summary ("mon_compte", kept in "cloud/compte.json" for offline
// starts), the team view ("mon_equipe"), team actions, invitations and the
// deletion of the account.
#include "cloud/clientsupabase.h"
#include "platform/horloge.h"
#include "platform/reseau.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>

namespace vd::cloud {

class Compte : public QObject {
    Q_OBJECT
public:
    enum class Etat { deconnecte, connexion, connecte, horsLigne };
    Q_ENUM(Etat)
    // What handling a link opened by the system produced, for the account screen.
    struct ResultatLien {
        enum class Genre { message, connecte, choisirMotDePasse, ignore };
        Genre genre = Genre::ignore;
        QString message;   // for Genre::message
        bool operator==(const ResultatLien&) const = default;
    };

    static constexpr int periodeMs = 300'000;
    static constexpr qint64 fraicheurPremierPlanMs = 30'000;
    static constexpr int delaiMs = 30'000;

    // client null: no backend configured ("mode_local").
    Compte(ClientSupabase* client, const QString& dossierCloud, platform::Reseau& reseau,
           platform::Horloge& horloge = platform::Horloge::instance(), QObject* parent = nullptr);

    void demarrer();
    // One refresh at a time; a request during one is answered by it.
    void rafraichir();
    void auPremierPlan();

    Etat etat() const { return etat_; }
    const std::optional<QJsonObject>& infos() const { return infos_; }
    const std::optional<QJsonObject>& equipe() const { return equipe_; }
    std::optional<QString> messageSession() const { return messageSession_; }
    qint64 decalageHorlogeS() const { return decalageS_; }
    bool rafraichissementEnCours() const { return enCours_; }
    std::optional<QString> erreur() const { return erreur_; }
    QString roleOrg() const;
    bool gestionnaire() const;
    QString cheminCompte() const { return chemin_; }
    // A recovery link signed the user in: a new password must be chosen first.
    bool besoinMotDePasse() const { return besoinMotDePasse_; }
    void fixerBesoinMotDePasse(bool b)
    {
        if (b != besoinMotDePasse_) {
            besoinMotDePasse_ = b;
            Q_EMIT change();
        }
    }
    const std::optional<ResultatLien>& dernierLien() const { return dernierLien_; }
    // A "vendalo2" link other than the calendar's: sign-in callbacks (confirmation,
    // recovery, Google) through the client. The result is kept as dernierLien.
    QCoro::Task<ResultatLien> traiterLien(QUrl url);
    // Signed in and the account read, but no company name given yet (a Google sign-up, for one).
    bool besoinEntreprise() const
    {
        return (etat_ == Etat::connecte || etat_ == Etat::horsLigne) && infos_
            && infos_->value(QStringLiteral("compte")).toObject().value(QStringLiteral("entreprise")).toString().trimmed().isEmpty();
    }

    // Called when the account becomes usable (sign-in, network back): synchronisation asks for a forced run.
    std::function<void()> surUtilisable;

    QCoro::Task<ResultatCloud<model::JSONValeur>> accepter(QString invitation);
    QCoro::Task<ResultatCloud<model::JSONValeur>> refuser(QString invitation);
    QCoro::Task<ResultatCloud<model::JSONValeur>> actionEquipe(QJsonObject corps);
    QCoro::Task<ResultatCloud<model::JSONValeur>> apercuSuppression();
    // Erases "compte.json" and "synchro.json" once the server confirms, then signs out.
    QCoro::Task<ResultatCloud<model::JSONValeur>> supprimerCompte(QString confirmation);

    static QString libelleRole(const QString& roleOrg);
    static ErreurCloud erreurModeLocal();

Q_SIGNALS:
    void change();
    void rafraichi(bool reussi);
    void lienTraite(const vd::cloud::Compte::ResultatLien& resultat);

private:
    QCoro::Task<void> executerRafraichissement();
    void surSession(ClientSupabase::Evenement e);
    void mettreEtat(Etat e);
    void lireCopie();
    void effacerCopie();

    QPointer<ClientSupabase> client_;
    QString dossier_, chemin_;
    platform::Reseau& reseau_;
    platform::Horloge& horloge_;
    platform::Minuterie* minuteur_ = nullptr;
    Etat etat_ = Etat::deconnecte;
    std::optional<QJsonObject> infos_, equipe_;
    std::optional<QString> messageSession_, erreur_;
    qint64 decalageS_ = 0;
    bool enCours_ = false;
    bool demarre_ = false;
    bool besoinMotDePasse_ = false;
    std::optional<ResultatLien> dernierLien_;
    std::optional<qint64> dernierRafraichissementMs_;
};

} // namespace vd::cloud
