#include "ecrancrm.h"

#include "formulairecontact.h"
#include "modelecontacts.h"
#include "ouvrir.h"
#include "tableaupipeline.h"
#include "crm/etapes.h"
#include "crm/operationscrm.h"
#include "model/store.h"
#include "model/texte.h"
#include "platform/horloge.h"
#include "ui/ecrans/style.h"
#include "ui/toasts.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>

namespace vd::crm {

namespace {

enum Page { pageListe, pagePipeline, pageAucunResultat, pageVide };

// The list's stage column as the engine's coloured chip; the contact column on two lines.
class DelegueListe : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& o, const QModelIndex& i) const override
    {
        if (i.column() != ModeleContacts::colEtape) {
            QStyledItemDelegate::paint(p, o, i);
            return;
        }
        QStyleOptionViewItem base = o;
        initStyleOption(&base, i);
        base.text.clear();
        QStyledItemDelegate::paint(p, base, i);
        const EtapePipeline* e = etapePipeline(i.data(roleEtape).toString());
        if (!e)
            return;
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        QFont f = o.font;
        f.setPixelSize(12);
        f.setWeight(QFont::DemiBold);
        const QFontMetrics m(f);
        const int w = m.horizontalAdvance(e->libelle) + 20, h = 22;
        const QRectF r(o.rect.left() + 4, o.rect.center().y() - h / 2.0 + 1, w, h);
        p->setPen(Qt::NoPen);
        p->setBrush(e->fond);
        p->drawRoundedRect(r, h / 2.0, h / 2.0);
        p->setPen(e->texte);
        p->setFont(f);
        p->drawText(r, Qt::AlignCenter, e->libelle);
        p->restore();
    }
};

QString aujourdhui(const ui::Contexte& ctx)
{
    const QDateTime t = ctx.horloge ? ctx.horloge->maintenant() : QDateTime::currentDateTimeUtc();
    return model::jourCalendaire(t);
}

} // namespace

EcranCRM::EcranCRM(ui::Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 8, 0, 16);
    l->setSpacing(12);
    construireBarre(l);

    pile_ = new QStackedWidget(this);
    modele_ = new ModeleContacts(*ctx_.store, filtres_, echanges_, this);
    table_ = new QTableView(pile_);
    table_->setObjectName(QStringLiteral("listeContacts"));
    table_->setModel(modele_);
    table_->setItemDelegate(new DelegueListe(table_));
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(44);
    table_->setShowGrid(false);
    table_->setAlternatingRowColors(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    auto* entete = table_->horizontalHeader();
    entete->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    entete->setSectionResizeMode(QHeaderView::Interactive);
    entete->setStretchLastSection(false);
    entete->setSectionResizeMode(ModeleContacts::colProchaine, QHeaderView::Stretch);
    const int largeurs[] = {220, 200, 130, 110, 0, 130};
    for (int c = 0; c < ModeleContacts::nbColonnes; ++c)
        if (largeurs[c])
            table_->setColumnWidth(c, largeurs[c]);
    pile_->addWidget(table_);
    tableau_ = new TableauPipeline(*ctx_.store, echanges_, pile_);
    pile_->addWidget(tableau_);
    pile_->addWidget(construireEtatVide(pile_, false));
    pile_->addWidget(construireEtatVide(pile_, true));
    l->addWidget(pile_, 1);

    connect(table_, &QTableView::activated, this, [this](const QModelIndex& i) {
        if (i.column() != ModeleContacts::colContact || !(modele_->flags(i) & Qt::ItemIsUserCheckable))
            ctx_.navigation->aller(ui::Ecran::ficheContact(modele_->idLigne(i.row())));
    });
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& i) {
        ctx_.navigation->aller(ui::Ecran::ficheContact(modele_->idLigne(i.row())));
    });
    connect(tableau_, &TableauPipeline::ouvrirContact, this, [this](const QString& id) {
        if (!id.isEmpty())
            ctx_.navigation->aller(ui::Ecran::ficheContact(id));
    });
    connect(tableau_, &TableauPipeline::changerEtape, this, &EcranCRM::changerEtape);

    // Store changes and keystrokes are applied once per turn of the event loop.
    auto planifier = [this] {
        if (sale_)
            return;
        sale_ = true;
        if (isVisible())
            QTimer::singleShot(0, this, [this] {
                if (sale_)
                    rafraichir();
            });
    };
    connect(ctx_.store, &model::Store::etatChange, this, planifier);
    connect(&filtres_, &FiltresCRM::criteresChanges, this, &EcranCRM::rafraichir);
    connect(&filtres_, &FiltresCRM::selectionChangee, this, &EcranCRM::majSelection);
    connect(this, &EcranCRM::demandeImport, this, [this] { ouvrirImport(ctx_, this); });
    connect(this, &EcranCRM::demandeExport, this, [this] {
        // The export offers what the screen shows: the filtered contacts and the selection.
        const model::Etat& etat = ctx_.store->etat();
        std::optional<QList<model::Contact>> filtres;
        if (filtres_.criteres().actif()) {
            QList<model::Contact> l;
            for (int i : index_.filtrer(filtres_.criteres(), aujourdhui(ctx_)))
                l.append(etat.contacts.at(i));
            filtres = std::move(l);
        }
        QList<model::Contact> selection;
        for (const model::Contact& c : etat.contacts)
            if (filtres_.selection().contains(c.id))
                selection.append(c);
        ouvrirExport(ctx_, this, std::move(filtres), std::move(selection));
    });
    sale_ = true;
}

