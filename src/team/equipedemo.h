#pragma once
// The demonstration team, in memory: a manager ("demo-manager") and two
// salespeople sharing the demonstration's calls. It answers the team
// procedures by name with the JSON the backend would send — comments on the
// calls, the exemplary call, the week's objectives, the ranking and a Monday
// report — so the coaching screens show real-looking data without any
// backend. Changes made on screen (a comment, a pin, an objective) live until
// the process ends.
#include "cloud/clientsupabase.h"
#include "model/appel.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <functional>

namespace vd::team {

class EquipeDemo {
public:
    static inline const QString manager = QStringLiteral("demo-manager");
    static inline const QString nomManager = QStringLiteral("Camille Martin");

    // appels: the team's calls, each with its member's compteId.
    EquipeDemo(std::function<QList<model::Appel>()> appels, std::function<QDateTime()> horloge);

    // The answer of one procedure, or the error the backend would give.
    cloud::ResultatCloud<model::JSONValeur> repondre(const QString& procedure, const QJsonObject& p);

private:
    void semer();
    QList<model::Appel> analyses() const;
    QJsonObject exemplaire(const QString& appelId, bool avecAppel) const;
    QJsonObject semaine(const QString& jour) const;
    QJsonObject classement(int jours) const;
    QJsonArray rapports() const;
    QJsonObject fixerObjectif(const QJsonObject& o);
    QString horodatage(qint64 decalageSec = 0) const;

    std::function<QList<model::Appel>()> appels_;
    std::function<QDateTime()> horloge_;
    bool seme_ = false;
    int suivant_ = 1;
    QHash<QString, QJsonArray> commentaires_;   // by call id
    QHash<QString, QJsonObject> epingles_;      // by call id: note, epingle_le
    QList<QJsonObject> objectifs_;
};

} // namespace vd::team
