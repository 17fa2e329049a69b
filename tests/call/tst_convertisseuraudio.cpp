// Conversion of a source's frames to 16 kHz mono.
#include "call/convertisseuraudio.h"

#include <QTest>
#include <cmath>
#include <limits>

using vd::call::ConvertisseurAudio;

namespace {

// Amplitude of frequency f in x (16 kHz), by correlation.
double amplitude(const std::vector<float>& x, double f, size_t debut)
{
    double re = 0, im = 0;
    const size_t n = x.size() - debut;
    for (size_t i = debut; i < x.size(); ++i) {
        const double w = 2 * M_PI * f * double(i) / 16000.0;
        re += x[i] * std::cos(w);
        im += x[i] * std::sin(w);
    }
    return 2 * std::sqrt(re * re + im * im) / double(n);
}

std::vector<float> sinus(int frequence, int canaux, double f, int trames, double amp, int canalMuet = -1)
{
    std::vector<float> v(size_t(trames * canaux));
    for (int i = 0; i < trames; ++i)
        for (int c = 0; c < canaux; ++c)
            v[size_t(i * canaux + c)] = c == canalMuet ? 0.0f : float(amp * std::sin(2 * M_PI * f * i / frequence));
    return v;
}

// Converts in 20 ms pieces, as a source delivers.
std::vector<float> convertirParMorceaux(ConvertisseurAudio& c, const std::vector<float>& entree, int frequence, int canaux)
{
    std::vector<float> tout, morceau;
    const int pas = frequence / 50;
    const qsizetype trames = qsizetype(entree.size()) / canaux;
    for (qsizetype i = 0; i < trames; i += pas) {
        const qsizetype n = std::min<qsizetype>(pas, trames - i);
        c.convertir(entree.data() + i * canaux, n, morceau);
        tout.insert(tout.end(), morceau.begin(), morceau.end());
    }
    return tout;
}

} // namespace

class TstConvertisseurAudio : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void formats_data()
    {
        QTest::addColumn<int>("frequence");
        QTest::addColumn<int>("canaux");
        QTest::addColumn<int>("canalMuet");
        QTest::addColumn<double>("amplitudeAttendue");
        QTest::newRow("48 kHz mono") << 48000 << 1 << -1 << 0.5;
        QTest::newRow("48 kHz stéréo") << 48000 << 2 << -1 << 0.5;
        QTest::newRow("48 kHz stéréo, un seul côté") << 48000 << 2 << 1 << 0.25;
        QTest::newRow("44,1 kHz stéréo") << 44100 << 2 << -1 << 0.5;
        QTest::newRow("96 kHz 4 canaux") << 96000 << 4 << -1 << 0.5;
        QTest::newRow("8 kHz mono") << 8000 << 1 << -1 << 0.5;
        QTest::newRow("16 kHz mono") << 16000 << 1 << -1 << 0.5;
    }
    void formats()
    {
        QFETCH(int, frequence);
        QFETCH(int, canaux);
        QFETCH(int, canalMuet);
        QFETCH(double, amplitudeAttendue);
        ConvertisseurAudio c(frequence, canaux);
        QVERIFY(c.valide());
        QVERIFY(c.pour(frequence, canaux));
        const auto sortie = convertirParMorceaux(c, sinus(frequence, canaux, 440.0, frequence, 0.5, canalMuet), frequence, canaux);
        // One second in, one second out (less the filter's start-up).
        QVERIFY2(sortie.size() >= 15800 && sortie.size() <= 16000, qPrintable(QString::number(sortie.size())));
        QVERIFY(std::abs(amplitude(sortie, 440.0, 800) - amplitudeAttendue) < 0.02);
        QVERIFY(amplitude(sortie, 1000.0, 800) < 0.01);
    }

    void seizeKiloHertzMonoInchange()
    {
        ConvertisseurAudio c(16000, 1);
        const std::vector<float> entree = {0.1f, -0.2f, 0.3f, 1.5f};
        std::vector<float> sortie;
        c.convertir(entree.data(), 4, sortie);
        QCOMPARE(sortie, entree);
    }

    void nonFiniNEmpoisonnePasLaSuite()
    {
        ConvertisseurAudio c(48000, 2);
        auto entree = sinus(48000, 2, 440.0, 48000, 0.5);
        entree[1000] = std::numeric_limits<float>::quiet_NaN();
        entree[1001] = std::numeric_limits<float>::infinity();
        const auto sortie = convertirParMorceaux(c, entree, 48000, 2);
        for (float x : sortie)
            QVERIFY(std::isfinite(x));
        QVERIFY(std::abs(amplitude(sortie, 440.0, 8000) - 0.5) < 0.02);
    }

    void formatInutilisable_data()
    {
        QTest::addColumn<int>("frequence");
        QTest::addColumn<int>("canaux");
        QTest::newRow("fréquence nulle") << 0 << 2;
        QTest::newRow("aucun canal") << 48000 << 0;
        QTest::newRow("fréquence négative") << -48000 << 1;
    }
    void formatInutilisable()
    {
        QFETCH(int, frequence);
        QFETCH(int, canaux);
        ConvertisseurAudio c(frequence, canaux);
        QVERIFY(!c.valide());
        std::vector<float> entree(960, 0.5f), sortie{1.0f};
        c.convertir(entree.data(), 480, sortie);
        QVERIFY(sortie.empty());
    }
};

QTEST_GUILESS_MAIN(TstConvertisseurAudio)
#include "tst_convertisseuraudio.moc"
