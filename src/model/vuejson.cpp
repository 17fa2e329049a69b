#include "vuejson.h"

#include <QJsonArray>
#include <QJsonObject>
#include <charconv>
#include <cmath>
#include <cstring>
#ifdef Q_OS_UNIX
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace vd::model {

namespace {

inline bool espace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

void ajouterUtf8(QByteArray& b, quint32 cp)
{
    if (cp < 0x80) {
        b.append(char(cp));
    } else if (cp < 0x800) {
        b.append(char(0xC0 | (cp >> 6)));
        b.append(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        b.append(char(0xE0 | (cp >> 12)));
        b.append(char(0x80 | ((cp >> 6) & 0x3F)));
        b.append(char(0x80 | (cp & 0x3F)));
    } else {
        b.append(char(0xF0 | (cp >> 18)));
        b.append(char(0x80 | ((cp >> 12) & 0x3F)));
        b.append(char(0x80 | ((cp >> 6) & 0x3F)));
        b.append(char(0x80 | (cp & 0x3F)));
    }
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

bool lireHex4(const char* p, quint32& v)
{
    v = 0;
    for (int k = 0; k < 4; ++k) {
        const int h = hex(p[k]);
        if (h < 0)
            return false;
        v = v * 16 + quint32(h);
    }
    return true;
}

} // namespace

std::shared_ptr<const DocJson> DocJson::analyser(QByteArray octets, const OptionsDocJson& options)
{
    if (octets.size() >= qsizetype(0xFFFFFFF0u))
        return nullptr;
    auto d = std::make_shared<DocJson>();
    d->octets_ = std::move(octets);
    d->options_ = options;
    if (!d->parser())
        return nullptr;
    return d;
}

bool DocJson::parser()
{
    const char* const base = octets_.constData();
    const char* p = base;
    const char* const fin = base + octets_.size();
    const bool differer = !options_.tableauxDifferes.isEmpty();
    noeuds_.reserve(differer ? 4096 : size_t(octets_.size() / 12) + 16);
    struct Cadre {
        quint32 noeud;
        bool objet;
        bool attendCle;   // objects: next token is a key (or the closing brace)
        bool vide;
        bool elementsDifferes = false;   // an array whose elements are not kept
        bool differe = false;            // an element not kept: its nodes go at its end
    };
    std::vector<Cadre> pile;
    pile.reserve(64);

    auto sauter = [&] {
        while (p < fin && espace(*p))
            ++p;
    };
    // Reads a string at p (on the quote); fills the node, returns false if malformed.
    auto chaine = [&](Noeud& n) -> bool {
        ++p;
        n.pos = quint32(p - base);
        n.echappe = 0;
        for (;;) {
            const char* q = static_cast<const char*>(std::memchr(p, '"', size_t(fin - p)));
            if (!q)
                return false;
            // Scan the stretch for escapes and control characters.
            for (const char* r = p; r < q; ++r) {
                const unsigned char c = static_cast<unsigned char>(*r);
                if (c < 0x20)
                    return false;
                if (c == '\\') {
                    n.echappe = 1;
                    ++r;
                    if (r >= fin)
                        return false;
                    const char e = *r;
                    if (e == 'u') {
                        quint32 v;
                        if (fin - r < 5 || !lireHex4(r + 1, v))
                            return false;
                        r += 4;
                    } else if (!std::strchr("\"\\/bfnrt", e) || e == 0) {
                        return false;
                    }
                    if (r >= q) {   // the quote we found was escaped: search further
                        q = static_cast<const char*>(std::memchr(r + 1, '"', size_t(fin - r - 1)));
                        if (!q)
                            return false;
                    }
                }
            }
            n.len = quint32(q - base) - n.pos;
            p = q + 1;
            return true;
        }
    };

    // Closes the container on top of the stack; then, while inside a
    // container, expects a comma or the next closing.
    auto fermer = [&] {
        Cadre c = pile.back();
        pile.pop_back();
        ++p;
        if (c.differe) {
            noeuds_.resize(c.noeud + 1);
            noeuds_[c.noeud].type = Differe;
        }
        noeuds_[c.noeud].fin = quint32(noeuds_.size());
        noeuds_[c.noeud].len = quint32(p - base) - noeuds_[c.noeud].pos;
    };
    // After a complete value: 1 = go on with the next member, 0 = done, -1 = error.
    auto apresValeur = [&]() -> int {
        for (;;) {
            if (pile.empty())
                return 0;
            sauter();
            if (p >= fin)
                return -1;
            Cadre& c = pile.back();
            if (*p == ',') {
                ++p;
                c.vide = false;
                c.attendCle = c.objet;
                return 1;
            }
            if (*p != (c.objet ? '}' : ']'))
                return -1;
            fermer();
        }
    };

    for (;;) {
        sauter();
        if (p >= fin)
            return false;
        if (!pile.empty()) {
            Cadre& c = pile.back();
            if (c.vide && *p == (c.objet ? '}' : ']')) {
                fermer();
                const int suite = apresValeur();
                if (suite < 0)
                    return false;
                if (suite == 0)
                    break;
                continue;
            }
            if (c.objet) {
                if (*p != '"')
                    return false;
                Noeud n{0, 0, 0, Chaine, 0};
                if (!chaine(n))
                    return false;
                n.fin = quint32(noeuds_.size() + 1);
                noeuds_.push_back(n);
                sauter();
                if (p >= fin || *p != ':')
                    return false;
                ++p;
                c.attendCle = false;
                sauter();
                if (p >= fin)
                    return false;
            }
            c.vide = false;
        }
        const quint32 index = quint32(noeuds_.size());
        switch (*p) {
        case '{':
        case '[': {
            if (pile.size() >= 512)
                return false;
            const bool objet = *p == '{';
            Cadre cadre{index, objet, objet, true};
            if (differer && !pile.empty()) {
                const Cadre& haut = pile.back();
                if (haut.elementsDifferes) {
                    cadre.differe = true;
                } else if (!objet && pile.size() == 1 && haut.objet) {
                    const Noeud& cle = noeuds_.back();   // the root member's key
                    const QByteArray nom = QByteArray::fromRawData(base + cle.pos, qsizetype(cle.len));
                    cadre.elementsDifferes = !cle.echappe && options_.tableauxDifferes.contains(nom);
                }
            }
            noeuds_.push_back({0, quint32(p - base), 0, quint8(objet ? Objet : Tableau), 0});
            ++p;
            pile.push_back(cadre);
            continue;
        }
        case '"': {
            Noeud n{index + 1, 0, 0, Chaine, 0};
            if (!chaine(n))
                return false;
            noeuds_.push_back(n);
            break;
        }
        case 't':
            if (fin - p < 4 || std::memcmp(p, "true", 4) != 0)
                return false;
            noeuds_.push_back({index + 1, quint32(p - base), 4, Vrai, 0});
            p += 4;
            break;
        case 'f':
            if (fin - p < 5 || std::memcmp(p, "false", 5) != 0)
                return false;
            noeuds_.push_back({index + 1, quint32(p - base), 5, Faux, 0});
            p += 5;
            break;
        case 'n':
            if (fin - p < 4 || std::memcmp(p, "null", 4) != 0)
                return false;
            noeuds_.push_back({index + 1, quint32(p - base), 4, Nul, 0});
            p += 4;
            break;
        default: {
            // Number, strict JSON grammar.
            const char* d = p;
            if (*p == '-')
                ++p;
            if (p >= fin || !(*p >= '0' && *p <= '9'))
                return false;
            if (*p == '0')
                ++p;
            else
                while (p < fin && *p >= '0' && *p <= '9')
                    ++p;
            if (p < fin && *p == '.') {
                ++p;
                if (p >= fin || !(*p >= '0' && *p <= '9'))
                    return false;
                while (p < fin && *p >= '0' && *p <= '9')
                    ++p;
            }
            if (p < fin && (*p == 'e' || *p == 'E')) {
                ++p;
                if (p < fin && (*p == '+' || *p == '-'))
                    ++p;
                if (p >= fin || !(*p >= '0' && *p <= '9'))
                    return false;
                while (p < fin && *p >= '0' && *p <= '9')
                    ++p;
            }
            noeuds_.push_back({index + 1, quint32(d - base), quint32(p - d), Nombre, 0});
        }
        }
        const int suite = apresValeur();
        if (suite < 0)
            return false;
        if (suite == 0)
            break;
    }
    sauter();
    return p == fin && !noeuds_.empty();
}

QString DocJson::chaine(const Noeud& n) const
{
    const char* s = octets_.constData() + n.pos;
    if (!n.echappe)
        return QString::fromUtf8(s, qsizetype(n.len));
    QByteArray b;
    b.reserve(qsizetype(n.len));
    const char* fin = s + n.len;
    for (const char* p = s; p < fin; ++p) {
        if (*p != '\\') {
            b.append(*p);
            continue;
        }
        ++p;
        switch (*p) {
        case 'b': b.append('\b'); break;
        case 'f': b.append('\f'); break;
        case 'n': b.append('\n'); break;
        case 'r': b.append('\r'); break;
        case 't': b.append('\t'); break;
        case 'u': {
            quint32 v = 0;
            lireHex4(p + 1, v);
            p += 4;
            if (v >= 0xD800 && v < 0xDC00 && fin - p >= 7 && p[1] == '\\' && p[2] == 'u') {
                quint32 bas = 0;
                if (lireHex4(p + 3, bas) && bas >= 0xDC00 && bas < 0xE000) {
                    v = 0x10000 + ((v - 0xD800) << 10) + (bas - 0xDC00);
                    p += 6;
                }
            }
            if (v >= 0xD800 && v < 0xE000)
                v = 0xFFFD;   // lone surrogate
            ajouterUtf8(b, v);
            break;
        }
        default: b.append(*p); break;   // " \ /
        }
    }
    return QString::fromUtf8(b);
}

bool VueJson::isObject() const { return doc_ && doc_->noeuds_[i_].type == DocJson::Objet; }
bool VueJson::isArray() const { return doc_ && doc_->noeuds_[i_].type == DocJson::Tableau; }
bool VueJson::isString() const { return doc_ && doc_->noeuds_[i_].type == DocJson::Chaine; }
bool VueJson::isDouble() const { return doc_ && doc_->noeuds_[i_].type == DocJson::Nombre; }
bool VueJson::isBool() const
{
    return doc_ && (doc_->noeuds_[i_].type == DocJson::Vrai || doc_->noeuds_[i_].type == DocJson::Faux);
}
bool VueJson::isNull() const { return doc_ && doc_->noeuds_[i_].type == DocJson::Nul; }
bool VueJson::toBool() const { return doc_ && doc_->noeuds_[i_].type == DocJson::Vrai; }

QString VueJson::toString() const { return isString() ? doc_->chaine(doc_->noeuds_[i_]) : QString(); }

double VueJson::toDouble() const
{
    if (!isDouble())
        return 0;
    const auto& n = doc_->noeuds_[i_];
    const char* s = doc_->octets_.constData() + n.pos;
    double d = 0;
    const auto r = std::from_chars(s, s + n.len, d);
    if (r.ec == std::errc::result_out_of_range)
        return (*s == '-') ? -HUGE_VAL : HUGE_VAL;   // too large: infinite, read as missing
    return d;
}

bool VueJson::estDiffere() const { return doc_ && doc_->noeuds_[i_].type == DocJson::Differe; }

std::shared_ptr<const DocJson> VueJson::analyserDiffere() const
{
    if (!estDiffere())
        return nullptr;
    const auto& n = doc_->noeuds_[i_];
    // The element was checked by the first pass; its text stays in the parent's bytes.
    return DocJson::analyser(QByteArray::fromRawData(doc_->octets_.constData() + n.pos, qsizetype(n.len)));
}

void VueJson::liberer() const
{
    if (doc_)
        doc_->liberer(doc_->noeuds_[i_].pos + doc_->noeuds_[i_].len);
}

void DocJson::liberer(quint32 jusqua) const
{
#ifdef Q_OS_UNIX
    if (!options_.carteFichier)
        return;
    static const quint32 page = quint32(sysconf(_SC_PAGESIZE));
    const quint32 limite = jusqua - jusqua % page;
    if (limite <= libere_)
        return;
    // Only whole pages of the mapping, which starts on a page boundary.
    madvise(const_cast<char*>(octets_.constData()) + libere_, limite - libere_, MADV_DONTNEED);
    libere_ = limite;
#else
    Q_UNUSED(jusqua);
#endif
}

VueJson VueJson::champ(const char* cle) const
{
    if (!isObject())
        return {};
    const size_t lc = std::strlen(cle);
    const auto& noeuds = doc_->noeuds_;
    const quint32 fin = noeuds[i_].fin;
    const char* base = doc_->octets_.constData();
    VueJson trouve;
    for (quint32 k = i_ + 1; k < fin;) {
        const auto& nk = noeuds[k];
        const quint32 v = k + 1;
        const bool egal = nk.echappe ? doc_->chaine(nk) == QLatin1StringView(cle, qsizetype(lc))
                                     : (nk.len == lc && std::memcmp(base + nk.pos, cle, lc) == 0);
        if (egal)
            trouve = VueJson(doc_, v);   // the last member of that name wins, as in every JSON reader we meet
        k = noeuds[v].fin;
    }
    return trouve;
}

VueJson::Iterateur VueJson::begin() const
{
    if (!isObject() && !isArray())
        return end();
    return Iterateur(doc_, isObject() ? i_ + 2 : i_ + 1, isObject());
}

VueJson::Iterateur VueJson::end() const
{
    if (!isObject() && !isArray())
        return Iterateur(doc_, 0, false);
    const quint32 f = doc_->noeuds_[i_].fin;
    return Iterateur(doc_, isObject() ? f + 1 : f, isObject());
}

VueJson::Iterateur& VueJson::Iterateur::operator++()
{
    i_ = doc_->noeuds_[i_].fin;
    if (membres_)
        ++i_;   // skip the next key
    return *this;
}

qsizetype VueJson::taille() const
{
    qsizetype n = 0;
    for (auto it = begin(); it != end(); ++it)
        ++n;
    return n;
}

QJsonValue VueJson::versQt() const
{
    if (!doc_)
        return QJsonValue(QJsonValue::Undefined);
    const auto& n = doc_->noeuds_[i_];
    switch (n.type) {
    case DocJson::Objet: {
        QJsonObject o;
        const quint32 fin = n.fin;
        for (quint32 k = i_ + 1; k < fin;) {
            const QString cle = doc_->chaine(doc_->noeuds_[k]);
            const VueJson v(doc_, k + 1);
            o.insert(cle, v.versQt());
            k = doc_->noeuds_[k + 1].fin;
        }
        return o;
    }
    case DocJson::Tableau: {
        QJsonArray a;
        for (const VueJson& e : *this)
            a.append(e.versQt());
        return a;
    }
    case DocJson::Chaine: return toString();
    case DocJson::Nombre: {
        const double d = toDouble();
        return std::isfinite(d) ? QJsonValue(d) : QJsonValue();
    }
    case DocJson::Vrai: return true;
    case DocJson::Faux: return false;
    default: return QJsonValue();
    }
}

} // namespace vd::model
