#pragma once
// Open at login: an XDG autostart entry on Linux, behind ServiceDemarrage so
// tests use an in-memory service.
#include "platform/preferences.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace vd::app {

enum class StatutDemarrage { inscrit, nonInscrit, introuvable };

class ServiceDemarrage {
public:
    virtual ~ServiceDemarrage() = default;
    virtual StatutDemarrage statut() const = 0;
    // Empty on success, else the system's reason (for the log only).
    virtual QString inscrire() = 0;
    virtual QString desinscrire() = 0;
};

// "$XDG_CONFIG_HOME/autostart/vendalo.desktop", launching this executable
// with "--au-demarrage" so the start knows it came from the session.
class ServiceDemarrageXdg final : public ServiceDemarrage {
public:
    explicit ServiceDemarrageXdg(QString executable, QString fichier = {});
    StatutDemarrage statut() const override;
    QString inscrire() override;
    QString desinscrire() override;
    QString fichier() const { return fichier_; }
    static QString argumentLancement() { return QStringLiteral("--au-demarrage"); }

private:
    QString executable_, fichier_;
};

class ServiceDemarrageFactice final : public ServiceDemarrage {
public:
    StatutDemarrage statut() const override { return statutCourant; }
    QString inscrire() override;
    QString desinscrire() override;

    StatutDemarrage statutCourant = StatutDemarrage::nonInscrit;
    std::optional<QString> echec;   // when set, both operations fail with it
    QStringList appels;             // "inscrire" / "desinscrire", in call order
};

class ConnexionAuDemarrage : public QObject {
    Q_OBJECT
public:
    ConnexionAuDemarrage(ServiceDemarrage& service, platform::Preferences& defaults, QObject* parent = nullptr);

    StatutDemarrage statut() const { return statut_; }
    bool actif() const { return statut_ == StatutDemarrage::inscrit; }
    std::optional<QString> erreur() const { return erreur_; }

    // First start only ("vd.demarrage.defautApplique" absent): register, once.
    void appliquerDefaut();
    void definir(bool actif);
    void relire();

Q_SIGNALS:
    void change();

private:
    ServiceDemarrage& service_;
    platform::Preferences& defaults_;
    StatutDemarrage statut_;
    std::optional<QString> erreur_;
};

} // namespace vd::app
