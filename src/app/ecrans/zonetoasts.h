#pragma once
#include "app/ui.h"

#include <QWidget>

class QVBoxLayout;

namespace vd::platform {
class Horloge;
}

namespace vd::app {

// The stack of toasts, bottom-right of the window; each goes after 6 s.
class ZoneToasts : public QWidget {
    Q_OBJECT
public:
    ZoneToasts(Toasts& toasts, platform::Horloge& horloge, QWidget* parent);
    void placer();

private:
    void reconstruire();
    Toasts& toasts_;
    platform::Horloge& horloge_;
    QVBoxLayout* liste_;
    QSet<int> programmes_;
};

} // namespace vd::app
