#include "fauxrelaistranscription.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace vd::fakes {

FauxRelaisTranscription::FauxRelaisTranscription(QObject* parent) : QObject(parent), serveur_(new QTcpServer(this))
{
    connect(serveur_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = serveur_->nextPendingConnection())
            connect(s, &QTcpSocket::readyRead, this, [this, s] { lire(s); });
    });
}

bool FauxRelaisTranscription::demarrer() { return serveur_->listen(QHostAddress::LocalHost, 0); }

QUrl FauxRelaisTranscription::url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(serveur_->serverPort())); }

void FauxRelaisTranscription::lire(QTcpSocket* s)
{
    const QByteArray vu = s->peek(s->bytesAvailable());
    const qsizetype fin = vu.indexOf("\r\n\r\n");
    if (fin < 0)
        return;
    qsizetype longueur = 0;
    for (const QByteArray& l : vu.left(fin).split('\n'))
        if (l.toLower().startsWith("content-length:"))
            longueur = l.mid(15).trimmed().toLongLong();
    if (vu.size() < fin + 4 + longueur)
        return;
    s->read(fin + 4 + longueur);
    s->disconnect(this);
    const QList<QByteArray> premiere = vu.left(vu.indexOf("\r\n")).split(' ');
    requetes.append({premiere.value(0), premiere.value(1), vu.mid(fin + 4, longueur)});
    if (muet)
        return;
    s->write("HTTP/1.1 " + QByteArray::number(statut) + " X\r\nContent-Type: application/json\r\nContent-Length: "
             + QByteArray::number(corps.size()) + "\r\nConnection: close\r\n\r\n" + corps);
    s->flush();
    s->disconnectFromHost();
    connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
}

} // namespace vd::fakes
