#pragma once
// The desktop portal's ScreenCast (org.freedesktop.portal.ScreenCast over the
// session bus), which lets a Wayland desktop share the screen or one window:
// CreateSession, SelectSources (what to film, the cursor drawn in, and from
// version 4 a restore token so the desktop can skip its dialog next time),
// Start, then OpenPipeWireRemote for the PipeWire connection that carries the
// pictures. Each step is answered by its Request object's Response signal.
#include <QDBusArgument>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <atomic>
#include <memory>
#include <mutex>

namespace vd::platform {

// One stream of Start's results: the PipeWire node and its properties.
struct FluxPortail {
    quint32 noeud = 0;
    QVariantMap proprietes;
};
QDBusArgument& operator<<(QDBusArgument& a, const FluxPortail& f);
const QDBusArgument& operator>>(const QDBusArgument& a, FluxPortail& f);

class PortailEcran : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    enum class Source : uint { ecran = 1, fenetre = 2 };

    // Whether the session bus has (or can start) the portal.
    virtual bool disponible() const = 0;
    // Starts the sequence; pret() or echec() follows once.
    virtual void ouvrir(Source source) = 0;
    // Any thread: ends the session; nothing is signalled after it.
    virtual void fermer() = 0;

    static QString annule();
    static QString refuse();
    static QString arrete();
    static QString absent();

    static QString cleJeton() { return QStringLiteral("vd.enregistrement.jetonPortail"); }
    // Which source the saved token restores: a screen token never films a window.
    static QString cleJetonSource() { return QStringLiteral("vd.enregistrement.jetonPortailSource"); }

Q_SIGNALS:
    // The desktop shares: the PipeWire connection and the node to read.
    void pret(const QDBusUnixFileDescriptor& fd, quint32 noeud);
    // Ready-to-show French reasons.
    void echec(const QString& message);
    void ferme(const QString& message);   // the desktop stopped the sharing
};

class PortailEcranDbus final : public PortailEcran {
    Q_OBJECT
public:
    explicit PortailEcranDbus(QObject* parent = nullptr);
    ~PortailEcranDbus() override;
    bool disponible() const override;
    void ouvrir(Source source) override;
    void fermer() override;

private Q_SLOTS:
    void reponse(uint code, const QVariantMap& resultats);
    void sessionFermee(const QVariantMap& details);

private:
    using Suite = void (PortailEcranDbus::*)(const QVariantMap& resultats);
    // One call whose answer comes as a Request's Response; suite follows on success.
    void demander(const QString& methode, const QVariantList& arguments, QVariantMap options, Suite suite);
    void ecouter(const QString& requete);
    void lireProprietes();
    void creerSession();
    void choisirSources(const QVariantMap& resultats);
    void demarrerPartage(const QVariantMap& resultats);
    void ouvrirPipeWire(const QVariantMap& resultats);
    void echouer(const QString& message);

    Source source_ = Source::ecran;
    uint version_ = 0;
    uint curseurs_ = 0;   // AvailableCursorModes
    QString requete_;
    Suite suite_ = nullptr;
    quint32 noeud_ = 0;
    int jeton_ = 0;
    std::atomic<bool> actif_{false};
    QString sessionEcoutee_;   // whose Closed signal is listened to
    std::mutex verrou_;   // session_ against fermer() from another thread
    QString session_;
};

// The portal of the session bus.
std::unique_ptr<PortailEcran> creerPortailEcran();

} // namespace vd::platform

Q_DECLARE_METATYPE(vd::platform::FluxPortail)
