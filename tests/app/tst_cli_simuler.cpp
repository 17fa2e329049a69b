// « vendalo simuler », run as the user would, on a private data folder.
// vd-test: timeout=180
#include "environnementvendalo.h"
#include <QSet>

class TstCliSimuler : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;

    using Sortie = SortieVendalo;
    Sortie lancer(const QStringList& args)
    {
        return lancerVendalo(environnementVendalo(dossier), QStringList{QStringLiteral("simuler")} + args, {}, 120000);
    }
    QJsonObject etatSurDisque() const { return ::etatSurDisque(dossier); }

private Q_SLOTS:
    void appelSimuleComplet()
    {
        // First run on an empty folder: the demonstration data come first.
        const Sortie s = lancer({QStringLiteral("--vitesse"), QStringLiteral("200")});
        QCOMPARE(s.code, 0);
        QVERIFY(s.erreurs.contains(QStringLiteral("Données de démo rechargées.")));
        const QJsonObject o = QJsonDocument::fromJson(s.sortie).object();
        const QJsonObject appel = o.value(QStringLiteral("appel")).toObject();
        QCOMPARE((QStringList{appel.value(QStringLiteral("source")).toString(), appel.value(QStringLiteral("statut")).toString(),
                              appel.value(QStringLiteral("contactId")).toString()}), (QStringList{"demo", "analyse", "c_morel"}));
        QVERIFY(appel.value(QStringLiteral("duree")).toDouble() > 60);
        // Analysed on the demonstration route, and the contact updated in the store.
        const QJsonObject analyse = appel.value(QStringLiteral("analyse")).toObject();
        const double score = analyse.value(QStringLiteral("score")).toDouble(-1);
        QVERIFY(score >= 0 && score <= 100);
        QVERIFY(!analyse.value(QStringLiteral("resume")).toString().isEmpty());
        const QString id = appel.value(QStringLiteral("id")).toString();
        QVERIFY(!parChamp(etatSurDisque().value(QStringLiteral("interactions")), id, QStringLiteral("appelId")).isEmpty());
        QSet<QString> locuteurs;
        qint64 precedent = -1;
        for (const QJsonValue& v : appel.value(QStringLiteral("transcript")).toArray()) {
            const QJsonObject seg = v.toObject();
            locuteurs.insert(seg.value(QStringLiteral("locuteur")).toString());
            QVERIFY(!seg.value(QStringLiteral("texte")).toString().isEmpty());
            QVERIFY(seg.value(QStringLiteral("id")).toString().startsWith(QStringLiteral("sg")));
            const qint64 debut = seg.value(QStringLiteral("debutMs")).toInteger();
            QVERIFY(debut >= precedent);   // the script's turns come in order, on the call's clock
            precedent = debut;
        }
        QCOMPARE(locuteurs, (QSet<QString>{QStringLiteral("vous"), QStringLiteral("prospect")}));
        const QJsonArray detections = appel.value(QStringLiteral("detections")).toArray();
        QVERIFY(!detections.isEmpty());
        QVERIFY(!parChamp(detections, QStringLiteral("prix"), QStringLiteral("categorie")).isEmpty());
        const QJsonObject metriques = appel.value(QStringLiteral("metriques")).toObject();
        QVERIFY(metriques.value(QStringLiteral("nbEchanges")).toInt() > 4);
        QVERIFY(metriques.value(QStringLiteral("questionsVous")).toInt() > 0);
        QCOMPARE(metriques.value(QStringLiteral("partVous")).toInt() + metriques.value(QStringLiteral("partProspect")).toInt(), 100);
        const QJsonObject synthese = o.value(QStringLiteral("syntheseFin")).toObject();
        QCOMPARE(synthese.value(QStringLiteral("enCours")).toBool(true), false);
        QCOMPARE(synthese.value(QStringLiteral("appelId")).toString(), id);
        QVERIFY(!synthese.value(QStringLiteral("recap")).toObject().value(QStringLiteral("points")).toArray().isEmpty());
        QCOMPARE(synthese.value(QStringLiteral("objections")).toArray(), detections);

        // The call is on disk, in the normal data folder, beside the demonstration data.
        const QJsonObject etat = etatSurDisque();
        QVERIFY(etat.value(QStringLiteral("reglages")).toObject().value(QStringLiteral("onboarde")).toBool());
        QCOMPARE(parChamp(etat.value(QStringLiteral("appels")), id).size(), 1);

        // A second run keeps the data and adds one more call; this one plays the script again and
        // again until the call lasts ten minutes.
        const int avant = etat.value(QStringLiteral("appels")).toArray().size();
        const Sortie s2 = lancer({"--vitesse", "200", "--duree", "10"});
        QCOMPARE(s2.code, 0);
        QVERIFY(!s2.erreurs.contains(QStringLiteral("Données de démo rechargées.")));
        QCOMPARE(etatSurDisque().value(QStringLiteral("appels")).toArray().size(), avant + 1);
        const QJsonObject long_ = QJsonDocument::fromJson(s2.sortie).object().value(QStringLiteral("appel")).toObject();
        QCOMPARE(long_.value(QStringLiteral("statut")).toString(), QStringLiteral("analyse"));
        QVERIFY2(long_.value(QStringLiteral("duree")).toDouble() >= 600, qPrintable(QString::number(long_.value(QStringLiteral("duree")).toDouble())));
        const QJsonArray transcript = long_.value(QStringLiteral("transcript")).toArray();
        const qsizetype unePartie = appel.value(QStringLiteral("transcript")).toArray().size();
        QVERIFY(unePartie > 0);
        QVERIFY(transcript.size() >= 3 * unePartie);
        // The rounds follow one another on the call's clock, ending after ten minutes.
        QVERIFY(transcript.last().toObject().value(QStringLiteral("finMs")).toInteger() >= 600000);
        QCOMPARE(transcript.at(unePartie).toObject().value(QStringLiteral("texte")), transcript.at(0).toObject().value(QStringLiteral("texte")));
    }

    void mauvaisesOptions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("vitesse nulle") << QStringList{"--vitesse", "0"} << 2 << "Vitesse invalide : « 0 ». Donnez un nombre entre 0,1 et 200.";
        QTest::newRow("vitesse illisible") << QStringList{"--vitesse", "vite"} << 2
                                           << "Vitesse invalide : « vite ». Donnez un nombre entre 0,1 et 200.";
        QTest::newRow("durée nulle") << QStringList{"--duree", "0"} << 2
                                     << "Durée invalide : « 0 ». Donnez un nombre de minutes entre 0 et 240.";
        QTest::newRow("durée illisible") << QStringList{"--duree", "longue"} << 2
                                         << "Durée invalide : « longue ». Donnez un nombre de minutes entre 0 et 240.";
        QTest::newRow("durée trop longue") << QStringList{"--duree", "241"} << 2
                                           << "Durée invalide : « 241 ». Donnez un nombre de minutes entre 0 et 240.";
        QTest::newRow("option inconnue") << QStringList{"--lent"} << 2 << "Utilisation : vendalo simuler [--scenario ID] [--vitesse X] [--duree MINUTES]";
        QTest::newRow("scénario absent") << QStringList{"--scenario", "inconnu", "--vitesse", "200"} << 1
                                         << "Ce scénario de démonstration n'existe pas : inconnu.";
    }
    void mauvaisesOptions()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        const Sortie s = lancer(args);
        QCOMPARE(s.code, code);
        QVERIFY2(s.erreurs.contains(message), qPrintable(s.erreurs));
        QVERIFY(s.sortie.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstCliSimuler)
#include "tst_cli_simuler.moc"
