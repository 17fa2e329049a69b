#include "app/quitter.h"

#include <QTest>

using namespace vd::app;

class TestQuitter : public QObject {
    Q_OBJECT
private slots:
    void sansAppelQuitteToutDeSuite()
    {
        vd::platform::HorlogeFactice h;
        int quits = 0, arrets = 0;
        QuitteDifferee q(h, [] { return false; }, [&arrets](std::function<void()>) { ++arrets; }, [&quits] { ++quits; });
        q.demander();
        QCOMPARE(quits, 1);
        QCOMPARE(arrets, 0);
    }

    void arretQuiAboutitQuitteUneFois()
    {
        vd::platform::HorlogeFactice h;
        int quits = 0;
        std::function<void()> fini;
        QuitteDifferee q(h, [] { return true; }, [&fini](std::function<void()> f) { fini = std::move(f); }, [&quits] { ++quits; });
        q.demander();
        QVERIFY(q.enAttente());
        QCOMPARE(quits, 0);
        h.avancer(1500);
        fini();
        QCOMPARE(quits, 1);
        h.avancer(10000);   // the delay was cancelled: no second answer
        QCOMPARE(quits, 1);
        fini();             // nor from a late second completion
        QCOMPARE(quits, 1);
    }

    void arretQuiBloqueQuitteAQuatreSecondes()
    {
        vd::platform::HorlogeFactice h;
        int quits = 0;
        std::function<void()> fini;
        QuitteDifferee q(h, [] { return true; }, [&fini](std::function<void()> f) { fini = std::move(f); }, [&quits] { ++quits; });
        q.demander();
        h.avancer(3999);
        QCOMPARE(quits, 0);
        h.avancer(1);
        QCOMPARE(quits, 1);
        fini();   // the stop completes late: ignored
        QCOMPARE(quits, 1);
    }

    void secondeDemandePendantLAttenteNeRelancePasLArret()
    {
        vd::platform::HorlogeFactice h;
        int quits = 0, arrets = 0;
        QuitteDifferee q(h, [] { return true; }, [&arrets](std::function<void()>) { ++arrets; }, [&quits] { ++quits; });
        q.demander();
        q.demander();
        QCOMPARE(arrets, 1);
        h.avancer(4000);
        QCOMPARE(quits, 1);
    }

    void arretSynchroneQuitte()
    {
        vd::platform::HorlogeFactice h;
        int quits = 0;
        QuitteDifferee q(h, [] { return true; }, [](std::function<void()> f) { f(); }, [&quits] { ++quits; });
        q.demander();
        QCOMPARE(quits, 1);
        h.avancer(5000);
        QCOMPARE(quits, 1);
    }
};

QTEST_GUILESS_MAIN(TestQuitter)
#include "tst_quitter.moc"
