#pragma once
// The card stack's floating panel: borderless, above the other windows at the
// top right of the main screen (16 px margin), sized to its cards. It never
// takes the focus; the mouse over it pauses the cards' countdown.
#include <QPointer>
#include <QWidget>

class QVBoxLayout;

namespace vd::agenda {

class PileNotifications;

class FenetreNotifications : public QWidget {
    Q_OBJECT
public:
    static constexpr int marge = 16;
    static constexpr int largeur = 360;
    explicit FenetreNotifications(PileNotifications& pile, QWidget* parent = nullptr);

    void reconstruire();

protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    void placer();
    QPointer<PileNotifications> pile_;
    QVBoxLayout* cartes_ = nullptr;
    bool planifie_ = false;
};

} // namespace vd::agenda
