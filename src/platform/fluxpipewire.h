#pragma once
// Reads one PipeWire video node (the desktop portal's screen or window) on a
// PipeWire thread loop of its own: 32-bit RGB pictures (BGRx, BGRA, RGBx,
// RGBA) in memory or shared-memory buffers, handed on as QImage at most 15
// times a second.
#include <QImage>
#include <QString>
#include <functional>
#include <memory>

namespace vd::platform {

class FluxPipeWire {
public:
    using SurImage = std::function<void(const QImage& image)>;   // PipeWire thread
    // PipeWire thread, once. An empty reason: the source stopped after pictures had flowed.
    using SurFin = std::function<void(const QString& raison)>;

    static constexpr int imagesParSeconde = 15;

    // Connects through fd (a PipeWire connection, duplicated here) to node
    // noeud. None on failure, with the reason in raison.
    static std::unique_ptr<FluxPipeWire> ouvrir(int fd, quint32 noeud, SurImage surImage, SurFin surFin, QString* raison);
    // Stops the loop: no callback runs once it returns. Never from a callback.
    ~FluxPipeWire();

    static QString injoignable();
    static QString formatInconnu();

    struct Etat;

private:
    FluxPipeWire();
    std::unique_ptr<Etat> e_;
};

} // namespace vd::platform
