#pragma once
// Spreadsheet files read into a neutral table of text cells: admission,
// text decoding, separator detection and CSV records; workbooks through
// xlsx.h, one sheet parsed on demand.
#include "platform/resultat.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

namespace vd::crm {

struct ErreurTableur {
    enum class Genre { illisible };
    Genre genre = Genre::illisible;
    QString message;
    QString description() const { return message; }
    static ErreurTableur illisible(QString m) { return {Genre::illisible, std::move(m)}; }
};

struct FeuilleTableur {
    QString nom;
    QList<QStringList> lignes;   // row 0 = titles
    // File row number (1-based) of each row when rows are not consecutive; empty: 1, 2, 3…
    QList<int> numeros;
    // Non-empty rows beyond what was kept (a sheet over the import limit is only counted).
    int lignesNonGardees = 0;
    bool masquee = false;
};

class SourceXlsx;

struct ClasseurImport {
    QList<FeuilleTableur> feuilles;   // a workbook's sheets carry only their names until read
    QString description;
    QString format;                   // text encoding for CSV; "xlsx" for a workbook
    QString separateur;               // CSV only
    std::shared_ptr<const SourceXlsx> source;
    bool estClasseur() const { return source != nullptr; }
};

struct TexteDecode {
    QString texte;
    QString format;
};

constexpr qint64 tailleMaxFichier = 52428800;
// Rows kept per sheet: the import's limit plus the titles, plus one to tell "too many".
constexpr int lignesMaxGardees = 20002;

// Whole file: admission by extension, then by content.
Resultat<ClasseurImport, ErreurTableur> lireFichier(const QString& chemin);
// The same on bytes already read; extension lower-case without the dot.
Resultat<ClasseurImport, ErreurTableur> lireDonnees(const QByteArray& donnees, const QString& extension);
// The rows of one sheet (a workbook's sheet is parsed now; CSV's is already there).
Resultat<FeuilleTableur, ErreurTableur> lireFeuille(const ClasseurImport& classeur, int index);

Resultat<TexteDecode, ErreurTableur> decoderTexte(const QByteArray& donnees);
// The separator and the offset where the records start (after a "sep=" line).
QChar detecterSeparateur(QStringView texte, qsizetype* debut = nullptr);
QString nomSeparateur(QChar sep);
// Records of a CSV text; stops keeping rows after maxLignes (the rest are counted in *nonGardees).
QList<QStringList> lireCsv(QStringView texte, QChar sep, int maxLignes = lignesMaxGardees, int* nonGardees = nullptr);

} // namespace vd::crm
