#include "fauxmessages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

namespace vd::fakes {

QJsonObject RequeteRecue::json() const { return QJsonDocument::fromJson(corps).object(); }

QByteArray evenementSSE(const QByteArray& nom, const QJsonObject& donnees)
{
    return "event: " + nom + "\ndata: " + QJsonDocument(donnees).toJson(QJsonDocument::Compact) + "\n\n";
}

QByteArray deltaTexte(const QString& texte)
{
    // Keys in the order the real server writes them (a JSON object would sort them).
    QByteArray chaine = QJsonDocument(QJsonArray{texte}).toJson(QJsonDocument::Compact);
    chaine = chaine.mid(1, chaine.size() - 2);
    return "event: content_block_delta\ndata: {\"type\":\"content_block_delta\",\"index\":0,"
           "\"delta\":{\"type\":\"text_delta\",\"text\":" + chaine + "}}\n\n";
}

QByteArray ping() { return evenementSSE("ping", {{"type", "ping"}}); }

QByteArray debutMessage(const QString& modele)
{
    return evenementSSE("message_start",
                        {{"type", "message_start"},
                         {"message", QJsonObject{{"id", "msg_faux"}, {"type", "message"}, {"role", "assistant"},
                                                 {"model", modele}, {"content", QJsonArray()}}}}) +
           evenementSSE("content_block_start",
                        {{"type", "content_block_start"},
                         {"index", 0},
                         {"content_block", QJsonObject{{"type", "text"}, {"text", ""}}}});
}

QByteArray finMessage(const QString& stopReason)
{
    return evenementSSE("content_block_stop", {{"type", "content_block_stop"}, {"index", 0}}) +
           evenementSSE("message_delta", {{"type", "message_delta"},
                                          {"delta", QJsonObject{{"stop_reason", stopReason}}},
                                          {"usage", QJsonObject{{"output_tokens", 12}}}});
}

QByteArray arretMessage() { return evenementSSE("message_stop", {{"type", "message_stop"}}); }

QByteArray erreurFlux(const QString& type, const QString& message)
{
    return evenementSSE("error", {{"type", "error"}, {"error", QJsonObject{{"type", type}, {"message", message}}}});
}

ReponseFaux ReponseFaux::flux(const QStringList& textes, const QString& stopReason, bool messageStop,
                              const QString& modele)
{
    ReponseFaux r;
    r.entete("content-type", "text/event-stream; charset=utf-8");
    r.morceau(debutMessage(modele) + ping());
    for (const QString& t : textes)
        r.morceau(deltaTexte(t));
    QByteArray fin = finMessage(stopReason);
    if (messageStop)
        fin += arretMessage();
    r.morceau(fin);
    return r;
}

ReponseFaux ReponseFaux::erreur(int statut, const QString& message, std::optional<QByteArray> retryAfter,
                                const QString& type)
{
    ReponseFaux r;
    r.statut = statut;
    r.entete("content-type", "application/json");
    if (retryAfter)
        r.entete("retry-after", *retryAfter);
    const QJsonObject corps{{"type", "error"}, {"error", QJsonObject{{"type", type}, {"message", message}}}};
    r.morceau(QJsonDocument(corps).toJson(QJsonDocument::Compact));
    return r;
}

ReponseFaux ReponseFaux::decoupee(const QByteArray& corps, const QList<int>& coupures, int delaiMs)
{
    ReponseFaux r;
    r.entete("content-type", "text/event-stream");
    int debut = 0;
    for (int c : coupures) {
        r.morceau(corps.mid(debut, c - debut), debut == 0 ? 0 : delaiMs);
        debut = c;
    }
    r.morceau(corps.mid(debut), debut == 0 ? 0 : delaiMs);
    return r;
}

FauxMessages::FauxMessages(QObject* parent) : QObject(parent)
{
    connect(&serveur_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = serveur_.nextPendingConnection()) {
            s->setParent(this);
            connect(s, &QTcpSocket::readyRead, this, [this, s] { lire(s); });
            connect(s, &QTcpSocket::disconnected, this, [this, s] {
                tampons_.remove(s);
                s->deleteLater();
            });
        }
    });
}

FauxMessages::~FauxMessages() { couper(); }

bool FauxMessages::demarrer() { return serveur_.listen(QHostAddress::LocalHost, 0); }

