#pragma once
// The capture of a call: the microphone (speaker "vous") and the system
// audio (speaker "prospect"), each converted to 16 kHz mono float and queued
// in its TamponAudio; every 100 ms a clock hands out one block 200 ms behind
// real time, so both channels always advance together and late audio still
// makes it. Sources deliver on their audio thread; the clock ticks on the
// capture's own thread ("io.vendalo.capture"), where `rappel` and `mixage` run.
#include "call/interfaces.h"
#include "call/tamponaudio.h"
#include "platform/sourcesaudio.h"

#include <QMutex>
#include <array>
#include <atomic>
#include <memory>
#include <vector>

class QThread;

namespace vd::platform {
class Horloge;
class Minuterie;
} // namespace vd::platform

namespace vd::call {

class ConvertisseurAudio;

class CaptureAudio final : public CaptureAudioBase {
public:
    // dedie: the clock ticks on the capture's own thread (the real program).
    // appelant: it ticks on the creating thread, e.g. driven by HorlogeFactice.
    enum class Fil { dedie, appelant };

    // Without sources, the machine's (libpulse); without clock, the process clock.
    explicit CaptureAudio(std::unique_ptr<platform::SourcesAudio> sources = {}, platform::Horloge* horloge = nullptr,
                          Fil fil = Fil::dedie);
    ~CaptureAudio() override;
    CaptureAudio(const CaptureAudio&) = delete;
    CaptureAudio& operator=(const CaptureAudio&) = delete;

    ResultatVide<ErreurCaptureAudio> demarrer(int canaux) override;
    void arreter() override;
    // After setRappel()/setMixage() returns, the previous callback is not running.
    void setRappel(Rappel r) override;
    void setMixage(Mixage m) override;
    void setSurFin(SurFin f) override;
    std::pair<float, float> niveaux() const override;
    int canaux() const override;
    bool actif() const { return actif_; }
    // Devices in use (microphone, system audio), for diagnostics.
    std::pair<QString, QString> peripheriques() const;

    // What went out since the start, for the microphone test.
    struct Statistiques {
        qint64 blocs = 0;
        qint64 echantillons = 0;           // per channel
        std::array<qint64, 2> completes{}; // zeros padded in, per channel (vous, prospect)
        std::array<float, 2> crete{};      // highest displayed level
        std::array<double, 2> somme{};     // sum of the displayed levels, one per block
    };
    Statistiques statistiques() const;

private:
    void recevoir(int canal, const float* trames, qsizetype n, int frequence, int canaux);
    void finSource(const QString& source);
    void tic();
    void surFil(const std::function<void()>& f);

    std::unique_ptr<platform::SourcesAudio> sources_;
    platform::Horloge* horloge_;
    Fil fil_;
    QThread* thread_ = nullptr;
    QObject* contexte_ = nullptr;          // lives on the clock's thread
    platform::Minuterie* minuterie_ = nullptr;

    TamponAudio tamponVous_;
    TamponAudio tamponProspect_;
    // Each is touched only by its source's audio thread while the source is open.
    std::array<std::unique_ptr<ConvertisseurAudio>, 2> convertisseurs_;
    std::array<std::vector<float>, 2> converti_;

    mutable QMutex verrou_;   // niveaux_, statistiques_, surFin_
    std::array<float, 2> niveaux_{};
    Statistiques statistiques_;
    SurFin surFin_;

    QMutex verrouRappels_;    // held while rappel_ and mixage_ run
    Rappel rappel_;
    Mixage mixage_;

    std::atomic<bool> actif_{false};
    std::atomic<int> canaux_{1};
    qint64 debut_ = 0;   // monotonic ms at the start
    qint64 emis_ = 0;    // samples per channel handed out
    std::vector<float> blocVous_, blocProspect_, mix_;
};

} // namespace vd::call
