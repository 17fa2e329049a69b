#pragma once
// Team steering on a manager's machine: the team's alert thresholds (kept on
// the backend), the calls of the team that cross them (announced once, kept
// across restarts), the manager synthesis of a call (written by the engine,
// shown at once, uploaded for the team through a queue that survives
// restarts), and the period table of the team computed from the calls known
// locally.
#include "model/appel.h"
#include "model/contact.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <functional>
#include <optional>

#include <qcoro/qcorotask.h>

namespace vd::ai {
class ClientIABase;
class DemandeIA;
class Moteur;
} // namespace vd::ai
namespace vd::cloud {
class ClientSupabase;
class Compte;
} // namespace vd::cloud
namespace vd::platform {
class Preferences;
}

namespace vd::team {

struct SeuilsEquipe {
    static constexpr double retardDefaut = 2, suiviDefaut = 60, scoreDefaut = 50;
    double retardMinutes = retardDefaut;       // 0–60
    double suiviFrameworkMin = suiviDefaut;    // 0–100
    double scoreBas = scoreDefaut;             // 0–100
    bool modifiable = false;
    std::optional<QString> majLe;
    bool operator==(const SeuilsEquipe&) const = default;
    // Lenient: a number or a numeric text (spaces, decimal comma); missing or unreadable → default; clamped.
    static SeuilsEquipe depuisJson(const QJsonValue& v);
    QJsonObject versJson() const;
    // The same values within their ranges.
    SeuilsEquipe bornes() const;
};
// "Alertes : retard au-delà de 2 min, Framework sous 60 %, score sous 50"
QString resumeSeuils(const SeuilsEquipe& s);
// A threshold as the user or the server wrote it: number or numeric text; none when unreadable.
std::optional<double> lireNombreSouple(const QJsonValue& v);

enum class RaisonAlerte { scoreBas, suiviFramework, objectionNonTraitee, affaireChaude, commercialEnRetard, prospectEnRetard, prospectAbsent };
QString valeurBrute(RaisonAlerte r);
std::optional<RaisonAlerte> raisonDepuis(const QString& brute);

struct AlerteAppel {
    QString appelId;
    QString compteId;
    QList<RaisonAlerte> raisons;
    QString le;
    bool vue = false;
    bool operator==(const AlerteAppel&) const = default;
    QJsonObject versJson() const;
    static std::optional<AlerteAppel> depuisJson(const QJsonValue& v);
};

struct SyntheseManager {
    struct Point {
        QString point;
        qint64 tMs = 0;
        QString citation;
        bool operator==(const Point&) const = default;
    };
    QList<Point> aCoacher;
    QString risque, raisonRisque;
    QString prochaineEtape;
    QString framework, commentaireFramework;
    QString actionManager;
    bool operator==(const SyntheseManager&) const = default;
    bool vide() const;
    QJsonObject versJson() const;
    // Lenient; none for a value that is not an object or holds nothing usable.
    static std::optional<SyntheseManager> depuisJson(const QJsonValue& v);
};

struct EtapeSuivi {
    enum class Statut { fait, partiel, saute };
    QString id, nom;
    Statut statut = Statut::saute;
    double ratio = 0;
    bool couverte = false;
    int questionsPosees = 0, questionsTotal = 0, criteresRemplis = 0, criteresTotal = 0;
    bool operator==(const EtapeSuivi&) const = default;
};

struct SuiviFrameworkAppel {
    int pourcentage = 0;
    QList<EtapeSuivi> etapes;
    double couvertes = 0;
    int questionsPosees = 0, questionsTotal = 0, criteresRemplis = 0, criteresTotal = 0;
    int qualificationObtenus = 0, qualificationTotal = 0;
    bool operator==(const SuiviFrameworkAppel&) const = default;
};
// How the call followed the steps of its method; none when the analysis has no steps.
std::optional<SuiviFrameworkAppel> suiviFramework(const model::Appel& a);

// Punctuality against the meeting: only calls started for a meeting carry it.
struct RetardsAppel {
    std::optional<qint64> commercialSec;   // salesperson's start after the meeting's
    std::optional<qint64> prospectSec;     // prospect's first words after the call's start
    bool prospectAbsent = false;
};
std::optional<RetardsAppel> retardsAppel(const model::Appel& a);

// The call's analysis is written whole (the call is no longer running or failed).
bool analyseComplete(const model::Appel& a);
// The deal's probability in percent (a fraction is read as such).
double probabiliteAffaire(const model::Appel& a);
bool affaireChaude(const model::Appel& a);
// The reasons of one analysed call, in display order.
QList<RaisonAlerte> raisonsAlerte(const model::Appel& a, const SeuilsEquipe& s);
// "Framework suivi à 40 %", "2 objections sans réponse", "commercial en retard de 6 min"…
QString libelleRaison(RaisonAlerte r, const model::Appel& a, const SeuilsEquipe& s);

// A team member's name: the demonstration's salespeople, else the account's
// team list (the name, else the e-mail); empty when the member is unknown.
QString nomMembreEquipe(const cloud::Compte* compte, const QString& compteId);

// The period table.
struct MembreEquipe {
    QString id, nom, role;
};
struct CompetenceFaible {
    QString id, label;
    int score = 0;
    bool operator==(const CompetenceFaible&) const = default;
};
// Follow-ups of a member, from the sequence state each call carries ("suiviRelance").
struct StatsRelances {
    int envoyees = 0;    // steps sent within the period
    int enRetard = 0;    // steps of running sequences due before today and not sent
    int sequences = 0;   // sequences activated or with a step sent within the period
    int reponses = 0;    // of those, the ones the prospect answered
    std::optional<int> tauxReponse;   // percent, none without a sequence
    bool operator==(const StatsRelances&) const = default;
};
struct LigneMembreEquipe {
    QString id, nom, role;
    int appels = 0;
    double dureeSec = 0;
    int retardsCommercial = 0, retardsProspect = 0, absencesProspect = 0;
    std::optional<int> scoreMoyen, scorePrecedent, suiviMoyen;
    std::optional<CompetenceFaible> competenceFaible;
    std::optional<int> qualification;
    int suitesDatees = 0;
    int affairesChaudes = 0, gagnees = 0, perdues = 0;
    StatsRelances relances;
};
struct SemaineEquipe {
    QDate lundi;
    int appels = 0;
    double dureeSec = 0;
    int retards = 0, absences = 0;
    std::optional<int> scoreMoyen;
};
struct AffaireChaude {
    QString contactId, nom, societe;
    double valeur = 0, probabilite = 0;
    QString compteId;
};
struct RaisonPerte {
    QString raison;
    int nombre = 0;
};
struct TableauEquipe {
    int periodeJours = 30;
    QList<LigneMembreEquipe> lignes;
    LigneMembreEquipe equipe;
    QList<SemaineEquipe> semaines;
    QList<RaisonPerte> raisonsPerte;
    QList<AffaireChaude> affairesChaudes;
};
// Calls of the team started within the last periodeJours days (and, for the
// previous score, the period before). Weeks start on Monday, Paris time.
// "3 · 1 · 50 %": sent, late today, answer rate (— without a sequence).
QString texteRelances(const StatsRelances& r);
TableauEquipe calculerTableau(const QList<model::Appel>& appels, const QList<MembreEquipe>& membres,
                              const QList<model::Contact>& contacts, int periodeJours, const QDateTime& maintenant);

class PilotageEquipe : public QObject {
    Q_OBJECT
public:
    struct Collaborateurs {
        platform::Preferences* defaults = nullptr;
        // The backend (none in local mode).
        std::function<cloud::ClientSupabase*()> client;
        ai::Moteur* moteur = nullptr;
        ai::ClientIABase* ia = nullptr;
        std::function<QDateTime()> horloge;
        // New alerts, once each.
        std::function<void(const QList<AlerteAppel>&)> annoncer;
        std::function<QString()> lireMoi;
        std::function<QList<model::Appel>()> lireAppels;
    };