void EcranCRM::construireBarre(QVBoxLayout* l)
{
    auto* barre = new QHBoxLayout;
    barre->setSpacing(8);
    recherche_ = new QLineEdit(this);
    recherche_->setObjectName(QStringLiteral("recherche"));
    recherche_->setPlaceholderText(QStringLiteral("Nom, société, email, téléphone…"));
    recherche_->setClearButtonEnabled(true);
    recherche_->setMinimumWidth(260);
    recherche_->setMaximumWidth(360);
    connect(recherche_, &QLineEdit::textChanged, &filtres_, &FiltresCRM::setRecherche);
    barre->addWidget(recherche_);

    etape_ = new QComboBox(this);
    etape_->setObjectName(QStringLiteral("filtreEtape"));
    etape_->addItem(QStringLiteral("Toutes les étapes"), QString());
    for (const EtapePipeline& e : etapesPipeline())
        etape_->addItem(e.libelle, e.id);
    connect(etape_, &QComboBox::currentIndexChanged, this, [this] { filtres_.setEtape(etape_->currentData().toString()); });
    barre->addWidget(etape_);

    profil_ = new QComboBox(this);
    profil_->setObjectName(QStringLiteral("filtreProfil"));
    connect(profil_, &QComboBox::currentIndexChanged, this, [this] {
        if (profil_->currentIndex() >= 0)
            filtres_.setProfil(profil_->currentData().toString());
    });
    barre->addWidget(profil_);

    relances_ = ui::style::bouton(QStringLiteral("À relancer"), {}, this);
    relances_->setObjectName(QStringLiteral("filtreRelances"));
    relances_->setCheckable(true);
    relances_->setToolTip(QStringLiteral("Seulement les contacts à relancer aujourd'hui ou en retard"));
    connect(relances_, &QPushButton::toggled, &filtres_, &FiltresCRM::setRelances);
    barre->addWidget(relances_);
    barre->addStretch(1);

    auto* groupe = new QButtonGroup(this);
    boutonListe_ = ui::style::bouton(QStringLiteral("Liste"), {}, this);
    boutonPipeline_ = ui::style::bouton(QStringLiteral("Pipeline"), {}, this);
    boutonListe_->setObjectName(QStringLiteral("vueListe"));
    boutonPipeline_->setObjectName(QStringLiteral("vuePipeline"));
    for (QPushButton* b : {boutonListe_, boutonPipeline_}) {
        b->setCheckable(true);
        b->setToolTip(QStringLiteral("Afficher en liste ou en pipeline"));
        groupe->addButton(b);
        barre->addWidget(b);
    }
    boutonListe_->setChecked(true);
    connect(boutonListe_, &QPushButton::clicked, this, [this] { setVue(Vue::liste); });
    connect(boutonPipeline_, &QPushButton::clicked, this, [this] { setVue(Vue::pipeline); });

    auto* profils = ui::style::bouton(QStringLiteral("Profils et objections"), {}, this);
    connect(profils, &QPushButton::clicked, this, [this] { ctx_.navigation->aller(ui::Ecran::profils(QStringLiteral("profils"))); });
    barre->addWidget(profils);
    auto* importer = ui::style::bouton(QStringLiteral("Importer"), {}, this);
    importer->setObjectName(QStringLiteral("importer"));
    connect(importer, &QPushButton::clicked, this, &EcranCRM::demandeImport);
    barre->addWidget(importer);
    exporter_ = ui::style::bouton(QStringLiteral("Exporter"), {}, this);
    exporter_->setObjectName(QStringLiteral("exporter"));
    connect(exporter_, &QPushButton::clicked, this, &EcranCRM::demandeExport);
    barre->addWidget(exporter_);
    l->addLayout(barre);

    // The follow-up filter, said in words; a click removes it.
    auto* bandeau = new ui::style::LigneCliquable(this);
    bandeau->setProperty("role", QStringLiteral("encartAmbre"));
    bandeau->setObjectName(QStringLiteral("bandeauRelances"));
    bandeau->setCursor(Qt::PointingHandCursor);
    auto* bl = new QHBoxLayout(bandeau);
    bl->setContentsMargins(12, 8, 12, 8);
    auto* bt = ui::style::etiquette(QStringLiteral("Contacts à relancer aujourd'hui ou en retard. Cliquez pour retirer le filtre."), QStringLiteral("alerte"), bandeau);
    bl->addWidget(bt, 1);
    connect(bandeau, &ui::style::LigneCliquable::clique, this, [this] { relances_->setChecked(false); });
    bandeauRelances_ = bandeau;
    bandeau->hide();
    l->addWidget(bandeau);

    barreSelection_ = ui::style::carte(QStringLiteral("encart"), this);
    barreSelection_->setObjectName(QStringLiteral("barreSelection"));
    auto* sl = new QHBoxLayout(barreSelection_);
    sl->setContentsMargins(12, 6, 8, 6);
    texteSelection_ = ui::style::etiquette(QString(), {}, barreSelection_);
    sl->addWidget(texteSelection_, 1);
    auto* deselect = ui::style::bouton(QStringLiteral("Désélectionner"), QStringLiteral("lien"), barreSelection_);
    deselect->setObjectName(QStringLiteral("deselectionner"));
    connect(deselect, &QPushButton::clicked, &filtres_, &FiltresCRM::deselectionner);
    sl->addWidget(deselect);
    barreSelection_->hide();
    l->addWidget(barreSelection_);

    aide_ = ui::style::etiquette(QStringLiteral("Glissez une carte vers une autre colonne, ou changez l'étape avec le menu de la carte."),
                                 QStringLiteral("legende"), this);
    aide_->hide();
    l->addWidget(aide_);
}

