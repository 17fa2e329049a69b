#pragma once
// JSON plumbing shared by every record: the lenient readers (one implementation
// of the decoding rules), a fast compact writer, and JSONValeur.
#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string_view>
#include <type_traits>

#include "vuejson.h"

namespace vd::model {

// The program's JSON value: objet, tableau, chaine, nombre, booleen, null.
class JSONValeur {
public:
    enum class Genre { objet, tableau, chaine, nombre, booleen, null };
    JSONValeur() = default;
    JSONValeur(const QJsonValue& v) : v_(v.isUndefined() ? QJsonValue() : v) {}
    JSONValeur(const QJsonObject& o) : v_(o) {}
    JSONValeur(const QJsonArray& a) : v_(a) {}
    JSONValeur(const QString& s) : v_(s) {}
    JSONValeur(double d) : v_(d) {}
    JSONValeur(bool b) : v_(b) {}

    Genre genre() const;
    const QJsonValue& qt() const { return v_; }
    bool estNull() const { return v_.isNull() || v_.isUndefined(); }
    QByteArray versTexte() const;   // compact JSON text
    static std::optional<JSONValeur> depuisTexte(const QByteArray& json);
    bool operator==(const JSONValeur&) const = default;

private:
    QJsonValue v_;
};

namespace lire {

// Rule 1: text; numbers as their text, booleans as "true"/"false"; else none.
std::optional<QString> texte(const QJsonValue& v);
inline QString texte(const QJsonValue& v, const QString& defaut)
{
    auto t = texte(v);
    return t ? std::move(*t) : defaut;
}
// Rule 7: an optional text whose decoded value is empty is none.
std::optional<QString> texteOpt(const QJsonValue& v);
// Rule 2: finite number, or decimal text with "," or "." (whole text must parse).
std::optional<double> nombre(const QJsonValue& v);
inline double nombre(const QJsonValue& v, double defaut) { return nombre(v).value_or(defaut); }
// Rule 3: rule 2 then rounding; |x| >= 1e15 counts as missing.
std::optional<qint64> entier(const QJsonValue& v);
inline qint64 entier(const QJsonValue& v, qint64 defaut) { return entier(v).value_or(defaut); }
// Rule 4.
std::optional<bool> booleen(const QJsonValue& v);
inline bool booleen(const QJsonValue& v, bool defaut) { return booleen(v).value_or(defaut); }
// Texts of a list; elements that are not text-like are dropped (rule 5).
QStringList textes(const QJsonValue& v);
std::optional<QStringList> textesOpt(const QJsonValue& v);   // none when missing or not a list
// The text of a number: whole under 1e15 without decimals, else the shortest form.
QString texteDuNombre(double d);

// Rule 5 for records: F is std::optional<T>(const QJsonValue&).
template<typename T, typename F>
QList<T> liste(const QJsonValue& v, F decoder)
{
    QList<T> r;
    if (!v.isArray())
        return r;
    const QJsonArray a = v.toArray();
    r.reserve(a.size());
    for (const QJsonValue& e : a) {
        if (auto x = decoder(e))
            r.append(std::move(*x));
    }
    return r;
}
template<typename T, typename F>
std::optional<QList<T>> listeOpt(const QJsonValue& v, F decoder)
{
    if (!v.isArray())
        return std::nullopt;
    return liste<T>(v, decoder);
}
// Raw objects kept as they are (records owned by later features); non-objects dropped.
QList<JSONValeur> objetsBruts(const QJsonValue& v);

// The same rules over the fast view used to load the store.
std::optional<QString> texte(const VueJson& v);
inline QString texte(const VueJson& v, const QString& defaut)
{
    auto t = texte(v);
    return t ? std::move(*t) : defaut;
}
std::optional<QString> texteOpt(const VueJson& v);
std::optional<double> nombre(const VueJson& v);
inline double nombre(const VueJson& v, double defaut) { return nombre(v).value_or(defaut); }
std::optional<qint64> entier(const VueJson& v);
inline qint64 entier(const VueJson& v, qint64 defaut) { return entier(v).value_or(defaut); }
std::optional<bool> booleen(const VueJson& v);
inline bool booleen(const VueJson& v, bool defaut) { return booleen(v).value_or(defaut); }
QStringList textes(const VueJson& v);
std::optional<QStringList> textesOpt(const VueJson& v);
QList<JSONValeur> objetsBruts(const VueJson& v);

// Rule 5 for records that have depuisJson(const VueJson&).
template<typename T>
QList<T> liste(const VueJson& v)
{
    QList<T> r;
    if (!v.isArray())
        return r;
    for (const VueJson& e : v) {
        if (e.estDiffere()) {
            const auto seul = e.analyserDiffere();
            if (auto x = seul ? T::depuisJson(seul->racine()) : std::nullopt)
                r.append(std::move(*x));
            e.liberer();
            continue;
        }
        if (auto x = T::depuisJson(e))
            r.append(std::move(*x));
    }
    return r;
}
template<typename T>
std::optional<QList<T>> listeOpt(const VueJson& v)
{
    if (!v.isArray())
        return std::nullopt;
    return liste<T>(v);
}

} // namespace lire

QByteArray texteJsonCompact(const QJsonValue& v);

// Decodes a record from a Qt JSON value (model output, engine answers): the
// record's decoder runs over the fast view, so there is one set of rules.
template<typename T>
std::optional<T> depuisQt(const QJsonValue& v)
{
    auto doc = DocJson::analyser(texteJsonCompact(v));
    if (!doc)
        return std::nullopt;
    return T::depuisJson(doc->racine());
}

// Compact JSON writer (no indentation, slashes not escaped), appending to a buffer.
class EcrivainJson {
public:
    explicit EcrivainJson(QByteArray& sortie) : o_(sortie) {}
    // Streaming: once the output passes seuil bytes between two list elements, vidange
    // receives it and must empty it (a large state is written without one buffer of its size).
    void setVidange(qsizetype seuil, std::function<void(QByteArray&)> vidange)
    {
        seuil_ = seuil;
        vidange_ = std::move(vidange);
    }
    void debutObjet() { sep(); o_.append('{'); virgule_ = false; }
    void finObjet() { o_.append('}'); virgule_ = true; }
    void debutTableau() { sep(); o_.append('['); virgule_ = false; }
    void finTableau() { o_.append(']'); virgule_ = true; }
    void cle(std::string_view k);
    void texte(const QString& s);
    void nombre(double d);
    void entier(qint64 i);
    void booleen(bool b) { sep(); o_.append(b ? "true" : "false"); virgule_ = true; }
    void nul() { sep(); o_.append("null"); virgule_ = true; }
    void valeur(const QJsonValue& v);
    void valeur(const JSONValeur& v) { valeur(v.qt()); }

