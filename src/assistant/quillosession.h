#pragma once
// One conversation with the assistant: builds each request through the
// engine, streams the answer into blocks, runs the read tools locally, turns
// the proposal tools into cards the user applies, undoes or sets aside, and
// loops while the model asks for tools.
#include "ai/clientclaude.h"
#include "fluxquillo.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <functional>

namespace vd::model {
class Store;
struct Etat;
}
namespace vd::ai {
class Moteur;
}

namespace vd::assistant {

struct ElementQuillo {
    enum class Genre { question, reponse, outil, navigation, proposition, memoire, erreur };
    QString id;
    Genre genre = Genre::reponse;
    QString texte, le;
    std::optional<QString> outil;
    std::optional<bool> enCours;
    std::optional<QString> ecran, cible;
    std::optional<QJsonValue> proposition;
    std::optional<QString> toolUseId, statut, choix;
    std::optional<QJsonValue> annulation;
    std::optional<QString> detail;
    std::optional<qint64> tMs;

    QJsonObject versJson() const;
    static ElementQuillo depuisJson(const QJsonObject& o);
};
QString nomGenre(ElementQuillo::Genre g);

struct ConversationQuillo {
    QString id, titre, mode = QStringLiteral("page"), creeLe, majLe;
    QStringList messages;            // each model-side message as JSON text
    QList<ElementQuillo> affichage;
    std::optional<QString> aujourdhui;
    std::optional<QStringList> memoire;
    std::optional<QString> appelId;
    QStringList enAttente;
    QStringList notesApp;

    QJsonObject versJson() const;
    static ConversationQuillo depuisJson(const QJsonObject& o);
};

enum class SourceQuillo { cloud, cle, demo, relais };

namespace textesQuillo {
inline const QString demo = QStringLiteral("Démo : réponses d'exemple, pour découvrir Quillo.");
inline const QString arretee = QStringLiteral("Réponse arrêtée.");
inline const QString entreeInvalide = QStringLiteral("Entrée invalide.");
inline const QString reformule = QStringLiteral("Demande illisible, Quillo la reformule");
inline const QString sansReponse = QStringLiteral("Quillo n'a pas trouvé de réponse. Reformulez.");
inline const QString generique = QStringLiteral("Quillo n'a pas pu répondre. Réessayez.");
inline const QString reseau = QStringLiteral("Pas de connexion. Quillo a besoin d'internet.");
inline const QString delai = QStringLiteral("Quillo met trop de temps à répondre. Réessayez.");
inline const QString coupee = QStringLiteral("La réponse a été coupée. Réessayez.");
inline const QString historiqueCoupe = QStringLiteral("Historique coupé : les plus anciens messages ne sont plus envoyés.");
} // namespace textesQuillo

// The label of a proposal state ("attente" → "En attente de votre choix", …).
QString libelleStatut(const QString& statut);
// The message of a failed exchange: HTTP status (0 for none), the server's
// message, the relay's or backend's short code, and the route.
QString messageErreurQuillo(int statut, const QString& message, const QString& code, SourceQuillo source);
// The server says the strict tool-input grammar could not be built.
bool erreurDeGrammaire(int statut, const QString& message);

// The app data the read tools look at, as JSON text: contacts, interactions,
// profiles, company, settings, and calls without their transcripts.
QByteArray donneesQuillo(const model::Etat& etat, const QString& aujourdhui);

struct ConfigQuillo {
    ai::ConfigClientIA client;                 // routes, network, clock, base address
    std::optional<SourceQuillo> sourceForcee;  // e.g. the demonstration
    int maxToursDefaut = 8;
    int delaiMs = 60000;                       // no byte for that long: "trop de temps"
    int pauseDemoMs = 8;                       // between two events of the demonstration stream
};

class QuilloSession : public QObject {
    Q_OBJECT
public:
    QuilloSession(model::Store& store, ConfigQuillo config, QString mode = QStringLiteral("page"),
                  QObject* parent = nullptr);
    ~QuilloSession() override;

    const QString& mode() const { return mode_; }
    const ConversationQuillo& conversation() const { return conversation_; }
    bool enCours() const { return enCours_; }
    std::optional<SourceQuillo> source() const { return source_; }
    bool historiqueCoupe() const { return historiqueCoupe_; }
    bool sansStrict() const { return conversationsSansStrict_.contains(conversation_.id); }
    const QStringList& outilsAppeles() const { return outilsAppeles_; }
    // The body of the last request sent (tests, diagnostics).
    const QJsonObject& derniereRequete() const { return derniereRequete_; }

    std::function<void(const QString& ecran, const QString& cible)> naviguer;
    std::function<void(const QString& url)> ouvrirURL;
    std::function<void(const QStringList& questions)> proposerQuestion;
    std::optional<QJsonValue> contexteQuestion;   // the live call, in "appel" mode

    void demander(const QString& question);
    void arreter();
    void appliquer(const QString& toolUseId);
    void defaire(const QString& toolUseId);
    void ignorer(const QString& toolUseId);
    void nouvelle();
    bool ouvrir(const QString& id);
    // "appel" mode: the conversation belongs to this live call (a new one when the call changes).
    void lierAppel(const QString& appelId);
    static QList<ConversationQuillo> conversations(const model::Store& store);
    static void supprimerHistorique(model::Store& store);
    static void supprimerMemoire(model::Store& store);
    // Opens an outside address only for http, https and mailto, on the user's click.
    bool ouvrirLien(const QString& url);

Q_SIGNALS:
    void changement();                        // the conversation or the state moved
    void texteRecu(const QString& elementId); // a text delta was shown
    void fini();                              // the question is answered, stopped or failed

private:
    void envoyerTour();
    void surSource(ai::SourceIA s);
    void ouvrirFlux(const QJsonObject& corps);
    void surDonnees(const QByteArray& morceau);
    void surFin();
    void surEchec(const ai::EchecFlux& e);
    void terminerTour();
    void executerOutils();
    void erreur(const QString& message);
    void conclure();
    void sauver();
    void arreterLecture();
    ElementQuillo& ajouter(ElementQuillo e);
    ElementQuillo* element(const QString& toolUseId);
    void decider(const QString& toolUseId, const QString& statut, const QString& note);
    QString maintenant() const;
    QString aujourdhui() const;
    QJsonValue donnees();
    bool memoireActive() const;

    model::Store& store_;
    ConfigQuillo config_;
    ai::Moteur& moteur_;
    platform::Horloge& horloge_;
    QString mode_;
    ConversationQuillo conversation_;
    bool enCours_ = false;
    std::optional<SourceQuillo> source_;
    bool historiqueCoupe_ = false;
    QSet<QString> conversationsSansStrict_;
    QStringList outilsAppeles_;
    QHash<int, QString> elementsTexte_;       // block index → element id, this round
    QHash<QString, QString> lignesOutil_;     // tool call id → its progress line
    QJsonObject derniereRequete_;
    QPointer<ai::FluxReponse> lecture_;
    platform::Minuterie* veille_ = nullptr;
    ai::DecoupeurLignes decoupeur_;
    FluxQuillo flux_;
    int tours_ = 0;
    int maxTours_ = 8;
    int generation_ = 0;
    bool texteDansQuestion_ = false;
    bool reformulee_ = false;
    quint64 versionDonnees_ = 0;
};

} // namespace vd::assistant
