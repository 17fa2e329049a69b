// With a real Secret Service (private gnome-keyring), secrets go to the keyring, not the file.
// vd-test: keyring
#include "platform/coffre.h"

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
};

QTEST_GUILESS_MAIN(TstCoffreTrousseau)
#include "tst_coffre_trousseau.moc"
