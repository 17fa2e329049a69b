// Export to CSV and workbook, read back by the import and by a spreadsheet
// library; writing an import plan and undoing it.
#include "crm/exportcrm.h"
#include "crm/xlsx.h"
#include "model/store.h"
#include "commun_crm.h"

#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace vd::crm;
using vd::model::Contact;
using vd::model::Etat;

namespace {

const QString maintenant = QStringLiteral("2026-12-07T09:00:00.000Z");

Etat etatEssai()
{
    Etat e;
    e.contacts = {{.id = "c1", .prenom = "Léa", .nom = "Durand-Hérault", .societe = "=HYPERLINK(\"x\")", .email = "lea@acme.fr",
                   .tel = "+33 6 12 34 56 78", .etape = "proposition", .valeur = 12500.5, .probabilite = 55, .tags = {"salon", "chaud"},
                   .notes = "Ligne 1\nLigne 2 ; « guillemets » \"doubles\"\x01",
                   .prochaineAction = vd::model::ProchaineAction{"Envoyer le devis", "2027-01-15"},
                   .creeLe = "2026-10-01T08:00:00.000Z", .majLe = "2026-11-02T08:00:00.000Z",
                   .qualification = QList<vd::model::JSONValeur>{vd::model::JSONValeur(QJsonObject{
                       {"item", "budget"}, {"nom", "Budget"}, {"valeur", "20 k€"}, {"date", "2026-11-01"}, {"source", "appel"}})}},
                  {.id = "c2", .societe = "Beta Industrie", .etape = "gagne", .probabilite = 100, .issueLe = "2026-11-20T10:00:00.000Z"},
                  {.id = "c3", .prenom = "Paul", .nom = "Morel", .societe = "Gamma", .etape = "perdu", .raisonPerte = "-20 % demandé"}};
    e.appels = {{.id = "a1", .contactId = "c1", .debut = "2026-11-02T08:00:00.000Z", .analyse = vd::model::Analyse{}}};
    e.appels[0].analyse->score = 70;
    return e;
}

ContexteImport contexteDe(const Etat& e)
{
    ContexteImport c;
    for (const char* id : {"nouveau", "contacte", "decouverte", "demo", "proposition", "negociation", "gagne", "perdu", "sommeil"})
        c.etapes.append({QString::fromLatin1(id), QString::fromLatin1(id)});
    c.etapes[4].libelle = QStringLiteral("Proposition");
    c.grille = grilleDe(e.frameworks);
    c.existants = e.contacts;
    c.aujourdhui = QStringLiteral("2026-12-07");
    return c;
}

std::optional<PlanImport> planDepuis(const QByteArray& fichier, const QString& ext, const ContexteImport& ctx, ModeDoublons mode)
{
    auto cl = lireDonnees(fichier, ext);
    if (!cl)
        return std::nullopt;
    auto f = lireFeuille(cl.valeur(), 0);
    if (!f)
        return std::nullopt;
    auto t = construireTableau(f.valeur());
    if (!t)
        return std::nullopt;
    RegleLecture r;
    r.correspondances = proposerColonnes(t.valeur(), ctx.grille);
    r.etapesChoisies = proposerEtapes(t.valeur(), r.correspondances, ctx.etapes);
    return calculerPlan(t.valeur(), r, mode, ctx);
}

} // namespace

