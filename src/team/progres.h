#pragma once
// The salesperson's own progress: the six competences of the score over 30
// days with their trend, the moments to listen to again, and one exercise for
// the week, chosen from the weakest competence and measured on the week's
// analysed calls. Everything here is a pure function of the calls and a
// reference instant.
#include "model/appel.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTimeZone>
#include <optional>

namespace vd::team {

// A competence: a score dimension of the analysis.
struct Dimension {
    QString id, label, description;
    double poids = 0;
    bool operator==(const Dimension&) const = default;
};
// The built-in six, in their order.
const QList<Dimension>& dimensionsParDefaut();
// The engine's DIMENSIONS list (`libelle` or `label`); the built-in six when it gives none.
QList<Dimension> dimensionsDepuis(const QJsonValue& donnees);
// The competence's label, its identifier when unknown.
QString libelleCompetence(const QList<Dimension>& dimensions, const QString& id);

struct CritereExercice {
    enum class Genre { questionsMin, partParoleMax, monologueMax, competenceMin, objectionsTraitees, prochaineEtapeDatee };
    Genre genre = Genre::questionsMin;
    int valeur = 0;
    QString competence;   // competenceMin only
    bool operator==(const CritereExercice&) const = default;
};

struct ExerciceSemaine {
    QString id, competence, titre, pourquoi;
    CritereExercice critere;
    int cible = 3;
    bool operator==(const ExerciceSemaine&) const = default;
};
// Two exercises per competence, in competence order.
const QList<ExerciceSemaine>& catalogueExercices();
// "À travailler cette semaine": one line per competence.
QString conseilCompetence(const QString& competence);

enum class ResultatExercice { reussi, manque, nonMesurable };
QString valeurBrute(ResultatExercice r);   // "reussi", "manque", "nonMesurable"
// The mark of a line of the week: none for reussi (a check mark is drawn), else its text.
QString texteResultat(ResultatExercice r);

// 90 → "1 min 30", 60 → "1 min", 45 → "45 s".
QString dureeLisible(int secondes);
// "Réussi quand …".
QString phraseCritere(const CritereExercice& c, const QList<Dimension>& dimensions);
// How one call fares against the criterion, from its talk metrics and its analysis.
ResultatExercice juger(const CritereExercice& c, const model::Appel& appel);

// The shared week calendar: weeks from Monday 00:00 in Europe/Paris (the
// machine's zone when unknown).
struct CalendrierSemaines {
    QTimeZone fuseau;
    static CalendrierSemaines partage();
    QDateTime debutSemaine(const QDateTime& t) const;
    QDateTime finSemaine(const QDateTime& debut) const;   // the start plus 7 days
    // Weeks counted without a break from a fixed Monday, so that consecutive
    // weeks always differ by one, across a year of 53 weeks too.
    qint64 rangSemaine(const QDateTime& t) const;
};

// The date of Appel.debut: a "yyyy-MM-dd" day (its midnight in the
// calendar's zone), else an ISO 8601 time stamp; none when unreadable.
std::optional<QDateTime> dateAppel(const QString& debut, const QTimeZone& fuseau);

struct MoyenneCompetence {
    QString dimension;
    std::optional<int> moyenne;
    bool operator==(const MoyenneCompetence&) const = default;
};

struct EvolutionCompetence {
    QString dimension;
    std::optional<int> moyenne;            // last 30 days
    std::optional<int> moyennePrecedente;  // the 30 days before
    std::optional<int> tendance;           // moyenne − moyennePrecedente, from 4 analysed calls
    QList<int> points;                     // scores of the last 60 days, oldest first
    bool operator==(const EvolutionCompetence&) const = default;
};
// "arrow.up.right", "arrow.down.right" or "arrow.right".
QString flecheTendance(int tendance);

struct SuiviExercice {
    struct Ligne {
        QString appelId;
        ResultatExercice resultat = ResultatExercice::nonMesurable;
        bool operator==(const Ligne&) const = default;
    };
    QList<Ligne> lignes;
    int reussis() const;
    bool operator==(const SuiviExercice&) const = default;
};
// "2 appels sur 3".
QString texteCompte(int reussis, int cible);

struct MomentProgres {
    enum class Genre { reussi, aRetravailler };
    QString id;
    Genre genre = Genre::reussi;
    QString appelId;
    std::optional<qint64> tMs;
    QString titre, citation, libelleNote, note, debut;
    std::optional<QString> contactId;
    bool operator==(const MomentProgres&) const = default;
};

// An analysed call with its date read once.
struct AppelDate {
    const model::Appel* appel = nullptr;
    QDateTime date;
};
// The analysed calls (status "analyse" with an analysis) whose date can be
// read, newest first; an unreadable date is never before nor after anything.
QList<AppelDate> appelsAnalyses(const QList<model::Appel>& appels, const QTimeZone& fuseau);

struct ChoixExercice {
    std::optional<ExerciceSemaine> exercice;
    std::optional<QString> competence;   // the weakest one
    QList<MoyenneCompetence> moyennes;   // the averages the choice read
    bool repli = false;                  // no call in 30 days: the newest 10 were read
    bool operator==(const ChoixExercice&) const = default;
};
ChoixExercice choisirExercice(const QList<AppelDate>& appels, const QDateTime& reference, const QList<Dimension>& dimensions,
                              const CalendrierSemaines& calendrier);

// The week's analysed calls, oldest first, each judged against the criterion.
SuiviExercice suivreSemaine(const CritereExercice& critere, const QList<AppelDate>& appels, const QDateTime& reference,
                            const CalendrierSemaines& calendrier);

struct Evolutions {
    QList<EvolutionCompetence> competences;
    int appels30Jours = 0;
    bool tendanceDisponible = false;   // at least 4 analysed calls in 30 days
    bool operator==(const Evolutions&) const = default;
};
Evolutions evoluer(const QList<AppelDate>& appels, const QDateTime& reference, const QList<Dimension>& dimensions);

// Moments of the newest 10 analysed calls before the reference: objections
// by how they were handled, risky and engaging moments; newest call first.
QList<MomentProgres> momentsARecouter(const QList<AppelDate>& appels, const QDateTime& reference);

struct BilanProgres {
    QDateTime reference;
    QDateTime debutSemaine, finSemaine;
    QList<Dimension> dimensions;
    Evolutions evolutions;
    ChoixExercice choix;
    SuiviExercice suivi;
    QList<MomentProgres> moments;
    // The same figures, whatever the instant they were computed at.
    bool memesChiffres(const BilanProgres& b) const
    {
        return debutSemaine == b.debutSemaine && dimensions == b.dimensions && evolutions == b.evolutions && choix == b.choix &&
               suivi == b.suivi && moments == b.moments;
    }
    // Whole view as the command line prints it.
    QJsonObject versJson(const QList<model::Appel>& appels) const;
};
BilanProgres calculerProgres(const QList<model::Appel>& appels, const QDateTime& reference, const QList<Dimension>& dimensions,
                             const CalendrierSemaines& calendrier = CalendrierSemaines::partage());

namespace textes {
inline const QString pasAssez = QStringLiteral("Pas encore assez de données.");
inline const QString noteChoix = QStringLiteral(" · choisi d'après votre compétence la plus faible");
inline const QString aucunAppelSemaine = QStringLiteral("Aucun appel analysé cette semaine : votre prochain appel compte.");
inline const QString exerciceReussi = QStringLiteral("Exercice réussi cette semaine");
inline const QString tendanceDes4 = QStringLiteral("La tendance apparaît à partir de 4 appels analysés.");
inline const QString aucun30Jours = QStringLiteral("Aucun appel analysé ces 30 derniers jours");
inline const QString comparaison = QStringLiteral("comparés aux 30 jours d'avant");
inline const QString moments = QStringLiteral("Moments à réécouter");
inline const QString momentsSous = QStringLiteral("Tirés de vos appels analysés récents : ce qui a marché, et ce qui peut mieux faire.");
inline const QString aucunMoment = QStringLiteral("Aucun moment marquant dans vos derniers appels analysés.");
inline const QString rienARetravailler = QStringLiteral("Aucune objection manquée ni moment à risque. Bravo.");
inline const QString revoir = QStringLiteral("Revoir le moment");
inline const QString aTravailler = QStringLiteral("À travailler cette semaine");
inline const QString slogan = QStringLiteral("un exercice pour la semaine, mesuré tout seul sur vos appels");
} // namespace textes

} // namespace vd::team
