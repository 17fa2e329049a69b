#include "blocaudio.h"

#include <algorithm>
#include <cmath>

namespace vd::call {

qint64 echantillonsDus(qint64 ecouleMs, qint64 emis)
{
    const qint64 cible = (ecouleMs - kRetardMs) * kFrequenceAppel / 1000;
    const qint64 n = cible - emis;
    if (n < kBlocMinimum)
        return 0;
    return std::min(n, kBlocMaximum);
}

qint16 encoderEchantillon(float x)
{
    if (!std::isfinite(x))
        return 0;
    if (x >= 1.0f)
        return 32767;
    if (x < -1.0f)
        return -32768;
    if (x < 0.0f)
        return qint16(double(x) * 32768.0);
    return qint16(double(x) * 32767.0);
}

QByteArray encoderBloc(const float* vous, const float* prospect, qsizetype n)
{
    const int canaux = prospect ? 2 : 1;
    QByteArray b(n * canaux * 2, Qt::Uninitialized);
    auto* o = reinterpret_cast<uchar*>(b.data());
    auto ecrire = [&o](float x) {
        const auto v = quint16(encoderEchantillon(x));
        *o++ = uchar(v & 0xff);
        *o++ = uchar(v >> 8);
    };
    for (qsizetype i = 0; i < n; ++i) {
        ecrire(vous[i]);
        if (prospect)
            ecrire(prospect[i]);
    }
    return b;
}

float niveauBloc(const float* x, qsizetype n)
{
    if (n <= 0)
        return 0.0f;
    double somme = 0.0;
    for (qsizetype i = 0; i < n; ++i)
        if (std::isfinite(x[i]))
            somme += double(x[i]) * double(x[i]);
    const double rms = std::sqrt(somme / double(n));
    return float(std::min(1.6 * std::sqrt(rms), 1.0));
}

float lisserNiveau(float stocke, float nouveau)
{
    if (nouveau > stocke)
        return nouveau;
    return 0.65f * stocke + 0.35f * nouveau;
}

void mixer(const float* vous, const float* prospect, qsizetype n, float* sortie)
{
    for (qsizetype i = 0; i < n; ++i) {
        const float s = vous[i] + (prospect ? prospect[i] : 0.0f);
        sortie[i] = std::isfinite(s) ? std::clamp(s, -1.0f, 1.0f) : 0.0f;
    }
}

} // namespace vd::call
