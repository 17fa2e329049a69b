#include "feuilleimportcrm.h"

#include "ui/ecrans/style.h"
#include "ui/toasts.h"
#include "model/texte.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vd::crm {

namespace st = ui::style;

namespace {

enum Page { lecture, feuilles, colonnes, resume, erreur, fin };

QLabel* texte(const QString& t, const QString& role, QWidget* parent)
{
    QLabel* l = st::etiquette(t, role, parent);
    l->setWordWrap(true);
    return l;
}

QWidget* defilant(QWidget* contenu, QWidget* parent)
{
    auto* d = new QScrollArea(parent);
    d->setWidgetResizable(true);
    d->setFrameShape(QFrame::NoFrame);
    d->setWidget(contenu);
    return d;
}

QString pluriel(qsizetype n, const char* un, const char* plusieurs)
{
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(n > 1 ? plusieurs : un));
}

} // namespace

FeuilleImportCRM::FeuilleImportCRM(model::Store& store, ContexteImport ctx, ui::Toasts* toasts, QWidget* parent)
    : QDialog(parent), modele_(store, std::move(ctx)), toasts_(toasts)
{
    setWindowTitle(QStringLiteral("Importer des contacts"));
    setObjectName(QStringLiteral("feuilleImportCRM"));
    resize(860, 640);
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(24, 20, 24, 20);
    l->setSpacing(8);
    l->addWidget(st::etiquette(QStringLiteral("Importer des contacts"), QStringLiteral("titreSection"), this));
    fichier_ = st::etiquette({}, QStringLiteral("titreCarte"), this);
    description_ = st::etiquette({}, QStringLiteral("legende"), this);
    l->addWidget(fichier_);
    l->addWidget(description_);
    pages_ = new QStackedWidget(this);
    pages_->addWidget(pageLecture());
    pages_->addWidget(pageFeuilles());
    pages_->addWidget(pageColonnes());
    pages_->addWidget(pageResume());
    pages_->addWidget(pageErreur());
    pages_->addWidget(pageFin());
    l->addWidget(pages_, 1);
    connect(&modele_, &ImportCRMModele::change, this, &FeuilleImportCRM::majEtape);
    majEtape();
}

void FeuilleImportCRM::ouvrir(const QString& chemin) { modele_.ouvrir(chemin); }

QString FeuilleImportCRM::maintenant() const { return model::horodatage(QDateTime::currentDateTimeUtc()); }

QWidget* FeuilleImportCRM::pageLecture()
{
    auto* p = new QWidget(this);
    auto* l = new QVBoxLayout(p);
    l->addStretch(1);
    auto* t = st::etiquette(QStringLiteral("Lecture du fichier…"), QStringLiteral("legende"), p);
    t->setAlignment(Qt::AlignCenter);
    l->addWidget(t);
    l->addStretch(1);
    return p;
}

QWidget* FeuilleImportCRM::pageFeuilles()
{
    auto* p = new QWidget(this);
    auto* l = new QVBoxLayout(p);
    l->addWidget(texte(QStringLiteral("Ce classeur a plusieurs feuilles. Laquelle contient vos contacts ?"), {}, p));
    listeFeuilles_ = new QVBoxLayout;
    l->addLayout(listeFeuilles_);
    l->addStretch(1);
    auto* fermer = st::bouton(QStringLiteral("Fermer sans importer"), QStringLiteral("secondaire"), p);
    connect(fermer, &QPushButton::clicked, this, &QDialog::reject);
    l->addWidget(fermer, 0, Qt::AlignRight);
    return p;
}

