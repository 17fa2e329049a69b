#pragma once
// A Wayland desktop for the recording tests: a private PipeWire (pipewire and
// wireplumber in a temporary runtime folder) with one video source node
// (320×180, one solid colour), and the portal's ScreenCast on the session bus
// that shares that node, scripted by the test: the answer of each step, a
// D-Bus error, a PipeWire connection that leads nowhere, the end of the
// sharing.
#include "platform/portailecran.h"

#include <QColor>
#include <QDBusContext>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

namespace vd::test {

// The daemons and the source node. Without PipeWire (not built or not
// installed) pret() is false and raison() says why.
class PipeWirePrive {
public:
    PipeWirePrive();
    ~PipeWirePrive();
    static bool compile();   // Vendalo is built with PipeWire
    bool pret() const { return noeud_ != 0; }
    QString raison() const { return raison_; }
    quint32 noeud() const { return noeud_; }
    // A new connection to the daemon (the caller owns it), -1 when there is none.
    int connexion() const;
    void couleur(const QColor& c);   // of the pictures sent from now on
    struct Source;

private:
    QTemporaryDir dossier_;
    QProcess demon_, session_;
    std::unique_ptr<Source> source_;
    quint32 noeud_ = 0;
    QString raison_;
};

class FauxSessionPortail;

class FauxPortailEcran : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.ScreenCast")
    Q_PROPERTY(uint version READ lireVersion)
    Q_PROPERTY(uint AvailableSourceTypes READ typesDisponibles)
    Q_PROPERTY(uint AvailableCursorModes READ curseursDisponibles)
public:
    explicit FauxPortailEcran(PipeWirePrive* pipewire);
    ~FauxPortailEcran() override;
    // Registers the service and its object on the session bus.
    bool publier();

    uint versionPortail = 4;
    QHash<QString, uint> codes;   // Response code by method ("Start": 1 cancels), 0 by default
    QString erreurDbus;           // this method answers a D-Bus error
    bool pipewireMort = false;    // OpenPipeWireRemote hands a connection to nobody
    QColor ecran = QColor(230, 40, 40), fenetre = QColor(40, 200, 60);

    // What the last SelectSources asked, and what came after.
    QVariantMap selection;
    QString dernierJeton;   // the restore token of the last Start
    int sessionsFermees = 0;
    // Ends the running session from the desktop's side.
    void arreterPartage();

    uint lireVersion() const { return versionPortail; }
    uint typesDisponibles() const { return 3; }
    uint curseursDisponibles() const { return 7; }

public Q_SLOTS:
    QDBusObjectPath CreateSession(const QVariantMap& options);
    QDBusObjectPath SelectSources(const QDBusObjectPath& session, const QVariantMap& options);
    QDBusObjectPath Start(const QDBusObjectPath& session, const QString& parent, const QVariantMap& options);
    QDBusUnixFileDescriptor OpenPipeWireRemote(const QDBusObjectPath& session, const QVariantMap& options);

private:
    QDBusObjectPath repondre(const QString& methode, const QVariantMap& options, QVariantMap resultats);
    PipeWirePrive* pipewire_;
    std::unique_ptr<FauxSessionPortail> session_;
    QString cheminSession_;
    int jetons_ = 0;
};

class FauxSessionPortail : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Session")
public:
    explicit FauxSessionPortail(FauxPortailEcran* portail) : portail_(portail) {}
public Q_SLOTS:
    void Close();

private:
    FauxPortailEcran* portail_;
};

} // namespace vd::test
