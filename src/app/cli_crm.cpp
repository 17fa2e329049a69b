// "vendalo importer" and "vendalo exporter": the CRM's contact import and export.
#include "cli.h"
#include "contextecommande.h"
#include "cli_commandes.h"
#include "crm/exportcrm.h"
#include "crm/importmodele.h"
#include "model/store.h"
#include "model/texte.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace vd::app {

namespace {

QJsonValue json(const model::Contact& c)
{
    QByteArray b;
    model::EcrivainJson e(b);
    model::ecrire(e, c);
    return QJsonDocument::fromJson(b).object();
}

QJsonArray notes(const QList<crm::NoteLigne>& l)
{
    QJsonArray a;
    for (const crm::NoteLigne& n : l)
        a.append(QJsonObject{{QStringLiteral("ligne"), n.numero}, {QStringLiteral("texte"), n.texte}});
    return a;
}

QJsonObject classeurJson(const crm::ClasseurImport& c)
{
    QJsonArray feuilles;
    for (const crm::FeuilleTableur& f : c.feuilles)
        feuilles.append(f.nom);
    return {{QStringLiteral("format"), c.format}, {QStringLiteral("separateur"), c.separateur}, {QStringLiteral("feuilles"), feuilles}};
}

int importer(model::Store& store, const QStringList& args)
{
    QString fichier;
    std::optional<int> feuille;
    crm::ModeDoublons mode = crm::ModeDoublons::completer;
    QList<std::pair<QString, QString>> imposees;
    bool simulation = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--feuille") && i + 1 < args.size()) {
            bool ok = false;
            feuille = args[++i].toInt(&ok);
            if (!ok || *feuille < 0)
                return erreur(QStringLiteral("--feuille attend un numéro à partir de 0."), 2);
        } else if (a == QLatin1String("--mode") && i + 1 < args.size()) {
            const auto m = crm::modeDepuis(args[++i]);
            if (!m)
                return erreur(QStringLiteral("--mode attend creer, completer, remplacer ou ignorer."), 2);
            mode = *m;
        } else if (a == QLatin1String("--colonne") && i + 1 < args.size()) {
            const QString v = args[++i];
            const qsizetype egal = v.lastIndexOf(QLatin1Char('='));
            if (egal < 0)
                return erreur(QStringLiteral("--colonne attend « TITRE=CHAMP »."), 2);
            imposees.append({v.left(egal), v.mid(egal + 1)});
        } else if (a == QLatin1String("--simulation"))
            simulation = true;
        else if (fichier.isEmpty() && !a.startsWith(QLatin1String("--")))
            fichier = a;
        else
            return erreur(QStringLiteral("Argument inconnu : « %1 »").arg(a), 2);
    }
    if (fichier.isEmpty())
        return erreur(QStringLiteral("Usage : vendalo importer FICHIER [--feuille N] [--mode creer|completer|remplacer|ignorer] "
                                     "[--colonne \"TITRE=CHAMP\"]... [--simulation]"),
                      2);

    if (store.ecritureBloquee() && !simulation)
        return erreur(store.erreurSauvegarde().value_or(QString()));
    const QDateTime maintenant = QDateTime::currentDateTimeUtc();
    crm::ImportCRMModele modele(store, crm::contexteImport(store.etat(), model::jourCalendaire(maintenant)));
    modele.ouvrir(cheminCommande(fichier));
    modele.attendre();
    if (modele.etape() == crm::ImportCRMModele::Etape::feuilles) {
        if (!feuille) {
            sortieJson(QJsonObject{{QStringLiteral("classeur"), classeurJson(*modele.classeur())}});
            return 2;
        }
        if (*feuille >= modele.classeur()->feuilles.size())
            return erreur(QStringLiteral("Ce classeur n'a que %1 feuilles (de 0 à %2).")
                              .arg(modele.classeur()->feuilles.size())
                              .arg(modele.classeur()->feuilles.size() - 1));
        modele.choisirFeuille(*feuille);
        modele.attendre();
    }
    if (modele.etape() == crm::ImportCRMModele::Etape::erreur)
        return erreur(modele.erreur());

    const QStringList& entetes = modele.tableau()->entetes;
    for (const auto& [titre, champ] : imposees) {
        const qsizetype col = entetes.indexOf(titre);
        if (col < 0)
            return erreur(QStringLiteral("Aucune colonne « %1 » dans ce fichier.").arg(titre), 2);
        const bool connu = champ.isEmpty() || std::any_of(modele.champs().cbegin(), modele.champs().cend(),
                                                          [&](const crm::ChampImport& c) { return c.id == champ; });
        if (!connu)
            return erreur(QStringLiteral("Champ inconnu : « %1 ».").arg(champ), 2);
        modele.changerColonne(int(col), champ);
    }
    modele.changerMode(mode);
    modele.attendre();
    if (auto refus = modele.allerAuResume())
        return erreur(*refus);

    const crm::PlanImport plan = *modele.plan();
    QJsonArray colonnes;
    for (qsizetype i = 0; i < entetes.size(); ++i)
        colonnes.append(QJsonObject{{QStringLiteral("titre"), entetes[i]}, {QStringLiteral("champ"), modele.correspondances().value(i)}});
    QJsonObject etapes;
    for (auto it = modele.etapesChoisies().cbegin(); it != modele.etapesChoisies().cend(); ++it)
        etapes.insert(it.key(), it.value());
    QJsonArray contacts;
    for (const model::Contact& c : plan.nouveaux)
        contacts.append(json(c));
    for (const crm::MajImport& m : plan.majs)
        contacts.append(json(m.apres));
    if (!simulation) {
        modele.importer(model::horodatage(maintenant));
        store.sauvegarder(true);
        if (auto e = store.erreurSauvegarde())
            return erreur(*e);
    }
    sortieJson(QJsonObject{{QStringLiteral("classeur"), classeurJson(*modele.classeur())},
                           {QStringLiteral("feuille"), modele.feuille()},
                           {QStringLiteral("colonnes"), colonnes},
                           {QStringLiteral("etapes"), etapes},
                           {QStringLiteral("lignesVides"), plan.lignesVides},
                           {QStringLiteral("nouveaux"), plan.nouveaux.size()},
                           {QStringLiteral("misAJour"), plan.majs.size()},
                           {QStringLiteral("erreurs"), notes(plan.erreurs)},
                           {QStringLiteral("ignores"), notes(plan.ignores)},
                           {QStringLiteral("avertissements"), notes(plan.avertissements)},
                           {QStringLiteral("contacts"), contacts}});
    return 0;
}

