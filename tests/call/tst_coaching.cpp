#include "call/coaching.h"

#include <QtTest>

using vd::call::calculerCoaching;
using vd::call::CoachingAlerte;
using vd::call::EntreeCoaching;
using vd::model::Segment;
using Genre = CoachingAlerte::Genre;

namespace {

Segment seg(const char* qui, qint64 debut, qint64 fin, const QString& texte = QStringLiteral("un deux trois quatre"))
{
    Segment s;
    s.locuteur = QString::fromLatin1(qui);
    s.debutMs = debut;
    s.finMs = fin;
    s.texte = texte;
    return s;
}

// Salesperson turns of 9 s every 10 s from 0, the last one ending at fin.
QList<Segment> monologue(qint64 fin)
{
    QList<Segment> r;
    for (qint64 d = 0; d < fin; d += 10000)
        r.append(seg("vous", d, std::min(d + 9000, fin)));
    r.last().finMs = fin;
    return r;
}

QList<CoachingAlerte> calculer(const QList<Segment>& finals, qint64 maintenant, qint64 question = 0,
                               const QList<CoachingAlerte>& actuelles = {}, const QList<Segment>& partiels = {})
{
    EntreeCoaching e;
    e.finals = &finals;
    e.partiels = partiels;
    e.maintenantMs = maintenant;
    e.derniereQuestionMs = question;
    e.actuelles = actuelles;
    return calculerCoaching(e);
}

// A call of exactly 3 min: salesperson then prospect, no monologue possible at the end.
QList<Segment> partage(qint64 vous, qint64 prospect)
{
    return {seg("vous", 0, vous), seg("prospect", vous, vous + prospect)};
}

} // namespace

