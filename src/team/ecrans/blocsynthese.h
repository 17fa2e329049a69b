#pragma once
// The manager synthesis card of a team call's sheet: moments to coach with
// their quotes, the deal's risk, the next step, how the framework was
// followed and what the manager should do; the call's error when it failed,
// and a button to prepare it.
#include "ui/contexte.h"

#include <QFrame>
class QPushButton;
class QVBoxLayout;

namespace vd::team {

class BlocSynthese : public QFrame {
    Q_OBJECT
public:
    BlocSynthese(ui::Contexte& ctx, const QString& appelId, QWidget* parent = nullptr);
    // Whether the card belongs on the sheet of that call: a team call seen by its manager.
    static bool concerne(const ui::Contexte& ctx, const QString& appelId);

private:
    void remplir();
    ui::Contexte& ctx_;
    QString appelId_;
    QVBoxLayout* corps_ = nullptr;
};

} // namespace vd::team
