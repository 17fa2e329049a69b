#include "relais.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QLoggingCategory>

#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcRelais, "vd.app.relais")

namespace vd::app {

QByteArray RequeteCommande::versOctets() const
{
    QJsonObject o{{QStringLiteral("args"), QJsonArray::fromStringList(args)}, {QStringLiteral("dossier"), dossier}};
    if (entree)
        o.insert(QStringLiteral("entree"), QString::fromLatin1(entree->toBase64()));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<RequeteCommande> RequeteCommande::depuisOctets(const QByteArray& octets)
{
    QJsonParseError e{};
    const QJsonDocument doc = QJsonDocument::fromJson(octets, &e);
    if (e.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    RequeteCommande r;
    const QJsonValue args = o.value(QLatin1String("args"));
    if (!args.isArray() || args.toArray().isEmpty())
        return std::nullopt;
    for (const QJsonValue& a : args.toArray()) {
        if (!a.isString())
            return std::nullopt;
        r.args.append(a.toString());
    }
    const QJsonValue dossier = o.value(QLatin1String("dossier"));
    if (!dossier.isString() || !dossier.toString().startsWith(QLatin1Char('/')))
        return std::nullopt;
    r.dossier = dossier.toString();
    const QJsonValue entree = o.value(QLatin1String("entree"));
    if (entree.isString()) {
        auto d = QByteArray::fromBase64Encoding(entree.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!d)
            return std::nullopt;
        r.entree = *d;
    } else if (!entree.isUndefined()) {
        return std::nullopt;
    }
    return r;
}

QByteArray ReponseCommande::versOctets() const
{
    return QJsonDocument(QJsonObject{{QStringLiteral("code"), code},
                                     {QStringLiteral("sortie"), QString::fromLatin1(sortie.toBase64())},
                                     {QStringLiteral("erreurs"), QString::fromLatin1(erreurs.toBase64())}})
        .toJson(QJsonDocument::Compact);
}

std::optional<ReponseCommande> ReponseCommande::depuisOctets(const QByteArray& octets)
{
    const QJsonDocument doc = QJsonDocument::fromJson(octets);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    if (!o.value(QLatin1String("code")).isDouble())
        return std::nullopt;
    ReponseCommande r;
    r.code = o.value(QLatin1String("code")).toInt(1);
    r.sortie = QByteArray::fromBase64(o.value(QLatin1String("sortie")).toString().toLatin1());
    r.erreurs = QByteArray::fromBase64(o.value(QLatin1String("erreurs")).toString().toLatin1());
    return r;
}

namespace relais {

QByteArray trame(const char* mot, const QByteArray& corps)
{
    return QByteArray(mot) + ' ' + QByteArray::number(corps.size()) + '\n' + corps;
}

std::optional<std::pair<QByteArray, qint64>> lireEntete(const QByteArray& ligne)
{
    const QByteArray l = ligne.trimmed();
    const qsizetype espace = l.indexOf(' ');
    if (espace <= 0 || l.size() - espace > 20)
        return std::nullopt;
    bool ok = false;
    const qint64 n = l.mid(espace + 1).toLongLong(&ok);
    if (!ok || n < 0)
        return std::nullopt;
    return std::pair{l.left(espace), n};
}

bool memeUtilisateur(qintptr descripteur)
{
#if defined(SO_PEERCRED)
    struct ucred cred {};
    socklen_t taille = sizeof(cred);
    if (getsockopt(int(descripteur), SOL_SOCKET, SO_PEERCRED, &cred, &taille) != 0)
        return false;
    return cred.uid == getuid();
#elif defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
    uid_t uid = 0;
    gid_t gid = 0;
    if (getpeereid(int(descripteur), &uid, &gid) != 0)
        return false;
    return uid == getuid();
#else
    // The socket itself is readable and writable by its owner only.
    Q_UNUSED(descripteur)
    return true;
#endif
}

namespace {

// One framed message: its word and body, or none on time-out, cut or oversize.
std::optional<std::pair<QByteArray, QByteArray>> lireTrame(QLocalSocket& s, int delaiMs, QString& probleme)
{
    while (!s.canReadLine()) {
        if (s.bytesAvailable() > 64 || (!s.waitForReadyRead(delaiMs) && !s.canReadLine()))
            return std::nullopt;
    }
    const auto entete = lireEntete(s.readLine(64));
    if (!entete)
        return std::nullopt;
    if (entete->second > tailleMax) {
        probleme = messageTropGrand();
        return std::nullopt;
    }
    QByteArray corps;
    corps.reserve(entete->second);
    while (corps.size() < entete->second) {
        if (s.bytesAvailable() == 0 && !s.waitForReadyRead(delaiMs))
            return std::nullopt;
        corps += s.read(entete->second - corps.size());
    }
    return std::pair{entete->first, corps};
}

} // namespace

Issue envoyer(const QString& serveur, const RequeteCommande& requete, int delaiAccuseMs)
{
    const QByteArray corps = requete.versOctets();
    if (corps.size() > tailleMax)
        return messageTropGrand();
    QLocalSocket s;
    s.connectToServer(serveur);
    if (!s.waitForConnected(1000))
        return std::monostate{};
    s.write(trame(motCommande, corps));
    while (s.bytesToWrite() > 0)
        if (!s.waitForBytesWritten(delaiAccuseMs))
            return messageOccupe();
    QString probleme;
    const auto accuse = lireTrame(s, delaiAccuseMs, probleme);
    if (!accuse)
        return probleme.isEmpty() ? messageOccupe() : probleme;
    if (accuse->first == motRefus)
        return QString::fromUtf8(accuse->second);
    if (accuse->first != motAccuse)
        return messageOccupe();
    // Only now may the app run it: a client that gave up before this line never sends it.
    s.write(trame(motDepart, {}));
    if (!s.waitForBytesWritten(delaiAccuseMs) && s.bytesToWrite() > 0)
        return messageOccupe();
    // Accepted: the command may run for a while (a simulated call), so no time limit, only a cut.
    const auto reponse = lireTrame(s, -1, probleme);
    if (!reponse || reponse->first != motReponse)
        return probleme.isEmpty() ? messageCoupure() : probleme;
    auto r = ReponseCommande::depuisOctets(reponse->second);
    if (!r)
        return messageCoupure();
    return *r;
}

} // namespace relais
} // namespace vd::app
