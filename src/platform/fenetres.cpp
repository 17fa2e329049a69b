#include "platform/fenetres.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdlib>
#include <cstring>

#ifdef VD_AVEC_XCB
#include <xcb/xcb.h>
#endif

namespace vd::platform {

namespace {

class LecteurAveugle final : public LecteurFenetres {
public:
    std::optional<QList<FenetreEcran>> lire() override { return std::nullopt; }
};

bool sessionWayland()
{
    return qEnvironmentVariableIsSet("WAYLAND_DISPLAY") || qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

#ifdef VD_AVEC_XCB
class LecteurX11 final : public LecteurFenetres {
public:
    ~LecteurX11() override
    {
        if (c_)
            xcb_disconnect(c_);
    }

    std::optional<QList<FenetreEcran>> lire() override
    {
        if (!connecter())
            return std::nullopt;
        const auto liste = propriete(racine_, atomes_.clientList, XCB_ATOM_WINDOW, 4096);
        if (!liste)
            return std::nullopt;   // no EWMH window manager: the list cannot be trusted
        QList<FenetreEcran> fenetres;
        const auto* ids = reinterpret_cast<const xcb_window_t*>(liste->constData());
        for (qsizetype i = 0; i < liste->size() / qsizetype(sizeof(xcb_window_t)); ++i) {
            FenetreEcran f;
            const xcb_window_t w = ids[i];
            if (const auto nom = propriete(w, atomes_.nomWm, atomes_.utf8, 1024))
                f.titre = QString::fromUtf8(*nom);
            else if (const auto ancien = propriete(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 1024))
                f.titre = QString::fromLatin1(*ancien);
            f.numero = w;
            QStringList proprietaire;
            if (const auto classe = propriete(w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 256)) {
                for (const QByteArray& partie : classe->split('\0'))
                    if (!partie.isEmpty())
                        proprietaire << QString::fromLocal8Bit(partie);
                f.classe = proprietaire.value(1, proprietaire.value(0));
            }
            if (auto* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, w), nullptr)) {
                f.largeur = g->width;
                f.hauteur = g->height;
                free(g);
            }
            if (const auto pid = propriete(w, atomes_.pid, XCB_ATOM_CARDINAL, 1); pid && pid->size() >= 4) {
                f.pid = *reinterpret_cast<const quint32*>(pid->constData());
                QFile comm(QStringLiteral("/proc/%1/comm").arg(f.pid));
                if (comm.open(QIODevice::ReadOnly))
                    proprietaire << QString::fromLocal8Bit(comm.readAll().trimmed());
            }
            f.proprietaire = proprietaire.join(QLatin1Char(' '));
            fenetres.append(f);
        }
        return fenetres;
    }

private:
    struct Atomes {
        xcb_atom_t clientList = XCB_ATOM_NONE, nomWm = XCB_ATOM_NONE, utf8 = XCB_ATOM_NONE, pid = XCB_ATOM_NONE;
    };

    bool connecter()
    {
        if (c_ && !xcb_connection_has_error(c_))
            return true;
        if (c_) {
            xcb_disconnect(c_);
            c_ = nullptr;
        }
        int ecran = 0;
        c_ = xcb_connect(nullptr, &ecran);
        if (xcb_connection_has_error(c_)) {
            xcb_disconnect(c_);
            c_ = nullptr;
            return false;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
        for (int i = 0; i < ecran && it.rem; ++i)
            xcb_screen_next(&it);
        racine_ = it.data->root;
        atomes_.clientList = atome("_NET_CLIENT_LIST");
        atomes_.nomWm = atome("_NET_WM_NAME");
        atomes_.utf8 = atome("UTF8_STRING");
        atomes_.pid = atome("_NET_WM_PID");
        return true;
    }

    xcb_atom_t atome(const char* nom)
    {
        auto* r = xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 1, uint16_t(strlen(nom)), nom), nullptr);
        const xcb_atom_t a = r ? r->atom : XCB_ATOM_NONE;
        free(r);
        return a;
    }

    // The property's bytes, none when absent or of another type; longueur in 32-bit units.
    std::optional<QByteArray> propriete(xcb_window_t w, xcb_atom_t nom, xcb_atom_t type, uint32_t longueur)
    {
        if (nom == XCB_ATOM_NONE)
            return std::nullopt;
        auto* r = xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, nom, type, 0, longueur), nullptr);
        if (!r)
            return std::nullopt;
        std::optional<QByteArray> v;
        if (r->type == type && r->type != XCB_ATOM_NONE)
            v = QByteArray(static_cast<const char*>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
        free(r);
        return v;
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t racine_ = 0;
    Atomes atomes_;
};
#endif

} // namespace

std::unique_ptr<LecteurFenetres> creerLecteurFenetres()
{
#ifdef VD_AVEC_XCB
    if (!sessionWayland() && qEnvironmentVariableIsSet("DISPLAY"))
        return std::make_unique<LecteurX11>();
#endif
    return std::make_unique<LecteurAveugle>();
}

bool fenetreOuverte(quint32 numero)
{
#ifdef VD_AVEC_XCB
    if (numero == 0 || sessionWayland() || !qEnvironmentVariableIsSet("DISPLAY"))
        return false;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    bool ouverte = false;
    if (!xcb_connection_has_error(c))
        if (auto* r = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, numero), nullptr)) {
            ouverte = r->map_state == XCB_MAP_STATE_VIEWABLE;
            free(r);
        }
    xcb_disconnect(c);
    return ouverte;
#else
    Q_UNUSED(numero);
    return false;
#endif
}

std::optional<QSize> tailleFenetre(quint32 numero)
{
#ifdef VD_AVEC_XCB
    if (numero == 0 || sessionWayland() || !qEnvironmentVariableIsSet("DISPLAY"))
        return std::nullopt;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    std::optional<QSize> t;
    if (!xcb_connection_has_error(c))
        if (auto* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, numero), nullptr)) {
            t = QSize(g->width, g->height);
            free(g);
        }
    xcb_disconnect(c);
    return t;
#else
    Q_UNUSED(numero);
    return std::nullopt;
#endif
}

QString raisonFenetresInvisibles()
{
    if (sessionWayland())
        return QStringLiteral("Sous Wayland, Vendalo ne peut pas voir les fenêtres des autres applications : "
                              "le partage d'écran n'est pas détecté. Masquez Quillo vous-même avant de partager.");
    return QStringLiteral("La liste des fenêtres n'est pas lisible sur ce bureau : le partage d'écran n'est pas détecté. "
                          "Masquez Quillo vous-même avant de partager.");
}

} // namespace vd::platform
