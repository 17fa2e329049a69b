#pragma once
// The recording of one live call: checks the free space, opens the writer on
// "Enregistrements/<call id>.mp4", starts the screen capture when a picture is
// wanted (sound only, with the reason, when it cannot), follows the call's
// pause and resume, and finishes the file at the end. It never fails the call:
// when it cannot record, actif() is false and avertissement() says why.
#include "call/ecrivainenregistrement.h"
#include "platform/capturevideo.h"

#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace vd::call {

class EnregistreurAppel {
public:
    static constexpr qint64 espaceMinimal = 3'000'000'000LL;
    // Free bytes of the volume holding a folder (none when unknown).
    using SondeVolume = std::function<std::optional<qint64>(const QString& dossier)>;
    using FabriqueVideo = std::function<platform::CaptureOuRaison()>;

    struct Options {
        QString dossier;      // the recordings folder
        bool video = true;
        SondeVolume sonde;    // default: the system's
        FabriqueVideo fabriqueVideo;   // default: the desktop's screen
        EcrivainEnregistrement::Options ecrivain;
    };

    static SondeVolume sondeSysteme();

    EnregistreurAppel(const QString& appelId, Options options);
    ~EnregistreurAppel();

    bool actif() const { return ecrivain_ != nullptr; }
    const std::optional<QString>& avertissement() const { return avertissement_; }
    EcrivainEnregistrement* ecrivain() const { return ecrivain_.get(); }

    // Capture thread: the call's mono mix at 16 kHz. Dropped while paused.
    void recevoirSon(const float* mono, qsizetype n);
    void pause();
    void reprendre();
    // Any thread, once: stops the picture and finishes the file.
    Resultat<model::EnregistrementAppel, ErreurEnregistrement> arreter();

    // Removes the ".partiel" files a crash left behind; returns how many.
    static int nettoyerPartiels(const QString& dossier);

private:
    std::unique_ptr<EcrivainEnregistrement> ecrivain_;
    std::unique_ptr<platform::CaptureVideo> video_;
    std::optional<QString> avertissement_;
    std::mutex verrou_;   // the capture thread's son against arreter()
};

} // namespace vd::call
