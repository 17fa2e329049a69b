// The engine host on JavaScriptCore, with small scripts written for each case:
// loading failures, exception texts, decoding, numbers, data fallbacks, memo.
#include "ai/moteur.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace vd::ai;

namespace {

QByteArray scriptEssaiLu()
{
    QFile f(QStringLiteral(VD_SOURCE_DIR "/tests/ai/moteur_essai.js"));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("moteur_essai.js introuvable");
    return f.readAll();
}
const QByteArray scriptEssai = scriptEssaiLu();

} // namespace

class TstMoteurHote : public QObject {
    Q_OBJECT

    QTemporaryDir dossier;
    QString ecrire(const QString& nom, const QByteArray& contenu)
    {
        const QString chemin = dossier.filePath(nom);
        QFile f(chemin);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("écriture impossible");
        f.write(contenu);
        return chemin;
    }

private Q_SLOTS:
    void fichierAbsentEchecDefinitif()
    {
        const QString chemin = dossier.filePath(QStringLiteral("absent/moteur.js"));
        Moteur m(chemin);
        auto r = m.appeler(QStringLiteral("texte"));
        QVERIFY(!r);
        QCOMPARE(r.erreur().genre, ErreurMoteur::Genre::chargement);
        QCOMPARE(r.erreur().detail, QStringLiteral("Le fichier moteur.js est introuvable dans l'app."));
        QCOMPARE(r.erreur().description(), QStringLiteral("Le moteur n'a pas pu démarrer. Le fichier moteur.js est introuvable dans l'app."));
        // The file appears afterwards: no second attempt is made.
        QVERIFY(QDir().mkpath(dossier.filePath(QStringLiteral("absent"))));
        QFile f(chemin);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(scriptEssai);
        f.close();
        auto r2 = m.appelerTexte(QStringLiteral("texte"));
        QVERIFY(!r2);
        QCOMPARE(r2.erreur().genre, ErreurMoteur::Genre::chargement);
        QCOMPARE(m.charger(), std::optional<QString>(QStringLiteral("Le fichier moteur.js est introuvable dans l'app.")));
    }

