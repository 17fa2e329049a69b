// Credentials: the Secret Service when it answers, else a file only the user can read.
#include "platform/coffre.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vd::platform;

class TstCoffre : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void secoursFichier()
    {
        QTemporaryDir dir;
        const QString fichier = dir.path() + QStringLiteral("/conf/identifiants.json");
        qputenv("VD_COFFRE", "fichier");
        CoffreSysteme c(QStringLiteral("VendaloTest"), fichier);
        qunsetenv("VD_COFFRE");
        QVERIFY(c.enSecours());
        QVERIFY(!c.lire(QStringLiteral("anthropic")));
        QCOMPARE(c.ecrire(QStringLiteral("anthropic"), QStringLiteral("sk-secret")), QString());
        QCOMPARE(c.ecrire(QStringLiteral("deepgram"), QStringLiteral("dg")), QString());
        QCOMPARE(c.lire(QStringLiteral("anthropic")), std::optional<QString>(QStringLiteral("sk-secret")));
        const auto droits = QFile::permissions(fichier);
        QVERIFY(droits & QFileDevice::ReadOwner);
        QVERIFY(!(droits & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther)));
        QCOMPARE(c.effacer(QStringLiteral("anthropic")), QString());
        QVERIFY(!c.lire(QStringLiteral("anthropic")));
        QCOMPARE(c.lire(QStringLiteral("deepgram")), std::optional<QString>(QStringLiteral("dg")));
    }

    void sansServiceSecretBasculeSurLeFichier()
    {
        // No D-Bus session here: the keychain fails and the file takes over, without freezing.
        QTemporaryDir dir;
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        CoffreSysteme c(QStringLiteral("VendaloTest"), dir.path() + QStringLiteral("/id.json"));
        QCOMPARE(c.ecrire(QStringLiteral("soniox"), QStringLiteral("cle")), QString());
        QVERIFY(c.enSecours());
        QCOMPARE(c.lire(QStringLiteral("soniox")), std::optional<QString>(QStringLiteral("cle")));
    }
};

QTEST_GUILESS_MAIN(TstCoffre)
#include "tst_coffre.moc"
