#pragma once
// The help panel's state: the chat with the help assistant (which can look at
// up to 3 screenshots per question and suggest a ticket), the support tickets
// with their threads and replies, the new-ticket form, the attachments of each
// (uploaded one by one before the message that names them), and the unread and
// remaining counters, refreshed on a timer.
#include "assistant/piecesjointes.h"
#include "cloud/clientsupabase.h"
#include "platform/horloge.h"

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>

#include <qcoro/qcorotask.h>

namespace vd::platform {
class CaptureEcran;
}

namespace vd::assistant {

struct MessageAide {
    enum class Role { client, ia };
    QString id;
    Role role = Role::client;
    QString texte;
    bool proposeDemande = false;
    bool enCours = false;
    bool erreur = false;
    QList<PieceJointe> captures;
};

struct MessageDemande {
    int id = 0;
    QString auteur;   // "client" or "support"
    QString texte;
    bool conversationIA = false;
    std::optional<QDateTime> creeLe;
    QList<PieceServeur> pieces;

    static MessageDemande depuisJson(const QJsonObject& o);
};

struct DemandeAide {
    QString id, sujet, statut;
    std::optional<QDateTime> creeLe, dernierMessageLe;
    QString dernierAuteur;
    bool nonLu = false;
    QList<MessageDemande> messages;

    static DemandeAide depuisJson(const QJsonObject& o);
};

// The backend side of the panel: one call per action of "support/", and the upload of one file.
class TransportAide {
public:
    virtual ~TransportAide() = default;
    virtual QCoro::Task<cloud::ResultatCloud<model::JSONValeur>> appeler(QString action, QJsonObject corps, int delaiMs) = 0;
    virtual QCoro::Task<cloud::ResultatCloud<model::JSONValeur>> envoyerPiece(QByteArray donnees, QString type, QString nom,
                                                                              std::optional<QString> ticket) = 0;
};

// Over the backend client: "functions/v1/support/<action>"; a file goes as the raw
// body with "x-vd-nom" (UTF-8, percent-encoded) and "x-vd-ticket" when known.
class TransportAideCloud final : public TransportAide {
public:
    explicit TransportAideCloud(cloud::ClientSupabase* client) : client_(client) {}
    QCoro::Task<cloud::ResultatCloud<model::JSONValeur>> appeler(QString action, QJsonObject corps, int delaiMs) override;
    QCoro::Task<cloud::ResultatCloud<model::JSONValeur>> envoyerPiece(QByteArray donnees, QString type, QString nom,
                                                                      std::optional<QString> ticket) override;
    static constexpr int delaiMs = 30'000;
    static constexpr int delaiPieceMs = 120'000;

private:
    QPointer<cloud::ClientSupabase> client_;
};

namespace textesAide {
inline const QString nolwe = QStringLiteral("Nolwe vous répond ici.");
inline const QString ticketEnvoye = QStringLiteral("Ticket envoyé. Nolwe vous répond ici.");
inline const QString ticketEchoue = QStringLiteral("Le ticket n'est pas parti. Réessayez.");
inline const QString sujetManquant = QStringLiteral("Donnez un sujet à votre ticket.");
inline const QString messageManquant = QStringLiteral("Décrivez votre problème en quelques mots.");
inline const QString reponseVide = QStringLiteral("Écrivez votre réponse.");
inline const QString reponseEchouee = QStringLiteral("Votre réponse n'est pas partie. Réessayez.");
inline const QString listeEchouee = QStringLiteral("Vos tickets ne se chargent pas. Réessayez.");
inline const QString refusee = QStringLiteral("La demande a été refusée. Réessayez.");
inline const QString sansConnexion = QStringLiteral("Pas de connexion. L'aide a besoin d'internet.");
inline const QString sansReponse = QStringLiteral("L'aide ne répond pas pour le moment. Réessayez, ou ouvrez un ticket.");
inline const QString tropLongue = QStringLiteral("L'aide met trop de temps à répondre. Réessayez, ou ouvrez un ticket.");
inline const QString nonConnecte = QStringLiteral("Connectez-vous pour continuer.");
inline const QString sansCompte = QStringLiteral(
    "L'aide et les tickets passent par votre compte Vendalo. Connectez-vous pour poser une question ou écrire à l'équipe.");
} // namespace textesAide

// The message of a server hint ("support_limite"…); none for a code of no meaning here.
std::optional<QString> messageIndice(const QString& indice);
// A failure as the panel shows it; repli when nothing more precise applies.
QString messageErreurAide(const cloud::ErreurCloud& e, const QString& repli, bool chat = false);

class AideApp : public QObject {
    Q_OBJECT
public:
    enum class Onglet { aide, demandes };
    Q_ENUM(Onglet)

    struct Formulaire {
        QString sujet, message;
        bool sujetEnCours = false;         // the subject is being edited (the form is open)
        bool envoi = false;
        std::optional<QString> erreur;
        QList<PieceJointe> pieces;
        bool avecConversation = false;     // the help chat goes with the ticket
    };
    struct Cible {
        enum class Genre { reponse, chat, formulaire };
        Genre genre = Genre::formulaire;
        QString ticket;   // for reponse
        static Cible reponse(const QString& t) { return {Genre::reponse, t}; }
        static Cible chat() { return {Genre::chat, {}}; }
        static Cible formulaire() { return {Genre::formulaire, {}}; }
    };

    static constexpr int periodeMs = 120'000;   // counters refresh
    static constexpr int delaiChatMs = 120'000;

