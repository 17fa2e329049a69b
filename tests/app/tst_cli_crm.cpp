// « vendalo importer » and « vendalo exporter », run as the user would, on a private data folder.
#include "environnementvendalo.h"
#include "crm/zip.h"

class TstCliCrm : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;

    using Sortie = SortieVendalo;
    Sortie lancer(const QStringList& args) { return lancerVendalo(environnementVendalo(dossier), args); }
    QString ecrire(const QString& nom, const QByteArray& contenu) { return ecrireFichier(dossier.filePath(nom), contenu); }

    // Whether a printed list of contacts holds that id.
    static bool liste(const Sortie& s, const QString& id)
    {
        return s.code == 0 && !parChamp(s.json().array(), id).isEmpty();
    }

    QByteArray lireEtat() { return lireFichier(dossier.filePath(QStringLiteral("donnees/Vendalo/etat.json"))); }

private Q_SLOTS:
    void importerPuisExporter()
    {
        const QString csv = ecrire(QStringLiteral("contacts.csv"),
                                   "Nom;Pr\xC3\xA9nom;Email;Soci\xC3\xA9t\xC3\xA9;Statut;Montant\n"
                                   "Durand;L\xC3\xA9""a;lea@acme.fr;Acme;RDV fix\xC3\xA9;12 000 \xE2\x82\xAC\n"
                                   "Morel;Paul;;Beta;Closed won;5k\n;;;;;\n;;;;Nouveau;\n");
        // Simulation: the plan, nothing written.
        Sortie s = lancer({QStringLiteral("importer"), csv, QStringLiteral("--simulation")});
        QCOMPARE(s.code, 0);
        QJsonObject o = s.json().object();
        QCOMPARE(o.value("classeur").toObject().value("separateur").toString(), QStringLiteral(";"));
        QCOMPARE(o.value("classeur").toObject().value("format").toString(), QStringLiteral("UTF-8"));
        QCOMPARE(o.value("feuille").toInt(), 0);
        QCOMPARE(o.value("nouveaux").toInt(), 2);
        QCOMPARE(o.value("lignesVides").toInt(), 1);
        QCOMPARE(o.value("etapes").toObject().value("Closed won").toString(), QStringLiteral("gagne"));
        QCOMPARE(o.value("erreurs").toArray().first().toObject(), QJsonObject({{"ligne", 5}, {"texte", "Ni nom, ni société, ni email"}}));
        QCOMPARE(o.value("colonnes").toArray()[5].toObject(), QJsonObject({{"titre", "Montant"}, {"champ", "valeur"}}));
        QCOMPARE(o.value("contacts").toArray()[0].toObject().value("valeur").toDouble(), 12000.0);
        QVERIFY(!QFile::exists(dossier.filePath(QStringLiteral("donnees/Vendalo/etat.json"))));

        // The real import, with one column ignored.
        s = lancer({QStringLiteral("importer"), csv, QStringLiteral("--colonne"), QStringLiteral("Montant=")});
        QCOMPARE(s.code, 0);
        o = s.json().object();
        QCOMPARE(o.value("colonnes").toArray()[5].toObject().value("champ").toString(), QString());
        QCOMPARE(o.value("contacts").toArray()[0].toObject().value("valeur").toDouble(), 0.0);

        // Again: every row is already there.
        s = lancer({QStringLiteral("importer"), csv, QStringLiteral("--mode"), QStringLiteral("ignorer")});
        QCOMPARE(s.code, 0);
        QCOMPARE(s.json().object().value("nouveaux").toInt(), 0);
        QCOMPARE(s.json().object().value("ignores").toArray().size(), 2);

        // Export to stdout and to a workbook that reads back.
        s = lancer({QStringLiteral("exporter"), QStringLiteral("-")});
        QCOMPARE(s.code, 0);
        QVERIFY(s.sortie.startsWith("\xEF\xBB\xBFPr\xC3\xA9nom;Nom;Email"));
        QVERIFY(s.sortie.contains("L\xC3\xA9""a;Durand;lea@acme.fr"));
        const QString xlsx = dossier.filePath(QStringLiteral("export.xlsx"));
        s = lancer({QStringLiteral("exporter"), xlsx});
        QCOMPARE(s.code, 0);
        QCOMPARE(s.json().object().value("format").toString(), QStringLiteral("xlsx"));
        s = lancer({QStringLiteral("importer"), xlsx, QStringLiteral("--simulation")});
        QCOMPARE(s.code, 0);
        QCOMPARE(s.json().object().value("nouveaux").toInt(), 0);
        QCOMPARE(s.json().object().value("misAJour").toInt(), 0);
        s = lancer({QStringLiteral("exporter"), QStringLiteral("-"), QStringLiteral("--selection"), QStringLiteral("c_absent")});
        QCOMPARE(s.code, 2);
    }

    void refus()
    {
        Sortie s = lancer({QStringLiteral("importer"), ecrire(QStringLiteral("vieux.xls"), "x")});
        QCOMPARE(s.code, 1);
        QCOMPARE(s.derniereErreur(), QStringLiteral("Ce fichier est au format Excel 97-2004 (.xls). Dans Excel, choisissez Fichier, "
                                                    "Enregistrer sous, Classeur Excel (.xlsx), ou CSV."));
        s = lancer({QStringLiteral("importer"), ecrire(QStringLiteral("titres.csv"), "Nom;Email\n")});
        QCOMPARE(s.code, 1);
        QCOMPARE(s.derniereErreur(), QStringLiteral("« CSV » n'a qu'une ligne de titres, sans contact dessous."));
        s = lancer({QStringLiteral("importer"), ecrire(QStringLiteral("tel.csv"), "Téléphone\n0612345678\n")});
        QCOMPARE(s.code, 1);
        QCOMPARE(s.derniereErreur(), QStringLiteral("Choisissez au moins une colonne pour le nom, la société ou l'email."));
    }

    void plusieursFeuilles()
    {
        vd::crm::EcrivainZip z;
        z.ajouter(QStringLiteral("xl/workbook.xml"),
                  "<workbook xmlns:r='http://schemas.openxmlformats.org/officeDocument/2006/relationships'><sheets><sheet name='Notes' r:id='a'/><sheet name='Contacts' r:id='b'/></sheets></workbook>");
        z.ajouter(QStringLiteral("xl/worksheets/sheet1.xml"), "<worksheet><sheetData><row r='1'><c r='A1' t='inlineStr'><is><t>Texte</t></is></c></row></sheetData></worksheet>");
        z.ajouter(QStringLiteral("xl/worksheets/sheet2.xml"),
                  "<worksheet><sheetData><row r='1'><c r='A1' t='inlineStr'><is><t>Email</t></is></c></row><row r='2'><c r='A2' t='inlineStr'><is><t>zoe@roy.fr</t></is></c></row></sheetData></worksheet>");
        const QString chemin = ecrire(QStringLiteral("classeur.xlsx"), z.terminer());
        Sortie s = lancer({QStringLiteral("importer"), chemin});
        QCOMPARE(s.code, 2);
        QCOMPARE(s.json().object(), QJsonObject({{"classeur", QJsonObject({{"format", "xlsx"}, {"separateur", ""}, {"feuilles", QJsonArray({"Notes", "Contacts"})}})}}));
        s = lancer({QStringLiteral("importer"), chemin, QStringLiteral("--feuille"), QStringLiteral("1"), QStringLiteral("--simulation")});
        QCOMPARE(s.code, 0);
        QCOMPARE(s.json().object().value("feuille").toInt(), 1);
        QCOMPARE(s.json().object().value("nouveaux").toInt(), 1);
    }

    // The contacts subcommand: what it stores survives the process and reads back
    // through the same filters as the screen.
    void contactsCreerModifierEtapeSupprimer()
    {
        Sortie s = lancer({"contacts", "creer", R"({"prenom": "Hélène", "nom": "Rivière", "societe": "Société Nouvelle", "tel": "06 12 45 78 10", "valeur": "12 000", "probabilite": ""})"});
        QVERIFY2(s.code == 0, qPrintable(s.erreurs));
        const QJsonObject cree = s.json().object();
        const QString id = cree.value("id").toString();
        QVERIFY(!id.isEmpty());
        QCOMPARE(cree.value("valeur").toDouble(), 12000.0);
        QCOMPARE(cree.value("etape").toString(), QStringLiteral("nouveau"));
        QVERIFY(!cree.value("majLe").toString().isEmpty());

        for (const QStringList& filtre : {QStringList{"--recherche", "helene societe"}, QStringList{"--recherche", "0612"},
                                          QStringList{"--etape", "nouveau"}})
            QVERIFY2(liste(lancer(QStringList{"contacts", "lister"} + filtre), id), qPrintable(filtre.join(' ')));
        s = lancer({"contacts", "lister", "--recherche", "introuvable"});
        QCOMPARE(QJsonDocument::fromJson(s.sortie).array().size(), 0);

        s = lancer({"contacts", "modifier", id, R"({"email": "helene@nouvelle.fr"})"});
        QVERIFY2(s.code == 0, qPrintable(s.erreurs));
        QCOMPARE(s.json().object().value("email").toString(), QStringLiteral("helene@nouvelle.fr"));
        QCOMPARE(s.json().object().value("nom").toString(), QStringLiteral("Rivière"));   // the other fields stay

        s = lancer({"contacts", "etape", id, "perdu"});
        QVERIFY2(s.code == 0, qPrintable(s.erreurs));
        QCOMPARE(s.json().object().value("etape").toString(), QStringLiteral("perdu"));
        QVERIFY(liste(lancer({"contacts", "lister", "--etape", "perdu"}), id));

        s = lancer({"contacts", "supprimer", id});
        QCOMPARE(s.code, 0);
        QCOMPARE(s.json().object().value("supprime").toString(), id);
        s = lancer({"contacts", "supprimer", id});
        QCOMPARE(s.code, 1);
        QCOMPARE(s.derniereErreur(), QStringLiteral("Aucun contact « %1 ».").arg(id));
    }

    void contactsRefuses_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("ni nom ni société") << QStringList{"contacts", "creer", R"({"email": "a@b.fr"})"} << 1
                                           << QStringLiteral("Indiquez au moins un nom ou une société.");
        QTest::newRow("email") << QStringList{"contacts", "creer", R"({"nom": "Durand", "email": "durand@"})"} << 1
                               << QStringLiteral("Cet email ne semble pas valide.");
        QTest::newRow("montant") << QStringList{"contacts", "creer", R"({"nom": "Durand", "valeur": "-3"})"} << 1
                                 << QStringLiteral("Indiquez un montant positif, par exemple 12 000.");
        QTest::newRow("probabilité") << QStringList{"contacts", "creer", R"({"nom": "Durand", "probabilite": "140"})"} << 1
                                     << QStringLiteral("Indiquez un nombre entre 0 et 100.");
        QTest::newRow("pas un objet") << QStringList{"contacts", "creer", "[1]"} << 1
                                      << QStringLiteral("Le contact doit être un objet JSON, par exemple {\"nom\": \"Durand\", \"societe\": \"Acme\"}.");
        QTest::newRow("inconnu") << QStringList{"contacts", "etape", "c_absent", "gagne"} << 1 << QStringLiteral("Aucun contact « c_absent ».");
        QTest::newRow("verbe") << QStringList{"contacts", "fusionner"} << 2 << QString();
        QTest::newRow("option") << QStringList{"contacts", "lister", "--tri"} << 2 << QString();
    }
    void contactsRefuses()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        const QByteArray avant = lireEtat();
        const Sortie s = lancer(args);
        QCOMPARE(s.code, code);
        QCOMPARE(s.sortie, QByteArray());
        if (message.isEmpty())
            QVERIFY(s.derniereErreur().startsWith(QStringLiteral("Utilisation : vendalo contacts")));
        else
            QCOMPARE(s.derniereErreur(), message);
        QCOMPARE(lireEtat(), avant);   // nothing written
    }
};

QTEST_GUILESS_MAIN(TstCliCrm)
#include "tst_cli_crm.moc"
