// Reading import files: admission, text encodings, separators, CSV records,
// the ZIP container and the workbook readers.
#include "crm/tableur.h"
#include "crm/xlsx.h"
#include "crm/zip.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace vd::crm;

namespace {

// Without a byte order mark.
QByteArray utf16(const QString& t, bool be)
{
    return QStringEncoder(be ? QStringConverter::Utf16BE : QStringConverter::Utf16LE).encode(t);
}

// A minimal workbook: parts given by name, relationships included by the caller.
QByteArray classeur(const QList<std::pair<QString, QByteArray>>& parties)
{
    EcrivainZip z;
    for (const auto& [nom, contenu] : parties)
        z.ajouter(nom, contenu);
    return z.terminer();
}

const QByteArray relsRacine = R"(<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>)";

QByteArray classeurSimple(const QByteArray& feuille, const QByteArray& chaines = {}, const QByteArray& styles = {},
                          const QByteArray& workbook = {})
{
    QList<std::pair<QString, QByteArray>> p = {
        {QStringLiteral("_rels/.rels"), relsRacine},
        {QStringLiteral("xl/workbook.xml"),
         workbook.isEmpty() ? QByteArray(R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets><sheet name="Contacts" sheetId="1" r:id="rId1"/></sheets></workbook>)")
                            : workbook},
        {QStringLiteral("xl/_rels/workbook.xml.rels"),
         R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/><Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="/xl/worksheets/feuille2.xml"/></Relationships>)"},
        {QStringLiteral("xl/worksheets/sheet1.xml"), feuille},
        {QStringLiteral("xl/worksheets/feuille2.xml"), R"(<worksheet><sheetData><row r="1"><c r="A1" t="inlineStr"><is><t>Deux</t></is></c></row></sheetData></worksheet>)"},
    };
    if (!chaines.isEmpty())
        p.append({QStringLiteral("xl/sharedStrings.xml"), chaines});
    if (!styles.isEmpty())
        p.append({QStringLiteral("xl/styles.xml"), styles});
    return classeur(p);
}

QString messageDe(const QByteArray& d, const QString& ext)
{
    auto r = lireDonnees(d, ext);
    if (r)
        return QStringLiteral("(lu)");
    return r.erreur().message;
}

QList<QStringList> lignes(const QByteArray& d, const QString& ext = QStringLiteral("csv"), int feuille = 0)
{
    auto r = lireDonnees(d, ext);
    if (!r)
        return {{QStringLiteral("ERREUR"), r.erreur().message}};
    auto f = lireFeuille(r.valeur(), feuille);
    if (!f)
        return {{QStringLiteral("ERREUR"), f.erreur().message}};
    return f.valeur().lignes;
}

} // namespace

