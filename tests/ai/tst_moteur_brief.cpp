// The shipped moteur.js on the pre-call brief: task input, request body and
// output schema, the canned answer of the demonstration route, and the
// normalisers that read the model's steps and qualification.
#include "ai/moteur.h"
#include "model/appel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace vd::ai;

namespace {

QJsonObject parametres(const QString& contact, const QString& type, const QString& objectif = {}, const QString& langue = {})
{
    return {{QStringLiteral("contactId"), contact}, {QStringLiteral("type"), type}, {QStringLiteral("objectif"), objectif},
            {QStringLiteral("methode"), QString()}, {QStringLiteral("langue"), langue}};
}

QJsonObject objetDe(const QString& texte) { return QJsonDocument::fromJson(texte.toUtf8()).object(); }

QStringList cles(const QJsonArray& a)
{
    QStringList r;
    for (const QJsonValue& v : a)
        r << v.toString();
    return r;
}

} // namespace

class TstMoteurBrief : public QObject {
    Q_OBJECT
    Moteur m{QStringLiteral(VD_RESOURCES_DIR "/moteur.js")};

    QJsonValue json(const QString& f, const Moteur::Arguments& a = {})
    {
        auto r = m.appelerJSON(f, a);
        if (!r)
            qWarning() << f << r.erreur().description();
        return r ? r.valeur() : QJsonValue(QJsonValue::Undefined);
    }
    QJsonObject payload(const QJsonObject& p) { return json(QStringLiteral("payloadBrief"), {p}).toObject(); }

private Q_SLOTS:
    void initTestCase()
    {
        const QJsonValue etat = json(QStringLiteral("etatDemo"), {QStringLiteral("2026-12-07T10:00:00")});
        QVERIFY(etat.isObject());
        QVERIFY(m.appeler(QStringLiteral("chargerEtat"), {etat}));
    }

    void payloadDuContact()
    {
        const QJsonObject p = payload(parametres(QStringLiteral("c_garnier"), QStringLiteral("negociation"), QStringLiteral("Signer avant vendredi")));
        QCOMPARE(p.value(QStringLiteral("tache")).toString(), QStringLiteral("brief"));
        QCOMPARE(p.value(QStringLiteral("type")).toString(), QStringLiteral("negociation"));
        QCOMPARE(p.value(QStringLiteral("objectif")).toString(), QStringLiteral("Signer avant vendredi"));
        // Empty settings take the stored ones.
        QCOMPARE(p.value(QStringLiteral("langue")).toString(), QStringLiteral("fr"));
        QCOMPARE(p.value(QStringLiteral("methode")).toString(), QStringLiteral("aucune"));
        const QJsonObject contact = p.value(QStringLiteral("contact")).toObject();
        QCOMPARE(contact.value(QStringLiteral("societe")).toString(), QStringLiteral("Lumen Facility"));
        QCOMPARE(p.value(QStringLiteral("appelsPasses")).toArray().size(), 1);
        QCOMPARE(p.value(QStringLiteral("entreprise")).toObject().value(QStringLiteral("nom")).toString(), QStringLiteral("Tempora"));
        // The steps of the sales process that apply to a negotiation, and the qualification grid.
        QCOMPARE(p.value(QStringLiteral("etapes")).toArray().size(), 2);
        QCOMPARE(p.value(QStringLiteral("grille")).toObject().value(QStringLiteral("items")).toArray().size(), 4);
        QCOMPARE(p.value(QStringLiteral("parametres")).toObject().value(QStringLiteral("contactId")).toString(), QStringLiteral("c_garnier"));
    }

    void contactIntrouvable_data()
    {
        QTest::addColumn<QJsonValue>("entree");
        QTest::newRow("inconnu") << QJsonValue(parametres(QStringLiteral("c_absent"), QStringLiteral("suivi")));
        QTest::newRow("sans contact") << QJsonValue(parametres(QString(), QStringLiteral("suivi")));
        QTest::newRow("pas du JSON") << QJsonValue(QStringLiteral("brief"));
    }
    void contactIntrouvable()
    {
        QFETCH(QJsonValue, entree);
        auto r = m.appelerJSON(QStringLiteral("payloadBrief"), {entree});
        QVERIFY(!r);
        QCOMPARE(r.erreur().description(), QStringLiteral("Ce contact est introuvable : choisissez-en un autre pour préparer le brief."));
    }

