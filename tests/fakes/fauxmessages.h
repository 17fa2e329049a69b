#pragma once
// Local stand-in for the Messages API and for the user's relay server
// (127.0.0.1, random port). It answers POST "v1/messages",
// "api/v1/messages" and "functions/v1/claude" from a queue of scripted
// answers — event streams as the real server sends them, error statuses with
// JSON bodies and retry-after, stalls, cuts mid-line or mid-character — and
// GET "api/etat" with the relay's state. Every request is recorded.
#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <functional>
#include <optional>

namespace vd::fakes {

struct RequeteRecue {
    QByteArray methode;
    QByteArray chemin;
    QHash<QByteArray, QByteArray> entetes;   // names in lower case
    QByteArray corps;
    QJsonObject json() const;
};

struct ReponseFaux {
    int statut = 200;
    QList<QPair<QByteArray, QByteArray>> entetes;
    // Pieces of the body, each written after its delay (real milliseconds) so
    // the client reads them separately.
    QList<QPair<int, QByteArray>> morceaux;
    bool fermer = true;                        // close after the last piece; false: the stream stays open
    std::optional<qint64> longueurAnnoncee;    // Content-Length (a larger one makes a cut a network error)

    void entete(const QByteArray& nom, const QByteArray& valeur) { entetes.append(qMakePair(nom, valeur)); }
    void morceau(const QByteArray& octets, int delaiMs = 0) { morceaux.append(qMakePair(delaiMs, octets)); }

    // An event stream: message_start, one content block of these text deltas
    // (pings in between), message_delta with stopReason, message_stop.
    static ReponseFaux flux(const QStringList& textes, const QString& stopReason = QStringLiteral("end_turn"),
                            bool messageStop = true, const QString& modele = QStringLiteral("claude-haiku-4-5"));
    // A JSON error body {"type":"error","error":{"type","message"}}.
    static ReponseFaux erreur(int statut, const QString& message, std::optional<QByteArray> retryAfter = std::nullopt,
                              const QString& type = QStringLiteral("api_error"));
    // One body sent in pieces cut at the given byte offsets.
    static ReponseFaux decoupee(const QByteArray& corps, const QList<int>& coupures, int delaiMs = 15);
};

// Lines of the event stream.
QByteArray evenementSSE(const QByteArray& nom, const QJsonObject& donnees);
QByteArray deltaTexte(const QString& texte);
QByteArray ping();
QByteArray debutMessage(const QString& modele = QStringLiteral("claude-haiku-4-5"));
QByteArray finMessage(const QString& stopReason = QStringLiteral("end_turn"));
QByteArray arretMessage();
QByteArray erreurFlux(const QString& type, const QString& message);

class FauxMessages : public QObject {
    Q_OBJECT
public:
    explicit FauxMessages(QObject* parent = nullptr);
    ~FauxMessages() override;
    bool demarrer();
    QUrl url() const;
    quint16 port() const;

    // Answers of the POST routes, used in order; when the queue is empty the
    // answer is a 500 error saying so.
    void ajouter(ReponseFaux r) { file_.append(std::move(r)); }
    // Relay state ("api/etat"): JSON body, or a status, or no answer at all.
    QJsonObject etatRelais{{QStringLiteral("claude"), true}, {QStringLiteral("deepgram"), false}};
    int statutEtat = 200;
    QByteArray corpsEtatBrut;      // when set, sent instead of etatRelais
    bool etatMuet = false;         // "api/etat" never answers

    const QList<RequeteRecue>& requetes() const { return requetes_; }
    int nombre(const QByteArray& chemin) const;
    // Pushes bytes on the streams left open (stalls), or closes them.
    void envoyer(const QByteArray& octets);
    void couper();
    int connexionsOuvertes() const;

Q_SIGNALS:
    void requeteRecue();

private:
    void lire(QTcpSocket* s);
    void repondre(QTcpSocket* s, const RequeteRecue& r);
    void ecrireMorceaux(QPointer<QTcpSocket> s, ReponseFaux r, int index);

    QTcpServer serveur_;
    QList<ReponseFaux> file_;
    QList<RequeteRecue> requetes_;
    QHash<QTcpSocket*, QByteArray> tampons_;
    QList<QPointer<QTcpSocket>> ouvertes_;
};

} // namespace vd::fakes
