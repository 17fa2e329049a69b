// « vendalo sauvegarde importer », run as the user would: bounded reads (devices, huge files)
// and the copy of the replaced data.
#include "environnementvendalo.h"

class TstCliSauvegarde : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;

    using Sortie = SortieVendalo;
    Sortie lancer(const QStringList& args, const QByteArray& entree = {})
    {
        return lancerVendalo(environnementVendalo(dossier), QStringList{QStringLiteral("sauvegarde")} + args, entree, 30000);
    }
    QString dossierVendalo() const { return dossier.filePath(QStringLiteral("donnees/Vendalo")); }

private Q_SLOTS:
    void peripheriqueRefuse()
    {
        const Sortie s = lancer({QStringLiteral("importer"), QStringLiteral("/dev/zero")});
        QCOMPARE(s.code, 1);
        QCOMPARE(s.erreurs.trimmed(), QStringLiteral("Ce fichier n'est pas un JSON valide."));
    }

    void fichierTropGros()
    {
        // Sparse: 1.5 GB on paper, nothing on disk.
        const QString chemin = dossier.filePath(QStringLiteral("enorme.json"));
        QFile f(chemin);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(qint64(3) << 29));
        f.close();
        const Sortie s = lancer({QStringLiteral("importer"), chemin});
        QCOMPARE(s.code, 1);
        QCOMPARE(s.erreurs.trimmed(), QStringLiteral("« %1 » est trop gros (1,5\u00A0Go) : 1\u00A0Go au plus.").arg(chemin));
    }

    void importGardeLesDonneesRemplacees()
    {
        const Sortie premier = lancer({QStringLiteral("importer"), QStringLiteral("-")},
                                      R"({"contacts":[{"id":"c1","nom":"Morel"}]})");
        QCOMPARE(premier.code, 0);
        const Sortie s = lancer({QStringLiteral("importer"), QStringLiteral("-")}, R"({"appels":5})");
        QCOMPARE(s.code, 0);
        const QJsonObject o = QJsonDocument::fromJson(s.sortie).object();
        const QString copie = o.value(QStringLiteral("copie")).toString();
        QVERIFY2(QFileInfo(copie).fileName().startsWith(QStringLiteral("etat-remplace-")), qPrintable(s.texte()));
        QCOMPARE(o.value(QStringLiteral("message")).toString(),
                 QStringLiteral("Données importées. Les données remplacées sont gardées dans « ") + copie + QStringLiteral(" »."));
        QCOMPARE(QFileInfo(copie).absolutePath(), dossierVendalo());
        QCOMPARE(QJsonDocument::fromJson(lireFichier(copie)).object().value(QStringLiteral("contacts")).toArray().size(), 1);
        QCOMPARE(o.value(QStringLiteral("contacts")).toInt(), 0);
    }
};

QTEST_GUILESS_MAIN(TstCliSauvegarde)
#include "tst_cli_sauvegarde.moc"
