#pragma once
// Live help during a call: the four help requests sent to the language model
// with their answers streamed into AideLive, the objections, qualification items
// and tone of address spotted on each final segment, and the history of answers
// with their ratings. It reads the running call through AppelEnDirect, which the
// call session implements.
#include "ai/clientia.h"
#include "ai/moteur.h"
#include "model/appel.h"
#include "model/etat.h"
#include "model/reglages.h"
#include "platform/resultat.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QThreadPool>
#include <functional>
#include <optional>

namespace vd::ai {

struct AideLive {
    enum class Statut { enCours, ok, erreur };
    QString id;
    QString tache;
    qint64 tMs = 0;
    QString demande;
    Statut statut = Statut::enCours;
    std::optional<QJsonValue> resultat, partiel;
    std::optional<QString> erreur, modele;
    std::optional<qint64> latenceMs;
    std::optional<bool> utile;
    bool operator==(const AideLive&) const = default;
    // As saved in the call (Appel.aides).
    model::Aide versAide() const;
};

// A qualification item the engine believes it heard.
struct PropositionQualification {
    QString id, champ, valeur, extrait;
    qint64 tMs = 0;
    QString item, nomItem;
    bool operator==(const PropositionQualification&) const = default;
};

// What the prompter reads of the running call.
class AppelEnDirect {
public:
    virtual ~AppelEnDirect() = default;
    virtual bool enCours() const = 0;   // a call runs (live or paused)
    virtual QString appelId() const = 0;
    // contactId, type, objectif, methode, langue, brief, and the qualification grid under "grille".
    virtual QJsonObject configAppel() const = 0;
    virtual const QList<model::Segment>& finals() const = 0;
    virtual qint64 offsetMs() const = 0;   // the call's clock
    virtual bool demo() const { return false; }
};

class Souffleur : public QObject {
    Q_OBJECT
public:
    Souffleur(Moteur& moteur, ClientIABase& client, QObject* parent = nullptr);
    ~Souffleur() override;

    void setAppel(AppelEnDirect* appel) { appel_ = appel; }
    // Where the call context reads the user's data (a snapshot of the store's state; cheap,
    // the lists are shared). Without it the engine answers from whatever it last loaded.
    void setSourceEtat(std::function<model::Etat()> source) { sourceEtat_ = std::move(source); }
    // Builds the running call's context off the main thread: the call's part of the state
    // loaded into the engine, then contexteAppel, under one engine lock.
    void preparerContexte();
    // The store changed: the context is built again when the call's contact, the frameworks
    // or the objection library changed.
    void etatModifie(const model::Etat& etat);
    // The sequence itself, on any thread: chargerEtat then contexteAppel with no other caller between.
    static Resultat<QJsonValue, ErreurMoteur> calculerContexte(Moteur& moteur, const model::Etat& etat,
                                                              const QJsonObject& config, const QString& appelId);
    void setReglages(const model::Reglages& r);
    // A new call: answers, detections, context and requests in flight are forgotten.
    void reinitialiser();

    // Fires one help request; the id of its AideLive (an existing one when the
    // same request is already in flight), or the refusal's message.
    Resultat<QString, QString> demander(const QString& tache, const QString& demande = {},
                                        std::optional<int> fenetreSec = std::nullopt);
    Resultat<QString, QString> assistance() { return demander(QStringLiteral("objection")); }
    Resultat<QString, QString> questionsDeSuivi() { return demander(QStringLiteral("questions")); }
    Resultat<QString, QString> recap() { return demander(QStringLiteral("recap")); }
    // A typed question; « récap » asks for the recap task.
    Resultat<QString, QString> question(const QString& texte);
    static bool demandeRecap(const QString& texte);

    // The quick summary of a finished call: the recap task over the whole
    // transcript. reponse is called once, with none on failure.
    void preparerRecap(const model::Appel& appel, std::function<void(std::optional<QJsonValue>)> reponse);

