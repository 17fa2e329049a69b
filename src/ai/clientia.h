#pragma once
// Contract of the language-model client as its callers see it (live help,
// analysis, brief, assistant): one request in, partial values while it
// streams, then the final text or a ready French message.
#include <QJsonValue>
#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>

namespace vd::ai {

enum class SourceIA { relais, cle, demo, cloud };

// Time limits of one streamed read, in seconds (see DelaiFlux).
struct LimitesFlux {
    double premierTexte = 30;   // no text yet since the request started
    double sansOctet = 30;      // no line received
    double sansProgres = 45;    // the text stopped growing
    double total = 900;         // whole request
    bool operator==(const LimitesFlux&) const = default;
};

struct RequeteIA {
    QString tache;            // engine task: "objection", "analyse", …
    QJsonValue payload;       // the task's input, built by the engine script
    QString modele;           // model identifier
    std::optional<QString> appelId;
    bool demo = false;        // a demonstration call or task: the canned route may answer
    bool formatStructure = true;   // the task asks for a structured output format
    std::optional<LimitesFlux> limites;   // none: the client's defaults for the task
};

struct InfosGeneration {
    SourceIA source = SourceIA::demo;
    std::optional<QString> modele;
    std::optional<qint64> latenceMs;
    std::optional<QString> prompt;
    bool operator==(const InfosGeneration&) const = default;
};

// One request in flight. Emits any number of partiel(), then exactly one of
// fini() or echec(); nothing after annuler() (cancellation is silent).
class DemandeIA : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void annuler() = 0;

Q_SIGNALS:
    void partiel(const QJsonValue& valeur);
    void fini(const QString& texte, const vd::ai::InfosGeneration& infos);
    // message: ready to show. type/statut: the backend route's short code and status when known.
    void echec(const QString& message, const QString& type, int statut);
};

class ClientIABase : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // The demand belongs to the caller (parent it or delete it when done).
    virtual DemandeIA* envoyer(const RequeteIA& requete) = 0;
};

} // namespace vd::ai

Q_DECLARE_METATYPE(vd::ai::InfosGeneration)
