#pragma once
// The connector for outside AI assistants: the personal keys kept by the
// backend (created once in clear, listed, revoked) and the ready-made settings
// of each kind of client, for the hosted read-only server and for the local
// "vendalo mcp" server.
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>

#include <qcoro/qcorotask.h>

namespace vd::cloud {
class ClientSupabase;
}

namespace vd::assistant {

struct CleMcp {
    QString id, nom, prefixe;
    std::optional<QDateTime> creeLe, derniereUtilisation;
    static CleMcp depuisJson(const QJsonObject& o);
};

class ClesMcp : public QObject {
    Q_OBJECT
public:
    explicit ClesMcp(cloud::ClientSupabase* client, QObject* parent = nullptr);

    const QList<CleMcp>& cles() const { return cles_; }
    int maximum() const { return maximum_; }
    int parMinute() const { return parMinute_; }
    int parJour() const { return parJour_; }
    // The key just created, in clear: shown once, forgotten by oublierNouvelle().
    const std::optional<QString>& nouvelle() const { return nouvelle_; }
    void oublierNouvelle();
    const std::optional<QString>& erreur() const { return erreur_; }
    bool occupe() const { return occupe_; }

    QCoro::Task<bool> charger();
    QCoro::Task<bool> creer(QString nom);
    QCoro::Task<bool> revoquer(QString id);

    // "5 clés au plus : révoquez-en une.", "60 requêtes par minute et 2000 par jour pour chaque clé."
    QString texteLimites() const;
    // "jamais utilisée" or the last use.
    static QString texteUtilisation(const CleMcp& c);
    // The revocation's explanation, with the key's name.
    static QString texteRevocation(const QString& nom);

Q_SIGNALS:
    void change();

private:
    void echec(const QString& message);

    cloud::ClientSupabase* client_;
    QList<CleMcp> cles_;
    int maximum_ = 5, parMinute_ = 60, parJour_ = 2000;
    std::optional<QString> nouvelle_, erreur_;
    bool occupe_ = false;
};

// The ready-made settings. cle empty: the placeholder "COLLEZ_VOTRE_CLE_ICI".
namespace textesconnecteur {
inline const QString lectureSeule = QStringLiteral(
    "Lecture seule : l'assistant lit ce que vous voyez dans Vendalo (vos appels, ceux de votre équipe si vous la pilotez, le CRM et le "
    "Framework). Il ne modifie rien.");
inline const QString autreClient = QStringLiteral(
    "Tout client MCP en Streamable HTTP. Avec un en-tête : l'adresse du serveur et votre clé. Sans en-tête : votre adresse "
    "personnelle, qui contient la clé.");
inline const QString local = QStringLiteral(
    "Sur cet ordinateur, sans clé : l'assistant lance Vendalo en serveur local, et rien ne quitte l'ordinateur.");
// The server address: the backend base address followed by "/functions/v1/mcp".
QString adresseServeur(const QString& baseBackend);
QString blocBureau(const QString& npx, const QString& adresse, const QString& cle);
QString commandeCode(const QString& adresse, const QString& cle);
QString blocCursor(const QString& adresse, const QString& cle);
// The address that carries the key, for clients without headers.
QString adressePersonnelle(const QString& adresse, const QString& cle);
// A desktop assistant's entry for the local server "vendalo mcp".
QString blocLocal(const QString& executable);
} // namespace textesconnecteur

} // namespace vd::assistant
