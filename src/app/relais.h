#pragma once
// The local channel through which a subcommand hands its request to the
// running app: one request, an acknowledgement, one answer, each framed as
// "MOT <longueur>\n" followed by that many bytes. The app treats every request
// as untrusted input.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

class QLocalSocket;

namespace vd::app {

struct RequeteCommande {
    QStringList args;                 // the command name, then its arguments
    std::optional<QByteArray> entree;  // standard input, when the command reads it
    QString dossier;                   // working folder for relative paths
    QByteArray versOctets() const;
    // None when the bytes are not a well-formed request.
    static std::optional<RequeteCommande> depuisOctets(const QByteArray& octets);
};

struct ReponseCommande {
    int code = 1;
    QByteArray sortie, erreurs;
    QByteArray versOctets() const;
    static std::optional<ReponseCommande> depuisOctets(const QByteArray& octets);
};

namespace relais {

// Largest request or answer either side accepts.
constexpr qint64 tailleMax = 64 * 1024 * 1024;
inline QString messageTropGrand() { return QStringLiteral("La demande dépasse la taille maximale de 64 Mo : rien n'a été modifié."); }
inline QString messageOccupe() { return QStringLiteral("Vendalo est occupé par une autre commande. Réessayez dans un instant."); }
inline QString messageCoupure()
{
    return QStringLiteral("La liaison avec l'application s'est interrompue avant sa réponse : vérifiez le résultat dans l'application.");
}

// Frame header words.
inline constexpr char motCommande[] = "VDCMD";
inline constexpr char motAccuse[] = "VDACK";
inline constexpr char motRefus[] = "VDREFUS";
inline constexpr char motDepart[] = "VDGO";
inline constexpr char motReponse[] = "VDREP";

QByteArray trame(const char* mot, const QByteArray& corps);
// Header "MOT N": the word and N, or none when malformed.
std::optional<std::pair<QByteArray, qint64>> lireEntete(const QByteArray& ligne);

// Same user on the other end of a connected local socket (SO_PEERCRED where the system has it).
bool memeUtilisateur(qintptr descripteur);

// Client side. Not connected (no app listening): std::monostate. Refused or
// cut: the message. Otherwise the app's answer.
using Issue = std::variant<std::monostate, QString, ReponseCommande>;
Issue envoyer(const QString& serveur, const RequeteCommande& requete, int delaiAccuseMs = 5000);

} // namespace relais
} // namespace vd::app
