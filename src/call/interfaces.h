#pragma once
// Contracts between the call session and what it drives: the audio capture,
// the transcription engine and the engine script. The session depends only
// on these, so tests replace each with a fake.
#include "platform/resultat.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <utility>

namespace vd::call {

// A transcript segment as a transcription client delivers it.
struct SegmentLive {
    QString locuteur;   // "vous" | "prospect"
    QString texte;
    bool final = false;
    qint64 debutMs = 0;
    qint64 finMs = 0;
    std::optional<qint64> interlocuteur;
    bool operator==(const SegmentLive&) const = default;
};

struct ErreurCaptureAudio {
    enum class Genre { indisponible, microRefuse, aucunMicro, microIndisponible, ecranRefuse, aucunEcran, sonMacIndisponible };
    Genre genre = Genre::indisponible;
    QString description() const;   // in the running system's words
    QString texteMac() const;
};

// Audio capture of one call: every 100 ms one block of 16-bit signed
// little-endian PCM at 16 kHz, interleaved (vous, prospect) with two channels.
class CaptureAudioBase {
public:
    using Rappel = std::function<void(const QByteArray& bloc)>;        // on the capture thread
    using Mixage = std::function<void(const float* mono, qsizetype n)>; // on the capture thread
    using SurFin = std::function<void(const QString& source)>;         // "micro" | "mac", any thread
    virtual ~CaptureAudioBase() = default;
    virtual ResultatVide<ErreurCaptureAudio> demarrer(int canaux) = 0;
    virtual void arreter() = 0;
    virtual void setRappel(Rappel r) = 0;
    virtual void setMixage(Mixage m) = 0;
    virtual void setSurFin(SurFin f) = 0;
    // Current levels (vous, prospect), each 0…1; safe from any thread.
    virtual std::pair<float, float> niveaux() const = 0;
    virtual int canaux() const = 0;
};

// What a transcription engine is started with.
struct ParametresTranscription {
    QString moteur = QStringLiteral("soniox");   // "soniox" | "deepgram"
    QString langue = QStringLiteral("fr");
    int canaux = 2;
    bool sonioxEurope = false;
    bool demo = false;           // demonstration mode: no credential is fetched
    QString appelId;             // the call's identifier, sent with backend token requests
    quint64 generation = 0;      // carried back by every signal
};

// A streaming transcription engine. demarrer() answers with ouvert() or
// echecDemarrage(); segments and status codes ("connexion", "ouvert",
// "reconnexion", "coupee") then arrive on the main thread, each with the
// generation the engine was started with.
class MoteurTranscriptionBase : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void demarrer(const ParametresTranscription& p) = 0;
    // Audio block (format of CaptureAudioBase); callable from the capture thread.
    virtual void envoyer(const QByteArray& bloc) = 0;
    // Closes at once.
    virtual void couper() = 0;
    // Asks the service to finish and waits for the last results (at most 2 s),
    // then emits termine().
    virtual void terminer() = 0;
    virtual QString nomAffiche() const = 0;   // "Soniox" | "Deepgram"

Q_SIGNALS:
    void ouvert(quint64 generation);
    void echecDemarrage(const QString& message, quint64 generation);
    void segment(const vd::call::SegmentLive& s, quint64 generation);
    void etat(const QString& code, quint64 generation);
    void termine(quint64 generation);
};

} // namespace vd::call

Q_DECLARE_METATYPE(vd::call::SegmentLive)
