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
    // score|objections|next steps|first next step.
    void lectureSouple_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("score en texte à virgule") << QByteArray(R"({"score": "71,6"})") << "72|0|0|";
        QTest::newRow("score hors bornes") << QByteArray(R"({"score": 140})") << "100|0|0|";
        QTest::newRow("score en mot") << QByteArray(R"({"score": "excellent", "verdict": "Bien"})") << "0|0|0|";
        QTest::newRow("objection seule, pas en liste") << QByteArray(R"({"objections": {"libelle": "Prix", "tMs": "1200"}})") << "0|1|0|";
        QTest::newRow("éléments illisibles écartés")
            << QByteArray(R"({"objections": [1, {"libelle": "Prix"}, null], "prochainesEtapes": ["Rappeler", {"action": "Devis"}, 3]})")
            << "0|1|2|Rappeler";
    }
    void lectureSouple()
    {
        QFETCH(QByteArray, json);
        auto a = Analyse::depuisJson(QJsonDocument::fromJson(json).object());
        QVERIFY(a);
        QTEST(QStringList({QString::number(a->score), QString::number(a->objections.size()), QString::number(a->prochainesEtapes.size()),
                           a->prochainesEtapes.value(0).action}).join('|'), "attendu");
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
        QCOMPARE(QString::number(a->dimensions.value("ecoute").score) + '|' + a->dimensions.value("valeur").preuve, QStringLiteral("64|on perd"));
        QVERIFY(!a->methode.frameworkId);
        QCOMPARE(a->methode.etapes.size(), 1);
        const EtapeMethode& e = a->methode.etapes[0];
        QCOMPARE(e.criteres.size(), 2);
        QVERIFY(!e.criteres[0].rempli && e.criteres[1].rempli && e.questions[0].posee);
        QCOMPARE(e.poids, std::optional<double>(30));
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
        for (const char* cle : {"nouveauChamp", "relances", "meta"})
            QCOMPARE(ecrit.value(cle), source.value(cle));
        QCOMPARE(ecrit.value("email").toObject().value("pieceJointe").toString(), QStringLiteral("devis.pdf"));
        QCOMPARE(ecrit.value("crm").toObject().value("score_interne").toInt(), 3);
        // Reading what was written gives the same record.
        QCOMPARE(Analyse::depuisJson(ecrit), a);
    }

    void avisCourt()
    {
        // A short-call notice up to 3 exchanges.
        QCOMPARE((QList<bool>{!avisAppelCourt(0).isEmpty(), !avisAppelCourt(3).isEmpty(), !avisAppelCourt(4).isEmpty()}),
                 (QList<bool>{true, true, false}));
    }
};

QTEST_GUILESS_MAIN(TestAnalyse)
#include "tst_analyse.moc"
