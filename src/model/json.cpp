#include "json.h"

#include <QJsonDocument>
#include <charconv>
#include <cmath>

namespace vd::model {

JSONValeur::Genre JSONValeur::genre() const
{
    switch (v_.type()) {
    case QJsonValue::Object: return Genre::objet;
    case QJsonValue::Array: return Genre::tableau;
    case QJsonValue::String: return Genre::chaine;
    case QJsonValue::Double: return Genre::nombre;
    case QJsonValue::Bool: return Genre::booleen;
    default: return Genre::null;
    }
}

QByteArray JSONValeur::versTexte() const { return versTexteJson(*this); }

std::optional<JSONValeur> JSONValeur::depuisTexte(const QByteArray& json)
{
    // Wrapped so that scalars at the top level parse too.
    QJsonParseError err;
    const QJsonDocument d = QJsonDocument::fromJson(QByteArray("[") + json + QByteArray("]"), &err);
    if (err.error != QJsonParseError::NoError || !d.isArray() || d.array().size() != 1)
        return std::nullopt;
    return JSONValeur(d.array().at(0));
}

QByteArray texteJsonCompact(const QJsonValue& v)
{
    QByteArray b;
    EcrivainJson e(b);
    e.valeur(v);
    return b;
}

QJsonValue depuisTexteJson(const QByteArray& json) { return JSONValeur::depuisTexte(json).value_or(JSONValeur()).qt(); }

void ecrire(EcrivainJson& e, const JSONValeur& v) { e.valeur(v); }

namespace lire {

QString texteDuNombre(double d)
{
    if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15)
        return QString::number(qint64(d));
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    return QString::fromLatin1(buf, int(r.ptr - buf));
}

namespace {

template<typename V>
std::optional<QString> texteT(const V& v)
{
    if (v.isString())
        return v.toString();
    if (v.isDouble())
        return texteDuNombre(v.toDouble());
    if (v.isBool())
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return std::nullopt;
}

template<typename V>
std::optional<double> nombreT(const V& v)
{
    if (v.isDouble()) {
        const double d = v.toDouble();
        return std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
    }
    if (!v.isString())
        return std::nullopt;
    QString s = v.toString();
    s.replace(QLatin1Char(','), QLatin1Char('.'));
    s = s.trimmed();
    if (s.isEmpty())
        return std::nullopt;
    const QByteArray b = s.toLatin1();
    double d = 0;
    const char* debut = b.constData();
    const char* fin = debut + b.size();
    if (*debut == '+')   // from_chars refuses a leading plus
        ++debut;
    auto r = std::from_chars(debut, fin, d);
    if (r.ec != std::errc() || r.ptr != fin || !std::isfinite(d))
        return std::nullopt;
    return d;
}

template<typename V>
std::optional<qint64> entierT(const V& v)
{
    auto d = nombreT(v);
    if (!d)
        return std::nullopt;
    const double r = std::round(*d);
    if (std::fabs(r) >= 1e15)
        return std::nullopt;
    return qint64(r);
}

template<typename V>
std::optional<QString> texteOptT(const V& v)
{
    auto t = texteT(v);
    if (t && t->isEmpty())
        return std::nullopt;
    return t;
}

template<typename L>
QStringList textesT(const L& v)
{
    QStringList r;
    for (const auto& e : v)
        if (auto t = texteT(e))
            r.append(std::move(*t));
    return r;
}

} // namespace

std::optional<QString> texte(const QJsonValue& v) { return texteT(v); }
std::optional<QString> texte(const VueJson& v) { return texteT(v); }
std::optional<QString> texteOpt(const QJsonValue& v) { return texteOptT(v); }
std::optional<QString> texteOpt(const VueJson& v) { return texteOptT(v); }
std::optional<double> nombre(const QJsonValue& v) { return nombreT(v); }
std::optional<double> nombre(const VueJson& v) { return nombreT(v); }
std::optional<qint64> entier(const QJsonValue& v) { return entierT(v); }
std::optional<qint64> entier(const VueJson& v) { return entierT(v); }
std::optional<bool> booleen(const QJsonValue& v) { return v.isBool() ? std::optional<bool>(v.toBool()) : std::nullopt; }
std::optional<bool> booleen(const VueJson& v) { return v.isBool() ? std::optional<bool>(v.toBool()) : std::nullopt; }
QStringList textes(const QJsonValue& v) { return v.isArray() ? textesT(v.toArray()) : QStringList(); }
QStringList textes(const VueJson& v) { return v.isArray() ? textesT(v) : QStringList(); }
std::optional<QStringList> textesOpt(const QJsonValue& v) { return v.isArray() ? std::optional(textes(v)) : std::nullopt; }
std::optional<QStringList> textesOpt(const VueJson& v) { return v.isArray() ? std::optional(textes(v)) : std::nullopt; }

QList<JSONValeur> objetsBruts(const VueJson& v)
{
    QList<JSONValeur> r;
    if (!v.isArray())
        return r;
    for (const VueJson& e : v)
        if (e.isObject())
            r.append(JSONValeur(e.versQt()));
    return r;
}

QList<JSONValeur> objetsBruts(const QJsonValue& v)
{
    QList<JSONValeur> r;
    if (!v.isArray())
        return r;
    const QJsonArray a = v.toArray();
    for (const QJsonValue& e : a)
        if (e.isObject())
            r.append(JSONValeur(e));
    return r;
}

} // namespace lire

