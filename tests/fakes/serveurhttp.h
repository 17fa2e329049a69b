#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for the fakes of outside services:
// keep-alive, Content-Length bodies, chunked (streamed) answers with pauses,
// and the failures a client must survive (silence, cut connection, delay).
#include <QByteArray>
#include <QHash>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QUrl>
#include <QUrlQuery>
#include <functional>

class QTcpServer;
class QTcpSocket;

namespace vd::fakes {

struct RequeteHttp {
    QByteArray methode;
    QString chemin;                        // decoded path, without the query
    QUrlQuery requete;
    QHash<QByteArray, QByteArray> entetes;   // names in lower case
    QByteArray corps;

    QByteArray entete(const QByteArray& nom) const { return entetes.value(nom.toLower()); }
    QString item(const QString& cle) const { return requete.queryItemValue(cle, QUrl::FullyDecoded); }
    QJsonValue json() const;               // the body as JSON (undefined when it is not)
};

struct ReponseHttpFactice {
    int statut = 200;
    QList<QPair<QByteArray, QByteArray>> entetes;
    QByteArray corps;
    // Streamed answer: sent with chunked transfer encoding, one chunk each,
    // intervalleMs of real time apart.
    QList<QByteArray> morceaux;
    int intervalleMs = 0;
    int couperApres = -1;    // streamed: close the connection after this many chunks, without the end
    // Close the connection without answering. Qt's network layer sends a request
    // again once when a kept-alive connection closes before any answer: inject
    // this fault several times to make the client see the failure.
    bool couper = false;
    bool retenir = false;    // never answer
    int delaiMs = 0;         // answer after this much real time

    static ReponseHttpFactice json(int statut, const QJsonValue& v);
    static ReponseHttpFactice texte(int statut, const QByteArray& corps, const QByteArray& type = "text/plain");
    static ReponseHttpFactice flux(const QList<QByteArray>& morceaux, int intervalleMs = 0);
};

using Gestionnaire = std::function<ReponseHttpFactice(const RequeteHttp&)>;

class ServeurHttpFactice : public QObject {
    Q_OBJECT
public:
    explicit ServeurHttpFactice(QObject* parent = nullptr);
    ~ServeurHttpFactice() override;

    bool demarrer();   // random port on 127.0.0.1
    void arreter();
    quint16 port() const;
    QUrl url() const;  // "http://127.0.0.1:<port>"
    void setGestionnaire(Gestionnaire g) { gestionnaire_ = std::move(g); }

    const QList<RequeteHttp>& journal() const { return journal_; }
    int nombre(const QByteArray& methode, const QString& chemin) const;
    void viderJournal() { journal_.clear(); }

Q_SIGNALS:
    void requeteRecue(const QString& chemin);

private:
    void nouvelleConnexion();
    void lire(QTcpSocket* s);
    void repondre(QTcpSocket* s, const ReponseHttpFactice& r);
    void envoyerMorceau(QPointer<QTcpSocket> s, ReponseHttpFactice r, int i);

    QTcpServer* serveur_;
    Gestionnaire gestionnaire_;
    QList<RequeteHttp> journal_;
    QHash<QTcpSocket*, QByteArray> tampons_;
};

} // namespace vd::fakes
