#include "app/ui.h"

#include <QSignalSpy>
#include <QTest>

using vd::app::Ecran;
using vd::app::Navigation;

class TestNavigation : public QObject {
    Q_OBJECT
private slots:
    void demarreSurLeTableau()
    {
        Navigation n;
        QCOMPARE(n.ecran(), Ecran::de(Ecran::Genre::tableau));
        QVERIFY(n.historique().isEmpty());
        QVERIFY(!n.peutRevenir());
    }

    void allerSurLEcranCourantNeFaitRien()
    {
        Navigation n;
        QSignalSpy spy(&n, &Navigation::ecranChange);
        n.aller(Ecran::de(Ecran::Genre::tableau));
        QVERIFY(n.historique().isEmpty());
        QCOMPARE(spy.count(), 0);
        n.aller(Ecran::ficheAppel(QStringLiteral("a1")));
        n.aller(Ecran::ficheAppel(QStringLiteral("a1")));
        QCOMPARE(n.historique().size(), 1);
        QCOMPARE(spy.count(), 1);
    }

    void memeGenreAutreChargeEstUnAutreEcran()
    {
        Navigation n;
        n.aller(Ecran::ficheAppel(QStringLiteral("a1")));
        n.aller(Ecran::ficheAppel(QStringLiteral("a2")));
        QCOMPARE(n.historique().size(), 2);
        n.aller(Ecran::nouvelAppel());
        n.aller(Ecran::nouvelAppel(QStringLiteral("c1")));
        QCOMPARE(n.historique().size(), 4);
        QCOMPARE(n.historique().last(), Ecran::nouvelAppel());
    }

    void soixanteDeplacementsGardentLesCinquanteDerniers()
    {
        Navigation n;
        for (int i = 0; i < 60; ++i)
            n.aller(Ecran::ficheAppel(QString::number(i)));
        QCOMPARE(n.historique().size(), 50);
        // The oldest kept is the screen left at move 11 (moves 0…9 dropped the tableau and 0…8).
        QCOMPARE(n.historique().first(), Ecran::ficheAppel(QStringLiteral("9")));
        QCOMPARE(n.historique().last(), Ecran::ficheAppel(QStringLiteral("58")));
        QCOMPARE(n.ecran(), Ecran::ficheAppel(QStringLiteral("59")));
    }

    void retourReprendLeDernierEtLeRetire()
    {
        Navigation n;
        n.aller(Ecran::de(Ecran::Genre::appels));
        n.aller(Ecran::ficheAppel(QStringLiteral("a1")));
        n.retour();
        QCOMPARE(n.ecran(), Ecran::de(Ecran::Genre::appels));
        QCOMPARE(n.historique().size(), 1);
        n.retour();
        QCOMPARE(n.ecran(), Ecran::de(Ecran::Genre::tableau));
        QVERIFY(!n.peutRevenir());
        QSignalSpy spy(&n, &Navigation::ecranChange);
        n.retour();   // nothing to go back to
        QCOMPARE(spy.count(), 0);
        QCOMPARE(n.ecran(), Ecran::de(Ecran::Genre::tableau));
    }
};

QTEST_GUILESS_MAIN(TestNavigation)
#include "tst_navigation.moc"
