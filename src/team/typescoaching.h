#pragma once
// The team records the backend sends for coaching, objectives, ranking and
// the Monday report (snake_case JSON), decoded field by field with defaults.
#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <optional>

namespace vd::team {

struct CommentaireAppel {
    struct AppelLie {
        QString id;
        std::optional<QString> compteId, contactId, type, debut;
        bool operator==(const AppelLie&) const = default;
        static std::optional<AppelLie> depuisJson(const QJsonValue& v);
    };
    QString id;
    QString appelId;
    std::optional<QString> auteurId, auteurNom;
    std::optional<qint64> tMs;   // none: on the whole call
    QString texte;
    std::optional<QDateTime> creeLe, majLe;
    bool modifiable = false;
    bool supprimable = false;
    std::optional<AppelLie> appel;
    bool operator==(const CommentaireAppel&) const = default;
    static std::optional<CommentaireAppel> depuisJson(const QJsonValue& v);
    QJsonObject versJson() const;
};

struct AppelExemplaire {
    QString appelId;
    std::optional<QString> note, epinglePar, epingleParNom;
    std::optional<QDateTime> epingleLe;
    std::optional<QString> auteurId, auteurNom, contactId, type, objectif, debut;
    std::optional<double> duree;
    std::optional<int> score;
    // The whole call (analysis and transcript) when one pin was read on its own.
    std::optional<QJsonObject> appel;
    bool operator==(const AppelExemplaire&) const = default;
    static std::optional<AppelExemplaire> depuisJson(const QJsonValue& v);
};

struct ProgressionObjectif {
    QString compteId, nom;
    int appels = 0;
    std::optional<double> valeur;
    bool atteint = false;
    bool moi = false;
    bool operator==(const ProgressionObjectif&) const = default;
    static std::optional<ProgressionObjectif> depuisJson(const QJsonValue& v);
};

struct ObjectifEquipe {
    QString id;
    std::optional<QString> compteId, compteNom;
    bool equipe = true;
    QString type;
    double cible = 0;
    std::optional<QString> competence;
    QString libelle;
    QString semaine;
    bool actif = true;
    std::optional<QString> creePar;
    QList<ProgressionObjectif> progression;
    std::optional<double> valeurEquipe;
    bool local = false;
    bool operator==(const ObjectifEquipe&) const = default;
    static std::optional<ObjectifEquipe> depuisJson(const QJsonValue& v);
};

struct ObjectifsSemaine {
    QString semaine;
    std::optional<QDateTime> debut, fin;
    bool gestionnaire = false;
    QList<ObjectifEquipe> objectifs;
    bool operator==(const ObjectifsSemaine&) const = default;
    static std::optional<ObjectifsSemaine> depuisJson(const QJsonValue& v);
    QJsonObject versJson() const;
};

struct MembreClassement {
    std::optional<int> rang;
    QString compteId, nom, roleOrg;
    int appels = 0;
    std::optional<double> scoreMoyen, scoreMoyenPrecedent, progression;
    int objectifs = 0, objectifsAtteints = 0;
    bool moi = false;
    bool operator==(const MembreClassement&) const = default;
    static std::optional<MembreClassement> depuisJson(const QJsonValue& v);
};

struct ClassementEquipe {
    int periodeJours = 0;
    std::optional<QDateTime> debut, fin;
    QList<MembreClassement> membres;
    bool operator==(const ClassementEquipe&) const = default;
    static std::optional<ClassementEquipe> depuisJson(const QJsonValue& v);
    QJsonObject versJson() const;
};

struct ChiffresRapport {
    std::optional<QString> compteId, nom, roleOrg;
    std::optional<int> membres;
    int appels = 0;
    double dureeTotaleSec = 0;
    std::optional<double> scoreMoyen, scoreMoyenPrecedent, progression, partParole, questionsParAppel;
    QHash<QString, double> competences;
    std::optional<double> jetons;
    std::optional<int> appelsEpingles;
    int objectifs = 0, objectifsAtteints = 0;
    bool operator==(const ChiffresRapport&) const = default;
    static std::optional<ChiffresRapport> depuisJson(const QJsonValue& v);
};

struct ContenuRapport {
    QString semaine;
    std::optional<QDateTime> debut, fin;
    QString synthese, syntheseSource;
    std::optional<QString> modele;
    std::optional<QDateTime> genereLe;
    QStringList faitsMarquants;
    ChiffresRapport equipe;
    QList<ChiffresRapport> parMembre;
    bool operator==(const ContenuRapport&) const = default;
    static ContenuRapport depuisJson(const QJsonValue& v);
};

struct RapportEquipe {
    QString id;
    QString semaine;
    std::optional<QDateTime> creeLe;
    ContenuRapport contenu;
    bool operator==(const RapportEquipe&) const = default;
    static std::optional<RapportEquipe> depuisJson(const QJsonValue& v);
};

// What a manager fills in to set or edit an objective (sent as p_objectif).
struct ObjectifSaisi {
    std::optional<QString> id;          // editing
    std::optional<QString> compteId;    // none: the whole team
    QString type;                       // questions_par_appel, part_parole_max, score_moyen, appels_semaine, competence
    double cible = 0;
    std::optional<QString> competence;
    bool actif = true;
    std::optional<QString> semaine;     // any day of the week, "yyyy-MM-dd"
    QJsonObject versJson() const;
};

// "1:23", "12:40", "1:02:03": a moment of a call.
QString texteMoment(qint64 ms);
// "4,5", "12": a figure with a decimal comma and no useless decimals.
QString texteNombre(double v, int decimales = 1);

} // namespace vd::team
