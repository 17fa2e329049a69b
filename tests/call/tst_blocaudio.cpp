// Arithmetic of the call's audio: tick sizes, 16-bit encoding, levels, mono
// mix, the per-speaker sample queue and the conversion of a source's frames
// to 16 kHz mono.
#include "call/blocaudio.h"
#include "call/convertisseuraudio.h"
#include "call/tamponaudio.h"

#include <QTest>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

using namespace vd::call;

namespace {
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

std::vector<float> suite(float depart, size_t n)
{
    std::vector<float> v(n);
    std::iota(v.begin(), v.end(), depart);
    return v;
}

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

class TstBlocAudio : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void echantillonsDus_data()
    {
        QTest::addColumn<qint64>("ecouleMs");
        QTest::addColumn<qint64>("emis");
        QTest::addColumn<qint64>("attendu");
        QTest::newRow("premier tic, en avance sur le retard") << qint64(100) << qint64(0) << qint64(0);
        QTest::newRow("exactement le retard") << qint64(200) << qint64(0) << qint64(0);
        QTest::newRow("moins de 10 ms dus") << qint64(209) << qint64(0) << qint64(0);
        QTest::newRow("10 ms dus") << qint64(210) << qint64(0) << qint64(160);
        QTest::newRow("premier bloc") << qint64(300) << qint64(0) << qint64(1600);
        QTest::newRow("bloc régulier") << qint64(400) << qint64(1600) << qint64(1600);
        QTest::newRow("tic en retard de 5 ms") << qint64(505) << qint64(3200) << qint64(1680);
        QTest::newRow("tic trop tôt") << qint64(305) << qint64(1600) << qint64(0);
        QTest::newRow("blocage de 3 s plafonné à 2 s") << qint64(3200) << qint64(1600) << qint64(32000);
        QTest::newRow("rattrapage au tic suivant") << qint64(3300) << qint64(33600) << qint64(16000);
        QTest::newRow("de nouveau régulier") << qint64(3400) << qint64(49600) << qint64(1600);
        QTest::newRow("horloge revenue en arrière") << qint64(300) << qint64(3200) << qint64(0);
    }
    void echantillonsDus()
    {
        QFETCH(qint64, ecouleMs);
        QFETCH(qint64, emis);
        QFETCH(qint64, attendu);
        QCOMPARE(vd::call::echantillonsDus(ecouleMs, emis), attendu);
    }

    void encoderEchantillon_data()
    {
        QTest::addColumn<float>("x");
        QTest::addColumn<int>("attendu");
        QTest::newRow("1.0") << 1.0f << 32767;
        QTest::newRow("au-delà de 1") << 1.5f << 32767;
        QTest::newRow("-1.0") << -1.0f << -32768;
        QTest::newRow("en deçà de -1") << -1.5f << -32768;
        QTest::newRow("zéro") << 0.0f << 0;
        QTest::newRow("0.5 tronqué") << 0.5f << 16383;
        QTest::newRow("-0.5") << -0.5f << -16384;
        QTest::newRow("juste sous 1") << 0.99999f << 32766;
        QTest::newRow("petit négatif tronqué vers zéro") << -0.00001f << 0;
        QTest::newRow("petit positif") << 0.0001f << 3;
        QTest::newRow("NaN") << kNaN << 0;
        QTest::newRow("+infini n'est pas 32767") << kInf << 0;
        QTest::newRow("-infini") << -kInf << 0;
    }
    void encoderEchantillon()
    {
        QFETCH(float, x);
        QFETCH(int, attendu);
        QCOMPARE(int(vd::call::encoderEchantillon(x)), attendu);
    }

    // Interleaved (vous, prospect) when there is a prospect, mono otherwise.
    void encoderBloc()
    {
        const float vous[] = {1.0f, -1.0f, kInf};
        const float prospect[] = {0.5f, kNaN};
        QCOMPARE(vd::call::encoderBloc(vous, prospect, 2), QByteArray::fromHex("ff7fff3f00800000"));
        QCOMPARE(vd::call::encoderBloc(vous + 1, nullptr, 2), QByteArray::fromHex("00800000"));
    }

