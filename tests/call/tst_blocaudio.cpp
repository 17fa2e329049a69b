// Arithmetic of the call's audio blocks: tick sizes, 16-bit encoding, levels, mono mix.
#include "call/blocaudio.h"

#include <QTest>
#include <cmath>
#include <limits>
#include <vector>

using namespace vd::call;

namespace {
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
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

    void encoderBlocStereoEntrelace()
    {
        const float vous[] = {1.0f, -1.0f};
        const float prospect[] = {0.5f, kNaN};
        const QByteArray b = encoderBloc(vous, prospect, 2);
        QCOMPARE(b, QByteArray::fromHex("ff7fff3f00800000"));
    }
    void encoderBlocMono()
    {
        const float vous[] = {0.0f, -0.5f, kInf};
        QCOMPARE(encoderBloc(vous, nullptr, 3), QByteArray::fromHex("000000c00000"));
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
        QVERIFY2(std::abs(vd::call::niveauBloc(bloc.data(), qsizetype(bloc.size())) - attendu) < 1e-5f,
                 qPrintable(QString::number(vd::call::niveauBloc(bloc.data(), qsizetype(bloc.size())))));
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
    void decroissanceSurPlusieursTics()
    {
        float n = 0.8f;
        const float attendus[] = {0.52f, 0.338f, 0.2197f};
        for (float a : attendus) {
            n = vd::call::lisserNiveau(n, 0.0f);
            QVERIFY(std::abs(n - a) < 1e-5f);
        }
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
};

QTEST_GUILESS_MAIN(TstBlocAudio)
#include "tst_blocaudio.moc"
