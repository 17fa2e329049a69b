// Sales frameworks: the validators' limits and message order, the shipped
// templates and default frameworks, lenient decoding, saving (ids trimmed, one
// default), the framework built from the user's text, and the command line.
#include "../app/environnementvendalo.h"
#include "ai/moteur.h"
#include "fakes/clientiascripte.h"
#include "model/store.h"
#include "platform/horloge.h"
#include "team/analysemethodeperso.h"
#include "team/framework.h"

#include <QJsonArray>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <functional>
#include <limits>

using namespace vd;
using namespace vd::team;
using Changement = std::function<void(FrameworkVente&)>;
Q_DECLARE_METATYPE(Changement)

namespace {

QString fois(int n) { return QString(n, QLatin1Char('a')); }
QStringList liste(int n) { return QStringList(n, QStringLiteral("Q ?")); }

FrameworkVente valide()
{
    return frameworkParDefaut(QStringLiteral("aucune"), QStringLiteral("fw"), QStringLiteral("2026-12-08T09:00:00.000Z"));
}

EtapeFramework etapeNumero(int i)
{
    EtapeFramework e;
    e.id = QStringLiteral("e%1").arg(i);
    e.nom = QStringLiteral("Étape %1").arg(i);
    return e;
}

double somme(const QList<EtapeFramework>& etapes)
{
    double s = 0;
    for (const EtapeFramework& e : etapes)
        s += e.poids;
    return s;
}

} // namespace

