#pragma once
// The recording of one live call: checks the free space, opens the writer on
// "Enregistrements/<call id>.mp4", starts the screen capture when a picture is
// wanted (sound only, with the reason, when it cannot), follows the call's
// pause and resume, and finishes the file at the end. It never fails the call:
// when it cannot record, actif() is false and avertissement() says why.
#include "call/ecrivainenregistrement.h"
#include "call/fenetresproposees.h"
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
    // The windows on screen, none when they cannot be read here.
    using ListeFenetres = std::function<std::optional<QList<FenetreProposee>>()>;
    // The capture of one window; raisonPerte is what ends it when the window closes.
    using FabriqueFenetre = std::function<platform::CaptureOuRaison(quint32 numero, const QString& raisonPerte)>;

    struct Options {
        QString dossier;      // the recordings folder
        bool video = true;
        SondeVolume sonde;    // default: the system's
        FabriqueVideo fabriqueVideo;   // default: the desktop's screen
        // What is filmed: the screen ("ecran") or a window found again by application and title.
        model::CibleEnregistrement cible;
        ListeFenetres listeFenetres;       // default: the desktop's
        FabriqueFenetre fabriqueFenetre;   // default: the desktop's
        EcrivainEnregistrement::Options ecrivain;
    };

    static SondeVolume sondeSysteme();
    static ListeFenetres listeSysteme();

    EnregistreurAppel(const QString& appelId, Options options);
    ~EnregistreurAppel();

    bool actif() const { return ecrivain_ != nullptr; }
    std::optional<QString> avertissement() const;
    // Called (on the capture thread) when a warning arises during the call:
    // the filmed window closed. The recording goes on, the last picture held.
    void surAvertissement(std::function<void(const QString&)> rappel);
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
    void signaler(const QString& texte);
    platform::CaptureOuRaison ouvrirVideo(const Options& options);

    std::optional<QString> avertissement_;
    std::function<void(const QString&)> surAvertissement_;
    mutable std::mutex verrouAvertissement_;
    std::mutex verrou_;   // the capture thread's son against arreter()
};

} // namespace vd::call
