#pragma once
// The notification driver: evaluates the rules once a minute and a few
// seconds after the events that may make one due, delivers each key once
// through the card stack (and, when the user opted in and the app is hidden,
// through the desktop's notification service), and keeps the delivered keys
// and the per-type switches in the preferences.
#include "agenda/planificationnotifications.h"
#include "platform/horloge.h"

#include <QObject>
#include <QPointer>
#include <QTimeZone>
#include <functional>

namespace vd::platform {
class NotificationsBureau;
class Preferences;
} // namespace vd::platform

namespace vd::agenda {

class PileNotifications;

// A team invitation the user received, as the account knows it.
struct InvitationAnnoncee {
    QString id;
    std::optional<QString> invitePar;
    QString roleOrg;
};

class NotificationsApp : public QObject {
    Q_OBJECT
public:
    static constexpr int periodeMs = 60'000;
    static constexpr int apresEvenementMs = 3'000;
    static inline const QString cleLivrees = QStringLiteral("vd.notifications.livrees");
    static inline const QString cleBureau = QStringLiteral("vd.notifications.bureau");
    static inline const QString prefixeType = QStringLiteral("vd.notifications.type.");

    struct Collaborateurs {
        platform::Horloge* horloge = nullptr;
        platform::Preferences* preferences = nullptr;
        PileNotifications* pile = nullptr;
        // Optional: the desktop's service (none: cards only).
        platform::NotificationsBureau* bureau = nullptr;
        QTimeZone fuseau = QTimeZone::systemTimeZone();
        // Today's follow-ups ("yyyy-MM-dd"); asked only when their key is not yet delivered.
        std::function<QList<contenu::RelanceDuJour>(const QString& jour)> relancesDuJour;
        std::function<QList<regles::AppelNote>()> appelsNotes;
        std::function<QList<InvitationAnnoncee>()> invitations;
        // For a manager: the team's figures of the day (none: no summary).
        std::function<std::optional<regles::ResumeEquipe>()> resumeEquipe;
        std::function<bool()> auPremierPlan;
        // Opens the screen a clicked desktop notification leads to.
        std::function<void(const QString& cible, const std::optional<QString>& objet)> ouvrir;
    };

    explicit NotificationsApp(Collaborateurs c, QObject* parent = nullptr);

    void demarrer();
    void verifier();
    // One check apresEvenementMs after the last event (debounced).
    void programmer();
    // A call's analysis just finished.
    void annoncerAnalyse(const QString& appelId, const std::optional<QString>& contact, std::optional<int> score);
    // New team calls to look at (for a manager).
    void annoncerAlertesEquipe(const QStringList& appelIds, const QList<contenu::AppelAlerte>& alertes);

    bool active(TypeNotification t) const { return livraison_.active(t); }
    void activer(TypeNotification t, bool actif);
    bool bureauActif() const;
    void activerBureau(bool actif);
    // The types the settings offer to turn off (the forgotten-call card is a safety, not a notification).
    static QList<TypeNotification> typesReglables();
    const LivraisonNotifications& livraison() const { return livraison_; }

private:
    bool montrer(const NotificationPrevue& p);
    void livrer(const std::optional<Due>& d);
    void enregistrer();

    Collaborateurs c_;
    LivraisonNotifications livraison_;
    platform::Minuterie* periodique_ = nullptr;
    platform::Minuterie* differe_ = nullptr;
    QHash<QString, NotificationPrevue> parCle_;
    bool demarre_ = false;
};

} // namespace vd::agenda
