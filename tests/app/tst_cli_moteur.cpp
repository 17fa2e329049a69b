// « vendalo moteur », « vendalo autotest » and VD_TEST_MOTEUR=1, run as the user would.
#include "environnementvendalo.h"

class TstCliMoteur : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;

    using Sortie = SortieVendalo;
    Sortie lancer(const QStringList& args, const QMap<QString, QString>& env = {}, const QByteArray& entree = {})
    {
        QProcessEnvironment e = environnementVendalo(dossier);
        for (auto it = env.cbegin(); it != env.cend(); ++it)
            e.insert(it.key(), it.value());
        return lancerVendalo(e, args, entree);
    }

private Q_SLOTS:
    void resultatsSimples_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("sortie");
        QTest::newRow("texte en argument") << QStringList{"compterQuestions", "Vous utilisez quoi aujourd'hui ? Et combien ça vous coûte"} << "2\n";
        QTest::newRow("booléen") << QStringList{QStringLiteral("repliSupporte"), QStringLiteral("claude-haiku-4-5")} << "false\n";
        QTest::newRow("null") << QStringList{QStringLiteral("resoudreEcheance"), QStringLiteral("à définir"), QStringLiteral("2026-12-07")} << "null\n";
        QTest::newRow("texte") << QStringList{QStringLiteral("resoudreEcheance"), QStringLiteral("demain"), QStringLiteral("2026-12-07")} << "2026-12-08\n";
        QTest::newRow("rien, sans échec") << QStringList{QStringLiteral("chargerEtat"), QStringLiteral("{}")} << "";
        QTest::newRow("argument JSON") << QStringList{QStringLiteral("compterQuestions"), QStringLiteral("[{\"locuteur\":\"vous\",\"texte\":\"Quel budget ?\"}]")} << "1\n";
    }
    void resultatsSimples()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, sortie);
        const Sortie s = lancer(QStringList{QStringLiteral("moteur")} + args);
        QCOMPARE(s.code, 0);
        QCOMPARE(s.texte(), sortie);
    }

    void argumentDansUnFichier()
    {
        const QString f = ecrireFichier(dossier.filePath(QStringLiteral("appel.json")),
                                        "{\"duree\": 20, \"transcript\": [{\"locuteur\": \"vous\", \"texte\": \"Quel budget ?\", \"debutMs\": 0, \"finMs\": 5000},"
                                        " {\"locuteur\": \"prospect\", \"texte\": \"Aucun.\", \"debutMs\": 6000, \"finMs\": 21000}]}");
        QVERIFY(!f.isEmpty());
        const Sortie s = lancer({QStringLiteral("moteur"), QStringLiteral("--sans-etat"), QStringLiteral("metriques"), QLatin1Char('@') + f});
        QCOMPARE(s.code, 0);
        const QJsonObject m = QJsonDocument::fromJson(s.sortie).object();
        QCOMPARE(m.value(QStringLiteral("partVous")).toInt(), 25);
        QCOMPARE(m.value(QStringLiteral("questionsVous")).toInt(), 1);
        QCOMPARE(m.value(QStringLiteral("dureeSec")).toInt(), 20);
    }

    void erreurs_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("code");
        QTest::newRow("fonction absente") << QStringList{QStringLiteral("moteur"), QStringLiteral("inexistante")} << "Moteur.inexistante n'a rien rendu.\n" << 1;
        QTest::newRow("erreur du script") << QStringList{QStringLiteral("moteur"), QStringLiteral("payloadAnalyse"), QStringLiteral("{}")} << "Le payload d'analyse est incomplet.\n" << 1;
        QTest::newRow("sans nom") << QStringList{QStringLiteral("moteur")} << "" << 2;
        QTest::newRow("option inconnue") << QStringList{QStringLiteral("moteur"), QStringLiteral("--vite"), QStringLiteral("etatDemo")} << "" << 2;
        QTest::newRow("fichier d'argument absent") << QStringList{QStringLiteral("moteur"), QStringLiteral("metriques"), QStringLiteral("@/nulle/part.json")} << "" << 1;
    }
    void erreurs()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QFETCH(int, code);
        const Sortie s = lancer(args);
        QCOMPARE(s.code, code);
        QVERIFY(s.texte().isEmpty());
        if (!message.isEmpty())
            QCOMPARE(s.erreurs, message);
        else
            QVERIFY(!s.erreurs.isEmpty());
    }

    void moteurIntrouvable()
    {
        const Sortie s = lancer({QStringLiteral("moteur"), QStringLiteral("etatDemo")}, {{QStringLiteral("VD_RESOURCES_DIR"), dossier.filePath(QStringLiteral("vide"))}});
        QCOMPARE(s.code, 1);
        QVERIFY2(s.erreurs.endsWith(QStringLiteral("Le moteur n'a pas pu démarrer. Le fichier moteur.js est introuvable dans l'app.\n")), qPrintable(s.erreurs));
        const Sortie a = lancer({QStringLiteral("autotest")}, {{QStringLiteral("VD_RESOURCES_DIR"), dossier.filePath(QStringLiteral("vide"))}});
        QCOMPARE(a.code, 1);
        QVERIFY(a.texte().contains(QStringLiteral("✗ Le moteur se charge")));
    }

    void etatDemoImportable()
    {
        const Sortie demo = lancer({QStringLiteral("moteur"), QStringLiteral("etatDemo")});
        QCOMPARE(demo.code, 0);
        const QJsonObject etat = QJsonDocument::fromJson(demo.sortie).object();
        QVERIFY(etat.value(QStringLiteral("contacts")).toArray().size() >= 12);
        const Sortie import = lancer({QStringLiteral("sauvegarde"), QStringLiteral("importer"), QStringLiteral("-")}, {}, demo.sortie);
        QCOMPARE(import.code, 0);
        const QJsonObject r = QJsonDocument::fromJson(import.sortie).object();
        QCOMPARE(r.value(QStringLiteral("message")).toString(), QStringLiteral("Données importées."));
        QCOMPARE(r.value(QStringLiteral("contacts")).toInt(), etat.value(QStringLiteral("contacts")).toArray().size());
        QCOMPARE(r.value(QStringLiteral("appels")).toInt(), etat.value(QStringLiteral("appels")).toArray().size());
        // The store now on disk is what the engine reads before a task.
        const Sortie ctx = lancer({QStringLiteral("moteur"), QStringLiteral("contexteAppel"), QStringLiteral("{\"contactId\":\"c_morel\"}")});
        QCOMPARE(ctx.code, 0);
        QCOMPARE(QJsonDocument::fromJson(ctx.sortie).object().value(QStringLiteral("contact")).toObject().value(QStringLiteral("societe")).toString(),
                 QStringLiteral("Thermiq Services"));
        const Sortie sans = lancer({QStringLiteral("moteur"), QStringLiteral("--sans-etat"), QStringLiteral("contexteAppel"), QStringLiteral("{\"contactId\":\"c_morel\"}")});
        QVERIFY(QJsonDocument::fromJson(sans.sortie).object().value(QStringLiteral("contact")).isNull());
    }

    void autotest()
    {
        const Sortie s = lancer({QStringLiteral("autotest")});
        QCOMPARE(s.code, 0);
        QVERIFY(s.texte().startsWith(QStringLiteral("Vendalo · auto-test du moteur\n")));
        QVERIFY(s.texte().contains(QStringLiteral("✓ Une échéance n'est jamais inventée")));
        QVERIFY(!s.texte().contains(QStringLiteral("✗")));
        const Sortie env = lancer({}, {{QStringLiteral("VD_TEST_MOTEUR"), QStringLiteral("1")}});
        QCOMPARE(env.code, 0);
        QCOMPARE(env.texte(), s.texte());
    }
};

QTEST_GUILESS_MAIN(TstCliMoteur)
#include "tst_cli_moteur.moc"
