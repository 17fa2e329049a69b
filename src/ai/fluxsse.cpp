#include "fluxsse.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace vd::ai {

namespace {

QByteArrayView sansEspaces(QByteArrayView v)
{
    qsizetype d = 0, f = v.size();
    while (d < f && (v[d] == ' ' || v[d] == '\t'))
        ++d;
    while (f > d && (v[f - 1] == ' ' || v[f - 1] == '\t' || v[f - 1] == '\r'))
        --f;
    return v.sliced(d, f - d);
}

} // namespace

QString FluxSSE::ligne(QByteArrayView l)
{
    if (l.endsWith('\r'))
        l.chop(1);
    if (l.isEmpty() || l.front() == ':')
        return {};
    if (l.startsWith("event:")) {
        evenement = QString::fromUtf8(sansEspaces(l.sliced(6)));
        return {};
    }
    if (!l.startsWith("data:"))
        return {};
    const QByteArrayView donnees = sansEspaces(l.sliced(5));
    // fromRawData: no copy of the line; the view outlives the parse.
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromRawData(donnees.data(), donnees.size()));
    if (!doc.isObject())
        return {};
    ++evenements;
    const QJsonObject o = doc.object();
    const QString type = o.value(QLatin1String("type")).toString();
    if (type == QLatin1String("content_block_delta")) {
        const QJsonObject delta = o.value(QLatin1String("delta")).toObject();
        if (delta.value(QLatin1String("type")).toString() == QLatin1String("text_delta")) {
            const QString t = delta.value(QLatin1String("text")).toString();
            texte += t;
            return t;
        }
    } else if (type == QLatin1String("message_delta")) {
        const QJsonValue s = o.value(QLatin1String("delta")).toObject().value(QLatin1String("stop_reason"));
        if (s.isString())
            stopReason = s.toString();
    } else if (type == QLatin1String("message_start")) {
        const QString m = o.value(QLatin1String("message")).toObject().value(QLatin1String("model")).toString();
        if (!m.isEmpty())
            modele = m;
    } else if (type == QLatin1String("message_stop")) {
        termine = true;
    } else if (type == QLatin1String("error")) {
        const QJsonObject e = o.value(QLatin1String("error")).toObject();
        const QString t = e.value(QLatin1String("type")).toString();
        erreur = ErreurFluxSSE{t.isEmpty() ? QStringLiteral("api_error") : t, e.value(QLatin1String("message")).toString()};
    }
    return {};
}

int statutPourErreurFlux(const QString& type)
{
    if (type == QLatin1String("overloaded_error"))
        return 529;
    if (type == QLatin1String("rate_limit_error"))
        return 429;
    if (type == QLatin1String("api_error"))
        return 500;
    if (type == QLatin1String("request_too_large"))
        return 413;
    if (type == QLatin1String("not_found_error"))
        return 404;
    if (type == QLatin1String("permission_error"))
        return 403;
    if (type == QLatin1String("authentication_error"))
        return 401;
    return 400;
}

} // namespace vd::ai
