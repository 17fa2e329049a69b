// vd-test: pulse keyring timeout=180
// Recording a Wayland desktop: the portal's ScreenCast (a fake on the private
// session bus) and the pictures of a private PipeWire's source node.
#include "call/enregistreurappel.h"
#include "fakes/fauxportailecran.h"
#include "platform/capturebureau.h"
#include "platform/preferences.h"

#include <QDBusConnection>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <mutex>

using namespace vd;
using platform::PortailEcran;

namespace {

// What one capture of the desktop gave: its first picture, or how it ended.
struct Filmage {
    std::mutex verrou;
    QImage image;
    QString fin;
    bool finie = false;
    bool aImage()
    {
        std::lock_guard l(verrou);
        return !image.isNull();
    }
};

bool proche(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24 && std::abs(a.blue() - b.blue()) < 24;
}

} // namespace

class TstCaptureBureau : public QObject {
    Q_OBJECT
    QTemporaryDir dossier_;
    platform::PreferencesMemoire prefs_;
    std::unique_ptr<test::PipeWirePrive> pw_;
    std::unique_ptr<test::FauxPortailEcran> portail_;
    QProcess bus_;

    // A session bus of our own without service directories: a portal installed
    // on the machine must not be started in place of a fake that is missing.
    bool busPrive()
    {
        const QString conf = dossier_.filePath(QStringLiteral("bus.conf"));
        QFile f(conf);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">"
                "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        f.close();
        bus_.start("dbus-daemon", {QStringLiteral("--config-file=") + conf, "--print-address=1", "--nofork"});
        if (!bus_.waitForStarted(5000) || !bus_.waitForReadyRead(5000))
            return false;
        const QByteArray adresse = bus_.readLine().trimmed();
        if (adresse.isEmpty())
            return false;
        qputenv("DBUS_SESSION_BUS_ADDRESS", adresse);
        return true;
    }

    std::unique_ptr<platform::CaptureVideo> demarrer(bool fenetre, Filmage& f)
    {
        auto c = platform::creerCaptureBureau(fenetre);
        if (!c.capture)
            return nullptr;
        const auto refus = c.capture->demarrer(
            [&f](const QImage& i) {
                std::lock_guard l(f.verrou);
                if (f.image.isNull())
                    f.image = i;
            },
            [&f](const QString& r) {
                std::lock_guard l(f.verrou);
                f.fin = r;
                f.finie = true;
            });
        return refus ? nullptr : std::move(c.capture);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        if (!busPrive() || !QDBusConnection::sessionBus().isConnected())
            QSKIP("Sans bus D-Bus de session");
        platform::Preferences::installer(&prefs_);
        qputenv("WAYLAND_DISPLAY", "wayland-vd");
        pw_ = std::make_unique<test::PipeWirePrive>();
        if (!pw_->pret())
            qWarning() << "PipeWire privé indisponible :" << pw_->raison();
    }
    void cleanupTestCase()
    {
        platform::Preferences::installer(nullptr);
        portail_.reset();
        pw_.reset();
        bus_.kill();
        bus_.waitForFinished(2000);
    }
    void init()
    {
        prefs_.supprimer(PortailEcran::cleJeton());
        portail_ = std::make_unique<test::FauxPortailEcran>(pw_->pret() ? pw_.get() : nullptr);
    }
    void cleanup() { portail_.reset(); }

