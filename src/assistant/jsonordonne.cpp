#include "jsonordonne.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

namespace vd::assistant::jsonordonne {

namespace {

struct Membre {
    QString cle;
    qsizetype debutCle = 0, debutValeur = 0, finValeur = 0;
};
struct Objet {
    qsizetype ouvre = -1, ferme = -1;   // positions of '{' and '}'
    QList<Membre> membres;
};

bool blanc(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

qsizetype sauterBlancs(const QByteArray& t, qsizetype i)
{
    while (i < t.size() && blanc(t[i]))
        ++i;
    return i;
}

qsizetype debutTexte(const QByteArray& t)
{
    return sauterBlancs(t, t.startsWith("\xEF\xBB\xBF") ? 3 : 0);
}

// Past the closing quote of the string opening at i.
qsizetype finChaine(const QByteArray& t, qsizetype i)
{
    for (++i; i < t.size(); ++i) {
        if (t[i] == '\\')
            ++i;
        else if (t[i] == '"')
            return i + 1;
    }
    return t.size();
}

qsizetype finValeur(const QByteArray& t, qsizetype i)
{
    if (i >= t.size())
        return i;
    if (t[i] == '"')
        return finChaine(t, i);
    if (t[i] == '{' || t[i] == '[') {
        int profondeur = 0;
        while (i < t.size()) {
            const char c = t[i];
            if (c == '"') {
                i = finChaine(t, i);
                continue;
            }
            if (c == '{' || c == '[')
                ++profondeur;
            else if ((c == '}' || c == ']') && --profondeur == 0)
                return i + 1;
            ++i;
        }
        return i;
    }
    while (i < t.size() && !blanc(t[i]) && t[i] != ',' && t[i] != '}' && t[i] != ']')
        ++i;
    return i;
}

QString decoderChaine(const QByteArray& brut)
{
    return QJsonDocument::fromJson("[" + brut + "]").array().at(0).toString();
}

Objet lireObjet(const QByteArray& t, qsizetype i)
{
    Objet o;
    o.ouvre = i;
    qsizetype j = sauterBlancs(t, i + 1);
    while (j < t.size() && t[j] != '}') {
        Membre m;
        m.debutCle = j;
        const qsizetype finCle = finChaine(t, j);
        m.cle = decoderChaine(t.mid(j, finCle - j));
        j = sauterBlancs(t, finCle);
        j = sauterBlancs(t, j + 1);   // past ':'
        m.debutValeur = j;
        m.finValeur = finValeur(t, j);
        o.membres.append(m);
        j = sauterBlancs(t, m.finValeur);
        if (j < t.size() && t[j] == ',')
            j = sauterBlancs(t, j + 1);
    }
    o.ferme = j;
    return o;
}

const Membre* trouver(const Objet& o, const QString& cle)
{
    for (const Membre& m : o.membres)
        if (m.cle == cle)
            return &m;
    return nullptr;
}

// Leading spaces of the line that holds pos.
QByteArray indentationLigne(const QByteArray& t, qsizetype pos)
{
    const qsizetype debut = t.lastIndexOf('\n', pos - 1) + 1;
    qsizetype fin = debut;
    while (fin < t.size() && (t[fin] == ' ' || t[fin] == '\t'))
        ++fin;
    return t.mid(debut, fin - debut);
}

// Whether pos starts its line (after spaces).
bool enDebutDeLigne(const QByteArray& t, qsizetype pos)
{
    for (qsizetype i = pos - 1; i >= 0 && t[i] != '\n'; --i)
        if (t[i] != ' ' && t[i] != '\t')
            return false;
    return true;
}

// The file's indentation step: that of the top level's first member, else two spaces.
QByteArray pasIndentation(const QByteArray& t, const Objet& racine)
{
    if (!racine.membres.isEmpty() && enDebutDeLigne(t, racine.membres.first().debutCle)) {
        const QByteArray i = indentationLigne(t, racine.membres.first().debutCle);
        if (!i.isEmpty())
            return i;
    }
    return "  ";
}

// valeur is written with two-space steps from column 0; it is moved to the file's
// step and under base. A file written on one line gets a one-line value.
QByteArray placer(const QByteArray& valeur, const QByteArray& base, const QByteArray& pas, bool surUneLigne)
{
    const QList<QByteArray> lignes = valeur.split('\n');
    if (surUneLigne) {
        QByteArray r;
        for (const QByteArray& l : lignes)
            r += l.trimmed() + (l.trimmed().endsWith(',') ? " " : "");
        return r;
    }
    QByteArray r;
    for (qsizetype n = 0; n < lignes.size(); ++n) {
        const QByteArray& l = lignes[n];
        qsizetype espaces = 0;
        while (espaces < l.size() && l[espaces] == ' ')
            ++espaces;
        if (n > 0)
            r += '\n' + base;
        r += pas.repeated(espaces / 2) + l.mid(espaces - espaces % 2);
    }
    return r;
}

QByteArray cleJson(const QString& cle)
{
    const QByteArray a = QJsonDocument(QJsonArray{cle}).toJson(QJsonDocument::Compact);
    return a.mid(1, a.size() - 2);
}

QByteArray insererMembre(const QByteArray& t, const Objet& o, const QString& cle, const QByteArray& valeur, const QByteArray& pas)
{
    QByteArray r = t;
    if (!o.membres.isEmpty()) {
        const Membre& dernier = o.membres.last();
        const bool ligneAPart = enDebutDeLigne(t, dernier.debutCle);
        const QByteArray base = ligneAPart ? indentationLigne(t, dernier.debutCle) : QByteArray();
        const QByteArray ajout = (ligneAPart ? ",\n" + base : QByteArray(", ")) + cleJson(cle) + ": " + placer(valeur, base, pas, !ligneAPart);
        return r.insert(dernier.finValeur, ajout);
    }
    const QByteArray parent = indentationLigne(t, o.ouvre);
    const QByteArray base = parent + pas;
    const QByteArray bloc = "{\n" + base + cleJson(cle) + ": " + placer(valeur, base, pas, false) + "\n" + parent + "}";
    return r.replace(o.ouvre, o.ferme + 1 - o.ouvre, bloc);
}

} // namespace

std::optional<Defaut> verifier(const QByteArray& texte, const QString& objet)
{
    QJsonParseError e;
    const QJsonDocument d = QJsonDocument::fromJson(texte, &e);
    if (e.error != QJsonParseError::NoError) {
        const qsizetype ou = std::clamp<qsizetype>(e.offset, 0, texte.size());
        // A real trailing comma: a ',' outside strings whose next sign closes the
        // object or the list, at or before the place the parser stopped.
        for (qsizetype i = 0; i < texte.size() && i <= ou; ++i) {
            if (texte[i] == '"') {
                i = finChaine(texte, i) - 1;
                continue;
            }
            if (texte[i] == ',') {
                const qsizetype j = sauterBlancs(texte, i + 1);
                if (j < texte.size() && (texte[j] == '}' || texte[j] == ']'))
                    return ErreurSyntaxe{int(texte.left(i).count('\n')) + 1, true};
            }
        }
        return ErreurSyntaxe{int(texte.left(ou).count('\n')) + 1, false};
    }
    if (!d.isObject())
        return StructureInattendue{};
    const QJsonValue v = d.object().value(objet);
    if (!v.isUndefined() && !v.isObject())
        return StructureInattendue{};
    return std::nullopt;
}

QString detail(const Defaut& d)
{
    if (const auto* s = std::get_if<ErreurSyntaxe>(&d))
        return (s->virguleEnTrop ? QStringLiteral("virgule en trop vers la ligne %1") : QStringLiteral("erreur de syntaxe vers la ligne %1"))
            .arg(s->ligne);
    return QStringLiteral("structure inattendue");
}

bool contientMembre(const QByteArray& texte, const QString& objet, const QString& cle)
{
    const Objet racine = lireObjet(texte, debutTexte(texte));
    const Membre* o = trouver(racine, objet);
    return o && trouver(lireObjet(texte, o->debutValeur), cle);
}

QByteArray avecMembre(const QByteArray& texte, const QString& objet, const QString& cle, const QByteArray& valeur)
{
    const Objet racine = lireObjet(texte, debutTexte(texte));
    const QByteArray pas = pasIndentation(texte, racine);
    const Membre* o = trouver(racine, objet);
    if (!o)
        return insererMembre(texte, racine, objet, "{\n  " + cleJson(cle) + ": " + placer(valeur, "  ", "  ", false) + "\n}", pas);
    const Objet interieur = lireObjet(texte, o->debutValeur);
    if (const Membre* m = trouver(interieur, cle)) {
        const bool ligneAPart = enDebutDeLigne(texte, m->debutCle);
        QByteArray r = texte;
        return r.replace(m->debutValeur, m->finValeur - m->debutValeur,
                         placer(valeur, ligneAPart ? indentationLigne(texte, m->debutCle) : QByteArray(), pas, !ligneAPart));
    }
    return insererMembre(texte, interieur, cle, valeur, pas);
}

QByteArray sansMembre(const QByteArray& texte, const QString& objet, const QString& cle)
{
    const Objet racine = lireObjet(texte, debutTexte(texte));
    const Membre* o = trouver(racine, objet);
    if (!o)
        return texte;
    const Objet interieur = lireObjet(texte, o->debutValeur);
    for (qsizetype n = 0; n < interieur.membres.size(); ++n) {
        const Membre& m = interieur.membres[n];
        if (m.cle != cle)
            continue;
        QByteArray r = texte;
        if (interieur.membres.size() == 1)
            return r.remove(interieur.ouvre + 1, interieur.ferme - interieur.ouvre - 1);
        if (n + 1 < interieur.membres.size())
            return r.remove(m.debutCle, interieur.membres[n + 1].debutCle - m.debutCle);
        const qsizetype debut = interieur.membres[n - 1].finValeur;
        return r.remove(debut, m.finValeur - debut);
    }
    return texte;
}

} // namespace vd::assistant::jsonordonne
