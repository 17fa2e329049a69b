#pragma once
// The main window: sidebar, page header with "Retour", the pages, menus and toasts.
#include "app/ui.h"

#include <QHash>
#include <QMainWindow>
#include <functional>

class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;
class QAction;

namespace vd::app {

class ZoneToasts;

class FenetrePrincipale : public QMainWindow {
    Q_OBJECT
public:
    using FabriqueEcran = std::function<EcranBase*(Ecran::Genre, QWidget* parent)>;
    FenetrePrincipale(Contexte& ctx, FabriqueEcran fabrique, QWidget* parent = nullptr);

    EcranBase* pageCourante() const;
    // Actions of the menus, by name ("nouvelAppel", "reglages", "retour", …), for tests.
    QAction* action(const QString& nom) const { return actions_.value(nom); }
    void setActionsAppel(std::function<void()> basculerQuillo);

Q_SIGNALS:
    void fermee();
    void quitterDemande();
    void verifierMisesAJour();
    void priseEnMain();

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void construireMenus();
    void montrerEcran();
    void majEnTete();
    QAction* ajouter(class QMenu* menu, const QString& nom, const QString& texte, const QKeySequence& raccourci,
                     std::function<void()> faire);

    Contexte& ctx_;
    FabriqueEcran fabrique_;
    QStackedWidget* pile_ = nullptr;
    QHash<int, EcranBase*> pages_;
    QHash<int, QToolButton*> boutonsNav_;
    QLabel* titre_ = nullptr;
    QPushButton* retour_ = nullptr;
    QPushButton* actionPage_ = nullptr;
    ZoneToasts* toasts_ = nullptr;
    QHash<QString, QAction*> actions_;
    std::function<void()> basculerQuillo_;
};

} // namespace vd::app