void EcrivainJson::cle(std::string_view k)
{
    sep();
    o_.append('"');
    o_.append(k.data(), qsizetype(k.size()));
    o_.append("\":", 2);
    virgule_ = false;
}

void EcrivainJson::texte(const QString& s)
{
    sep();
    o_.append('"');
    const QByteArray u = s.toUtf8();
    const char* p = u.constData();
    const char* fin = p + u.size();
    const char* bloc = p;
    static const char hex[] = "0123456789abcdef";
    for (; p < fin; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        o_.append(bloc, p - bloc);
        switch (c) {
        case '"': o_.append("\\\"", 2); break;
        case '\\': o_.append("\\\\", 2); break;
        case '\n': o_.append("\\n", 2); break;
        case '\r': o_.append("\\r", 2); break;
        case '\t': o_.append("\\t", 2); break;
        case '\b': o_.append("\\b", 2); break;
        case '\f': o_.append("\\f", 2); break;
        default: {
            const char esc[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
            o_.append(esc, 6);
        }
        }
        bloc = p + 1;
    }
    o_.append(bloc, fin - bloc);
    o_.append('"');
    virgule_ = true;
}

void EcrivainJson::nombre(double d)
{
    if (!std::isfinite(d)) {   // JSON has no infinity: it is written as missing
        nul();
        return;
    }
    if (d == std::floor(d) && std::fabs(d) < 9007199254740992.0) {
        entier(qint64(d));
        return;
    }
    sep();
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    o_.append(buf, r.ptr - buf);
    virgule_ = true;
}

void EcrivainJson::entier(qint64 i)
{
    sep();
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, i);
    o_.append(buf, r.ptr - buf);
    virgule_ = true;
}

void EcrivainJson::champ(std::string_view k, const QStringList& v)
{
    cle(k);
    debutTableau();
    for (const QString& s : v)
        texte(s);
    finTableau();
}

void EcrivainJson::valeur(const QJsonValue& v)
{
    switch (v.type()) {
    case QJsonValue::Object: {
        debutObjet();
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            texte(it.key());   // keys need the same escaping as values
            o_.append(':');
            virgule_ = false;
            valeur(it.value());
        }
        finObjet();
        break;
    }
    case QJsonValue::Array: {
        debutTableau();
        const QJsonArray a = v.toArray();
        for (const QJsonValue& e : a)
            valeur(e);
        finTableau();
        break;
    }
    case QJsonValue::String: texte(v.toString()); break;
    case QJsonValue::Double: nombre(v.toDouble()); break;
    case QJsonValue::Bool: booleen(v.toBool()); break;
    default: nul(); break;
    }
}

} // namespace vd::model
