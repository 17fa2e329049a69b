#pragma once
// Entry points of the contact import and export, for the CRM screen and the shell.
#include "model/contact.h"

#include <optional>

class QWidget;

namespace vd::ui {
struct Contexte;
}

namespace vd::crm {

class FeuilleImportCRM;
class PanneauExportCRM;

// The import sheet on the store's current state; with no file, a file picker first
// (none when the user cancels it). The sheet deletes itself when closed.
FeuilleImportCRM* ouvrirImport(ui::Contexte& ctx, QWidget* parent, const QString& fichier = {});
// The export panel; the filter's contacts when a filter is active, the selection if any.
PanneauExportCRM* ouvrirExport(ui::Contexte& ctx, QWidget* parent, std::optional<QList<model::Contact>> filtres = std::nullopt,
                               QList<model::Contact> selection = {});

} // namespace vd::crm
