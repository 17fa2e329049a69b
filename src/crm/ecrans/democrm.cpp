#include "democrm.h"

#include "feuilleimportcrm.h"
#include "model/store.h"
#include "ouvrir.h"
#include "panneauexportcrm.h"
#include "ui/contexte.h"

#include <QDir>
#include <QFile>

namespace vd::crm {

QStringList nomsEcransDemo() { return {QStringLiteral("import-crm"), QStringLiteral("export-crm")}; }

bool estEcranDemo(const QString& nom) { return nomsEcransDemo().contains(nom); }

QWidget* ouvrirEcranDemo(ui::Contexte& ctx, QWidget* parent, const QString& nom, const QString& charge, const QString& dossier)
{
    const QList<model::Contact>& contacts = ctx.store->etat().contacts;
    if (nom == QLatin1String("export-crm")) {
        QList<model::Contact> selection = contacts.mid(0, std::min<qsizetype>(3, contacts.size()));
        return ouvrirExport(ctx, parent, std::nullopt, selection);
    }
    // A file as another CRM writes it: one known contact again, new ones, a bad row.
    QString csv = QStringLiteral("Prénom;Nom;E-mail professionnel;Entreprise;Statut;Montant;Prochaine étape;Date de relance;Commentaire\n");
    if (!contacts.isEmpty()) {
        const model::Contact& c = contacts.first();
        csv += QStringLiteral("%1;%2;%3;%4;Qualifié;15 000 €;Envoyer la proposition;15/01/2027;Déjà vu au salon\n")
                   .arg(c.prenom, c.nom, c.email, c.societe);
    }
    csv += QStringLiteral("Camille;Bernard;camille.bernard@atelier-lumen.fr;Atelier Lumen;Nouveau lead;8k;Premier appel;12/01/2027;Recommandée par Inès\n"
                          "Hugo;Lefort;h.lefort@transports-lefort.fr;Transports Lefort;Devis envoyé;24 500;Relancer le devis;;\n"
                          "Nadia;Benali;nadia@benali-conseil.fr;Benali Conseil;RDV fixé;;;31/02/2027;Date à vérifier\n"
                          ";;;;Nouveau lead;;;;Ligne sans contact\n");
    const QString chemin = QDir(dossier).filePath(QStringLiteral("contacts-salon.csv"));
    QFile f(chemin);
    if (!f.open(QIODevice::WriteOnly) || f.write(csv.toUtf8()) < 0)
        return nullptr;
    f.close();
    FeuilleImportCRM* feuille = ouvrirImport(ctx, parent, chemin);
    if (feuille && charge == QLatin1String("resume")) {
        auto* m = &feuille->modele();
        QObject::connect(m, &ImportCRMModele::change, feuille, [m] {
            if (m->etape() == ImportCRMModele::Etape::colonnes)
                (void)m->allerAuResume();
        });
    }
    return feuille;
}

} // namespace vd::crm
