#pragma once
// The small stack of cards at the top right of the screen: at most four shown,
// the others waiting; ordinary cards leave 8 s after they arrive (the countdown
// stops while the mouse is over the stack), meeting cards live for their
// meeting's window and forgotten-call cards until acted on.
#include "agenda/planificationnotifications.h"
#include "platform/horloge.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <functional>
#include <optional>

namespace vd::agenda {

struct CarteNotification {
    QString id;   // "rdv:" + meeting id, or "notif:" + …
    TypeNotification type = TypeNotification::brief;
    QString titre, corps;
    std::optional<QString> action;
    QString cible;
    std::optional<QString> objet;
    QHash<QString, QString> infos;
    bool operator==(const CarteNotification&) const = default;
    bool estRendezVous() const { return id.startsWith(QLatin1String("rdv:")); }
};

class PileNotifications : public QObject {
    Q_OBJECT
public:
    static constexpr int maxVisibles = 4;
    static constexpr double dureeS = 8.0;
    static constexpr double resteApresSurvolS = 2.0;
    static constexpr int ticMs = 250;

    struct Entree {
        CarteNotification carte;
        QDateTime arrivee;
        std::optional<QDateTime> echeance;
        double restant = 0;   // seconds; meaningful only with an echeance
        bool operator==(const Entree&) const = default;
    };

    explicit PileNotifications(platform::Horloge* horloge = nullptr, QObject* parent = nullptr);

    // A card whose id is already there is replaced in place (shown or waiting).
    void ajouter(const CarteNotification& carte);
    void retirer(const QString& id);
    // Runs the card's action, then the card leaves (a meeting card stays: its window decides).
    void executer(const CarteNotification& carte);
    void setSurvolee(bool survolee);
    bool contient(const QString& id) const;

    const QList<Entree>& entrees() const { return entrees_; }
    const QList<CarteNotification>& enAttente() const { return enAttente_; }
    bool survolee() const { return survolee_; }

    std::function<void(const CarteNotification&)> executerAction;

Q_SIGNALS:
    void change();

private:
    void tic();
    void completer();
    Entree entree(const CarteNotification& c) const;

    platform::Horloge* horloge_;
    platform::Minuterie* minuteur_;
    QList<Entree> entrees_;
    QList<CarteNotification> enAttente_;
    bool survolee_ = false;
};

} // namespace vd::agenda