    void echecsDeChargement_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("attendu");   // empty: any non-empty message other than the two fixed ones
        QTest::newRow("erreur de syntaxe") << QByteArray("var Moteur = {;") << QString();
        QTest::newRow("global absent") << QByteArray("var Autre = {};") << QStringLiteral("Le global Moteur est absent de moteur.js.");
        QTest::newRow("global null") << QByteArray("var Moteur = null;") << QStringLiteral("Le global Moteur est absent de moteur.js.");
        QTest::newRow("global indéfini") << QByteArray("var Moteur;") << QStringLiteral("Le global Moteur est absent de moteur.js.");
        QTest::newRow("exception au chargement") << QByteArray("throw new Error('Panne au chargement');") << QStringLiteral("Panne au chargement");
    }
    void echecsDeChargement()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, attendu);
        Moteur m(ecrire(QStringLiteral("charge_%1.js").arg(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_')), script));
        auto r = m.appelerNombre(QStringLiteral("nombre"));
        QVERIFY(!r);
        QCOMPARE(r.erreur().genre, ErreurMoteur::Genre::chargement);
        if (attendu.isEmpty()) {
            QVERIFY(!r.erreur().detail.isEmpty());
            QVERIFY(r.erreur().detail != QStringLiteral("Le global Moteur est absent de moteur.js."));
            QVERIFY(r.erreur().detail != QStringLiteral("Le fichier moteur.js est introuvable dans l'app."));
        } else {
            QCOMPARE(r.erreur().detail, attendu);
        }
        QVERIFY(r.erreur().description().startsWith(QStringLiteral("Le moteur n'a pas pu démarrer. ")));
        // Every later call reports the same failure; data falls back to the built-in values.
        QCOMPARE(m.appeler(QStringLiteral("texte")).erreur().detail, r.erreur().detail);
        QCOMPARE(m.donnee(QStringLiteral("TYPES_APPEL")), QJsonValue(QJsonArray{QStringLiteral("decouverte")}));
    }

    void globalDeclareEnConst()
    {
        Moteur m(ecrire(QStringLiteral("const.js"), "const Moteur = { f: function () { return 'ok'; } };"));
        QCOMPARE(m.charger(), std::nullopt);
        QCOMPARE(m.appelerTexte(QStringLiteral("f")).valeur(), QStringLiteral("ok"));
    }

    // A failing call, read as any value, as JSON or as a number: the kind and the texts.
    void echecsDAppel_data()
    {
        QTest::addColumn<QString>("fonction");
        QTest::addColumn<char>("lecture");   // v: any value, j: JSON, n: number
        QTest::addColumn<int>("genre");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("description");
        const int js = int(ErreurMoteur::Genre::js), dec = int(ErreurMoteur::Genre::decodage);
        auto exception = [js](const char* nom, const char* f, const char* message) {
            QTest::newRow(nom) << QString::fromUtf8(f) << 'v' << js << QString::fromUtf8(message) << QString::fromUtf8(message);
        };
        exception("message", "leveErreur", "Message clair");
        exception("message undefined", "leveUndefined", "Error: undefined");
        exception("texte levé", "leveTexte", "texte brut");
        exception("message vide", "leveObjetVide", "[object Object]");
        exception("texte propre de l'objet", "leveMaison", "Erreur maison");
        exception("fonction absente", "absente", "Moteur.absente n'a rien rendu.");
        exception("propriété qui n'est pas une fonction", "donnees", "Moteur.donnees n'a rien rendu.");
        auto decodage = [dec](const char* nom, const char* f, const char* detail) {
            QTest::newRow(nom) << QString::fromUtf8(f) << 'j' << dec << QString::fromUtf8(detail) << "Réponse du moteur illisible. " + QString::fromUtf8(detail);
        };
        decodage("objet au lieu de texte", "objet", "Moteur.objet n'a pas rendu de texte JSON.");
        decodage("nombre au lieu de texte", "nombre", "Moteur.nombre n'a pas rendu de texte JSON.");
        decodage("texte vide", "vide", "Moteur.vide a rendu un texte vide.");
        decodage("texte qui n'est pas du JSON", "pasJson", "Le texte rendu par Moteur.pasJson n'est pas du JSON valide (caractère 0).");
        QTest::newRow("nombre en texte") << "scoreExpress" << 'n' << -1 << "" << "Moteur.scoreExpress n'a pas rendu de nombre.";
        QTest::newRow("NaN") << "nonNombre" << 'n' << -1 << "" << "Moteur.nonNombre n'a pas rendu de nombre.";
    }
    void echecsDAppel()
    {
        QFETCH(QString, fonction);
        QFETCH(char, lecture);
        QFETCH(int, genre);
        Moteur m(ecrire(QStringLiteral("essai.js"), scriptEssai));
        const ErreurMoteur e = lecture == 'v' ? m.appeler(fonction).erreur()
                               : lecture == 'j' ? m.appelerJSON(fonction).erreur()
                                                : m.appelerNombre(fonction).erreur();
        if (genre >= 0) {
            QCOMPARE(int(e.genre), genre);
            QTEST(e.detail, "detail");
        }
        QTEST(e.description(), "description");
        // The context stays usable after the failure.
        QCOMPARE(m.appelerTexte(QStringLiteral("texte")).valeurOu(QString()), QStringLiteral("bonjour"));
    }

    // Values of each kind, arguments passed to the script, and calls in one sequence under the lock.
    void valeursEtArguments()
    {
        Moteur m(ecrire(QStringLiteral("essai.js"), scriptEssai));
        auto r = m.appeler(QStringLiteral("rien"));   // undefined on purpose
        QVERIFY(r);
        QCOMPARE(r.valeur().type, ValeurJS::Type::indefini);
        QCOMPARE((QList<bool>{m.aFonction(QStringLiteral("rien")), m.aFonction(QStringLiteral("absente")), m.aFonction(QStringLiteral("donnees"))}),
                 (QList<bool>{true, false, false}));
        QCOMPARE(m.appelerJSON(QStringLiteral("jsonValide")).valeurOu(QJsonValue()), QJsonValue(QJsonObject{{"cle", "é/è"}, {"n", QJsonArray{1, 2}}}));
        QCOMPARE(m.appelerNombre(QStringLiteral("nombre")).valeur(), 42.5);
        QCOMPARE(m.appelerBooleen(QStringLiteral("vrai")).valeur(), true);
        QVERIFY(!m.appelerBooleen(QStringLiteral("texte")));

        const QJsonObject objet{{QStringLiteral("z"), 1}, {QStringLiteral("a"), QStringLiteral("http://x/y")}};
        auto echo = m.appelerJSON(QStringLiteral("echo"), {QStringLiteral("texte"), 3.5, true, objet, QJsonValue::Null});
        // Records travel as JSON text with sorted keys and "/" left as it is.
        QCOMPARE(QJsonDocument(echo.valeurOu(QJsonValue()).toArray()).toJson(QJsonDocument::Compact),
                 QByteArray("[\"string\",\"texte\",\"number\",3.5,\"boolean\",true,\"string\",\"{\\\"a\\\":\\\"http://x/y\\\",\\\"z\\\":1}\",true]"));

        const int n = m.enSequence([](Moteur& x) { return x.appeler(QStringLiteral("rien")) && x.appelerNombre(QStringLiteral("nombre")) ? 2 : 0; });
        QCOMPARE(n, 2);
    }

    void replisDesDonnees_data()
    {
        QTest::addColumn<QString>("cle");
        QTest::addColumn<QByteArray>("attendu");   // "repli": the built-in value
        QTest::newRow("liste vide") << "TYPES_APPEL" << QByteArray("repli");
        QTest::newRow("mauvais genre") << "ETAPES" << QByteArray("repli");
        QTest::newRow("null") << "LANGUES" << QByteArray("repli");
        QTest::newRow("absente") << "TACHES_LIVE" << QByteArray("repli");
        QTest::newRow("absente, sans repli") << "METHODES" << QByteArray("null");
        QTest::newRow("donnée du script") << "MODELES" << QByteArray("[{\"description\":\"Le seul\",\"id\":\"m1\",\"libelle\":\"Un\"}]");
        QTest::newRow("donnée du script sans repli") << "PHASES_ETAPE" << QByteArray("{\"nouveau\":\"prospection\"}");
    }
    void replisDesDonnees()
    {
        QFETCH(QString, cle);
        QFETCH(QByteArray, attendu);
        Moteur m(ecrire(QStringLiteral("essai.js"), scriptEssai));
        const QJsonValue v = m.donnee(cle);
        if (attendu == "repli") {
            QCOMPARE(v, Moteur::donneeParDefaut(cle));
            QVERIFY(!v.isNull());
        } else {
            QCOMPARE(texteJsonTrie(v), attendu);
        }
    }

    void replisAttendus()
    {
        QCOMPARE(Moteur::donneeParDefaut(QStringLiteral("ETAPES")).toArray().size(), 9);
        QCOMPARE(Moteur::donneeParDefaut(QStringLiteral("ETAPES")).toArray().at(3).toObject().value(QStringLiteral("couleur")).toString(), QStringLiteral("#0044FF"));
        QCOMPARE(Moteur::donneeParDefaut(QStringLiteral("TACHES_LIVE")), QJsonValue(QJsonArray{QStringLiteral("objection"), QStringLiteral("questions"),
                                                                                                 QStringLiteral("recap"), QStringLiteral("libre")}));
        QCOMPARE(Moteur::donneeParDefaut(QStringLiteral("TYPE_SUGGERE_PAR_ETAPE")).toObject().value(QStringLiteral("gagne")).toString(), QStringLiteral("upsell"));
        QCOMPARE(Moteur::donneeParDefaut(QStringLiteral("ETAPES_ANALYSE")).toArray().size(), 5);
        double poids = 0;
        for (const QJsonValue& d : Moteur::donneeParDefaut(QStringLiteral("DIMENSIONS")).toArray())
            poids += d.toObject().value(QStringLiteral("poids")).toDouble();
        QCOMPARE(qRound(poids * 100), 100);
    }

    void donneesLuesUneFois()
    {
        Moteur m(ecrire(QStringLiteral("essai.js"), scriptEssai));
        QCOMPARE(m.donnee(QStringLiteral("MODELES"))[0]["id"].toString(), QStringLiteral("m1"));
        QVERIFY(m.appelerBooleen(QStringLiteral("changerDonnees")).valeur());
        QCOMPARE(m.donnee(QStringLiteral("MODELES"))[0]["id"].toString(), QStringLiteral("m1"));
    }

    void phasesMemorisees()
    {
        Moteur m(ecrire(QStringLiteral("essai.js"), scriptEssai));
        QCOMPARE((QStringList{m.phaseDeduite(QStringLiteral("demo")).valeur(), m.phaseDeduite(QStringLiteral("demo")).valeur(),
                              m.phaseDeduite(QStringLiteral("suivi")).valeur()}),
                 (QStringList{"phase:demo", "phase:demo", "phase:suivi"}));
        QCOMPARE(m.appelerNombre(QStringLiteral("compteurPhases")).valeur(), 2.0);
        // A failing phase function is not memoised as a success.
        auto e = m.phaseEtape(QStringLiteral("demo"));
        QVERIFY(!e);
        QCOMPARE(e.erreur().detail, QStringLiteral("Moteur.phaseEtape n'a rien rendu."));
    }
};

QTEST_GUILESS_MAIN(TstMoteurHote)
#include "tst_moteur_hote.moc"