    static inline const QString prefixeAlertes = QStringLiteral("vd.pilotage.alertes.");
    static inline const QString prefixeTraites = QStringLiteral("vd.pilotage.traites.");
    static inline const QString prefixeSyntheses = QStringLiteral("vd.pilotage.syntheses.");
    static inline const QString cleADeposer = QStringLiteral("vd.pilotage.aDeposer");
    static inline const QString tacheSynthese = QStringLiteral("synthese_manager");
    // Older calls (a first start, a late synchronisation) are taken as seen: only recent ones raise an alert.
    static constexpr int ageMaxPremierDemarrageJours = 14;
    static constexpr int delaiMs = 30'000;

    static QString messageSeuilsEnregistres() { return QStringLiteral("Seuils de l'équipe enregistrés"); }
    static QString messageSeuilsEchec() { return QStringLiteral("Les seuils n'ont pas pu être enregistrés. Réessayez."); }
    static QString messageHorsEquipe() { return QStringLiteral("Cette fonction demande un compte d'équipe Vendalo."); }
    static QString messageSyntheseEchec() { return QStringLiteral("La synthèse n'a pas pu être préparée."); }
    static QString messageSyntheseIllisible() { return QStringLiteral("La synthèse reçue est illisible. Réessayez."); }
    // Hints after which an upload is never tried again.
    static bool refusDefinitif(const QString& indice);

