#pragma once
// What the transcription tests share: an engine's signals written down and
// the fake Soniox service's streams once configured.
#include "call/interfaces.h"
#include "fakes/fauxsoniox.h"

#include <QTest>

namespace vd::test {

// Everything an engine tells, in order of arrival.
struct Ecoute {
    QList<call::SegmentLive> segments;
    QStringList etats;
    QList<quint64> generations;   // of every segment, state and opening
    QString echec;
    bool ouvert = false, termine = false;

    void suivre(call::MoteurTranscriptionBase* m, QObject* contexte)
    {
        using M = call::MoteurTranscriptionBase;
        QObject::connect(m, &M::segment, contexte, [this](const call::SegmentLive& s, quint64 g) { segments << s, generations << g; });
        QObject::connect(m, &M::etat, contexte, [this](const QString& e, quint64 g) { etats << e, generations << g; });
        QObject::connect(m, &M::ouvert, contexte, [this](quint64 g) { ouvert = true, generations << g; });
        QObject::connect(m, &M::echecDemarrage, contexte, [this](const QString& e, quint64) { echec = e; });
        QObject::connect(m, &M::termine, contexte, [this](quint64) { termine = true; });
    }
};

// The first n streams of the fake service have sent their configuration.
inline bool fluxConfigures(const fakes::FauxSoniox& s, int n)
{
    for (int i = 0; i < n; ++i)
        if (s.configuration(i).isEmpty())
            return false;
    return s.nombreConnexions() >= n;
}

// The salesperson's stream: the one without speaker separation.
inline int indexVous(const fakes::FauxSoniox& s) { return s.configuration(0)["enable_speaker_diarization"].toBool() ? 1 : 0; }

} // namespace vd::test

// The fake service saw nothing wrong in what the client sent.
#define VERIFIER_SANS_ANOMALIE(serveur) QVERIFY2((serveur).anomalies.isEmpty(), qPrintable((serveur).anomalies.join('\n')))
