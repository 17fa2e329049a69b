#include "formulairecontact.h"

#include "crm/etapes.h"
#include "crm/operationscrm.h"
#include "model/store.h"
#include "platform/horloge.h"
#include "ui/ecrans/style.h"
#include "ui/navigation.h"
#include "ui/toasts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vd::crm {

namespace {
QLabel* titreChamp(const QString& t, QWidget* parent) { return ui::style::etiquette(t, QStringLiteral("legende"), parent); }
} // namespace

QLineEdit* FormulaireContact::ligne(const QString& nom, const QString& placeholder)
{
    auto* e = new QLineEdit(this);
    e->setObjectName(nom);
    e->setPlaceholderText(placeholder);
    connect(e, &QLineEdit::returnPressed, this, &FormulaireContact::enregistrer);
    lignes_.append(e);
    return e;
}

QLineEdit* FormulaireContact::champ(const QString& nom) const
{
    for (QLineEdit* e : lignes_)
        if (e->objectName() == nom)
            return e;
    return nullptr;
}

FormulaireContact::FormulaireContact(ui::Contexte& ctx, const QString& id, QWidget* parent) : QDialog(parent), ctx_(ctx), id_(id)
{
    const bool creation = id.isEmpty();
    setWindowTitle(creation ? QStringLiteral("Créer le contact") : QStringLiteral("Modifier le contact"));
    setObjectName(QStringLiteral("formulaireContact"));
    setModal(true);
    resize(640, 720);
    auto* racine = new QVBoxLayout(this);
    racine->setContentsMargins(24, 20, 24, 16);
    racine->setSpacing(12);
    racine->addWidget(ui::style::etiquette(windowTitle(), QStringLiteral("titreSection"), this));

    auto* defil = new QScrollArea(this);
    defil->setWidgetResizable(true);
    defil->setFrameShape(QFrame::NoFrame);
    auto* corps = new QWidget(defil);
    auto* g = new QGridLayout(corps);
    g->setContentsMargins(0, 0, 8, 0);
    g->setHorizontalSpacing(16);
    g->setVerticalSpacing(4);
    int r = 0;
    auto paire = [&](const QString& t1, QWidget* w1, const QString& t2, QWidget* w2) {
        g->addWidget(titreChamp(t1, corps), r, 0);
        if (w2)
            g->addWidget(titreChamp(t2, corps), r, 1);
        ++r;
        g->addWidget(w1, r, 0, 1, w2 ? 1 : 2);
        if (w2)
            g->addWidget(w2, r, 1);
        ++r;
        g->setRowMinimumHeight(r++, 8);
    };
    paire(QStringLiteral("Prénom"), ligne(QStringLiteral("prenom")), QStringLiteral("Nom"), ligne(QStringLiteral("nom")));
    paire(QStringLiteral("Société"), ligne(QStringLiteral("societe")), QStringLiteral("Poste"), ligne(QStringLiteral("poste")));
    paire(QStringLiteral("Email"), ligne(QStringLiteral("email"), QStringLiteral("prenom.nom@societe.fr")), QStringLiteral("Téléphone"),
          ligne(QStringLiteral("tel"), QStringLiteral("06 12 34 56 78")));
    etape_ = new QComboBox(corps);
    etape_->setObjectName(QStringLiteral("etape"));
    for (const EtapePipeline& e : etapesPipeline())
        etape_->addItem(e.libelle, e.id);
    profil_ = new QComboBox(corps);
    profil_->setObjectName(QStringLiteral("profil"));
    profil_->addItem(QStringLiteral("Aucun profil"), QString());
    for (const model::ProfilClient& p : ctx_.store->etat().profilsClients)
        profil_->addItem(p.nom, p.id);
    paire(QStringLiteral("Étape du pipeline"), etape_, QStringLiteral("Profil client"), profil_);
    QLineEdit* proba = ligne(QStringLiteral("probabilite"));
    paire(QStringLiteral("Valeur de l'affaire (€)"), ligne(QStringLiteral("valeur"), QStringLiteral("12 000")), QStringLiteral("Probabilité de signer (%)"), proba);
    auto majProba = [this, proba] {
        proba->setPlaceholderText(QStringLiteral("%1 par défaut").arg(probabiliteParDefaut(etape_->currentData().toString())));
    };
    connect(etape_, &QComboBox::currentIndexChanged, this, majProba);
    majProba();
    paire(QStringLiteral("Source"), ligne(QStringLiteral("source"), QStringLiteral("Salon, recommandation, site…")), QStringLiteral("Tags"),
          ligne(QStringLiteral("tags"), QStringLiteral("séparés par des virgules")));
    paire(QStringLiteral("LinkedIn"), ligne(QStringLiteral("linkedin")), QString(), nullptr);

    auto* echeance = new QWidget(corps);
    auto* el = new QHBoxLayout(echeance);
    el->setContentsMargins(0, 0, 0, 0);
    avecEcheance_ = new QCheckBox(QStringLiteral("Échéance"), echeance);
    avecEcheance_->setObjectName(QStringLiteral("avecEcheance"));
    echeance_ = new QDateEdit(echeance);
    echeance_->setObjectName(QStringLiteral("echeance"));
    echeance_->setCalendarPopup(true);
    echeance_->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    const QDateTime maintenant = ctx_.horloge ? ctx_.horloge->maintenant() : QDateTime::currentDateTimeUtc();
    echeance_->setDate(maintenant.toLocalTime().date().addDays(1));
    echeance_->setEnabled(false);
    connect(avecEcheance_, &QCheckBox::toggled, echeance_, &QWidget::setEnabled);
    el->addWidget(avecEcheance_);
    el->addWidget(echeance_, 1);
    paire(QStringLiteral("Prochaine action"), ligne(QStringLiteral("prochaineAction"), QStringLiteral("Rappeler pour la démo")), QString(), echeance);

    g->addWidget(ui::style::etiquette(QStringLiteral("Qualification"), QStringLiteral("titreCarte"), corps), r++, 0, 1, 2);
    paire(QStringLiteral("Budget"), ligne(QStringLiteral("budget")), QStringLiteral("Décideur"), ligne(QStringLiteral("decideur")));
    paire(QStringLiteral("Échéance du projet"), ligne(QStringLiteral("echeanceProjet")), QStringLiteral("Douleur"), ligne(QStringLiteral("douleur")));
    g->addWidget(titreChamp(QStringLiteral("Notes"), corps), r++, 0, 1, 2);
    notes_ = new QPlainTextEdit(corps);
    notes_->setObjectName(QStringLiteral("notes"));
    notes_->setFixedHeight(90);
    g->addWidget(notes_, r++, 0, 1, 2);
    g->setRowStretch(r, 1);
    defil->setWidget(corps);
    racine->addWidget(defil, 1);

    erreur_ = ui::style::etiquette(QString(), QStringLiteral("erreur"), this);
    erreur_->setObjectName(QStringLiteral("erreur"));
    erreur_->setWordWrap(true);
    erreur_->hide();
    racine->addWidget(erreur_);

    auto* pied = new QHBoxLayout;
    if (!creation) {
        auto* sup = ui::style::bouton(QStringLiteral("Supprimer le contact"), QStringLiteral("danger"), this);
        sup->setObjectName(QStringLiteral("supprimer"));
        connect(sup, &QPushButton::clicked, this, [this] { supprimer(true); });
        pied->addWidget(sup);
    }
    pied->addWidget(ui::style::etiquette(QStringLiteral("Entrée dans un champ enregistre aussi"), QStringLiteral("legende"), this));
    pied->addStretch(1);
    auto* annuler = ui::style::bouton(QStringLiteral("Annuler"), {}, this);
    connect(annuler, &QPushButton::clicked, this, &QDialog::reject);
    pied->addWidget(annuler);
    enregistrer_ = ui::style::bouton(creation ? QStringLiteral("Créer le contact") : QStringLiteral("Enregistrer"), QStringLiteral("primaire"), this);
    enregistrer_->setObjectName(QStringLiteral("enregistrer"));
    enregistrer_->setAutoDefault(false);
    annuler->setAutoDefault(false);
    connect(enregistrer_, &QPushButton::clicked, this, &FormulaireContact::enregistrer);
    pied->addWidget(enregistrer_);
    racine->addLayout(pied);

    if (!creation)
        if (const model::Contact* c = ctx_.store->etat().contact(id))
            remplir(SaisieContact::depuis(*c));
}

