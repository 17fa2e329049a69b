#pragma once
// Fast read-only JSON: one pass builds a flat tape of nodes over the original
// bytes; strings are only turned into QString when a decoder asks for them.
// Used to load the store (tens of megabytes) without a QJsonDocument tree.
#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace vd::model {

class DocJson;

class VueJson {
public:
    VueJson() = default;
    bool existe() const { return doc_ != nullptr; }
    bool isObject() const;
    bool isArray() const;
    bool isString() const;
    bool isDouble() const;
    bool isBool() const;
    bool isNull() const;
    QString toString() const;          // empty unless a string
    double toDouble() const;           // 0 unless a number
    bool toBool() const;               // false unless true
    VueJson champ(const char* cle) const;   // invalid view when absent or not an object
    // Array elements (or object values), in order.
    class Iterateur;
    Iterateur begin() const;
    Iterateur end() const;
    qsizetype taille() const;          // number of elements or members
    QJsonValue versQt() const;         // whole subtree as a Qt JSON value
    // An element left unparsed by a deferred read (see OptionsDocJson): it is
    // parsed on its own when decoded, then its bytes may be released.
    bool estDiffere() const;
    std::shared_ptr<const DocJson> analyserDiffere() const;
    void liberer() const;   // the bytes up to the end of this value are no longer read

private:
    friend class DocJson;
    VueJson(const DocJson* d, quint32 i) : doc_(d), i_(i) {}
    const DocJson* doc_ = nullptr;
    quint32 i_ = 0;
};

struct OptionsDocJson {
    // Elements of these root members' arrays are checked but not kept in the tape:
    // a large file's tape then holds one element at a time instead of all of them.
    QList<QByteArray> tableauxDifferes;
    // The bytes are a read-only file mapping whose pages can be given back to the
    // system once read (they are read again from the file if ever needed).
    bool carteFichier = false;
};

class DocJson {
public:
    // None when the text is not valid JSON (or nests deeper than 512 levels).
    static std::shared_ptr<const DocJson> analyser(QByteArray octets, const OptionsDocJson& options = {});
    VueJson racine() const { return VueJson(this, 0); }

private:
    friend class VueJson;
    enum Type : quint8 { Objet, Tableau, Chaine, Nombre, Vrai, Faux, Nul, Differe };
    struct Noeud {
        quint32 fin;      // index of the next sibling
        quint32 pos;      // byte offset of the content (strings: after the quote)
        quint32 len;      // byte length of the content
        quint8 type;
        quint8 echappe;   // string holds escapes
    };
    QByteArray octets_;
    std::vector<Noeud> noeuds_;
    OptionsDocJson options_;
    mutable quint32 libere_ = 0;   // bytes of the mapping already given back
    bool parser();
    void liberer(quint32 jusqua) const;
    QString chaine(const Noeud& n) const;
};

class VueJson::Iterateur {
public:
    VueJson operator*() const { return VueJson(doc_, i_); }
    Iterateur& operator++();
    bool operator!=(const Iterateur& o) const { return i_ != o.i_; }

private:
    friend class VueJson;
    Iterateur(const DocJson* d, quint32 i, bool membres) : doc_(d), i_(i), membres_(membres) {}
    const DocJson* doc_;
    quint32 i_;
    bool membres_;
};

} // namespace vd::model
