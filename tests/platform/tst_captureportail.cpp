// vd-test: keyring
// The desktop portal's Screenshot spoken to over a private D-Bus session: the
// picture the portal points to is written as PNG where asked, a cancel says
// nothing, a refusal gives its message, and no portal means no capture.
#include "platform/captureecran.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace vd;

namespace {

class PortailFactice : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")
public:
    uint code = 0;
    QString uri;
    QVariantMap options;

public Q_SLOTS:
    QDBusObjectPath Screenshot(const QString&, const QVariantMap& o)
    {
        options = o;
        QString expediteur = message().service().mid(1);
        expediteur.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString chemin = QStringLiteral("/org/freedesktop/portal/desktop/request/") + expediteur + QLatin1Char('/')
                               + o.value(QStringLiteral("handle_token")).toString();
        // The answer comes later, as the portal's Request object signal.
        QTimer::singleShot(10, this, [this, chemin] {
            QDBusMessage s = QDBusMessage::createSignal(chemin, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            s << code << QVariantMap{{QStringLiteral("uri"), uri}};
            QDBusConnection::sessionBus().send(s);
        });
        return QDBusObjectPath(chemin);
    }
};

} // namespace

class TstCapturePortail : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;
    PortailFactice portail;

private Q_SLOTS:
    void initTestCase()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("Sans bus D-Bus de session");
    }

    void sansPortail()
    {
        platform::CapturePortail c;
        QVERIFY(!c.disponible());
    }

    void reponses_data()
    {
        QTest::addColumn<uint>("code");
        QTest::addColumn<bool>("fichier");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("message");
        QTest::newRow("capture") << 0u << true << true << "";
        QTest::newRow("annulée") << 1u << false << false << "";
        QTest::newRow("refusée") << 2u << false << false << platform::CaptureEcran::echouee();
    }
    void reponses()
    {
        QFETCH(uint, code);
        QFETCH(bool, fichier);
        QFETCH(bool, ok);
        QFETCH(QString, message);
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portail, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        const QString source = dossier.filePath(QStringLiteral("portail.png"));
        QImage i(30, 20, QImage::Format_RGB32);
        i.fill(Qt::red);
        QVERIFY(i.save(source));
        portail.code = code;
        portail.uri = fichier ? QUrl::fromLocalFile(source).toString() : QString();

        platform::CapturePortail c;
        QVERIFY(c.disponible());
        QSignalSpy fin(&c, &platform::CaptureEcran::terminee);
        const QString cible = dossier.filePath(QStringLiteral("Capture d'écran %1.png").arg(QTest::currentDataTag()));
        c.capturer(cible);
        QVERIFY(fin.wait(5000));
        QCOMPARE(fin.size(), 1);
        QCOMPARE(fin[0][0].toBool(), ok);
        QCOMPARE(fin[0][2].toString(), message);
        QVERIFY(portail.options.value(QStringLiteral("interactive")).toBool());
        QCOMPARE(QImage(cible).size(), ok ? QSize(30, 20) : QImage().size());
    }
    void cleanup()
    {
        QDBusConnection::sessionBus().unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
        QDBusConnection::sessionBus().unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
    }
};

QTEST_GUILESS_MAIN(TstCapturePortail)
#include "tst_captureportail.moc"