    void champ(std::string_view k, const QString& v) { cle(k); texte(v); }
    void champ(std::string_view k, const char* v) { cle(k); texte(QString::fromUtf8(v)); }
    void champ(std::string_view k, double v) { cle(k); nombre(v); }
    void champ(std::string_view k, qint64 v) { cle(k); entier(v); }
    void champ(std::string_view k, int v) { cle(k); entier(v); }
    void champ(std::string_view k, bool v) { cle(k); booleen(v); }
    void champ(std::string_view k, const JSONValeur& v) { cle(k); valeur(v); }
    void champ(std::string_view k, const QStringList& v);
    template<typename T>
    void champ(std::string_view k, const std::optional<T>& v)
    {
        if (v)
            champ(k, *v);
    }
    // A nested record, written by ecrire(EcrivainJson&, const T&).
    template<typename T>
        requires(!std::is_arithmetic_v<T>)
    void champ(std::string_view k, const T& r)
    {
        cle(k);
        ecrire(*this, r);
    }
    // A list of records, each written by ecrire(EcrivainJson&, const T&).
    template<typename T>
    void champ(std::string_view k, const QList<T>& v)
    {
        cle(k);
        debutTableau();
        for (const T& e : v) {
            ecrire(*this, e);
            if (vidange_ && o_.size() >= seuil_)
                vidange_(o_);
        }
        finTableau();
    }

private:
    void sep()
    {
        if (virgule_)
            o_.append(',');
    }
    QByteArray& o_;
    bool virgule_ = false;
    qsizetype seuil_ = 0;
    std::function<void(QByteArray&)> vidange_;
};

void ecrire(EcrivainJson& e, const JSONValeur& v);

// Compact text and QJsonObject of any record that has ecrire().
template<typename T>
QByteArray versTexteJson(const T& r)
{
    QByteArray b;
    EcrivainJson e(b);
    ecrire(e, r);
    return b;
}
QJsonValue depuisTexteJson(const QByteArray& json);
template<typename T>
QJsonObject versObjetJson(const T& r)
{
    return depuisTexteJson(versTexteJson(r)).toObject();
}

} // namespace vd::model
