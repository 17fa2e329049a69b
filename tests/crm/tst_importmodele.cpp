// The guided import model: reading off the main thread, the sheet choice,
// mapping changes that restart the plan, the summary check, writing and undo,
// and files that cannot be imported.
#include "crm/importmodele.h"
#include "crm/zip.h"
#include "model/store.h"
#include "commun_crm.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vd;
using namespace vd::crm;

namespace {

ContexteImport contexte(const model::Etat& e)
{
    ContexteImport c;
    c.etapes = {{QStringLiteral("nouveau"), QStringLiteral("Nouveau")}, {QStringLiteral("decouverte"), QStringLiteral("Découverte")},
                {QStringLiteral("gagne"), QStringLiteral("Gagné")}};
    c.grille = grilleDe({});
    c.existants = e.contacts;
    c.aujourdhui = QStringLiteral("2026-12-07");
    return c;
}

} // namespace

class TstImportModele : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;

    QString ecrire(const QString& nom, const QByteArray& contenu)
    {
        const QString chemin = dossier.filePath(nom);
        QFile f(chemin);
        if (f.open(QIODevice::WriteOnly))
            f.write(contenu);
        return chemin;
    }

private Q_SLOTS:
    void parcoursComplet()
    {
        model::Store store;
        model::Etat e;
        e.contacts = {{.id = "c1", .nom = "Durand", .email = "lea@acme.fr"}};
        store.remplacerEtat(e);
        ImportCRMModele m(store, contexte(store.etat()));
        QSignalSpy changements(&m, &ImportCRMModele::change);
        m.ouvrir(ecrire(QStringLiteral("c.csv"), "Nom,Email,Poste,Statut\nDurand,lea@acme.fr,DAF,RDV\nRoy,zoe@roy.fr,CTO,Signé\n"));
        QVERIFY(m.etape() == ImportCRMModele::Etape::lecture && m.nomFichier() == QStringLiteral("c.csv"));
        m.attendre();
        QVERIFY(m.etape() == ImportCRMModele::Etape::colonnes && changements.size() >= 2);
        QCOMPARE(m.correspondances(), QStringList({"nom", "email", "poste", "etape"}));
        QCOMPARE(m.etapesChoisies().value("Signé") + '|' + m.etapesChoisies().value("RDV"), QStringLiteral("gagne|decouverte"));
        QVERIFY(m.plan());
        QCOMPARE(QList<qsizetype>({m.plan()->nouveaux.size(), m.plan()->majs.size(), m.apercu().size()}), QList<qsizetype>({1, 1, 2}));

        // Email moved to another column: the unique field leaves its old column, the plan is recomputed.
        m.changerColonne(2, QStringLiteral("email"));
        QCOMPARE(m.correspondances(), QStringList({"nom", "", "email", "etape"}));
        QVERIFY(m.calcul());
        QVERIFY(!m.plan());
        m.attendre();
        QVERIFY(!m.calcul());
        // "DAF" and "CTO" are not addresses.
        QCOMPARE(QList<qsizetype>({m.plan()->erreurs.size(), m.plan()->avertissements.size()}), QList<qsizetype>({0, 2}));
        m.changerColonne(2, QStringLiteral("poste"));
        m.changerColonne(1, QStringLiteral("email"));
        m.changerEtape(QStringLiteral("Signé"), QStringLiteral("nouveau"));
        // Stages: the mode changes, the last plan wins.
        m.changerMode(ModeDoublons::ignorer);
        m.changerMode(ModeDoublons::remplacer);
        m.attendre();
        QCOMPARE(m.mode(), ModeDoublons::remplacer);
        QCOMPARE(m.plan()->nouveaux.first().etape + '|' + m.plan()->majs.first().apres.poste, QStringLiteral("nouveau|DAF"));

        // The summary needs a name, a company or an e-mail.
        const QStringList avant = m.correspondances();
        m.changerColonne(0, QString());
        m.changerColonne(1, QString());
        QCOMPARE(m.allerAuResume().value_or(QString()), QStringLiteral("Choisissez au moins une colonne pour le nom, la société ou l'email."));
        QCOMPARE(m.etape(), ImportCRMModele::Etape::colonnes);
        m.changerColonne(0, QStringLiteral("nom"));
        m.changerColonne(1, QStringLiteral("email"));
        QCOMPARE(m.correspondances(), avant);
        QVERIFY(!m.importer(QStringLiteral("2026-12-07T10:00:00.000Z")));   // plan still being computed
        m.attendre();
        QVERIFY(!m.allerAuResume());
        QCOMPARE(m.etape(), ImportCRMModele::Etape::resume);
        QVERIFY(m.importer(QStringLiteral("2026-12-07T10:00:00.000Z")) && m.importe());
        QVERIFY(!m.importer(QStringLiteral("2026-12-07T10:00:00.000Z")));   // once
        QCOMPARE(QString::number(store.etat().contacts.size()) + '|' + store.etat().contact("c1")->poste, QStringLiteral("2|DAF"));
        const auto b = m.annuler(QStringLiteral("2026-12-07T10:01:00.000Z"));
        QVERIFY(b && b->annules == 2);
        QCOMPARE(QString::number(store.etat().contacts.size()) + '|' + store.etat().contact("c1")->poste, QStringLiteral("1|"));
        QVERIFY(!m.annuler(QStringLiteral("2026-12-07T10:02:00.000Z")));
    }

    void feuilles()
    {
        model::Store store;
        EcrivainZip z;
        z.ajouter(QStringLiteral("xl/workbook.xml"), "<workbook><sheets><sheet name='Vide'/><sheet name='Contacts'/></sheets></workbook>");
        z.ajouter(QStringLiteral("xl/worksheets/sheet1.xml"), "<worksheet><sheetData/></worksheet>");
        z.ajouter(QStringLiteral("xl/worksheets/sheet2.xml"),
                  "<worksheet><sheetData><row r='1'><c r='A1' t='inlineStr'><is><t>Société</t></is></c></row>"
                  "<row r='2'><c r='A2' t='inlineStr'><is><t>Acme</t></is></c></row></sheetData></worksheet>");
        const QString chemin = ecrire(QStringLiteral("c.xlsx"), z.terminer());
        ImportCRMModele m(store, contexte(store.etat()));
        m.ouvrir(chemin);
        m.attendre();
        QCOMPARE(m.etape(), ImportCRMModele::Etape::feuilles);
        QCOMPARE(m.classeur()->feuilles.size(), 2);
        m.choisirFeuille(1);
        m.attendre();
        QVERIFY(m.etape() == ImportCRMModele::Etape::colonnes && m.feuille() == 1);
        QCOMPARE(m.correspondances(), QStringList({"societe"}));

        ImportCRMModele vide(store, contexte(store.etat()));
        vide.ouvrir(chemin);
        vide.attendre();
        vide.choisirFeuille(0);
        vide.attendre();
        QCOMPARE(vide.etape(), ImportCRMModele::Etape::erreur);
        QCOMPARE(vide.erreur(), QStringLiteral("Ce fichier ne contient aucune ligne."));
    }

    void fichierRefuse()
    {
        model::Store store;
        ImportCRMModele m(store, contexte(store.etat()));
        m.ouvrir(ecrire(QStringLiteral("x.numbers"), "PK"));
        m.attendre();
        QCOMPARE(m.etape(), ImportCRMModele::Etape::erreur);
        QCOMPARE(m.erreur(), QStringLiteral("Ce fichier vient de Numbers. Dans Numbers, choisissez Fichier, Exporter vers, Excel ou CSV."));
        QVERIFY(!m.importer(QStringLiteral("2026-12-07T10:00:00.000Z")));
    }

    void fermetureEnCoursDeCalcul()
    {
        // The model goes away while a big plan runs: nothing is published, nothing crashes.
        model::Store store;
        QByteArray csv = "Nom\n";
        for (int i = 0; i < 20000; ++i)
            csv += "Nom " + QByteArray::number(i) + "\n";
        const QString chemin = ecrire(QStringLiteral("gros.csv"), csv);
        auto m = std::make_unique<ImportCRMModele>(store, contexte(store.etat()));
        m->ouvrir(chemin);
        QTRY_VERIFY_WITH_TIMEOUT(m->calcul(), 10000);
        m.reset();
        QCOMPARE(store.etat().contacts.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TstImportModele)
#include "tst_importmodele.moc"