    void corpsDeLaRequete()
    {
        const QJsonObject p = payload(parametres(QStringLiteral("c_garnier"), QStringLiteral("negociation")));
        const QJsonObject r = json(QStringLiteral("requete"), {QStringLiteral("brief"), p, QString()}).toObject();
        const QJsonObject corps = r.value(QStringLiteral("corps")).toObject();
        // No model given: the engine's default for briefs.
        QCOMPARE(corps.value(QStringLiteral("model")).toString(),
                 m.donnee(QStringLiteral("MODELES_DEFAUT")).toObject().value(QStringLiteral("brief")).toString());
        QCOMPARE(corps.value(QStringLiteral("max_tokens")).toInt(), r.value(QStringLiteral("maxTokens")).toInt());
        QVERIFY(corps.value(QStringLiteral("max_tokens")).toInt() >= 2000);
        QVERIFY(!corps.contains(QStringLiteral("stream")));
        const QString systeme = corps.value(QStringLiteral("system")).toString();
        QVERIFY(systeme.contains(QStringLiteral("écrivez tout en français, phrases à dire comprises")));
        QVERIFY(systeme.contains(QStringLiteral("vouvoient")));
        const QJsonArray messages = corps.value(QStringLiteral("messages")).toArray();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.at(0).toObject().value(QStringLiteral("role")).toString(), QStringLiteral("user"));
        const QString contenu = messages.at(0).toObject().value(QStringLiteral("content")).toString();
        for (const QString& attendu : {QStringLiteral("APPEL À PRÉPARER"), QStringLiteral("Type d'appel : Négociation"), QStringLiteral("PROSPECT"),
                                       QStringLiteral("Sophie Garnier"), QStringLiteral("HISTORIQUE DU PROSPECT"), QStringLiteral("ENTREPRISE DU COMMERCIAL"),
                                       QStringLiteral("PROCESS DE VENTE DE L'ENTREPRISE POUR CET APPEL"), QStringLiteral("GRILLE DE QUALIFICATION"),
                                       QStringLiteral("déjà su : Comité de direction"), QStringLiteral("RÉPONSES PRÉPARÉES DE LA BIBLIOTHÈQUE"),
                                       QStringLiteral("QUESTIONS FAVORITES DU COMMERCIAL")})
            QVERIFY2(contenu.contains(attendu), qPrintable(attendu));

