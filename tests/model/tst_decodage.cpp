// Lenient decoding of stored records: the seven rules and the record-level defaults.
#include "model/etat.h"
#include "model/texte.h"

#include <QJsonDocument>
#include <QTest>
#include <limits>

using namespace vd::model;

namespace {
QJsonValue json(const char* texte) { return depuisTexteJson(QByteArray(texte)); }
QJsonObject objet(const char* texte) { return json(texte).toObject(); }
} // namespace

class TstDecodage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // What each lenient reader makes of one JSON value: "-" for no value, "*" for not checked.
    void lecteurs_data()
    {
        QTest::addColumn<QString>("valeur");
        QTest::addColumn<QString>("texte");
        QTest::addColumn<QString>("nombre");
        QTest::addColumn<QString>("entier");
        const auto row = [](const char* nom, const char* v, const char* t, const char* n, const char* e) { QTest::newRow(nom) << v << t << n << e; };
        row("chaîne", R"("abc")", "abc", "-", "*");
        row("entier", "42", "42", "42", "42");
        row("entier flottant", "42.0", "42", "*", "*");
        row("décimal", "3.5", "3.5", "*", "*");
        row("négatif", "-7", "-7", "*", "*");
        row("très grand", "1e15", "1e+15", "*", "-");   // the integer limit is excluded
        row("sous la limite", "999999999999999", "*", "*", "999999999999999");
        row("négatif limite", "-1e15", "*", "*", "-");
        row("vrai", "true", "true", "-", "*");
        row("faux", "false", "false", "*", "*");
        row("null", "null", "-", "-", "*");
        row("objet", "{}", "-", "*", "*");
        row("liste", "[1]", "-", "*", "*");
        row("nombre", "12.5", "*", "12.5", "*");
        row("virgule", R"("12,5")", "*", "12.5", "*");
        row("espaces", R"("  7 ")", "*", "7", "*");
        row("plus", R"("+3")", "*", "3", "*");
        row("vide", R"("")", "*", "-", "*");
        row("déchet final", R"("12abc")", "*", "-", "*");
        row("mot", R"("douze")", "*", "-", "*");
        row("infini texte", R"("inf")", "*", "-", "*");
        row("dépassement", R"("1e999")", "*", "-", "*");
        row("arrondi haut", "2.5", "*", "*", "3");
        row("arrondi bas", "2.4", "*", "*", "2");
        row("texte virgule", R"("1200,6")", "*", "*", "1201");
    }
    void lecteurs()
    {
        QFETCH(QString, valeur);
        QFETCH(QString, texte);
        QFETCH(QString, nombre);
        QFETCH(QString, entier);
        const QJsonValue v = json(valeur.toUtf8().constData());
        const auto n = lire::nombre(v);
        const auto e = lire::entier(v);
        const QStringList lus{lire::texte(v).value_or(QStringLiteral("-")), n ? QString::number(*n, 'g', 17) : QStringLiteral("-"),
                              e ? QString::number(*e) : QStringLiteral("-")};
        const QStringList attendus{texte, nombre, entier};
        for (int i = 0; i < 3; ++i)
            if (attendus[i] != QLatin1String("*"))
                QCOMPARE(lus[i], attendus[i]);
    }

    void infiniEstAbsent()
    {
        // A non-finite number can only reach us from code, never from JSON text.
        QCOMPARE(lire::nombre(QJsonValue(std::numeric_limits<double>::infinity())).has_value(), false);
        QCOMPARE(lire::entier(QJsonValue(std::numeric_limits<double>::quiet_NaN())).has_value(), false);
        Appel a;
        a.duree = std::numeric_limits<double>::infinity();
        const auto relu = Appel::depuisJson(versObjetJson(a));
        QVERIFY(relu);
        QCOMPARE(relu->duree, 0.0);   // written as null, read as missing
    }

    // statut|type|methode|source|contactId|duree|objectif; an empty optional text is none.
    void appelSouple_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("champs");
        QTest::newRow("par défaut") << R"({"id":"a1"})" << "analyse|decouverte|aucune|demo|-|0|";
        QTest::newRow("en cours") << R"({"statut":"en_cours"})" << "en_cours|decouverte|aucune|demo|-|0|";
        QTest::newRow("types souples") << R"({"duree":"12,5","type":3,"contactId":"","objectif":true})" << "analyse|3|aucune|demo|-|12.5|true";
        QTest::newRow("illisibles") << R"({"duree":"douze","type":true})" << "analyse|true|aucune|demo|-|0|";
    }
    void appelSouple()
    {
        QFETCH(QString, json);
        const auto a = Appel::depuisJson(objet(json.toUtf8().constData()));
        QVERIFY(a);
        QTEST(QStringList({a->statut, a->type, a->methode, a->source, a->contactId.value_or(QStringLiteral("-")), QString::number(a->duree), a->objectif})
                  .join(QLatin1Char('|')), "champs");
        QCOMPARE(Appel().statut, QStringLiteral("en_cours"));   // a new call runs
    }

    void segments()
    {
        const auto a = Appel::depuisJson(objet(
            R"({"transcript":[{"id":"x","locuteur":"vous","texte":"un","interlocuteur":2},5,)"
            R"({"locuteur":"Vous","texte":"deux","debutMs":"4200"},"mauvais",{"locuteur":"prospect","texte":"trois","interlocuteur":0},)"
            R"({"locuteur":"prospect","texte":"quatre","interlocuteur":2.4}]})"));
        QCOMPARE(a->transcript.size(), 4);   // the malformed elements are dropped, order kept
        QCOMPARE(a->transcript[0].locuteur, QStringLiteral("vous"));
        QVERIFY(!a->transcript[0].interlocuteur);   // only prospect segments carry a voice
        QCOMPARE(a->transcript[1].locuteur, QStringLiteral("prospect"));   // "Vous" is not "vous"
        QCOMPARE(a->transcript[1].debutMs, qint64(4200));
        QVERIFY(a->transcript[1].id.startsWith(QStringLiteral("s_4200_")));
        QVERIFY(!a->transcript[2].interlocuteur);   // below 1
        QCOMPARE(a->transcript[3].interlocuteur, std::optional<qint64>(2));
    }

    void identifiantSegmentStable()
    {
        // Fixed hash: the same text gives the same identifier on every run and machine.
        QCOMPARE(Segment::idPour(1200, QStringLiteral("Bonjour")), QStringLiteral("s_1200_88416"));
        QCOMPARE(Segment::idPour(0, QString()), QStringLiteral("s_0_%1").arg(2166136261u % 100000u));
        QVERIFY(Segment::idPour(0, QStringLiteral("é")) != Segment::idPour(0, QStringLiteral("e")));
    }

    void momentsNotesEnregistrement()
    {
        const auto a = Appel::depuisJson(objet(
            R"({"momentsMarques":[{"id":"","tMs":4200},{"tMs":-5,"note":""}],)"
            R"("notes":[{"texte":"  \n "},{"texte":"Rappeler","tMs":-1}],)"
            R"("enregistrement":{"fichier":""},"phases":[{"phase":"x","tMs":-3}],"questionsCochees":"pas une liste"})"));
        QCOMPARE(a->momentsMarques[0].id, QStringLiteral("mm_4200"));
        QCOMPARE(a->momentsMarques[1].tMs, qint64(0));
        QVERIFY(!a->momentsMarques[1].note);
        QCOMPARE(a->notes.size(), 1);   // blank note dropped
        QCOMPARE(a->notes[0].id, QStringLiteral("na_0"));
        QVERIFY(!a->enregistrement);    // a recording without a file is none
        QCOMPARE(a->phases->at(0).tMs, qint64(0));
        QVERIFY(!a->questionsCochees);
        const auto e = EnregistrementAppel::depuisJson(json(R"({"fichier":"a.mp4","dureeSec":-3,"taille":-1})"));
        QCOMPARE(e->dureeSec, 0.0);
        QCOMPARE(e->taille, qint64(0));
        QCOMPARE(e->video, true);
    }

    void reglagesSouffleur_data()
    {
        QTest::addColumn<QString>("souffleur");
        QTest::addColumn<double>("opacite");
        QTest::addColumn<QString>("detection");
        QTest::addColumn<QString>("theme");
        QTest::addColumn<QString>("taille");
        QTest::newRow("trop transparent") << R"({"opacite":0.3})" << 0.6 << "suggerer" << "sombre" << "moyen";
        QTest::newRow("trop opaque") << R"({"opacite":2})" << 1.0 << "suggerer" << "sombre" << "moyen";
        QTest::newRow("absent") << R"({})" << 0.96 << "suggerer" << "sombre" << "moyen";
        QTest::newRow("off et clair") << R"({"detection":"off","theme":"clair","tailleTexte":"grand"})" << 0.96 << "off" << "clair" << "grand";
        QTest::newRow("inconnus") << R"({"detection":"auto","theme":"rose","tailleTexte":"énorme","opacite":"0,7"})" << 0.7 << "suggerer" << "sombre" << "moyen";
    }
    void reglagesSouffleur()
    {
        QFETCH(QString, souffleur);
        QFETCH(double, opacite);
        QFETCH(QString, detection);
        QFETCH(QString, theme);
        QFETCH(QString, taille);
        const QByteArray texte = R"({"souffleur":)" + souffleur.toUtf8() + R"(,"audio":{"source":"micro"},"modeles":{"live":"","analyse":"claude-opus-5-5"},"transcription":{"moteur":"whisper"}})";
        const auto r = Reglages::depuisJson(json(texte.constData()));
        QVERIFY(r);
        QCOMPARE(r->souffleur.opacite, opacite);
        QCOMPARE(r->souffleur.detection, detection);
        QCOMPARE(r->souffleur.theme, theme);
        QCOMPARE(r->souffleur.tailleTexte, taille);
        QCOMPARE(r->souffleur.animations, false);
        QCOMPARE(r->audio.source, QStringLiteral("micro+mac"));
        QCOMPARE(r->modeles.live, QStringLiteral("claude-haiku-4-5"));   // empty is replaced by the default
        QCOMPARE(r->modeles.analyse, QStringLiteral("claude-opus-5-5"));
        QCOMPARE(r->transcription.moteur, QStringLiteral("soniox"));
    }

    void reglagesParDefaut()
    {
        const Reglages r = Reglages::depuisJson(QJsonObject()).value();
        QCOMPARE(r.discret, true);
        QCOMPARE(r.commercial.style, QStringLiteral("consultatif"));
        QCOMPARE(r.enregistrement.actif, true);
        QCOMPARE(r.enregistrement.cible.type, QStringLiteral("ecran"));
        QVERIFY(r.enregistrement.mention.startsWith(QStringLiteral("Pour un compte rendu fidèle")));
        QCOMPARE(r.quillo.qt().toObject().value(QStringLiteral("modele")).toString(), QStringLiteral("claude-sonnet-5-5"));
        QVERIFY(!r.conservationMois);
    }

    void etatRacine()
    {
        const auto e = Etat::depuisJson(objet(
            R"({"version":"x","contacts":"non","appels":[{"id":"a"},null],"questionsFavorites":[{"id":"q1","texte":"  "},{"id":"","texte":"Quoi ?"},{"id":"q2","texte":"Pourquoi ?"}],)"
            R"("frameworks":[{"id":"f1","etapes":[],"inconnu":{"garde":[1,2]}},{"id":""},{"nom":"sans id"}],"objectifs":[{"id":""},{"id":"o1","cible":"3"}],"quilloMemoire":["a",1,null]})"));
        QVERIFY(e);
        QCOMPARE(e->version, qint64(2));
        QCOMPARE(e->contacts.size(), 0);
        QCOMPARE(e->appels.size(), 1);
        QCOMPARE(e->questionsFavorites.size(), 1);
        QCOMPARE(e->questionsFavorites[0].id, QStringLiteral("q2"));
        QCOMPARE(e->frameworks.size(), 1);
        QCOMPARE(e->objectifs.size(), 1);
        QCOMPARE(e->objectifs[0].cible, 3.0);
        QCOMPARE(e->quilloMemoire, QStringList({QStringLiteral("a"), QStringLiteral("1")}));
        // Records owned by later features come back untouched.
        const QJsonObject encode = versObjetJson(*e);
        QCOMPARE(encode.value(QStringLiteral("frameworks")).toArray().at(0).toObject().value(QStringLiteral("inconnu")),
                 QJsonValue(objet(R"({"garde":[1,2]})")));
        QVERIFY(!Etat::depuisJson(json("[]")));
    }

    void allerRetour()
    {
        Etat e;
        Appel a;
        a.id = QStringLiteral("a1");
        a.contactId = QStringLiteral("c1");
        a.transcript = {Segment{QStringLiteral("s1"), QStringLiteral("vous"), QStringLiteral("Bonjour \"Léa\"\n/\\"), 0, 900, std::nullopt}};
        a.metriques = Metriques{61.5, 60, 40, 3, 12, 150, 1, 8};
        a.analyse = Analyse::depuisJson(objet(R"({"score":72,"libre":{"x":[true,null]}})"));
        a.qualification = QList<JSONValeur>{JSONValeur(objet(R"({"item":"budget"})"))};
        e.appels.append(a);
        Contact c;
        c.id = QStringLiteral("c1");
        c.registre = RegistreContact{QStringLiteral("tu"), 0.8, std::nullopt, std::nullopt, std::nullopt};
        e.contacts.append(c);
        e.reglages.conservationMois = 6;
        const QByteArray texte = versTexteJson(e);
        QVERIFY(!texte.contains("\\/"));   // slashes are not escaped
        const auto relu = Etat::depuisJson(depuisTexteJson(texte));
        QVERIFY(relu);
        QCOMPARE(*relu, e);
        QCOMPARE(versTexteJson(*relu), texte);
    }

    void typeSuggere_data()
    {
        QTest::addColumn<QString>("etape");
        QTest::addColumn<QString>("type");
        QTest::newRow("nouveau") << "nouveau" << "prospection";
        QTest::newRow("contacte") << "contacte" << "decouverte";
        QTest::newRow("decouverte") << "decouverte" << "demo";
        QTest::newRow("demo") << "demo" << "suivi";
        QTest::newRow("proposition") << "proposition" << "closing";
        QTest::newRow("negociation") << "negociation" << "negociation";
        QTest::newRow("gagne") << "gagne" << "upsell";
        QTest::newRow("perdu") << "perdu" << "suivi";
        QTest::newRow("autre") << "sommeil" << "decouverte";
    }
    void typeSuggere()
    {
        QFETCH(QString, etape);
        QFETCH(QString, type);
        QCOMPARE(typeAppelPourEtape(etape), type);
    }
};

QTEST_GUILESS_MAIN(TstDecodage)
#include "tst_decodage.moc"