class TstFramework : public QObject {
    Q_OBJECT
    ai::Moteur moteur{QStringLiteral(VD_RESOURCES_DIR "/moteur.js")};

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // The framework's rules, then its grid's (checked when the framework passes).
    void validation_data()
    {
        QTest::addColumn<Changement>("changement");
        QTest::addColumn<QString>("message");
        const QString poids = QStringLiteral("Le poids d'une étape va de 0 à 100.");
        auto etape0 = [](std::function<void(EtapeFramework&)> f) { return Changement([f](FrameworkVente& x) { f(x.etapes[0]); }); };
        QTest::newRow("valide") << Changement([](FrameworkVente&) {}) << QString();
        QTest::newRow("nom vide") << Changement([](FrameworkVente& f) { f.nom = QStringLiteral("  "); }) << QStringLiteral("Donnez un nom au process.");
        QTest::newRow("nom 120") << Changement([](FrameworkVente& f) { f.nom = fois(120); }) << QString();
        QTest::newRow("nom 121") << Changement([](FrameworkVente& f) { f.nom = fois(121); }) << QStringLiteral("Nom trop long : 120 caractères au plus.");
        QTest::newRow("nom avant questions") << Changement([](FrameworkVente& f) { f.nom.clear(); f.etapes[0].questions = liste(9); })
                                             << QStringLiteral("Donnez un nom au process.");
        QTest::newRow("description 2001") << Changement([](FrameworkVente& f) { f.description = fois(2001); })
                                          << QStringLiteral("Description trop longue : 2 000 caractères au plus.");
        QTest::newRow("sans étape") << Changement([](FrameworkVente& f) { f.etapes.clear(); }) << QStringLiteral("Ajoutez au moins une étape.");
        QTest::newRow("30 étapes") << Changement([](FrameworkVente& f) { f.etapes.clear(); for (int i = 0; i < 30; ++i) f.etapes << etapeNumero(i); }) << QString();
        QTest::newRow("31 étapes") << Changement([](FrameworkVente& f) { f.etapes.clear(); for (int i = 0; i < 31; ++i) f.etapes << etapeNumero(i); })
                                   << QStringLiteral("30 étapes au plus.");
        QTest::newRow("étape 2 sans nom") << Changement([](FrameworkVente& f) { f.etapes[1].nom.clear(); }) << QStringLiteral("L'étape 2 n'a pas de nom.");
        QTest::newRow("nom d'étape 201") << Changement([](FrameworkVente& f) { f.etapes[2].nom = fois(201); })
                                         << QStringLiteral("Nom de l'étape 3 trop long : 200 caractères au plus.");
        QTest::newRow("identifiant vide") << etape0([](EtapeFramework& e) { e.id = QStringLiteral(" "); }) << QStringLiteral("L'étape 1 n'a pas d'identifiant valide.");
        QTest::newRow("identifiant 61") << etape0([](EtapeFramework& e) { e.id = fois(61); }) << QStringLiteral("L'étape 1 n'a pas d'identifiant valide.");
        QTest::newRow("même identifiant après espaces") << Changement([](FrameworkVente& f) { f.etapes[0].id = QStringLiteral(" demo"); })
                                                          << QStringLiteral("Deux étapes ont le même identifiant.");
        QTest::newRow("31 critères") << etape0([](EtapeFramework& e) { e.criteres = liste(31); }) << QStringLiteral("30 critères au plus par étape.");
        QTest::newRow("critère 501") << etape0([](EtapeFramework& e) { e.criteres = {fois(501)}; }) << QStringLiteral("Un critère dépasse 500 caractères.");
        QTest::newRow("poids 100") << etape0([](EtapeFramework& e) { e.poids = 100; }) << QString();
        QTest::newRow("poids 0") << etape0([](EtapeFramework& e) { e.poids = 0; }) << QString();
        QTest::newRow("poids 100,5") << etape0([](EtapeFramework& e) { e.poids = 100.5; }) << poids;
        QTest::newRow("poids -1") << etape0([](EtapeFramework& e) { e.poids = -1; }) << poids;
        QTest::newRow("poids NaN") << etape0([](EtapeFramework& e) { e.poids = std::nan(""); }) << poids;
        QTest::newRow("poids infini") << etape0([](EtapeFramework& e) { e.poids = std::numeric_limits<double>::infinity(); }) << poids;
        QTest::newRow("objectif 501") << etape0([](EtapeFramework& e) { e.objectif = fois(501); })
                                      << QStringLiteral("Objectif de l'étape 1 trop long : 500 caractères au plus.");
        QTest::newRow("transition 501") << etape0([](EtapeFramework& e) { e.transition = fois(501); })
                                        << QStringLiteral("Transition de l'étape 1 trop longue : 500 caractères au plus.");
        QTest::newRow("8 questions") << etape0([](EtapeFramework& e) { e.questions = liste(8); }) << QString();
        QTest::newRow("9 questions") << etape0([](EtapeFramework& e) { e.questions = liste(9); }) << QStringLiteral("8 questions au plus par étape.");
        QTest::newRow("question 501") << etape0([](EtapeFramework& e) { e.questions = {fois(501)}; }) << QStringLiteral("Une question dépasse 500 caractères.");
        QTest::newRow("type vide") << etape0([](EtapeFramework& e) { e.typesAppel = {QStringLiteral(" ")}; })
                                   << QStringLiteral("Types d'appel de l'étape 1 invalides.");
        QTest::newRow("21 types") << etape0([](EtapeFramework& e) { e.typesAppel = QStringList(21, QStringLiteral("demo")); })
                                  << QStringLiteral("Types d'appel de l'étape 1 invalides.");
        QTest::newRow("11 objections") << etape0([](EtapeFramework& e) { e.objections = QList<ObjectionEtape>(11, {QString(), QStringLiteral("Non."), QString(), {}}); })
                                       << QStringLiteral("10 objections typiques au plus par étape.");
        QTest::newRow("objection vide") << etape0([](EtapeFramework& e) { e.objections[0].texte = QStringLiteral(" "); })
                                        << QStringLiteral("Une objection typique de l'étape 1 est vide ou dépasse 500 caractères.");
        QTest::newRow("réponse 1001") << etape0([](EtapeFramework& e) { e.objections[0].reponse = fois(1001); })
                                      << QStringLiteral("Une réponse à une objection dépasse 1 000 caractères.");
        QTest::newRow("mode 41") << etape0([](EtapeFramework& e) { e.phase = fois(41); }) << QStringLiteral("Mode de Quillo de l'étape 1 invalide.");

        auto grille = [](std::function<void(GrilleQualification&)> f) {
            return Changement([f](FrameworkVente& x) { x.qualification = grilleEssentiel(); f(*x.qualification); });
        };
        auto items = [grille](int n) {
            return grille([n](GrilleQualification& g) {
                g.items.clear();
                for (int i = 0; i < n; ++i)
                    g.items.append({QStringLiteral("i%1").arg(i), QStringLiteral("Item"), {}, {}, {}, {}});
            });
        };
        QTest::newRow("grille essentiel") << grille([](GrilleQualification&) {}) << QString();
        QTest::newRow("grille vide") << items(0) << QStringLiteral("Ajoutez au moins un item à la grille.");
        QTest::newRow("12 items") << items(12) << QString();
        QTest::newRow("13 items") << items(13) << QStringLiteral("12 items au plus dans la grille.");
        QTest::newRow("item 2 sans nom") << grille([](GrilleQualification& g) { g.items[1].nom.clear(); }) << QStringLiteral("L'item 2 n'a pas de nom.");
        QTest::newRow("nom d'item 81") << grille([](GrilleQualification& g) { g.items[0].nom = fois(81); })
                                       << QStringLiteral("Nom de l'item 1 trop long : 80 caractères au plus.");
        QTest::newRow("pourquoi 301") << grille([](GrilleQualification& g) { g.items[3].pourquoi = fois(301); })
                                      << QStringLiteral("Le pourquoi de l'item 4 dépasse 300 caractères.");
        QTest::newRow("4 questions d'item") << grille([](GrilleQualification& g) { g.items[0].questions = liste(4); })
                                            << QStringLiteral("3 questions au plus par item.");
        QTest::newRow("même identifiant d'item") << grille([](GrilleQualification& g) { g.items[2].id = QStringLiteral("budget "); })
                                                 << QStringLiteral("Deux items ont le même identifiant.");
    }
    void validation()
    {
        QFETCH(Changement, changement);
        QFETCH(QString, message);
        FrameworkVente f = valide();
        changement(f);
        const std::optional<QString> m = validerFramework(f);
        QCOMPARE(m ? *m : f.qualification ? validerGrille(*f.qualification).value_or(QString()) : QString(), message);
    }

