#include "xlsx.h"

#include <QDate>
#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <cmath>

namespace vd::crm {

namespace {

constexpr qint64 totalMaxDecompresse = 314572800;   // all parts of one reading together
constexpr qint64 cellulesMax = 20000000;            // cells kept for one sheet, gaps included

ErreurTableur message(const char* texte) { return ErreurTableur::illisible(QString::fromUtf8(texte)); }
ErreurTableur depuisZip(const ErreurZip& e) { return ErreurTableur::illisible(e.message); }

const char* const msgIntrouvable = "Ce fichier n'est pas un classeur Excel (.xlsx) : le classeur est introuvable.";
const char* const msgIllisible = "Ce fichier n'est pas un classeur Excel (.xlsx) lisible.";

// Counts what is inflated, so that many parts cannot add up to a bomb.
class Lecteur {
public:
    explicit Lecteur(const ArchiveZip& a) : a_(a) {}
    Resultat<QByteArray, ErreurTableur> partie(const QString& nom)
    {
        auto r = a_.extraire(nom, ArchiveZip::tailleMaxEntree);
        if (!r)
            return echec(depuisZip(r.erreur()));
        total_ += r.valeur().size();
        if (total_ > totalMaxDecompresse)
            return echec(message("Ce fichier Excel est trop gros une fois décompressé."));
        return r.valeur();
    }

private:
    const ArchiveZip& a_;
    qint64 total_ = 0;
};

struct Lien {
    QString id, cible, type;
};

QString dossierDe(const QString& partie)
{
    const qsizetype i = partie.lastIndexOf(QLatin1Char('/'));
    return i < 0 ? QString() : partie.left(i + 1);
}

// A relationship target, relative to the folder of its source part, as an archive name.
QString resoudre(const QString& dossier, const QString& cible)
{
    QString c = cible;
    QStringList morceaux;
    if (c.startsWith(QLatin1Char('/')))
        c.remove(0, 1);
    else
        morceaux = dossier.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& m : c.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (m == QLatin1String(".."))
            morceaux.isEmpty() ? void() : morceaux.removeLast();
        else if (m != QLatin1String("."))
            morceaux.append(m);
    }
    return morceaux.join(QLatin1Char('/'));
}

std::optional<QList<Lien>> lireLiens(const QByteArray& xml)
{
    QList<Lien> liens;
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        if (r.readNext() == QXmlStreamReader::StartElement && r.name() == QLatin1String("Relationship")) {
            const auto a = r.attributes();
            liens.append({a.value(QLatin1String("Id")).toString(), a.value(QLatin1String("Target")).toString(),
                          a.value(QLatin1String("Type")).toString()});
        }
    }
    if (r.hasError())
        return std::nullopt;
    return liens;
}

const Lien* lienDeType(const QList<Lien>& liens, QLatin1String fin)
{
    for (const Lien& l : liens)
        if (l.type.endsWith(fin))
            return &l;
    return nullptr;
}

QStringList lireChaines(const QByteArray& xml)
{
    QStringList chaines;
    QXmlStreamReader r(xml);
    QString courante;
    bool dansSi = false, dansT = false;
    int phonetique = 0;
    while (!r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::StartElement:
            if (r.name() == QLatin1String("si")) {
                dansSi = true;
                courante.clear();
            } else if (r.name() == QLatin1String("rPh"))
                ++phonetique;
            else if (r.name() == QLatin1String("t"))
                dansT = true;
            break;
        case QXmlStreamReader::EndElement:
            if (r.name() == QLatin1String("si")) {
                chaines.append(courante);
                dansSi = false;
            } else if (r.name() == QLatin1String("rPh"))
                --phonetique;
            else if (r.name() == QLatin1String("t"))
                dansT = false;
            break;
        case QXmlStreamReader::Characters:
            if (dansSi && dansT && phonetique == 0)
                courante += r.text();
            break;
        default:
            break;
        }
    }
    return chaines;   // a broken tail keeps the strings read so far
}

QList<bool> lireStylesDate(const QByteArray& xml)
{
    QHash<int, QString> formats;
    QList<int> xfs;
    bool dansCellXfs = false;
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        const auto t = r.readNext();
        if (t == QXmlStreamReader::StartElement) {
            const auto a = r.attributes();
            if (r.name() == QLatin1String("numFmt"))
                formats.insert(a.value(QLatin1String("numFmtId")).toInt(), a.value(QLatin1String("formatCode")).toString());
            else if (r.name() == QLatin1String("cellXfs"))
                dansCellXfs = true;
            else if (dansCellXfs && r.name() == QLatin1String("xf"))
                xfs.append(a.value(QLatin1String("numFmtId")).toInt());
        } else if (t == QXmlStreamReader::EndElement && r.name() == QLatin1String("cellXfs"))
            dansCellXfs = false;
    }
    QList<bool> dates;
    dates.reserve(xfs.size());
    for (int id : xfs)
        dates.append(formatEstDate(id, formats.value(id)));
    return dates;
}

