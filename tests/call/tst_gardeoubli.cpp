// The forgotten-call guard: its rules as scripts of events, its texts, and the
// driver on a live session (fake clock, fake transcription).
#include "call/gardeoubli.h"
#include "fauxappel.h"

#include <QJsonDocument>
#include <QtTest>

using namespace vd;
using call::GardeOubli;
using call::MotifOubli;
using call::ReglagesOubli;
namespace texte = call::texteoubli;
using Action = GardeOubli::Action;

Q_DECLARE_METATYPE(ReglagesOubli)

namespace {

// "tic 300 alerteSilence; voix 310 retirerAlerte; …": op, clock value, expected action.
void jouer(GardeOubli& g, const QString& script)
{
    static const QHash<QString, Action> actions{{"rien", Action::rien},
                                                {"alerteSilence", Action::alerteSilence},
                                                {"alertePlafond", Action::alertePlafond},
                                                {"arretSilence", Action::arretSilence},
                                                {"arretPlafond", Action::arretPlafond},
                                                {"retirerAlerte", Action::retirerAlerte}};
    for (const QString& pas : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList m = pas.simplified().split(QLatin1Char(' '));
        QVERIFY2(m.size() == 3 && actions.contains(m[2]), qPrintable(pas));
        const double t = m[1].toDouble();
        const Action obtenue = m[0] == QLatin1String("tic") ? g.tic(t) : m[0] == QLatin1String("voix") ? g.voix(t) : g.continuer(t);
        QVERIFY2(obtenue == actions.value(m[2]), qPrintable(QStringLiteral("%1 → %2").arg(pas).arg(int(obtenue))));
    }
}

} // namespace

