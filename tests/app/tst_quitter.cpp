#include "app/quitter.h"

#include <QTest>

using namespace vd::app;

namespace {
// A deferred quit on a fake clock, with a call in progress or not, counting quits and stop requests.
struct Banc {
    vd::platform::HorlogeFactice h;
    int quits = 0, arrets = 0;
    std::function<void()> fini;
    QuitteDifferee q;
    explicit Banc(bool appel, bool arretImmediat = false)
        : q(h, [appel] { return appel; },
            [this, arretImmediat](std::function<void()> f) {
                ++arrets;
                fini = std::move(f);
                if (arretImmediat)
                    fini();
            },
            [this] { ++quits; })
    {
    }
};
} // namespace

class TestQuitter : public QObject {
    Q_OBJECT
private slots:
    void sansAppelQuitteToutDeSuite()
    {
        Banc b(false);
        b.q.demander();
        QCOMPARE(b.quits, 1);
        QCOMPARE(b.arrets, 0);
    }

    void arretQuiAboutitQuitteUneFois()
    {
        Banc b(true);
        b.q.demander();
        QVERIFY(b.q.enAttente());
        QCOMPARE(b.quits, 0);
        b.h.avancer(1500);
        b.fini();
        QCOMPARE(b.quits, 1);
        b.h.avancer(10000);   // the delay was cancelled: no second answer
        QCOMPARE(b.quits, 1);
        b.fini();             // nor from a late second completion
        QCOMPARE(b.quits, 1);
    }

    void arretQuiBloqueQuitteAQuatreSecondes()
    {
        Banc b(true);
        b.q.demander();
        b.h.avancer(3999);
        QCOMPARE(b.quits, 0);
        b.h.avancer(1);
        QCOMPARE(b.quits, 1);
        b.fini();   // the stop completes late: ignored
        QCOMPARE(b.quits, 1);
    }

    void secondeDemandePendantLAttenteNeRelancePasLArret()
    {
        Banc b(true);
        b.q.demander();
        b.q.demander();
        QCOMPARE(b.arrets, 1);
        b.h.avancer(4000);
        QCOMPARE(b.quits, 1);
    }

    void arretSynchroneQuitte()
    {
        Banc b(true, true);
        b.q.demander();
        QCOMPARE(b.quits, 1);
        b.h.avancer(5000);
        QCOMPARE(b.quits, 1);
    }
};

QTEST_GUILESS_MAIN(TestQuitter)
#include "tst_quitter.moc"