    // transport null: no backend (every action answers "Connectez-vous pour continuer.").
    AideApp(std::unique_ptr<TransportAide> transport, platform::Horloge& horloge = platform::Horloge::instance(),
            QObject* parent = nullptr);
    ~AideApp() override;

    bool disponible() const { return transport_ != nullptr; }
    void setCapture(platform::CaptureEcran* capture);
    void setEcran(const QString& ecran) { ecran_ = ecran; }
    const QString& ecran() const { return ecran_; }

    // Once: reads the counters at once, then every periodeMs.
    void demarrer();
    bool demarre() const { return demarre_; }
    void ouvrir(Onglet onglet);
    void fermer();
    bool ouvert() const { return ouvert_; }
    Onglet onglet() const { return onglet_; }
    void setOnglet(Onglet o);

    // Help chat.
    const QList<MessageAide>& conversation() const { return conversation_; }
    bool enCours() const { return enCours_; }
    std::optional<int> restants() const { return restants_; }
    const QList<PieceJointe>& capturesChat() const { return capturesChat_; }
    void poser(const QString& question);
    void nouvelleConversation();

    // New ticket.
    const Formulaire& formulaire() const { return formulaire_; }
    bool formulaireOuvert() const { return formulaireOuvert_; }
    // avecConversation: the chat goes with it (from the chat's proposal).
    void nouveauTicket(bool avecConversation = false);
    void fermerFormulaire();
    void setSujet(const QString& s);
    void setMessage(const QString& m);
    void setAvecConversation(bool b);
    void envoyerFormulaire();
    // Shown once the ticket and all its files went.
    const std::optional<QString>& confirmation() const { return confirmation_; }

    // Tickets.
    const QList<DemandeAide>& demandes() const { return demandes_; }
    const DemandeAide* demande(const QString& id) const;
    int nonLus() const { return nonLus_; }
    bool chargementDemandes() const { return chargementDemandes_; }
    const std::optional<QString>& erreurDemandes() const { return erreurDemandes_; }
    const std::optional<QString>& demandeOuverte() const { return demandeOuverte_; }
    void chargerDemandes();
    void ouvrirDemande(const QString& id);
    void fermerDemande();
    bool envoiReponse() const { return envoiReponse_; }
    const std::optional<QString>& erreurReponse() const { return erreurReponse_; }
    void repondre(const QString& ticket, const QString& texte);
    QList<PieceJointe> piecesReponse(const QString& ticket) const { return piecesReponse_.value(ticket); }
    // A download link for a server attachment.
    QCoro::Task<cloud::ResultatCloud<QUrl>> lien(QString pieceId);

    // Attachments (refusals land in erreurPieces).
    const std::optional<QString>& erreurPieces() const { return erreurPieces_; }
    bool ajouterFichier(const Cible& c, const QString& chemin);
    bool ajouterDonnees(const Cible& c, const QString& nom, const QByteArray& donnees);
    bool collerImage(const Cible& c, const QImage& image);
    void capturer(const Cible& c);
    bool captureEnCours() const { return captureEnCours_; }
    void retirerPiece(const Cible& c, const QString& id);
    void reessayerPiece(const Cible& c, const QString& id);
    QList<PieceJointe> pieces(const Cible& c) const;

    // Reads the counters now ("etat").
    void rafraichirEtat();
    int compteur() const { return compteur_; }   // requests sent (diagnostics)
    std::optional<QDateTime> dernierEtat() const { return dernierEtat_; }

Q_SIGNALS:
    void change();

private:
    QList<PieceJointe>* liste(const Cible& c);
    QCoro::Task<void> executerChat(QJsonObject corps, QString idReponse);
    QCoro::Task<void> executerFormulaire();
    QCoro::Task<void> executerReponse(QString ticket, QString texte);
    QCoro::Task<void> executerDemandes();
    QCoro::Task<void> executerDemande(QString id);
    QCoro::Task<void> executerEtat();
    // Uploads the files not sent yet; true when all went.
    QCoro::Task<bool> envoyerPieces(Cible c, std::optional<QString> ticket);
    QCoro::Task<void> envoyerUnePiece(Cible c, QString id, std::optional<QString> ticket);
    void lireEtat(const QJsonObject& o);
    void remplacer(const DemandeAide& d);
    void recompter();
    MessageAide* messageAide(const QString& id);
    QJsonArray conversationJson() const;

    std::unique_ptr<TransportAide> transport_;
    platform::Horloge& horloge_;
    QPointer<platform::CaptureEcran> capture_;
    platform::Minuterie* minuteur_ = nullptr;
    QString ecran_;
    bool demarre_ = false;
    bool ouvert_ = false;
    Onglet onglet_ = Onglet::aide;
    QList<MessageAide> conversation_;
    bool enCours_ = false;
    std::optional<int> restants_;
    QList<PieceJointe> capturesChat_;
    Formulaire formulaire_;
    bool formulaireOuvert_ = false;
    std::optional<QString> confirmation_;
    QList<DemandeAide> demandes_;
    int nonLus_ = 0;
    bool chargementDemandes_ = false;
    std::optional<QString> erreurDemandes_;
    std::optional<QString> demandeOuverte_;
    bool envoiReponse_ = false;
    std::optional<QString> erreurReponse_;
    QHash<QString, QList<PieceJointe>> piecesReponse_;
    std::optional<QString> erreurPieces_;
    bool captureEnCours_ = false;
    std::optional<Cible> cibleCapture_;
    std::optional<QDateTime> dernierEtat_;
    int compteur_ = 0;
    quint64 generationChat_ = 0;
};

} // namespace vd::assistant
