// The fake clock drives every timer of the program in tests: order, repeats, cancellation, dead contexts.
#include "platform/horloge.h"

#include <QTest>

using namespace vd::platform;

class TstHorloge : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ordreDesEcheances()
    {
        HorlogeFactice h;
        QObject ctx;
        QStringList journal;
        const QDateTime depart = h.maintenant();
        h.apres(300, &ctx, [&] { journal << QStringLiteral("c@%1").arg(depart.msecsTo(h.maintenant())); });
        h.apres(100, &ctx, [&] { journal << QStringLiteral("a@%1").arg(h.monotoneMs()); });
        h.apres(100, &ctx, [&] { journal << QStringLiteral("b@%1").arg(h.monotoneMs()); });
        {
            QObject detruit;   // a timer whose context is gone never fires
            h.apres(10, &detruit, [&] { journal << QStringLiteral("detruit"); });
        }
        h.avancer(99);
        QVERIFY(journal.isEmpty());
        h.avancer(500);
        QCOMPARE(journal, QStringList({QStringLiteral("a@100"), QStringLiteral("b@100"), QStringLiteral("c@300")}));
        QCOMPARE(h.monotoneMs(), qint64(599));
        QCOMPARE(depart.msecsTo(h.maintenant()), qint64(599));
        QCOMPARE(h.minuteriesActives(), 0);
    }

    void repetitionEtArret()
    {
        HorlogeFactice h;
        QObject ctx;
        Minuterie* m = h.creerMinuterie(&ctx);
        int coups = 0;
        connect(m, &Minuterie::expire, &ctx, [&] {
            if (++coups == 3)
                m->arreter();
        });
        m->demarrer(100);
        h.avancer(1000);
        QCOMPARE(coups, 3);
        QVERIFY(!m->actif());
    }

    void redemarrerRepousse()
    {
        HorlogeFactice h;
        QObject ctx;
        Minuterie* m = h.creerMinuterie(&ctx);
        m->setUnique(true);
        int coups = 0;
        connect(m, &Minuterie::expire, &ctx, [&] { ++coups; });
        m->demarrer(500);
        h.avancer(400);
        m->demarrer(500);   // a debounce: restarting pushes the deadline back
        h.avancer(400);
        QCOMPARE(coups, 0);
        h.avancer(100);
        QCOMPARE(coups, 1);
        h.avancer(1000);
        QCOMPARE(coups, 1);
    }

    void minuterieQuiSurvitALHorloge()
    {
        QObject ctx;
        Minuterie* armee = nullptr;
        Minuterie* arretee = nullptr;
        {
            HorlogeFactice h;
            armee = h.creerMinuterie(&ctx);
            arretee = h.creerMinuterie(&ctx);
            armee->demarrer(100);
            arretee->demarrer(100);
            arretee->arreter();
        }
        // Both outlive their clock: using and deleting them must be harmless.
        armee->arreter();
        arretee->demarrer(10);
        QVERIFY(!arretee->actif());
        delete armee;
        delete arretee;
    }

    void zeroRepeteNeBouclePas()
    {
        HorlogeFactice h;
        QObject ctx;
        Minuterie* m = h.creerMinuterie(&ctx);
        int coups = 0;
        connect(m, &Minuterie::expire, &ctx, [&] { ++coups; });
        m->demarrer(0);
        h.avancer(10);
        QVERIFY(coups >= 1 && coups <= 11);
    }
};

QTEST_GUILESS_MAIN(TstHorloge)
#include "tst_horloge.moc"
