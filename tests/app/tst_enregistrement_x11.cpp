// vd-test: pulse
// vd-test: x11 timeout=120
// « vendalo enregistrement tester --video » on a private X server and sound
// server: a five-second file with sound and the screen.
#include "environnementvendalo.h"
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

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
};

QTEST_GUILESS_MAIN(TstEnregistrementX11)
#include "tst_enregistrement_x11.moc"
