#pragma once
// Video of the desktop for call recordings. On X11 the screen, or one window,
// is grabbed through libavdevice's x11grab at 15 images/s on a thread of its own.
// On Wayland the desktop itself asks the user what to film (the portal's
// ScreenCast) and sends the pictures through PipeWire; without either, the
// call is recorded with sound only and the reason says why.
#include <QImage>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace vd::platform {

class CaptureVideo {
public:
    using SurImage = std::function<void(const QImage& image)>;   // capture thread
    using SurFin = std::function<void(const QString& raison)>;   // capture thread, once
    virtual ~CaptureVideo() = default;
    // None on success, else the French reason.
    virtual std::optional<QString> demarrer(SurImage surImage, SurFin surFin) = 0;
    virtual void arreter() = 0;
};

struct CaptureOuRaison {
    std::unique_ptr<CaptureVideo> capture;
    QString raison;   // when there is no capture
};

// The whole screen of the running desktop.
CaptureOuRaison creerCaptureEcran();
// One window of the running desktop (its system number), at its own size and
// wherever it moves; when it closes the capture ends with raisonPerte.
CaptureOuRaison creerCaptureFenetre(quint32 numero, const QString& raisonPerte);

// Whether this desktop chooses what is filmed (a Wayland session): windows
// cannot be listed or named here, the desktop's dialog picks them.
bool choixParLeBureau();
// The screen, or a window, as the desktop's dialog lets the user pick at the
// start of the call; sound only, with the reason, without portal or PipeWire.
CaptureOuRaison creerCaptureBureau(bool fenetre);

} // namespace vd::platform
