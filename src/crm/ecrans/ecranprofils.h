#pragma once
// Customer profiles and the objection library, listed and edited.
#include "ui/ecrans/ecranbase.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTabWidget;
class QComboBox;

namespace vd::crm {

class EcranProfils : public ui::EcranBase {
    Q_OBJECT
public:
    explicit EcranProfils(ui::Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return QStringLiteral("Profils et objections"); }
    // Payload "profils" or "objections" picks the tab.
    void afficher(const ui::Ecran& e) override;

    QTabWidget* onglets() const { return onglets_; }
    QListWidget* listeProfils() const { return listeProfils_; }
    QListWidget* listeObjections() const { return listeObjections_; }
    QLineEdit* champ(const QString& nom) const;
    QPlainTextEdit* zone(const QString& nom) const;
    QComboBox* categorie() const { return categorie_; }
    QLabel* erreurProfil() const { return erreurProfil_; }
    QLabel* erreurObjection() const { return erreurObjection_; }
    void nouveauProfil();
    void nouvelleObjection();
    bool enregistrerProfil();
    bool enregistrerObjection();
    void choisirProfil(const QString& id);
    void choisirObjection(const QString& id);

private:
    QWidget* ongletProfils();
    QWidget* ongletObjections();
    void remplirListes();
    QTabWidget* onglets_ = nullptr;
    QListWidget* listeProfils_ = nullptr;
    QListWidget* listeObjections_ = nullptr;
    QComboBox* categorie_ = nullptr;
    QLabel* erreurProfil_ = nullptr;
    QLabel* erreurObjection_ = nullptr;
    QString profilId_, objectionId_;
    QList<QLineEdit*> lignes_;
    QList<QPlainTextEdit*> zones_;
};

} // namespace vd::crm