class TstExportCRM : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void colonnes()
    {
        QCOMPARE(ExportCRM::colonnes({}).size(), 24);
        const QStringList c = ExportCRM::colonnes(grilleDe({}));
        QCOMPARE(c.size(), 28);
        QCOMPARE(c[15] + '|' + c.last(), QStringLiteral("Douleur|Mis à jour le"));
        QCOMPARE(ExportCRM::nomFichier(QDate(2026, 12, 7), "xlsx"), QStringLiteral("Vendalo CRM 2026-12-07.xlsx"));
    }

    void valeurs()
    {
        const Etat e = etatEssai();
        const TableExport t = ExportCRM::table(e.contacts, e, grilleDe({}));
        // Each cell as kind:value ("-" when empty): stage, outcome, outcome date, value, budget, next action, last call,
        // number of calls, last score, tags.
        const auto cellules = [&t](int ligne) {
            QStringList l;
            for (int c : {9, 10, 12, 13, 16, 20, 21, 22, 23, 24}) {
                const CelluleExport& x = t.lignes[ligne][c];
                l << (x.genre == CelluleExport::Genre::vide     ? QStringLiteral("-")
                          : x.genre == CelluleExport::Genre::nombre ? "n:" + QString::number(x.nombre)
                                                                    : (x.genre == CelluleExport::Genre::date ? "d:" : "t:") + x.texte);
            }
            return l.join(u' ');
        };
        QCOMPARE(cellules(0), QStringLiteral("t:Proposition t:En cours - n:12500.5 t:20 k€ d:2027-01-15 d:2026-11-02 n:1 n:70 t:salon, chaud"));
        QCOMPARE(cellules(1), QStringLiteral("t:Gagné t:Gagné d:2026-11-20 - - - - n:0 - -"));
        QCOMPARE(t.lignes[2][10].texte, QStringLiteral("Perdu"));
    }

    void formules()
    {
        // A text a spreadsheet would run as a formula gets a quote; a negative number and a telephone do not.
        const std::pair<const char*, const char*> cas[] = {{"=1+1", "'=1+1"},
                                                           {"@SUM(A1)", "'@SUM(A1)"},
                                                           {"-20 % demandé", "'-20 % demandé"},
                                                           {"\tx", "'\tx"},
                                                           {"-12,5", "-12,5"},
                                                           {"+33 6 12 34 56 78", "+33 6 12 34 56 78"},
                                                           {"+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0"},
                                                           {"Acme", "Acme"}};
        for (const auto& [texte, attendu] : cas)
            QCOMPARE(ExportCRM::protegerFormule(QString::fromUtf8(texte)), QString::fromUtf8(attendu));
    }

    void csvRelu()
    {
        const Etat e = etatEssai();
        const QByteArray csv = ExportCRM::csv(ExportCRM::table(e.contacts, e, grilleDe({})), u';');
        QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
        auto cl = lireDonnees(csv, QStringLiteral("csv"));
        QVERIFY(cl);
        QCOMPARE(cl.valeur().description, QStringLiteral("CSV · séparateur ;"));
        const auto& l = cl.valeur().feuilles[0].lignes;
        // Protected in the file, restored on reading; a French decimal comma.
        QVERIFY(csv.contains("'=HYPERLINK"));
        QCOMPARE(l[1][4] + '|' + l[1][13], QStringLiteral("=HYPERLINK(\"x\")|12500,5"));
    }

    void allerRetour_data()
    {
        QTest::addColumn<QString>("format");
        for (const char* format : {"csv;", "csv,", "xlsx"})
            QTest::newRow(format) << QString::fromLatin1(format);
    }
    void allerRetour()
    {
        QFETCH(QString, format);
        const Etat e = etatEssai();
        const TableExport t = ExportCRM::table(e.contacts, e, grilleDe({}));
        const bool xlsx = format == QLatin1String("xlsx");
        const QByteArray fichier = xlsx ? ExportCRM::xlsx(t, QDateTime::currentDateTimeUtc()) : ExportCRM::csv(t, format.back());
        const auto p = planDepuis(fichier, xlsx ? "xlsx" : "csv", contexteDe(e), ModeDoublons::completer);
        QVERIFY(p);
        // Every contact is found again, and nothing changes.
        QVERIFY2(p->majs.isEmpty(), qPrintable(p->majs.isEmpty() ? QString() : p->majs.first().champs.join(',')));
        QCOMPARE(QList<qsizetype>({p->doublonsTrouves, p->nouveaux.size(), p->ignores.size(), p->erreurs.size()}), QList<qsizetype>({3, 0, 3, 0}));
        // Into an empty CRM everything is created as it was.
        ContexteImport vide = contexteDe(e);
        vide.existants.clear();
        const auto q = planDepuis(fichier, xlsx ? "xlsx" : "csv", vide, ModeDoublons::completer);
        QVERIFY(q && q->nouveaux.size() == 3);
        const Contact& a = q->nouveaux[0];
        QCOMPARE(QStringList({a.nom, a.societe, QString::number(a.valeur), a.etape, a.tel, a.prochaineAction->echeance, a.champs.budget, a.tags.join(',')}),
                 QStringList({"Durand-Hérault", "=HYPERLINK(\"x\")", "12500.5", "proposition", "+33 6 12 34 56 78", "2027-01-15", "20 k€", "salon,chaud"}));
        // The control character is not allowed in a workbook cell.
        QCOMPARE(a.notes, xlsx ? QStringLiteral("Ligne 1\nLigne 2 ; « guillemets » \"doubles\"") : e.contacts[0].notes);
        QCOMPARE(q->nouveaux[1].etape, QStringLiteral("gagne"));
        QCOMPARE(q->nouveaux[2].raisonPerte.value_or(QString()), QStringLiteral("-20 % demandé"));
    }

    void xlsxLuParUnTableur()
    {
        // The distribution's interpreter, where python3-openpyxl is installed.
        QString python = QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
        if (python.isEmpty())
            python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty() || QProcess::execute(python, {QStringLiteral("-c"), QStringLiteral("import openpyxl")}) != 0)
            QSKIP("python3-openpyxl absent");
        const Etat e = etatEssai();
        QTemporaryDir dir;
        const QString chemin = dir.filePath(QStringLiteral("Vendalo CRM.xlsx"));
        QVERIFY(ExportCRM::exporter(chemin, e.contacts, e, QStringLiteral("xlsx"), u';', QDateTime::currentDateTimeUtc()));
        QProcess p;
        p.start(python,
                {QStringLiteral("-c"),
                 QStringLiteral("import sys, openpyxl\n"
                                "wb = openpyxl.load_workbook(sys.argv[1])\n"
                                "ws = wb.active\n"
                                "print(ws.title, ws.max_row, ws.max_column, ws.freeze_panes, ws.auto_filter.ref)\n"
                                "print(ws['B2'].value, ws['N2'].value, type(ws['U2'].value).__name__, ws['U2'].value.date(), ws['A1'].font.b)\n"
                                "print(wb.properties.creator)\n"),
                 chemin});
        QVERIFY(p.waitForFinished(30000));
        const QString sortie = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(p.exitCode() == 0, qPrintable(QString::fromUtf8(p.readAllStandardError())));
        QCOMPARE(sortie, QStringLiteral("Contacts 4 28 A2 A1:AB4\nDurand-Hérault 12500.5 datetime 2027-01-15 True\nVendalo\n"));
    }

    void exportEchoue()
    {
        const Etat e = etatEssai();
        QTemporaryDir dir;
        const QString chemin = dir.filePath(QStringLiteral("absent/x.csv"));
        const auto r = ExportCRM::exporter(chemin, e.contacts, e, QStringLiteral("csv"), u';', QDateTime::currentDateTimeUtc());
        QVERIFY(!r);
        QVERIFY(r.erreur().startsWith(QLatin1String("Export impossible : ")));
        QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
        // An existing file is replaced whole, never half-written.
        const QString bon = dir.filePath(QStringLiteral("x.csv"));
        QVERIFY(ExportCRM::exporter(bon, e.contacts, e, QStringLiteral("csv"), u',', QDateTime::currentDateTimeUtc()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"x.csv"}));
    }

    void appliquerPuisAnnuler()
    {
        vd::model::Store store;
        store.remplacerEtat(etatEssai());
        PlanImport plan;
        // The won contact's outcome date as the row reader leaves it.
        plan.nouveaux = {{.id = "c_nouveau", .nom = "Roy"}, {.id = "c_nouveau2", .nom = "Roy", .etape = "gagne", .issueLe = "2026-12-07"}};
        MajImport maj{store.etat().contacts[1], store.etat().contacts[1], {QStringLiteral("poste")}};
        maj.apres.poste = QStringLiteral("DAF");
        maj.apres.notes = QStringLiteral("pas appliqué");   // not in the list of fields
        MajImport maj2{store.etat().contacts[2], store.etat().contacts[2], {QStringLiteral("tel")}};
        maj2.apres.tel = QStringLiteral("0612345678");
        plan.majs = {maj, maj2};

        // Someone edits contact c2 after the plan was computed: that edit stays.
        store.modifier([](Etat& e) { e.contact(QStringLiteral("c2"))->source = QStringLiteral("salon"); });
        const auto r = ExportCRM::appliquer(store, plan, maintenant);
        QCOMPARE(r.crees, QStringList({"c_nouveau", "c_nouveau2"}));
        QCOMPARE(store.etat().contacts.size(), 5);
        // c2: position|source|notes|majLe; then the created contacts' creation and outcome dates.
        const auto c2 = [&store] {
            const Contact* c = store.etat().contact(QStringLiteral("c2"));
            return QStringList({c->poste, c->source, c->notes, c->majLe}).join('|');
        };
        QCOMPARE(c2(), "DAF|salon||" + maintenant);
        QCOMPARE(store.etat().contact(QStringLiteral("c_nouveau"))->creeLe + '|' + store.etat().contact(QStringLiteral("c_nouveau2"))->issueLe.value_or(QString()),
                 maintenant + '|' + maintenant);

        // After the import, c3 and one created contact are edited by hand: undo leaves them.
        store.modifier([](Etat& e) {
            e.contact(QStringLiteral("c3"))->notes = QStringLiteral("édité");
            e.contact(QStringLiteral("c_nouveau2"))->poste = QStringLiteral("CTO");
        });
        const QString plusTard = QStringLiteral("2026-12-07T10:00:00.000Z");
        const auto b = ExportCRM::annuler(store, r, plusTard);
        QCOMPARE(QList<int>({b.annules, b.gardes}), QList<int>({2, 2}));
        QVERIFY(!store.etat().contact(QStringLiteral("c_nouveau")) && store.etat().contact(QStringLiteral("c_nouveau2")));
        QCOMPARE(c2(), "|salon||" + plusTard);
        QCOMPARE(store.etat().contact(QStringLiteral("c3"))->tel, QStringLiteral("0612345678"));
    }
};

QTEST_GUILESS_MAIN(TstExportCRM)
#include "tst_exportcrm.moc"
