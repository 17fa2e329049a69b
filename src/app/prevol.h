#pragma once
// Pre-flight of a live call: which permissions are missing and what to do
// about each, the start itself with its error, and relaunching the app.
#include "platform/formulation.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace vd::app {

// System audio as the app sees it.
enum class EtatEcran { autorise, aRelancer, manquant };
// Microphone authorisation (on Linux: a default input exists or not).
enum class StatutMicro { autorise, nonDetermine, refuse, restreint };

struct AutorisationsPreVol {
    struct Action {
        enum class Genre { ouvrir, demanderMicro, relancer };
        Genre genre = Genre::ouvrir;
        QString panneau;   // for ouvrir: "Privacy_Microphone", "Privacy_ScreenCapture"
        bool operator==(const Action&) const = default;
    };
    struct Ligne {
        QString icone, titre, texte;
        bool operator==(const Ligne&) const = default;
    };
    struct Bouton {
        QString libelle;
        Action action;
        bool operator==(const Bouton&) const = default;
    };
    QList<Ligne> lignes;
    QList<Bouton> boutons;
    bool relancer = false;
    std::optional<QString> bloquant;

    // source: "micro+mac" or "demo".
    static AutorisationsPreVol construire(const QString& source, StatutMicro micro, EtatEcran ecran, bool video,
                                          const std::optional<QString>& derniereErreur);
};

// Short labels for compact displays.
QString libelleCourtMicro(StatutMicro micro);   // empty when authorised
QString libelleCourtEcran(EtatEcran ecran);

// Texts of the sheet.
namespace TextesPreVol {
inline const QString casque = QStringLiteral("Mettez un casque. Sans casque, le micro reprend la voix du prospect et le transcript mélange les deux.");
inline const QString sansCle = QStringLiteral(
    "Aucune clé de transcription n'est configurée : seul l'appel simulé est possible. Ajoutez une clé dans Réglages pour "
    "transcrire un vrai appel.");
inline const QString ouvrirReglages = QStringLiteral("Ouvrir les réglages");
inline const QString ouverture = platform::formuler(QStringLiteral("Ouverture du micro et du son du Mac…"));
inline const QString rappelRelance = platform::formuler(QStringLiteral("Puis relancez l'app : macOS ne prend l'accès à l'écran qu'au lancement suivant."));
inline const QString relanceImpossible = platform::formuler(QStringLiteral("Quittez Vendalo (⌘Q) puis rouvrez-le."));
inline const QString dejaEnCours = QStringLiteral("Un appel est déjà en cours. Terminez-le avant d'en lancer un autre.");
// "L'appel simulé rejoue une conversation de démo, avec le prénom de …"
QString demo(const QString& prenom, bool avecContact);
} // namespace TextesPreVol

// The start of a call and its error, shown once.
class DemarrageAppel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    bool enCours() const { return enCours_; }
    std::optional<QString> erreur() const { return erreur_; }
    QString cleErreur() const { return cleErreur_; }

    void commencer();
    void reussir();
    void echouer(const QString& message);
    // The sheet showed the error: it is not shown again for the same start.
    void erreurVue() { vue_ = cleErreur_; }
    std::optional<QString> erreurAMontrer() const { return (erreur_ && vue_ != cleErreur_) ? erreur_ : std::nullopt; }

Q_SIGNALS:
    void change();

private:
    bool enCours_ = false;
    std::optional<QString> erreur_;
    QString cleErreur_, vue_;
    int compteur_ = 0;
};

// The shell script that waits for pid to end (polling every 0.2 s, giving up
// after tours polls) and starts the executable again ($0).
QString scriptRelance(qint64 pid, int tours = 150);
// Starts /bin/sh with the script; false when the shell cannot be started.
bool lancerRelance(qint64 pid, const QString& executable, const QStringList& arguments = {});

} // namespace vd::app
