#pragma once
// Failures of a language-model request, and the French messages they show.
#include "clientia.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QString>
#include <optional>

namespace vd::ai {

// A failed HTTP exchange (or an error event inside the stream).
struct ErreurHTTP {
    int statut = 0;
    QString message;
    std::optional<double> reessayerApres;   // seconds
    bool pendantFlux = false;
};

namespace messages {
inline const QString generique = QStringLiteral("Une erreur est survenue. Réessayez dans un instant.");
inline const QString tropLong = QStringLiteral("Quillo met trop de temps à répondre. Réessayez dans un instant.");
inline const QString coupee = QStringLiteral("La réponse a été coupée. Réessayez.");
inline const QString illisible = QStringLiteral("Réponse illisible.");
inline const QString illisibleCloud = QStringLiteral("Réponse illisible. Relancez la demande.");
inline const QString maxTokens = QStringLiteral("La réponse a dépassé la longueur maximale. Réessayez, ou raccourcissez la demande.");
inline const QString incomplete = QStringLiteral("Réponse incomplète. Réessayez.");
inline const QString refus = QStringLiteral("Quillo ne peut pas répondre à cette demande. Reformulez-la et réessayez.");
inline const QString reseau = QStringLiteral("Connexion impossible. Vérifiez votre accès à internet.");
inline const QString reseauCloud = QStringLiteral("Pas de connexion. Quillo a besoin d'internet.");
inline const QString connexionRequise = QStringLiteral("Connectez-vous pour utiliser Quillo.");
inline const QString demoSansReponse = QStringLiteral("La démo n'a pas de réponse pour cette demande.");
inline const QString workspace = QStringLiteral(
    "Cette clé Anthropic n'est liée à aucun workspace. Indiquez l'ID du workspace dans Réglages, Connexions, sous votre clé.");
inline const QString aucuneRoute = QStringLiteral(
    "Quillo n'est pas disponible : ajoutez votre clé dans Réglages ou connectez-vous à votre compte.");
inline const QString payloadIllisible = QStringLiteral(
    "La demande n'a pas pu être préparée : ses données sont illisibles. Réessayez.");
} // namespace messages

// The message for a failed HTTP status: the table of the own-key route, or
// the one of the relay and backend routes.
QString messagePourStatut(int statut, const QString& messageServeur, SourceIA source);
// Own-key route: a key not bound to a workspace gets its own message.
bool erreurDeWorkspace(const QString& messageServeur);
// The full mapping of an HTTP failure (workspace rule first on the own-key route).
QString messagePourErreurHTTP(const ErreurHTTP& e, SourceIA source);

// The message of an error body (at most 64,000 bytes are given):
// error.message, else message, else erreur, else the raw text.
QString messageDuCorps(const QByteArray& corps);
// "retry-after" header in seconds.
std::optional<double> lireRetryAfter(const QByteArray& valeur);
// The backend's body field "retry_after", kept when at least 0.2 s.
std::optional<double> retryAfterDuCorps(const QByteArray& corps);
// The backend's short code in an error body ("fonction_desactivee", …), if any.
QString codeDuCorps(const QByteArray& corps);

bool statutReessayable(int statut);
bool reseauReessayable(QNetworkReply::NetworkError e);
// Delay before retry number n (0, 1, …) in milliseconds.
int delaiReessaiMs(int n, std::optional<double> reessayerApres, bool statutHTTP);

} // namespace vd::ai