void FormulaireContact::remplir(const SaisieContact& s)
{
    auto mettre = [this](const char* nom, const QString& v) {
        if (QLineEdit* e = champ(QString::fromLatin1(nom)))
            e->setText(v);
    };
    mettre("prenom", s.prenom);
    mettre("nom", s.nom);
    mettre("societe", s.societe);
    mettre("poste", s.poste);
    mettre("email", s.email);
    mettre("tel", s.tel);
    mettre("linkedin", s.linkedin);
    mettre("valeur", s.valeur);
    mettre("probabilite", s.probabilite);
    mettre("source", s.source);
    mettre("tags", s.tags);
    mettre("prochaineAction", s.prochaineAction);
    mettre("budget", s.champs.budget);
    mettre("decideur", s.champs.decideur);
    mettre("echeanceProjet", s.champs.echeance);
    mettre("douleur", s.champs.douleur);
    const int e = etape_->findData(s.etape);
    etape_->setCurrentIndex(e < 0 ? 0 : e);
    const int p = profil_->findData(s.profilClientId);
    profil_->setCurrentIndex(p < 0 ? 0 : p);
    const QDate jour = QDate::fromString(s.echeance.left(10), QStringLiteral("yyyy-MM-dd"));
    avecEcheance_->setChecked(jour.isValid());
    if (jour.isValid())
        echeance_->setDate(jour);
    notes_->setPlainText(s.notes);
}

