#pragma once
// Running count of the audio bytes actually handed to a transcription
// socket, shared between the sockets' threads and the usage report.
#include <QMutex>
#include <QtGlobal>

namespace vd::call {

class CompteurAudio {
public:
    void ajouter(qint64 octets);
    qint64 total() const;
    void remettreAZero();

private:
    mutable QMutex verrou_;
    qint64 total_ = 0;
};

} // namespace vd::call
