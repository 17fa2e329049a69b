#pragma once
// The synchronisation line at the foot of the sidebar: where the data stand
// (local mode, signed out, the run's phase), changes waiting, the last run,
// "Synchroniser maintenant", the records the server refused, and the choice
// about data already on this computer when the first connection asks for it.
#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QDialog;

namespace vd::ui {
struct Contexte;
}

namespace vd::cloud {

class Synchro;
class DialogueDonneesLocales;

class LigneSynchro : public QWidget {
    Q_OBJECT
public:
    explicit LigneSynchro(ui::Contexte& ctx, QWidget* parent = nullptr);

    QString texte() const;
    QString detail() const;
    // The refusals window (opened by the line's link), for tests.
    QDialog* fenetreRefus() const;
    DialogueDonneesLocales* fenetreDecision() const;
    void montrerRefus();

    static QString texteEnAttente(int n);
    static QString texteRefus(int n);
    // The French name of a synchronised collection ("contacts" → "Contact").
    static QString libelleCollection(const QString& collection);

private:
    void maj();
    void ouvrirDecision();

    ui::Contexte& ctx_;
    QLabel* point_ = nullptr;
    QLabel* texte_ = nullptr;
    QLabel* detail_ = nullptr;
    QPushButton* connecter_ = nullptr;
    QPushButton* maintenant_ = nullptr;
    QPushButton* lienRefus_ = nullptr;
    QPushButton* choisir_ = nullptr;
    QPointer<QDialog> refus_;
    QPointer<DialogueDonneesLocales> decision_;
    bool decisionProposee_ = false;
};

} // namespace vd::cloud
