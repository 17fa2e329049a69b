#pragma once
// The forgotten-call guard: a call left running after the salesperson hung up
// in the calling tool. `GardeOubli` holds the rules (pure: clock values in
// seconds in, decisions out); `GardeAppelOublie` feeds it the session's clock
// and voices once a second and turns its decisions into cards and a stop.
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace vd::platform {
class Horloge;
class Minuterie;
}

namespace vd::call {

class SessionAppel;

struct ReglagesOubli {
    qint64 silenceAvantAlerteSec = 5 * 60;
    qint64 delaiArretSec = 2 * 60;
    qint64 dureeMaxSec = 180 * 60;
    bool operator==(const ReglagesOubli&) const = default;
    // From the account's minute values; a missing or out-of-range value falls
    // back to the nearest allowed one (missing: the default).
    static ReglagesOubli depuisMinutes(std::optional<qint64> silenceAvantAlerteMin, std::optional<qint64> delaiArretMin,
                                       std::optional<qint64> dureeMaxMin);
    // From the account summary's "quilloAppel"; none or a value that is not a number: the defaults.
    static ReglagesOubli depuisCompte(const std::optional<QJsonObject>& monCompte);
};

enum class MotifOubli { silence, plafond };

struct GardeOubli {
    struct Alerte {
        MotifOubli motif = MotifOubli::silence;
        double depuis = 0;
        double echeance = 0;
        double duree = 0;   // the silence length, or the cap, for the texts
        bool operator==(const Alerte&) const = default;
    };
    enum class Action { rien, alerteSilence, alertePlafond, arretSilence, arretPlafond, retirerAlerte };

    ReglagesOubli reglages;
    double derniereVoix = 0;
    double plafond = 0;
    std::optional<Alerte> alerte;

    static GardeOubli demarrer(const ReglagesOubli& reglages, double t);
    Action voix(double t);
    Action tic(double t);
    // The user answered the card (or came back to the call); none without an alert.
    Action continuer(double t);
    // The duration reported by an automatic stop for this motive.
    double dureeArret(MotifOubli motif, double t) const;
};

namespace texteoubli {
QString dureeLongue(double secondes);   // "4 min", "1 h", "2 h 05"
QString compteARebours(double secondes);   // "59 s", "2 min", "1 min 59"
QString titreAlerte(const GardeOubli::Alerte& a);
QString corpsAlerte(const GardeOubli::Alerte& a, double t);
QString indiceReponse(const GardeOubli::Alerte& a);
QString titreArret();
QString corpsArret(MotifOubli motif, double duree);
// The settings' explanation of the guard, with the thresholds in force.
QString explication(const ReglagesOubli& r);
inline const QString idCarteAlerte = QStringLiteral("appel-en-cours");
QString idCarteArret(const QString& appelId);
inline const QString echecArret = QStringLiteral("L'appel n'a pas pu être terminé.");
} // namespace texteoubli

// A card as the guard asks for it; the card stack shows it.
struct CarteOubli {
    QString id;
    QString titre;
    QString corps;
    QString action;   // "Revenir à l'appel" | "Voir l'analyse"
    std::optional<QString> appelId;
    bool operator==(const CarteOubli&) const = default;
};

class GardeAppelOublie : public QObject {
    Q_OBJECT
public:
    struct Operations {
        std::function<std::optional<double>()> lireChrono;   // the session's elapsed time when empty
        std::function<ReglagesOubli()> lireReglages;
        std::function<void(const CarteOubli&)> notifier;
        std::function<void(const QString& id)> retirerNotification;
        std::function<void(const QString& texte)> signaler;
        // Stops the call; the answer carries an error text when it failed.
        std::function<void(const QString& appelId, std::function<void(std::optional<QString> erreur)> reponse)> terminer;
    };
    struct Options {
        bool inclureDemo = false;
        bool avecMinuteur = true;
    };

    GardeAppelOublie(SessionAppel& session, platform::Horloge& horloge, Operations operations, Options options,
                     QObject* parent = nullptr);

    const std::optional<GardeOubli>& garde() const { return garde_; }
    const std::optional<GardeOubli::Alerte>& alerte() const;
    struct Arret {
        QString appelId;
        QString texte;
    };
    const std::optional<Arret>& dernierArret() const { return dernierArret_; }

    void tic();
    void voixEntendue();
    void continuer();

Q_SIGNALS:
    void alerteChange();

private:
    double chrono() const;
    bool ignore() const;
    void suivreEtat();
    void appliquer(GardeOubli::Action action, double t);
    void arreterAuto(MotifOubli motif, double t);
    void montrerAlerte(double t);

    SessionAppel& session_;
    Operations ops_;
    Options options_;
    platform::Minuterie* minuteur_ = nullptr;
    std::optional<GardeOubli> garde_;
    std::optional<Arret> dernierArret_;
    bool arretLance_ = false;
    qsizetype nbFinals_ = 0;
    QString signatureInterims_;
};

} // namespace vd::call
