#pragma once
// The export panel: scope, format and separator (remembered), then a place to save.
#include "model/contact.h"

#include <QDialog>

class QButtonGroup;
class QLabel;
class QWidget;

namespace vd::model {
class Store;
}
namespace vd::platform {
class Preferences;
}
namespace vd::ui {
class Toasts;
}

namespace vd::crm {

class PanneauExportCRM : public QDialog {
    Q_OBJECT
public:
    PanneauExportCRM(model::Store& store, platform::Preferences& preferences, ui::Toasts* toasts,
                     std::optional<QList<model::Contact>> filtres, QList<model::Contact> selection, QWidget* parent = nullptr);

    QString format() const { return format_; }
    QString separateur() const { return separateur_; }
    QString portee() const { return portee_; }
    QList<model::Contact> contactsChoisis() const;
    // Writes to the given path; none on success, else the message shown.
    std::optional<QString> exporterVers(const QString& chemin);

private:
    void majTextes();

    model::Store& store_;
    platform::Preferences& preferences_;
    ui::Toasts* toasts_;
    std::optional<QList<model::Contact>> filtres_;
    QList<model::Contact> selection_;
    QString format_, separateur_, portee_;
    QWidget* blocSeparateur_ = nullptr;
    QLabel* explication_ = nullptr;
    QLabel* erreur_ = nullptr;
};

} // namespace vd::crm
