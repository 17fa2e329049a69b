#pragma once
// The contact form: "Créer le contact" / "Modifier le contact", its checks
// in order, Enter in a field saves, deletion asks first.
#include "crm/saisiecontact.h"
#include "ui/contexte.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vd::crm {

class FormulaireContact : public QDialog {
    Q_OBJECT
public:
    // Empty id: a new contact.
    FormulaireContact(ui::Contexte& ctx, const QString& id, QWidget* parent = nullptr);

    SaisieContact saisie() const;
    void remplir(const SaisieContact& s);
    QLineEdit* champ(const QString& nom) const;
    QLabel* erreur() const { return erreur_; }
    QPushButton* boutonEnregistrer() const { return enregistrer_; }
    // Saves; false (and the message shown) when a check fails.
    bool enregistrer();
    // Removes the contact after the confirmation (skipped when confirmer is false).
    bool supprimer(bool confirmer = true);
    QString idEnregistre() const { return id_; }

Q_SIGNALS:
    void enregistre(const QString& id);

private:
    QLineEdit* ligne(const QString& nom, const QString& placeholder = {});
    ui::Contexte& ctx_;
    QString id_;
    QList<QLineEdit*> lignes_;
    QComboBox* etape_ = nullptr;
    QComboBox* profil_ = nullptr;
    QCheckBox* avecEcheance_ = nullptr;
    QDateEdit* echeance_ = nullptr;
    QPlainTextEdit* notes_ = nullptr;
    QLabel* erreur_ = nullptr;
    QPushButton* enregistrer_ = nullptr;
};

} // namespace vd::crm
