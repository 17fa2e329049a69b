// "vendalo --demo --ecran NOM[:ID] --capture F": one screen of the demonstration data, saved and quit,
// without touching the data folder.
#include "environnementvendalo.h"
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TstEcranDemo : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;

    QProcess* lancer(const QString& ecran, const QString& capture)
    {
        auto* p = new QProcess(this);
        QProcessEnvironment e = environnementVendalo(dossier, false);
        p->setProcessEnvironment(e);
        p->start(QStringLiteral(VD_VENDALO_BIN), {QStringLiteral("--demo"), QStringLiteral("--ecran"), ecran, QStringLiteral("--capture"), capture});
        return p;
    }

private Q_SLOTS:
    void ecrans_data()
    {
        QTest::addColumn<QString>("ecran");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("erreur");
        QTest::newRow("tableau") << "tableau" << 0 << "";
        QTest::newRow("fiche par défaut") << "fiche" << 0 << "";
        QTest::newRow("import du CRM") << "import-crm" << 0 << "";
        QTest::newRow("résumé de l'import") << "import-crm:resume" << 0 << "";
        QTest::newRow("export du CRM") << "export-crm" << 0 << "";
        QTest::newRow("liste du CRM") << "crm:liste" << 0 << "";
        QTest::newRow("pipeline du CRM") << "crm:pipeline" << 0 << "";
        QTest::newRow("fiche contact par défaut") << "contact" << 0 << "";
        QTest::newRow("objections") << "profils:objections" << 0 << "";
        QTest::newRow("relances du jour") << "relances" << 0 << "";
        QTest::newRow("réglages des relances") << "relances:reglages" << 0 << "";
        QTest::newRow("quillo") << "quillo" << 0 << "";
        QTest::newRow("agenda") << "agenda" << 0 << "";
        QTest::newRow("équipe") << "equipe" << 0 << "";
        QTest::newRow("rapport d'équipe") << "equipe:rapport" << 0 << "";
        QTest::newRow("classement") << "classement" << 0 << "";
        QTest::newRow("appels exemplaires") << "exemplaire" << 0 << "";
        QTest::newRow("objectifs d'équipe") << "equipe:objectifs" << 0 << "";
        QTest::newRow("fiche commentée") << "fiche:a_perrin_demo" << 0 << "";
        QTest::newRow("appels d'un membre") << "appels:compte:demo-lea" << 0 << "";
        QTest::newRow("framework") << "framework" << 0 << "";
        QTest::newRow("framework, étape en édition") << "framework:fw_tempora:demo" << 0 << "";
        QTest::newRow("framework depuis une méthode") << "framework:methode" << 0 << "";
        QTest::newRow("questions des appels") << "framework:questions" << 0 << "";
        QTest::newRow("propositions de l'équipe") << "framework:propositions" << 0 << "";
        QTest::newRow("compte sans serveur") << "compte" << 0 << "";
        QTest::newRow("aide sans serveur") << "aide" << 0 << "";
        QTest::newRow("tickets sans serveur") << "aide:demandes" << 0 << "";
        QTest::newRow("progresser") << "progresser" << 0 << "";
        QTest::newRow("fiche à un moment") << "fiche:a_dubois_prospection@36050" << 0 << "";
        QTest::newRow("inconnu") << "bogus" << 2 << "Écran inconnu : « bogus ». Écrans : tableau, appels,";
        QTest::newRow("id absent") << "contact:c_nulle" << 2 << "Aucun enregistrement « c_nulle » dans les données de démonstration.";
    }
    void ecrans()
    {
        QFETCH(QString, ecran);
        QFETCH(int, code);
        QFETCH(QString, erreur);
        const QString image = dossier.filePath(QStringLiteral("%1.png").arg(QString(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'))));
        QProcess* p = lancer(ecran, image);
        QVERIFY(p->waitForFinished(60000));
        const QString err = QString::fromUtf8(p->readAllStandardError());
        QCOMPARE(p->exitCode(), code);
        if (code != 0) {
            QVERIFY2(err.contains(erreur), qPrintable(err));
            QVERIFY(!QFile::exists(image));
            return;
        }
        const QImage capture(image);
        // A sheet is captured on its own; the screens fill the window.
        QVERIFY(ecran.endsWith(QLatin1String("-crm")) || ecran.contains(QLatin1String("-crm:")) ? capture.width() >= 400
                                                                                                  : capture.width() >= 800 && capture.height() >= 500);
        // The demonstration data stayed in memory.
        QVERIFY(!QFile::exists(dossier.filePath(QStringLiteral("donnees/Vendalo/etat.json"))));
    }
};

QTEST_GUILESS_MAIN(TstEcranDemo)
#include "tst_ecran_demo.moc"
