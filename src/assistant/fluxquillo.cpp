#include "fluxquillo.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace vd::assistant {

std::optional<FluxQuillo::Evenement> FluxQuillo::ligne(QByteArrayView l)
{
    if (l.endsWith('\r'))
        l.chop(1);
    if (l.isEmpty() || l.startsWith(':'))
        return std::nullopt;
    if (l.startsWith("event:")) {
        evenement = QString::fromUtf8(l.sliced(6)).trimmed();
        return std::nullopt;
    }
    if (!l.startsWith("data:"))
        return std::nullopt;
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(l.sliced(5).trimmed().toByteArray(), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    const QString type = o.value(QLatin1String("type")).toString();
    const int index = o.value(QLatin1String("index")).toInt();
    if (type == QLatin1String("message_start")) {
        const QString m = o.value(QLatin1String("message")).toObject().value(QLatin1String("model")).toString();
        if (!m.isEmpty())
            modele = m;
    } else if (type == QLatin1String("content_block_start")) {
        const QJsonObject cb = o.value(QLatin1String("content_block")).toObject();
        Bloc b;
        b.type = cb.value(QLatin1String("type")).toString();
        if (b.type == QLatin1String("text")) {
            b.texte = cb.value(QLatin1String("text")).toString();
        } else if (b.type == QLatin1String("thinking")) {
            b.reflexion = cb.value(QLatin1String("thinking")).toString();
            b.signature = cb.value(QLatin1String("signature")).toString();
        } else if (b.type == QLatin1String("redacted_thinking")) {
            b.donnees = cb.value(QLatin1String("data")).toString();
        } else if (b.type == QLatin1String("tool_use")) {
            b.id = cb.value(QLatin1String("id")).toString();
            b.nom = cb.value(QLatin1String("name")).toString();
        } else {
            b.autre = QString::fromUtf8(QJsonDocument(cb).toJson(QJsonDocument::Compact));
        }
        blocs.insert(index, b);
        if (b.type == QLatin1String("tool_use"))
            return Evenement{Evenement::Genre::outil, index, {}, b.id, b.nom};
        if (!b.texte.isEmpty())
            return Evenement{Evenement::Genre::texte, index, b.texte, {}, {}};
    } else if (type == QLatin1String("content_block_delta")) {
        auto it = blocs.find(index);
        if (it == blocs.end())
            return std::nullopt;   // a delta for a block never opened
        const QJsonObject d = o.value(QLatin1String("delta")).toObject();
        const QString dt = d.value(QLatin1String("type")).toString();
        if (dt == QLatin1String("text_delta")) {
            const QString t = d.value(QLatin1String("text")).toString();
            it->texte += t;
            if (!t.isEmpty())
                return Evenement{Evenement::Genre::texte, index, t, {}, {}};
        } else if (dt == QLatin1String("thinking_delta")) {
            it->reflexion += d.value(QLatin1String("thinking")).toString();
        } else if (dt == QLatin1String("signature_delta")) {
            it->signature += d.value(QLatin1String("signature")).toString();
        } else if (dt == QLatin1String("input_json_delta")) {
            it->entreeBrute += d.value(QLatin1String("partial_json")).toString();
        }
    } else if (type == QLatin1String("content_block_stop")) {
        auto it = blocs.find(index);
        if (it != blocs.end())
            it->ferme = true;
    } else if (type == QLatin1String("message_delta")) {
        const QJsonValue sr = o.value(QLatin1String("delta")).toObject().value(QLatin1String("stop_reason"));
        if (sr.isString())
            stopReason = sr.toString();
    } else if (type == QLatin1String("message_stop")) {
        termine = true;
    } else if (type == QLatin1String("error")) {
        const QJsonObject e = o.value(QLatin1String("error")).toObject();
        erreur = Erreur{e.value(QLatin1String("type")).toString(QStringLiteral("api_error")),
                        e.value(QLatin1String("message")).toString()};
    }
    return std::nullopt;
}

namespace {
std::optional<QJsonValue> lireEntree(const QString& brute)
{
    if (brute.trimmed().isEmpty())
        return QJsonValue(QJsonObject());
    QJsonParseError err;
    const QJsonDocument d = QJsonDocument::fromJson(brute.toUtf8(), &err);
    if (err.error != QJsonParseError::NoError || !d.isObject())
        return std::nullopt;
    return QJsonValue(d.object());
}
} // namespace

QJsonArray FluxQuillo::contenu() const
{
    QJsonArray r;
    for (const Bloc& b : blocs) {
        if (b.type == QLatin1String("text")) {
            if (!b.texte.isEmpty())
                r.append(QJsonObject{{QStringLiteral("type"), b.type}, {QStringLiteral("text"), b.texte}});
        } else if (b.type == QLatin1String("thinking")) {
            r.append(QJsonObject{{QStringLiteral("type"), b.type},
                                 {QStringLiteral("thinking"), b.reflexion},
                                 {QStringLiteral("signature"), b.signature}});
        } else if (b.type == QLatin1String("redacted_thinking")) {
            r.append(QJsonObject{{QStringLiteral("type"), b.type}, {QStringLiteral("data"), b.donnees}});
        } else if (b.type == QLatin1String("tool_use")) {
            // An unreadable input is sent back as an empty object; its result says "Entrée invalide.".
            const std::optional<QJsonValue> e = lireEntree(b.entreeBrute);
            r.append(QJsonObject{{QStringLiteral("type"), b.type},
                                 {QStringLiteral("id"), b.id},
                                 {QStringLiteral("name"), b.nom},
                                 {QStringLiteral("input"), e ? *e : QJsonValue(QJsonObject())}});
        } else if (b.autre) {
            r.append(QJsonDocument::fromJson(b.autre->toUtf8()).object());
        }
    }
    return r;
}

QString FluxQuillo::texteComplet() const
{
    QString t;
    for (const Bloc& b : blocs)
        if (b.type == QLatin1String("text"))
            t += b.texte;
    return t;
}

QList<BlocQuillo> appelsOutils(const FluxQuillo& f)
{
    QList<BlocQuillo> r;
    for (const FluxQuillo::Bloc& b : f.blocs)
        if (b.type == QLatin1String("tool_use"))
            r.append(BlocQuillo{b.type, {}, b.id, b.nom, lireEntree(b.entreeBrute), b.entreeBrute});
    return r;
}

} // namespace vd::assistant
