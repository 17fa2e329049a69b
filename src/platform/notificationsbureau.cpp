#include "notificationsbureau.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QLoggingCategory>
#include <QVariantMap>

Q_LOGGING_CATEGORY(lcBureau, "vd.notifications.bureau")

namespace vd::platform {

namespace {
const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString chemin = QStringLiteral("/org/freedesktop/Notifications");
// A hung service must not freeze the app: the call gives up after 2 s.
constexpr int delaiMs = 2000;
} // namespace

NotificationsBureauDBus::NotificationsBureauDBus(QObject* parent) : NotificationsBureau(parent) {}

bool NotificationsBureauDBus::disponible() const
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(service).value();
}

bool NotificationsBureauDBus::envoyer(const QString& cle, const QString& titre, const QString& corps)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // Any sender: the service may start (or restart) after us; ids not ours are ignored.
    if (!abonne_) {
        abonne_ = bus.connect(QString(), chemin, service, QStringLiteral("ActionInvoked"), this, SLOT(actionInvoquee(uint, QString)));
        bus.connect(QString(), chemin, service, QStringLiteral("NotificationClosed"), this, SLOT(fermee(uint, uint)));
    }
    QDBusMessage m = QDBusMessage::createMethodCall(service, chemin, service, QStringLiteral("Notify"));
    m << QStringLiteral("Vendalo") << uint(0) << QStringLiteral("vendalo") << titre << corps
      << QStringList{QStringLiteral("default"), QStringLiteral("Ouvrir")} << QVariantMap{} << int(-1);
    const QDBusReply<uint> r = bus.call(m, QDBus::Block, delaiMs);
    if (!r.isValid()) {
        qCInfo(lcBureau) << "notification refusée :" << r.error().message();
        return false;
    }
    cles_.insert(r.value(), cle);
    return true;
}

void NotificationsBureauDBus::actionInvoquee(uint id, const QString& action)
{
    const QString cle = cles_.value(id);
    if (!cle.isEmpty() && action == QLatin1String("default"))
        Q_EMIT activee(cle);
}

void NotificationsBureauDBus::fermee(uint id, uint) { cles_.remove(id); }

} // namespace vd::platform