SaisieContact FormulaireContact::saisie() const
{
    SaisieContact s;
    auto lire = [this](const char* nom) {
        QLineEdit* e = champ(QString::fromLatin1(nom));
        return e ? e->text() : QString();
    };
    s.prenom = lire("prenom");
    s.nom = lire("nom");
    s.societe = lire("societe");
    s.poste = lire("poste");
    s.email = lire("email");
    s.tel = lire("tel");
    s.linkedin = lire("linkedin");
    s.valeur = lire("valeur");
    s.probabilite = lire("probabilite");
    s.source = lire("source");
    s.tags = lire("tags");
    s.prochaineAction = lire("prochaineAction");
    s.champs = {lire("budget"), lire("decideur"), lire("echeanceProjet"), lire("douleur")};
    s.etape = etape_->currentData().toString();
    s.profilClientId = profil_->currentData().toString();
    s.echeance = avecEcheance_->isChecked() ? echeance_->date().toString(QStringLiteral("yyyy-MM-dd")) : QString();
    s.notes = notes_->toPlainText();
    return s;
}

bool FormulaireContact::enregistrer()
{
    auto r = enregistrerContact(*ctx_.store, id_, saisie());
    if (!r) {
        erreur_->setText(r.erreur());
        erreur_->show();
        return false;
    }
    erreur_->hide();
    id_ = r.valeur().id;
    if (ctx_.toasts)
        ctx_.toasts->montrer(QStringLiteral("Contact enregistré"), ui::Toasts::Toast::Genre::ok);
    Q_EMIT enregistre(id_);
    accept();
    return true;
}

bool FormulaireContact::supprimer(bool confirmer)
{
    const model::Contact* c = ctx_.store->etat().contact(id_);
    if (!c)
        return false;
    const QString nom = c->nomComplet();
    if (confirmer) {
        QMessageBox q(QMessageBox::Warning, QStringLiteral("Supprimer le contact"),
                      QStringLiteral("Supprimer %1 ?").arg(nom), QMessageBox::NoButton, this);
        q.setInformativeText(QStringLiteral("Sa fiche et son historique sont retirés. Ses appels restent, avec leur transcript, sans lien avec ce contact."));
        QPushButton* oui = q.addButton(QStringLiteral("Supprimer"), QMessageBox::DestructiveRole);
        q.addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole);
        q.exec();
        if (q.clickedButton() != oui)
            return false;
    }
    auto r = supprimerContact(*ctx_.store, id_);
    if (!r) {
        erreur_->setText(r.erreur());
        erreur_->show();
        return false;
    }
    if (ctx_.toasts)
        ctx_.toasts->montrer(QStringLiteral("Contact supprimé"), ui::Toasts::Toast::Genre::ok);
    if (ctx_.navigation && ctx_.navigation->ecran().genre == ui::Ecran::Genre::ficheContact)
        ctx_.navigation->aller(ui::Ecran::de(ui::Ecran::Genre::crm));
    accept();
    return true;
}

} // namespace vd::crm
