#include "tableaupipeline.h"

#include "deleguecarte.h"
#include "modelecontacts.h"
#include "crm/etapes.h"
#include "crm/filtres.h"
#include "model/store.h"
#include "ui/ecrans/libelles.h"
#include "ui/ecrans/style.h"

#include <QDrag>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollArea>

namespace vd::crm {

ModeleColonne::ModeleColonne(const model::Store& store, const DerniersEchanges& echanges, QString etape, QObject* parent)
    : QAbstractListModel(parent), store_(store), echanges_(echanges), etape_(std::move(etape))
{
}

void ModeleColonne::definir(QList<int> positions)
{
    if (positions == positions_)
        return;
    beginResetModel();
    positions_ = std::move(positions);
    endResetModel();
}

QString ModeleColonne::idLigne(int ligne) const
{
    const auto& contacts = store_.etat().contacts;
    if (ligne < 0 || ligne >= positions_.size() || positions_[ligne] >= contacts.size())
        return {};
    return contacts.at(positions_[ligne]).id;
}

QVariant ModeleColonne::data(const QModelIndex& i, int role) const
{
    const auto& contacts = store_.etat().contacts;
    if (!i.isValid() || i.row() >= positions_.size() || positions_[i.row()] >= contacts.size())
        return {};
    const model::Contact& c = contacts.at(positions_[i.row()]);
    switch (role) {
    case roleId: return c.id;
    case Qt::DisplayRole: return c.nomComplet();
    case roleCarteSociete: return (c.prenom + c.nom).trimmed().isEmpty() ? c.poste : c.societe;
    case roleCarteValeur: return c.valeur > 0 ? montant(c.valeur) : QString();
    case roleCarteEchange: {
        const QString d = echanges_.de(c.id);
        return d.isEmpty() ? QStringLiteral("Aucun échange") : jourCourt(d);
    }
    case roleCarteAction: {
        if (!c.prochaineAction || c.prochaineAction->texte.isEmpty())
            return QStringLiteral("À définir");
        const QString jour = jourCourt(c.prochaineAction->echeance);
        return jour.isEmpty() ? c.prochaineAction->texte : c.prochaineAction->texte + QStringLiteral(" · ") + jour;
    }
    case Qt::ToolTipRole: return QStringLiteral("Ouvrir la fiche de ") + c.nomComplet();
    default: return {};
    }
}

Qt::ItemFlags ModeleColonne::flags(const QModelIndex& i) const
{
    if (!i.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QMimeData* ModeleColonne::mimeData(const QModelIndexList& indexes) const
{
    if (indexes.isEmpty())
        return nullptr;
    auto* d = new QMimeData;
    d->setData(typeMimeContact(), idLigne(indexes.first().row()).toUtf8());
    return d;
}

bool ModeleColonne::canDropMimeData(const QMimeData* d, Qt::DropAction, int, int, const QModelIndex&) const
{
    return d && d->hasFormat(typeMimeContact());
}

bool ModeleColonne::dropMimeData(const QMimeData* d, Qt::DropAction a, int, int, const QModelIndex&)
{
    if (a == Qt::IgnoreAction || !canDropMimeData(d, a, -1, -1, {}))
        return false;
    const QString id = QString::fromUtf8(d->data(typeMimeContact()));
    const model::Contact* c = store_.etat().contact(id);
    if (!c || c->etape == etape_)
        return false;
    Q_EMIT depose(id, etape_);
    // The board redraws from the store; the view must not remove the source row itself.
    return false;
}

void VueColonne::paintEvent(QPaintEvent* e)
{
    QListView::paintEvent(e);
    if (model() && model()->rowCount() == 0) {
        QPainter p(viewport());
        QRect r = viewport()->rect().adjusted(6, 6, -6, -6);
        r.setHeight(std::min(r.height(), 72));
        QPen pen(ui::style::couleur::filet, 1.5, Qt::DashLine);
        p.setPen(pen);
        p.setRenderHint(QPainter::Antialiasing);
        p.drawRoundedRect(r, 8, 8);
        p.setPen(ui::style::couleur::texteSecondaire);
        p.drawText(r, Qt::AlignCenter, QStringLiteral("Glissez un contact ici"));
    }
}

void VueColonne::startDrag(Qt::DropActions actions)
{
    // Qt's default would delete the source row after a move; the store decides instead.
    const QModelIndexList l = selectedIndexes();
    if (l.isEmpty())
        return;
    QMimeData* d = model()->mimeData(l);
    if (!d)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(d);
    const QRect r = visualRect(l.first());
    QPixmap image(r.size());
    image.fill(Qt::transparent);
    viewport()->render(&image, QPoint(), QRegion(r));
    drag->setPixmap(image);
    drag->setHotSpot(QPoint(r.width() / 2, 20));
    drag->exec(actions, Qt::MoveAction);
}

TableauPipeline::TableauPipeline(model::Store& store, const DerniersEchanges& echanges, QWidget* parent)
    : QWidget(parent), store_(store), echanges_(echanges)
{
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    auto* defil = new QScrollArea(this);
    defil->setObjectName(QStringLiteral("pipeline"));
    defil->setWidgetResizable(true);
    defil->setFrameShape(QFrame::NoFrame);
    defil->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* interieur = new QWidget(defil);
    auto* rangee = new QHBoxLayout(interieur);
    rangee->setContentsMargins(0, 0, 0, 0);
    rangee->setSpacing(12);
    auto* delegue = new DelegueCarte(this);
    for (const EtapePipeline& e : etapesPipeline()) {
        auto* col = ui::style::carte(QStringLiteral("carteGrise"), interieur);
        col->setObjectName(QStringLiteral("colonne_") + e.id);
        col->setFixedWidth(232);
        auto* cl = new QVBoxLayout(col);
        cl->setContentsMargins(8, 10, 8, 8);
        cl->setSpacing(6);
        auto* entete = new QHBoxLayout;
        entete->setContentsMargins(4, 0, 4, 0);
        if (e.id == etapeSommeil()) {
            auto* t = ui::style::etiquette(QStringLiteral("Hors pipeline · sans réponse aux relances"), QStringLiteral("legende"), col);
            t->setWordWrap(true);
            auto* v = new QVBoxLayout;
            v->setSpacing(4);
            v->addWidget(ui::libelles::puceEtape(e.id, col), 0, Qt::AlignLeft);
            v->addWidget(t);
            entete->addLayout(v, 1);
        } else {
            entete->addWidget(ui::libelles::puceEtape(e.id, col));
            entete->addStretch(1);
        }
        auto* total = ui::style::etiquette(QString(), QStringLiteral("legende"), col);
        total->setObjectName(QStringLiteral("total"));
        entete->addWidget(total, 0, Qt::AlignTop);
        cl->addLayout(entete);
        auto* modele = new ModeleColonne(store_, echanges_, e.id, this);
        auto* vue = new VueColonne(col);
        vue->setObjectName(QStringLiteral("vue_") + e.id);
        vue->setModel(modele);
        vue->setItemDelegate(delegue);
        vue->setUniformItemSizes(true);
        vue->setSpacing(3);
        vue->setFrameShape(QFrame::NoFrame);
        vue->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        vue->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
        vue->setSelectionMode(QAbstractItemView::SingleSelection);
        vue->setDragEnabled(true);
        vue->setAcceptDrops(true);
        vue->setDropIndicatorShown(false);
        vue->setDragDropMode(QAbstractItemView::DragDrop);
        vue->setDefaultDropAction(Qt::MoveAction);
        vue->setContextMenuPolicy(Qt::CustomContextMenu);
        vue->setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
        cl->addWidget(vue, 1);
        connect(modele, &ModeleColonne::depose, this, &TableauPipeline::changerEtape);
        connect(vue, &QListView::activated, this, [this, modele](const QModelIndex& i) { Q_EMIT ouvrirContact(modele->idLigne(i.row())); });
        connect(vue, &QListView::doubleClicked, this, [this, modele](const QModelIndex& i) { Q_EMIT ouvrirContact(modele->idLigne(i.row())); });
        connect(vue, &QWidget::customContextMenuRequested, this, [this, vue, modele](const QPoint& p) {
            const QModelIndex i = vue->indexAt(p);
            if (!i.isValid())
                return;
            QMenu* m = menuCarte(modele->idLigne(i.row()), vue);
            m->setAttribute(Qt::WA_DeleteOnClose);
            m->popup(vue->viewport()->mapToGlobal(p));
        });
        modeles_.append(modele);
        vues_.append(vue);
        totaux_.append(total);
        rangee->addWidget(col);
    }
    rangee->addStretch(1);
    defil->setWidget(interieur);
    l->addWidget(defil);
}

QMenu* TableauPipeline::menuCarte(const QString& contactId, QWidget* parent)
{
    auto* m = new QMenu(parent);
    const model::Contact* c = store_.etat().contact(contactId);
    if (!c)
        return m;
    const QString nom = c->nomComplet();
    m->addAction(QStringLiteral("Ouvrir la fiche de ") + nom, this, [this, contactId] { Q_EMIT ouvrirContact(contactId); });
    QMenu* etapes = m->addMenu(QStringLiteral("Changer l'étape de ") + nom);
    etapes->setObjectName(QStringLiteral("changerEtape"));
    for (const EtapePipeline& e : etapesPipeline()) {
        QAction* a = etapes->addAction(e.libelle, this, [this, contactId, id = e.id] { Q_EMIT changerEtape(contactId, id); });
        a->setData(e.id);
        a->setCheckable(true);
        a->setChecked(e.id == c->etape);
        a->setEnabled(e.id != c->etape);
    }
    return m;
}

void TableauPipeline::definir(const QList<int>& positions)
{
    const auto& contacts = store_.etat().contacts;
    QList<QList<int>> parColonne(modeles_.size());
    QHash<QString, int> colonneDe;
    for (int k = 0; k < modeles_.size(); ++k)
        colonneDe.insert(modeles_[k]->etape(), k);
    for (int p : positions) {
        const int k = colonneDe.value(contacts.at(p).etape, 0);   // an unknown stage shows as the first
        parColonne[k].append(p);
    }
    for (int k = 0; k < modeles_.size(); ++k) {
        modeles_[k]->definir(std::move(parColonne[k]));
        majEntete(k);
    }
}

void TableauPipeline::majEntete(int k)
{
    const auto& contacts = store_.etat().contacts;
    double somme = 0;
    for (int p : modeles_[k]->positions())
        somme += contacts.at(p).valeur;
    const int n = int(modeles_[k]->positions().size());
    totaux_[k]->setText(somme > 0 ? QStringLiteral("%1 · %2").arg(n).arg(montant(somme)) : QString::number(n));
}

ModeleColonne* TableauPipeline::colonne(const QString& etape) const
{
    for (ModeleColonne* m : modeles_)
        if (m->etape() == etape)
            return m;
    return nullptr;
}

VueColonne* TableauPipeline::vue(const QString& etape) const
{
    for (int k = 0; k < modeles_.size(); ++k)
        if (modeles_[k]->etape() == etape)
            return vues_[k];
    return nullptr;
}

} // namespace vd::crm
