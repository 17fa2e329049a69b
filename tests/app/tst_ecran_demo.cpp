// "vendalo --demo --ecran NOM[:ID] --capture F": one screen of the demonstration data, saved and quit,
// without touching the data folder.
#include "environnementvendalo.h"
#include <QHash>
#include <QImage>
#include <memory>
#include <vector>

class TstEcranDemo : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;

    // The screens captured ("NOM[:ID]"), then those refused, with their message.
    const QStringList montres = QStringLiteral(
        "tableau fiche import-crm import-crm:resume export-crm crm:liste crm:pipeline contact profils:objections relances "
        "relances:reglages quillo agenda equipe equipe:rapport classement exemplaire equipe:objectifs fiche:a_perrin_demo "
        "appels:compte:demo-lea framework framework:fw_tempora:demo framework:methode framework:questions framework:propositions "
        "compte aide aide:demandes progresser fiche:a_dubois_prospection@36050").split(QLatin1Char(' '));
    const QList<std::pair<QString, QString>> refuses{
        {"bogus", "Écran inconnu : « bogus ». Écrans : tableau, appels,"},
        {"contact:c_nulle", "Aucun enregistrement « c_nulle » dans les données de démonstration."}};
    struct Resultat {
        int code = -1;
        QString erreurs;
    };
    QHash<QString, Resultat> resultats;

    QString image(const QString& ecran) const { return dossier.filePath(ecran + QStringLiteral(".png")); }

private Q_SLOTS:
    // Each screen is its own process: two at a time keep both cores busy.
    void initTestCase()
    {
        const QProcessEnvironment e = environnementVendalo(dossier, false);
        QStringList ecrans = montres;
        for (const auto& [ecran, erreur] : refuses)
            ecrans << ecran;
        const int n = int(ecrans.size());
        for (int debut = 0; debut < n; debut += 2) {
            std::vector<std::unique_ptr<QProcess>> lot;
            for (int i = debut; i < std::min(n, debut + 2); ++i) {
                auto p = std::make_unique<QProcess>();
                p->setProcessEnvironment(e);
                p->start(QStringLiteral(VD_VENDALO_BIN),
                         {QStringLiteral("--demo"), QStringLiteral("--ecran"), ecrans[i], QStringLiteral("--capture"), image(ecrans[i])});
                lot.push_back(std::move(p));
            }
            for (int i = debut; i < std::min(n, debut + 2); ++i) {
                QProcess& p = *lot[size_t(i - debut)];
                const bool fini = p.waitForFinished(60000);
                resultats.insert(ecrans[i], {fini ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())});
            }
        }
    }

    void ecrans_data()
    {
        QTest::addColumn<QString>("ecran");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("erreur");
        for (const QString& ecran : montres)
            QTest::newRow(qPrintable(ecran)) << ecran << 0 << QString();
        for (const auto& [ecran, erreur] : refuses)
            QTest::newRow(qPrintable(ecran)) << ecran << 2 << erreur;
    }
    void ecrans()
    {
        QFETCH(QString, ecran);
        QFETCH(int, code);
        QFETCH(QString, erreur);
        const QString fichier = image(ecran);
        const Resultat r = resultats.value(ecran);
        QCOMPARE(r.code, code);
        if (code != 0) {
            QVERIFY2(r.erreurs.contains(erreur), qPrintable(r.erreurs));
            QVERIFY(!QFile::exists(fichier));
            return;
        }
        const QImage capture(fichier);
        // A sheet is captured on its own; the screens fill the window.
        QVERIFY(ecran.endsWith(QLatin1String("-crm")) || ecran.contains(QLatin1String("-crm:")) ? capture.width() >= 400
                                                                                                  : capture.width() >= 800 && capture.height() >= 500);
        // The demonstration data stayed in memory.
        QVERIFY(!QFile::exists(dossier.filePath(QStringLiteral("donnees/Vendalo/etat.json"))));
    }
};

QTEST_GUILESS_MAIN(TstEcranDemo)
#include "tst_ecran_demo.moc"
