// Bounded reads: a size cap checked before reading a regular file, devices and pipes read up
// to the cap, text files stopped at their first NUL byte, and the sizes said in French.
#include "platform/lecture.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace vd::platform;

class TstLecture : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    QString ecrire(const QString& nom, const QByteArray& octets)
    {
        QFile f(dir_.filePath(nom));
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(octets);
        return f.fileName();
    }

private Q_SLOTS:
    void taille_data()
    {
        QTest::addColumn<qint64>("octets");
        QTest::addColumn<QString>("texte");
        QTest::newRow("1") << qint64(1) << "1 octet";
        QTest::newRow("512") << qint64(512) << "512 octets";
        QTest::newRow("1,5 Ko") << qint64(1536) << QStringLiteral("1,5\u00A0Ko");
        QTest::newRow("1 Go") << (qint64(1) << 30) << QStringLiteral("1\u00A0Go");
        QTest::newRow("2,3 Go") << qint64(2.3 * (qint64(1) << 30)) << QStringLiteral("2,3\u00A0Go");
        QTest::newRow("150 Mo") << qint64(150) * 1024 * 1024 << QStringLiteral("150\u00A0Mo");
    }
    void taille()
    {
        QFETCH(qint64, octets);
        QFETCH(QString, texte);
        QCOMPARE(tailleLisible(octets), texte);
    }

    // Under the cap a file is read whole; over it, refused before reading.
    void fichierOrdinaireOuTropGros()
    {
        const QString petit = ecrire(QStringLiteral("a.json"), "{\"a\":1}");
        QCOMPARE(lireBorne(petit, 100, true).valeur(), QByteArray("{\"a\":1}"));
        const QString f = ecrire(QStringLiteral("gros.json"), QByteArray(3000, 'x'));
        const auto r = lireBorne(f, 2048, true);
        QVERIFY(!r);
        QCOMPARE(r.erreur().genre, ErreurLecture::Genre::tropGros);
        QCOMPARE(r.erreur().taille, qint64(3000));
        QCOMPARE(r.erreur().message, QStringLiteral("« %1 » est trop gros (2,9\u00A0Ko) : 2\u00A0Ko au plus.").arg(f));
    }

    void peripheriqueSansFin()
    {
        // /dev/zero is text-checked: refused on its first bytes.
        const auto zero = lireBorne(QStringLiteral("/dev/zero"), limiteSauvegarde, true);
        QVERIFY(!zero);
        QCOMPARE(zero.erreur().genre, ErreurLecture::Genre::binaire);
        // Read as bytes it stops at the cap.
        const auto octets = lireBorne(QStringLiteral("/dev/zero"), 1 << 20, false);
        QVERIFY(!octets);
        QCOMPARE(octets.erreur().genre, ErreurLecture::Genre::tropGros);
        QVERIFY(octets.erreur().message.contains(QStringLiteral("plus de 1\u00A0Mo")));
    }

    void fifo()
    {
        const QString chemin = dir_.filePath(QStringLiteral("tube"));
        QCOMPARE(::mkfifo(QFile::encodeName(chemin).constData(), 0600), 0);
        // The writer end, from a child process, sends more than the cap.
        QProcess p;
        p.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("head -c 5000 /dev/urandom | tr -d '\\000' > \"$0\""), chemin});
        QVERIFY(p.waitForStarted());
        const auto r = lireBorne(chemin, 1024, false);
        QVERIFY(!r);
        QCOMPARE(r.erreur().genre, ErreurLecture::Genre::tropGros);
        p.waitForFinished();
    }

    void absentOuDossier()
    {
        const auto absent = lireBorne(dir_.filePath(QStringLiteral("rien.json")), 100, true);
        QVERIFY(!absent);
        QCOMPARE(absent.erreur().genre, ErreurLecture::Genre::ouverture);
        QVERIFY(absent.erreur().message.startsWith(QStringLiteral("Impossible d'ouvrir « ")));
        const auto dossier = lireBorne(dir_.path(), 100, true);
        QVERIFY(!dossier);
        QCOMPARE(dossier.erreur().message, QStringLiteral("Impossible d'ouvrir « %1 » : c'est un dossier.").arg(dir_.path()));
    }
};

QTEST_GUILESS_MAIN(TstLecture)
#include "tst_lecture.moc"
