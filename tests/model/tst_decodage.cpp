// Lenient decoding of stored records: the seven rules and the record-level defaults.
#include "model/etat.h"
#include "model/texte.h"

#include <QJsonDocument>
#include <QTest>
#include <limits>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace vd::model;

namespace {
QJsonValue json(const char* texte) { return depuisTexteJson(QByteArray(texte)); }
QJsonObject objet(const char* texte) { return json(texte).toObject(); }
} // namespace

class TstDecodage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // What each lenient reader (text, number, integer) makes of one JSON value: "-" for no value, "*" for not checked.
    void lecteurs()
    {
        const char* const cas[][4] = {
            {R"("abc")", "abc", "-", "*"},    {"42", "42", "42", "42"},       {"42.0", "42", "*", "*"},          {"3.5", "3.5", "*", "*"},
            {"-7", "-7", "*", "*"},           {"1e15", "1e+15", "*", "-"},    // the integer limit is excluded
            {"999999999999999", "*", "*", "999999999999999"},                 {"-1e15", "*", "*", "-"},
            {"true", "true", "-", "*"},       {"false", "false", "*", "*"},   {"null", "-", "-", "*"},           {"{}", "-", "*", "*"},
            {"[1]", "-", "*", "*"},           {"12.5", "*", "12.5", "*"},     {R"("12,5")", "*", "12.5", "*"},   {R"("  7 ")", "*", "7", "*"},
            {R"("+3")", "*", "3", "*"},       {R"("")", "*", "-", "*"},       {R"("12abc")", "*", "-", "*"},     {R"("douze")", "*", "-", "*"},
            {R"("inf")", "*", "-", "*"},      {R"("1e999")", "*", "-", "*"},  {"2.5", "*", "*", "3"},            {"2.4", "*", "*", "2"},
            {R"("1200,6")", "*", "*", "1201"}};
        for (const auto& c : cas) {
            const QJsonValue v = json(c[0]);
            const auto n = lire::nombre(v);
            const auto e = lire::entier(v);
            const QString lus[] = {lire::texte(v).value_or(QStringLiteral("-")), n ? QString::number(*n, 'g', 17) : QStringLiteral("-"),
                                   e ? QString::number(*e) : QStringLiteral("-")};
            for (int i = 0; i < 3; ++i)
                if (qstrcmp(c[i + 1], "*") != 0)
                    QVERIFY2(lus[i] == QLatin1String(c[i + 1]), qPrintable(QString::fromUtf8(c[0]) + " → " + lus[i]));
        }
    }

    void infiniEstAbsent()
    {
        // A non-finite number can only reach us from code, never from JSON text.
        QCOMPARE(lire::nombre(QJsonValue(std::numeric_limits<double>::infinity())).has_value(), false);
        QCOMPARE(lire::entier(QJsonValue(std::numeric_limits<double>::quiet_NaN())).has_value(), false);
        const auto relu = Appel::depuisJson(versObjetJson(Appel{.duree = std::numeric_limits<double>::infinity()}));
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
        // The malformed elements are dropped, order kept; "Vous" is not "vous"; only prospect segments carry a voice, from 1.
        QStringList lus;
        for (const Segment& g : a->transcript)
            lus << g.locuteur + ' ' + QString::number(g.debutMs) + ' ' + (g.interlocuteur ? QString::number(*g.interlocuteur) : QStringLiteral("-"));
        QCOMPARE(lus, QStringList({"vous 0 -", "prospect 4200 -", "prospect 0 -", "prospect 0 2"}));
        QVERIFY(a->transcript[1].id.startsWith(QStringLiteral("s_4200_")));
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
        // Negative times are 0, a blank note is dropped, a recording without a file is none.
        QCOMPARE(QStringList({a->momentsMarques[0].id, QString::number(a->momentsMarques[1].tMs), QString::number(a->notes.size()), a->notes[0].id,
                              QString::number(a->phases->at(0).tMs)}),
                 QStringList({"mm_4200", "0", "1", "na_0", "0"}));
        QVERIFY(!a->momentsMarques[1].note && !a->enregistrement && !a->questionsCochees);
        const auto e = EnregistrementAppel::depuisJson(json(R"({"fichier":"a.mp4","dureeSec":-3,"taille":-1})"));
        QVERIFY(e->dureeSec == 0.0 && e->taille == 0 && e->video);
    }

    // opacity|detection|theme|text size; the other sections' unknown values replaced by their defaults.
    void reglagesSouffleur_data()
    {
        QTest::addColumn<QString>("souffleur");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("trop transparent") << R"({"opacite":0.3})" << "0.6|suggerer|sombre|moyen";
        QTest::newRow("trop opaque") << R"({"opacite":2})" << "1|suggerer|sombre|moyen";
        QTest::newRow("absent") << R"({})" << "0.96|suggerer|sombre|moyen";
        QTest::newRow("off et clair") << R"({"detection":"off","theme":"clair","tailleTexte":"grand"})" << "0.96|off|clair|grand";
        QTest::newRow("inconnus") << R"({"detection":"auto","theme":"rose","tailleTexte":"énorme","opacite":"0,7"})" << "0.7|suggerer|sombre|moyen";
    }
    void reglagesSouffleur()
    {
        QFETCH(QString, souffleur);
        const QByteArray texte = R"({"souffleur":)" + souffleur.toUtf8() + R"(,"audio":{"source":"micro"},"modeles":{"live":"","analyse":"claude-opus-5-5"},"transcription":{"moteur":"whisper"}})";
        const auto r = Reglages::depuisJson(json(texte.constData()));
        QVERIFY(r);
        const auto& f = r->souffleur;
        QTEST(QStringList({QString::number(f.opacite), f.detection, f.theme, f.tailleTexte}).join('|'), "attendu");
        QCOMPARE(f.animations, false);
        // An empty live model is replaced by the default.
        QCOMPARE(QStringList({r->audio.source, r->modeles.live, r->modeles.analyse, r->transcription.moteur}),
                 QStringList({"micro+mac", "claude-haiku-4-5", "claude-opus-5-5", "soniox"}));
    }

    void reglagesParDefaut()
    {
        const Reglages r = Reglages::depuisJson(QJsonObject()).value();
        QVERIFY(r.discret && r.enregistrement.actif && !r.conservationMois);
        QCOMPARE(QStringList({r.commercial.style, r.enregistrement.cible.type, r.quillo.qt().toObject().value(QStringLiteral("modele")).toString()}),
                 QStringList({"consultatif", "ecran", "claude-sonnet-5-5"}));
        QVERIFY(r.enregistrement.mention.startsWith(QStringLiteral("Pour un compte rendu fidèle")));
    }

    void etatRacine()
    {
        const auto e = Etat::depuisJson(objet(
            R"({"version":"x","contacts":"non","appels":[{"id":"a"},null],"questionsFavorites":[{"id":"q1","texte":"  "},{"id":"","texte":"Quoi ?"},{"id":"q2","texte":"Pourquoi ?"}],)"
            R"("frameworks":[{"id":"f1","etapes":[],"inconnu":{"garde":[1,2]}},{"id":""},{"nom":"sans id"}],"objectifs":[{"id":""},{"id":"o1","cible":"3"}],"quilloMemoire":["a",1,null]})"));
        QVERIFY(e);
        // version|contacts|calls|favourite questions|frameworks|goals: records without an id or text are dropped.
        QCOMPARE(QList<qint64>({e->version, e->contacts.size(), e->appels.size(), e->questionsFavorites.size(), e->frameworks.size(), e->objectifs.size()}),
                 QList<qint64>({2, 0, 1, 1, 1, 1}));
        QCOMPARE(e->questionsFavorites[0].id, QStringLiteral("q2"));
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
        e.appels = {{.id = "a1", .contactId = "c1", .transcript = {{"s1", "vous", "Bonjour \"Léa\"\n/\\", 0, 900, std::nullopt}},
                     .metriques = Metriques{61.5, 60, 40, 3, 12, 150, 1, 8}, .analyse = Analyse::depuisJson(objet(R"({"score":72,"libre":{"x":[true,null]}})")),
                     .qualification = QList<JSONValeur>{JSONValeur(objet(R"({"item":"budget"})"))}}};
        e.contacts = {{.id = "c1", .registre = RegistreContact{QStringLiteral("tu"), 0.8, std::nullopt, std::nullopt, std::nullopt}}};
        e.reglages.conservationMois = 6;
        const QByteArray texte = versTexteJson(e);
        QVERIFY(!texte.contains("\\/"));   // slashes are not escaped
        const auto relu = Etat::depuisJson(depuisTexteJson(texte));
        QVERIFY(relu);
        QCOMPARE(*relu, e);
        QCOMPARE(versTexteJson(*relu), texte);
    }

    void typeSuggere()
    {
        const std::pair<const char*, const char*> cas[] = {{"nouveau", "prospection"}, {"contacte", "decouverte"}, {"decouverte", "demo"},
                                                           {"demo", "suivi"},          {"proposition", "closing"}, {"negociation", "negociation"},
                                                           {"gagne", "upsell"},        {"perdu", "suivi"},         {"sommeil", "decouverte"}};
        for (const auto& [etape, type] : cas)
            QCOMPARE(typeAppelPourEtape(QString::fromLatin1(etape)), QString::fromLatin1(type));
    }
};

QTEST_GUILESS_MAIN(TstDecodage)
#include "tst_decodage.moc"
