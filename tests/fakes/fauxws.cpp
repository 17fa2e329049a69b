#include "fauxws.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QWebSocket>
#include <QWebSocketServer>

namespace vd::fakes {

ServeurWsFactice::ServeurWsFactice(QObject* parent)
    : QObject(parent), tcp_(new QTcpServer(this)),
      ws_(new QWebSocketServer(QStringLiteral("faux"), QWebSocketServer::NonSecureMode, this))
{
    connect(tcp_, &QTcpServer::newConnection, this, &ServeurWsFactice::surTcp);
    connect(ws_, &QWebSocketServer::newConnection, this, &ServeurWsFactice::surWebSocket);
}

ServeurWsFactice::~ServeurWsFactice()
{
    for (auto& c : connexions_)
        if (c.socket)
            c.socket->disconnect(this);
}

bool ServeurWsFactice::demarrer() { return tcp_->listen(QHostAddress::LocalHost, 0); }

quint16 ServeurWsFactice::port() const { return tcp_->serverPort(); }

QUrl ServeurWsFactice::url(const QString& chemin) const
{
    return QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(port()).arg(chemin));
}

void ServeurWsFactice::refuserProchaines(int n, int statut)
{
    refus_ = n;
    statutRefus_ = statut;
}

void ServeurWsFactice::ignorerProchaines(int n) { ignores_ = n; }

void ServeurWsFactice::surTcp()
{
    while (QTcpSocket* s = tcp_->nextPendingConnection()) {
        if (ignores_ > 0) {
            --ignores_;
            ++tentatives_;
            muets_.append(s);   // kept open, never answered
            continue;
        }
        connect(s, &QTcpSocket::readyRead, this, [this, s] { lirePoignee(s); });
    }
}

void ServeurWsFactice::lirePoignee(QTcpSocket* s)
{
    const QByteArray vu = s->peek(s->bytesAvailable());
    const qsizetype fin = vu.indexOf("\r\n\r\n");
    if (fin < 0)
        return;
    s->disconnect(this);
    ++tentatives_;
    Connexion c;
    const QList<QByteArray> lignes = vu.left(fin).split('\n');
    const QList<QByteArray> premiere = lignes.value(0).trimmed().split(' ');
    const QUrl cible(QStringLiteral("http://h") + QString::fromUtf8(premiere.value(1)));
    c.chemin = cible.path();
    for (const auto& [k, v] : QUrlQuery(cible).queryItems(QUrl::FullyDecoded))
        c.requete.append({k, v});
    for (qsizetype i = 1; i < lignes.size(); ++i) {
        const QByteArray l = lignes[i].trimmed();
        const qsizetype deux = l.indexOf(':');
        if (deux > 0)
            c.entetes.insert(l.left(deux).trimmed().toLower(), l.mid(deux + 1).trimmed());
    }
    int refus = statutPoignee(c);
    if (refus_ > 0) {
        --refus_;
        refus = statutRefus_;
    }
    if (refus > 0) {
        const QByteArray statut = QByteArray::number(refus);
        s->write("HTTP/1.1 " + statut + " Refus\r\nContent-Type: application/json\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}");
        s->flush();
        s->disconnectFromHost();
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        return;
    }
    enPoignee_.push_back(std::move(c));
    ws_->handleConnection(s);
}

void ServeurWsFactice::surWebSocket()
{
    while (QWebSocket* w = ws_->nextPendingConnection()) {
        w->setParent(this);
        Connexion c;
        if (!enPoignee_.empty()) {
            c = std::move(enPoignee_.front());
            enPoignee_.pop_front();
        }
        c.socket = w;
        const int i = int(connexions_.size());
        connexions_.append(std::move(c));
        connect(w, &QWebSocket::textMessageReceived, this, [this, i](const QString& t) {
            connexions_[i].textes.append(t);
            surTexte(i, t);
            Q_EMIT texteRecu(i, t);
        });
        connect(w, &QWebSocket::binaryMessageReceived, this, [this, i](const QByteArray& b) {
            connexions_[i].taillesAudio.append(int(b.size()));
            connexions_[i].audio += b;
            surAudio(i, b);
            Q_EMIT audioRecu(i, int(b.size()));
        });
        connect(w, &QWebSocket::disconnected, this, [this, i] {
            connexions_[i].fermee = true;
            Q_EMIT connexionFermee(i);
        });
        surConnexion(i);
        Q_EMIT connexionOuverte(i);
    }
}

void ServeurWsFactice::envoyerTexte(int i, const QString& texte)
{
    if (i >= 0 && i < connexions_.size() && connexions_[i].socket)
        connexions_[i].socket->sendTextMessage(texte);
}

void ServeurWsFactice::envoyerJson(int i, const QByteArray& json) { envoyerTexte(i, QString::fromUtf8(json)); }

void ServeurWsFactice::fermer(int i)
{
    if (i >= 0 && i < connexions_.size() && connexions_[i].socket)
        connexions_[i].socket->close();
}

void ServeurWsFactice::lacher(int i)
{
    if (i >= 0 && i < connexions_.size() && connexions_[i].socket)
        connexions_[i].socket->abort();
}

} // namespace vd::fakes
