#include "editeurframework.h"

#include "model/store.h"
#include "ui/ecrans/libelles.h"
#include "ui/ecrans/style.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QUuid>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

namespace vd::team {

using ui::style::bouton;
using ui::style::etiquette;

namespace {

const QStringList typesConnus{QStringLiteral("prospection"), QStringLiteral("decouverte"), QStringLiteral("demo"),
                              QStringLiteral("suivi"),       QStringLiteral("closing"),    QStringLiteral("negociation"),
                              QStringLiteral("upsell")};
const QStringList phasesConnues{QStringLiteral("prospection"), QStringLiteral("decouverte"), QStringLiteral("demo"),
                                QStringLiteral("suivi"),       QStringLiteral("negociation"), QStringLiteral("closing"),
                                QStringLiteral("upsell"),      QStringLiteral("retention")};
const QString separateurObjection = QStringLiteral(" → ");

QString libellePhase(const QString& p)
{
    return p == QLatin1String("retention") ? QStringLiteral("Rétention") : ui::libelles::typeAppel(p);
}

QStringList lignes(const QPlainTextEdit* e)
{
    QStringList r;
    for (const QString& l : e->toPlainText().split(QLatin1Char('\n')))
        if (const QString t = l.trimmed(); !t.isEmpty())
            r << t;
    return r;
}

QString texteNombre(double v)
{
    if (!std::isfinite(v))
        return {};
    if (v == std::floor(v))
        return QString::number(qint64(v));
    return QLocale(QLocale::French).toString(v, 'f', 1);
}

// Decimal comma or point; anything else is not a number (the validator refuses it).
double lireNombre(const QString& t)
{
    bool ok = false;
    const double v = QString(t.trimmed()).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok ? v : std::numeric_limits<double>::quiet_NaN();
}

QString texteObjections(const QList<ObjectionEtape>& l)
{
    QStringList r;
    for (const ObjectionEtape& o : l)
        r << (o.reponse.isEmpty() ? o.texte : o.texte + separateurObjection + o.reponse);
    return r.join(QLatin1Char('\n'));
}

// One objection a line, "objection → réponse"; links to the library kept by position.
QList<ObjectionEtape> lireObjections(const QStringList& ls, const QList<ObjectionEtape>& avant)
{
    QList<ObjectionEtape> r;
    for (const QString& l : ls) {
        ObjectionEtape o;
        qsizetype i = l.indexOf(QStringLiteral("→"));
        qsizetype n = 1;
        if (i < 0) {
            i = l.indexOf(QStringLiteral("->"));
            n = 2;
        }
        o.texte = (i < 0 ? l : l.left(i)).trimmed();
        o.reponse = i < 0 ? QString() : l.mid(i + n).trimmed();
        if (r.size() < avant.size()) {
            o.id = avant[r.size()].id;
            o.objectionId = avant[r.size()].objectionId;
        }
        r << o;
    }
    return r;
}

QString idLibre(const QString& prefixe, const QStringList& pris)
{
    for (int n = pris.size() + 1;; ++n)
        if (const QString id = prefixe + QString::number(n); !pris.contains(id))
            return id;
}

QLabel* libelleChamp(const QString& t, QWidget* parent) { return etiquette(t, QStringLiteral("legende"), parent); }

QPlainTextEdit* zone(QWidget* parent, int hauteur, const QString& aide)
{
    auto* z = new QPlainTextEdit(parent);
    z->setFixedHeight(hauteur);
    z->setPlaceholderText(aide);
    z->setTabChangesFocus(true);
    return z;
}

} // namespace

EditeurFramework::EditeurFramework(model::Store& store, std::function<std::optional<QString>()> compte, QWidget* parent)
    : QWidget(parent), store_(store), compte_(std::move(compte))
{
    auto* racine = new QVBoxLayout(this);
    racine->setContentsMargins(0, 0, 0, 0);
    racine->setSpacing(0);
    auto* defil = new QScrollArea(this);
    defil->setObjectName(QStringLiteral("page"));
    defil->setWidgetResizable(true);
    auto* interieur = new QWidget(defil);
    interieur->setObjectName(QStringLiteral("pageInterieur"));
    auto* corps = new QVBoxLayout(interieur);
    corps->setContentsMargins(32, 16, 32, 24);
    corps->setSpacing(16);
    defil->setWidget(interieur);
    racine->addWidget(defil, 1);

    auto* haut = new QHBoxLayout;
    auto* retour = bouton(QStringLiteral("‹ Tous les frameworks"), QStringLiteral("retour"), interieur);
    connect(retour, &QPushButton::clicked, this, &EditeurFramework::abandonner);
    haut->addWidget(retour);
    haut->addStretch(1);
    corps->addLayout(haut);
    titre_ = etiquette(QString(), QStringLiteral("titreSection"), interieur);
    corps->addWidget(titre_);

    auto* identite = ui::style::carte(QStringLiteral("carte"), interieur);
    auto* gi = new QGridLayout(identite);
    gi->setContentsMargins(20, 16, 20, 16);
    gi->setHorizontalSpacing(16);
    gi->setVerticalSpacing(6);
    nom_ = new QLineEdit(identite);
    nom_->setObjectName(QStringLiteral("nomFramework"));
    nom_->setPlaceholderText(QStringLiteral("Par exemple : Vente courte"));
    description_ = zone(identite, 64, QStringLiteral("À quoi sert ce process, pour quelles ventes."));
    gi->addWidget(libelleChamp(QStringLiteral("Nom du process"), identite), 0, 0);
    gi->addWidget(nom_, 1, 0);
    gi->addWidget(libelleChamp(QStringLiteral("Description"), identite), 2, 0);
    gi->addWidget(description_, 3, 0);
    corps->addWidget(identite);
    connect(nom_, &QLineEdit::textChanged, this, &EditeurFramework::lireIdentite);
    connect(description_, &QPlainTextEdit::textChanged, this, &EditeurFramework::lireIdentite);

    corps->addWidget(etiquette(QStringLiteral("Étapes"), QStringLiteral("titreCarte"), interieur));
    corps->addWidget(construireEtapes());
    corps->addWidget(etiquette(QStringLiteral("Grille de qualification"), QStringLiteral("titreCarte"), interieur));
    corps->addWidget(etiquette(QStringLiteral("Les faits à apprendre sur le prospect : Quillo les coche pendant l'appel."),
                               QStringLiteral("secondaire"), interieur));
    corps->addWidget(construireGrille());
    corps->addStretch(1);

    // Under the editor, always in sight: the first failing rule and the save.
    racine->addWidget(ui::style::filet(this));
    auto* pied = new QWidget(this);
    pied->setObjectName(QStringLiteral("pageInterieur"));
    auto* hp = new QHBoxLayout(pied);
    hp->setContentsMargins(32, 12, 32, 12);
    hp->setSpacing(12);
    avis_ = etiquette(QString(), QStringLiteral("erreur"), pied);
    avis_->setObjectName(QStringLiteral("messageValidation"));
    avis_->setWordWrap(true);
    hp->addWidget(avis_, 1);
    auto* annuler = bouton(QStringLiteral("Annuler"), {}, pied);
    connect(annuler, &QPushButton::clicked, this, &EditeurFramework::abandonner);
    hp->addWidget(annuler);
    enregistrer_ = bouton(QStringLiteral("Enregistrer"), QStringLiteral("primaire"), pied);
    enregistrer_->setObjectName(QStringLiteral("enregistrerFramework"));
    connect(enregistrer_, &QPushButton::clicked, this, [this] { enregistrer(); });
    hp->addWidget(enregistrer_);
    racine->addWidget(pied);
}

QWidget* EditeurFramework::construireEtapes()
{
    auto* rangee = new QWidget;
    auto* h = new QHBoxLayout(rangee);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(16);

    auto* gauche = ui::style::carte(QStringLiteral("carteGrise"), rangee);
    gauche->setFixedWidth(260);
    auto* vg = new QVBoxLayout(gauche);
    vg->setContentsMargins(12, 12, 12, 12);
    vg->setSpacing(8);
    etapes_ = new QListWidget(gauche);
    etapes_->setObjectName(QStringLiteral("listeEtapes"));
    etapes_->setMinimumHeight(220);
    etapes_->setSpacing(3);
    vg->addWidget(etapes_, 1);
    totalPoids_ = etiquette(QString(), QStringLiteral("legende"), gauche);
    vg->addWidget(totalPoids_);
    auto* ajouter = bouton(QStringLiteral("Ajouter une étape"), {}, gauche);
    ajouter->setIcon(ui::style::icone(QStringLiteral("plus"), ui::style::couleur::texte, 16));
    vg->addWidget(ajouter);
    auto* hb = new QHBoxLayout;
    monter_ = bouton(QStringLiteral("Monter"), {}, gauche);
    descendre_ = bouton(QStringLiteral("Descendre"), {}, gauche);
    hb->addWidget(monter_);
    hb->addWidget(descendre_);
    vg->addLayout(hb);
    retirerEtape_ = bouton(QStringLiteral("Retirer l'étape"), QStringLiteral("danger"), gauche);
    vg->addWidget(retirerEtape_);
    h->addWidget(gauche, 0, Qt::AlignTop);

    auto* droite = ui::style::carte(QStringLiteral("carte"), rangee);
    formEtape_ = droite;
    auto* g = new QGridLayout(droite);
    g->setContentsMargins(20, 16, 20, 16);
    g->setHorizontalSpacing(16);
    g->setVerticalSpacing(6);
    nomEtape_ = new QLineEdit(droite);
    nomEtape_->setObjectName(QStringLiteral("nomEtape"));
    idEtape_ = new QLineEdit(droite);
    idEtape_->setObjectName(QStringLiteral("idEtape"));
    objectif_ = new QLineEdit(droite);
    objectif_->setObjectName(QStringLiteral("objectifEtape"));
    objectif_->setPlaceholderText(QStringLiteral("Ce que l'étape doit obtenir, en une phrase."));
    questions_ = zone(droite, 96, QStringLiteral("Une question par ligne, telle que vous la posez (8 au plus)."));
    questions_->setObjectName(QStringLiteral("questionsEtape"));
    criteres_ = zone(droite, 96, QStringLiteral("Un critère par ligne : ce qui prouve que l'étape est réussie."));
    criteres_->setObjectName(QStringLiteral("criteresEtape"));
    poids_ = new QLineEdit(droite);
    poids_->setObjectName(QStringLiteral("poidsEtape"));
    poids_->setPlaceholderText(QStringLiteral("0 à 100"));
    phase_ = new QComboBox(droite);
    phase_->addItem(QStringLiteral("Selon le type d'appel"), QString());
    for (const QString& p : phasesConnues)
        phase_->addItem(libellePhase(p), p);
    transition_ = new QLineEdit(droite);
    transition_->setObjectName(QStringLiteral("transitionEtape"));
    transition_->setPlaceholderText(textesFramework::libelleTransition);
    objections_ = zone(droite, 80, QStringLiteral("Une par ligne : objection → réponse"));
    objections_->setObjectName(QStringLiteral("objectionsEtape"));

    int r = 0;
    g->addWidget(libelleChamp(QStringLiteral("Nom de l'étape"), droite), r, 0);
    g->addWidget(libelleChamp(QStringLiteral("Identifiant"), droite), r++, 1);
    g->addWidget(nomEtape_, r, 0);
    g->addWidget(idEtape_, r++, 1);
    g->addWidget(libelleChamp(QStringLiteral("Objectif"), droite), r++, 0, 1, 2);
    g->addWidget(objectif_, r++, 0, 1, 2);
    g->addWidget(libelleChamp(QStringLiteral("Questions à poser"), droite), r, 0);
    g->addWidget(libelleChamp(QStringLiteral("Critères de réussite"), droite), r++, 1);
    g->addWidget(questions_, r, 0);
    g->addWidget(criteres_, r++, 1);
    g->addWidget(libelleChamp(QStringLiteral("Poids dans le score (%)"), droite), r, 0);
    g->addWidget(libelleChamp(textesFramework::libellePhase, droite), r++, 1);
    g->addWidget(poids_, r, 0);
    g->addWidget(phase_, r++, 1);
    g->addWidget(libelleChamp(QStringLiteral("Types d'appel (aucun coché : tous)"), droite), r++, 0, 1, 2);
    auto* grilleTypes = new QGridLayout;
    grilleTypes->setHorizontalSpacing(16);
    for (int i = 0; i < typesConnus.size(); ++i) {
        auto* c = new QCheckBox(ui::libelles::typeAppel(typesConnus[i]), droite);
        c->setProperty("type", typesConnus[i]);
        types_ << c;
        grilleTypes->addWidget(c, i / 4, i % 4);
        connect(c, &QCheckBox::toggled, this, &EditeurFramework::lireEtape);
    }
    g->addLayout(grilleTypes, r++, 0, 1, 2);
    g->addWidget(libelleChamp(QStringLiteral("Transition"), droite), r++, 0, 1, 2);
    g->addWidget(transition_, r++, 0, 1, 2);
    g->addWidget(libelleChamp(QStringLiteral("Objections typiques"), droite), r++, 0, 1, 2);
    g->addWidget(objections_, r++, 0, 1, 2);
    g->setColumnStretch(0, 1);
    g->setColumnStretch(1, 1);
    h->addWidget(droite, 1);

    for (QLineEdit* e : {nomEtape_, idEtape_, poids_, objectif_, transition_})
        connect(e, &QLineEdit::textChanged, this, &EditeurFramework::lireEtape);
    for (QPlainTextEdit* e : {questions_, criteres_, objections_})
        connect(e, &QPlainTextEdit::textChanged, this, &EditeurFramework::lireEtape);
    connect(phase_, &QComboBox::currentIndexChanged, this, &EditeurFramework::lireEtape);
    connect(etapes_, &QListWidget::currentRowChanged, this, &EditeurFramework::chargerEtape);
    connect(ajouter, &QPushButton::clicked, this, [this] {
        QStringList pris;
        for (const EtapeFramework& e : brouillon_.etapes)
            pris << e.id.trimmed();
        EtapeFramework e;
        e.id = idLibre(QStringLiteral("etape_"), pris);
        e.nom = QStringLiteral("Nouvelle étape");
        brouillon_.etapes.append(e);
        remplirListeEtapes();
        etapes_->setCurrentRow(int(brouillon_.etapes.size()) - 1);
        nomEtape_->setFocus();
        nomEtape_->selectAll();
        valider();
    });
    connect(monter_, &QPushButton::clicked, this, [this] { deplacerEtape(-1); });
    connect(descendre_, &QPushButton::clicked, this, [this] { deplacerEtape(1); });
    connect(retirerEtape_, &QPushButton::clicked, this, [this] {
        if (etape_ < 0 || etape_ >= brouillon_.etapes.size())
            return;
        brouillon_.etapes.removeAt(etape_);
        const int suivante = std::min<int>(etape_, int(brouillon_.etapes.size()) - 1);
        etape_ = -1;
        remplirListeEtapes();
        etapes_->setCurrentRow(suivante);
        chargerEtape(etapes_->currentRow());
        valider();
    });
    return rangee;
}

QWidget* EditeurFramework::construireGrille()
{
    auto* rangee = new QWidget;
    auto* h = new QHBoxLayout(rangee);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(16);
    auto* gauche = ui::style::carte(QStringLiteral("carteGrise"), rangee);
    gauche->setFixedWidth(260);
    auto* vg = new QVBoxLayout(gauche);
    vg->setContentsMargins(12, 12, 12, 12);
    vg->setSpacing(8);
    items_ = new QListWidget(gauche);
    items_->setObjectName(QStringLiteral("listeItems"));
    items_->setMinimumHeight(160);
    items_->setSpacing(3);
    vg->addWidget(items_, 1);
    auto* ajouter = bouton(QStringLiteral("Ajouter un item"), {}, gauche);
    ajouter->setIcon(ui::style::icone(QStringLiteral("plus"), ui::style::couleur::texte, 16));
    vg->addWidget(ajouter);
    retirerItem_ = bouton(QStringLiteral("Retirer l'item"), QStringLiteral("danger"), gauche);
    vg->addWidget(retirerItem_);
    h->addWidget(gauche, 0, Qt::AlignTop);

    auto* droite = ui::style::carte(QStringLiteral("carte"), rangee);
    formItem_ = droite;
    auto* g = new QGridLayout(droite);
    g->setContentsMargins(20, 16, 20, 16);
    g->setHorizontalSpacing(16);
    g->setVerticalSpacing(6);
    nomItem_ = new QLineEdit(droite);
    idItem_ = new QLineEdit(droite);
    sigle_ = new QLineEdit(droite);
    sigle_->setMaxLength(3);
    sigle_->setPlaceholderText(QStringLiteral("Lettre de la grille compacte"));
    champ_ = new QComboBox(droite);
    champ_->addItem(QStringLiteral("Aucun champ"), QString());
    champ_->addItem(QStringLiteral("Douleur"), QStringLiteral("douleur"));
    champ_->addItem(QStringLiteral("Budget"), QStringLiteral("budget"));
    champ_->addItem(QStringLiteral("Décideur"), QStringLiteral("decideur"));
    champ_->addItem(QStringLiteral("Échéance"), QStringLiteral("echeance"));
    pourquoi_ = new QLineEdit(droite);
    pourquoi_->setPlaceholderText(QStringLiteral("Pourquoi ce fait compte, en une phrase."));
    questionsItem_ = zone(droite, 72, QStringLiteral("Une question par ligne (3 au plus)."));
    int r = 0;
    g->addWidget(libelleChamp(QStringLiteral("Nom de l'item"), droite), r, 0);
    g->addWidget(libelleChamp(QStringLiteral("Identifiant"), droite), r++, 1);
    g->addWidget(nomItem_, r, 0);
    g->addWidget(idItem_, r++, 1);
    g->addWidget(libelleChamp(QStringLiteral("Sigle"), droite), r, 0);
    g->addWidget(libelleChamp(QStringLiteral("Champ de la fiche contact"), droite), r++, 1);
    g->addWidget(sigle_, r, 0);
    g->addWidget(champ_, r++, 1);
    g->addWidget(libelleChamp(QStringLiteral("Pourquoi"), droite), r++, 0, 1, 2);
    g->addWidget(pourquoi_, r++, 0, 1, 2);
    g->addWidget(libelleChamp(QStringLiteral("Questions"), droite), r++, 0, 1, 2);
    g->addWidget(questionsItem_, r++, 0, 1, 2);
    g->setColumnStretch(0, 1);
    g->setColumnStretch(1, 1);
    h->addWidget(droite, 1);

    for (QLineEdit* e : {nomItem_, idItem_, sigle_, pourquoi_})
        connect(e, &QLineEdit::textChanged, this, &EditeurFramework::lireItem);
    connect(questionsItem_, &QPlainTextEdit::textChanged, this, &EditeurFramework::lireItem);
    connect(champ_, &QComboBox::currentIndexChanged, this, &EditeurFramework::lireItem);
    connect(items_, &QListWidget::currentRowChanged, this, &EditeurFramework::chargerItem);
    connect(ajouter, &QPushButton::clicked, this, [this] {
        GrilleQualification& gq = *brouillon_.qualification;
        QStringList pris;
        for (const ItemQualification& i : gq.items)
            pris << i.id.trimmed();
        ItemQualification i;
        i.id = idLibre(QStringLiteral("item_"), pris);
        i.nom = QStringLiteral("Nouvel item");
        gq.items.append(i);
        remplirListeItems();
        items_->setCurrentRow(int(gq.items.size()) - 1);
        nomItem_->setFocus();
        nomItem_->selectAll();
        valider();
    });
    connect(retirerItem_, &QPushButton::clicked, this, [this] {
        GrilleQualification& gq = *brouillon_.qualification;
        if (item_ < 0 || item_ >= gq.items.size())
            return;
        gq.items.removeAt(item_);
        const int suivant = std::min<int>(item_, int(gq.items.size()) - 1);
        item_ = -1;
        remplirListeItems();
        items_->setCurrentRow(suivant);
        chargerItem(items_->currentRow());
        valider();
    });
    return rangee;
}

void EditeurFramework::ouvrir(const FrameworkVente& f, const std::optional<QString>& etapeId)
{
    brouillon_ = f;
    if (!brouillon_.qualification)
        brouillon_.qualification = brouillon_.grille();
    ouvert_ = brouillon_;
    const bool stocke = frameworkParId(store_.etat(), f.id).has_value();
    titre_->setText(stocke ? QStringLiteral("Modifier « %1 »").arg(f.nom) : QStringLiteral("Nouveau framework"));
    chargement_ = true;
    nom_->setText(f.nom);
    description_->setPlainText(f.description);
    chargement_ = false;
    etape_ = item_ = -1;
    remplirListeEtapes();
    int i = 0;
    if (etapeId)
        for (qsizetype k = 0; k < brouillon_.etapes.size(); ++k)
            if (memeId(brouillon_.etapes[k].id, *etapeId))
                i = int(k);
    etapes_->setCurrentRow(brouillon_.etapes.isEmpty() ? -1 : i);
    chargerEtape(etapes_->currentRow());
    remplirListeItems();
    items_->setCurrentRow(brouillon_.qualification->items.isEmpty() ? -1 : 0);
    chargerItem(items_->currentRow());
    valider();
}

void EditeurFramework::remplirListeEtapes()
{
    const QSignalBlocker b(etapes_);
    etapes_->clear();
    for (qsizetype i = 0; i < brouillon_.etapes.size(); ++i) {
        const EtapeFramework& e = brouillon_.etapes[i];
        const QString poids = texteNombre(e.poids);
        etapes_->addItem(QStringLiteral("%1. %2").arg(i + 1).arg(e.nom.trimmed().isEmpty() ? QStringLiteral("Sans nom") : e.nom.trimmed())
                         + (poids.isEmpty() ? QString() : QStringLiteral(" · %1\u00A0%").arg(poids)));
    }
    etapes_->setCurrentRow(etape_);
}

void EditeurFramework::remplirListeItems()
{
    const QSignalBlocker b(items_);
    items_->clear();
    for (const ItemQualification& i : brouillon_.qualification->items)
        items_->addItem((i.sigle.isEmpty() ? QString() : i.sigle + QStringLiteral(" · ")) +
                        (i.nom.trimmed().isEmpty() ? QStringLiteral("Sans nom") : i.nom.trimmed()));
    items_->setCurrentRow(item_);
}

void EditeurFramework::chargerEtape(int i)
{
    etape_ = i;
    const bool ok = i >= 0 && i < brouillon_.etapes.size();
    formEtape_->setEnabled(ok);
    retirerEtape_->setEnabled(ok);
    monter_->setEnabled(ok && i > 0);
    descendre_->setEnabled(ok && i + 1 < brouillon_.etapes.size());
    const EtapeFramework e = ok ? brouillon_.etapes[i] : EtapeFramework{};
    chargement_ = true;
    nomEtape_->setText(e.nom);
    idEtape_->setText(e.id);
    objectif_->setText(e.objectif);
    questions_->setPlainText(e.questions.join(QLatin1Char('\n')));
    criteres_->setPlainText(e.criteres.join(QLatin1Char('\n')));
    poids_->setText(ok ? texteNombre(e.poids) : QString());
    int p = phase_->findData(e.phase);
    if (p < 0) {
        phase_->addItem(e.phase, e.phase);
        p = phase_->count() - 1;
    }
    phase_->setCurrentIndex(p);
    for (QCheckBox* c : types_)
        c->setChecked(e.typesAppel.contains(c->property("type").toString()));
    transition_->setText(e.transition);
    objections_->setPlainText(texteObjections(e.objections));
    chargement_ = false;
}

void EditeurFramework::chargerItem(int i)
{
    item_ = i;
    const auto& items = brouillon_.qualification->items;
    const bool ok = i >= 0 && i < items.size();
    formItem_->setEnabled(ok);
    retirerItem_->setEnabled(ok);
    const ItemQualification it = ok ? items[i] : ItemQualification{};
    chargement_ = true;
    nomItem_->setText(it.nom);
    idItem_->setText(it.id);
    sigle_->setText(it.sigle);
    pourquoi_->setText(it.pourquoi);
    questionsItem_->setPlainText(it.questions.join(QLatin1Char('\n')));
    champ_->setCurrentIndex(std::max(0, champ_->findData(it.champ)));
    chargement_ = false;
}

void EditeurFramework::lireIdentite()
{
    if (chargement_)
        return;
    brouillon_.nom = nom_->text();
    brouillon_.description = description_->toPlainText();
    valider();
}

void EditeurFramework::lireEtape()
{
    if (chargement_ || etape_ < 0 || etape_ >= brouillon_.etapes.size())
        return;
    EtapeFramework& e = brouillon_.etapes[etape_];
    e.nom = nomEtape_->text();
    e.id = idEtape_->text();
    e.objectif = objectif_->text();
    e.questions = lignes(questions_);
    e.criteres = lignes(criteres_);
    e.poids = lireNombre(poids_->text());
    e.phase = phase_->currentData().toString();
    // Types the editor does not offer stay as they were.
    QStringList types;
    for (const QString& t : e.typesAppel)
        if (!typesConnus.contains(t))
            types << t;
    for (QCheckBox* c : types_)
        if (c->isChecked())
            types << c->property("type").toString();
    e.typesAppel = types;
    e.transition = transition_->text();
    e.objections = lireObjections(lignes(objections_), e.objections);
    if (QListWidgetItem* li = etapes_->item(etape_)) {
        const QString poids = texteNombre(e.poids);
        li->setText(QStringLiteral("%1. %2").arg(etape_ + 1).arg(e.nom.trimmed().isEmpty() ? QStringLiteral("Sans nom") : e.nom.trimmed())
                    + (poids.isEmpty() ? QString() : QStringLiteral(" · %1\u00A0%").arg(poids)));
    }
    valider();
}

void EditeurFramework::lireItem()
{
    auto& items = brouillon_.qualification->items;
    if (chargement_ || item_ < 0 || item_ >= items.size())
        return;
    ItemQualification& it = items[item_];
    it.nom = nomItem_->text();
    it.id = idItem_->text();
    it.sigle = sigle_->text().trimmed();
    it.pourquoi = pourquoi_->text();
    it.questions = lignes(questionsItem_);
    it.champ = champ_->currentData().toString();
    if (QListWidgetItem* li = items_->item(item_))
        li->setText((it.sigle.isEmpty() ? QString() : it.sigle + QStringLiteral(" · ")) +
                    (it.nom.trimmed().isEmpty() ? QStringLiteral("Sans nom") : it.nom.trimmed()));
    valider();
}

void EditeurFramework::deplacerEtape(int sens)
{
    const int j = etape_ + sens;
    if (etape_ < 0 || j < 0 || j >= brouillon_.etapes.size())
        return;
    brouillon_.etapes.swapItemsAt(etape_, j);
    etape_ = j;
    remplirListeEtapes();
    chargerEtape(j);
    valider();
}

void EditeurFramework::valider()
{
    message_ = validerFramework(brouillon_);
    if (!message_ && brouillon_.qualification)
        message_ = validerGrille(*brouillon_.qualification);
    avis_->setText(message_.value_or(QString()));
    enregistrer_->setEnabled(!message_);
    double total = 0;
    for (const EtapeFramework& e : brouillon_.etapes)
        total += std::isfinite(e.poids) ? e.poids : 0;
    totalPoids_->setText(QStringLiteral("Total des poids\u00A0: %1\u00A0%").arg(texteNombre(total)));
    totalPoids_->setProperty("role", std::abs(total - 100) < 0.01 || brouillon_.etapes.isEmpty() ? QStringLiteral("legende")
                                                                                                  : QStringLiteral("alerte"));
    totalPoids_->style()->unpolish(totalPoids_);
    totalPoids_->style()->polish(totalPoids_);
}

// Leaving with changes asks first: nothing typed is lost by a stray click.
void EditeurFramework::abandonner()
{
    if (modifie()) {
        QMessageBox boite(this);
        boite.setIcon(QMessageBox::Question);
        boite.setWindowTitle(QStringLiteral("Modifications non enregistrées"));
        boite.setText(QStringLiteral("Abandonner les modifications de « %1 » ?").arg(brouillon_.nom.trimmed()));
        QPushButton* oui = boite.addButton(QStringLiteral("Abandonner"), QMessageBox::DestructiveRole);
        boite.addButton(QStringLiteral("Continuer la modification"), QMessageBox::RejectRole);
        boite.exec();
        if (boite.clickedButton() != oui)
            return;
    }
    Q_EMIT annule();
}

bool EditeurFramework::enregistrer()
{
    valider();
    if (message_)
        return false;
    if (brouillon_.id.trimmed().isEmpty())
        brouillon_.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (auto m = enregistrerFramework(store_, brouillon_, compte_ ? compte_() : std::nullopt)) {
        message_ = m;
        avis_->setText(*m);
        return false;
    }
    Q_EMIT enregistre(brouillon_.id.trimmed());
    return true;
}

} // namespace vd::team
