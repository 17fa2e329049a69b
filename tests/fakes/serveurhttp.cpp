#include "serveurhttp.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace vd::fakes {

QJsonValue RequeteHttp::json() const
{
    QJsonParseError e;
    const QJsonDocument d = QJsonDocument::fromJson("[" + corps + "]", &e);
    if (e.error != QJsonParseError::NoError || d.array().size() != 1)
        return QJsonValue(QJsonValue::Undefined);
    return d.array().at(0);
}

ReponseHttpFactice ReponseHttpFactice::json(int statut, const QJsonValue& v)
{
    ReponseHttpFactice r;
    r.statut = statut;
    r.entetes.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json")));
    if (v.isObject())
        r.corps = QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
    else if (v.isArray())
        r.corps = QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact);
    else {
        const QByteArray b = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
        r.corps = b.mid(1, b.size() - 2);
    }
    return r;
}

ReponseHttpFactice ReponseHttpFactice::texte(int statut, const QByteArray& corps, const QByteArray& type)
{
    ReponseHttpFactice r;
    r.statut = statut;
    r.entetes.append(qMakePair(QByteArray("Content-Type"), QByteArray(type)));
    r.corps = corps;
    return r;
}

ReponseHttpFactice ReponseHttpFactice::flux(const QList<QByteArray>& morceaux, int intervalleMs)
{
    ReponseHttpFactice r;
    r.entetes.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/event-stream")));
    r.morceaux = morceaux;
    r.intervalleMs = intervalleMs;
    return r;
}

ServeurHttpFactice::ServeurHttpFactice(QObject* parent) : QObject(parent), serveur_(new QTcpServer(this))
{
    connect(serveur_, &QTcpServer::newConnection, this, &ServeurHttpFactice::nouvelleConnexion);
}

ServeurHttpFactice::~ServeurHttpFactice() { arreter(); }

bool ServeurHttpFactice::demarrer()
{
    return serveur_->listen(QHostAddress::LocalHost, 0);
}

void ServeurHttpFactice::arreter()
{
    serveur_->close();
    const auto sockets = tampons_.keys();
    for (QTcpSocket* s : sockets) {
        s->disconnect(this);
        s->abort();
        s->deleteLater();
    }
    tampons_.clear();
}

quint16 ServeurHttpFactice::port() const { return serveur_->serverPort(); }

QUrl ServeurHttpFactice::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()));
}

int ServeurHttpFactice::nombre(const QByteArray& methode, const QString& chemin) const
{
    int n = 0;
    for (const RequeteHttp& r : journal_)
        if ((methode.isEmpty() || r.methode == methode) && r.chemin == chemin)
            ++n;
    return n;
}

void ServeurHttpFactice::nouvelleConnexion()
{
    while (QTcpSocket* s = serveur_->nextPendingConnection()) {
        tampons_.insert(s, {});
        connect(s, &QTcpSocket::readyRead, this, [this, s] { lire(s); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            tampons_.remove(s);
            s->deleteLater();
        });
    }
}

void ServeurHttpFactice::lire(QTcpSocket* s)
{
    QByteArray& b = tampons_[s];
    b.append(s->readAll());
    for (;;) {
        const qsizetype finEntetes = b.indexOf("\r\n\r\n");
        if (finEntetes < 0)
            return;
        const QList<QByteArray> lignes = b.left(finEntetes).split('\n');
        RequeteHttp r;
        const QList<QByteArray> premiere = lignes.value(0).trimmed().split(' ');
        r.methode = premiere.value(0);
        const QUrl cible(QString::fromUtf8(premiere.value(1)));
        r.chemin = cible.path(QUrl::FullyDecoded);
        r.requete = QUrlQuery(cible.query(QUrl::FullyEncoded));
        for (qsizetype i = 1; i < lignes.size(); ++i) {
            const QByteArray l = lignes[i].trimmed();
            const qsizetype dp = l.indexOf(':');
            if (dp > 0)
                r.entetes.insert(l.left(dp).trimmed().toLower(), l.mid(dp + 1).trimmed());
        }
        const qsizetype longueur = r.entetes.value("content-length", "0").toLongLong();
        if (b.size() < finEntetes + 4 + longueur)
            return;
        r.corps = b.mid(finEntetes + 4, longueur);
        b.remove(0, finEntetes + 4 + longueur);
        journal_.append(r);
        Q_EMIT requeteRecue(r.chemin);
        const ReponseHttpFactice rep = gestionnaire_ ? gestionnaire_(r) : ReponseHttpFactice::texte(404, "not found");
        repondre(s, rep);
        if (!tampons_.contains(s))
            return;
    }
}

void ServeurHttpFactice::repondre(QTcpSocket* s, const ReponseHttpFactice& r)
{
    if (r.retenir)
        return;
    if (r.couper) {
        s->abort();
        return;
    }
    if (r.delaiMs > 0) {
        QPointer<QTcpSocket> ps(s);
        ReponseHttpFactice suite = r;
        suite.delaiMs = 0;
        QTimer::singleShot(r.delaiMs, this, [this, ps, suite] {
            if (ps)
                repondre(ps, suite);
        });
        return;
    }
    QByteArray tete = "HTTP/1.1 " + QByteArray::number(r.statut) + " X\r\n";
    for (const auto& [n, v] : r.entetes)
        tete += n + ": " + v + "\r\n";
    if (r.morceaux.isEmpty()) {
        tete += "Content-Length: " + QByteArray::number(r.corps.size()) + "\r\n\r\n";
        s->write(tete + r.corps);
        return;
    }
    tete += "Transfer-Encoding: chunked\r\n\r\n";
    s->write(tete);
    s->flush();
    envoyerMorceau(s, r, 0);
}

void ServeurHttpFactice::envoyerMorceau(QPointer<QTcpSocket> s, ReponseHttpFactice r, int i)
{
    if (!s)
        return;
    if (r.couperApres >= 0 && i >= r.couperApres) {
        s->flush();
        s->disconnectFromHost();
        return;
    }
    if (i >= r.morceaux.size()) {
        s->write("0\r\n\r\n");
        return;
    }
    const QByteArray& m = r.morceaux[i];
    if (!m.isEmpty())
        s->write(QByteArray::number(m.size(), 16) + "\r\n" + m + "\r\n");
    s->flush();
    QTimer::singleShot(r.intervalleMs, this, [this, s, r, i] { envoyerMorceau(s, r, i + 1); });
}

} // namespace vd::fakes
