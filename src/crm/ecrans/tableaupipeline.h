#pragma once
// The pipeline board: one column per stage in pipeline order plus the sleep
// column; cards are dragged between columns or moved with their menu.
#include "crm/contextecontact.h"

#include <QAbstractListModel>
#include <QListView>
#include <QWidget>
class QLabel;
class QMenu;

namespace vd::model {
class Store;
}

namespace vd::crm {

inline QString typeMimeContact() { return QStringLiteral("application/x-vendalo-contact"); }

class ModeleColonne : public QAbstractListModel {
    Q_OBJECT
public:
    ModeleColonne(const model::Store& store, const DerniersEchanges& echanges, QString etape, QObject* parent = nullptr);
    const QString& etape() const { return etape_; }
    void definir(QList<int> positions);
    const QList<int>& positions() const { return positions_; }
    QString idLigne(int ligne) const;

    int rowCount(const QModelIndex& p = {}) const override { return p.isValid() ? 0 : int(positions_.size()); }
    QVariant data(const QModelIndex& i, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& i) const override;
    QStringList mimeTypes() const override { return {typeMimeContact()}; }
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* d, Qt::DropAction a, int, int, const QModelIndex&) const override;
    bool dropMimeData(const QMimeData* d, Qt::DropAction a, int ligne, int colonne, const QModelIndex& parent) override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }

Q_SIGNALS:
    // A card of another column was dropped here.
    void depose(const QString& contactId, const QString& etape);

private:
    const model::Store& store_;
    const DerniersEchanges& echanges_;
    QString etape_;
    QList<int> positions_;
};

// A column's list, with "Glissez un contact ici" when empty.
class VueColonne : public QListView {
    Q_OBJECT
public:
    using QListView::QListView;
protected:
    void paintEvent(QPaintEvent* e) override;
    void startDrag(Qt::DropActions actions) override;
};

class TableauPipeline : public QWidget {
    Q_OBJECT
public:
    TableauPipeline(model::Store& store, const DerniersEchanges& echanges, QWidget* parent = nullptr);
    // Spreads the filtered positions of the store's contacts over the columns.
    void definir(const QList<int>& positions);
    ModeleColonne* colonne(const QString& etape) const;
    VueColonne* vue(const QString& etape) const;
    // The card menu of a contact ("Changer l'étape de …", "Ouvrir la fiche de …").
    QMenu* menuCarte(const QString& contactId, QWidget* parent);

Q_SIGNALS:
    void ouvrirContact(const QString& id);
    // A stage change asked by a drop or the card menu.
    void changerEtape(const QString& id, const QString& etape);

private:
    void majEntete(int i);
    model::Store& store_;
    const DerniersEchanges& echanges_;
    QList<ModeleColonne*> modeles_;
    QList<VueColonne*> vues_;
    QList<QLabel*> totaux_;
};

} // namespace vd::crm
