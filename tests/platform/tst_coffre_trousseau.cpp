// With a real Secret Service (private gnome-keyring), secrets go to the keyring, not the file.
// vd-test: keyring
#include "platform/coffre.h"
#include "platform/horloge.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vd::platform;

class TstCoffreTrousseau : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void trousseau()
    {
        QTemporaryDir dir;
        const QString fichier = dir.path() + QStringLiteral("/id.json");
        CoffreSysteme c(QStringLiteral("VendaloTest"), fichier);
        QCOMPARE(c.ecrire(QStringLiteral("anthropic"), QStringLiteral("sk-trousseau")), QString());
        QVERIFY(!c.enSecours());
        QVERIFY(!QFile::exists(fichier));
        CoffreSysteme autre(QStringLiteral("VendaloTest"), fichier);
        QCOMPARE(autre.lire(QStringLiteral("anthropic")), std::optional<QString>(QStringLiteral("sk-trousseau")));
        QCOMPARE(autre.effacer(QStringLiteral("anthropic")), QString());
        QVERIFY(!autre.lire(QStringLiteral("anthropic")));
    }

    void lectureRetenueTrenteSecondes()
    {
        // A read is kept 30 s; the process's own writes show at once, another's after that.
        QTemporaryDir dir;
        const QString fichier = dir.path() + QStringLiteral("/id.json");
        HorlogeFactice horloge;
        CoffreSysteme c(QStringLiteral("VendaloTest"), fichier, &horloge);
        CoffreSysteme autreProcessus(QStringLiteral("VendaloTest"), fichier);
        QCOMPARE(c.ecrire(QStringLiteral("soniox"), QStringLiteral("cle-1")), QString());
        QCOMPARE(c.lire(QStringLiteral("soniox")), std::optional<QString>(QStringLiteral("cle-1")));
        QCOMPARE(autreProcessus.ecrire(QStringLiteral("soniox"), QStringLiteral("cle-2")), QString());
        horloge.avancer(CoffreSysteme::dureeCacheMs - 1);
        QCOMPARE(c.lire(QStringLiteral("soniox")), std::optional<QString>(QStringLiteral("cle-1")));
        horloge.avancer(1);
        QCOMPARE(c.lire(QStringLiteral("soniox")), std::optional<QString>(QStringLiteral("cle-2")));
        QCOMPARE(c.ecrire(QStringLiteral("soniox"), QStringLiteral("cle-3")), QString());
        QCOMPARE(c.lire(QStringLiteral("soniox")), std::optional<QString>(QStringLiteral("cle-3")));
        QCOMPARE(c.effacer(QStringLiteral("soniox")), QString());
        QVERIFY(!c.lire(QStringLiteral("soniox")));
        // An absent key is remembered too, and found once the delay has passed.
        QCOMPARE(autreProcessus.ecrire(QStringLiteral("soniox"), QStringLiteral("cle-4")), QString());
        QVERIFY(!c.lire(QStringLiteral("soniox")));
        horloge.avancer(CoffreSysteme::dureeCacheMs);
        QCOMPARE(c.lire(QStringLiteral("soniox")), std::optional<QString>(QStringLiteral("cle-4")));
        QCOMPARE(c.effacer(QStringLiteral("soniox")), QString());
    }
};

QTEST_GUILESS_MAIN(TstCoffreTrousseau)
#include "tst_coffre_trousseau.moc"
