#pragma once
// The status item (system tray): its menu is rebuilt each time it opens.
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QSystemTrayIcon;

namespace vd::app {

class ElementStatut : public QObject {
    Q_OBJECT
public:
    // prochainRendezVous: the label of the next meeting, when there is one.
    explicit ElementStatut(std::function<std::optional<QString>()> prochainRendezVous, QObject* parent = nullptr);
    ~ElementStatut() override;

    // Started once; false when the desktop has no system tray.
    bool demarrer();
    bool demarre() const { return demarre_; }
    QMenu* menu() const { return menu_.get(); }
    void reconstruire();
    // Runs the action named by a menu item ("ouvrir", "nouvel-appel", …).
    void agir(const QString& action);

Q_SIGNALS:
    void ouvrir();
    void nouvelAppel();
    void reglages();
    void rendezVous();
    void quitter();

private:
    std::function<std::optional<QString>()> prochain_;
    std::unique_ptr<QMenu> menu_;
    QSystemTrayIcon* icone_ = nullptr;
    bool demarre_ = false;
};

} // namespace vd::app
