#pragma once
// Live coaching alerts, computed on this machine without any model: a long
// monologue, too large a talk share over the last three minutes, no question
// for three minutes. A pure function of the transcript, "now", the last
// question and the alerts currently shown, so it is tested without timers.
#include "model/appel.h"

#include <QList>
#include <QString>
#include <optional>

namespace vd::call {

struct CoachingAlerte {
    enum class Genre { monologue, partParole, sansQuestion };
    Genre type = Genre::monologue;
    QString texte;
    qint64 depuisMs = 0;
    bool operator==(const CoachingAlerte&) const = default;
};

QString nomGenre(CoachingAlerte::Genre g);

// One speaking turn as the coaching sees it.
struct TourParole {
    bool vous = false;
    qint64 debutMs = 0;
    qint64 finMs = 0;   // already the larger of start and end
    int mots = 0;
};

struct EntreeCoaching {
    // Final segments in arrival order, then the current partial segments.
    const QList<model::Segment>* finals = nullptr;
    QList<model::Segment> partiels;
    qint64 maintenantMs = 0;
    qint64 derniereQuestionMs = 0;
    QList<CoachingAlerte> actuelles;
};

// "45 s", "1 min 30", "2 min".
QString formaterDuree(qint64 ms);

// The alerts to show: the monologue or talk-share alert first (at most one),
// then the no-question alert.
//
// Only turns near "now" are read: finals arrive in time order give or take a
// few seconds, so the walk back stops 60 s before the oldest instant a rule
// can look at. A tick therefore costs the same at minute 2 and at hour 2.
QList<CoachingAlerte> calculerCoaching(const EntreeCoaching& e);

} // namespace vd::call
