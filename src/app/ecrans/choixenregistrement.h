#pragma once
// The recording choice of the pre-flight sheet: record this call or not, and
// what to film: the whole screen or one window, meeting tools listed first.
// A saved window that is not open is kept selected with the warning the call
// would give, so the user can open the meeting first. On Wayland the choice is
// the screen or a window that the desktop asks for when the call starts.
#include "call/enregistreurappel.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace vd::app {

class ChoixEnregistrement : public QWidget {
    Q_OBJECT
public:
    ChoixEnregistrement(const model::ReglagesEnregistrement& reglages, std::optional<bool> enregistrer,
                        std::optional<model::CibleEnregistrement> cible, call::EnregistreurAppel::ListeFenetres liste,
                        QWidget* parent = nullptr);

    bool enregistrer() const;
    model::CibleEnregistrement cible() const;
    // The targets offered, in order ("Tout l'écran" first), and the chosen one.
    QStringList libelles() const;
    int indexChoisi() const;
    void choisir(bool enregistrer, int index);
    // The warning under the choice (a closed window, an unreadable list), empty when none.
    QString note() const;
    // Reads the windows again, keeping the choice.
    void actualiser();

    static QString libelleEcran() { return QStringLiteral("Tout l'écran"); }
    // Wayland: the window is the one the desktop's dialog lets the user pick.
    static QString libelleFenetreBureau() { return QStringLiteral("Une fenêtre, choisie au début de l'appel"); }

Q_SIGNALS:
    void change();

private:
    void majNote();

    call::EnregistreurAppel::ListeFenetres liste_;
    model::CibleEnregistrement choisie_;
    QList<model::CibleEnregistrement> cibles_;
    QString noteListe_;
    QCheckBox* case_;
    QComboBox* cibleBox_;
    QLabel* note_;
    QLabel* mention_;
    QPushButton* relire_;
};

} // namespace vd::app
