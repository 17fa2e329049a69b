#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout, a system shutdown, Ctrl+C, a closed terminal) reach the
// event loop as a signal of this object instead of killing the process: the handler only writes
// the signal's number to a self-pipe, which a socket notifier reads on the owner's thread.
// One instance at a time; the previous handlers come back when it is destroyed.
#include <QObject>

class QSocketNotifier;

namespace vd::platform {

class SignauxArret : public QObject {
    Q_OBJECT
public:
    explicit SignauxArret(QObject* parent = nullptr);
    ~SignauxArret() override;
    bool actif() const { return notificateur_ != nullptr; }
    static QString nom(int signal);   // "SIGTERM"…

Q_SIGNALS:
    void arretDemande(int signal);

private:
    void lire();
    int tube_[2] = {-1, -1};
    QSocketNotifier* notificateur_ = nullptr;
};

} // namespace vd::platform
