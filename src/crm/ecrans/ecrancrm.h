#pragma once
// The CRM: contacts as a list or as the pipeline board, with search, stage,
// profile and follow-up filters, and a selection for export.
#include "crm/contextecontact.h"
#include "crm/filtres.h"
#include "ui/ecrans/ecranbase.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTableView;

namespace vd::crm {

class ModeleContacts;
class TableauPipeline;

class EcranCRM : public ui::EcranBase {
    Q_OBJECT
public:
    enum class Vue { liste, pipeline };
    explicit EcranCRM(ui::Contexte& ctx, QWidget* parent = nullptr);
    QString titre() const override { return QStringLiteral("CRM"); }
    std::optional<Action> actionPrincipale() const override;
    // Payload "liste" or "pipeline" picks the view.
    void afficher(const ui::Ecran& e) override;

    FiltresCRM& filtres() { return filtres_; }
    Vue vue() const { return vue_; }
    void setVue(Vue v);
    ModeleContacts* modeleListe() const { return modele_; }
    TableauPipeline* tableau() const { return tableau_; }
    QLineEdit* champRecherche() const { return recherche_; }
    // Applies a store change or a filter change now (the screen batches them).
    void rafraichir();
    // Opens the contact form (empty id: a new contact).
    void ouvrirFormulaire(const QString& id);

Q_SIGNALS:
    // Wired by the application to the import and export of contacts.
    void demandeImport();
    void demandeExport();

private:
    void construireBarre(QVBoxLayout* l);
    QWidget* construireEtatVide(QWidget* parent, bool sansContact);
    void majListesFiltres();
    void majSelection();
    void changerEtape(const QString& id, const QString& etape);

    FiltresCRM filtres_;
    IndexContacts index_;
    DerniersEchanges echanges_;
    Vue vue_ = Vue::liste;
    bool sale_ = true;

    QLineEdit* recherche_ = nullptr;
    QComboBox* etape_ = nullptr;
    QComboBox* profil_ = nullptr;
    QPushButton* relances_ = nullptr;
    QPushButton* boutonListe_ = nullptr;
    QPushButton* boutonPipeline_ = nullptr;
    QPushButton* exporter_ = nullptr;
    QWidget* bandeauRelances_ = nullptr;
    QWidget* barreSelection_ = nullptr;
    QLabel* texteSelection_ = nullptr;
    QLabel* aide_ = nullptr;
    QStackedWidget* pile_ = nullptr;
    QTableView* table_ = nullptr;
    ModeleContacts* modele_ = nullptr;
    TableauPipeline* tableau_ = nullptr;
};

} // namespace vd::crm