    void modeles()
    {
        const QList<ModeleCycle> m = modelesCycle();
        QStringList ids, etapes;
        for (const ModeleCycle& x : m) {
            ids << x.id;
            QStringList e;
            for (const EtapeFramework& s : x.etapes)
                e << s.id;
            etapes << e.join(QLatin1Char(','));
            QCOMPARE(somme(x.etapes), 100.0);
            FrameworkVente f = frameworkDepuisModele(x, QStringLiteral("id"), QString());
            QVERIFY2(!validerFramework(f), qPrintable(x.id));
        }
        QCOMPARE(ids, (QStringList{"vente_courte", "vente_complexe", "prise_rdv", "gestion_compte"}));
        QCOMPARE(etapes, (QStringList{"decouverte,proposition,conclusion", "qualification,decouverte,demo,proposition,signature",
                                      "accroche,qualification,rendez_vous", "bilan,frictions,besoins,plan"}));
        // Objection ids are fresh on every build.
        QVERIFY(modelesCycle()[0].etapes[0].objections[0].id != m[0].etapes[0].objections[0].id);

        const QList<GrilleQualification> grilles = grillesDepuisMoteur(moteur.donnee(QStringLiteral("GRILLES_QUALIFICATION")).toArray());
        QCOMPARE(grilles.size(), 4);
        QCOMPARE(frameworkDepuisModele(m[1], QStringLiteral("x"), QString(), grilles).grille().methode, QStringLiteral("meddic"));
        for (const QString& methode : methodesDefaut()) {
            const FrameworkVente f = frameworkParDefaut(methode, QStringLiteral("x"), QString(), grilles);
            QCOMPARE(somme(f.etapes), 100.0);
            QVERIFY2(!validerFramework(f), qPrintable(methode));
            QCOMPARE(f.nom, methode == QLatin1String("aucune") ? QStringLiteral("Votre Framework") : QStringLiteral("Framework ") + methode.toUpper());
        }
        const FrameworkVente meddic = frameworkParDefaut(QStringLiteral("meddic"), QStringLiteral("x"), QString(), grilles);
        QVERIFY(meddic.etapes[1].criteres.contains(QStringLiteral("Champion identifié en interne")));
        QCOMPARE(meddic.grille().methode, QStringLiteral("meddic"));
        QCOMPARE(frameworkParDefaut(QStringLiteral("inconnue"), QStringLiteral("x"), QString()).nom, QStringLiteral("Votre Framework"));
    }

