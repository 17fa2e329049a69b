#include "exportcrm.h"

#include "model/store.h"
#include "model/texte.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QJsonObject>

namespace vd::crm {

namespace {

QString libelleEtape(const QString& id)
{
    static const QHash<QString, QString> libelles = {
        {QStringLiteral("nouveau"), QStringLiteral("Nouveau")},       {QStringLiteral("contacte"), QStringLiteral("Contacté")},
        {QStringLiteral("decouverte"), QStringLiteral("Découverte")}, {QStringLiteral("demo"), QStringLiteral("Démo")},
        {QStringLiteral("proposition"), QStringLiteral("Proposition")}, {QStringLiteral("negociation"), QStringLiteral("Négociation")},
        {QStringLiteral("gagne"), QStringLiteral("Gagné")},           {QStringLiteral("perdu"), QStringLiteral("Perdu")},
        {QStringLiteral("sommeil"), QStringLiteral("En sommeil")}};
    return libelles.value(id, id);
}

QString jourDe(const QString& horodatage)
{
    if (horodatage.isEmpty())
        return {};
    if (auto t = model::lireHorodatage(horodatage))
        return model::jourCalendaire(*t);
    return horodatage.left(10);
}

QString nombreTexte(double v)
{
    if (v == std::trunc(v) && std::fabs(v) < 1e15)
        return QString::number(qint64(v));
    return QString::number(v, 'g', 15);
}

QString valeurQualification(const model::Contact& c, const QString& item)
{
    if (!c.qualification)
        return {};
    for (const model::JSONValeur& v : *c.qualification) {
        const QJsonObject o = v.qt().toObject();
        if (o.value(QStringLiteral("item")).toString() == item)
            return o.value(QStringLiteral("valeur")).toString();
    }
    return {};
}

// The row reader knows the day only; the outcome is stamped when written.
void horodaterIssue(model::Contact& c, const QString& maintenant)
{
    if (c.issueLe && c.issueLe->size() == 10)
        c.issueLe = maintenant;
}

struct StatsAppels {
    QString dernier;
    int nombre = 0;
    qint64 somme = 0;
};

} // namespace

QStringList ExportCRM::colonnes(const QList<ItemQualification>& grille)
{
    QStringList c = {QStringLiteral("Prénom"), QStringLiteral("Nom"), QStringLiteral("Email"), QStringLiteral("Téléphone"),
                     QStringLiteral("Société"), QStringLiteral("Poste"), QStringLiteral("LinkedIn"), QStringLiteral("Source"),
                     QStringLiteral("Profil client"), QStringLiteral("Étape"), QStringLiteral("Issue"), QStringLiteral("Raison de perte"),
                     QStringLiteral("Date de l'issue"), QStringLiteral("Valeur (€)"), QStringLiteral("Probabilité (%)")};
    for (const ItemQualification& it : grille)
        c << it.nom;
    c << QStringLiteral("Prochaine action") << QStringLiteral("Échéance prochaine action") << QStringLiteral("Dernier appel")
      << QStringLiteral("Nombre d'appels") << QStringLiteral("Score moyen") << QStringLiteral("Tags") << QStringLiteral("Notes")
      << QStringLiteral("Créé le") << QStringLiteral("Mis à jour le");
    return c;
}

TableExport ExportCRM::table(const QList<model::Contact>& contacts, const model::Etat& etat, const QList<ItemQualification>& grille)
{
    // One pass over the calls, whatever the number of contacts.
    QHash<QString, StatsAppels> stats;
    for (const model::Appel& a : etat.appels) {
        if (!a.contactId || !a.analyse)
            continue;
        StatsAppels& s = stats[*a.contactId];
        ++s.nombre;
        s.somme += std::clamp<qint64>(a.analyse->score, 0, 100);
        if (a.debut > s.dernier)
            s.dernier = a.debut;
    }
    QHash<QString, QString> profils;
    for (const model::ProfilClient& p : etat.profilsClients)
        profils.insert(p.id, p.nom);

    TableExport t;
    t.titres = colonnes(grille);
    t.lignes.reserve(contacts.size());
    using C = CelluleExport;
    for (const model::Contact& c : contacts) {
        const bool gagne = c.etape == QLatin1String("gagne"), perdu = c.etape == QLatin1String("perdu");
        QList<C> l;
        l.reserve(t.titres.size());
        l << C::deTexte(c.prenom) << C::deTexte(c.nom) << C::deTexte(c.email) << C::deTexte(c.tel) << C::deTexte(c.societe)
          << C::deTexte(c.poste) << C::deTexte(c.linkedin) << C::deTexte(c.source) << C::deTexte(profils.value(c.profilClientId))
          << C::deTexte(libelleEtape(c.etape))
          << C::deTexte(gagne ? QStringLiteral("Gagné") : perdu ? QStringLiteral("Perdu") : QStringLiteral("En cours"))
          << C::deTexte(c.raisonPerte.value_or(QString())) << ((gagne || perdu) ? C::deDate(jourDe(c.issueLe.value_or(QString()))) : C::vide())
          << (c.valeur != 0 ? C::deNombre(c.valeur) : C::vide()) << C::deNombre(c.probabilite);
        for (const ItemQualification& it : grille) {
            QString v = valeurQualification(c, it.id);
            if (v.isEmpty() && it.champ == QLatin1String("budget"))
                v = c.champs.budget;
            else if (v.isEmpty() && it.champ == QLatin1String("decideur"))
                v = c.champs.decideur;
            else if (v.isEmpty() && it.champ == QLatin1String("echeance"))
                v = c.champs.echeance;
            else if (v.isEmpty() && it.champ == QLatin1String("douleur"))
                v = c.champs.douleur;
            l << C::deTexte(v);
        }
        const StatsAppels s = stats.value(c.id);
        l << C::deTexte(c.prochaineAction ? c.prochaineAction->texte : QString())
          << C::deDate(c.prochaineAction ? c.prochaineAction->echeance : QString()) << C::deDate(jourDe(s.dernier))
          << C::deNombre(s.nombre) << (s.nombre ? C::deNombre(std::round(double(s.somme) / s.nombre * 10) / 10) : C::vide())
          << C::deTexte(c.tags.join(QStringLiteral(", "))) << C::deTexte(c.notes) << C::deDate(jourDe(c.creeLe))
          << C::deDate(jourDe(c.majLe));
        t.lignes.append(std::move(l));
    }
    return t;
}

QString ExportCRM::protegerFormule(const QString& texte)
{
    if (texte.isEmpty())
        return texte;
    const QChar c = texte[0];
    if (c != u'=' && c != u'+' && c != u'-' && c != u'@' && c != u'\t' && c != u'\r')
        return texte;
    // Plain numbers and telephone numbers stay as they are.
    static const QRegularExpression nombre(QStringLiteral("^[+-]?\\d+([.,]\\d+)?$"));
    static const QRegularExpression telephone(QStringLiteral("^\\+?[\\d .()/-]{6,}$"));
    if (nombre.match(texte).hasMatch() || (telephone.match(texte).hasMatch() && !texte.startsWith(u'-')))
        return texte;
    return QLatin1Char('\'') + texte;
}

QByteArray ExportCRM::csv(const TableExport& t, QChar sep)
{
    QString sortie;
    sortie.reserve(t.lignes.size() * 160 + 512);
    auto champ = [&](const QString& v) {
        const QString p = protegerFormule(v);
        if (p.contains(sep) || p.contains(u'"') || p.contains(u'\n') || p.contains(u'\r')) {
            sortie += u'"';
            sortie += QString(p).replace(QStringLiteral("\""), QStringLiteral("\"\""));
            sortie += u'"';
        } else
            sortie += p;
    };
    for (qsizetype i = 0; i < t.titres.size(); ++i) {
        if (i)
            sortie += sep;
        champ(t.titres[i]);
    }
    sortie += QStringLiteral("\r\n");
    for (const auto& l : t.lignes) {
        for (qsizetype i = 0; i < l.size(); ++i) {
            if (i)
                sortie += sep;
            const CelluleExport& c = l[i];
            if (c.genre == CelluleExport::Genre::nombre) {
                QString n = nombreTexte(c.nombre);
                // A French spreadsheet reads "12,5" with the semicolon layout.
                if (sep == u';')
                    n.replace(u'.', u',');
                champ(n);
            } else
                champ(c.texte);
        }
        sortie += QStringLiteral("\r\n");
    }
    // With its BOM, Excel reads the accents as UTF-8.
    return QByteArray("\xEF\xBB\xBF") + sortie.toUtf8();
}

QString ExportCRM::nomFichier(const QDate& jour, const QString& format)
{
    return QStringLiteral("Vendalo CRM ") + jour.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('.') + format;
}

ResultatVide<QString> ExportCRM::exporter(const QString& chemin, const QList<model::Contact>& contacts, const model::Etat& etat,
                                          const QString& format, QChar separateur, const QDateTime& maintenant)
{
    const TableExport t = table(contacts, etat, grilleDe(etat.frameworks));
    const QByteArray donnees = format == QLatin1String("xlsx") ? xlsx(t, maintenant) : csv(t, separateur);
    QSaveFile f(chemin);
    if (!f.open(QIODevice::WriteOnly))
        return echec(QStringLiteral("Export impossible : ") + f.errorString());
    if (f.write(donnees) != donnees.size()) {
        const QString raison = f.errorString();
        f.cancelWriting();
        return echec(QStringLiteral("Export impossible : ") + raison);
    }
    if (!f.commit())
        return echec(QStringLiteral("Export impossible : ") + f.errorString());
    return Rien{};
}

ExportCRM::ResultatImport ExportCRM::appliquer(model::Store& store, const PlanImport& plan, const QString& maintenant)
{
    ResultatImport r;
    store.modifier([&](model::Etat& e) {
        for (model::Contact c : plan.nouveaux) {
            c.creeLe = c.majLe = maintenant;
            horodaterIssue(c, maintenant);
            r.crees << c.id;
            r.ecrits << c;
            e.contacts.append(std::move(c));
        }
        // The fields the import fills, on the record as it is now (it may have changed since the plan).
        for (const MajImport& m : plan.majs) {
            model::Contact* courant = e.contact(m.avant.id);
            if (!courant)
                continue;
            r.avant << *courant;
            for (const QString& champ : m.champs)
                copierChamp(*courant, m.apres, champ);
            horodaterIssue(*courant, maintenant);
            courant->majLe = maintenant;
            r.ecrits << *courant;
        }
    });
    return r;
}

ExportCRM::BilanAnnulation ExportCRM::annuler(model::Store& store, const ResultatImport& r, const QString& maintenant)
{
    BilanAnnulation b;
    QHash<QString, model::Contact> ecrits;
    for (const model::Contact& c : r.ecrits)
        ecrits.insert(c.id, c);
    store.modifier([&](model::Etat& e) {
        const QSet<QString> crees(r.crees.cbegin(), r.crees.cend());
        for (qsizetype i = e.contacts.size() - 1; i >= 0; --i) {
            const model::Contact& c = e.contacts[i];
            if (!crees.contains(c.id))
                continue;
            if (c == ecrits.value(c.id)) {
                e.contacts.removeAt(i);
                ++b.annules;
            } else
                ++b.gardes;
        }
        for (const model::Contact& avant : r.avant) {
            model::Contact* courant = e.contact(avant.id);
            if (!courant)
                continue;
            if (*courant == ecrits.value(avant.id)) {
                *courant = avant;
                courant->majLe = maintenant;
                ++b.annules;
            } else
                ++b.gardes;
        }
    });
    return b;
}

} // namespace vd::crm