QWidget* FeuilleImportCRM::pageColonnes()
{
    auto* p = new QWidget(this);
    auto* l = new QVBoxLayout(p);
    l->setContentsMargins(0, 8, 0, 0);
    auto* contenu = new QWidget(p);
    auto* c = new QVBoxLayout(contenu);
    c->setContentsMargins(0, 0, 12, 0);
    c->setSpacing(12);
    c->addWidget(texte(QStringLiteral("Les colonnes reconnues sont déjà associées. Changez celles qui ne vont pas, ou choisissez « Ignorer »."),
                       {}, contenu));
    auto* carteColonnes = st::carte(QStringLiteral("carte"), contenu);
    colonnes_ = new QFormLayout(carteColonnes);
    colonnes_->setContentsMargins(16, 12, 16, 12);
    colonnes_->setLabelAlignment(Qt::AlignLeft);
    c->addWidget(carteColonnes);
    blocEtapes_ = new QWidget(contenu);
    auto* be = new QVBoxLayout(blocEtapes_);
    be->setContentsMargins(0, 0, 0, 0);
    be->addWidget(st::etiquette(QStringLiteral("Étapes du pipeline"), QStringLiteral("titreCarte"), blocEtapes_));
    noteEtapes_ = texte({}, QStringLiteral("legende"), blocEtapes_);
    be->addWidget(noteEtapes_);
    auto* carteEtapes = st::carte(QStringLiteral("carte"), blocEtapes_);
    etapes_ = new QFormLayout(carteEtapes);
    etapes_->setContentsMargins(16, 12, 16, 12);
    be->addWidget(carteEtapes);
    c->addWidget(blocEtapes_);
    c->addWidget(st::etiquette(QStringLiteral("Aperçu"), QStringLiteral("titreCarte"), contenu));
    c->addWidget(texte(QStringLiteral("Les 5 premières lignes, telles qu'elles seront importées."), QStringLiteral("legende"), contenu));
    apercu_ = new QTableWidget(contenu);
    apercu_->setColumnCount(6);
    apercu_->setHorizontalHeaderLabels({QStringLiteral("Ligne"), QStringLiteral("Nom"), QStringLiteral("Société"), QStringLiteral("Email"),
                                        QStringLiteral("Étape"), QStringLiteral("Remarque")});
    apercu_->verticalHeader()->hide();
    apercu_->horizontalHeader()->setStretchLastSection(true);
    apercu_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    apercu_->setSelectionMode(QAbstractItemView::NoSelection);
    apercu_->setMinimumHeight(190);
    c->addWidget(apercu_);
    c->addStretch(1);
    l->addWidget(defilant(contenu, p), 1);
    refusColonnes_ = st::etiquette({}, QStringLiteral("erreur"), p);
    refusColonnes_->hide();
    l->addWidget(refusColonnes_);
    auto* boutons = new QHBoxLayout;
    auto* fermer = st::bouton(QStringLiteral("Fermer sans importer"), QStringLiteral("secondaire"), p);
    connect(fermer, &QPushButton::clicked, this, &QDialog::reject);
    auto* suite = st::bouton(QStringLiteral("Continuer"), QStringLiteral("primaire"), p);
    suite->setObjectName(QStringLiteral("continuer"));
    connect(suite, &QPushButton::clicked, this, [this] {
        const auto refus = modele_.allerAuResume();
        refusColonnes_->setText(refus.value_or(QString()));
        refusColonnes_->setVisible(refus.has_value());
    });
    boutons->addWidget(fermer);
    boutons->addStretch(1);
    boutons->addWidget(suite);
    l->addLayout(boutons);
    return p;
}