int exporter(model::Store& store, const QStringList& args)
{
    QString fichier, format;
    std::optional<QStringList> selection;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--format") && i + 1 < args.size()) {
            format = args[++i];
            if (format != QLatin1String("csv") && format != QLatin1String("xlsx"))
                return erreur(QStringLiteral("--format attend csv ou xlsx."), 2);
        } else if (a == QLatin1String("--selection") && i + 1 < args.size())
            selection = args[++i].split(QLatin1Char(','), Qt::SkipEmptyParts);
        else if (fichier.isEmpty() && (a == QLatin1String("-") || !a.startsWith(QLatin1String("--"))))
            fichier = a;
        else
            return erreur(QStringLiteral("Argument inconnu : « %1 »").arg(a), 2);
    }
    if (fichier.isEmpty())
        return erreur(QStringLiteral("Usage : vendalo exporter FICHIER [--format csv|xlsx] [--selection ID,ID…]"), 2);
    if (format.isEmpty())
        format = QFileInfo(fichier).suffix().toLower() == QLatin1String("xlsx") ? QStringLiteral("xlsx") : QStringLiteral("csv");
    if (fichier == QLatin1String("-") && format == QLatin1String("xlsx"))
        return erreur(QStringLiteral("La sortie standard reçoit seulement du CSV."), 2);

    const model::Etat& etat = store.etat();
    QList<model::Contact> contacts;
    if (selection) {
        for (const QString& id : *selection) {
            const model::Contact* c = etat.contact(id);
            if (!c)
                return erreur(QStringLiteral("Aucun contact « %1 ».").arg(id), 2);
            contacts.append(*c);
        }
    } else
        contacts = etat.contacts;
    const QDateTime maintenant = QDateTime::currentDateTimeUtc();
    if (fichier == QLatin1String("-")) {
        const QByteArray b = crm::ExportCRM::csv(crm::ExportCRM::table(contacts, etat, crm::grilleDe(etat.frameworks)), u';');
        std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
        std::fflush(stdout);
        return 0;
    }
    if (auto r = crm::ExportCRM::exporter(cheminCommande(fichier), contacts, etat, format, u';', maintenant); !r)
        return erreur(r.erreur());
    sortieJson(QJsonObject{{QStringLiteral("fichier"), fichier}, {QStringLiteral("format"), format}, {QStringLiteral("contacts"), contacts.size()}});
    return 0;
}

} // namespace

// A trial import only reads; a real one goes through the folder's single writer.
int commandeImporter(const QStringList& args)
{
    if (args.contains(QStringLiteral("--simulation")))
        return executerEnLecture([&](model::Store& store) { return importer(store, args); });
    return executerEnEcriture(QStringLiteral("importer"), args, [&](model::Store& store) { return importer(store, args); });
}

int commandeExporter(const QStringList& args)
{
    return executerEnLecture([&](model::Store& store) { return exporter(store, args); });
}

} // namespace vd::app
