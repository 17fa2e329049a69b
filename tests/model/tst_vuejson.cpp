// The store's JSON reader: accepts exactly valid JSON and reads strings, numbers and nesting right.
#include "model/vuejson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace vd::model;

class TstVueJson : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void validite_data()
    {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<bool>("valide");
        QTest::newRow("objet") << QByteArray("{\"a\":1}") << true;
        QTest::newRow("imbriqué") << QByteArray(" {\"a\":[1,{\"b\":[]},\"x\"],\"c\":{}} ") << true;
        QTest::newRow("scalaire") << QByteArray("42") << true;
        QTest::newRow("vide") << QByteArray("") << false;
        QTest::newRow("virgule finale objet") << QByteArray("{\"a\":1,}") << false;
        QTest::newRow("virgule finale liste") << QByteArray("[1,]") << false;
        QTest::newRow("deux virgules") << QByteArray("[1,,2]") << false;
        QTest::newRow("clé non chaîne") << QByteArray("{a:1}") << false;
        QTest::newRow("sans deux-points") << QByteArray("{\"a\" 1}") << false;
        QTest::newRow("non fermé") << QByteArray("{\"a\":[1,2}") << false;
        QTest::newRow("fermeture croisée") << QByteArray("[{]}") << false;
        QTest::newRow("déchet après") << QByteArray("{} x") << false;
        QTest::newRow("zéro initial") << QByteArray("[01]") << false;
        QTest::newRow("point seul") << QByteArray("[1.]") << false;
        QTest::newRow("exposant") << QByteArray("[-1.5e+3]") << true;
        QTest::newRow("littéral faux") << QByteArray("[tru]") << false;
        QTest::newRow("échappement inconnu") << QByteArray("[\"\\x\"]") << false;
        QTest::newRow("contrôle brut") << QByteArray("[\"a\nb\"]") << false;
        QTest::newRow("guillemet échappé") << QByteArray("[\"a\\\"b\"]") << true;
        QTest::newRow("chaîne non fermée") << QByteArray("[\"abc]") << false;
        QTest::newRow("trop profond") << QByteArray(600, '[') + QByteArray(600, ']') << false;
    }
    void validite()
    {
        QFETCH(QByteArray, texte);
        QFETCH(bool, valide);
        QCOMPARE(DocJson::analyser(texte) != nullptr, valide);
    }

    void lecture()
    {
        const QByteArray texte = "{\"t\":\"é\\u00e9\\ud83d\\ude00\\n\\\"\\/\",\"n\":-12.5,\"i\":3,\"b\":true,\"z\":null,"
                                 "\"l\":[1,\"deux\",[3]],\"o\":{\"x\":{\"y\":2}},\"t\":\"second\",\"grand\":1e999}";
        const auto doc = DocJson::analyser(texte);
        QVERIFY(doc);
        const VueJson r = doc->racine();
        QCOMPARE(r.champ("t").toString(), QStringLiteral("second"));   // the last of two equal keys
        QCOMPARE(DocJson::analyser("[\"é\\u00e9\\ud83d\\ude00\\n\\\"\\/\"]")->racine().begin().operator*().toString(), QString::fromUtf8("éé😀\n\"/"));
        QCOMPARE(r.champ("n").toDouble(), -12.5);
        QVERIFY(r.champ("b").toBool());
        QVERIFY(r.champ("z").isNull());
        QVERIFY(!r.champ("absent").existe());
        QCOMPARE(r.champ("l").taille(), qsizetype(3));
        QStringList vus;
        for (const VueJson& e : r.champ("l"))
            vus << (e.isDouble() ? QStringLiteral("n") : e.isString() ? e.toString() : e.isArray() ? QStringLiteral("[]") : QStringLiteral("?"));
        QCOMPARE(vus, QStringList({QStringLiteral("n"), QStringLiteral("deux"), QStringLiteral("[]")}));
        QCOMPARE(r.champ("o").champ("x").champ("y").toDouble(), 2.0);
        QVERIFY(std::isinf(r.champ("grand").toDouble()));
        QCOMPARE(r.champ("o").versQt(), QJsonValue(QJsonObject{{QStringLiteral("x"), QJsonObject{{QStringLiteral("y"), 2}}}}));
        QCOMPARE(r.champ("l").versQt(), QJsonValue(QJsonArray{1, QStringLiteral("deux"), QJsonArray{3}}));
        QVERIFY(r.champ("grand").versQt().isNull());
    }
};

QTEST_GUILESS_MAIN(TstVueJson)
#include "tst_vuejson.moc"
