// The one-sheet workbook of the export: shared strings, four cell formats,
// a frozen title row and an auto-filter.
#include "exportcrm.h"
#include "zip.h"

#include <QDate>
#include <QXmlStreamWriter>

namespace vd::crm {

namespace {

// Characters XML 1.0 does not allow are dropped.
QString pourXml(const QString& t)
{
    QString r;
    r.reserve(t.size());
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < t.size() && t[i + 1].isLowSurrogate()) {
            r.append(c).append(t[++i]);
            continue;
        }
        if (c.isSurrogate() || u == 0xFFFE || u == 0xFFFF || (u < 0x20 && u != 0x09 && u != 0x0A && u != 0x0D))
            continue;
        r.append(c);
    }
    return r;
}

QString colonne(int i)
{
    QString s;
    for (++i; i > 0; i = (i - 1) / 26)
        s.prepend(QChar(u'A' + (i - 1) % 26));
    return s;
}

double serieDe(const QString& jour)
{
    const QDate d = QDate::fromString(jour, QStringLiteral("yyyy-MM-dd"));
    return d.isValid() ? double(QDate(1899, 12, 30).daysTo(d)) : -1;
}

QByteArray xml(const std::function<void(QXmlStreamWriter&)>& corps)
{
    QByteArray b;
    QXmlStreamWriter w(&b);
    w.writeStartDocument(QStringLiteral("1.0"), true);
    corps(w);
    w.writeEndDocument();
    return b;
}

const QString nsMain = QStringLiteral("http://schemas.openxmlformats.org/spreadsheetml/2006/main");
const QString nsRel = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");
const QString typeRel = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/");

void relation(QXmlStreamWriter& w, const QString& id, const QString& type, const QString& cible)
{
    w.writeEmptyElement(QStringLiteral("Relationship"));
    w.writeAttribute(QStringLiteral("Id"), id);
    w.writeAttribute(QStringLiteral("Type"), type);
    w.writeAttribute(QStringLiteral("Target"), cible);
}

} // namespace