QWidget* EcranCRM::construireEtatVide(QWidget* parent, bool sansContact)
{
    auto* w = new QWidget(parent);
    w->setObjectName(sansContact ? QStringLiteral("crmVide") : QStringLiteral("aucunResultat"));
    auto* vl = new QVBoxLayout(w);
    vl->addStretch(1);
    auto* ic = new QLabel(w);
    ic->setPixmap(ui::style::icone(QStringLiteral("crm"), ui::style::couleur::texteSecondaire, 40).pixmap(40, 40));
    ic->setAlignment(Qt::AlignCenter);
    vl->addWidget(ic);
    auto* t = ui::style::etiquette(sansContact ? QStringLiteral("Aucun contact pour l'instant") : QStringLiteral("Aucun contact ne correspond"),
                                   QStringLiteral("titreSection"), w);
    t->setAlignment(Qt::AlignCenter);
    vl->addWidget(t);
    auto* s = ui::style::etiquette(sansContact ? QStringLiteral("Vos prospects et votre pipeline, de « Nouveau » à « Gagné ». Chaque appel analysé met à jour la fiche du contact.")
                                               : QStringLiteral("Essayez un autre mot ou retirez un filtre."),
                                   QStringLiteral("secondaire"), w);
    s->setAlignment(Qt::AlignCenter);
    s->setWordWrap(true);
    vl->addWidget(s);
    auto* bh = new QHBoxLayout;
    bh->addStretch(1);
    if (sansContact) {
        auto* imp = ui::style::bouton(QStringLiteral("Importer des contacts"), QStringLiteral("primaire"), w);
        connect(imp, &QPushButton::clicked, this, &EcranCRM::demandeImport);
        bh->addWidget(imp);
        auto* creer = ui::style::bouton(QStringLiteral("Créer un contact"), {}, w);
        connect(creer, &QPushButton::clicked, this, [this] { ouvrirFormulaire({}); });
        bh->addWidget(creer);
        auto* demo = ui::style::bouton(QStringLiteral("Charger la démo"), {}, w);
        connect(demo, &QPushButton::clicked, this, [this] {
            if (ctx_.chargerDemo)
                if (auto e = ctx_.chargerDemo())
                    ctx_.toasts->montrer(*e, ui::Toasts::Toast::Genre::erreur);
        });
        bh->addWidget(demo);
    } else {
        auto* effacer = ui::style::bouton(QStringLiteral("Effacer les filtres"), QStringLiteral("primaire"), w);
        effacer->setObjectName(QStringLiteral("effacerFiltres"));
        connect(effacer, &QPushButton::clicked, this, [this] {
            const QSignalBlocker b1(recherche_), b2(etape_), b3(profil_), b4(relances_);
            recherche_->clear();
            etape_->setCurrentIndex(0);
            profil_->setCurrentIndex(0);
            relances_->setChecked(false);
            filtres_.effacer();
        });
        bh->addWidget(effacer);
    }
    bh->addStretch(1);
    vl->addLayout(bh);
    vl->addStretch(2);
    return w;
}

