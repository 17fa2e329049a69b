#include "moniteurclavier.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace vd::app {

namespace {

// X11 key codes of the physical keys (positions of the US layout), so the
// digits work on AZERTY without Shift.
QString parCodePhysique(quint32 code)
{
    switch (code) {
    case 10: case 87: return QStringLiteral("objection");   // 1, keypad 1
    case 11: case 88: return QStringLiteral("questions");   // 2, keypad 2
    case 12: case 89: return QStringLiteral("recap");       // 3, keypad 3
    default: return {};
    }
}

QString parTouche(int touche)
{
    switch (touche) {
    case Qt::Key_1: return QStringLiteral("objection");
    case Qt::Key_2: return QStringLiteral("questions");
    case Qt::Key_3: return QStringLiteral("recap");
    default: return {};
    }
}

bool estTexte(QWidget* w)
{
    if (!w)
        return false;
    if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w))
        return true;
    if (auto* t = qobject_cast<QTextEdit*>(w))
        return !t->isReadOnly();
    if (auto* t = qobject_cast<QPlainTextEdit*>(w))
        return !t->isReadOnly();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->isEditable();
    return false;
}

} // namespace

MoniteurClavierAppel::MoniteurClavierAppel(QWidget* fenetre, std::function<bool()> appelActif, QObject* parent)
    : QObject(parent), fenetre_(fenetre), appelActif_(std::move(appelActif))
{
}

MoniteurClavierAppel::~MoniteurClavierAppel()
{
    retirer();
}

void MoniteurClavierAppel::installer()
{
    if (installe_ || !qApp)
        return;
    qApp->installEventFilter(this);
    installe_ = true;
}

void MoniteurClavierAppel::retirer()
{
    if (!installe_)
        return;
    if (qApp)
        qApp->removeEventFilter(this);
    installe_ = false;
}

QString MoniteurClavierAppel::demandePour(const QKeyEvent& e, bool focusDansTexte)
{
    const Qt::KeyboardModifiers m = e.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool entree = e.key() == Qt::Key_Return || e.key() == Qt::Key_Enter;
    if (entree)
        return m == Qt::ControlModifier ? QStringLiteral("objection") : QString();
    QString d = parCodePhysique(e.nativeScanCode());
    if (d.isEmpty())
        d = parTouche(e.key());
    if (d.isEmpty())
        return {};
    if (m == Qt::ControlModifier)
        return d;
    if (m == Qt::NoModifier && !focusDansTexte)
        return d;
    return {};
}

QString MoniteurClavierAppel::demandeCourante(QKeyEvent* e) const
{
    if (!fenetre_ || !appelActif_ || !appelActif_())
        return {};
    // Only the main window, when it is the active one (never the floating prompter).
    if (QApplication::activeWindow() != fenetre_->window())
        return {};
    return demandePour(*e, estTexte(QApplication::focusWidget()));
}

bool MoniteurClavierAppel::eventFilter(QObject* o, QEvent* ev)
{
    if (ev->type() != QEvent::ShortcutOverride && ev->type() != QEvent::KeyPress)
        return QObject::eventFilter(o, ev);
    // Key events reach the filter once per receiver in the chain: only the
    // widget-level delivery counts.
    if (!o->isWidgetType())
        return false;
    auto* e = static_cast<QKeyEvent*>(ev);
    const QString d = demandeCourante(e);
    if (d.isEmpty())
        return false;
    if (ev->type() == QEvent::ShortcutOverride) {
        e->accept();   // the key goes to us as a key press, not to a menu shortcut
        return true;
    }
    if (!e->isAutoRepeat())
        Q_EMIT demande(d);
    return true;
}

} // namespace vd::app
