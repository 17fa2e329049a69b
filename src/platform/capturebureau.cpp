#include "platform/capturebureau.h"
#ifdef VD_AVEC_PIPEWIRE
#include "platform/fluxpipewire.h"
#endif

#include <QLoggingCategory>
#include <QThread>

#include <mutex>

namespace vd::platform {

// What the portal's answers and the PipeWire thread share with arreter(),
// which may run on another thread, and may outlive the capture.
struct CaptureBureau::Partage {
    std::mutex verrou;
    SurImage surImage;
    SurFin surFin;
    bool fini = false;
#ifdef VD_AVEC_PIPEWIRE
    std::unique_ptr<FluxPipeWire> flux;
#endif

    void finir(const QString& raison)
    {
        SurFin rappel;
        {
            std::lock_guard l(verrou);
            if (fini)
                return;
            fini = true;
            rappel = std::move(surFin);
            surImage = {};
        }
        if (rappel)
            rappel(raison);
    }
};

bool choixParLeBureau()
{
    return qEnvironmentVariableIsSet("WAYLAND_DISPLAY") || qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

CaptureOuRaison creerCaptureBureau(bool fenetre)
{
#ifdef VD_AVEC_PIPEWIRE
    auto portail = creerPortailEcran();
    if (!portail->disponible())
        return {nullptr, PortailEcran::absent()};
    return {std::make_unique<CaptureBureau>(fenetre, std::move(portail)), {}};
#else
    Q_UNUSED(fenetre);
    return {nullptr, QStringLiteral("Cette version de Vendalo est construite sans PipeWire : sous Wayland, seul le son "
                                    "est enregistré. Pour la vidéo, installez une version construite avec PipeWire ou "
                                    "ouvrez une session X11.")};
#endif
}

CaptureBureau::CaptureBureau(bool fenetre, std::unique_ptr<PortailEcran> portail)
    : fenetre_(fenetre), portail_(portail.release()), p_(std::make_shared<Partage>())
{
}

CaptureBureau::~CaptureBureau()
{
    arreter();
    if (QThread::currentThread() == portail_->thread())
        delete portail_;
    else
        portail_->deleteLater();
}

std::optional<QString> CaptureBureau::demarrer(SurImage surImage, SurFin surFin)
{
    if (!portail_->disponible())
        return PortailEcran::absent();
    {
        std::lock_guard l(p_->verrou);
        p_->surImage = std::move(surImage);
        p_->surFin = std::move(surFin);
    }
    std::weak_ptr<Partage> faible = p_;
    QObject::connect(portail_, &PortailEcran::echec, portail_, [faible](const QString& message) {
        if (auto p = faible.lock())
            p->finir(message);
    });
    QObject::connect(portail_, &PortailEcran::ferme, portail_, [faible](const QString& message) {
        if (auto p = faible.lock())
            p->finir(message);
    });
    QObject::connect(portail_, &PortailEcran::pret, portail_, [faible, portail = portail_](const QDBusUnixFileDescriptor& fd, quint32 noeud) {
        auto p = faible.lock();
        if (!p)
            return;
#ifdef VD_AVEC_PIPEWIRE
        QString raison;
        // Pictures from the PipeWire thread; the end of the stream is the end of the sharing.
        auto flux = FluxPipeWire::ouvrir(
            fd.fileDescriptor(), noeud,
            [faible](const QImage& image) {
                if (auto p = faible.lock()) {
                    SurImage rappel;
                    {
                        std::lock_guard l(p->verrou);
                        rappel = p->surImage;
                    }
                    if (rappel)
                        rappel(image);
                }
            },
            [faible, portail](const QString& r) {
                // The flux goes before the portal object: the portal is still there.
                portail->fermer();
                if (auto p = faible.lock())
                    p->finir(r.isEmpty() ? PortailEcran::arrete() : r);
            },
            &raison);
        if (!flux) {
            portail->fermer();
            p->finir(raison);
            return;
        }
        {
            std::lock_guard l(p->verrou);
            if (!p->fini) {
                p->flux = std::move(flux);
                return;
            }
        }
        portail->fermer();   // stopped meanwhile: the flux ends with this scope, outside the lock
#else
        Q_UNUSED(fd);
        Q_UNUSED(noeud);
        portail->fermer();
        p->finir(PortailEcran::refuse());
#endif
    });
    portail_->ouvrir(fenetre_ ? PortailEcran::Source::fenetre : PortailEcran::Source::ecran);
    return std::nullopt;
}

void CaptureBureau::arreter()
{
    {
        std::lock_guard l(p_->verrou);
        p_->fini = true;
        p_->surImage = {};
        p_->surFin = {};
    }
    portail_->fermer();
#ifdef VD_AVEC_PIPEWIRE
    std::unique_ptr<FluxPipeWire> flux;
    {
        std::lock_guard l(p_->verrou);
        flux = std::move(p_->flux);
    }
    flux.reset();   // joins the PipeWire thread, outside the lock its callbacks take
#endif
}

} // namespace vd::platform