std::optional<ui::EcranBase::Action> EcranCRM::actionPrincipale() const
{
    auto* moi = const_cast<EcranCRM*>(this);
    return Action{QStringLiteral("Nouveau contact"), [moi] { moi->ouvrirFormulaire({}); }};
}

void EcranCRM::afficher(const ui::Ecran& e)
{
    if (e.charge == QLatin1String("pipeline"))
        setVue(Vue::pipeline);
    else if (e.charge == QLatin1String("liste"))
        setVue(Vue::liste);
    rafraichir();
}

void EcranCRM::setVue(Vue v)
{
    vue_ = v;
    boutonListe_->setChecked(v == Vue::liste);
    boutonPipeline_->setChecked(v == Vue::pipeline);
    rafraichir();
}

void EcranCRM::majListesFiltres()
{
    const QString choisi = filtres_.profil();
    const QSignalBlocker b(profil_);
    profil_->clear();
    profil_->addItem(QStringLiteral("Tous les profils"), QString());
    for (const model::ProfilClient& p : ctx_.store->etat().profilsClients)
        profil_->addItem(p.nom, p.id);
    const int i = profil_->findData(choisi);
    profil_->setCurrentIndex(i < 0 ? 0 : i);
    if (i < 0 && !choisi.isEmpty())
        filtres_.setProfil(QString());
}

void EcranCRM::rafraichir()
{
    sale_ = false;
    const model::Etat& etat = ctx_.store->etat();
    index_.mettreAJour(etat.contacts);
    echanges_.mettreAJour(etat);
    if (profil_->count() != etat.profilsClients.size() + 1)
        majListesFiltres();
    const QList<int> positions = index_.filtrer(filtres_.criteres(), aujourdhui(ctx_));
    bandeauRelances_->setVisible(filtres_.relances());
    aide_->setVisible(vue_ == Vue::pipeline && !etat.contacts.isEmpty());
    if (etat.contacts.isEmpty())
        pile_->setCurrentIndex(pageVide);
    else if (positions.isEmpty())
        pile_->setCurrentIndex(pageAucunResultat);
    else
        pile_->setCurrentIndex(vue_ == Vue::liste ? pageListe : pagePipeline);
    if (vue_ == Vue::liste)
        modele_->definir(positions);
    else
        tableau_->definir(positions);
    if (!filtres_.selection().isEmpty()) {
        QSet<QString> ids;
        ids.reserve(etat.contacts.size());
        for (const model::Contact& c : etat.contacts)
            ids.insert(c.id);
        filtres_.garderSelection(ids);
    }
}

void EcranCRM::majSelection()
{
    const qsizetype n = filtres_.selection().size();
    barreSelection_->setVisible(n > 0);
    texteSelection_->setText(n == 1 ? QStringLiteral("1 contact sélectionné") : QStringLiteral("%1 contacts sélectionnés").arg(n));
    exporter_->setToolTip(n > 0 ? QStringLiteral("Exporter : la sélection est proposée") : QStringLiteral("Exporter les contacts"));
}

void EcranCRM::changerEtape(const QString& id, const QString& etape)
{
    auto r = crm::changerEtape(*ctx_.store, id, etape);
    if (!r)
        ctx_.toasts->montrer(r.erreur(), ui::Toasts::Toast::Genre::erreur);
    else
        rafraichir();
}

void EcranCRM::ouvrirFormulaire(const QString& id)
{
    auto* f = new FormulaireContact(ctx_, id, this);
    f->setAttribute(Qt::WA_DeleteOnClose);
    f->open();
}

} // namespace vd::crm
