#pragma once
// Cards before a meeting with a known prospect: from ten minutes before the
// start ("Préparer le brief" while the brief is not ready) and from five
// minutes before ("Rejoindre avec Quillo") until five minutes after it.
// Joining opens the video link, waits for the brief at most delaiBriefMs
// (or goes without it) and starts the call with the meeting's start.
#include "agenda/agenda.h"
#include "agenda/briefagenda.h"
#include "agenda/pilenotifications.h"

#include <QObject>
#include <QSet>
#include <functional>

namespace vd::agenda {

class AvantRendezVous : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 avantS = 600;
    static constexpr qint64 rejoindreS = 300;
    static constexpr qint64 apresS = 300;
    static constexpr int evaluationMs = 15'000;
    static constexpr int delaiBriefMs = 40'000;
    static inline const QString clePreference = QStringLiteral("vd.popupRendezVous");
    static inline const QString cleIgnores = QStringLiteral("vd.popupRendezVous.ignores");
    static inline const QString cleSeries = QStringLiteral("vd.popupRendezVous.series");
    static inline const QString clePreparations = QStringLiteral("vd.popupRendezVous.preparations");
    static inline const QString actionPreparer = QStringLiteral("Préparer le brief");
    static inline const QString actionRejoindre = QStringLiteral("Rejoindre avec Quillo");
    static inline const QString textePreparation =
        QStringLiteral("Quillo prépare le brief maintenant, sans ouvrir Vendalo. 5 min avant, la carte propose « Rejoindre avec Quillo ».");
    static inline const QString echecPreparation = QStringLiteral("Le brief n'a pas pu être préparé. Vérifiez votre connexion et réessayez.");
    static inline const QString sansBrief = QStringLiteral("Brief indisponible : Quillo démarre sans.");
    static inline const QString demarrage = QStringLiteral("Quillo démarre…");
    static inline const QString sansInvite = QStringLiteral("Aucun invité à suivre pour ce rendez-vous.");
    static inline const QString echecDemarrage = QStringLiteral("L'appel n'a pas pu démarrer. Réessayez depuis Vendalo.");

    struct Suivi {
        QString texte;
        bool enCours = false;
        bool erreur = false;
        bool operator==(const Suivi&) const = default;
    };
    using RetourBrief = std::function<void(std::optional<BriefAgenda> brief)>;
    struct Collaborateurs {
        Agenda* agenda = nullptr;
        PileNotifications* pile = nullptr;
        platform::Horloge* horloge = nullptr;
        platform::Preferences* preferences = nullptr;
        // The stored brief of a meeting, if ready.
        std::function<std::optional<BriefAgenda>(const EvenementAgenda&)> briefPret;
        // Generates and stores a meeting's brief; calls back once (none: failed).
        std::function<void(const EvenementAgenda&, RetourBrief)> genererBrief;
        std::function<bool(const QUrl&)> ouvrirLien;
        // Starts the call (through the pre-flight); none: started, else why not.
        std::function<std::optional<QString>(const EvenementAgenda&, const std::optional<BriefAgenda>&)> demarrerAppel;
        std::function<QString(const QString& contactId)> nomContact;
    };
    enum class Offre { aucune, preparer, rejoindre };

    explicit AvantRendezVous(Collaborateurs c, QObject* parent = nullptr);

    // Whether a meeting at dt seconds from now has a card, and what it offers.
    static bool dansFenetre(qint64 dtS) { return dtS <= avantS && -dtS < apresS; }
    static Offre offre(qint64 dtS, bool briefPret);

    bool actif() const;
    void setActif(bool actif);
    void evaluer();
    void preparer(const QString& evenementId);
    void rejoindre(const QString& evenementId);
    void ignorer(const QString& evenementId, bool serie);
    // A card's button pressed in the stack.
    void executer(const CarteNotification& carte);

    const QList<EvenementAgenda>& cartes() const { return cartes_; }
    const QHash<QString, Suivi>& suivis() const { return suivis_; }
    const QSet<QString>& enCours() const { return enCours_; }
    CarteNotification carte(const EvenementAgenda& e) const;

Q_SIGNALS:
    void change();

private:
    void suivre(const QString& id, Suivi s);
    void lancerAppel(const EvenementAgenda& e, const std::optional<BriefAgenda>& brief);
    QHash<QString, QString> lireCarte(const QString& cle) const;
    void ecrireCarte(const QString& cle, const QHash<QString, QString>& h);
    QDateTime maintenant() const { return c_.horloge->maintenant(); }

    Collaborateurs c_;
    platform::Minuterie* minuteur_ = nullptr;
    QList<EvenementAgenda> cartes_;
    QHash<QString, Suivi> suivis_;
    QSet<QString> enCours_, rejoints_;
};

} // namespace vd::agenda
