#pragma once
// The arithmetic of the call's audio blocks: how many samples a tick hands
// out, the 16-bit encoding, the level meters and the mono mix. Pure functions,
// shared by the capture and its tests.
#include <QByteArray>
#include <QtGlobal>

namespace vd::call {

constexpr int kFrequenceAppel = 16000;         // samples per second and per channel
constexpr qint64 kRetardMs = 200;              // blocks run this far behind real time
constexpr qint64 kBlocMinimum = 160;           // 10 ms: less than this waits for the next tick
constexpr qint64 kBlocMaximum = 32000;         // 2 s: a longer stall is caught up over several ticks
constexpr int kPeriodeTicMs = 100;

// Samples per channel to hand out now, `ecouleMs` after the start, when
// `emis` went out already: 0 under 10 ms, at most 2 s.
qint64 echantillonsDus(qint64 ecouleMs, qint64 emis);

// One float sample as 16-bit PCM: non-finite → 0, ≥ 1 → 32767, < −1 → −32768,
// negatives × 32768, positives × 32767, truncated toward zero.
qint16 encoderEchantillon(float x);

// 16-bit signed little-endian PCM, interleaved (vous, prospect) when
// `prospect` is given, mono otherwise.
QByteArray encoderBloc(const float* vous, const float* prospect, qsizetype n);

// Level of a block: min(1.6 × √RMS, 1), 0 for an empty block; a non-finite
// sample counts as silence so one bad sample cannot stick the meter.
float niveauBloc(const float* x, qsizetype n);

// Meter ballistics: rises at once, falls smoothly (0.65 × old + 0.35 × new).
float lisserNiveau(float stocke, float nouveau);

// Mono mix for the recording: vous + prospect (absent prospect = 0), a
// non-finite sum is 0, clamped to −1…1.
void mixer(const float* vous, const float* prospect, qsizetype n, float* sortie);

} // namespace vd::call
