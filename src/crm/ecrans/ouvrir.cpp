#include "ouvrir.h"

#include "feuilleimportcrm.h"
#include "model/store.h"
#include "model/texte.h"
#include "panneauexportcrm.h"
#include "platform/preferences.h"
#include "ui/contexte.h"

#include <QDateTime>
#include <QFileDialog>
#include <QStandardPaths>

namespace vd::crm {

FeuilleImportCRM* ouvrirImport(ui::Contexte& ctx, QWidget* parent, const QString& fichier)
{
    QString chemin = fichier;
    if (chemin.isEmpty())
        chemin = QFileDialog::getOpenFileName(parent, QStringLiteral("Importer des contacts"),
                                              QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                                              QStringLiteral("Contacts (*.csv *.tsv *.txt *.xlsx *.xlsm);;Tous les fichiers (*)"));
    if (chemin.isEmpty())
        return nullptr;
    auto* f = new FeuilleImportCRM(*ctx.store, contexteImport(ctx.store->etat(), model::jourCalendaire(QDateTime::currentDateTime())),
                                   ctx.toasts, parent);
    f->setAttribute(Qt::WA_DeleteOnClose);
    f->ouvrir(chemin);
    f->show();
    return f;
}

PanneauExportCRM* ouvrirExport(ui::Contexte& ctx, QWidget* parent, std::optional<QList<model::Contact>> filtres, QList<model::Contact> selection)
{
    platform::Preferences& prefs = ctx.preferences ? *ctx.preferences : platform::Preferences::instance();
    auto* p = new PanneauExportCRM(*ctx.store, prefs, ctx.toasts, std::move(filtres), std::move(selection), parent);
    p->setAttribute(Qt::WA_DeleteOnClose);
    p->show();
    return p;
}

} // namespace vd::crm
