#include "erreursclaude.h"

#include "model/texte.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace vd::ai {

bool erreurDeWorkspace(const QString& messageServeur)
{
    const QString m = messageServeur.toLower();
    return m.contains(QLatin1String("not scoped to a workspace")) ||
           (m.contains(QLatin1String("workspace")) && m.contains(QLatin1String("anthropic-workspace-id")));
}

QString messagePourStatut(int statut, const QString& messageServeur, SourceIA source)
{
    const bool cle = source == SourceIA::cle;
    switch (statut) {
    case 401:
        return cle ? QStringLiteral("Votre clé est refusée. Vérifiez-la dans Réglages.")
                   : QStringLiteral("La clé du serveur est refusée.");
    case 403:
        return cle ? QStringLiteral("Cette clé n'a pas accès à ce modèle. Choisissez-en un autre dans Réglages.")
                   : QStringLiteral("Le serveur refuse cette demande.");
    case 404:
        return cle ? QStringLiteral("Ce modèle est introuvable. Choisissez-en un autre dans Réglages.")
                   : QStringLiteral("Le relais ne répond pas ici. Ajoutez votre clé dans Réglages pour travailler en local.");
    case 412:
        return QStringLiteral("Quillo n'est pas encore disponible sur le serveur. Ajoutez votre clé dans Réglages, ou réessayez plus tard.");
    case 413:
        return QStringLiteral("La demande est trop longue. Raccourcissez-la et réessayez.");
    case 429:
        return QStringLiteral("Trop de demandes en même temps. Réessayez dans une minute.");
    default:
        break;
    }
    if (statut >= 500 && statut <= 599)
        return QStringLiteral("Quillo est très demandé. Réessayez dans un instant.");
    const QString m = messageServeur.trimmed();
    if (!m.isEmpty() && !model::nommeUnFournisseur(m))
        return m;
    return QStringLiteral("La demande a échoué. Réessayez dans un instant.");
}

QString messagePourErreurHTTP(const ErreurHTTP& e, SourceIA source)
{
    if (source == SourceIA::cle && erreurDeWorkspace(e.message))
        return messages::workspace;
    return messagePourStatut(e.statut, e.message, source);
}

namespace {
QJsonObject objetDe(const QByteArray& corps)
{
    const QJsonDocument d = QJsonDocument::fromJson(corps);
    return d.isObject() ? d.object() : QJsonObject();
}
} // namespace

QString messageDuCorps(const QByteArray& corps)
{
    const QJsonObject o = objetDe(corps);
    const QJsonValue e = o.value(QLatin1String("error"));
    if (e.isObject()) {
        const QString m = e.toObject().value(QLatin1String("message")).toString();
        if (!m.isEmpty())
            return m;
    }
    for (const char* cle : {"message", "erreur"}) {
        const QString m = o.value(QLatin1String(cle)).toString();
        if (!m.isEmpty())
            return m;
    }
    return QString::fromUtf8(corps);
}

std::optional<double> lireRetryAfter(const QByteArray& valeur)
{
    bool ok = false;
    const double s = valeur.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(s) || s < 0)
        return std::nullopt;
    return s;
}

std::optional<double> retryAfterDuCorps(const QByteArray& corps)
{
    const QJsonValue v = objetDe(corps).value(QLatin1String("retry_after"));
    double s = -1;
    if (v.isDouble())
        s = v.toDouble();
    else if (v.isString())
        s = v.toString().toDouble();
    if (!std::isfinite(s) || s < 0.2)
        return std::nullopt;
    return s;
}

QString codeDuCorps(const QByteArray& corps)
{
    const QJsonObject o = objetDe(corps);
    for (const char* cle : {"code", "type"}) {
        const QString c = o.value(QLatin1String(cle)).toString();
        if (!c.isEmpty())
            return c;
    }
    const QJsonValue e = o.value(QLatin1String("error"));
    if (e.isString())
        return e.toString();
    return e.toObject().value(QLatin1String("type")).toString();
}

bool statutReessayable(int statut)
{
    switch (statut) {
    case 408: case 409: case 429: case 500: case 502: case 503: case 504: case 529: return true;
    default: return false;
    }
}

bool reseauReessayable(QNetworkReply::NetworkError e)
{
    return e == QNetworkReply::TimeoutError || e == QNetworkReply::RemoteHostClosedError ||
           e == QNetworkReply::ConnectionRefusedError;
}

int delaiReessaiMs(int n, std::optional<double> reessayerApres, bool statutHTTP)
{
    double s = reessayerApres ? *reessayerApres : 0.6 * std::pow(2.0, n);
    if (statutHTTP)
        s = std::min(s, 10.0);
    s = std::clamp(s, 0.0, 900.0);
    return int(std::lround(s * 1000));
}

} // namespace vd::ai
