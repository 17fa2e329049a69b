#pragma once
// The guided import: reads the file, lets the user pick the sheet, map the
// columns and stages and choose the duplicate mode, recomputes the plan off
// the main thread after every change, then writes it and can undo it.
#include "exportcrm.h"
#include "importcrm.h"

#include <QObject>
#include <QThreadPool>
#include <memory>

namespace vd::model {
class Store;
struct Etat;
} // namespace vd::model

namespace vd::crm {

// The CRM state the reading needs, taken once: stages and their default
// probabilities from the engine, the grid, the profiles and the contacts.
ContexteImport contexteImport(const model::Etat& etat, const QString& aujourdhui);

class ImportCRMModele : public QObject {
    Q_OBJECT
public:
    enum class Etape { lecture, feuilles, colonnes, resume, erreur };

    ImportCRMModele(model::Store& store, ContexteImport ctx, QObject* parent = nullptr);
    ~ImportCRMModele() override;

    void ouvrir(const QString& chemin);
    void choisirFeuille(int index);
    void changerColonne(int colonne, const QString& champ);
    void changerEtape(const QString& valeur, const QString& etapeId);
    void changerMode(ModeDoublons mode);
    // The summary, when the mapping names a name, a company or an e-mail; else the message.
    std::optional<QString> allerAuResume();
    void retourColonnes();
    // Writes the plan (once); false while it is being computed or already written.
    bool importer(const QString& maintenant);
    std::optional<ExportCRM::BilanAnnulation> annuler(const QString& maintenant);

    Etape etape() const { return etape_; }
    QString erreur() const { return erreur_; }
    QString nomFichier() const { return nomFichier_; }
    const std::optional<ClasseurImport>& classeur() const { return classeur_; }
    int feuille() const { return feuille_; }
    const std::optional<TableauImport>& tableau() const { return tableau_; }
    const QStringList& correspondances() const { return regle_.correspondances; }
    const QHash<QString, QString>& etapesChoisies() const { return regle_.etapesChoisies; }
    QStringList valeursEtape() const;
    ModeDoublons mode() const { return mode_; }
    const std::optional<PlanImport>& plan() const { return plan_; }
    bool calcul() const { return calcul_; }
    std::optional<double> progression() const { return progression_; }
    bool importe() const { return importe_; }
    const ContexteImport& contexte() const { return ctx_; }
    const QList<ChampImport>& champs() const { return champs_; }
    // The first 5 data rows as they will be imported.
    QList<LigneLue> apercu() const;
    // Blocks until the running reading or plan is done (tests, command line).
    void attendre();

Q_SIGNALS:
    void change();

private:
    void erreurFichier(const QString& message);
    void lancerFeuille(int index);
    void relancerPlan();

    model::Store& store_;
    ContexteImport ctx_;
    QList<ChampImport> champs_;
    QThreadPool pool_;
    quint64 generation_ = 0;
    std::shared_ptr<std::atomic<bool>> annule_;

    Etape etape_ = Etape::lecture;
    QString erreur_, nomFichier_;
    std::optional<ClasseurImport> classeur_;
    int feuille_ = 0;
    std::optional<TableauImport> tableau_;
    RegleLecture regle_;
    ModeDoublons mode_ = ModeDoublons::completer;
    std::optional<PlanImport> plan_;
    bool calcul_ = false;
    std::optional<double> progression_;
    bool importe_ = false;
    std::optional<ExportCRM::ResultatImport> resultat_;
};

} // namespace vd::crm
