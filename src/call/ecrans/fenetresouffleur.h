#pragma once
// The prompter's view. Floating: a frameless, always-on-top tool window that
// never takes focus from the calling tool. Docked: the same view laid out
// inside a screen. Either way it shows what PanneauSouffleur holds.
#include "ai/panneausouffleur.h"

#include <QPointer>
#include <QWidget>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace vd::call {

class FenetreSouffleur : public QWidget {
    Q_OBJECT
public:
    enum class Mode { flottant, ancre };
    explicit FenetreSouffleur(ai::PanneauSouffleur& panneau, QWidget* parent = nullptr, Mode mode = Mode::flottant);

    // Whether the owner wants the view now (a call is running). It shows only
    // while the panel is visible too: hidden by the user or during a screen share.
    void setVoulue(bool voulue);
    bool voulue() const { return voulue_; }

    ai::PanneauSouffleur& panneau() { return panneau_; }
    // Re-reads the panel state (called on every change).
    void rafraichir();

    // For tests and the shell: the parts a user reads or presses.
    QLabel* voyant() const { return voyant_; }
    QLabel* messageEcoute() const { return message_; }
    QFrame* bandeauObjection() const { return bandeau_; }
    QLabel* texteObjection() const { return texteObjection_; }
    QLabel* reponse() const { return reponse_; }
    QLabel* compteur() const { return compteur_; }
    QLabel* accuse() const { return accuse_; }
    QLabel* erreur() const { return erreur_; }
    QLabel* coaching() const { return coaching_; }
    QLineEdit* champQuestion() const { return champ_; }
    QLineEdit* champNote() const { return champNote_; }
    QPushButton* boutonAssistance() const { return btnAssistance_; }
    QPushButton* boutonQuestions() const { return btnQuestions_; }
    QPushButton* boutonRecap() const { return btnRecap_; }
    QPushButton* boutonIgnorer() const { return btnIgnorer_; }
    QToolButton* boutonPrecedente() const { return btnPrec_; }
    QToolButton* boutonSuivante() const { return btnSuiv_; }
    QToolButton* boutonUtile() const { return btnUtile_; }
    QToolButton* boutonPeuUtile() const { return btnPeuUtile_; }
    QToolButton* boutonOutils() const { return btnOutils_; }
    QPushButton* boutonTerminer() const { return btnTerminer_; }
    QPushButton* boutonPause() const { return btnPause_; }
    QPushButton* boutonRelancer() const { return btnRelancer_; }
    QFrame* tiroirOutils() const { return tiroir_; }

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool event(QEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void construire();
    void appliquerTheme();
    void prendreLaSaisie(bool oui);
    void ajusterHauteur();
    void appliquerVisibilite();
    void placerParDefaut();

    ai::PanneauSouffleur& panneau_;
    QFrame* cadre_ = nullptr;
    QLabel* voyant_ = nullptr;
    QLabel* message_ = nullptr;
    QFrame* bandeau_ = nullptr;
    QLabel* texteObjection_ = nullptr;
    QPushButton* btnIgnorer_ = nullptr;
    QLabel* item_ = nullptr;
    QLabel* grille_ = nullptr;
    QLabel* etape_ = nullptr;
    QLabel* questionsEtape_ = nullptr;
    QFrame* zoneReponse_ = nullptr;
    QLabel* reponse_ = nullptr;
    QLabel* compteur_ = nullptr;
    QLabel* accuse_ = nullptr;
    QLabel* erreur_ = nullptr;
    QToolButton* btnPrec_ = nullptr;
    QToolButton* btnSuiv_ = nullptr;
    QToolButton* btnUtile_ = nullptr;
    QToolButton* btnPeuUtile_ = nullptr;
    QToolButton* btnOutils_ = nullptr;
    QToolButton* btnPlier_ = nullptr;
    QPushButton* btnAssistance_ = nullptr;
    QPushButton* btnQuestions_ = nullptr;
    QPushButton* btnRecap_ = nullptr;
    QPushButton* btnRelancer_ = nullptr;
    QLineEdit* champ_ = nullptr;
    QLabel* coaching_ = nullptr;
    QLabel* noteCoaching_ = nullptr;
    QFrame* tiroir_ = nullptr;
    QLabel* objectif_ = nullptr;
    QLineEdit* champNote_ = nullptr;
    QPushButton* btnMarquer_ = nullptr;
    QPushButton* btnPause_ = nullptr;
    QPushButton* btnTerminer_ = nullptr;
    QWidget* corps_ = nullptr;
    QPoint origineGlisse_;
    bool glisse_ = false;
    bool voulue_ = false;
    bool deplacee_ = false;   // moved by the user: keep that place
    QString themeApplique_;
};

} // namespace vd::call
