#pragma once
// In-call keys: an application event filter that turns Ctrl+Return and the
// 1/2/3 keys into help requests for the prompter. During a call it wins over
// the menu shortcuts (Ctrl+2 asks for questions instead of opening the list).
#include <QObject>
#include <QPointer>
#include <functional>

class QKeyEvent;
class QWidget;

namespace vd::app {

class MoniteurClavierAppel : public QObject {
    Q_OBJECT
public:
    // fenetre: the main window (keys count only when it is the active one).
    // appelActif: a call is running.
    MoniteurClavierAppel(QWidget* fenetre, std::function<bool()> appelActif, QObject* parent = nullptr);
    ~MoniteurClavierAppel() override;

    void installer();
    void retirer();
    bool installe() const { return installe_; }

    // "objection", "questions", "recap" or empty for a key that maps to nothing.
    static QString demandePour(const QKeyEvent& e, bool focusDansTexte);

Q_SIGNALS:
    void demande(const QString& tache);

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    QString demandeCourante(QKeyEvent* e) const;
    QPointer<QWidget> fenetre_;
    std::function<bool()> appelActif_;
    bool installe_ = false;
};

} // namespace vd::app
