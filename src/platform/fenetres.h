#pragma once
// The windows on screen, for the screen-share detector and the choice of the
// window a call recording films. On X11 the window manager's client list
// (EWMH) gives each window's title, class, process and size;
// elsewhere (Wayland, no display) the list cannot be read and the reader says so.
#include <QList>
#include <QSize>
#include <QString>
#include <memory>
#include <optional>

namespace vd::platform {

struct FenetreEcran {
    QString proprietaire;   // the owning application: window class and process name
    QString titre;
    int couche = 0;
    qint64 pid = 0;
    quint32 numero = 0;   // the system's window number (X11: the client window)
    QString classe;       // the application's identifier (X11: the class of WM_CLASS)
    int largeur = 0, hauteur = 0;
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

// Whether window numero is shown on this desktop's screen.
bool fenetreOuverte(quint32 numero);
// The size of window numero, none once it no longer exists.
std::optional<QSize> tailleFenetre(quint32 numero);

// Why the windows cannot be seen here, in French, for the settings.
QString raisonFenetresInvisibles();

} // namespace vd::platform
