#pragma once
// The follow-up block of a call sheet: the proposed sequence, and once it is
// activated its steps with their send buttons, stop and the prospect's reply.
#include "ui/contexte.h"

#include <QFrame>
class QVBoxLayout;

namespace vd::crm {

class BlocRelances : public QFrame {
    Q_OBJECT
public:
    BlocRelances(ui::Contexte& ctx, const QString& appelId, QWidget* parent = nullptr);

private:
    void remplir();
    void repondre(const QString& contactId, const QString& type);
    ui::Contexte& ctx_;
    QString appelId_;
    QVBoxLayout* corps_ = nullptr;
};

} // namespace vd::crm
