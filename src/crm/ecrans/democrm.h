#pragma once
// The import and export sheets on the demonstration data, for
// "vendalo --demo --ecran import-crm[:resume]" and "export-crm".
#include <QString>
#include <QStringList>

class QWidget;

namespace vd::ui {
struct Contexte;
}

namespace vd::crm {

QStringList nomsEcransDemo();
bool estEcranDemo(const QString& nom);
// Opens the sheet over the parent on a small file written in dossier; returns it for the capture.
QWidget* ouvrirEcranDemo(ui::Contexte& ctx, QWidget* parent, const QString& nom, const QString& charge, const QString& dossier);

} // namespace vd::crm