    // A final segment of the running call (after the echo filter).
    void segmentFinal(const model::Segment& segment);

    const QList<AideLive>& aides() const { return aides_; }
    const AideLive* aide(const QString& id) const;
    QList<model::Aide> aidesFinies() const;
    // Finished answers, oldest first: the history the panel browses.
    QStringList historique() const;
    void noter(const QString& aideId, bool utile);

    const QList<model::Detection>& detections() const { return detections_; }
    std::optional<model::Detection> derniereDetection() const { return derniereDetection_; }
    const QList<PropositionQualification>& propositionsQualification() const { return propositions_; }
    QSet<QString> itemsEntendus() const { return entendus_; }
    QJsonValue registre() const { return registre_; }
    // Steps of the call's framework for its type (from the call context), and the
    // step questions the salesperson asked, as "stepId#index".
    QJsonArray etapes() const;
    const QStringList& questionsEtapePosees() const { return posees_; }
    std::optional<QString> erreur() const { return erreur_; }
    int requetesEnVol() const { return int(enVol_.size()); }
    QJsonValue contexte() const { return contexte_.value_or(QJsonValue()); }

    static QString messagePasDAppel() { return QStringLiteral("L'appel n'est pas en cours."); }
    static QString messageEchecAide() { return QStringLiteral("Quillo n'a pas pu répondre. Réessayez."); }

Q_SIGNALS:
    void aidesChangees();
    void aideChangee(const QString& id);
    void detectionChangee();
    void qualificationChangee();
    void questionsEtapeChangees();
    void registreChange();
    void erreurChangee();
    void contexteChange();

private:
    struct Final {
        QString id;
        QString texte;
        qint64 debutMs = 0, finMs = 0;
    };
    AideLive* aideMutable(const QString& id);
    QJsonArray fenetre(qint64 fenetreMs) const;
    std::optional<QJsonValue> obtenirContexte();
    void detecterObjection(const model::Segment& s, const QString& texte, qint64 debutMs, const QString& premier);
    void detecterQualification(const model::Segment& s, const QString& texte);
    void detecterRegistre(const model::Segment& s, const QString& texte);
    void reperer(const QString& texte);
    void terminer(const QString& cle, const QString& id, quint64 generation);
    void publierErreur(std::optional<QString> e);
    void retenirVu(const model::Etat& etat, const std::optional<QString>& contactId);

    Moteur& moteur_;
    ClientIABase& client_;
    AppelEnDirect* appel_ = nullptr;
    QString modeleLive_ = model::ChoixModeles{}.live;
    int fenetreSec_ = 180;
    bool detection_ = true;
    quint64 generation_ = 0;
    int compteur_ = 0;
    QString appelContexte_;
    std::optional<QJsonValue> contexte_;
    QList<AideLive> aides_;
    QHash<QString, QString> enVol_;   // request key → AideLive id
    QHash<QString, QPointer<DemandeIA>> demandes_;
    QList<model::Detection> detections_;
    std::optional<model::Detection> derniereDetection_;
    QHash<QString, QSet<QString>> categoriesParSegment_;
    QHash<QString, Final> derniers_;   // last final of each voice
    QList<PropositionQualification> propositions_;
    QSet<QString> entendus_;
    QStringList posees_;
    QJsonValue registre_;
    std::optional<QString> erreur_;
    std::function<model::Etat()> sourceEtat_;
    quint64 generationContexte_ = 0;
    // What the current context was built from, to notice the changes that matter.
    std::optional<QString> vuContactId_;
    std::optional<model::Contact> vuContact_;
    QList<model::Contact> vuContacts_;
    QList<model::ObjectionLib> vuObjections_;
    QList<model::JSONValeur> vuFrameworks_;
    QThreadPool fil_;   // one thread: contexts are built in order, never two at once
};

// Reads a help answer: a JSON object or list when the text holds one (even cut
// short), else the text itself.
QJsonValue lireReponseAide(const QString& texte);

} // namespace vd::ai
