#pragma once
#include <QMainWindow>

namespace vd::model {
class Store;
}

namespace vd::app {

class FenetrePrincipale : public QMainWindow {
    Q_OBJECT
public:
    explicit FenetrePrincipale(model::Store& store, QWidget* parent = nullptr);

Q_SIGNALS:
    void fermee();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    model::Store& store_;
};

} // namespace vd::app
