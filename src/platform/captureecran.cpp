#include "captureecran.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QUrl>

namespace vd::platform {

namespace {
const QString servicePortail = QStringLiteral("org.freedesktop.portal.Desktop");
const QString cheminPortail = QStringLiteral("/org/freedesktop/portal/desktop");
const QString interfaceCapture = QStringLiteral("org.freedesktop.portal.Screenshot");
const QString interfaceRequete = QStringLiteral("org.freedesktop.portal.Request");
} // namespace

CapturePortail::CapturePortail(QObject* parent) : CaptureEcran(parent) {}

bool CapturePortail::disponible() const
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(servicePortail).value();
}

void CapturePortail::capturer(const QString& chemin)
{
    if (enCours_)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        Q_EMIT terminee(false, chemin, indisponible());
        return;
    }
    enCours_ = true;
    chemin_ = chemin;
    // The Request path is known before the call (sender and token), so the answer
    // cannot arrive before we listen to it.
    const QString jeton = QStringLiteral("vendalo%1_%2").arg(QCoreApplication::applicationPid()).arg(++jeton_);
    QString expediteur = bus.baseService().mid(1);
    expediteur.replace(QLatin1Char('.'), QLatin1Char('_'));
    requete_ = cheminPortail + QStringLiteral("/request/") + expediteur + QLatin1Char('/') + jeton;
    bus.connect(servicePortail, requete_, interfaceRequete, QStringLiteral("Response"), this,
                SLOT(reponse(uint, QVariantMap)));

    QDBusMessage m = QDBusMessage::createMethodCall(servicePortail, cheminPortail, interfaceCapture, QStringLiteral("Screenshot"));
    m << QString() << QVariantMap{{QStringLiteral("handle_token"), jeton}, {QStringLiteral("interactive"), true}};
    auto* attente = new QDBusPendingCallWatcher(bus.asyncCall(m, 30'000), this);
    connect(attente, &QDBusPendingCallWatcher::finished, this, [this, attente] {
        attente->deleteLater();
        QDBusPendingReply<QDBusObjectPath> r = *attente;
        if (r.isError()) {
            finir(false, indisponible());
            return;
        }
        // Older portals answer with a path of their own choice.
        const QString donne = r.value().path();
        if (enCours_ && donne != requete_) {
            QDBusConnection bus = QDBusConnection::sessionBus();
            bus.disconnect(servicePortail, requete_, interfaceRequete, QStringLiteral("Response"), this,
                           SLOT(reponse(uint, QVariantMap)));
            requete_ = donne;
            bus.connect(servicePortail, requete_, interfaceRequete, QStringLiteral("Response"), this,
                        SLOT(reponse(uint, QVariantMap)));
        }
    });
}

void CapturePortail::reponse(uint code, const QVariantMap& resultats)
{
    if (!enCours_)
        return;
    if (code == 1) {   // cancelled by the user
        finir(false, QString());
        return;
    }
    const QUrl uri(resultats.value(QStringLiteral("uri")).toString());
    if (code != 0 || !uri.isLocalFile()) {
        finir(false, echouee());
        return;
    }
    // The portal keeps its own file; ours is a PNG in the caller's folder.
    const QImage image(uri.toLocalFile());
    if (image.isNull() || !image.save(chemin_, "PNG")) {
        finir(false, echouee());
        return;
    }
    finir(true, QString());
}

void CapturePortail::finir(bool ok, const QString& message)
{
    if (!enCours_)
        return;
    enCours_ = false;
    QDBusConnection::sessionBus().disconnect(servicePortail, requete_, interfaceRequete, QStringLiteral("Response"), this,
                                             SLOT(reponse(uint, QVariantMap)));
    Q_EMIT terminee(ok, chemin_, message);
}

bool CaptureX11::disponible() const
{
    return QGuiApplication::platformName() == QLatin1String("xcb") && QGuiApplication::primaryScreen();
}

void CaptureX11::capturer(const QString& chemin)
{
    QScreen* ecran = QGuiApplication::primaryScreen();
    if (!disponible() || !ecran) {
        Q_EMIT terminee(false, chemin, indisponible());
        return;
    }
    const QPixmap p = ecran->grabWindow(0);
    if (p.isNull() || !p.save(chemin, "PNG")) {
        Q_EMIT terminee(false, chemin, echouee());
        return;
    }
    Q_EMIT terminee(true, chemin, QString());
}

std::unique_ptr<CaptureEcran> creerOutilCapture()
{
    auto portail = std::make_unique<CapturePortail>();
    if (portail->disponible())
        return portail;
    return std::make_unique<CaptureX11>();
}

} // namespace vd::platform