QWidget* FeuilleImportCRM::pageResume()
{
    auto* p = new QWidget(this);
    auto* l = new QVBoxLayout(p);
    l->setContentsMargins(0, 8, 0, 0);
    l->setSpacing(10);
    l->addWidget(texte(QStringLiteral("Un doublon a le même email, ou, sans email, le même nom et la même société."), QStringLiteral("legende"), p));
    doublons_ = texte({}, {}, p);
    l->addWidget(doublons_);
    modes_ = new QButtonGroup(this);
    auto* carteModes = st::carte(QStringLiteral("carte"), p);
    auto* lm = new QVBoxLayout(carteModes);
    lm->setContentsMargins(16, 12, 16, 12);
    for (ModeDoublons m : {ModeDoublons::completer, ModeDoublons::remplacer, ModeDoublons::ignorer, ModeDoublons::creer}) {
        auto* r = new QRadioButton(titreMode(m), carteModes);
        modes_->addButton(r, int(m));
        lm->addWidget(r);
        auto* e = st::etiquette(explicationMode(m), QStringLiteral("legende"), carteModes);
        e->setContentsMargins(26, 0, 0, 4);
        lm->addWidget(e);
    }
    connect(modes_, &QButtonGroup::idClicked, this, [this](int id) { modele_.changerMode(ModeDoublons(id)); });
    l->addWidget(carteModes);
    chiffres_ = texte({}, QStringLiteral("titreCarte"), p);
    l->addWidget(chiffres_);
    calcul_ = st::etiquette(QStringLiteral("Calcul en cours…"), QStringLiteral("legende"), p);
    progression_ = new QProgressBar(p);
    progression_->setRange(0, 100);
    progression_->setTextVisible(false);
    progression_->setMaximumHeight(6);
    l->addWidget(calcul_);
    l->addWidget(progression_);
    remarques_ = new QListWidget(p);
    remarques_->setSelectionMode(QAbstractItemView::NoSelection);
    l->addWidget(remarques_, 1);
    l->addWidget(texte(QStringLiteral("Rien n'est encore importé. Vous pourrez annuler juste après."), QStringLiteral("legende"), p));
    auto* boutons = new QHBoxLayout;
    auto* retour = st::bouton(QStringLiteral("Retour aux colonnes"), QStringLiteral("secondaire"), p);
    connect(retour, &QPushButton::clicked, this, [this] { modele_.retourColonnes(); });
    confirmer_ = st::bouton({}, QStringLiteral("primaire"), p);
    confirmer_->setObjectName(QStringLiteral("confirmer"));
    connect(confirmer_, &QPushButton::clicked, this, [this] {
        if (!modele_.plan())
            return;
        lignesImportees_ = int(modele_.plan()->nouveaux.size() + modele_.plan()->majs.size());
        if (modele_.importer(maintenant()) && toasts_)
            toasts_->montrer(QStringLiteral("Import terminé : %1.").arg(pluriel(lignesImportees_, "contact", "contacts")), ui::Toasts::Toast::Genre::ok);
    });
    boutons->addWidget(retour);
    boutons->addStretch(1);
    boutons->addWidget(confirmer_);
    l->addLayout(boutons);
    return p;
}

QWidget* FeuilleImportCRM::pageErreur()
{
    auto* p = new QWidget(this);
    auto* l = new QVBoxLayout(p);
    auto* carte = st::carte(QStringLiteral("encartRouge"), p);
    auto* lc = new QVBoxLayout(carte);
    lc->setContentsMargins(16, 12, 16, 12);
    lc->addWidget(st::etiquette(QStringLiteral("Ce fichier ne peut pas être importé"), QStringLiteral("titreCarte"), carte));
    messageErreur_ = texte({}, {}, carte);
    lc->addWidget(messageErreur_);
    l->addWidget(carte);
    l->addStretch(1);
    auto* fermer = st::bouton(QStringLiteral("Fermer sans importer"), QStringLiteral("primaire"), p);
    connect(fermer, &QPushButton::clicked, this, &QDialog::reject);
    l->addWidget(fermer, 0, Qt::AlignRight);
    return p;
}

QWidget* FeuilleImportCRM::pageFin()
{
    auto* p = new QWidget(this);
    auto* l = new QVBoxLayout(p);
    bilan_ = texte({}, QStringLiteral("titreCarte"), p);
    l->addWidget(bilan_);
    l->addStretch(1);
    auto* boutons = new QHBoxLayout;
    annuler_ = st::bouton(QStringLiteral("Annuler l'import"), QStringLiteral("secondaire"), p);
    connect(annuler_, &QPushButton::clicked, this, [this] {
        const auto b = modele_.annuler(maintenant());
        if (!b)
            return;
        QString m = QStringLiteral("Import annulé.");
        if (b->gardes > 0)
            m += QStringLiteral(" %1 modifiées depuis restent telles quelles.").arg(pluriel(b->gardes, "fiche", "fiches"));
        bilan_->setText(m);
        annuler_->setEnabled(false);
        if (toasts_)
            toasts_->montrer(m, ui::Toasts::Toast::Genre::info);
    });
    auto* fermer = st::bouton(QStringLiteral("Fermer"), QStringLiteral("primaire"), p);
    connect(fermer, &QPushButton::clicked, this, &QDialog::accept);
    boutons->addWidget(annuler_);
    boutons->addStretch(1);
    boutons->addWidget(fermer);
    l->addLayout(boutons);
    return p;
}

