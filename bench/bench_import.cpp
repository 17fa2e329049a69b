// Contact import and export at the import's limit: a 20,000-row CSV and a
// 20,000-row workbook read and planned against 10,000 contacts, and the
// export of 20,000 contacts. Prints the times and the peak memory.
#include "crm/exportcrm.h"
#include "crm/importcrm.h"
#include "crm/tableur.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <sys/resource.h>

using namespace vd;

namespace {

long rssMaxMo()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

QList<model::Contact> contacts(int n, int decalage)
{
    QList<model::Contact> l;
    l.reserve(n);
    for (int i = 0; i < n; ++i) {
        model::Contact c;
        c.id = QStringLiteral("c_%1").arg(i + decalage);
        c.prenom = QStringLiteral("Prénom%1").arg(i + decalage);
        c.nom = QStringLiteral("Nom%1").arg(i + decalage);
        c.email = QStringLiteral("contact%1@exemple.fr").arg(i + decalage);
        c.societe = QStringLiteral("Société %1").arg((i + decalage) % 700);
        c.tel = QStringLiteral("+33 6 12 34 %1").arg(i % 10000, 4, 10, QLatin1Char('0'));
        c.etape = i % 3 ? QStringLiteral("decouverte") : QStringLiteral("proposition");
        c.valeur = 1000 + i;
        c.probabilite = 20;
        c.notes = QStringLiteral("Rencontré au salon, rappeler après le 15 ; intéressé par l'offre « équipe ».");
        c.tags = {QStringLiteral("salon")};
        c.creeLe = c.majLe = QStringLiteral("2026-10-01T08:00:00.000Z");
        l.append(c);
    }
    return l;
}

crm::ContexteImport contexte(const QList<model::Contact>& existants)
{
    crm::ContexteImport c;
    for (const char* id : {"nouveau", "contacte", "decouverte", "demo", "proposition", "negociation", "gagne", "perdu", "sommeil"})
        c.etapes.append({QString::fromLatin1(id), QString::fromLatin1(id)});
    c.grille = crm::grilleDe({});
    c.existants = existants;
    c.aujourdhui = QStringLiteral("2026-12-07");
    return c;
}

// Read, table, proposal and plan: what the user waits for before the summary.
double lireEtPlanifier(const QByteArray& fichier, const QString& ext, const crm::ContexteImport& ctx, int* lignes)
{
    QElapsedTimer t;
    t.start();
    auto cl = crm::lireDonnees(fichier, ext);
    auto f = crm::lireFeuille(cl.valeur(), 0);
    const double lecture = double(t.nsecsElapsed()) / 1e6;
    auto tab = crm::construireTableau(f.valeur());
    crm::RegleLecture r;
    r.correspondances = crm::proposerColonnes(tab.valeur(), ctx.grille);
    r.etapesChoisies = crm::proposerEtapes(tab.valeur(), r.correspondances, ctx.etapes);
    const auto plan = crm::calculerPlan(tab.valeur(), r, crm::ModeDoublons::completer, ctx);
    *lignes = int(plan->nouveaux.size() + plan->majs.size() + plan->ignores.size());
    std::printf("  (%s : lecture %.0f ms, table et plan %.0f ms)\n", qPrintable(ext), lecture, double(t.nsecsElapsed()) / 1e6 - lecture);
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const long depart = rssMaxMo();
    const QList<model::Contact> existants = contacts(10000, 0);
    // Half the file matches the CRM, half is new.
    const QList<model::Contact> fichier = contacts(20000, 5000);
    model::Etat etat;
    etat.contacts = fichier;
    const crm::ContexteImport ctx = contexte(existants);

    QElapsedTimer t;
    t.start();
    const QByteArray csv = crm::ExportCRM::csv(crm::ExportCRM::table(fichier, etat, crm::grilleDe({})), u';');
    const double exportCsv = double(t.nsecsElapsed()) / 1e6;
    t.restart();
    const QByteArray xlsx = crm::ExportCRM::xlsx(crm::ExportCRM::table(fichier, etat, crm::grilleDe({})), QDateTime::currentDateTimeUtc());
    const double exportXlsx = double(t.nsecsElapsed()) / 1e6;

    int lignesCsv = 0, lignesXlsx = 0;
    const double importCsv = lireEtPlanifier(csv, QStringLiteral("csv"), ctx, &lignesCsv);
    const long apresCsv = rssMaxMo();
    const double importXlsx = lireEtPlanifier(xlsx, QStringLiteral("xlsx"), ctx, &lignesXlsx);

    std::printf("export CSV 20 000 contacts     : %.0f ms (%.1f Mo)\n", exportCsv, csv.size() / 1048576.0);
    std::printf("export XLSX 20 000 contacts    : %.0f ms (%.1f Mo)\n", exportXlsx, xlsx.size() / 1048576.0);
    std::printf("import CSV 20 000 lignes       : %.0f ms (%d lignes planifiées, 10 000 contacts existants)\n", importCsv, lignesCsv);
    std::printf("import XLSX 20 000 lignes      : %.0f ms (%d lignes planifiées)\n", importXlsx, lignesXlsx);
    std::printf("mémoire maximale               : %ld Mo (départ %ld Mo, après le CSV %ld Mo)\n", rssMaxMo(), depart, apresCsv);
    return 0;
}
