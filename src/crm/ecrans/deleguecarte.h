#pragma once
// Draws a pipeline card: name, company, value, last exchange, next action.
#include <QStyledItemDelegate>

namespace vd::crm {

enum RoleCarte { roleCarteSociete = Qt::UserRole + 20, roleCarteValeur, roleCarteEchange, roleCarteAction };

class DelegueCarte : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& o, const QModelIndex& i) const override;
    QSize sizeHint(const QStyleOptionViewItem& o, const QModelIndex& i) const override;
};

} // namespace vd::crm