    void niveauBloc_data()
    {
        QTest::addColumn<std::vector<float>>("bloc");
        QTest::addColumn<float>("attendu");
        std::vector<float> sinus(1600);
        for (size_t i = 0; i < sinus.size(); ++i)
            sinus[i] = float(std::sin(2 * M_PI * 440.0 * double(i) / 16000.0));
        QTest::newRow("bloc vide") << std::vector<float>{} << 0.0f;
        QTest::newRow("silence") << std::vector<float>(1600, 0.0f) << 0.0f;
        QTest::newRow("sinus pleine échelle") << sinus << 1.0f;
        QTest::newRow("constante 0.25") << std::vector<float>(1600, 0.25f) << 0.8f;
        QTest::newRow("constante 0.01") << std::vector<float>(1600, 0.01f) << 0.16f;
        QTest::newRow("constante -0.25") << std::vector<float>(1600, -0.25f) << 0.8f;
        QTest::newRow("NaN compté comme silence") << std::vector<float>{kNaN, 0.25f, 0.25f, 0.25f}
                                                   << float(1.6 * std::sqrt(std::sqrt(3 * 0.0625 / 4)));
        QTest::newRow("infini compté comme silence") << std::vector<float>{kInf, -kInf} << 0.0f;
    }
    void niveauBloc()
    {
        QFETCH(std::vector<float>, bloc);
        QFETCH(float, attendu);
        const float niveau = vd::call::niveauBloc(bloc.data(), qsizetype(bloc.size()));
        QVERIFY2(std::abs(niveau - attendu) < 1e-5f, qPrintable(QString::number(niveau)));
    }

    void lisserNiveau_data()
    {
        QTest::addColumn<float>("stocke");
        QTest::addColumn<float>("nouveau");
        QTest::addColumn<float>("attendu");
        QTest::newRow("0.8 puis un bloc silencieux") << 0.8f << 0.0f << 0.52f;
        QTest::newRow("montée immédiate") << 0.2f << 0.9f << 0.9f;
        QTest::newRow("stable") << 0.5f << 0.5f << 0.5f;
        QTest::newRow("descente lissée") << 1.0f << 0.4f << 0.79f;
        QTest::newRow("depuis zéro") << 0.0f << 0.0f << 0.0f;
    }
    void lisserNiveau()
    {
        QFETCH(float, stocke);
        QFETCH(float, nouveau);
        QFETCH(float, attendu);
        QVERIFY(std::abs(vd::call::lisserNiveau(stocke, nouveau) - attendu) < 1e-6f);
    }

    void mixer_data()
    {
        QTest::addColumn<float>("vous");
        QTest::addColumn<float>("prospect");
        QTest::addColumn<bool>("avecProspect");
        QTest::addColumn<float>("attendu");
        QTest::newRow("somme simple") << 0.25f << -0.5f << true << -0.25f;
        QTest::newRow("plafonnée à 1") << 0.6f << 0.6f << true << 1.0f;
        QTest::newRow("plafonnée à -1") << -0.7f << -0.7f << true << -1.0f;
        QTest::newRow("sans prospect") << 0.2f << 0.0f << false << 0.2f;
        QTest::newRow("infinis opposés") << kInf << -kInf << true << 0.0f;
        QTest::newRow("NaN") << kNaN << 0.3f << true << 0.0f;
        QTest::newRow("infini seul") << kInf << 0.0f << false << 0.0f;
    }
    void mixer()
    {
        QFETCH(float, vous);
        QFETCH(float, prospect);
        QFETCH(bool, avecProspect);
        QFETCH(float, attendu);
        float sortie = 99.0f;
        vd::call::mixer(&vous, avecProspect ? &prospect : nullptr, 1, &sortie);
        QCOMPARE(sortie, attendu);
    }

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

QTEST_GUILESS_MAIN(TstBlocAudio)
#include "tst_blocaudio.moc"
