#pragma once
// Quitting during a call: the call is stopped (and saved) first, for at most
// 4 seconds; whichever of the stop and the delay ends first lets the quit go
// on, and it goes on once.
#include "platform/horloge.h"

#include <QObject>
#include <functional>

namespace vd::app {

class QuitteDifferee : public QObject {
    Q_OBJECT
public:
    static constexpr int delaiMs = 4000;
    // appelActif: the session is connecting, running or paused (signed in or not).
    // arreterAppel: stops the call and calls its argument once the call is saved.
    // quitter: lets the process end (the store is flushed on the way out).
    QuitteDifferee(platform::Horloge& horloge, std::function<bool()> appelActif,
                   std::function<void(std::function<void()> fini)> arreterAppel, std::function<void()> quitter,
                   QObject* parent = nullptr);

    void demander();
    bool enAttente() const { return enAttente_; }

private:
    void repondre();
    platform::Horloge& horloge_;
    std::function<bool()> appelActif_;
    std::function<void(std::function<void()>)> arreterAppel_;
    std::function<void()> quitter_;
    platform::Minuterie* delai_ = nullptr;
    bool enAttente_ = false;
    quint64 tour_ = 0;
};

} // namespace vd::app
