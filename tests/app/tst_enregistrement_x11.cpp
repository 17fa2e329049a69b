// vd-test: pulse
// vd-test: x11 timeout=120
// « vendalo enregistrement tester --video » on a private X server and sound
// server: a five-second file with sound and the screen.
#include "environnementvendalo.h"
#include "platform/capturevideo.h"
#include "platform/fenetres.h"

#include <QThread>
#include <atomic>
#include <mutex>
#if __has_include(<xcb/xcb.h>)
#include <xcb/xcb.h>
#define VD_TEST_XCB 1
#endif

class TstEnregistrementX11 : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;

private Q_SLOTS:
    void cinqSecondesAvecImage()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
            QSKIP("ffprobe manque (paquet ffmpeg)");
        QProcess p;
        p.setProcessEnvironment(environnementVendalo(dossier));
        p.start(QStringLiteral(VD_VENDALO_BIN), {QStringLiteral("enregistrement"), QStringLiteral("tester"),
                                                 QStringLiteral("--duree"), QStringLiteral("5"), QStringLiteral("--video")});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        const QJsonObject r = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        QVERIFY(r.value(QStringLiteral("video")).toBool());
        const QString fichier = r.value(QStringLiteral("fichier")).toString();
        QVERIFY(fichier.startsWith(dossier.filePath(QStringLiteral("donnees/Vendalo/Enregistrements/"))));

        QProcess sonde;
        sonde.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-print_format"),
                                                QStringLiteral("json"), QStringLiteral("-show_format"),
                                                QStringLiteral("-show_streams"), fichier});
        QVERIFY(sonde.waitForFinished(30000));
        const QJsonObject o = QJsonDocument::fromJson(sonde.readAllStandardOutput()).object();
        QStringList codecs;
        for (const auto& f : o.value(QStringLiteral("streams")).toArray()) {
            codecs << f.toObject().value(QStringLiteral("codec_name")).toString();
            if (f.toObject().value(QStringLiteral("codec_type")).toString() == QLatin1String("video"))
                QCOMPARE(f.toObject().value(QStringLiteral("width")).toInt(), 1280);
        }
        codecs.sort();
        QCOMPARE(codecs, (QStringList{QStringLiteral("aac"), QStringLiteral("h264")}));
        const double duree = o.value(QStringLiteral("format")).toObject().value(QStringLiteral("duration")).toString().toDouble();
        QVERIFY2(duree > 4.5 && duree < 5.5, qPrintable(QString::number(duree)));
    }

    // One window filmed at its own size, through a change of size, until it closes.
    void fenetreSuivieJusquaSaFermeture()
    {
#ifndef VD_TEST_XCB
        QSKIP("xcb absent");
#else
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        QVERIFY(!xcb_connection_has_error(c));
        xcb_screen_t* ecran = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const xcb_window_t w = xcb_generate_id(c);
        const uint32_t fond[] = {ecran->white_pixel};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, ecran->root, 10, 10, 400, 300, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          ecran->root_visual, XCB_CW_BACK_PIXEL, fond);
        xcb_map_window(c, w);
        xcb_flush(c);
        QTRY_VERIFY(vd::platform::fenetreOuverte(w));

        auto capture = vd::platform::creerCaptureFenetre(w, QStringLiteral("fermée"));
        QVERIFY(capture.capture);
        std::mutex verrou;
        QList<QSize> tailles;
        std::atomic<bool> fin{false};
        QString raison;
        QVERIFY(!capture.capture->demarrer(
            [&](const QImage& i) {
                std::lock_guard l(verrou);
                tailles << i.size();
            },
            [&](const QString& r) {
                raison = r;
                fin = true;
            }));
        const auto vue = [&](QSize t) {
            std::lock_guard l(verrou);
            return tailles.contains(t);
        };
        QTRY_VERIFY(vue(QSize(400, 300)));
        const uint32_t taille[] = {640, 360};
        xcb_configure_window(c, w, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, taille);
        xcb_flush(c);
        QTRY_VERIFY(vue(QSize(640, 360)));
        xcb_destroy_window(c, w);
        xcb_flush(c);
        QTRY_VERIFY(fin.load());
        QCOMPARE(raison, QStringLiteral("fermée"));
        capture.capture->arreter();
        xcb_disconnect(c);
#endif
    }
};

QTEST_GUILESS_MAIN(TstEnregistrementX11)
#include "tst_enregistrement_x11.moc"