        // The output schema is the Brief record, every key required.
        const QJsonObject format = corps.value(QStringLiteral("output_config")).toObject().value(QStringLiteral("format")).toObject();
        QCOMPARE(format.value(QStringLiteral("type")).toString(), QStringLiteral("json_schema"));
        const QJsonObject schema = format.value(QStringLiteral("schema")).toObject();
        const QStringList attendues{QStringLiteral("pointsCles"), QStringLiteral("objectionsProbables"), QStringLiteral("questions"),
                                    QStringLiteral("objectifMesurable"), QStringLiteral("ouverture"), QStringLiteral("briefEtapes"),
                                    QStringLiteral("qualification")};
        QCOMPARE(cles(schema.value(QStringLiteral("required")).toArray()), attendues);
        QCOMPARE(schema.value(QStringLiteral("additionalProperties")).toBool(true), false);
        const QJsonObject props = schema.value(QStringLiteral("properties")).toObject();
        QCOMPARE(cles(props.value(QStringLiteral("objectionsProbables")).toObject().value(QStringLiteral("items")).toObject().value(QStringLiteral("required")).toArray()),
                 (QStringList{QStringLiteral("objection"), QStringLiteral("parade")}));
        QCOMPARE(cles(props.value(QStringLiteral("briefEtapes")).toObject().value(QStringLiteral("items")).toObject().value(QStringLiteral("required")).toArray()),
                 (QStringList{QStringLiteral("etapeId"), QStringLiteral("objectif"), QStringLiteral("questions"), QStringLiteral("transition")}));
        QCOMPARE(cles(props.value(QStringLiteral("qualification")).toObject().value(QStringLiteral("items")).toObject().value(QStringLiteral("required")).toArray()),
                 (QStringList{QStringLiteral("itemId"), QStringLiteral("nom"), QStringLiteral("connu"), QStringLiteral("manque"), QStringLiteral("question")}));
    }

    void langueEtRegistre_data()
    {
        QTest::addColumn<QString>("contact");
        QTest::addColumn<QString>("langue");
        QTest::addColumn<QString>("regle");
        QTest::addColumn<QString>("registre");
        QTest::newRow("français, vouvoiement") << "c_morel" << "fr" << "écrivez tout en français, phrases à dire comprises" << "vouvoient";
        QTest::newRow("anglais") << "c_morel" << "en" << "Écrivez en anglais tout ce que le commercial dit" << "vouvoient";
        QTest::newRow("tutoiement retenu") << "c_marchand" << "" << "écrivez tout en français" << "tutoient";
    }
    void langueEtRegistre()
    {
        QFETCH(QString, contact);
        QFETCH(QString, langue);
        QFETCH(QString, regle);
        QFETCH(QString, registre);
        const QJsonObject p = payload(parametres(contact, QStringLiteral("decouverte"), {}, langue));
        const QString systeme = json(QStringLiteral("requete"), {QStringLiteral("brief"), p, QStringLiteral("claude-opus-5-5")})
                                    .toObject().value(QStringLiteral("corps")).toObject().value(QStringLiteral("system")).toString();
        QVERIFY2(systeme.contains(regle), qPrintable(systeme));
        QVERIFY2(systeme.contains(registre), qPrintable(systeme));
    }

    void reponseDeDemonstration_data()
    {
        QTest::addColumn<QString>("contact");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("objectif");
        QTest::addColumn<QString>("objectifAttendu");
        QTest::addColumn<QString>("ouverture");
        QTest::newRow("négociation") << "c_garnier" << "negociation" << "" << "Trouver un accord validé par le décideur, sans remise sans contrepartie."
                                     << "Bonjour Sophie Garnier, ici Camille, de Tempora. Comme convenu";
        QTest::newRow("prospection") << "c_benali" << "prospection" << "Décrocher un rendez-vous" << "Décrocher un rendez-vous."
                                     << "Bonjour Karim Benali, ici Camille, de Tempora. Avez-vous deux minutes ?";
        QTest::newRow("tutoiement") << "c_marchand" << "demo" << "" << "Faire valider deux points montrés qui répondent aux douleurs dites, puis fixer la suite datée."
                                    << "Bonjour Élodie, c'est Camille, de Tempora.";
    }
    void reponseDeDemonstration()
    {
        QFETCH(QString, contact);
        QFETCH(QString, type);
        QFETCH(QString, objectif);
        const QJsonObject p = payload(parametres(contact, type, objectif));
        auto texte = m.appelerTexte(QStringLiteral("reponseDemo"), {QStringLiteral("brief"), p});
        QVERIFY(texte);
        const std::optional<vd::model::Brief> b = vd::model::Brief::depuisJson(QJsonValue(objetDe(texte.valeur())));
        QVERIFY(b);
        QVERIFY(b->pointsCles.size() >= 3);
        QVERIFY(b->objectionsProbables.size() >= 2);
        for (const auto& o : b->objectionsProbables)
            QVERIFY(!o.objection.isEmpty() && !o.parade.isEmpty());
        QVERIFY(b->questions.size() >= 3);
        QTEST(b->objectifMesurable, "objectifAttendu");
        QFETCH(QString, ouverture);
        QVERIFY2(b->ouverture.startsWith(ouverture), qPrintable(b->ouverture));
        QCOMPARE(b->briefEtapes.size(), p.value(QStringLiteral("etapes")).toArray().size());
        QCOMPARE(b->qualification.size(), 4);
        QVERIFY(b->pointsCles.first().contains(p.value(QStringLiteral("contact")).toObject().value(QStringLiteral("societe")).toString()));
    }

    void demonstrationSaitCeQuiEstConnu()
    {
        const QJsonObject p = payload(parametres(QStringLiteral("c_garnier"), QStringLiteral("negociation")));
        const auto b = vd::model::Brief::depuisJson(QJsonValue(objetDe(m.appelerTexte(QStringLiteral("reponseDemo"), {QStringLiteral("brief"), p}).valeur())));
        QVERIFY(b);
        QCOMPARE(b->qualification.at(2).itemId, QStringLiteral("decideur"));
        QCOMPARE(b->qualification.at(2).connu, QStringLiteral("Comité de direction ; Sophie Garnier porte le dossier"));
        // Its stored objection answer comes from the library, not a generic line.
        QCOMPARE(b->objectionsProbables.first().objection, QStringLiteral("C'est trop cher."));
        QVERIFY(b->objectionsProbables.first().parade.startsWith(QStringLiteral("Je comprends. Par rapport à quoi ?")));
    }

    // Apostrophes in raw strings are written \u0027: the moc of Qt 6.4 misreads a raw string holding one.
    void normaliserEtapes_data()
    {
        QTest::addColumn<QString>("reponse");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QString>("premierObjectif");
        QTest::newRow("ordre du process") << R"({"briefEtapes":[{"etapeId":"closing","objectif":"Signer","questions":["Quand ?"],"transition":""},
                                              {"etapeId":"negociation","objectif":"Tenir le prix","questions":"Qu\u0027est-ce qui bloque ?","transition":"Parlons valeur."}]})"
                                          << QStringList{"negociation", "closing"} << "Tenir le prix";
        QTest::newRow("étape inconnue écartée") << R"([{"etapeId":"demo","objectif":"Montrer"},{"etapeId":"closing","objectif":"Signer"}])"
                                                << QStringList{"closing"} << "Signer";
        QTest::newRow("retrouvée par son nom, objectif repris") << R"([{"etapeId":"Négociation","questions":["Et le prix ?"]}])"
                                                                << QStringList{"negociation"} << "Trouver un accord sans baisser le prix, en recadrant sur la valeur.";
        QTest::newRow("doublon et vide") << R"([{"etapeId":"closing","objectif":"A"},{"etapeId":"closing","objectif":"B"},{"etapeId":"negociation"}])"
                                         << QStringList{"closing"} << "A";
        QTest::newRow("objet indexé") << R"({"briefEtapes":{"closing":{"objectif":"Signer"}}})" << QStringList{"closing"} << "Signer";
        QTest::newRow("illisible") << "pas du JSON" << QStringList{} << "";
    }
    void normaliserEtapes()
    {
        QFETCH(QString, reponse);
        QFETCH(QStringList, ids);
        const QJsonObject p = payload(parametres(QStringLiteral("c_garnier"), QStringLiteral("negociation")));
        const QJsonArray a = json(QStringLiteral("normaliserBriefEtapes"), {reponse, p}).toArray();
        QStringList lus;
        for (const QJsonValue& v : a) {
            lus << v.toObject().value(QStringLiteral("etapeId")).toString();
            QVERIFY(v.toObject().value(QStringLiteral("questions")).isArray());
        }
        QCOMPARE(lus, ids);
        if (!a.isEmpty())
            QTEST(a.first().toObject().value(QStringLiteral("objectif")).toString(), "premierObjectif");
    }

    void normaliserQualification_data()
    {
        QTest::addColumn<QString>("reponse");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QStringList>("noms");
        QTest::newRow("ordre de la grille") << R"({"qualification":[{"itemId":"budget","nom":"","connu":"","manque":"Le montant","question":"Quel budget ?"},
                                                {"itemId":"douleur","nom":"Pain","connu":"Les urgences","manque":"","question":""}]})"
                                            << QStringList{"douleur", "budget"} << QStringList{"Douleur", "Budget"};
        QTest::newRow("item retrouvé par son nom") << R"([{"item":"x","nom":"Échéance","connu":"","manque":"La date","question":"Pour quand ?"}])"
                                                   << QStringList{"echeance"} << QStringList{"Échéance"};
        QTest::newRow("hors grille et vide écartés") << R"([{"itemId":"champion","nom":"Champion","manque":"Tout"},{"itemId":"budget"}])"
                                                     << QStringList{} << QStringList{};
        QTest::newRow("objet indexé") << R"({"qualification":{"decideur":{"connu":"Le comité"}}})" << QStringList{"decideur"} << QStringList{"Décideur"};
    }
    void normaliserQualification()
    {
        QFETCH(QString, reponse);
        QFETCH(QStringList, ids);
        QFETCH(QStringList, noms);
        const QJsonObject p = payload(parametres(QStringLiteral("c_garnier"), QStringLiteral("negociation")));
        QStringList lusIds, lusNoms;
        for (const QJsonValue& v : json(QStringLiteral("normaliserBriefQualification"), {reponse, p}).toArray()) {
            lusIds << v.toObject().value(QStringLiteral("itemId")).toString();
            lusNoms << v.toObject().value(QStringLiteral("nom")).toString();
        }
        QCOMPARE(lusIds, ids);
        QCOMPARE(lusNoms, noms);
    }

    void normalisationSansContexte()
    {
        // Without the task input, any step or item with content is kept as given.
        const QJsonArray e = json(QStringLiteral("normaliserBriefEtapes"), {QStringLiteral(R"([{"etapeId":"libre","objectif":"X"},{"objectif":"sans id"}])")}).toArray();
        QCOMPARE(e.size(), 1);
        QCOMPARE(e.at(0).toObject().value(QStringLiteral("etapeId")).toString(), QStringLiteral("libre"));
        const QJsonArray q = json(QStringLiteral("normaliserBriefQualification"), {QStringLiteral(R"([{"nom":"Autorité","manque":"Qui signe"}])")}).toArray();
        QCOMPARE(q.size(), 1);
        QCOMPARE(q.at(0).toObject().value(QStringLiteral("itemId")).toString(), QStringLiteral("autorite"));
    }
};

QTEST_GUILESS_MAIN(TstMoteurBrief)
#include "tst_moteur_brief.moc"
