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

int hex(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decodes a JSON string body starting after its opening quote; gives the
// position after the closing quote, or -1 when it is not a plain valid string.
qsizetype lireChaine(QByteArrayView v, qsizetype i, QString& sortie)
{
    qsizetype debut = i;
    const qsizetype n = v.size();
    while (i < n) {
        const char c = v[i];
        if (c == '"') {
            sortie += QString::fromUtf8(v.sliced(debut, i - debut));
            return i + 1;
        }
        if (static_cast<unsigned char>(c) < 0x20)
            return -1;
        if (c != '\\') {
            ++i;
            continue;
        }
        sortie += QString::fromUtf8(v.sliced(debut, i - debut));
        if (i + 1 >= n)
            return -1;
        const char e = v[i + 1];
        i += 2;
        switch (e) {
        case '"': sortie += QLatin1Char('"'); break;
        case '\\': sortie += QLatin1Char('\\'); break;
        case '/': sortie += QLatin1Char('/'); break;
        case 'b': sortie += QLatin1Char('\b'); break;
        case 'f': sortie += QLatin1Char('\f'); break;
        case 'n': sortie += QLatin1Char('\n'); break;
        case 'r': sortie += QLatin1Char('\r'); break;
        case 't': sortie += QLatin1Char('\t'); break;
        case 'u': {
            if (i + 4 > n)
                return -1;
            int u = 0;
            for (int k = 0; k < 4; ++k) {
                const int h = hex(v[i + k]);
                if (h < 0)
                    return -1;
                u = u * 16 + h;
            }
            if (u >= 0xD800 && u <= 0xDFFF)
                return -1;   // surrogate escapes: left to the full parser
            i += 4;
            sortie += QChar(char16_t(u));
            break;
        }
        default: return -1;
        }
        debut = i;
    }
    return -1;
}

// The event that makes up nearly all of a stream, in the exact shape the
// server writes it, read without building a JSON document. Anything else
// (other key order, extra keys) goes through the full parser.
std::optional<QString> deltaRapide(QByteArrayView d)
{
    static constexpr QByteArrayView tete = "{\"type\":\"content_block_delta\",\"index\":";
    static constexpr QByteArrayView delta = ",\"delta\":{\"type\":\"text_delta\",\"text\":\"";
    if (!d.startsWith(tete))
        return std::nullopt;
    qsizetype i = tete.size();
    while (i < d.size() && d[i] >= '0' && d[i] <= '9')
        ++i;
    if (i == tete.size() || !d.sliced(i).startsWith(delta))
        return std::nullopt;
    QString texte;
    const qsizetype fin = lireChaine(d, i + delta.size(), texte);
    if (fin < 0 || d.sliced(fin) != QByteArrayView("}}"))
        return std::nullopt;
    return texte;
}

} // namespace

QString FluxSSE::ligne(QByteArrayView l)
{
    if (l.endsWith('\r'))
        l.chop(1);
    if (l.isEmpty() || l.front() == ':')
        return {};
    if (l.startsWith("event:")) {
        const QByteArrayView nom = sansEspaces(l.sliced(6));
        // Most events repeat the previous name: no new string then.
        if (evenement != QLatin1StringView(nom.data(), nom.size()))
            evenement = QString::fromUtf8(nom);
        return {};
    }
    if (!l.startsWith("data:"))
        return {};
    const QByteArrayView donnees = sansEspaces(l.sliced(5));
    if (std::optional<QString> t = deltaRapide(donnees)) {
        ++evenements;
        texte += *t;
        return *t;
    }
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
