#pragma once
// The editor of one framework: its name and description, its steps in order
// (name, id, objective, questions, criteria, weight, call types, prompter
// mode, transition, typical objections) and its qualification grid. Every
// keystroke rebuilds the draft and runs the validators: the first failing
// rule shows under the editor and saving stays off until it passes.
#include "team/framework.h"

#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace vd::model {
class Store;
}

namespace vd::team {

class EditeurFramework : public QWidget {
    Q_OBJECT
public:
    EditeurFramework(model::Store& store, std::function<std::optional<QString>()> compte, QWidget* parent = nullptr);

    // Opens a framework (stored or not yet), on a step when given.
    void ouvrir(const FrameworkVente& f, const std::optional<QString>& etapeId = std::nullopt);
    const FrameworkVente& brouillon() const { return brouillon_; }
    // The first failing rule's message, none when the draft may be saved.
    const std::optional<QString>& message() const { return message_; }
    // Validates and stores the draft; false (nothing stored) when refused.
    bool enregistrer();
    // The draft differs from what was opened.
    bool modifie() const { return !(brouillon_ == ouvert_); }

Q_SIGNALS:
    void enregistre(const QString& id);
    void annule();

private:
    QWidget* construireEtapes();
    QWidget* construireGrille();
    void remplirListeEtapes();
    void remplirListeItems();
    void chargerEtape(int i);
    void chargerItem(int i);
    void lireIdentite();
    void lireEtape();
    void lireItem();
    void valider();
    void deplacerEtape(int sens);
    void abandonner();

    model::Store& store_;
    std::function<std::optional<QString>()> compte_;
    FrameworkVente brouillon_, ouvert_;
    std::optional<QString> message_;
    bool chargement_ = false;
    int etape_ = -1, item_ = -1;

    QLabel* titre_;
    QLineEdit* nom_;
    QPlainTextEdit* description_;
    QListWidget* etapes_;
    QPushButton *monter_, *descendre_, *retirerEtape_;
    QWidget* formEtape_;
    QLineEdit *nomEtape_, *idEtape_, *poids_, *objectif_, *transition_;
    QPlainTextEdit *questions_, *criteres_, *objections_;
    QComboBox* phase_;
    QList<QCheckBox*> types_;
    QLabel* totalPoids_;
    QListWidget* items_;
    QPushButton* retirerItem_;
    QWidget* formItem_;
    QLineEdit *nomItem_, *idItem_, *sigle_, *pourquoi_;
    QPlainTextEdit* questionsItem_;
    QComboBox* champ_;
    QLabel* avis_;
    QPushButton* enregistrer_;
};

} // namespace vd::team