QByteArray ExportCRM::xlsx(const TableExport& t, const QDateTime& maintenant)
{
    QStringList chaines;
    QHash<QString, int> indexChaines;
    auto indexDe = [&](const QString& s) {
        const QString net = pourXml(s);
        auto it = indexChaines.constFind(net);
        if (it != indexChaines.constEnd())
            return *it;
        indexChaines.insert(net, int(chaines.size()));
        chaines.append(net);
        return int(chaines.size() - 1);
    };
    const int nbCol = int(t.titres.size());
    const int nbLignes = int(t.lignes.size()) + 1;
    const QString fin = colonne(std::max(0, nbCol - 1)) + QString::number(nbLignes);
    const QString plage = QStringLiteral("A1:") + fin;

    QByteArray feuille;
    feuille.reserve(t.lignes.size() * 600 + 4096);
    {
        QXmlStreamWriter w(&feuille);
        w.writeStartDocument(QStringLiteral("1.0"), true);
        w.writeStartElement(QStringLiteral("worksheet"));
        w.writeDefaultNamespace(nsMain);
        w.writeNamespace(nsRel, QStringLiteral("r"));
        w.writeEmptyElement(QStringLiteral("dimension"));
        w.writeAttribute(QStringLiteral("ref"), plage);
        w.writeStartElement(QStringLiteral("sheetViews"));
        w.writeStartElement(QStringLiteral("sheetView"));
        w.writeAttribute(QStringLiteral("workbookViewId"), QStringLiteral("0"));
        w.writeEmptyElement(QStringLiteral("pane"));
        w.writeAttribute(QStringLiteral("ySplit"), QStringLiteral("1"));
        w.writeAttribute(QStringLiteral("topLeftCell"), QStringLiteral("A2"));
        w.writeAttribute(QStringLiteral("activePane"), QStringLiteral("bottomLeft"));
        w.writeAttribute(QStringLiteral("state"), QStringLiteral("frozen"));
        w.writeEndElement();
        w.writeEndElement();
        w.writeStartElement(QStringLiteral("cols"));
        for (int i = 0; i < nbCol; ++i) {
            const QString& titre = t.titres[i];
            const int largeur = titre == QLatin1String("Notes") ? 50 : std::clamp(int(titre.size()) + 6, 12, 30);
            w.writeEmptyElement(QStringLiteral("col"));
            w.writeAttribute(QStringLiteral("min"), QString::number(i + 1));
            w.writeAttribute(QStringLiteral("max"), QString::number(i + 1));
            w.writeAttribute(QStringLiteral("width"), QString::number(largeur));
            w.writeAttribute(QStringLiteral("customWidth"), QStringLiteral("1"));
        }
        w.writeEndElement();
        w.writeStartElement(QStringLiteral("sheetData"));
        auto cellule = [&](int c, int l, const CelluleExport& v, bool titre) {
            const QString ref = colonne(c) + QString::number(l);
            switch (v.genre) {
            case CelluleExport::Genre::vide:
                return;
            case CelluleExport::Genre::texte:
                w.writeStartElement(QStringLiteral("c"));
                w.writeAttribute(QStringLiteral("r"), ref);
                if (titre)
                    w.writeAttribute(QStringLiteral("s"), QStringLiteral("1"));
                w.writeAttribute(QStringLiteral("t"), QStringLiteral("s"));
                w.writeTextElement(QStringLiteral("v"), QString::number(indexDe(v.texte)));
                w.writeEndElement();
                return;
            case CelluleExport::Genre::nombre:
                w.writeStartElement(QStringLiteral("c"));
                w.writeAttribute(QStringLiteral("r"), ref);
                w.writeAttribute(QStringLiteral("s"), QStringLiteral("3"));
                w.writeTextElement(QStringLiteral("v"), QString::number(v.nombre, 'g', 15));
                w.writeEndElement();
                return;
            case CelluleExport::Genre::date: {
                const double s = serieDe(v.texte);
                w.writeStartElement(QStringLiteral("c"));
                w.writeAttribute(QStringLiteral("r"), ref);
                if (s < 0) {
                    w.writeAttribute(QStringLiteral("t"), QStringLiteral("s"));
                    w.writeTextElement(QStringLiteral("v"), QString::number(indexDe(v.texte)));
                } else {
                    w.writeAttribute(QStringLiteral("s"), QStringLiteral("2"));
                    w.writeTextElement(QStringLiteral("v"), QString::number(qint64(s)));
                }
                w.writeEndElement();
                return;
            }
            }
        };
        w.writeStartElement(QStringLiteral("row"));
        w.writeAttribute(QStringLiteral("r"), QStringLiteral("1"));
        for (int i = 0; i < nbCol; ++i)
            cellule(i, 1, CelluleExport::deTexte(t.titres[i]), true);
        w.writeEndElement();
        for (int l = 0; l < t.lignes.size(); ++l) {
            w.writeStartElement(QStringLiteral("row"));
            w.writeAttribute(QStringLiteral("r"), QString::number(l + 2));
            const auto& ligne = t.lignes[l];
            for (int i = 0; i < ligne.size(); ++i)
                cellule(i, l + 2, ligne[i], false);
            w.writeEndElement();
        }
        w.writeEndElement();   // sheetData
        w.writeEmptyElement(QStringLiteral("autoFilter"));
        w.writeAttribute(QStringLiteral("ref"), plage);
        w.writeEmptyElement(QStringLiteral("pageMargins"));
        w.writeAttribute(QStringLiteral("left"), QStringLiteral("0.7"));
        w.writeAttribute(QStringLiteral("right"), QStringLiteral("0.7"));
        w.writeAttribute(QStringLiteral("top"), QStringLiteral("0.75"));
        w.writeAttribute(QStringLiteral("bottom"), QStringLiteral("0.75"));
        w.writeAttribute(QStringLiteral("header"), QStringLiteral("0.3"));
        w.writeAttribute(QStringLiteral("footer"), QStringLiteral("0.3"));
        w.writeEndElement();
        w.writeEndDocument();
    }

    const QByteArray partages = xml([&](QXmlStreamWriter& w) {
        w.writeStartElement(QStringLiteral("sst"));
        w.writeDefaultNamespace(nsMain);
        w.writeAttribute(QStringLiteral("count"), QString::number(chaines.size()));
        w.writeAttribute(QStringLiteral("uniqueCount"), QString::number(chaines.size()));
        for (const QString& s : chaines) {
            w.writeStartElement(QStringLiteral("si"));
            w.writeStartElement(QStringLiteral("t"));
            w.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
            w.writeCharacters(s);
            w.writeEndElement();
            w.writeEndElement();
        }
        w.writeEndElement();
    });

    const QString w3c = maintenant.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
    EcrivainZip zip;
    zip.ajouter(QStringLiteral("[Content_Types].xml"), xml([](QXmlStreamWriter& w) {
        w.writeStartElement(QStringLiteral("Types"));
        w.writeDefaultNamespace(QStringLiteral("http://schemas.openxmlformats.org/package/2006/content-types"));
        auto defaut = [&](const char* ext, const char* type) {
            w.writeEmptyElement(QStringLiteral("Default"));
            w.writeAttribute(QStringLiteral("Extension"), QString::fromLatin1(ext));
            w.writeAttribute(QStringLiteral("ContentType"), QString::fromLatin1(type));
        };
        auto partie = [&](const char* nom, const char* type) {
            w.writeEmptyElement(QStringLiteral("Override"));
            w.writeAttribute(QStringLiteral("PartName"), QString::fromLatin1(nom));
            w.writeAttribute(QStringLiteral("ContentType"), QString::fromLatin1(type));
        };
        defaut("rels", "application/vnd.openxmlformats-package.relationships+xml");
        defaut("xml", "application/xml");
        partie("/xl/workbook.xml", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml");
        partie("/xl/worksheets/sheet1.xml", "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
        partie("/xl/styles.xml", "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml");
        partie("/xl/sharedStrings.xml", "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml");
        partie("/docProps/core.xml", "application/vnd.openxmlformats-package.core-properties+xml");
        partie("/docProps/app.xml", "application/vnd.openxmlformats-officedocument.extended-properties+xml");
        w.writeEndElement();
    }));
    zip.ajouter(QStringLiteral("_rels/.rels"), xml([](QXmlStreamWriter& w) {
        w.writeStartElement(QStringLiteral("Relationships"));
        w.writeDefaultNamespace(QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships"));
        relation(w, QStringLiteral("rId1"), typeRel + QStringLiteral("officeDocument"), QStringLiteral("xl/workbook.xml"));
        relation(w, QStringLiteral("rId2"), QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties"),
                 QStringLiteral("docProps/core.xml"));
        relation(w, QStringLiteral("rId3"), typeRel + QStringLiteral("extended-properties"), QStringLiteral("docProps/app.xml"));
        w.writeEndElement();
    }));
    zip.ajouter(QStringLiteral("docProps/core.xml"), xml([&](QXmlStreamWriter& w) {
        w.writeStartElement(QStringLiteral("cp:coreProperties"));
        w.writeNamespace(QStringLiteral("http://schemas.openxmlformats.org/package/2006/metadata/core-properties"), QStringLiteral("cp"));
        w.writeNamespace(QStringLiteral("http://purl.org/dc/elements/1.1/"), QStringLiteral("dc"));
        w.writeNamespace(QStringLiteral("http://purl.org/dc/terms/"), QStringLiteral("dcterms"));
        w.writeNamespace(QStringLiteral("http://www.w3.org/2001/XMLSchema-instance"), QStringLiteral("xsi"));
        w.writeTextElement(QStringLiteral("dc:title"), QStringLiteral("Vendalo CRM"));
        w.writeTextElement(QStringLiteral("dc:creator"), QStringLiteral("Vendalo"));
        for (const char* nom : {"dcterms:created", "dcterms:modified"}) {
            w.writeStartElement(QString::fromLatin1(nom));
            w.writeAttribute(QStringLiteral("xsi:type"), QStringLiteral("dcterms:W3CDTF"));
            w.writeCharacters(w3c);
            w.writeEndElement();
        }
        w.writeEndElement();
    }));
    zip.ajouter(QStringLiteral("docProps/app.xml"), xml([](QXmlStreamWriter& w) {
        w.writeStartElement(QStringLiteral("Properties"));
        w.writeDefaultNamespace(QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/extended-properties"));
        w.writeTextElement(QStringLiteral("Application"), QStringLiteral("Vendalo"));
        w.writeEndElement();
    }));
    zip.ajouter(QStringLiteral("xl/workbook.xml"), xml([&](QXmlStreamWriter& w) {
        w.writeStartElement(QStringLiteral("workbook"));
        w.writeDefaultNamespace(nsMain);
        w.writeNamespace(nsRel, QStringLiteral("r"));
        w.writeStartElement(QStringLiteral("sheets"));
        w.writeEmptyElement(QStringLiteral("sheet"));
        w.writeAttribute(QStringLiteral("name"), QStringLiteral("Contacts"));
        w.writeAttribute(QStringLiteral("sheetId"), QStringLiteral("1"));
        w.writeAttribute(nsRel, QStringLiteral("id"), QStringLiteral("rId1"));
        w.writeEndElement();
        w.writeStartElement(QStringLiteral("definedNames"));
        w.writeStartElement(QStringLiteral("definedName"));
        w.writeAttribute(QStringLiteral("name"), QStringLiteral("_xlnm._FilterDatabase"));
        w.writeAttribute(QStringLiteral("localSheetId"), QStringLiteral("0"));
        w.writeAttribute(QStringLiteral("hidden"), QStringLiteral("1"));
        w.writeCharacters(QStringLiteral("Contacts!$A$1:$") + colonne(std::max(0, nbCol - 1)) + QStringLiteral("$") + QString::number(nbLignes));
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();
    }));
    zip.ajouter(QStringLiteral("xl/_rels/workbook.xml.rels"), xml([](QXmlStreamWriter& w) {
        w.writeStartElement(QStringLiteral("Relationships"));
        w.writeDefaultNamespace(QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships"));
        relation(w, QStringLiteral("rId1"), typeRel + QStringLiteral("worksheet"), QStringLiteral("worksheets/sheet1.xml"));
        relation(w, QStringLiteral("rId2"), typeRel + QStringLiteral("styles"), QStringLiteral("styles.xml"));
        relation(w, QStringLiteral("rId3"), typeRel + QStringLiteral("sharedStrings"), QStringLiteral("sharedStrings.xml"));
        w.writeEndElement();
    }));
    zip.ajouter(QStringLiteral("xl/styles.xml"), xml([](QXmlStreamWriter& w) {
        w.writeStartElement(QStringLiteral("styleSheet"));
        w.writeDefaultNamespace(nsMain);
        w.writeStartElement(QStringLiteral("fonts"));
        w.writeAttribute(QStringLiteral("count"), QStringLiteral("2"));
        for (bool gras : {false, true}) {
            w.writeStartElement(QStringLiteral("font"));
            if (gras)
                w.writeEmptyElement(QStringLiteral("b"));
            w.writeEmptyElement(QStringLiteral("sz"));
            w.writeAttribute(QStringLiteral("val"), QStringLiteral("11"));
            w.writeEmptyElement(QStringLiteral("name"));
            w.writeAttribute(QStringLiteral("val"), QStringLiteral("Calibri"));
            w.writeEndElement();
        }
        w.writeEndElement();
        w.writeStartElement(QStringLiteral("fills"));
        w.writeAttribute(QStringLiteral("count"), QStringLiteral("2"));
        for (const char* motif : {"none", "gray125"}) {
            w.writeStartElement(QStringLiteral("fill"));
            w.writeEmptyElement(QStringLiteral("patternFill"));
            w.writeAttribute(QStringLiteral("patternType"), QString::fromLatin1(motif));
            w.writeEndElement();
        }
        w.writeEndElement();
        w.writeStartElement(QStringLiteral("borders"));
        w.writeAttribute(QStringLiteral("count"), QStringLiteral("1"));
        w.writeEmptyElement(QStringLiteral("border"));
        w.writeEndElement();
        w.writeStartElement(QStringLiteral("cellStyleXfs"));
        w.writeAttribute(QStringLiteral("count"), QStringLiteral("1"));
        w.writeEmptyElement(QStringLiteral("xf"));
        w.writeAttribute(QStringLiteral("numFmtId"), QStringLiteral("0"));
        w.writeEndElement();
        w.writeStartElement(QStringLiteral("cellXfs"));
        w.writeAttribute(QStringLiteral("count"), QStringLiteral("4"));
        const std::pair<const char*, const char*> xfs[] = {{"0", "0"}, {"0", "1"}, {"14", "0"}, {"0", "0"}};
        for (const auto& [fmt, police] : xfs) {
            w.writeEmptyElement(QStringLiteral("xf"));
            w.writeAttribute(QStringLiteral("numFmtId"), QString::fromLatin1(fmt));
            w.writeAttribute(QStringLiteral("fontId"), QString::fromLatin1(police));
            w.writeAttribute(QStringLiteral("fillId"), QStringLiteral("0"));
            w.writeAttribute(QStringLiteral("borderId"), QStringLiteral("0"));
            w.writeAttribute(QStringLiteral("xfId"), QStringLiteral("0"));
            if (qstrcmp(fmt, "14") == 0)
                w.writeAttribute(QStringLiteral("applyNumberFormat"), QStringLiteral("1"));
            if (qstrcmp(police, "1") == 0)
                w.writeAttribute(QStringLiteral("applyFont"), QStringLiteral("1"));
        }
        w.writeEndElement();
        w.writeEndElement();
    }));
    zip.ajouter(QStringLiteral("xl/sharedStrings.xml"), partages);
    zip.ajouter(QStringLiteral("xl/worksheets/sheet1.xml"), feuille);
    return zip.terminer();
}

} // namespace vd::crm
