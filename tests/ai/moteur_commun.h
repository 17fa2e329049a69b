#pragma once
// Shared by the tests of the shipped engine script: a segment of transcript,
// the engine with a JSON call that warns on failure, and the values of an
// answer read by dotted paths so that one comparison says several things.
#include "ai/moteur.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace vd::tests {

inline QJsonObject seg(const char* qui, const QString& texte, int debut, int fin, int interlocuteur = 0)
{
    QJsonObject s{{"locuteur", QString::fromLatin1(qui)}, {"texte", texte}, {"debutMs", debut}, {"finMs", fin}};
    if (interlocuteur)
        s.insert("interlocuteur", interlocuteur);
    return s;
}

// The value at a dotted path: "etapes.0.id", "length" for a list's size, "*"
// for the same path in every element of a list.
inline QJsonValue chemin(QJsonValue v, const QString& c)
{
    const QStringList cles = c.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < cles.size(); ++i) {
        const QString& cle = cles[i];
        if (cle == QLatin1String("*")) {
            QJsonArray r;
            for (const QJsonValue& e : v.toArray())
                r.append(chemin(e, cles.mid(i + 1).join(QLatin1Char('.'))));
            return r;
        }
        if (cle == QLatin1String("length"))
            v = v.isArray() ? double(v.toArray().size()) : QJsonValue(QJsonValue::Undefined);
        else if (v.isArray())
            v = v.toArray().at(cle.toInt());
        else
            v = v.toObject().value(cle);
    }
    return v;
}

// A value as short text: a string as it is, anything else as compact JSON.
inline QString texte(const QJsonValue& v)
{
    if (v.isString())
        return v.toString();
    if (v.isUndefined())
        return QStringLiteral("undefined");
    return QString::fromUtf8(QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact)).chopped(1).mid(1);
}

// Several paths at once, joined by " | ".
inline QString champs(const QJsonValue& v, const QStringList& chemins)
{
    QStringList r;
    for (const QString& c : chemins)
        r << texte(chemin(v, c));
    return r.join(QStringLiteral(" | "));
}

// One path in every element of a list.
inline QStringList liste(const QJsonValue& v, const QString& c = {})
{
    QStringList r;
    for (const QJsonValue& e : v.toArray())
        r << texte(chemin(e, c));
    return r;
}

struct AvecMoteur {
    ai::Moteur m{QStringLiteral(VD_RESOURCES_DIR "/moteur.js")};
    QJsonValue json(const QString& f, const ai::Moteur::Arguments& a = {})
    {
        auto r = m.appelerJSON(f, a);
        if (!r)
            qWarning() << f << r.erreur().description();
        return r ? r.valeur() : QJsonValue(QJsonValue::Undefined);
    }
};

} // namespace vd::tests
