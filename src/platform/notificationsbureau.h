#pragma once
// The desktop's notification service, for the cards the user also wants to
// see while the app is hidden. On Linux: org.freedesktop.Notifications over
// the session bus; tests replace it with a recording double.
#include <QHash>
#include <QObject>
#include <QString>

namespace vd::platform {

class NotificationsBureau : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // False when the service is absent or refused the notification.
    virtual bool envoyer(const QString& cle, const QString& titre, const QString& corps) = 0;
    virtual bool disponible() const = 0;

Q_SIGNALS:
    // The user clicked the notification of this key.
    void activee(const QString& cle);
};

class NotificationsBureauDBus final : public NotificationsBureau {
    Q_OBJECT
public:
    explicit NotificationsBureauDBus(QObject* parent = nullptr);
    bool envoyer(const QString& cle, const QString& titre, const QString& corps) override;
    bool disponible() const override;

private Q_SLOTS:
    void actionInvoquee(uint id, const QString& action);
    void fermee(uint id, uint raison);

private:
    QHash<uint, QString> cles_;
    bool abonne_ = false;
};

} // namespace vd::platform
