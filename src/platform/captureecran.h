#pragma once
// One screenshot for a help request. On Linux the desktop portal's Screenshot
// (org.freedesktop.portal.Screenshot over the session bus, answered by the
// Request object's Response signal) lets the user choose what to capture; on
// an X11 session without portal, Qt grabs the whole screen.
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <memory>

namespace vd::platform {

class CaptureEcran : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Starts one capture written as PNG to chemin; terminee() follows once.
    virtual void capturer(const QString& chemin) = 0;
    virtual bool disponible() const = 0;

    // The file of a capture that cannot be taken here.
    static QString indisponible() { return QStringLiteral("La capture d'écran n'est pas disponible sur ce bureau."); }
    static QString echouee() { return QStringLiteral("La capture d'écran n'a pas abouti. Réessayez."); }

Q_SIGNALS:
    // ok: the file is written; not ok with an empty message: the user cancelled.
    void terminee(bool ok, const QString& chemin, const QString& message);
};

class CapturePortail final : public CaptureEcran {
    Q_OBJECT
public:
    explicit CapturePortail(QObject* parent = nullptr);
    void capturer(const QString& chemin) override;
    bool disponible() const override;

private Q_SLOTS:
    void reponse(uint code, const QVariantMap& resultats);

private:
    void finir(bool ok, const QString& message);
    QString chemin_;
    QString requete_;   // the Request object's path being listened to
    int jeton_ = 0;
    bool enCours_ = false;
};

class CaptureX11 final : public CaptureEcran {
    Q_OBJECT
public:
    using CaptureEcran::CaptureEcran;
    void capturer(const QString& chemin) override;
    bool disponible() const override;
};

// The portal when the session bus has one, else Qt's grab on X11 (possibly unavailable).
std::unique_ptr<CaptureEcran> creerOutilCapture();

} // namespace vd::platform