    void decodageSouple()
    {
        QVERIFY(!FrameworkVente::depuisJson(QJsonValue(3)));
        const auto f = FrameworkVente::depuisJson(QJsonDocument::fromJson(R"({"id": "f", "nom": 12, "actif": "non",
            "etapes": ["x", {"id": "a", "poids": "12,5"}, {"id": "b", "poids": "NaN"}]})").object());
        QVERIFY(f);
        QCOMPARE(f->nom, QStringLiteral("12"));
        QCOMPARE(f->etapes.size(), 2);
        QCOMPARE(f->etapes[0].poids, 12.5);
        QVERIFY(std::isnan(f->etapes[1].poids));   // refused by the validator, never saved as 0
        QCOMPARE(f->grille().methode, QStringLiteral("essentiel"));
        const FrameworkVente v = valide();
        QCOMPARE(FrameworkVente::depuisJson(v.versJson()), v);
    }

    // Saving: validation first, ids stored trimmed, one default; links made before keep working.
    void enregistrement()
    {
        platform::HorlogeFactice horloge;
        model::Store store({}, horloge);
        FrameworkVente a = valide();
        a.id = QStringLiteral("a");
        a.etapes[1].id = QStringLiteral(" demo ");
        // A link made on the untrimmed id, before the save.
        store.modifier([&](model::Etat& e) { e.frameworks.append(model::JSONValeur(a.versJson())); });
        QVERIFY(!store.ajouterQuestionEtape(QStringLiteral("a"), QStringLiteral("demo"), QStringLiteral("Qui valide ?")));
        a = *frameworkParId(store.etat(), QStringLiteral("a"));
        QVERIFY(!enregistrerFramework(store, a));
        const auto lu = frameworkParId(store.etat(), QStringLiteral("a"));
        QCOMPARE(lu->etapes[1].id, QStringLiteral("demo"));
        QVERIFY(lu->etapeParId(QStringLiteral(" demo")));
        QVERIFY(lu->parDefaut);   // no other default: it becomes the one calls follow
        QVERIFY(!store.ajouterQuestionEtape(QStringLiteral("a"), QStringLiteral(" demo"), QStringLiteral("Et ensuite ?")));

        FrameworkVente b = valide();
        b.id = QStringLiteral("b");
        b.etapes[0].questions = liste(9);
        QCOMPARE(enregistrerFramework(store, b), std::optional<QString>(QStringLiteral("8 questions au plus par étape.")));
        QCOMPARE(store.etat().frameworks.size(), 1);
        b.etapes[0].questions.clear();
        b.parDefaut = true;
        QVERIFY(!enregistrerFramework(store, b));
        QVERIFY(!frameworkParId(store.etat(), QStringLiteral("a"))->parDefaut);
        QCOMPARE(frameworkPourMethode(store.etat(), QStringLiteral("aucune"))->id, QStringLiteral("b"));
        QVERIFY(activer(store, QStringLiteral("b"), false));
        QVERIFY(!frameworkPourMethode(store.etat(), QStringLiteral("aucune")));
        QCOMPARE(frameworkPourMethode(store.etat(), QStringLiteral(" a"))->id, QStringLiteral("a"));
    }