int colonneDe(QStringView lettres)
{
    int c = 0;
    for (QChar ch : lettres)
        c = c * 26 + (ch.unicode() - 'A' + 1);
    return c - 1;
}

} // namespace

std::optional<std::pair<int, int>> lireReference(QStringView ref)
{
    qsizetype i = 0;
    while (i < ref.size() && ref[i] >= u'A' && ref[i] <= u'Z' && i < 4)
        ++i;
    if (i == 0 || i > 3 || i == ref.size())
        return std::nullopt;
    const int colonne = colonneDe(ref.left(i));
    if (colonne > 16383)
        return std::nullopt;
    qint64 ligne = 0;
    for (qsizetype j = i; j < ref.size(); ++j) {
        if (ref[j] < u'0' || ref[j] > u'9' || j - i > 7)
            return std::nullopt;
        ligne = ligne * 10 + (ref[j].unicode() - '0');
    }
    if (ligne < 1 || ligne > 1048576)
        return std::nullopt;
    return std::pair{colonne, int(ligne)};
}

bool formatEstDate(int id, const QString& code)
{
    if ((id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58))
        return true;
    if (code.isEmpty())
        return false;
    QString net;
    bool guillemets = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == u'"') {
            guillemets = !guillemets;
        } else if (guillemets) {
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;   // the next character is shown as it is (or is padding)
        } else if (c == u'[') {
            // Colours, conditions and locales are not dates; elapsed time ([h], [mm], [ss]) is.
            const qsizetype fin = code.indexOf(u']', i);
            const QString dedans = code.mid(i + 1, (fin < 0 ? code.size() : fin) - i - 1).toLower();
            static const QRegularExpression ecoule(QStringLiteral("^(h+|m+|s+)$"));
            if (ecoule.match(dedans).hasMatch())
                net += dedans;
            i = fin < 0 ? code.size() : fin;
        } else
            net += c;
    }
    const QString bas = net.toLower();
    if (bas == QLatin1String("general") || bas == QLatin1String("standard"))
        return false;
    for (QChar l : {u'd', u'm', u'y', u'h', u's', u'j', u'a'})
        if (bas.contains(l))
            return true;
    return false;
}

QString dateDepuisSerie(double serie, bool date1904)
{
    if (!std::isfinite(serie) || serie < 0 || serie > 2958465)
        return {};
    qint64 jours = qint64(std::floor(serie));
    const double fraction = serie - double(jours);
    QDate d;
    if (date1904)
        d = QDate(1904, 1, 1).addDays(jours);
    else if (jours == 0)
        d = QDate(1899, 12, 31);
    else if (jours < 60)
        d = QDate(1899, 12, 31).addDays(jours);
    else if (jours == 60)
        d = QDate(1900, 2, 28);   // the 1900 system's day that never was
    else
        d = QDate(1899, 12, 30).addDays(jours);
    QString t = d.toString(QStringLiteral("yyyy-MM-dd"));
    const qint64 secondes = qint64(std::llround(fraction * 86400.0));
    if (secondes > 0 && secondes < 86400)
        t += QStringLiteral(" %1:%2:%3")
                 .arg(secondes / 3600, 2, 10, QLatin1Char('0'))
                 .arg(secondes / 60 % 60, 2, 10, QLatin1Char('0'))
                 .arg(secondes % 60, 2, 10, QLatin1Char('0'));
    return t;
}

QString texteNombre(double v)
{
    if (!std::isfinite(v))
        return {};
    if (std::fabs(v) < 1e15 && v == std::trunc(v))
        return QString::number(qint64(v));
    QString t = QString::number(v, 'g', 15);
    if (t.contains(u'e')) {
        t = QString::number(v, 'f', 10);
        while (t.endsWith(u'0'))
            t.chop(1);
        if (t.endsWith(u'.'))
            t.chop(1);
    }
    return t;
}