    explicit PilotageEquipe(Collaborateurs c, QObject* parent = nullptr);
    ~PilotageEquipe() override;

    // Once per signed-in manager: stored alerts, evaluated calls and syntheses of
    // the account, then the thresholds, then the new calls.
    void demarrer();
    // Account change: forgets everything in memory; answers still on their way are ignored.
    void reinitialiser();
    // Evaluates the team calls whose analysis is complete and not yet evaluated.
    void evaluer();

    QCoro::Task<void> chargerSeuils();
    // None on success (messageSeuilsEnregistres), else the message to show.
    QCoro::Task<std::optional<QString>> reglerSeuils(SeuilsEquipe s);
    void marquerToutVu();
    void preparerSynthese(const QString& appelId);
    // Uploads the waiting syntheses of this account; stops at the first transport failure.
    QCoro::Task<void> deposerEnAttente();
    QCoro::Task<void> chargerSyntheses(QStringList appelIds);

    const SeuilsEquipe& seuils() const { return seuils_; }
    const QList<AlerteAppel>& alertes() const { return alertes_; }
    int alertesNonVues() const;
    const QHash<QString, SyntheseManager>& syntheses() const { return syntheses_; }
    const QSet<QString>& synthesesEnCours() const { return synthesesEnCours_; }
    const QHash<QString, QString>& erreursSynthese() const { return erreursSynthese_; }
    const QSet<QString>& traites() const { return traites_; }
    bool demarre() const { return demarre_; }
    bool initialise() const { return initialise_; }
    bool depotEnCours() const { return depotEnCours_; }
    QString compte() const { return compte_; }
    // The team calls known locally (every call of another account).
    QList<model::Appel> appelsEquipe() const;
    // Waiting uploads of this account (call ids).
    QStringList aDeposer() const;

Q_SIGNALS:
    void change();

private:
    void chargerPreferences();
    void enregistrerAlertes();
    void enregistrerTraites();
    void enregistrerSyntheses();
    void mettreEnFile(const QString& appelId, const SyntheseManager& s);
    void retirerDeFile(const QString& appelId);
    QDateTime maintenant() const;
    cloud::ClientSupabase* client() const;
    QCoro::Task<void> demarrerTaches(quint64 generation);

    Collaborateurs c_;
    SeuilsEquipe seuils_;
    QList<AlerteAppel> alertes_;
    QHash<QString, SyntheseManager> syntheses_;
    QSet<QString> synthesesEnCours_;
    QHash<QString, QString> erreursSynthese_;
    QSet<QString> traites_;
    QHash<QString, QPointer<ai::DemandeIA>> demandes_;
    QString compte_;
    bool demarre_ = false, initialise_ = false, depotEnCours_ = false;
    quint64 generation_ = 0;
};

} // namespace vd::team