    // The framework from the user's text: refused short text, stale answers, no steps, then saved.
    void methodePerso()
    {
        platform::HorlogeFactice horloge;
        model::Store store({}, horloge);
        fakes::ClientIAScripte client;
        AnalyseMethodePerso a(store, moteur, client);
        a.setTexte(QString(29, QLatin1Char('x')));
        QVERIFY(!a.analyser());
        QCOMPARE(a.erreur(), std::optional<QString>(textesFramework::texteTropCourt));
        QCOMPARE(client.requetes.size(), 0);

        a.setTexte(QStringLiteral("1. Accroche : on capte l'attention.\n2. Découverte : on fait parler le prospect."));
        QVERIFY(a.analyser());
        QCOMPARE(client.requetes.last().tache, QStringLiteral("framework"));
        auto* ancienne = client.derniere();
        QVERIFY(a.analyser());   // a new request: the older answer is dropped
        QCOMPARE(a.jeton(), quint64(3));
        const QString reponse = QStringLiteral("{\"nom\":\"Mon process\",\"etapes\":[{\"nom\":\"Accroche\",\"poids\":40,"
                                               "\"questions\":[\"Comment faites-vous ?\"]},{\"nom\":\"Closing\"}],\"conseils\":[\"Datez la suite.\"]}");
        ancienne->annulee = false;
        ancienne->terminer(QStringLiteral("{\"etapes\":[]}"));
        QCOMPARE(a.etat(), AnalyseMethodePerso::Etat::analyse);
        client.derniere()->terminer(reponse);
        QCOMPARE(a.etat(), AnalyseMethodePerso::Etat::resultat);
        QCOMPARE(a.brouillon().nom, QStringLiteral("Mon process"));
        QCOMPARE(a.brouillon().etapes.size(), 2);
        QCOMPARE(somme(a.brouillon().etapes), 100.0);
        QCOMPARE(a.conseils(), QStringList{QStringLiteral("Datez la suite.")});
        QVERIFY(a.enregistrer());
        QCOMPARE(a.etat(), AnalyseMethodePerso::Etat::enregistre);
        QCOMPARE(frameworksDe(store.etat()).size(), 1);

        a.setTexte(QStringLiteral("Une méthode sans étapes reconnaissables, écrite en une phrase."));
        QVERIFY(a.analyser());
        client.derniere()->terminer(QStringLiteral("{\"etapes\":[]}"));
        QCOMPARE(a.erreur(), std::optional<QString>(textesFramework::sansEtapes));
        QCOMPARE(a.etat(), AnalyseMethodePerso::Etat::saisie);
        QVERIFY(a.analyser());
        client.derniere()->echouer(QStringLiteral("Réseau"));
        QCOMPARE(a.erreur(), std::optional<QString>(textesFramework::analyseEchouee));
    }

    // "frameworks valider": exit status and the message alone on the last line of stderr.
    void commandeValider_data()
    {
        QTest::addColumn<QByteArray>("fichier");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("derniere");
        const QByteArray base = QJsonDocument(valide().versJson()).toJson();
        QTest::newRow("valide") << base << 0 << QString();
        QTest::newRow("poids NaN") << QByteArray(base).replace("\"poids\": 35", "\"poids\": \"NaN\"") << 1 << QStringLiteral("Le poids d'une étape va de 0 à 100.");
        QTest::newRow("sans nom") << QByteArray(base).replace("\"Votre Framework\"", "\"\"") << 1 << QStringLiteral("Donnez un nom au process.");
        QTest::newRow("pas du JSON") << QByteArray("{") << 1 << QStringLiteral("Ce fichier ne contient pas un Framework en JSON.");
    }
    void commandeValider()
    {
        QFETCH(QByteArray, fichier);
        QFETCH(int, code);
        QFETCH(QString, derniere);
        QTemporaryDir d;
        QFile f(d.filePath(QStringLiteral("fw.json")));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(fichier) == fichier.size());
        f.close();
        const SortieVendalo s = lancerVendalo(environnementVendalo(d), {QStringLiteral("frameworks"), QStringLiteral("valider"), f.fileName()});
        QCOMPARE(s.code, code);
        if (code)
            QCOMPARE(s.derniereErreur(), derniere);
        const SortieVendalo l = lancerVendalo(environnementVendalo(d), {QStringLiteral("frameworks")});
        QCOMPARE(l.code, 0);
        QCOMPARE(l.json().object().value(QLatin1String("modeles")).toArray().size(), 4);
    }
};

QTEST_GUILESS_MAIN(TstFramework)
#include "tst_framework.moc"
