#pragma once
// The contact list as a table model over the filtered positions of the
// store's contacts, with a check box per row for the selection.
#include "crm/contextecontact.h"
#include "crm/filtres.h"

#include <QAbstractTableModel>

namespace vd::model {
class Store;
}

namespace vd::crm {

enum RoleContact { roleId = Qt::UserRole + 1, roleEtape, roleSecondaire };

class ModeleContacts : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Colonne { colContact, colSociete, colEtape, colValeur, colProchaine, colEchange, nbColonnes };
    ModeleContacts(const model::Store& store, FiltresCRM& filtres, const DerniersEchanges& echanges, QObject* parent = nullptr);

    void definir(QList<int> positions);
    const QList<int>& positions() const { return positions_; }
    QString idLigne(int ligne) const;

    int rowCount(const QModelIndex& p = {}) const override { return p.isValid() ? 0 : int(positions_.size()); }
    int columnCount(const QModelIndex& p = {}) const override { return p.isValid() ? 0 : nbColonnes; }
    QVariant data(const QModelIndex& i, int role) const override;
    bool setData(const QModelIndex& i, const QVariant& v, int role) override;
    Qt::ItemFlags flags(const QModelIndex& i) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    const model::Store& store_;
    FiltresCRM& filtres_;
    const DerniersEchanges& echanges_;
    QList<int> positions_;
};

// "12 000 €"
QString montant(double v);
// "5 mars" (or "5 mars 2025"), with ", 14:30" when the text carries a time.
QString jourCourt(const QString& dateOuHorodatage);

} // namespace vd::crm
