#include "signauxarret.h"

#include <QLoggingCategory>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcSignaux, "vd.platform.signaux")

namespace vd::platform {

namespace {

constexpr int signaux[] = {SIGTERM, SIGINT, SIGHUP};
volatile sig_atomic_t ecriture = -1;
struct sigaction anciens[3];

void gestionnaire(int signal)
{
    const int sauve = errno;
    const int fd = ecriture;
    if (fd >= 0) {
        const unsigned char octet = static_cast<unsigned char>(signal);
        [[maybe_unused]] const ssize_t n = ::write(fd, &octet, 1);
    }
    errno = sauve;
}

} // namespace

SignauxArret::SignauxArret(QObject* parent) : QObject(parent)
{
    if (ecriture >= 0) {
        qCWarning(lcSignaux) << "gestion des signaux déjà installée";
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, tube_) != 0) {
        qCWarning(lcSignaux) << "tube des signaux impossible:" << strerror(errno);
        tube_[0] = tube_[1] = -1;
        return;
    }
    ecriture = tube_[1];
    notificateur_ = new QSocketNotifier(tube_[0], QSocketNotifier::Read, this);
    connect(notificateur_, &QSocketNotifier::activated, this, &SignauxArret::lire);
    for (int i = 0; i < 3; ++i) {
        struct sigaction sa = {};
        sa.sa_handler = gestionnaire;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(signaux[i], &sa, &anciens[i]);
    }
}

SignauxArret::~SignauxArret()
{
    if (!notificateur_)
        return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(signaux[i], &anciens[i], nullptr);
    ecriture = -1;
    delete notificateur_;
    ::close(tube_[0]);
    ::close(tube_[1]);
}

QString SignauxArret::nom(int signal)
{
    switch (signal) {
    case SIGTERM: return QStringLiteral("SIGTERM");
    case SIGINT: return QStringLiteral("SIGINT");
    case SIGHUP: return QStringLiteral("SIGHUP");
    default: return QStringLiteral("signal %1").arg(signal);
    }
}

void SignauxArret::lire()
{
    unsigned char octets[16];
    for (;;) {
        const ssize_t n = ::read(tube_[0], octets, sizeof octets);
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i) {
            qCInfo(lcSignaux) << "arrêt demandé par" << nom(octets[i]);
            Q_EMIT arretDemande(octets[i]);
        }
    }
}

} // namespace vd::platform
