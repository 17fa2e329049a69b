#pragma once
// Excel workbooks (.xlsx, .xlsm): the workbook, its relationships, shared
// strings, styles and one worksheet, read with a streaming XML reader.
#include "tableur.h"
#include "zip.h"

namespace vd::crm {

class SourceXlsx {
public:
    ArchiveZip archive;
    QStringList partiesFeuilles;   // one per sheet, in workbook order
    QString partieChaines, partieStyles;
    bool date1904 = false;
};

// Sheet names and where their parts are; no sheet is parsed yet.
Resultat<ClasseurImport, ErreurTableur> lireClasseurXlsx(const QByteArray& donnees);
Resultat<FeuilleTableur, ErreurTableur> lireFeuilleXlsx(const SourceXlsx& source, const FeuilleTableur& feuille, int index);

// Building blocks, exposed for tests.
// Whether a number format shows a date or a time.
bool formatEstDate(int idFormat, const QString& code);
// A serial day number as "yyyy-MM-dd" (with " HH:mm:ss" when it carries a time); empty when out of range.
QString dateDepuisSerie(double serie, bool date1904);
// A cell number as text: integers without decimals, others with up to 15 significant digits.
QString texteNombre(double v);
// "AB12" → column 27 (0-based) and row 12; none past XFD1048576 or when malformed.
std::optional<std::pair<int, int>> lireReference(QStringView ref);

} // namespace vd::crm