void FeuilleImportCRM::majEtape()
{
    fichier_->setText(modele_.nomFichier());
    description_->setText(modele_.classeur() ? modele_.classeur()->description : QString());
    description_->setVisible(modele_.classeur().has_value());
    if (modele_.importe()) {
        if (pages_->currentIndex() != fin) {
            const auto& p = *modele_.plan();
            QString t = QStringLiteral("%1 créés").arg(p.nouveaux.size());
            if (!p.majs.isEmpty())
                t += QStringLiteral(", %1 mis à jour").arg(p.majs.size());
            bilan_->setText(t + QLatin1Char('.'));
            pages_->setCurrentIndex(fin);
        }
        return;
    }
    switch (modele_.etape()) {
    case ImportCRMModele::Etape::lecture:
        pages_->setCurrentIndex(lecture);
        break;
    case ImportCRMModele::Etape::feuilles: {
        st::vider(listeFeuilles_);
        const auto& f = modele_.classeur()->feuilles;
        for (int i = 0; i < f.size(); ++i) {
            auto* b = st::bouton(f[i].masquee ? f[i].nom + QStringLiteral(" (masquée)") : f[i].nom, QStringLiteral("secondaire"), this);
            connect(b, &QPushButton::clicked, this, [this, i] { modele_.choisirFeuille(i); });
            listeFeuilles_->addWidget(b);
        }
        pages_->setCurrentIndex(feuilles);
        break;
    }
    case ImportCRMModele::Etape::colonnes:
        construireColonnes();
        construireEtapes();
        majApercu();
        pages_->setCurrentIndex(colonnes);
        break;
    case ImportCRMModele::Etape::resume:
        majResume();
        pages_->setCurrentIndex(resume);
        break;
    case ImportCRMModele::Etape::erreur:
        messageErreur_->setText(modele_.erreur());
        pages_->setCurrentIndex(erreur);
        break;
    }
}

void FeuilleImportCRM::construireColonnes()
{
    if (!modele_.tableau())
        return;
    const TableauImport& t = *modele_.tableau();
    if (feuilleConstruite_ != modele_.feuille() || entetesConstruites_ != t.entetes) {
        feuilleConstruite_ = modele_.feuille();
        entetesConstruites_ = t.entetes;
        while (colonnes_->rowCount() > 0)
            colonnes_->removeRow(0);
        for (int i = 0; i < t.entetes.size(); ++i) {
            auto* choix = new QComboBox(this);
            choix->setObjectName(QStringLiteral("colonne%1").arg(i));
            choix->addItem(QStringLiteral("Ignorer"), QString());
            QString groupe;
            for (const ChampImport& c : modele_.champs()) {
                if (c.groupe != groupe) {
                    groupe = c.groupe;
                    choix->insertSeparator(choix->count());
                    choix->addItem(groupe, QStringLiteral("#"));
                    auto* m = qobject_cast<QStandardItemModel*>(choix->model());
                    if (m)
                        m->item(choix->count() - 1)->setEnabled(false);
                }
                choix->addItem(c.libelle, c.id);
            }
            connect(choix, &QComboBox::activated, this, [this, choix, i] { modele_.changerColonne(i, choix->currentData().toString()); });
            QString exemple;
            for (const auto& ligne : t.lignes)
                if (i < ligne.cellules.size() && !ligne.cellules[i].trimmed().isEmpty()) {
                    exemple = ligne.cellules[i].trimmed().left(40);
                    break;
                }
            auto* titre = new QWidget(this);
            auto* lt = new QVBoxLayout(titre);
            lt->setContentsMargins(0, 0, 0, 0);
            lt->setSpacing(0);
            lt->addWidget(st::etiquette(t.entetes[i].isEmpty() ? QStringLiteral("(sans titre)") : t.entetes[i], {}, titre));
            lt->addWidget(st::etiquette(exemple, QStringLiteral("legende"), titre));
            colonnes_->addRow(titre, choix);
        }
    }
    for (int i = 0; i < colonnes_->rowCount(); ++i)
        if (auto* choix = qobject_cast<QComboBox*>(colonnes_->itemAt(i, QFormLayout::FieldRole)->widget()))
            choix->setCurrentIndex(std::max(0, choix->findData(modele_.correspondances().value(i))));
}

