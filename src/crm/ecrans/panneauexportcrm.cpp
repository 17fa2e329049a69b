#include "panneauexportcrm.h"

#include "crm/exportcrm.h"
#include "model/store.h"
#include "platform/preferences.h"
#include "ui/ecrans/style.h"
#include "ui/toasts.h"

#include <QButtonGroup>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace vd::crm {

namespace st = ui::style;

PanneauExportCRM::PanneauExportCRM(model::Store& store, platform::Preferences& preferences, ui::Toasts* toasts,
                                   std::optional<QList<model::Contact>> filtres, QList<model::Contact> selection, QWidget* parent)
    : QDialog(parent), store_(store), preferences_(preferences), toasts_(toasts), filtres_(std::move(filtres)), selection_(std::move(selection))
{
    setWindowTitle(QStringLiteral("Exporter les contacts"));
    setObjectName(QStringLiteral("panneauExportCRM"));
    format_ = preferences_.valeur(QStringLiteral("vd.crm.export.format"), QStringLiteral("xlsx")).toString();
    if (format_ != QLatin1String("csv"))
        format_ = QStringLiteral("xlsx");
    separateur_ = preferences_.valeur(QStringLiteral("vd.crm.export.separateur"), QStringLiteral(";")).toString();
    if (separateur_ != QLatin1String(","))
        separateur_ = QStringLiteral(";");
    portee_ = !selection_.isEmpty() ? QStringLiteral("selection") : QStringLiteral("tous");

    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(24, 20, 24, 20);
    l->setSpacing(10);
    l->addWidget(st::etiquette(QStringLiteral("Exporter les contacts"), QStringLiteral("titreSection"), this));

    auto groupe = [this, l](const QString& titre, const QList<std::pair<QString, QString>>& choix, QString* valeur) {
        auto* bloc = new QWidget(this);
        auto* lb = new QVBoxLayout(bloc);
        lb->setContentsMargins(0, 4, 0, 0);
        lb->addWidget(st::etiquette(titre, QStringLiteral("titreCarte"), bloc));
        auto* g = new QButtonGroup(bloc);
        for (const auto& [id, libelle] : choix) {
            auto* r = new QRadioButton(libelle, bloc);
            r->setObjectName(id);
            r->setChecked(id == *valeur);
            g->addButton(r);
            lb->addWidget(r);
            connect(r, &QRadioButton::toggled, this, [this, id, valeur](bool coche) {
                if (!coche)
                    return;
                *valeur = id;
                majTextes();
            });
        }
        l->addWidget(bloc);
        return bloc;
    };
    QList<std::pair<QString, QString>> portees = {{QStringLiteral("tous"), QStringLiteral("Tous les contacts (%1)").arg(store_.etat().contacts.size())}};
    if (filtres_)
        portees.append({QStringLiteral("filtre"), QStringLiteral("Le filtre en cours (%1)").arg(filtres_->size())});
    if (!selection_.isEmpty())
        portees.append({QStringLiteral("selection"), QStringLiteral("La sélection (%1)").arg(selection_.size())});
    groupe(QStringLiteral("Contacts"), portees, &portee_);
    groupe(QStringLiteral("Format"), {{QStringLiteral("xlsx"), QStringLiteral("Excel (.xlsx)")}, {QStringLiteral("csv"), QStringLiteral("CSV")}}, &format_);
    blocSeparateur_ = groupe(QStringLiteral("Séparateur"),
                             {{QStringLiteral(";"), QStringLiteral("Point-virgule ( ; )")}, {QStringLiteral(","), QStringLiteral("Virgule ( , )")}},
                             &separateur_);
    explication_ = st::etiquette({}, QStringLiteral("legende"), this);
    explication_->setWordWrap(true);
    l->addWidget(explication_);
    erreur_ = st::etiquette({}, QStringLiteral("erreur"), this);
    erreur_->setWordWrap(true);
    erreur_->hide();
    l->addWidget(erreur_);
    l->addStretch(1);
    auto* boutons = new QHBoxLayout;
    auto* fermer = st::bouton(QStringLiteral("Fermer"), QStringLiteral("secondaire"), this);
    connect(fermer, &QPushButton::clicked, this, &QDialog::reject);
    auto* exporter = st::bouton(QStringLiteral("Exporter…"), QStringLiteral("primaire"), this);
    exporter->setObjectName(QStringLiteral("exporter"));
    connect(exporter, &QPushButton::clicked, this, [this] {
        const QString dossier = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        const QString propose = QDir(dossier).filePath(ExportCRM::nomFichier(QDate::currentDate(), format_));
        const QString chemin = QFileDialog::getSaveFileName(this, QStringLiteral("Exporter les contacts"), propose,
                                                            format_ == QLatin1String("xlsx") ? QStringLiteral("Excel (*.xlsx)") : QStringLiteral("CSV (*.csv)"));
        if (chemin.isEmpty())
            return;
        if (!exporterVers(chemin))
            accept();
    });
    boutons->addWidget(fermer);
    boutons->addStretch(1);
    boutons->addWidget(exporter);
    l->addLayout(boutons);
    setMinimumWidth(520);
    majTextes();
}

void PanneauExportCRM::majTextes()
{
    preferences_.definir(QStringLiteral("vd.crm.export.format"), format_);
    preferences_.definir(QStringLiteral("vd.crm.export.separateur"), separateur_);
    blocSeparateur_->setVisible(format_ == QLatin1String("csv"));
    if (format_ == QLatin1String("xlsx"))
        explication_->setText(QStringLiteral("S'ouvre dans Excel, Numbers et Google Sheets. Une colonne par item de votre grille de qualification."));
    else if (separateur_ == QLatin1String(";"))
        explication_->setText(QStringLiteral("Pour Excel en français : chaque champ dans sa colonne, accents gardés."));
    else
        explication_->setText(QStringLiteral("Pour Google Sheets, Numbers ou un CRM anglais. Excel en français mettrait tout dans une colonne."));
}

QList<model::Contact> PanneauExportCRM::contactsChoisis() const
{
    if (portee_ == QLatin1String("selection"))
        return selection_;
    if (portee_ == QLatin1String("filtre") && filtres_)
        return *filtres_;
    return store_.etat().contacts;
}

std::optional<QString> PanneauExportCRM::exporterVers(const QString& chemin)
{
    const auto r = ExportCRM::exporter(chemin, contactsChoisis(), store_.etat(), format_, separateur_.at(0), QDateTime::currentDateTimeUtc());
    if (!r) {
        erreur_->setText(r.erreur());
        erreur_->show();
        return r.erreur();
    }
    erreur_->hide();
    if (toasts_)
        toasts_->montrer(QStringLiteral("Export enregistré : %1").arg(QFileInfo(chemin).fileName()), ui::Toasts::Toast::Genre::ok);
    return std::nullopt;
}

} // namespace vd::crm
