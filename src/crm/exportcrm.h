#pragma once
// CRM export to CSV and to a one-sheet workbook, and the writing (and undo)
// of an import plan.
#include "importcrm.h"
#include "model/etat.h"
#include "platform/resultat.h"

#include <variant>

namespace vd::model {
class Store;
}

namespace vd::crm {

struct CelluleExport {
    enum class Genre { vide, texte, nombre, date };
    Genre genre = Genre::vide;
    QString texte;   // text, or the "yyyy-MM-dd" of a date
    double nombre = 0;
    static CelluleExport vide() { return {}; }
    static CelluleExport deTexte(const QString& t) { return t.isEmpty() ? CelluleExport{} : CelluleExport{Genre::texte, t, 0}; }
    static CelluleExport deNombre(double n) { return {Genre::nombre, {}, n}; }
    static CelluleExport deDate(const QString& d) { return d.isEmpty() ? CelluleExport{} : CelluleExport{Genre::date, d, 0}; }
    bool operator==(const CelluleExport&) const = default;
};

struct TableExport {
    QStringList titres;
    QList<QList<CelluleExport>> lignes;
};

struct ExportCRM {
    struct ResultatImport {
        QStringList crees;
        QList<model::Contact> avant;
        QList<model::Contact> ecrits;   // the records as the import left them, created and updated
    };
    struct BilanAnnulation {
        int annules = 0;
        int gardes = 0;   // changed since the import: left as they are
    };

    static QStringList colonnes(const QList<ItemQualification>& grille);
    static TableExport table(const QList<model::Contact>& contacts, const model::Etat& etat, const QList<ItemQualification>& grille);
    static QByteArray csv(const TableExport& t, QChar separateur);
    static QByteArray xlsx(const TableExport& t, const QDateTime& maintenant);
    // "Vendalo CRM 2026-12-07.xlsx"
    static QString nomFichier(const QDate& jour, const QString& format);
    // Writes through a temporary file renamed at the end; the error is the system's reason.
    static ResultatVide<QString> exporter(const QString& chemin, const QList<model::Contact>& contacts, const model::Etat& etat,
                                          const QString& format, QChar separateur, const QDateTime& maintenant);
    // The prefix that keeps a spreadsheet from reading a text as a formula.
    static QString protegerFormule(const QString& texte);

    // New contacts added and updates applied to the current records, in one change.
    static ResultatImport appliquer(model::Store& store, const PlanImport& plan, const QString& maintenant);
    // Created contacts removed and updated ones restored, unless changed since.
    static BilanAnnulation annuler(model::Store& store, const ResultatImport& r, const QString& maintenant);
};

} // namespace vd::crm
