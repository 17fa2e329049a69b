// Per-speaker sample queue: hand-out, zero padding, backlog cap, bounded memory.
#include "call/tamponaudio.h"

#include <QTest>
#include <numeric>

using vd::call::TamponAudio;

namespace {
std::vector<float> suite(float depart, size_t n)
{
    std::vector<float> v(n);
    std::iota(v.begin(), v.end(), depart);
    return v;
}
} // namespace

class TstTamponAudio : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Appends `ajoutes` samples numbered from 0, then takes `pris`: what comes
    // out first, how many zeros pad the end, how many still wait.
    void prendre_data()
    {
        QTest::addColumn<int>("ajoutes");
        QTest::addColumn<int>("pris");
        QTest::addColumn<float>("premier");
        QTest::addColumn<int>("zeros");
        QTest::addColumn<int>("restants");
        QTest::newRow("moins que disponible") << 2000 << 1600 << 0.0f << 0 << 400;
        QTest::newRow("exactement disponible") << 1600 << 1600 << 0.0f << 0 << 0;
        QTest::newRow("source en retard : complété de zéros") << 1000 << 1600 << 0.0f << 600 << 0;
        QTest::newRow("source muette") << 0 << 1600 << 0.0f << 1600 << 0;
        QTest::newRow("plafond : les plus anciens partent") << 10000 << 1600 << 400.0f << 0 << 8000;
        QTest::newRow("plafond exact") << 9600 << 9600 << 0.0f << 0 << 0;
        QTest::newRow("tout l'arriéré plus du remplissage") << 20000 << 12000 << 10400.0f << 2400 << 0;
    }
    void prendre()
    {
        QFETCH(int, ajoutes);
        QFETCH(int, pris);
        QFETCH(float, premier);
        QFETCH(int, zeros);
        QFETCH(int, restants);
        TamponAudio t;
        const auto donnees = suite(0.0f, size_t(ajoutes));
        t.ajouter(donnees.data(), ajoutes);
        std::vector<float> sortie(size_t(pris), -1.0f);
        QCOMPARE(int(t.prendre(sortie.data(), pris)), zeros);
        QCOMPARE(sortie.front(), ajoutes > 0 ? premier : 0.0f);
        for (int i = pris - zeros; i < pris; ++i)
            QCOMPARE(sortie[size_t(i)], 0.0f);
        if (pris - zeros > 1)
            QCOMPARE(sortie[size_t(pris - zeros - 1)], premier + float(pris - zeros - 1));
        QCOMPARE(int(t.enAttente()), restants);
    }

    void ordreConserveEntreAjouts()
    {
        TamponAudio t;
        const auto a = suite(0.0f, 1000);
        const auto b = suite(1000.0f, 1000);
        t.ajouter(a.data(), 1000);
        QCOMPARE(t.prendre(600), suite(0.0f, 600));
        t.ajouter(b.data(), 1000);
        QCOMPARE(t.prendre(1400), suite(600.0f, 1400));
    }

    void memoireBorneeSansLecteur()
    {
        TamponAudio t;
        const auto bloc = suite(0.0f, 700);
        for (int i = 0; i < 2000; ++i)
            t.ajouter(bloc.data(), qsizetype(bloc.size()));
        QCOMPARE(int(t.enAttente()), int(TamponAudio::max));
        QVERIFY2(t.capacite() <= 4 * TamponAudio::max, qPrintable(QString::number(t.capacite())));
        // The newest 9600 samples wait, in order.
        const auto sortie = t.prendre(TamponAudio::max);
        QCOMPARE(sortie.back(), 699.0f);
        QCOMPARE(sortie[sortie.size() - 700], 0.0f);
    }

    void viderRepartDeZero()
    {
        TamponAudio t;
        const auto a = suite(1.0f, 500);
        t.ajouter(a.data(), 500);
        t.vider();
        QCOMPARE(int(t.enAttente()), 0);
        std::vector<float> sortie(10, 7.0f);
        QCOMPARE(int(t.prendre(sortie.data(), 10)), 10);
        QCOMPARE(sortie, std::vector<float>(10, 0.0f));
    }
};

QTEST_GUILESS_MAIN(TstTamponAudio)
#include "tst_tamponaudio.moc"
