#pragma once
// Values the call session publishes or is given: the start configuration,
// live help requests, the end summary, cuts, and demonstration calls.
#include "model/appel.h"
#include "model/reglages.h"

#include <QList>
#include <QString>
#include <optional>

namespace vd::call {

enum class EtatSession { inactif, connexion, enCours, pause, termine };
QString nomEtat(EtatSession e);

// What the start of a call is given.
struct ConfigAppel {
    std::optional<QString> contactId;
    QString type = QStringLiteral("decouverte");
    QString objectif;
    QString methode = QStringLiteral("aucune");
    QString langue = QStringLiteral("fr");
    QString source = QStringLiteral("micro+mac");   // "micro+mac" | "demo"
    std::optional<model::Brief> brief;
    std::optional<bool> enregistrer;
    // What the recording films for this call (none: the settings' target).
    std::optional<model::CibleEnregistrement> cibleEnregistrement;
    // Start of the meeting the call was started for (ISO 8601): its punctuality is recorded.
    std::optional<QString> rdvDebut;
    bool operator==(const ConfigAppel&) const = default;
};

// A help request shown in the prompter; a finished one is saved as an Aide.
struct AideLive {
    enum class Statut { enCours, ok, erreur };
    QString id;
    QString tache;
    qint64 tMs = 0;
    QString demande;
    Statut statut = Statut::enCours;
    std::optional<model::JSONValeur> resultat;
    std::optional<model::JSONValeur> partiel;
    std::optional<QString> erreur;
    std::optional<QString> modele;
    std::optional<qint64> latenceMs;
    std::optional<bool> utile;
    bool operator==(const AideLive&) const = default;
};

// A qualification item the engine believes it heard.
struct PropositionQualification {
    QString id, champ, valeur, extrait;
    qint64 tMs = 0;
    QString item, nomItem;
    bool operator==(const PropositionQualification&) const = default;
};

// A cut of the live call, for whoever watches the session.
struct CoupureAppel {
    std::optional<QString> appelId;
    QString type;   // "transcription" | "micro" | "mac"
    QString message;
    bool operator==(const CoupureAppel&) const = default;
};

struct ResultatRecap {
    QStringList points;
    QStringList pointsOuverts;
    QString prochaineEtape;
    QList<model::JSONValeur> qualification;
    bool operator==(const ResultatRecap&) const = default;
    // Lenient: any object gives a recap (missing parts empty); none otherwise.
    static std::optional<ResultatRecap> depuisJson(const QJsonValue& v);
};

// The quick summary shown as soon as the call ends.
struct SyntheseFin {
    QString appelId;
    std::optional<ResultatRecap> recap;
    std::optional<model::Metriques> metriques;
    bool enCours = false;
    std::optional<QString> erreur;
    QList<model::Detection> objections;
    bool operator==(const SyntheseFin&) const = default;
};

// One scripted turn of a demonstration call.
struct TourDemo {
    QString locuteur;   // "vous" | "prospect"
    QString texte;
    qint64 debutMs = 0;
    qint64 finMs = 0;
    std::optional<qint64> interlocuteur;
    bool operator==(const TourDemo&) const = default;
};

struct ScenarioDemo {
    QString id;
    std::optional<QString> contactId;
    QString type = QStringLiteral("decouverte");
    QString objectif;
    QString methode = QStringLiteral("aucune");
    QString langue = QStringLiteral("fr");
    QList<TourDemo> tours;
    bool operator==(const ScenarioDemo&) const = default;
    // Lenient: turns without text are dropped, missing times are laid out
    // from the words (about 2.6 words a second, 0.7 s between turns).
    static std::optional<ScenarioDemo> depuisJson(const QJsonValue& v);
    // The turns played again and again, each round after a pause following the
    // previous one, until the script lasts at least dureeMs (a long call for
    // endurance runs). Unchanged when it already lasts that long.
    ScenarioDemo prolonge(qint64 dureeMs) const;
};

// A scripted demonstration call.
struct AppelGuide {
    ScenarioDemo scenario;
    std::optional<int> arret;   // the turn at which playback waits for the user
    double vitesse = 1.0;
    bool operator==(const AppelGuide&) const = default;
};

QJsonObject versJson(const SyntheseFin& s);
QJsonObject versJson(const CoupureAppel& c);

} // namespace vd::call