void FeuilleImportCRM::construireEtapes()
{
    const QStringList valeurs = modele_.valeursEtape();
    blocEtapes_->setVisible(!valeurs.isEmpty());
    const auto& etapes = modele_.contexte().etapes;
    noteEtapes_->setText(QStringLiteral("Chaque valeur du fichier va vers une étape de votre pipeline. Une valeur inconnue va vers « %1 ».")
                             .arg(etapes.isEmpty() ? QStringLiteral("Nouveau") : etapes.first().libelle));
    if (valeurs != etapesConstruites_) {
        etapesConstruites_ = valeurs;
        while (etapes_->rowCount() > 0)
            etapes_->removeRow(0);
        for (const QString& v : valeurs) {
            auto* choix = new QComboBox(this);
            for (const EtapeImport& e : etapes)
                choix->addItem(e.libelle, e.id);
            connect(choix, &QComboBox::activated, this, [this, choix, v] { modele_.changerEtape(v, choix->currentData().toString()); });
            etapes_->addRow(st::etiquette(v, {}, this), choix);
        }
    }
    for (int i = 0; i < etapes_->rowCount() && i < valeurs.size(); ++i)
        if (auto* choix = qobject_cast<QComboBox*>(etapes_->itemAt(i, QFormLayout::FieldRole)->widget()))
            choix->setCurrentIndex(std::max(0, choix->findData(modele_.etapesChoisies().value(valeurs[i]))));
}

void FeuilleImportCRM::majApercu()
{
    const QList<LigneLue> lignes = modele_.apercu();
    apercu_->setRowCount(int(lignes.size()));
    QHash<QString, QString> libelles;
    for (const EtapeImport& e : modele_.contexte().etapes)
        libelles.insert(e.id, e.libelle);
    for (int r = 0; r < lignes.size(); ++r) {
        const LigneLue& l = lignes[r];
        const QString remarque = l.erreur ? *l.erreur : l.avertissements.join(QStringLiteral(" · "));
        const QStringList valeurs = {QString::number(l.numero), (l.contact.prenom + QLatin1Char(' ') + l.contact.nom).trimmed(), l.contact.societe,
                                     l.contact.email, libelles.value(l.contact.etape, l.contact.etape), remarque};
        for (int c = 0; c < valeurs.size(); ++c)
            apercu_->setItem(r, c, new QTableWidgetItem(valeurs[c]));
    }
    apercu_->resizeColumnsToContents();
}

void FeuilleImportCRM::majResume()
{
    if (auto* b = modes_->button(int(modele_.mode())))
        b->setChecked(true);
    const bool enCalcul = modele_.calcul() || !modele_.plan();
    calcul_->setVisible(enCalcul);
    progression_->setVisible(enCalcul);
    progression_->setValue(int(modele_.progression().value_or(0) * 100));
    confirmer_->setEnabled(!enCalcul);
    if (enCalcul) {
        confirmer_->setText(QStringLiteral("Importer"));
        return;
    }
    const PlanImport& p = *modele_.plan();
    doublons_->setText(p.doublonsTrouves == 0
                           ? QStringLiteral("Aucun contact du fichier n'est déjà dans le CRM (même email, ou même nom et même société).")
                           : QString::number(p.doublonsTrouves) + QStringLiteral(" déjà dans le CRM (même email, ou même nom et même société)."));
    chiffres_->setText(QStringLiteral("%1 · %2 · %3 · %4 · %5")
                           .arg(pluriel(p.nouveaux.size(), "nouveau", "nouveaux"), pluriel(p.majs.size(), "mise à jour", "mises à jour"),
                                pluriel(p.ignores.size(), "ignorée", "ignorées"), pluriel(p.erreurs.size(), "erreur", "erreurs"),
                                pluriel(p.avertissements.size(), "avertissement", "avertissements")));
    remarques_->clear();
    auto lister = [this](const QList<NoteLigne>& l, const QString& genre) {
        for (qsizetype i = 0; i < std::min<qsizetype>(l.size(), 200); ++i)
            remarques_->addItem(QStringLiteral("Ligne %1 · %2 : %3").arg(l[i].numero).arg(genre, l[i].texte));
    };
    lister(p.erreurs, QStringLiteral("non importée"));
    lister(p.avertissements, QStringLiteral("avertissement"));
    lister(p.ignores, QStringLiteral("ignorée"));
    remarques_->setVisible(remarques_->count() > 0);
    QString t = QStringLiteral("Importer ") + pluriel(p.nouveaux.size(), "contact", "contacts");
    if (!p.majs.isEmpty())
        t += QStringLiteral(" et mettre à jour ") + QString::number(p.majs.size());
    confirmer_->setText(t);
    confirmer_->setEnabled(!p.nouveaux.isEmpty() || !p.majs.isEmpty());
}

} // namespace vd::crm
