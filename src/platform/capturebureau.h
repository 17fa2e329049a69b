#pragma once
// The video of a Wayland desktop: the desktop's own dialog (the portal's
// ScreenCast) chooses the screen or the window, and the pictures come through
// PipeWire. Starting never waits for the dialog: demarrer() accepts at once
// unless the portal is missing, and a refusal, a cancel or the end of the
// sharing later ends the capture with its reason.
#include "platform/capturevideo.h"
#include "platform/portailecran.h"

#include <memory>

namespace vd::platform {

class CaptureBureau final : public CaptureVideo {
public:
    // The portal lives on the thread that calls demarrer(), which runs an event loop.
    CaptureBureau(bool fenetre, std::unique_ptr<PortailEcran> portail);
    ~CaptureBureau() override;
    std::optional<QString> demarrer(SurImage surImage, SurFin surFin) override;
    void arreter() override;   // any thread

    struct Partage;

private:
    bool fenetre_;
    PortailEcran* portail_;   // owned; deleted on its own thread
    std::shared_ptr<Partage> p_;
};

} // namespace vd::platform
