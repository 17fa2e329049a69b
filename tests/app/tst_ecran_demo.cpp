// "vendalo --demo --ecran NOM[:ID] --capture F": one screen of the demonstration data, saved and quit,
// without touching the data folder.
#include "environnementvendalo.h"
#include <QDir>
#include <QHash>
#include <memory>
#include <vector>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TstEcranDemo : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;

    struct Ligne {
        const char* nom;
        const char* ecran;
        int code;
        const char* erreur;
    };
    static constexpr Ligne lignes[] = {
    {"tableau", "tableau", 0, ""},
    {"fiche par défaut", "fiche", 0, ""},
    {"import du CRM", "import-crm", 0, ""},
    {"résumé de l'import", "import-crm:resume", 0, ""},
    {"export du CRM", "export-crm", 0, ""},
    {"liste du CRM", "crm:liste", 0, ""},
    {"pipeline du CRM", "crm:pipeline", 0, ""},
    {"fiche contact par défaut", "contact", 0, ""},
    {"objections", "profils:objections", 0, ""},
    {"relances du jour", "relances", 0, ""},
    {"réglages des relances", "relances:reglages", 0, ""},
    {"quillo", "quillo", 0, ""},
    {"agenda", "agenda", 0, ""},
    {"équipe", "equipe", 0, ""},
    {"rapport d'équipe", "equipe:rapport", 0, ""},
    {"classement", "classement", 0, ""},
    {"appels exemplaires", "exemplaire", 0, ""},
    {"objectifs d'équipe", "equipe:objectifs", 0, ""},
    {"fiche commentée", "fiche:a_perrin_demo", 0, ""},
    {"appels d'un membre", "appels:compte:demo-lea", 0, ""},
    {"framework", "framework", 0, ""},
    {"framework, étape en édition", "framework:fw_tempora:demo", 0, ""},
    {"framework depuis une méthode", "framework:methode", 0, ""},
    {"questions des appels", "framework:questions", 0, ""},
    {"propositions de l'équipe", "framework:propositions", 0, ""},
    {"compte sans serveur", "compte", 0, ""},
    {"aide sans serveur", "aide", 0, ""},
    {"tickets sans serveur", "aide:demandes", 0, ""},
    {"progresser", "progresser", 0, ""},
    {"fiche à un moment", "fiche:a_dubois_prospection@36050", 0, ""},
    {"inconnu", "bogus", 2, "Écran inconnu : « bogus ». Écrans : tableau, appels,"},
    {"id absent", "contact:c_nulle", 2, "Aucun enregistrement « c_nulle » dans les données de démonstration."},
    };
    struct Resultat {
        int code = -1;
        QString erreurs;
    };
    QHash<QString, Resultat> resultats;

    QString image(const QString& nom) const { return dossier.filePath(QString(nom).replace(QLatin1Char(' '), QLatin1Char('_')) + QStringLiteral(".png")); }

private Q_SLOTS:
    // Each screen is its own process: two at a time keep both cores busy.
    void initTestCase()
    {
        const QProcessEnvironment e = environnementVendalo(dossier, false);
        const int n = int(std::size(lignes));
        for (int debut = 0; debut < n; debut += 2) {
            std::vector<std::unique_ptr<QProcess>> lot;
            for (int i = debut; i < std::min(n, debut + 2); ++i) {
                auto p = std::make_unique<QProcess>();
                p->setProcessEnvironment(e);
                p->start(QStringLiteral(VD_VENDALO_BIN), {QStringLiteral("--demo"), QStringLiteral("--ecran"), QString::fromUtf8(lignes[i].ecran),
                                                          QStringLiteral("--capture"), image(QString::fromUtf8(lignes[i].nom))});
                lot.push_back(std::move(p));
            }
            for (int i = debut; i < std::min(n, debut + 2); ++i) {
                QProcess& p = *lot[size_t(i - debut)];
                const bool fini = p.waitForFinished(60000);
                resultats.insert(QString::fromUtf8(lignes[i].nom),
                                 {fini ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())});
            }
        }
    }

    void ecrans_data()
    {
        QTest::addColumn<QString>("ecran");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("erreur");
        for (const Ligne& l : lignes)
            QTest::newRow(l.nom) << QString::fromUtf8(l.ecran) << l.code << QString::fromUtf8(l.erreur);
    }
    void ecrans()
    {
        QFETCH(QString, ecran);
        QFETCH(int, code);
        QFETCH(QString, erreur);
        const QString fichier = image(QString::fromUtf8(QTest::currentDataTag()));
        const Resultat r = resultats.value(QString::fromUtf8(QTest::currentDataTag()));
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
