#pragma once
// The windows on screen, for the screen-share detector. On X11 the window
// manager's client list (EWMH) gives each window's title, class and process;
// elsewhere (Wayland, no display) the list cannot be read and the reader says so.
#include <QList>
#include <QString>
#include <memory>
#include <optional>

namespace vd::platform {

struct FenetreEcran {
    QString proprietaire;   // the owning application: window class and process name
    QString titre;
    int couche = 0;
    qint64 pid = 0;
    bool operator==(const FenetreEcran&) const = default;
};

class LecteurFenetres {
public:
    virtual ~LecteurFenetres() = default;
    // None when the windows of other applications cannot be seen here.
    virtual std::optional<QList<FenetreEcran>> lire() = 0;
};

// The reader of this desktop: X11 when a display is reachable outside a
// Wayland session, else one that cannot see.
std::unique_ptr<LecteurFenetres> creerLecteurFenetres();

// Why the windows cannot be seen here, in French, for the settings.
QString raisonFenetresInvisibles();

} // namespace vd::platform
