#include "app/reglesarriereplan.h"

#include <QTest>
#include <QTimeZone>

using namespace vd::app;
using ReglesArrierePlan::ContexteLancement;
using ReglesArrierePlan::EntreeMenu;

class TestReglesArrierePlan : public QObject {
    Q_OBJECT
private slots:
    void libelleProchain_data()
    {
        QTest::addColumn<QString>("titre");
        QTest::addColumn<QDateTime>("debut");
        QTest::addColumn<QString>("attendu");
        const QTimeZone paris("Europe/Paris");
        QTest::newRow("aujourd'hui") << QStringLiteral("Démo Acme") << QDateTime(QDate(2026, 3, 5), QTime(14, 30), paris)
                                     << QStringLiteral("Prochain : Démo Acme à 14:30");
        QTest::newRow("titre entouré de blancs") << QStringLiteral("  \n Point Dupont \t") << QDateTime(QDate(2026, 3, 5), QTime(16, 0), paris)
                                                 << QStringLiteral("Prochain : Point Dupont à 16:00");
        QTest::newRow("demain, titre vide") << QStringLiteral("   ") << QDateTime(QDate(2026, 3, 6), QTime(9, 5), paris)
                                            << QStringLiteral("Prochain : demain à 09:05, Rendez-vous");
        QTest::newRow("plus tard") << QStringLiteral("Closing Brevia") << QDateTime(QDate(2026, 3, 9), QTime(11, 0), paris)
                                   << QStringLiteral("Prochain : lundi 9 mars à 11:00, Closing Brevia");
        QTest::newRow("heure UTC ramenée à Paris") << QStringLiteral("Appel") << QDateTime(QDate(2026, 3, 5), QTime(23, 30), Qt::UTC)
                                                  << QStringLiteral("Prochain : demain à 00:30, Appel");
    }
    void libelleProchain()
    {
        QFETCH(QString, titre);
        QFETCH(QDateTime, debut);
        QFETCH(QString, attendu);
        const QDateTime maintenant(QDate(2026, 3, 5), QTime(10, 0), QTimeZone("Europe/Paris"));
        QCOMPARE(ReglesArrierePlan::libelleProchain(titre, debut, maintenant), attendu);
    }

    // Each entry as "kind action label shortcut"; a meeting comes first, set apart.
    void menu()
    {
        const auto decrire = [](const QList<EntreeMenu>& e) {
            QStringList l;
            for (const EntreeMenu& x : e)
                l << (x.genre == EntreeMenu::Genre::separateur ? QStringLiteral("—")
                                                                : QStringLiteral("%1 %2 %3 %4").arg(int(x.genre)).arg(x.action, x.libelle, x.raccourci));
            return l;
        };
        const QStringList sans = decrire(ReglesArrierePlan::entreesMenu(std::nullopt));
        QCOMPARE(sans, (QStringList{"1 ouvrir Ouvrir Vendalo ", "2 nouvel-appel Nouvel appel ", "3 reglages Réglages… ,", "—",
                                    "4 quitter Quitter Vendalo q"}));
        const QStringList avec = decrire(ReglesArrierePlan::entreesMenu(QStringLiteral("Prochain : Démo à 14:30")));
        QCOMPARE(avec, QStringList({"0 rendez-vous Prochain : Démo à 14:30 ", "—"}) + sans);
    }

    void lancementDiscret_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<bool>("relance");
        QTest::addColumn<bool>("auLogin");
        QTest::addColumn<bool>("inscrit");
        QTest::addColumn<double>("uptime");
        QTest::addColumn<bool>("tray");
        QTest::addColumn<bool>("attendu");
        QTest::newRow("lancement ordinaire") << QString() << false << false << false << 5000.0 << true << false;
        QTest::newRow("relance discrète") << QString() << true << false << false << 5000.0 << true << true;
        QTest::newRow("ouverture de session") << QString() << false << true << false << 5000.0 << true << true;
        QTest::newRow("inscrit, système récent") << QString() << false << false << true << 60.0 << true << true;
        QTest::newRow("inscrit, système ancien") << QString() << false << false << true << 600.0 << true << false;
        QTest::newRow("inscrit, 120 s pile") << QString() << false << false << true << 120.0 << true << false;
        QTest::newRow("non inscrit, système récent") << QString() << false << false << false << 30.0 << true << false;
        QTest::newRow("VD_TEST_SESSION, tout discret") << QStringLiteral("VD_TEST_SESSION") << true << true << true << 10.0 << true << false;
        QTest::newRow("VD_TEST_MOTEUR") << QStringLiteral("VD_TEST_MOTEUR") << false << true << false << 10.0 << true << false;
        QTest::newRow("VD_CAPTURES") << QStringLiteral("VD_CAPTURES") << false << true << false << 10.0 << true << false;
        QTest::newRow("VD_TEST_CLOUD") << QStringLiteral("VD_TEST_CLOUD") << false << true << false << 10.0 << true << false;
        QTest::newRow("VD_TEST_PANNEAU") << QStringLiteral("VD_TEST_PANNEAU") << false << true << false << 10.0 << true << false;
        QTest::newRow("VD_TEST_SPARKLE") << QStringLiteral("VD_TEST_SPARKLE") << false << true << false << 10.0 << true << false;
        QTest::newRow("VD_SPARKLE n'est pas un mode outillé") << QStringLiteral("VD_SPARKLE") << false << true << false << 10.0 << true << true;
        QTest::newRow("sans zone de notification") << QString() << true << true << true << 10.0 << false << false;
    }
    void lancementDiscret()
    {
        QFETCH(QString, variable);
        QFETCH(bool, relance);
        QFETCH(bool, auLogin);
        QFETCH(bool, inscrit);
        QFETCH(double, uptime);
        QFETCH(bool, tray);
        QFETCH(bool, attendu);
        vd::platform::PreferencesMemoire prefs;
        if (relance)
            prefs.definir(QStringLiteral("vd.demarrage.relanceDiscrete"), true);
        ContexteLancement c;
        if (!variable.isEmpty())
            c.environnement.insert(variable, QStringLiteral("1"));
        c.lanceAuLogin = auLogin;
        c.inscritAuLogin = inscrit;
        c.systemeDemarreDepuisSec = uptime;
        c.zoneNotificationDisponible = tray;
        QCOMPARE(ReglesArrierePlan::lancementDiscret(c, prefs), attendu);
    }

    // The discreet relaunch serves once, discreet or not (without a notification area).
    void relanceDiscreteNeSertQuUneFois()
    {
        for (const bool tray : {true, false}) {
            vd::platform::PreferencesMemoire prefs;
            prefs.definir(QStringLiteral("vd.demarrage.relanceDiscrete"), true);
            ContexteLancement c;
            c.zoneNotificationDisponible = tray;
            QCOMPARE(ReglesArrierePlan::lancementDiscret(c, prefs), tray);
            QVERIFY(!prefs.contient(QStringLiteral("vd.demarrage.relanceDiscrete")));
            QVERIFY(!ReglesArrierePlan::lancementDiscret(c, prefs));
        }
    }
};

QTEST_GUILESS_MAIN(TestReglesArrierePlan)
#include "tst_reglesarriereplan.moc"
