#pragma once
// Shared pieces of the two streaming transcription engines: the audio byte
// counter, where a socket's credential comes from, the French messages of
// every failure, and the wire formats that do not depend on a socket.
#include "ai/clientia.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QUrl>
#include <optional>

namespace vd::call {

enum class IdMoteur { deepgram, soniox };
QString texteIdMoteur(IdMoteur m);                           // "deepgram" | "soniox"
std::optional<IdMoteur> idMoteurDepuisTexte(const QString& t);

// Every audio byte actually handed to a socket, from any stream.
class CompteurAudio {
public:
    void ajouter(qint64 octets)
    {
        QMutexLocker l(&verrou);
        total += octets;
    }
    qint64 valeur() const
    {
        QMutexLocker l(&verrou);
        return total;
    }

private:
    mutable QMutex verrou;
    qint64 total = 0;
};

// The credential of one socket. For the Soniox service `cle` is the key put
// in the configuration frame; for Deepgram it is the whole Authorization
// header value ("Token …" or "Bearer …").
struct AccesTranscription {
    QString cle;
    QUrl url;
    ai::SourceIA mode = ai::SourceIA::cle;
    std::optional<bool> diarisation;   // the backend may turn speaker separation off
};

namespace messages {
inline const QString indisponible = QStringLiteral(
    "Aucune clé de transcription n'est configurée. Ajoutez la vôtre dans Réglages, ou lancez l'appel simulé.");
inline const QString delaiOuverture = QStringLiteral("La transcription ne répond pas. Vérifiez votre connexion internet.");
inline const QString connexionImpossible = QStringLiteral("Connexion impossible. Vérifiez votre accès à internet.");
inline const QString neDemarrePas = QStringLiteral("La transcription ne démarre pas. Réessayez dans un instant.");
inline const QString cleRefuseeDeepgram = QStringLiteral("La transcription refuse votre clé. Vérifiez-la dans Réglages.");
inline const QString nonConnecte = QStringLiteral("Connectez-vous pour lancer la transcription.");
inline const QString pasEncoreDisponible = QStringLiteral("La transcription n'est pas encore disponible.");
inline const QString pasDeConnexionCloud = QStringLiteral("Pas de connexion. Quillo et la transcription ont besoin d'internet.");
inline const QString relaisEchec = QStringLiteral("Impossible d'ouvrir la transcription. Réessayez dans un instant.");
inline const QString relaisMuet = QStringLiteral("Le serveur de transcription ne répond pas. Vérifiez votre connexion internet.");
} // namespace messages

// Message for a Soniox service error code, by credential mode.
QString messageErreurSoniox(int code, ai::SourceIA mode);
// True for the errors after which reconnecting cannot help.
bool erreurSonioxDefinitive(int code, const QString& type);

// True for the socket errors that mean the network itself is missing.
bool erreurReseau(QAbstractSocket::SocketError e);
// Final message of a Soniox opening that failed without a service error.
QString messageEchecOuvertureSoniox(QAbstractSocket::SocketError e);
// Final message of a failed Deepgram opening; statutHttp 0 when none.
QString messageEchecOuvertureDeepgram(QAbstractSocket::SocketError e, int statutHttp, ai::SourceIA mode);
// HTTP status of a refused WebSocket handshake, read from the socket's error text; 0 when none.
int statutHttpPoignee(const QString& texteErreur);

// Soniox configuration frame (nine keys), `{}` if it cannot be written.
QByteArray trameConfigurationSoniox(const QString& cle, const QString& langue, bool diarisation);
QStringList indicesLangue(const QString& langue);

// Addresses, each overridable for local servers (VD_URL_SONIOX,
// VD_URL_SONIOX_EU, VD_URL_DEEPGRAM).
QUrl urlSoniox(bool europe);
QUrl urlDeepgram(const QString& langue, int canaux, const QUrl& base = {});

// Audio arithmetic: 16-bit samples at 16 kHz, 32 bytes per millisecond per channel.
constexpr qint64 octetsParMsMono = 32;
constexpr qint64 plafondAttenteMono = 160000;   // 5 s of held audio per channel

} // namespace vd::call
