// Reading an analysis leniently and writing it back without losing anything.
#include "model/appel.h"

#include <QJsonDocument>
#include <QTest>

using namespace vd::model;

namespace {
QJsonObject objet(const char* json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}
} // namespace

class TestAnalyse : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lectureSouple_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<qint64>("score");
        QTest::addColumn<int>("objections");
        QTest::addColumn<int>("etapes");
        QTest::addColumn<QString>("premiereEtape");
        QTest::newRow("score en texte à virgule") << QByteArray(R"({"score": "71,6"})") << qint64(72) << 0 << 0 << QString();
        QTest::newRow("score hors bornes") << QByteArray(R"({"score": 140})") << qint64(100) << 0 << 0 << QString();
        QTest::newRow("score en mot") << QByteArray(R"({"score": "excellent", "verdict": "Bien"})") << qint64(0) << 0 << 0 << QString();
        QTest::newRow("objection seule, pas en liste")
            << QByteArray(R"({"objections": {"libelle": "Prix", "tMs": "1200"}})") << qint64(0) << 1 << 0 << QString();
        QTest::newRow("éléments illisibles écartés")
            << QByteArray(R"({"objections": [1, {"libelle": "Prix"}, null], "prochainesEtapes": ["Rappeler", {"action": "Devis"}, 3]})")
            << qint64(0) << 1 << 2 << QStringLiteral("Rappeler");
    }
    void lectureSouple()
    {
        QFETCH(QByteArray, json);
        QFETCH(qint64, score);
        QFETCH(int, objections);
        QFETCH(int, etapes);
        QFETCH(QString, premiereEtape);
        auto a = Analyse::depuisJson(QJsonDocument::fromJson(json).object());
        QVERIFY(a);
        QCOMPARE(a->score, score);
        QCOMPARE(a->objections.size(), objections);
        QCOMPARE(a->prochainesEtapes.size(), etapes);
        if (etapes)
            QCOMPARE(a->prochainesEtapes.first().action, premiereEtape);
    }

    void pasUnObjet()
    {
        QVERIFY(!Analyse::depuisJson(QJsonValue(QStringLiteral("texte"))));
        QVERIFY(!Analyse::depuisJson(QJsonValue()));
    }

    void dimensionsEtMethode()
    {
        auto a = Analyse::depuisJson(objet(R"({"dimensions": {"ecoute": 64, "valeur": {"score": "80", "preuve": "on perd"},
            "vide": "n/a"}, "methode": {"nom": "Vente courte", "frameworkId": "", "etapes": [{"id": "decouverte",
            "criteres": ["Besoin dit", {"texte": "Décideur", "rempli": true}], "questions": [{"texte": "Pourquoi ?", "posee": true}],
            "poids": "30"}]}})"));
        QVERIFY(a);
        QCOMPARE(a->dimensions.size(), 2);
        QCOMPARE(a->dimensions.value("ecoute").score, 64);
        QCOMPARE(a->dimensions.value("valeur").preuve, QStringLiteral("on perd"));
        QVERIFY(!a->methode.frameworkId);
        QCOMPARE(a->methode.etapes.size(), 1);
        const EtapeMethode& e = a->methode.etapes[0];
        QCOMPARE(e.criteres.size(), 2);
        QVERIFY(!e.criteres[0].rempli);
        QVERIFY(e.criteres[1].rempli);
        QCOMPARE(e.poids, std::optional<double>(30));
        QVERIFY(e.questions[0].posee);
    }

    void clesInconnuesConservees()
    {
        const QJsonObject source = objet(R"({"score": 60, "nouveauChamp": {"x": [1, 2]}, "email": {"objet": "Suite",
            "corps": "Bonjour", "pieceJointe": "devis.pdf"}, "crm": {"etapeSuggeree": "demo", "probabilite": "0,4",
            "champs": {"budget": "10 k€"}, "score_interne": 3}, "relances": {"etapes": []},
            "meta": {"modele": "claude-haiku-4-5"}})");
        auto a = Analyse::depuisJson(source);
        QVERIFY(a);
        QCOMPARE(a->crm.probabilite, 0.4);
        QCOMPARE(a->crm.champs.budget, QStringLiteral("10 k€"));
        const QJsonObject ecrit = versObjetJson(*a);
        QCOMPARE(ecrit.value("nouveauChamp"), source.value("nouveauChamp"));
        QCOMPARE(ecrit.value("email").toObject().value("pieceJointe").toString(), QStringLiteral("devis.pdf"));
        QCOMPARE(ecrit.value("crm").toObject().value("score_interne").toInt(), 3);
        QCOMPARE(ecrit.value("relances"), source.value("relances"));
        QCOMPARE(ecrit.value("meta"), source.value("meta"));
        // Reading what was written gives the same record.
        QCOMPARE(Analyse::depuisJson(ecrit), a);
    }

    void avisCourt_data()
    {
        QTest::addColumn<qint64>("echanges");
        QTest::addColumn<bool>("avis");
        QTest::newRow("3 échanges") << qint64(3) << true;
        QTest::newRow("4 échanges") << qint64(4) << false;
        QTest::newRow("0 échange") << qint64(0) << true;
    }
    void avisCourt()
    {
        QFETCH(qint64, echanges);
        QFETCH(bool, avis);
        QCOMPARE(!avisAppelCourt(echanges).isEmpty(), avis);
    }
};

QTEST_GUILESS_MAIN(TestAnalyse)
#include "tst_analyse.moc"