Resultat<ClasseurImport, ErreurTableur> lireClasseurXlsx(const QByteArray& donnees)
{
    auto archive = ArchiveZip::ouvrir(donnees);
    if (!archive)
        return echec(depuisZip(archive.erreur()));
    auto source = std::make_shared<SourceXlsx>();
    source->archive = std::move(archive.valeur());
    const ArchiveZip& a = source->archive;
    for (const EntreeZip& e : a.entrees())
        if (e.nom.startsWith(QLatin1String("Index/")))
            return echec(message("Ce fichier vient de Numbers. Dans Numbers, choisissez Fichier, Exporter vers, Excel ou CSV."));

    Lecteur lecteur(a);
    QString partieClasseur = QStringLiteral("xl/workbook.xml");
    if (a.contient(QStringLiteral("_rels/.rels"))) {
        auto rels = lecteur.partie(QStringLiteral("_rels/.rels"));
        if (!rels)
            return echec(rels.erreur());
        if (auto liens = lireLiens(rels.valeur()))
            if (const Lien* l = lienDeType(*liens, QLatin1String("/officeDocument")))
                partieClasseur = resoudre(QString(), l->cible);
    }
    if (!a.contient(partieClasseur))
        return echec(message(msgIntrouvable));
    auto xml = lecteur.partie(partieClasseur);
    if (!xml)
        return echec(xml.erreur());

    struct FeuilleXML {
        QString nom, idLien;
        bool masquee = false;
    };
    QList<FeuilleXML> feuilles;
    QXmlStreamReader r(xml.valeur());
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto at = r.attributes();
        if (r.name() == QLatin1String("sheet")) {
            FeuilleXML f;
            f.nom = at.value(QLatin1String("name")).toString();
            for (const auto& x : at)
                if (x.name() == QLatin1String("id") && !x.namespaceUri().isEmpty())
                    f.idLien = x.value().toString();
            if (f.idLien.isEmpty())
                f.idLien = at.value(QLatin1String("r:id")).toString();
            const QString etat = at.value(QLatin1String("state")).toString();
            f.masquee = !etat.isEmpty() && etat != QLatin1String("visible");
            feuilles.append(f);
        } else if (r.name() == QLatin1String("workbookPr")) {
            const QString v = at.value(QLatin1String("date1904")).toString();
            source->date1904 = v == QLatin1String("1") || v == QLatin1String("true");
        }
    }
    if (r.hasError())
        return echec(message(msgIllisible));

    const QString dossier = dossierDe(partieClasseur);
    const QString nomRels = dossier + QStringLiteral("_rels/") + partieClasseur.mid(dossier.size()) + QStringLiteral(".rels");
    QList<Lien> liens;
    if (a.contient(nomRels)) {
        auto rels = lecteur.partie(nomRels);
        if (!rels)
            return echec(rels.erreur());
        liens = lireLiens(rels.valeur()).value_or(QList<Lien>());
    }
    const Lien* lc = lienDeType(liens, QLatin1String("/sharedStrings"));
    source->partieChaines = lc ? resoudre(dossier, lc->cible) : dossier + QStringLiteral("sharedStrings.xml");
    const Lien* ls = lienDeType(liens, QLatin1String("/styles"));
    source->partieStyles = ls ? resoudre(dossier, ls->cible) : dossier + QStringLiteral("styles.xml");

    ClasseurImport c;
    c.format = QStringLiteral("xlsx");
    c.description = QStringLiteral("Excel (.xlsx)");
    for (qsizetype i = 0; i < feuilles.size(); ++i) {
        QString partie = dossier + QStringLiteral("worksheets/sheet%1.xml").arg(i + 1);
        for (const Lien& l : liens)
            if (l.id == feuilles[i].idLien && !feuilles[i].idLien.isEmpty())
                partie = resoudre(dossier, l.cible);
        if (!a.contient(partie))
            continue;
        source->partiesFeuilles.append(partie);
        FeuilleTableur f;
        f.nom = feuilles[i].nom;
        f.masquee = feuilles[i].masquee;
        c.feuilles.append(f);
    }
    if (c.feuilles.isEmpty())
        return echec(message("Ce classeur ne contient aucune feuille lisible."));
    c.source = std::move(source);
    return c;
}

