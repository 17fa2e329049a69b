#pragma once
// The signed-in session, the pending PKCE record, and where both are kept
// between runs (the credential store).
#include "model/json.h"
#include "platform/coffre.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace vd::cloud {

struct UtilisateurAuth {
    QString id;
    QString email;
    std::optional<model::JSONValeur> metadonnees;
    std::optional<QString> fournisseur;   // "email", "google"…
    bool emailConfirme = false;
    bool operator==(const UtilisateurAuth&) const = default;
};

struct SessionAuth {
    QString accessToken;
    QString refreshToken;
    QDateTime expireLe;   // UTC
    UtilisateurAuth utilisateur;
    bool operator==(const SessionAuth&) const = default;
};

struct PKCEEnAttente {
    QString verificateur;
    QString type;   // "signup", "recovery" or "google"
    QString email;
    bool operator==(const PKCEEnAttente&) const = default;
};

// The "user" object of the authentication service.
std::optional<UtilisateurAuth> utilisateurDepuisJson(const QJsonObject& o);
// A token answer ("access_token", "refresh_token", "expires_at" preferred to
// "expires_in", "user"); none when a field the session needs is missing.
std::optional<SessionAuth> sessionDepuisReponse(const QJsonObject& o, const QDateTime& maintenant);

QByteArray versJson(const SessionAuth& s);
std::optional<SessionAuth> sessionDepuisJson(const QByteArray& json);
QByteArray versJson(const PKCEEnAttente& p);
std::optional<PKCEEnAttente> pkceDepuisJson(const QByteArray& json);

// PKCE: 64 characters from the unreserved set, drawn with the system generator;
// challenge = Base64url(SHA-256(verifier)) without padding.
QString nouveauVerificateur();
QString defiPkce(const QString& verificateur);

// Session and pending PKCE in the credential store (items "session" and "pkce").
// An unreadable item counts as none.
class StockageSession {
public:
    explicit StockageSession(platform::Coffre& coffre) : coffre_(coffre) {}
    std::optional<SessionAuth> lireSession() const;
    void ecrireSession(const std::optional<SessionAuth>& s);
    std::optional<PKCEEnAttente> lirePkce() const;
    void ecrirePkce(const std::optional<PKCEEnAttente>& p);

    static inline const QString cleSession = QStringLiteral("session");
    static inline const QString clePkce = QStringLiteral("pkce");

private:
    platform::Coffre& coffre_;
};

} // namespace vd::cloud
