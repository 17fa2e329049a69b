#include "modelecontacts.h"

#include "crm/etapes.h"
#include "model/store.h"
#include "model/texte.h"

#include <QDate>
#include <QLocale>

namespace vd::crm {

QString montant(double v)
{
    QLocale fr(QLocale::French, QLocale::France);
    return fr.toString(qint64(std::llround(v))).replace(QLatin1Char(' '), QChar(0x202F)) + QStringLiteral("\u00A0€");
}

QString jourCourt(const QString& texte)
{
    if (texte.isEmpty())
        return {};
    QLocale fr(QLocale::French, QLocale::France);
    const QDate jour = QDate::fromString(texte.left(10), QStringLiteral("yyyy-MM-dd"));
    if (!jour.isValid())
        return texte;
    QString r = fr.toString(jour, jour.year() == QDate::currentDate().year() ? QStringLiteral("d MMMM") : QStringLiteral("d MMMM yyyy"));
    if (texte.size() > 10 && texte.at(10) == QLatin1Char('T')) {
        if (const auto t = model::lireHorodatage(texte))
            r += QStringLiteral(", ") + t->toLocalTime().toString(QStringLiteral("HH:mm"));
    }
    return r;
}

ModeleContacts::ModeleContacts(const model::Store& store, FiltresCRM& filtres, const DerniersEchanges& echanges, QObject* parent)
    : QAbstractTableModel(parent), store_(store), filtres_(filtres), echanges_(echanges)
{
    connect(&filtres_, &FiltresCRM::selectionChangee, this, [this] {
        if (!positions_.isEmpty())
            Q_EMIT dataChanged(index(0, colContact), index(int(positions_.size()) - 1, colContact), {Qt::CheckStateRole});
    });
}

void ModeleContacts::definir(QList<int> positions)
{
    beginResetModel();
    positions_ = std::move(positions);
    endResetModel();
}

QString ModeleContacts::idLigne(int ligne) const
{
    const auto& contacts = store_.etat().contacts;
    if (ligne < 0 || ligne >= positions_.size() || positions_[ligne] >= contacts.size())
        return {};
    return contacts.at(positions_[ligne]).id;
}

QVariant ModeleContacts::data(const QModelIndex& i, int role) const
{
    const auto& contacts = store_.etat().contacts;
    if (!i.isValid() || i.row() >= positions_.size() || positions_[i.row()] >= contacts.size())
        return {};
    const model::Contact& c = contacts.at(positions_[i.row()]);
    if (role == roleId)
        return c.id;
    if (role == roleEtape)
        return c.etape;
    if (role == Qt::CheckStateRole && i.column() == colContact)
        return filtres_.selection().contains(c.id) ? Qt::Checked : Qt::Unchecked;
    if (role == roleSecondaire && i.column() == colContact)
        return c.poste;
    if (role == Qt::ToolTipRole && i.column() == colContact)
        return QStringLiteral("Ouvrir la fiche de ") + c.nomComplet();
    if (role != Qt::DisplayRole)
        return {};
    switch (i.column()) {
    case colContact: {
        const QString n = (c.prenom + QLatin1Char(' ') + c.nom).trimmed();
        return n.isEmpty() ? c.societe : n;
    }
    case colSociete: return c.societe;
    case colEtape: {
        const EtapePipeline* e = etapePipeline(c.etape);
        return e ? e->libelle : c.etape;
    }
    case colValeur: return c.valeur > 0 ? montant(c.valeur) : QString();
    case colProchaine: {
        if (!c.prochaineAction || c.prochaineAction->texte.isEmpty())
            return QString();
        const QString jour = jourCourt(c.prochaineAction->echeance);
        return jour.isEmpty() ? c.prochaineAction->texte : c.prochaineAction->texte + QStringLiteral(" · ") + jour;
    }
    case colEchange: return jourCourt(echanges_.de(c.id));
    default: return {};
    }
}

bool ModeleContacts::setData(const QModelIndex& i, const QVariant& v, int role)
{
    if (role != Qt::CheckStateRole || i.column() != colContact)
        return false;
    const QString id = idLigne(i.row());
    if (id.isEmpty())
        return false;
    filtres_.basculerSelection(id, v.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags ModeleContacts::flags(const QModelIndex& i) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(i);
    if (i.column() == colContact)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant ModeleContacts::headerData(int section, Qt::Orientation o, int role) const
{
    if (o != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titres[] = {"Contact", "Société", "Étape", "Valeur", "Prochaine action", "Dernier échange"};
    return section >= 0 && section < nbColonnes ? QString::fromUtf8(titres[section]) : QVariant();
}

} // namespace vd::crm
