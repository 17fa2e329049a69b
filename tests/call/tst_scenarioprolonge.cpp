// A demonstration script lengthened for long calls: the turns again, round
// after round, on the call's clock.
#include "call/lecteurdemo.h"
#include "call/typessession.h"

#include <QtTest>

using vd::call::ScenarioDemo;
using vd::call::TourDemo;

namespace {

ScenarioDemo scenario()
{
    ScenarioDemo s;
    s.id = QStringLiteral("decouverte");
    s.tours = {
        {QStringLiteral("vous"), QStringLiteral("Bonjour, merci de prendre ce moment."), 1000, 4000, std::nullopt},
        {QStringLiteral("prospect"), QStringLiteral("Avec plaisir, nous avons trois agences."), 4500, 9000, 2},
        {QStringLiteral("vous"), QStringLiteral("Combien de techniciens ?"), 9300, 11000, std::nullopt},
    };
    return s;
}

} // namespace

class TstScenarioProlonge : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void prolonge_data()
    {
        QTest::addColumn<qint64>("dureeMs");
        QTest::addColumn<int>("tours");
        QTest::addColumn<qint64>("fin");   // end of the last turn
        // One round lasts 10 s (1 s → 11 s) and the next starts 0.7 s later: a period of 10.7 s.
        QTest::newRow("aucune durée") << qint64(0) << 3 << qint64(11000);
        QTest::newRow("déjà assez long") << qint64(11000) << 3 << qint64(11000);
        QTest::newRow("une seconde de plus") << qint64(11001) << 6 << qint64(21700);
        QTest::newRow("juste la fin du second tour") << qint64(21700) << 6 << qint64(21700);
        QTest::newRow("une minute") << qint64(60000) << 18 << qint64(64500);
        QTest::newRow("durée négative") << qint64(-5) << 3 << qint64(11000);
    }
    void prolonge()
    {
        QFETCH(qint64, dureeMs);
        QFETCH(int, tours);
        QFETCH(qint64, fin);
        const ScenarioDemo base = scenario();
        const ScenarioDemo s = base.prolonge(dureeMs);
        QCOMPARE(s.tours.size(), tours);
        QCOMPARE(s.tours.last().finMs, fin);
        QCOMPARE(s.id, base.id);
        // Each round repeats the script's turns, speakers and words, shifted by whole periods.
        for (qsizetype i = 0; i < s.tours.size(); ++i) {
            const TourDemo& t = s.tours[i];
            const TourDemo& o = base.tours[i % base.tours.size()];
            const qint64 decalage = (i / base.tours.size()) * 10700;
            QCOMPARE(t.locuteur, o.locuteur);
            QCOMPARE(t.texte, o.texte);
            QCOMPARE(t.interlocuteur, o.interlocuteur);
            QCOMPARE(t.debutMs, o.debutMs + decalage);
            QCOMPARE(t.finMs, o.finMs + decalage);
        }
    }

    void evenementsDansLOrdre()
    {
        // The player's events stay in time order across rounds.
        const auto e = vd::call::LecteurDemo::evenementsDe(scenario().prolonge(40000));
        QVERIFY(!e.empty());
        for (size_t i = 1; i < e.size(); ++i)
            QVERIFY(e[i - 1].tMs <= e[i].tMs);
        QCOMPARE(e.back().tMs, scenario().prolonge(40000).tours.last().finMs);
        QVERIFY(e.back().segment.final);
    }

    void scenarioVide()
    {
        ScenarioDemo s;
        QVERIFY(s.prolonge(60000).tours.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstScenarioProlonge)
#include "tst_scenarioprolonge.moc"