class TstCoaching : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void duree_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("texte");
        QTest::newRow("négatif au-delà d'une seconde") << -5000ll << "0 s";
        QTest::newRow("négatif court") << -999ll << "0 s";
        QTest::newRow("zéro") << 0ll << "0 s";
        QTest::newRow("59,999 s") << 59999ll << "59 s";
        QTest::newRow("une minute") << 60000ll << "1 min";
        QTest::newRow("1 min 09") << 69999ll << "1 min";
        QTest::newRow("1 min 10") << 70000ll << "1 min 10";
        QTest::newRow("1 min 35 arrondi à la dizaine") << 95000ll << "1 min 30";
        QTest::newRow("59 min 59") << 3599999ll << "59 min 50";
        QTest::newRow("une heure") << 3600000ll << "60 min";
    }
    void duree()
    {
        QFETCH(qint64, ms);
        QFETCH(QString, texte);
        QCOMPARE(vd::call::formaterDuree(ms), texte);
    }

    void monologueSeuils_data()
    {
        QTest::addColumn<qint64>("fin");
        QTest::addColumn<QString>("texte");
        QTest::newRow("65 s: rien") << 65000ll << "";
        QTest::newRow("89,999 s: rien") << 89999ll << "";
        QTest::newRow("90 s") << 90000ll << "Vous parlez depuis 1 min 30";
        QTest::newRow("95 s") << 95000ll << "Vous parlez depuis 1 min 30";
        QTest::newRow("100 s") << 100000ll << "Vous parlez depuis 1 min 40";
    }
    void monologueSeuils()
    {
        QFETCH(qint64, fin);
        QFETCH(QString, texte);
        // A question was just asked: only the monologue rule can speak.
        const auto r = calculer(monologue(fin), fin, fin);
        if (texte.isEmpty()) {
            QVERIFY(r.isEmpty());
            return;
        }
        QCOMPARE(r, (QList<CoachingAlerte>{{Genre::monologue, texte, 0}}));
    }

    void monologueSilence()
    {
        const auto finals = monologue(90000);
        QCOMPARE(calculer(finals, 93000, 90000).size(), 1);
        QVERIFY(calculer(finals, 93001, 90000).isEmpty());
    }

    void monologuePartielCompte()
    {
        QList<Segment> finals = monologue(80000);
        const QList<Segment> partiels{seg("vous", 81000, 92000)};
        QCOMPARE(calculer(finals, 92000, 92000, {}, partiels),
                 (QList<CoachingAlerte>{{Genre::monologue, QStringLiteral("Vous parlez depuis 1 min 30"), 0}}));
    }

    void monologueCoupeParLeProspect()
    {
        QList<Segment> finals = monologue(100000);
        finals.insert(5, seg("prospect", 45000, 46000, QStringLiteral("oui tout à fait")));
        // The prospect spoke 3 words inside the 40 s turn: the monologue starts after it.
        QVERIFY(calculer(finals, 100000, 100000).isEmpty());
        finals[5].texte = QStringLiteral("oui oui");   // two words are not an interruption
        QCOMPARE(calculer(finals, 100000, 100000).size(), 1);
        finals[5].texte = QStringLiteral("   ");        // no words: not a turn
        QCOMPARE(calculer(finals, 100000, 100000).size(), 1);
    }

    void monologueTrouDeQuatreSecondes()
    {
        QList<Segment> finals;
        // 40 s, a 4.001 s gap, then 90 s: only the 90 s count.
        finals << seg("vous", 0, 40000);
        finals << seg("vous", 44001, 60000) << seg("vous", 61000, 134001);
        auto r = calculer(finals, 134001, 134001);
        QCOMPARE(r, (QList<CoachingAlerte>{{Genre::monologue, QStringLiteral("Vous parlez depuis 1 min 30"), 44001}}));
        finals[1].debutMs = 44000;   // a 4 s gap still joins
        r = calculer(finals, 134001, 134001);
        QCOMPARE(r, (QList<CoachingAlerte>{{Genre::monologue, QStringLiteral("Vous parlez depuis 2 min 10"), 0}}));
    }

    void partParole_data()
    {
        QTest::addColumn<qint64>("vous");
        QTest::addColumn<qint64>("prospect");
        QTest::addColumn<bool>("dejaAffichee");
        QTest::addColumn<QString>("texte");
        QTest::newRow("60 %: rien") << 60000ll << 40000ll << false << "";
        QTest::newRow("61 %") << 61000ll << 39000ll << false << "Vous parlez 61 % du temps depuis 3 min";
        QTest::newRow("56 % déjà affichée: reste") << 56000ll << 44000ll << true << "Vous parlez 56 % du temps depuis 3 min";
        QTest::newRow("55 % déjà affichée: disparaît") << 55000ll << 45000ll << true << "";
        QTest::newRow("58 % pas encore affichée") << 58000ll << 42000ll << false << "";
        QTest::newRow("44,999 s de parole: rien") << 30000ll << 14999ll << false << "";
        QTest::newRow("45 s de parole") << 30000ll << 15000ll << false << "Vous parlez 67 % du temps depuis 3 min";
    }
    void partParole()
    {
        QFETCH(qint64, vous);
        QFETCH(qint64, prospect);
        QFETCH(bool, dejaAffichee);
        QFETCH(QString, texte);
        const QList<CoachingAlerte> actuelles =
            dejaAffichee ? QList<CoachingAlerte>{{Genre::partParole, QStringLiteral("Vous parlez 70 % du temps depuis 3 min"), 170000}}
                         : QList<CoachingAlerte>{};
        const auto r = calculer(partage(vous, prospect), 180000, 150000, actuelles);
        if (texte.isEmpty()) {
            QVERIFY(r.isEmpty());
            return;
        }
        QCOMPARE(r, (QList<CoachingAlerte>{{Genre::partParole, texte, dejaAffichee ? 170000 : 180000}}));
    }

    void partParoleFenetre()
    {
        // Only the last 3 minutes count: 100 s of salesperson speech long ago weigh nothing.
        QList<Segment> finals{seg("vous", 0, 100000), seg("prospect", 100000, 150000), seg("vous", 150000, 190000),
                              seg("prospect", 190000, 280000)};
        // Window 100 s … 280 s: vous 40 s, prospect 140 s → 22 %.
        QVERIFY(calculer(finals, 280000, 270000).isEmpty());
        // At 2:59 nothing can be said about the share.
        QVERIFY(calculer(partage(100000, 20000), 179999, 0).isEmpty());
    }

    void sansQuestion_data()
    {
        QTest::addColumn<qint64>("maintenant");
        QTest::addColumn<qint64>("question");
        QTest::addColumn<QString>("texte");
        QTest::addColumn<qint64>("depuis");
        QTest::newRow("2 min 59") << 179999ll << 0ll << "" << 0ll;
        QTest::newRow("3 min sans question") << 180000ll << 0ll << "Aucune question depuis 3 min" << 0ll;
        QTest::newRow("offset négatif compté comme 0") << 180000ll << -4000ll << "Aucune question depuis 3 min" << 0ll;
        QTest::newRow("question il y a 2 min 59") << 239999ll << 60001ll << "" << 0ll;
        QTest::newRow("question il y a 3 min") << 240000ll << 60000ll << "Aucune question depuis 3 min" << 60000ll;
        QTest::newRow("question il y a 7 min 59") << 600000ll << 121000ll << "Aucune question depuis 7 min" << 121000ll;
    }
    void sansQuestion()
    {
        QFETCH(qint64, maintenant);
        QFETCH(qint64, question);
        QFETCH(QString, texte);
        QFETCH(qint64, depuis);
        const auto r = calculer({}, maintenant, question);
        if (texte.isEmpty()) {
            QVERIFY(r.isEmpty());
            return;
        }
        QCOMPARE(r, (QList<CoachingAlerte>{{Genre::sansQuestion, texte, depuis}}));
    }

    void ordreEtExclusion()
    {
        // A monologue hides the talk share; the no-question alert comes last.
        const auto finals = monologue(200000);
        const auto r = calculer(finals, 200000, 0);
        QCOMPARE(r.size(), 2);
        QCOMPARE(r[0].type, Genre::monologue);
        QCOMPARE(r[0].texte, QStringLiteral("Vous parlez depuis 3 min 20"));
        QCOMPARE(r[1], (CoachingAlerte{Genre::sansQuestion, QStringLiteral("Aucune question depuis 3 min"), 0}));
        // Silent for 4 s: the share speaks instead (100 %).
        const auto r2 = calculer(finals, 204000, 0);
        QCOMPARE(r2.size(), 2);
        QCOMPARE(r2[0], (CoachingAlerte{Genre::partParole, QStringLiteral("Vous parlez 100 % du temps depuis 3 min"), 204000}));
    }
};

QTEST_GUILESS_MAIN(TstCoaching)
#include "tst_coaching.moc"
