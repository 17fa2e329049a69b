#pragma once
// Which notification is due, with which words, delivered once. The rules are
// pure (data and the instant in, a keyed `Due` out); `LivraisonNotifications`
// keeps the delivered keys and the per-type switches, and records a key only
// once the card stack has actually taken the card.
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace vd::agenda {

enum class TypeNotification { relances, bilan, analyse, brief, commentaire, rapport, alerteEquipe, resumeEquipe, invitation, appelOublie };
QString nomType(TypeNotification t);
std::optional<TypeNotification> typeDepuisNom(const QString& nom);
QList<TypeNotification> tousLesTypes();
// The settings' label of a type the user can turn off.
QString libelleType(TypeNotification t);

struct NotificationPrevue {
    TypeNotification type = TypeNotification::analyse;
    QString id;
    QString titre;
    QString corps;
    std::optional<QDateTime> date;
    QString cible;
    std::optional<QString> objet;
    QMap<QString, QString> infos;
    QStringList anciensIds;
    bool operator==(const NotificationPrevue&) const = default;
};

struct Due {
    QString cle;
    std::optional<NotificationPrevue> prevue;
};

namespace contenu {

struct Bilan {
    int appels = 0;
    double moyenne = 0;
    std::optional<double> evolution;
    std::optional<QString> competence;
};
QString corpsBilan(const Bilan& b);
QString corpsAnalyse(const std::optional<QString>& contact, std::optional<int> score);
QString corpsCommentaire(const std::optional<QString>& contact);
QString corpsRapport(int appels, std::optional<double> score, std::optional<double> evolution);
// alertes: the calls to look at, each with its member and contact; chaudes: hot deals among them.
struct AppelAlerte {
    std::optional<QString> membre;
    std::optional<QString> contact;
    bool chaud = false;
};
QString corpsAlerteEquipe(const QList<AppelAlerte>& alertes);
QString corpsResumeEquipe(int appels, int aRegarder, std::optional<double> score, std::optional<double> partFramework);
QString corpsInvitation(const std::optional<QString>& invitePar, const QString& roleOrg);
QString corpsBrief(qint64 secondesRestantes, const QString& titre, const std::optional<QString>& contact);
struct RelanceDuJour {
    QString contact;
    bool enRetard = false;
    bool messagePret = false;
};
QString corpsRelances(const QList<RelanceDuJour>& relances);

} // namespace contenu

namespace regles {

// One analysed call, as the weekly review reads it.
struct AppelNote {
    QDateTime analyseLe;
    int score = 0;
};
// The weekly review's key when it is due (Monday from 9:00), else none.
std::optional<QString> cleBilan(const QDateTime& maintenant, const QTimeZone& fuseau);
// The weekly review of the last 7 days against the 7 before; none without a call.
std::optional<Due> bilan(const QList<AppelNote>& appels, const QDateTime& maintenant, const QTimeZone& fuseau);
// Today's follow-ups, once a day; none when there is nothing to follow up.
std::optional<Due> relances(const QList<contenu::RelanceDuJour>& relances, const QDateTime& maintenant, const QTimeZone& fuseau);

struct RendezVous {
    QString id;
    QString fournisseur;   // "google" | "microsoft"
    QString titre;
    QDateTime debut;
    std::optional<QString> contact;
    std::optional<QString> lienVisio;
};
// The brief reminder, due 10 minutes before a meeting whose brief is not ready.
std::optional<Due> brief(const RendezVous& rdv, bool briefPret, const QDateTime& maintenant);
// The team's daily summary is delivered between 18:00 and 22:59 local time.
bool heureResume(const QDateTime& maintenant, const QTimeZone& fuseau);

// The day's team figures, for the manager's summary.
struct ResumeEquipe {
    int appels = 0;       // team calls analysed today
    int aRegarder = 0;    // among them, calls with an alert
    std::optional<double> score;
    std::optional<double> partFramework;
};
QString cleResumeEquipe(const QDateTime& maintenant, const QTimeZone& fuseau);
// Due between 18:00 and 22:59, once a day; none without a team call today.
std::optional<Due> resumeEquipe(const ResumeEquipe& r, const QDateTime& maintenant, const QTimeZone& fuseau);
// New team calls to look at, keyed by their call ids so a batch is announced once.
std::optional<Due> alerteEquipe(const QStringList& appelIds, const QList<contenu::AppelAlerte>& alertes, const QDateTime& maintenant);

} // namespace regles

class LivraisonNotifications {
public:
    // Shows the card of a planned notification; false when it could not be shown.
    using Montrer = std::function<bool(const NotificationPrevue& prevue)>;

    explicit LivraisonNotifications(Montrer montrer) : montrer_(std::move(montrer)) {}

    // True when the notification was shown now.
    bool livrer(const Due& due, const QDateTime& maintenant);
    bool livree(const QString& cle) const { return livrees_.contains(cle); }
    void activer(TypeNotification t, bool actif) { desactives_[int(t)] = !actif; }
    bool active(TypeNotification t) const { return !desactives_.value(int(t), false); }

    // Kept in the preferences: key → ISO instant; entries older than 60 days are dropped.
    QHash<QString, QString> versPreferences(const QDateTime& maintenant) const;
    void depuisPreferences(const QHash<QString, QString>& valeurs);

private:
    Montrer montrer_;
    QHash<QString, QDateTime> livrees_;
    QHash<int, bool> desactives_;
};

} // namespace vd::agenda