    // No portal on the bus: sound only, and the reason.
    void sansPortailSonSeul_data()
    {
        QTest::addColumn<QString>("cible");
        QTest::newRow("écran") << "ecran";
        QTest::newRow("fenêtre") << "fenetre";
    }
    void sansPortailSonSeul()
    {
        QFETCH(QString, cible);
        call::EnregistreurAppel::Options o;
        o.dossier = dossier_.filePath(QStringLiteral("sans"));
        o.sonde = [](const QString&) { return std::optional<qint64>(50'000'000'000LL); };
        o.cible.type = cible;
        o.listeFenetres = [] { return std::optional<QList<call::FenetreProposee>>(); };
        call::EnregistreurAppel e(QStringLiteral("s1"), o);
        QVERIFY(e.actif());
        const QString attendu = test::PipeWirePrive::compile()
                                    ? QStringLiteral("Ce bureau ne propose pas le portail de partage d'écran "
                                                     "(xdg-desktop-portal) : seul le son est enregistré. Installez le "
                                                     "portail de votre bureau pour filmer la réunion.")
                                    : QStringLiteral("Cette version de Vendalo est construite sans PipeWire : sous "
                                                     "Wayland, seul le son est enregistré. Pour la vidéo, installez une "
                                                     "version construite avec PipeWire ou ouvrez une session X11.");
        QCOMPARE(e.avertissement(), std::optional<QString>(attendu));
        QVERIFY(!e.ecrivain()->avecVideo());
    }

    // The desktop's pictures, for the screen or a window; the restore token of
    // one call is offered to the next and replaced by the new one.
    void imagesDuBureau_data()
    {
        QTest::addColumn<bool>("fenetre");
        QTest::addColumn<uint>("version");
        QTest::newRow("écran") << false << 4u;
        QTest::newRow("fenêtre") << true << 4u;
        QTest::newRow("écran, portail sans jeton") << false << 3u;
    }
    void imagesDuBureau()
    {
        QFETCH(bool, fenetre);
        QFETCH(uint, version);
        if (!pw_->pret())
            QSKIP(qPrintable(pw_->raison()));
        portail_->versionPortail = version;
        QVERIFY(portail_->publier());
        for (const QString& jetonAttendu : {QString(), QStringLiteral("jeton-1")}) {
            Filmage f;
            auto c = demarrer(fenetre, f);
            QVERIFY(c);
            QTRY_VERIFY_WITH_TIMEOUT(f.aImage() || f.finie, 20000);
            QVERIFY2(!f.finie, qPrintable(f.fin));
            QCOMPARE(f.image.size(), QSize(320, 180));
            QVERIFY(proche(f.image.pixelColor(160, 90), fenetre ? portail_->fenetre : portail_->ecran));
            const QVariantMap& s = portail_->selection;
            QCOMPARE(s.value(QStringLiteral("types")).toUInt(), fenetre ? 2u : 1u);
            QCOMPARE(s.value(QStringLiteral("cursor_mode")).toUInt(), 2u);
            QCOMPARE(s.value(QStringLiteral("persist_mode")).toUInt(), version >= 4 ? 2u : 0u);
            QCOMPARE(s.value(QStringLiteral("restore_token")).toString(), version >= 4 ? jetonAttendu : QString());
            const int fermees = portail_->sessionsFermees;
            c->arreter();
            QTRY_COMPARE(portail_->sessionsFermees, fermees + 1);
            QCOMPARE(prefs_.valeur(PortailEcran::cleJeton(), {}).toString(), portail_->dernierJeton);
        }
        // A screen's token is never offered for a window, nor the reverse.
        portail_->selection.clear();
        Filmage f;
        auto autre = demarrer(!fenetre, f);
        QVERIFY(autre);
        QTRY_VERIFY(!portail_->selection.isEmpty());
        QVERIFY(!portail_->selection.contains(QStringLiteral("restore_token")));
    }

    // The desktop refuses, the user cancels, the sharing stops: the capture
    // ends with the reason, and the portal's session is closed.
    void finsDuPartage_data()
    {
        QTest::addColumn<QString>("cas");
        QTest::addColumn<QString>("message");
        QTest::newRow("choix annulé") << "Start=1" << PortailEcran::annule();
        QTest::newRow("partage refusé") << "Start=2" << PortailEcran::refuse();
        QTest::newRow("session refusée") << "CreateSession=2" << PortailEcran::refuse();
        QTest::newRow("erreur D-Bus") << "erreur=SelectSources" << PortailEcran::refuse();
        QTest::newRow("PipeWire injoignable") << "pipewire" << QStringLiteral(
            "Le flux vidéo du bureau (PipeWire) n'a pas pu être ouvert : seul le son est enregistré.");
        QTest::newRow("partage arrêté") << "arret" << PortailEcran::arrete();
    }
    void finsDuPartage()
    {
        QFETCH(QString, cas);
        QFETCH(QString, message);
        if (!test::PipeWirePrive::compile() || (cas == QLatin1String("arret") && !pw_->pret()))
            QSKIP("Sans PipeWire");
        const QString etape = cas.section(QLatin1Char('='), 0, 0), valeur = cas.section(QLatin1Char('='), 1);
        if (etape == QLatin1String("erreur"))
            portail_->erreurDbus = valeur;
        else if (!valeur.isEmpty())
            portail_->codes.insert(etape, valeur.toUInt());
        portail_->pipewireMort = cas == QLatin1String("pipewire");
        QVERIFY(portail_->publier());
        Filmage f;
        auto c = demarrer(false, f);
        QVERIFY(c);
        if (cas == QLatin1String("arret")) {
            QTRY_VERIFY_WITH_TIMEOUT(f.aImage(), 20000);
            portail_->arreterPartage();
        }
        QTRY_VERIFY_WITH_TIMEOUT(f.finie, 20000);
        QCOMPARE(f.fin, message);
        if (cas == QLatin1String("pipewire"))
            QTRY_COMPARE(portail_->sessionsFermees, 1);
        const bool partage = cas == QLatin1String("pipewire") || cas == QLatin1String("arret");
        QCOMPARE(prefs_.valeur(PortailEcran::cleJeton(), {}).toString(), partage ? portail_->dernierJeton : QString());
    }

    // The user's check from the command line films the desktop through the portal.
    void essaiEnLigneDeCommande()
    {
        if (!pw_->pret())
            QSKIP(qPrintable(pw_->raison()));
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            QSKIP("ffmpeg manque");
        QVERIFY(portail_->publier());
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dossier_.filePath(QStringLiteral("donnees")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dossier_.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-vd"));
        p.setProcessEnvironment(env);
        QSignalSpy fin(&p, &QProcess::finished);
        p.start(QStringLiteral(VD_VENDALO_BIN), {"enregistrement", "tester", "--duree", "3", "--video"});
        QVERIFY(fin.wait(60000));   // the portal answers from this test's event loop
        const QByteArray erreurs = p.readAllStandardError();
        QVERIFY2(p.exitCode() == 0, erreurs.constData());
        const QJsonObject r = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        QVERIFY2(r.value(QStringLiteral("video")).toBool(), erreurs.constData());
        QProcess ff;
        // Two by two pixels at the middle of the picture, 2 s in.
        ff.start("ffmpeg", {"-v", "error", "-ss", "2", "-i", r.value(QStringLiteral("fichier")).toString(), "-frames:v", "1", "-vf",
                            "crop=2:2:640:360", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
        QVERIFY(ff.waitForFinished(30000));
        const QByteArray px = ff.readAllStandardOutput();
        QCOMPARE(px.size(), 12);
        QVERIFY2(proche(QColor(uchar(px[0]), uchar(px[1]), uchar(px[2])), portail_->ecran), px.toHex().constData());
    }
};

QTEST_GUILESS_MAIN(TstCaptureBureau)
#include "tst_capturebureau.moc"