quint16 FauxMessages::port() const { return serveur_.serverPort(); }

QUrl FauxMessages::url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port())); }

int FauxMessages::nombre(const QByteArray& chemin) const
{
    int n = 0;
    for (const RequeteRecue& r : requetes_)
        n += r.chemin == chemin;
    return n;
}

int FauxMessages::connexionsOuvertes() const
{
    int n = 0;
    for (const auto& s : ouvertes_)
        n += s && s->state() == QAbstractSocket::ConnectedState;
    return n;
}

void FauxMessages::envoyer(const QByteArray& octets)
{
    for (const auto& s : ouvertes_)
        if (s && s->state() == QAbstractSocket::ConnectedState) {
            s->write(octets);
            s->flush();
        }
}

void FauxMessages::couper()
{
    for (const auto& s : ouvertes_)
        if (s)
            s->disconnectFromHost();
    ouvertes_.clear();
}

void FauxMessages::lire(QTcpSocket* s)
{
    QByteArray& t = tampons_[s];
    t += s->readAll();
    const qsizetype finEntetes = t.indexOf("\r\n\r\n");
    if (finEntetes < 0)
        return;
    RequeteRecue r;
    const QList<QByteArray> lignes = t.left(finEntetes).split('\n');
    const QList<QByteArray> premiere = lignes.value(0).trimmed().split(' ');
    r.methode = premiere.value(0);
    r.chemin = premiere.value(1);
    for (qsizetype i = 1; i < lignes.size(); ++i) {
        const qsizetype dp = lignes[i].indexOf(':');
        if (dp > 0)
            r.entetes.insert(lignes[i].left(dp).trimmed().toLower(), lignes[i].mid(dp + 1).trimmed());
    }
    const qsizetype longueur = r.entetes.value("content-length", "0").toLongLong();
    if (t.size() < finEntetes + 4 + longueur)
        return;
    r.corps = t.mid(finEntetes + 4, longueur);
    t.remove(0, finEntetes + 4 + longueur);
    requetes_.append(r);
    repondre(s, r);
    Q_EMIT requeteRecue();
}

void FauxMessages::repondre(QTcpSocket* s, const RequeteRecue& r)
{
    ReponseFaux rep;
    if (r.chemin.endsWith("/api/etat") || r.chemin == "/api/etat") {
        if (etatMuet) {
            ouvertes_.append(s);
            return;
        }
        rep.statut = statutEtat;
        rep.entete("content-type", "application/json");
        rep.morceau(corpsEtatBrut.isEmpty() ? QJsonDocument(etatRelais).toJson(QJsonDocument::Compact) : corpsEtatBrut);
    } else if (!file_.isEmpty()) {
        rep = file_.takeFirst();
    } else {
        rep = ReponseFaux::erreur(500, QStringLiteral("plus de réponse prévue"));
    }
    QByteArray tete = "HTTP/1.1 " + QByteArray::number(rep.statut) + " Faux\r\n";
    for (const auto& [nom, valeur] : rep.entetes)
        tete += nom + ": " + valeur + "\r\n";
    if (rep.longueurAnnoncee)
        tete += "content-length: " + QByteArray::number(*rep.longueurAnnoncee) + "\r\n";
    else if (rep.fermer && !rep.morceaux.isEmpty() && rep.statut != 200) {
        qint64 n = 0;
        for (const auto& m : rep.morceaux)
            n += m.second.size();
        tete += "content-length: " + QByteArray::number(n) + "\r\n";
    }
    tete += "connection: close\r\n\r\n";
    s->write(tete);
    s->flush();
    ouvertes_.append(s);
    ecrireMorceaux(s, std::move(rep), 0);
}

void FauxMessages::ecrireMorceaux(QPointer<QTcpSocket> s, ReponseFaux r, int index)
{
    while (s && index < r.morceaux.size()) {
        const auto& [delai, octets] = r.morceaux[index];
        if (delai > 0 && index > 0) {
            // Written after a pause, so the client gets it in a read of its own.
            r.morceaux[index].first = 0;
            QTimer::singleShot(delai, this, [this, s, r, index] { ecrireMorceaux(s, r, index); });
            return;
        }
        s->write(octets);
        s->flush();
        ++index;
    }
    if (s && r.fermer)
        s->disconnectFromHost();
}

} // namespace vd::fakes