class TstTableur : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void admission_data()
    {
        QTest::addColumn<QByteArray>("donnees");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("message");
        const QString xls = QStringLiteral("Ce fichier est au format Excel 97-2004 (.xls). Dans Excel, choisissez Fichier, Enregistrer sous, Classeur Excel (.xlsx), ou CSV.");
        const QString numbers = QStringLiteral("Ce fichier vient de Numbers. Dans Numbers, choisissez Fichier, Exporter vers, Excel ou CSV.");
        QTest::newRow("xls") << QByteArray("x") << "xls" << xls;
        QTest::newRow("numbers") << QByteArray("x") << "numbers" << numbers;
        QTest::newRow("pdf") << QByteArray("x") << "pdf" << "Ce type de fichier ne s'importe pas. Choisissez un fichier CSV ou Excel (.xlsx).";
        QTest::newRow("vieux Excel nommé csv") << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1 reste", 16) << "csv" << xls;
        QByteArray chiffre("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
        for (const char* nom : {"EncryptionInfo", "EncryptedPackage"})
            chiffre += QByteArray(16, '\0') + utf16(QString::fromLatin1(nom), false);
        QTest::newRow("classeur protégé") << chiffre << "xlsx"
                                          << "Ce fichier est protégé par un mot de passe. Enregistrez-le sans mot de passe, puis réessayez.";
        QTest::newRow("vide") << QByteArray() << "csv" << "Ce fichier est vide.";
        QTest::newRow("binaire") << QByteArray("\x01\x02\x00\x05\xFF\x00\x10\x11\x12", 9) << "csv"
                                 << "Ce fichier n'est pas un texte lisible. Enregistrez-le en CSV (UTF-8) depuis votre tableur.";
        QTest::newRow("zip trop court") << QByteArray("PK\x03\x04", 4) << "xlsx" << "Ce fichier est vide ou abîmé.";
        QTest::newRow("zip sans fin") << QByteArray("PK\x03\x04") + QByteArray(100, 'x') << "xlsx"
                                      << "Ce fichier Excel est abîmé (archive incomplète).";
        QTest::newRow("Numbers déguisé") << classeur({{QStringLiteral("Index/Document.iwa"), "x"}}) << "xlsx" << numbers;
        QTest::newRow("sans classeur") << classeur({{QStringLiteral("autre.xml"), "<a/>"}}) << "xlsx"
                                       << "Ce fichier n'est pas un classeur Excel (.xlsx) : le classeur est introuvable.";
        QTest::newRow("classeur cassé") << classeur({{QStringLiteral("xl/workbook.xml"), "<workbook><sheets><sheet"}}) << "xlsx"
                                        << "Ce fichier n'est pas un classeur Excel (.xlsx) lisible.";
        QTest::newRow("sans feuille") << classeur({{QStringLiteral("xl/workbook.xml"), "<workbook><sheets/></workbook>"}}) << "xlsx"
                                      << "Ce classeur ne contient aucune feuille lisible.";
    }
    void admission()
    {
        QFETCH(QByteArray, donnees);
        QFETCH(QString, extension);
        QFETCH(QString, message);
        QCOMPARE(messageDe(donnees, extension), message);
    }

    void fichierIllisibleEtTropGros()
    {
        QCOMPARE(lireFichier(QStringLiteral("/nulle/part/contacts.csv")).erreur().message,
                 QStringLiteral("Impossible de lire ce fichier. Vérifiez qu'il n'est pas ouvert ailleurs, puis réessayez."));
        QTemporaryDir dir;
        const auto ecrire = [&dir](const QString& nom, const QByteArray& contenu, qint64 taille = 0) {
            QFile f(dir.filePath(nom));   // a failed write fails the reading checks below
            if (f.open(QIODevice::WriteOnly) && f.write(contenu) == contenu.size() && taille)
                f.resize(taille);
            return f.fileName();
        };
        QCOMPARE(lireFichier(ecrire("gros.csv", "Nom\n", tailleMaxFichier + 1)).erreur().message,
                 QStringLiteral("Ce fichier dépasse 50 Mo. Découpez-le en plusieurs fichiers."));
        QCOMPARE(lireFichier(ecrire("gros.xlsx", "PK\x03\x04", tailleMaxFichier + 1)).erreur().message,
                 QStringLiteral("Ce fichier dépasse 50 Mo. Gardez seulement l'onglet des contacts, ou exportez-le en CSV."));
        // Named .csv, read as the workbook it is.
        auto r = lireFichier(ecrire("deguise.csv", classeurSimple(R"(<worksheet><sheetData><row r="1"><c r="A1" t="inlineStr"><is><t>Nom</t></is></c></row></sheetData></worksheet>)")));
        QVERIFY(r);
        QCOMPARE(r.valeur().description, QStringLiteral("Excel (.xlsx)"));
    }

    void encodages()
    {
        const QString texte = QStringLiteral("Nom;Prénom\nLefèvre;Zoé\n");
        // 0x81 is undefined in Windows-1252: ISO Latin 1 reads it.
        const std::pair<QByteArray, const char*> cas[] = {{texte.toUtf8(), "UTF-8"},
                                                          {"\xEF\xBB\xBF" + texte.toUtf8(), "UTF-8"},
                                                          {"\xFF\xFE" + utf16(texte, false), "UTF-16"},
                                                          {"\xFE\xFF" + utf16(texte, true), "UTF-16"},
                                                          {utf16(texte, false), "UTF-16"},
                                                          {utf16(texte, true), "UTF-16"},
                                                          {texte.toLatin1(), "Windows-1252"},
                                                          {texte.toLatin1() + "\x81", "ISO Latin 1"}};
        for (const auto& [donnees, format] : cas) {
            auto r = lireDonnees(donnees, QStringLiteral("csv"));
            QVERIFY2(r, qPrintable(r ? QString() : r.erreur().message));
            const auto l = r.valeur().feuilles.first().lignes;
            QCOMPARE(r.valeur().format + '|' + l.value(1).value(0) + '|' + l.value(1).value(1).left(3) + '|' + l.value(0).value(1),
                     QString::fromLatin1(format) + QStringLiteral("|Lefèvre|Zoé|Prénom"));
        }
    }

    void windows1252Euro()
    {
        auto r = decoderTexte(QByteArray("Valeur\n12 \x80\n"));
        QVERIFY(r && r.valeur().texte.contains(QStringLiteral("12 €")));
        QCOMPARE(r.valeur().format, QStringLiteral("Windows-1252"));
    }

    void separateurs()
    {
        // The text and the separator found: commas in quoted notes do not count; "sep=" decides; none found is a comma;
        // a tie goes to the first; "sep=" with nothing after is no choice.
        const std::pair<const char*, const char*> cas[] = {
            {"Nom;Prénom;Email;Notes\nDurand;Léa;lea@a.fr;\"Rappeler, puis écrire, puis relancer\"\nMoreau;Paul;p@b.fr;\"a, b, c, d\"\n", ";"},
            {"Name,Email\nA,a@b.fr\nB,b@c.fr\n", ","},        {"Nom\tEmail\nA\ta@b.fr\n", "\t"},     {"Nom|Email|Tel\nA|a@b.fr|1\n", "|"},
            {"sep=,\r\nNom;Société,Email\nA;B,a@b.fr\n", ","}, {"Nom\nDurand\n", ","},                 {"a;b,c\n", ";"},
            {"sep=\nNom;Email\nA;a@b.fr\n", ";"}};
        for (const auto& [texte, separateur] : cas) {
            auto r = lireDonnees(QByteArray(texte), QStringLiteral("csv"));
            QVERIFY(r);
            const QString s = QString::fromLatin1(separateur);
            QCOMPARE(r.valeur().separateur + ' ' + r.valeur().description, s + " CSV · séparateur " + (s == "\t" ? QStringLiteral("tabulation") : s));
            // The "sep=" line is never the title row.
            QVERIFY(!r.valeur().feuilles.first().lignes.first().first().startsWith(QLatin1String("sep=")));
        }
    }

    void enregistrementsCsv()
    {
        const QString t = QStringLiteral("a,\"b,c\",\"d \"\"e\"\"\"\r\n\"ligne\nsuite\",,x\rz\n\n'=SOMME(A1),'-ok,'+33 6\n");
        const auto l = lireCsv(t, u',');
        // Quoted separators and quotes, a line break inside quotes, a lone CR, an empty line; the protection our export adds is removed.
        QCOMPARE(l, QList<QStringList>({{"a", "b,c", "d \"e\""}, {"ligne\nsuite", "", "x"}, {"z"}, {""}, {"=SOMME(A1)", "-ok", "+33 6"}}));
        int reste = 0;
        QCOMPARE(lireCsv(QStringLiteral("t\n1\n2\n\n3\n"), u',', 2, &reste).size(), 2);
        QCOMPARE(reste, 2);
    }

    void zipErreurs()
    {
        const QByteArray bon = classeur({{QStringLiteral("a.txt"), QByteArray(1000, 'a')}, {QStringLiteral("é/b.txt"), "bé"}});
        auto a = ArchiveZip::ouvrir(bon);
        QVERIFY(a);
        QCOMPARE(a.valeur().entrees().size(), 2);
        QCOMPARE(a.valeur().entrees()[1].nom, QStringLiteral("é/b.txt"));
        QCOMPARE(a.valeur().extraire(QStringLiteral("a.txt")).valeur(), QByteArray(1000, 'a'));
        QCOMPARE(a.valeur().extraire(QStringLiteral("é/b.txt")).valeur(), QByteArray("bé"));

        // Each case patches the good archive: at the end, or in the central entry (offset from its signature).
        const qsizetype central = bon.indexOf(QByteArray("PK\x01\x02", 4));
        const struct {
            qsizetype pos;
            QByteArray octets;
            bool alExtraction;
            const char* message;
        } cas[] = {
            {bon.size() - 6, "\xFF", false, "Ce fichier Excel est abîmé (répertoire illisible)."},
            {central + 8, "\x01", false, "Ce fichier est protégé par un mot de passe. Enregistrez-le sans mot de passe, puis réessayez."},
            {central + 10, "\x0C", true, "Ce fichier Excel utilise une compression inconnue. Enregistrez-le à nouveau depuis Excel."},
            {central + 24, "\xE9", true, "Ce fichier Excel est abîmé (a.txt ne se décompresse pas)."},   // size the data does not give
            {central + 27, "\x10", true, "Ce fichier Excel est trop gros une fois décompressé."},          // beyond 200 MiB
            {central + 20, "\xFF\xFF", true, "Ce fichier Excel est abîmé (a.txt tronqué)."},
            {central, "X", false, "Ce fichier Excel est abîmé (entrée illisible)."},
        };
        for (const auto& c : cas) {
            const auto a = ArchiveZip::ouvrir(QByteArray(bon).replace(c.pos, c.octets.size(), c.octets));
            QCOMPARE(c.alExtraction ? a.valeur().extraire(QStringLiteral("a.txt")).erreur().message : a.erreur().message,
                     QString::fromUtf8(c.message));
        }
    }

    void xlsxCellules()
    {
        const QByteArray chaines = R"(<sst><si><t>Nom</t></si><si><r><t>Pré</t></r><r><t>nom</t></r><rPh><t>ぷれ</t></rPh></si><si><t xml:space="preserve"> Zoé </t></si></sst>)";
        const QByteArray styles = R"(<styleSheet><numFmts><numFmt numFmtId="164" formatCode="dd/mm/yyyy"/><numFmt numFmtId="165" formatCode="[RED]0.00"/><numFmt numFmtId="166" formatCode="&quot;Jour &quot;0"/></numFmts>
<cellXfs count="5"><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="164"/><xf numFmtId="165"/><xf numFmtId="166"/></cellXfs></styleSheet>)";
        const QByteArray feuille = R"(<worksheet><sheetData>
<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c><c r="D1" t="inlineStr"><is><t>Date</t></is></c></row>
<row r="2"><c r="A2" t="s"><v>2</v></c><c r="B2" t="str"><f>A1</f><v>calculé</v></c><c r="C2" t="b"><v>1</v></c><c r="D2" s="1"><v>45292</v></c><c r="E2" s="2"><v>45292.5</v></c></row>
<row r="5"><c r="A5" t="s"><v>99</v></c><c r="B5" s="3"><v>12.5</v></c><c r="C5" s="4"><v>3</v></c><c r="D5" t="d"><v>2024-03-15T00:00:00</v></c><c r="E5" t="e"><v>#N/A</v></c><c r="F5"><v>1e20</v></c><c r="G5"><v>0.1</v></c><c r="XFE5"><v>1</v></c></row>
</sheetData></worksheet>)";
        auto r = lireDonnees(classeurSimple(feuille, chaines, styles), QStringLiteral("xlsx"));
        QVERIFY2(r, qPrintable(r ? QString() : r.erreur().message));
        QVERIFY(r.valeur().feuilles.size() == 1 && r.valeur().feuilles[0].nom == QStringLiteral("Contacts"));
        auto f = lireFeuille(r.valeur(), 0);
        QVERIFY(f);
        // Row 5: out-of-range string index: empty; coloured format: a number; a cell past XFD: dropped.
        QCOMPARE(f.valeur().lignes, QList<QStringList>({{"Nom", "Prénom", "", "Date"},
                                                        {" Zoé ", "calculé", "VRAI", "2024-01-01", "2024-01-01 12:00:00"},
                                                        {"", "12.5", "3", "2024-03-15", "", "100000000000000000000", "0.1"}}));
        // The gap (rows 3 and 4) is not stored but keeps the row numbers.
        QCOMPARE(f.valeur().numeros, QList<int>({1, 2, 5}));
        // The second sheet, by an absolute target.
        const QByteArray deux = R"(<workbook xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets><sheet name="A" r:id="rId1"/><sheet name="B" r:id="rId2" state="hidden"/></sheets></workbook>)";
        const auto secondes = lignes(classeurSimple(feuille, chaines, styles, deux), QStringLiteral("xlsx"), 1);
        QCOMPARE(secondes, QList<QStringList>({{QStringLiteral("Deux")}}));
    }

    void date1904()
    {
        const QByteArray wb = R"(<workbook xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><workbookPr date1904="true"/><sheets><sheet name="A" r:id="rId1"/></sheets></workbook>)";
        const QByteArray styles = R"(<styleSheet><cellXfs><xf numFmtId="0"/><xf numFmtId="14"/></cellXfs></styleSheet>)";
        const QByteArray feuille = R"(<worksheet><sheetData><row r="1"><c r="A1" s="1"><v>0</v></c><c r="B1" s="1"><v>43830</v></c></row></sheetData></worksheet>)";
        QCOMPARE(lignes(classeurSimple(feuille, {}, styles, wb), QStringLiteral("xlsx")).value(0),
                 QStringList({QStringLiteral("1904-01-01"), QStringLiteral("2024-01-01")}));
    }

    void formatsDate()
    {
        // Built-in ids are dates or not; a custom code is a date by its letters, not by a colour, a currency, quoted text
        // or an escaped character; a duration is a date.
        const struct {
            int id;
            const char* code;
            bool date;
        } cas[] = {{14, "", true},           {22, "", true},           {27, "", true},
                   {45, "", true},           {58, "", true},           {2, "", false},
                   {164, "General", false},  {164, "jj/mm/aaaa", true}, {164, "[RED]0.00", false},
                   {164, "#,##0.00 [$€-40C]", false}, {164, "[h]:mm", true}, {164, "0\" jours\"", false}, {164, "0\\d", false}};
        for (const auto& c : cas)
            QVERIFY2(formatEstDate(c.id, QString::fromUtf8(c.code)) == c.date, qPrintable(QString::number(c.id) + ' ' + QString::fromUtf8(c.code)));
    }

    void nombresEtReferences()
    {
        QCOMPARE(QStringList({texteNombre(42), texteNombre(-3.25), texteNombre(1e-7), dateDepuisSerie(60, false), dateDepuisSerie(61, false)}),
                 QStringList({"42", "-3.25", "0.0000001", "1900-02-28", "1900-03-01"}));
        QCOMPARE(lireReference(u"XFD1048576"), std::optional(std::pair{16383, 1048576}));
        QVERIFY(!lireReference(u"XFE1") && !lireReference(u"A1048577") && !lireReference(u"A0") && !lireReference(u"1A"));
    }

    void xlsxXmlCasse()
    {
        const QByteArray feuille = R"(<worksheet><sheetData><row r="1"><c r="A1"><v>1</v></c></row><row)";
        QCOMPARE(lignes(classeurSimple(feuille), QStringLiteral("xlsx")).value(0).value(1),
                 QStringLiteral("Ce fichier n'est pas un classeur Excel (.xlsx) lisible."));
    }
};

QTEST_GUILESS_MAIN(TstTableur)
#include "tst_tableur.moc"
