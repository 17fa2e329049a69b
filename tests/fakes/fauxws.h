#pragma once
// Base of the fake WebSocket services: listens on 127.0.0.1 (random port),
// reads each HTTP handshake itself (path, query items in order, headers),
// can refuse it with an HTTP status or leave it unanswered, then hands the
// socket to a QWebSocketServer and records every frame the client sends.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <deque>

class QTcpServer;
class QTcpSocket;
class QWebSocket;
class QWebSocketServer;

namespace vd::fakes {

class ServeurWsFactice : public QObject {
    Q_OBJECT
public:
    struct Connexion {
        QString chemin;
        QList<std::pair<QString, QString>> requete;   // query items, in order
        QMap<QByteArray, QByteArray> entetes;         // lower-case names
        QPointer<QWebSocket> socket;
        QStringList textes;         // every text frame, in order
        QList<int> taillesAudio;    // size of every binary frame
        QByteArray audio;           // all binary payloads, concatenated
        int keepAlives = 0;
        bool finRecue = false;
        bool fermee = false;        // the client's socket is gone
    };

    explicit ServeurWsFactice(QObject* parent = nullptr);
    ~ServeurWsFactice() override;
    bool demarrer();
    QUrl url(const QString& chemin) const;
    quint16 port() const;

    int nombreConnexions() const { return int(connexions_.size()); }
    const Connexion& connexion(int i) const { return connexions_.at(i); }
    int tentatives() const { return tentatives_; }   // handshakes seen, refused ones included
    // Protocol violations noticed in what the client sent.
    QStringList anomalies;

    // The next n handshakes get this HTTP status instead of an upgrade.
    void refuserProchaines(int n, int statut);
    // The next n connections are accepted and never answered.
    void ignorerProchaines(int n);
    void envoyerTexte(int i, const QString& texte);
    void envoyerJson(int i, const QByteArray& json);
    void fermer(int i);      // WebSocket close
    void lacher(int i);      // TCP dropped without a close

Q_SIGNALS:
    void connexionOuverte(int i);
    void texteRecu(int i, const QString& texte);
    void audioRecu(int i, int taille);
    void connexionFermee(int i);

protected:
    // HTTP status that refuses this handshake; 0 accepts it.
    virtual int statutPoignee(const Connexion&) const { return 0; }
    virtual void surConnexion(int) {}
    virtual void surTexte(int i, const QString& texte) = 0;
    virtual void surAudio(int, const QByteArray&) {}
    Connexion& mutable_(int i) { return connexions_[i]; }

private:
    void surTcp();
    void lirePoignee(QTcpSocket* s);
    void surWebSocket();

    QTcpServer* tcp_;
    QWebSocketServer* ws_;
    QList<Connexion> connexions_;
    std::deque<Connexion> enPoignee_;
    QList<QPointer<QTcpSocket>> muets_;
    int refus_ = 0;
    int statutRefus_ = 401;
    int ignores_ = 0;
    int tentatives_ = 0;
};

} // namespace vd::fakes