class TstGardeOubli : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void reglagesDepuisLeCompte_data()
    {
        QTest::addColumn<QByteArray>("monCompte");   // empty: no account summary
        QTest::addColumn<ReglagesOubli>("attendu");
        QTest::newRow("sans compte: défauts") << QByteArray() << ReglagesOubli{300, 120, 10800};
        QTest::newRow("absents: défauts") << QByteArray(R"({"quilloAppel": {}})") << ReglagesOubli{300, 120, 10800};
        QTest::newRow("valeurs données") << QByteArray(R"({"quilloAppel": {"silenceAvantAlerteMin": 10, "delaiArretMin": 3, "dureeMaxMin": 60}})")
                                         << ReglagesOubli{600, 180, 3600};
        QTest::newRow("sous les bornes") << QByteArray(R"({"quilloAppel": {"silenceAvantAlerteMin": 0, "delaiArretMin": -5, "dureeMaxMin": 10}})")
                                         << ReglagesOubli{60, 60, 1800};
        QTest::newRow("au-dessus des bornes")
            << QByteArray(R"({"quilloAppel": {"silenceAvantAlerteMin": 99, "delaiArretMin": 31, "dureeMaxMin": 1000}})")
            << ReglagesOubli{3600, 1800, 43200};
        QTest::newRow("texte au lieu d'un nombre") << QByteArray(R"({"quilloAppel": {"silenceAvantAlerteMin": "10", "dureeMaxMin": null}})")
                                                   << ReglagesOubli{300, 120, 10800};
    }
    void reglagesDepuisLeCompte()
    {
        QFETCH(QByteArray, monCompte);
        QFETCH(ReglagesOubli, attendu);
        const std::optional<QJsonObject> c = monCompte.isEmpty() ? std::nullopt : std::optional(QJsonDocument::fromJson(monCompte).object());
        QCOMPARE(ReglagesOubli::depuisCompte(c), attendu);
    }

    void regles_data()
    {
        QTest::addColumn<ReglagesOubli>("reglages");
        QTest::addColumn<QString>("script");
        QTest::addColumn<double>("plafondFinal");
        const ReglagesOubli defaut;
        QTest::newRow("5 min de silence: alerte, arrêt 2 min plus tard")
            << defaut << "tic 299 rien; tic 300 alerteSilence; tic 301 rien; tic 419 rien; tic 420 arretSilence" << 10800.0;
        QTest::newRow("une voix retire l'alerte de silence et relance l'attente")
            << defaut << "tic 300 alerteSilence; voix 350 retirerAlerte; tic 420 rien; tic 649 rien; tic 650 alerteSilence" << 10800.0;
        QTest::newRow("continuer après une alerte de silence")
            << defaut << "tic 300 alerteSilence; continuer 330 retirerAlerte; tic 629 rien; tic 630 alerteSilence" << 10800.0;
        QTest::newRow("continuer sans alerte: rien") << defaut << "continuer 100 rien; voix 100 rien" << 10800.0;
        // Voices all along, so that only the cap speaks.
        QTest::newRow("plafond 180 min: alerte à 175, arrêt à 180")
            << defaut << "voix 10499 rien; tic 10499 rien; tic 10500 alertePlafond; voix 10700 rien; tic 10799 rien; tic 10800 arretPlafond"
            << 10800.0;
        QTest::newRow("continuer repousse le plafond à 240 min")
            << defaut << "voix 10500 rien; tic 10500 alertePlafond; continuer 10600 retirerAlerte; voix 14099 rien; tic 14099 rien; tic 14100 alertePlafond"
            << 14400.0;
        QTest::newRow("plafond de 30 min: alerte à 25")
            << ReglagesOubli{300, 120, 1800} << "voix 1499 rien; tic 1499 rien; tic 1500 alertePlafond; tic 1799 rien; tic 1800 arretPlafond" << 1800.0;
        QTest::newRow("alerte levée après le plafond: toute la marge avant l'arrêt")
            << ReglagesOubli{300, 120, 1800} << "voix 2000 rien; tic 2000 alertePlafond; tic 2299 rien; tic 2300 arretPlafond" << 1800.0;
        QTest::newRow("l'alerte de plafond remplace celle de silence")
            << ReglagesOubli{300, 600, 1800} << "tic 1400 alerteSilence; tic 1500 alertePlafond; voix 1550 rien; tic 1800 arretPlafond" << 1800.0;
    }
    void regles()
    {
        QFETCH(ReglagesOubli, reglages);
        QFETCH(QString, script);
        QFETCH(double, plafondFinal);
        GardeOubli g = GardeOubli::demarrer(reglages, 0);
        jouer(g, script);
        QCOMPARE(g.plafond, plafondFinal);
    }

    void textes_data()
    {
        QTest::addColumn<QString>("obtenu");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("durée: moins d'une minute") << texte::dureeLongue(20) << "1 min";
        QTest::newRow("durée: minutes") << texte::dureeLongue(59 * 60 + 59) << "59 min";
        QTest::newRow("durée: heure ronde") << texte::dureeLongue(3600) << "1 h";
        QTest::newRow("durée: heures et minutes") << texte::dureeLongue(2 * 3600 + 5 * 60 + 30) << "2 h 05";
        QTest::newRow("décompte: 2 min") << texte::compteARebours(120) << "2 min";
        QTest::newRow("décompte: une seconde après") << texte::compteARebours(119) << "1 min 59";
        QTest::newRow("décompte: arrondi au-dessus") << texte::compteARebours(58.2) << "59 s";
        QTest::newRow("décompte: dépassé") << texte::compteARebours(-3) << "0 s";
        const GardeOubli::Alerte silence{MotifOubli::silence, 300, 420, 300};
        const GardeOubli::Alerte plafond{MotifOubli::plafond, 10500, 10800, 10800};
        QTest::newRow("titre silence") << texte::titreAlerte(silence) << "L'appel est toujours en cours ?";
        QTest::newRow("corps silence")
            << texte::corpsAlerte(silence, 301) << "Aucune voix entendue depuis 5 min. Sans réponse, l'appel s'arrête tout seul dans 1 min 59.";
        QTest::newRow("indice silence") << texte::indiceReponse(silence) << "Aucune voix entendue depuis 5 min.";
        QTest::newRow("titre plafond") << texte::titreAlerte(plafond) << "L'appel dure depuis près de 3 h";
        QTest::newRow("corps plafond")
            << texte::corpsAlerte(plafond, 10500) << "Toujours en cours ? Sans réponse, l'appel s'arrête tout seul dans 5 min.";
        QTest::newRow("indice plafond") << texte::indiceReponse(plafond) << "Toujours en cours ? « Oui, continuer » ajoute 1 h.";
        QTest::newRow("arrêt silence")
            << texte::corpsArret(MotifOubli::silence, 420) << "Appel arrêté automatiquement après 7 min sans voix. L'analyse est lancée.";
        QTest::newRow("arrêt plafond")
            << texte::corpsArret(MotifOubli::plafond, 10800) << "Appel arrêté automatiquement après 3 h. L'analyse est lancée.";
        QTest::newRow("explication des réglages")
            << texte::explication(ReglagesOubli{600, 180, 5400})
            << "Appel oublié : après 10 min sans personne qui parle, ou vers 1 h 30 d'appel, Vendalo vous demande si "
               "l'appel continue. Sans réponse, il l'arrête 3 min plus tard, l'enregistre et lance l'analyse.";
    }
    void textes()
    {
        QFETCH(QString, obtenu);
        QFETCH(QString, attendu);
        QCOMPARE(obtenu, attendu);
    }

    // The driver on a live call: cards, the countdown, voices, the stop and its failure.
    void pilote_data()
    {
        QTest::addColumn<bool>("echecArret");
        QTest::newRow("arrêt réussi") << false;
        QTest::newRow("arrêt refusé") << true;
    }
    void pilote()
    {
        QFETCH(bool, echecArret);
        test::BancSession b;
        double t = 0;
        QList<call::CarteOubli> cartes;
        QStringList retirees, signales, terminees;
        call::GardeAppelOublie::Operations ops;
        ops.lireChrono = [&t] { return std::optional<double>(t); };
        ops.lireReglages = [] { return ReglagesOubli{60, 60, 10800}; };
        ops.notifier = [&cartes](const call::CarteOubli& c) { cartes << c; };
        ops.retirerNotification = [&retirees](const QString& id) { retirees << id; };
        ops.signaler = [&signales](const QString& s) { signales << s; };
        ops.terminer = [&](const QString& id, std::function<void(std::optional<QString>)> reponse) {
            terminees << id;
            reponse(echecArret ? std::optional<QString>(QStringLiteral("refus")) : std::nullopt);
        };
        call::GardeAppelOublie garde(*b.session, b.horloge, ops, {false, false});
        const auto tic = [&](double maintenant) {
            t = maintenant;
            garde.tic();
        };
        QVERIFY(!garde.garde());
        b.demarrerOuvert();
        QVERIFY(garde.garde());
        const QString id = b.session->appelIdTexte();

        tic(59);
        QVERIFY(cartes.isEmpty());
        tic(60);
        QCOMPARE(cartes.size(), 1);
        QCOMPARE(cartes.last().id, QStringLiteral("appel-en-cours"));
        QCOMPARE(cartes.last().action, QStringLiteral("Revenir à l'appel"));
        tic(61);   // the countdown moves on in the same card
        QCOMPARE(cartes.last().corps, QStringLiteral("Aucune voix entendue depuis 1 min. Sans réponse, l'appel s'arrête tout seul dans 59 s."));

        // A partial segment that changes counts as a voice.
        b.transcription().dire(QStringLiteral("prospect"), QStringLiteral("Allô ?"), 61000, 61500, false);
        QCOMPARE(retirees, QStringList{QStringLiteral("appel-en-cours")});
        QVERIFY(!garde.alerte());

        tic(130);
        QVERIFY(garde.alerte());
        tic(190);
        QCOMPARE(terminees, QStringList{id});
        if (echecArret) {
            QCOMPARE(signales, QStringList{QStringLiteral("L'appel n'a pas pu être terminé.")});
            QVERIFY(!garde.dernierArret());
            QVERIFY(cartes.last().id == QStringLiteral("appel-en-cours"));
            // Still guarded: a new silence alert comes a full period later.
            tic(249);
            QVERIFY(!garde.alerte());
            tic(250);
            QVERIFY(garde.alerte());
        } else {
            QVERIFY(signales.isEmpty());
            QCOMPARE(cartes.last().id, QStringLiteral("vd.appelOublie.arret.") + id);
            QCOMPARE(cartes.last().titre, QStringLiteral("Appel arrêté automatiquement"));
            QCOMPARE(cartes.last().action, QStringLiteral("Voir l'analyse"));
            QCOMPARE(garde.dernierArret()->texte, QStringLiteral("Appel arrêté automatiquement après 2 min sans voix. L'analyse est lancée."));
            // Once launched, nothing more happens.
            tic(400);
            QCOMPARE(terminees.size(), 1);
        }
        b.session->arreter();
        b.transcription().finir();
        QVERIFY(!garde.garde());
    }

    void appelDeDemonstration_data()
    {
        QTest::addColumn<bool>("inclureDemo");
        QTest::newRow("ignoré par défaut") << false;
        QTest::newRow("gardé sur demande") << true;
    }
    void appelDeDemonstration()
    {
        QFETCH(bool, inclureDemo);
        test::BancSession b;
        call::GardeAppelOublie garde(*b.session, b.horloge, {}, {inclureDemo, false});
        call::ScenarioDemo s;
        s.tours = {{QStringLiteral("vous"), QStringLiteral("Bonjour"), 0, 1000, std::nullopt}};
        QVERIFY(!b.session->demarrerGuide(call::AppelGuide{s, std::nullopt, 1.0}));
        QCOMPARE(b.session->etat(), call::EtatSession::enCours);
        QCOMPARE(garde.garde().has_value(), inclureDemo);
    }
};

QTEST_GUILESS_MAIN(TstGardeOubli)
#include "tst_gardeoubli.moc"
