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
    void validite()
    {
        const QByteArray valides[] = {"{\"a\":1}", " {\"a\":[1,{\"b\":[]},\"x\"],\"c\":{}} ", "42", "[-1.5e+3]", "[\"a\\\"b\"]"};
        // Empty; trailing comma in an object, in a list; two commas; key not a string; no colon; not closed; crossed
        // closing; junk after; leading zero; bare point; bad literal; unknown escape; raw control; string not closed; too deep.
        const QByteArray invalides[] = {"",     "{\"a\":1,}", "[1,]",   "[1,,2]",     "{a:1}",     "{\"a\" 1}",    "{\"a\":[1,2}",
                                        "[{]}", "{} x",       "[01]",   "[1.]",       "[tru]",     "[\"\\x\"]",    "[\"a\nb\"]",
                                        "[\"abc]", QByteArray(600, '[') + QByteArray(600, ']')};
        for (const QByteArray& t : valides)
            QVERIFY2(DocJson::analyser(t), t.constData());
        for (const QByteArray& t : invalides)
            QVERIFY2(!DocJson::analyser(t), t.left(40).constData());
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
        QVERIFY(r.champ("b").toBool() && r.champ("z").isNull() && !r.champ("absent").existe());
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

    // Large files are read with the records of a few root arrays left unparsed in the
    // first pass: still checked whole, then each parsed on its own.
    void lectureDifferee()
    {
        OptionsDocJson options;
        options.tableauxDifferes = {QByteArrayLiteral("appels")};
        const QByteArray texte = "{\"appels\":[{\"id\":\"a\",\"t\":[1,{\"k\":[]}]},[2],3,{\"id\":\"b\"}],\"autre\":[{\"x\":1}],\"n\":{\"appels\":[{\"y\":2}]}}";
        const auto doc = DocJson::analyser(texte, options);
        QVERIFY(doc);
        const VueJson r = doc->racine();
        QStringList vus;
        for (const VueJson& e : r.champ("appels")) {
            if (!e.estDiffere()) {
                vus << QString::number(e.toDouble());
                continue;
            }
            const auto seul = e.analyserDiffere();
            QVERIFY(seul);
            vus << (seul->racine().isArray() ? QStringLiteral("[]") : seul->racine().champ("id").toString());
            e.liberer();   // a no-op on bytes that are not a file mapping
        }
        QCOMPARE(vus, QStringList({QStringLiteral("a"), QStringLiteral("[]"), QStringLiteral("3"), QStringLiteral("b")}));
        QCOMPARE(r.champ("appels").taille(), qsizetype(4));
        // Other arrays, and a nested member of the same name, are read as usual.
        QCOMPARE((*r.champ("autre").begin()).champ("x").toDouble(), 1.0);
        QCOMPARE((*r.champ("n").champ("appels").begin()).champ("y").toDouble(), 2.0);
        QCOMPARE(r.champ("n").versQt(), DocJson::analyser(texte)->racine().champ("n").versQt());
        // A fault inside an unparsed record still rejects the whole text.
        QVERIFY(!DocJson::analyser("{\"appels\":[{\"id\":\"a\",}]}", options));
        QVERIFY(!DocJson::analyser("{\"appels\":[{\"id\":[1,2}]}", options));
    }
};

QTEST_GUILESS_MAIN(TstVueJson)
#include "tst_vuejson.moc"
