// Reading model output: lenient text, vendor names, model labels, partial JSON, dates in free text.
#include "model/texte.h"

#include <QJsonDocument>
#include <QTest>

using namespace vd::model;

class TstTexte : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void texteSouple()
    {
        QCOMPARE(TexteSouple::depuisJson(QJsonValue(42)).valeur, std::optional<QString>(QStringLiteral("42")));
        QCOMPARE(TexteSouple::depuisJson(QJsonValue(42.0)).valeur, std::optional<QString>(QStringLiteral("42")));
        QCOMPARE(TexteSouple::depuisJson(QJsonValue(0.5)).valeur, std::optional<QString>(QStringLiteral("0.5")));
        QVERIFY(!TexteSouple::depuisJson(QJsonValue(true)).valeur);
        QVERIFY(!TexteSouple::depuisJson(QJsonValue(QJsonObject())).valeur);
        QCOMPARE(TexteSouple::depuisJson(QJsonValue(QStringLiteral(" tel quel "))).valeur, std::optional<QString>(QStringLiteral(" tel quel ")));
    }

    void neutraliser_data()
    {
        QTest::addColumn<QString>("entree");
        QTest::addColumn<QString>("sortie");
        QTest::newRow("marque, famille et version") << "Réponse de Claude Sonnet 4.5 ici" << "Réponse de Quillo ici";
        QTest::newRow("éditeur") << "Anthropic dit non" << "Quillo dit non";
        QTest::newRow("famille seule") << "Opus est lent" << "Quillo est lent";
        QTest::newRow("famille et version") << "Haiku 4 répond" << "Quillo répond";
        QTest::newRow("transcription et modèle") << "Deepgram Nova-3 a coupé" << "transcription a coupé";
        QTest::newRow("transcription seule") << "erreur Soniox" << "erreur transcription";
        QTest::newRow("casse respectée") << "claude et soniox" << "claude et soniox";
        QTest::newRow("rien") << "Bonjour" << "Bonjour";
    }
    void neutraliser()
    {
        QFETCH(QString, entree);
        QFETCH(QString, sortie);
        QCOMPARE(vd::model::neutraliser(entree), sortie);
    }

    void fournisseur()
    {
        QCOMPARE((QList<bool>{nommeUnFournisseur(QStringLiteral("Invalid Anthropic key")), nommeUnFournisseur(QStringLiteral("GPT quota")),
                              nommeUnFournisseur(QStringLiteral("GPTs")), nommeUnFournisseur(QStringLiteral("Clé refusée"))}),
                 (QList<bool>{true, true, false, false}));   // whole words only
        QCOMPARE((QStringList{libelleModele(QStringLiteral("claude-opus-5-5")), libelleModele(QStringLiteral("CLAUDE-HAIKU-4-5")),
                              libelleModele(QStringLiteral("claude-sonnet-5-5"))}),
                 (QStringList{QStringLiteral("Analyse avancée"), QStringLiteral("Analyse rapide"), QStringLiteral("Analyse")}));
    }

    void partiel_data()
    {
        QTest::addColumn<QString>("entree");
        QTest::addColumn<QString>("attendu");   // compact JSON, or "<none>"
        QTest::newRow("chaîne coupée") << "{\"reponse\":\"Je compr" << "{\"reponse\":\"Je compr\"}";
        QTest::newRow("virgule finale") << "{\"a\":1," << "{\"a\":1}";
        QTest::newRow("deux-points") << "{\"a\":1,\"b\":" << "{\"a\":1}";
        QTest::newRow("clé coupée") << "{\"a\":1,\"b" << "{\"a\":1}";
        QTest::newRow("imbriqué") << "{\"l\":[{\"x\":\"y\"},{\"x\":\"z" << "{\"l\":[{\"x\":\"y\"},{\"x\":\"z\"}]}";
        QTest::newRow("littéral coupé") << "{\"a\":[1,tr" << "{\"a\":[1]}";
        QTest::newRow("littéral entier") << "{\"a\":true" << "{\"a\":true}";
        QTest::newRow("nombre coupé au signe") << "{\"a\":-" << "{}";
        QTest::newRow("nombre complet") << "{\"a\":12" << "{\"a\":12}";
        QTest::newRow("échappement coupé") << "{\"a\":\"x\\" << "{\"a\":\"x\"}";
        QTest::newRow("unicode coupé") << "{\"a\":\"x\\u00" << "{\"a\":\"x\"}";
        QTest::newRow("espaces") << "  {\"a\" : 1 , \n" << "{\"a\":1}";
        QTest::newRow("vide") << "" << "<none>";
        QTest::newRow("fermeture fausse") << "{\"a\":1]}" << "<none>";
        QTest::newRow("texte libre") << "Bonjour" << "<none>";
        QTest::newRow("complet") << "{\"a\":[1,2]}" << "{\"a\":[1,2]}";
    }
    void partiel()
    {
        QFETCH(QString, entree);
        QFETCH(QString, attendu);
        const auto v = completerJsonPartiel(entree);
        if (attendu == QLatin1String("<none>")) {
            QVERIFY(!v);
            return;
        }
        QVERIFY2(v, qPrintable(entree));
        QCOMPARE(QString::fromUtf8(QJsonDocument(v->toObject()).toJson(QJsonDocument::Compact)), attendu);
    }

    void partielUtf8Coupe()
    {
        // "é" is two bytes: a read that stops between them still completes.
        QByteArray b = QStringLiteral("{\"a\":\"été").toUtf8();
        b.chop(1);
        const auto v = completerJsonPartiel(b);
        QVERIFY(v);
        QCOMPARE(v->toObject().value(QStringLiteral("a")).toString(), QStringLiteral("ét"));
    }

    void partielProfond()
    {
        QByteArray b(100000, '[');
        QVERIFY(!completerJsonPartiel(b));   // refused, not a stack overflow
    }

    void date_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::addColumn<bool>("date");
        QTest::newRow("jour et heure") << "Rappeler jeudi 11 h" << true;
        QTest::newRow("indéfini") << "À définir" << false;
        QTest::newRow("indéfini sans accent") << "a definir plus tard" << false;
        QTest::newRow("indéfini avec chiffre") << "À définir, le 12" << true;
        QTest::newRow("rien") << "Envoyer la proposition" << false;
        QTest::newRow("email n'est pas mai") << "Envoyer l'email" << false;
        QTest::newRow("mai") << "Relancer en mai" << true;
        QTest::newRow("aujourd'hui typographique") << "Aujourd’hui après le déjeuner" << true;
        QTest::newRow("semaine prochaine") << "La  semaine\tprochaine" << true;
        QTest::newRow("février accentué") << "Début février" << true;
        QTest::newRow("anglais") << "Call back tomorrow" << true;
        QTest::newRow("vide") << "   " << false;
        QTest::newRow("demain dans un mot") << "Lesdemaines" << false;
    }
    void date()
    {
        QFETCH(QString, texte);
        QFETCH(bool, date);
        QCOMPARE(dateDansTexte(texte), date);
    }

    void pliage()
    {
        QCOMPARE((QStringList{plier(QStringLiteral("  Élan   d’été\n")), plier(QStringLiteral("ŒUVRE Ça")), plier(QStringLiteral("‘Quoi’"))}),
                 (QStringList{QStringLiteral("elan d'ete"), QStringLiteral("oeuvre ca"), QStringLiteral("'quoi'")}));
    }

    void horodatages()
    {
        const QDateTime t(QDate(2026, 3, 2), QTime(9, 5, 7, 120), Qt::UTC);
        QCOMPARE(horodatage(t), QStringLiteral("2026-03-02T09:05:07.120Z"));
        QCOMPARE(lireHorodatage(QStringLiteral("2026-03-02T09:05:07.120Z")).value(), t);
        QCOMPARE(lireHorodatage(QStringLiteral("2026-03-02T10:05:07+01:00")).value().toUTC(), QDateTime(QDate(2026, 3, 2), QTime(9, 5, 7), Qt::UTC));
        QVERIFY(!lireHorodatage(QStringLiteral("hier")));
    }
};

QTEST_GUILESS_MAIN(TstTexte)
#include "tst_texte.moc"