Resultat<FeuilleTableur, ErreurTableur> lireFeuilleXlsx(const SourceXlsx& s, const FeuilleTableur& modele, int index)
{
    if (index < 0 || index >= s.partiesFeuilles.size())
        return echec(message("Cette feuille n'existe pas dans le classeur."));
    Lecteur lecteur(s.archive);
    QStringList chaines;
    if (s.archive.contient(s.partieChaines)) {
        auto x = lecteur.partie(s.partieChaines);
        if (!x)
            return echec(x.erreur());
        chaines = lireChaines(x.valeur());
    }
    QList<bool> stylesDate;
    if (s.archive.contient(s.partieStyles)) {
        auto x = lecteur.partie(s.partieStyles);
        if (!x)
            return echec(x.erreur());
        stylesDate = lireStylesDate(x.valeur());
    }
    auto x = lecteur.partie(s.partiesFeuilles[index]);
    if (!x)
        return echec(x.erreur());

    FeuilleTableur f;
    f.nom = modele.nom;
    f.masquee = modele.masquee;
    bool consecutives = true;
    qint64 cellules = 0;
    QStringList ligne;
    int numeroLigne = 0, colonne = 0, style = 0;
    QString type, valeur, texteEnLigne;
    bool dansCellule = false, dansV = false, dansIs = false, dansT = false, celluleValide = false;
    int phonetique = 0;

    auto finirLigne = [&] {
        while (!ligne.isEmpty() && ligne.last().isEmpty())
            ligne.removeLast();
        if (ligne.isEmpty())
            return;   // empty rows are gaps, never stored
        if (f.lignes.size() >= lignesMaxGardees) {
            ++f.lignesNonGardees;
            return;
        }
        if (numeroLigne != f.lignes.size() + 1)
            consecutives = false;
        f.numeros.append(numeroLigne);
        cellules += ligne.size();
        f.lignes.append(std::move(ligne));
        ligne = QStringList();
    };
    auto valeurCellule = [&]() -> QString {
        if (type == QLatin1String("s")) {
            bool ok = false;
            const qint64 i = valeur.trimmed().toLongLong(&ok);
            return ok && i >= 0 && i < chaines.size() ? chaines[qsizetype(i)] : QString();
        }
        if (type == QLatin1String("inlineStr"))
            return texteEnLigne;
        if (type == QLatin1String("str"))
            return valeur;
        if (type == QLatin1String("b"))
            return valeur.trimmed() == QLatin1String("1") ? QStringLiteral("VRAI") : QStringLiteral("FAUX");
        if (type == QLatin1String("e"))
            return {};
        if (type == QLatin1String("d")) {
            QString v = valeur.trimmed();
            if (v.endsWith(QLatin1String("T00:00:00")) || v.endsWith(QLatin1String(" 00:00:00")))
                v.chop(9);
            return v;
        }
        bool ok = false;
        const double n = valeur.trimmed().toDouble(&ok);
        if (!ok)
            return valeur;
        if (style >= 0 && style < stylesDate.size() && stylesDate[style])
            return dateDepuisSerie(n, s.date1904);
        return texteNombre(n);
    };

    QXmlStreamReader r(x.valeur());
    while (!r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::StartElement: {
            const QStringView nom = r.name();
            if (nom == QLatin1String("row")) {
                const auto at = r.attributes();
                bool ok = false;
                const int n = at.value(QLatin1String("r")).toInt(&ok);
                numeroLigne = ok && n > numeroLigne && n <= 1048576 ? n : numeroLigne + 1;
                ligne.clear();
                colonne = 0;
            } else if (nom == QLatin1String("c")) {
                const auto at = r.attributes();
                dansCellule = true;
                celluleValide = true;
                type = at.value(QLatin1String("t")).toString();
                style = at.value(QLatin1String("s")).toInt();
                valeur.clear();
                texteEnLigne.clear();
                const QStringView ref = at.value(QLatin1String("r"));
                if (!ref.isEmpty()) {
                    // Past XFD1048576, malformed or in another row: the cell is dropped.
                    const auto p = lireReference(ref);
                    celluleValide = p && p->second == numeroLigne;
                    if (p)
                        colonne = p->first;
                }
                if (colonne > 16383)
                    celluleValide = false;
            } else if (dansCellule && nom == QLatin1String("v"))
                dansV = true;
            else if (dansCellule && nom == QLatin1String("is"))
                dansIs = true;
            else if (dansIs && nom == QLatin1String("rPh"))
                ++phonetique;
            else if (dansIs && nom == QLatin1String("t"))
                dansT = true;
            break;
        }
        case QXmlStreamReader::EndElement: {
            const QStringView nom = r.name();
            if (nom == QLatin1String("c")) {
                const QString v = valeurCellule();
                if (celluleValide && !v.isEmpty()) {
                    if (colonne >= ligne.size()) {
                        if (cellules + colonne + 1 > cellulesMax)
                            return echec(message("Ce fichier Excel est trop gros une fois décompressé."));
                        ligne.resize(colonne + 1);
                    }
                    ligne[colonne] = v;
                }
                dansCellule = dansV = dansIs = dansT = false;
                ++colonne;
            } else if (nom == QLatin1String("row")) {
                finirLigne();
            } else if (nom == QLatin1String("v"))
                dansV = false;
            else if (nom == QLatin1String("is"))
                dansIs = false;
            else if (nom == QLatin1String("rPh"))
                --phonetique;
            else if (nom == QLatin1String("t"))
                dansT = false;
            break;
        }
        case QXmlStreamReader::Characters:
            if (dansV)
                valeur += r.text();
            else if (dansT && phonetique == 0)
                texteEnLigne += r.text();
            break;
        default:
            break;
        }
    }
    if (r.hasError())
        return echec(message(msgIllisible));
    if (consecutives)
        f.numeros.clear();
    return f;
}

} // namespace vd::crm
