#pragma once
// The import sheet: reading, sheet choice, columns and stages, summary,
// then the result with its undo.
#include "crm/importmodele.h"

#include <QDialog>

class QButtonGroup;
class QFormLayout;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class QVBoxLayout;

namespace vd::ui {
class Toasts;
}

namespace vd::crm {

class FeuilleImportCRM : public QDialog {
    Q_OBJECT
public:
    FeuilleImportCRM(model::Store& store, ContexteImport ctx, ui::Toasts* toasts, QWidget* parent = nullptr);

    ImportCRMModele& modele() { return modele_; }
    void ouvrir(const QString& chemin);

private:
    QWidget* pageLecture();
    QWidget* pageFeuilles();
    QWidget* pageColonnes();
    QWidget* pageResume();
    QWidget* pageErreur();
    QWidget* pageFin();
    void majEtape();
    void construireColonnes();
    void construireEtapes();
    void majApercu();
    void majResume();
    QString maintenant() const;

    ImportCRMModele modele_;
    ui::Toasts* toasts_;
    QLabel* fichier_ = nullptr;
    QLabel* description_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QVBoxLayout* listeFeuilles_ = nullptr;
    QFormLayout* colonnes_ = nullptr;
    QWidget* blocEtapes_ = nullptr;
    QFormLayout* etapes_ = nullptr;
    QLabel* noteEtapes_ = nullptr;
    QTableWidget* apercu_ = nullptr;
    QLabel* refusColonnes_ = nullptr;
    QLabel* doublons_ = nullptr;
    QLabel* chiffres_ = nullptr;
    QLabel* calcul_ = nullptr;
    QProgressBar* progression_ = nullptr;
    QListWidget* remarques_ = nullptr;
    QButtonGroup* modes_ = nullptr;
    QPushButton* confirmer_ = nullptr;
    QLabel* messageErreur_ = nullptr;
    QLabel* bilan_ = nullptr;
    QPushButton* annuler_ = nullptr;
    int feuilleConstruite_ = -1;
    QStringList entetesConstruites_;
    QStringList etapesConstruites_;
    int lignesImportees_ = 0;
};

} // namespace vd::crm
