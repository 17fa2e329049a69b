// The weekly exercise and the competences: choice, judgement, the week's
// follow-up and the trend, over dates that cross a year end; the command line
// on a small fixture and on the demonstration data.
#include "../app/environnementvendalo.h"
#include "team/progres.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

using namespace vd;
using namespace vd::team;
using R = ResultatExercice;
using G = CritereExercice::Genre;

namespace {

const QStringList ids = {"decouverte", "engagement", "valeur", "ecoute", "objections", "closing"};
const CalendrierSemaines paris = CalendrierSemaines::partage();

QDateTime t(const QString& iso) { return QDateTime::fromString(iso, Qt::ISODate); }

// "debut|s1,s2,s3,s4,s5,s6": a score per competence in order, "-" for none.
model::Appel appel(const QString& code, int n = 0)
{
    const QStringList p = code.split(QLatin1Char('|'));
    model::Appel a;
    a.id = QStringLiteral("a%1").arg(n);
    a.debut = p[0];
    a.statut = QStringLiteral("analyse");
    a.analyse = model::Analyse{};
    const QStringList s = p.value(1).split(QLatin1Char(','));
    for (qsizetype i = 0; i < s.size() && i < ids.size(); ++i)
        if (s[i] != QLatin1String("-") && !s[i].isEmpty())
            a.analyse->dimensions.insert(ids[i], model::ScoreDimension{s[i].toLongLong(), {}, {}, {}});
    return a;
}

QList<model::Appel> appels(const QStringList& codes)
{
    QList<model::Appel> l;
    for (const QString& c : codes)
        l.append(appel(c, int(l.size())));
    return l;
}

} // namespace

class TstProgres : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void choix_data()
    {
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QString>("competence");
        QTest::addColumn<bool>("repli");
        const QString fin = QStringLiteral("2027-01-06T12:00:00Z");
        QTest::newRow("égalité : le plus grand poids") << QStringList{"2027-01-04T10:00:00Z|60,80,80,60,80,80"} << fin << "decouverte" << false;
        QTest::newRow("égalité : le premier de la liste") << QStringList{"2027-01-04T10:00:00Z|80,60,80,60,80,80"} << fin << "engagement" << false;
        QTest::newRow("moyenne sur 30 jours, à travers l'an")
            << QStringList{"2026-12-20T10:00:00Z|50,80,80,80,80,80", "2027-01-05|90,80,80,80,80,70"} << fin << "decouverte" << false;
        QTest::newRow("plus de 30 jours : ignoré")
            << QStringList{"2026-12-01T10:00:00Z|10,80,80,80,80,80", "2027-01-05|80,80,80,80,70,80"} << fin << "objections" << false;
        QTest::newRow("après la référence : ignoré")
            << QStringList{"2027-01-07T10:00:00Z|10,80,80,80,80,80", "2027-01-05|80,80,80,80,70,80"} << fin << "objections" << false;
        QTest::newRow("date illisible exclue")
            << QStringList{"pas une date|10,10,10,10,10,10", "2027-02-30|10,10,10,10,10,10", "2027-01-05|80,80,70,80,80,80"} << fin << "valeur" << false;
        // Listed oldest last: the fallback still reads the newest 10 by date.
        QStringList repli;
        for (int i = 0; i < 10; ++i)
            repli << QStringLiteral("2026-10-%1T10:00:00Z|80,80,80,80,80,60").arg(10 + i);
        repli.prepend(QStringLiteral("2026-09-01T10:00:00Z|10,80,80,80,80,90"));
        repli.prepend(QStringLiteral("2026-09-02T10:00:00Z|10,80,80,80,80,90"));
        QTest::newRow("aucun appel en 30 jours : les 10 plus récents") << repli << fin << "closing" << true;
        QTest::newRow("aucun score") << QStringList{"2027-01-05|-,-,-,-,-,-"} << fin << "" << false;
    }
    void choix()
    {
        QFETCH(QStringList, codes);
        QFETCH(QString, reference);
        QFETCH(QString, competence);
        const QList<model::Appel> l = appels(codes);
        const ChoixExercice c = choisirExercice(appelsAnalyses(l, paris.fuseau), t(reference), dimensionsParDefaut(), paris);
        QCOMPARE(c.competence.value_or(QString()), competence);
        QTEST(c.repli, "repli");
        QCOMPARE(c.exercice.has_value(), !competence.isEmpty());
        if (c.exercice)
            QCOMPARE(c.exercice->competence, competence);
    }

    // Weeks 52, 53, 1 and 2 around the turn of 2026: the two exercises take turns
    // (week numbers modulo two would give the same one in weeks 53 and 1).
    void alternanceAuNouvelAn()
    {
        QStringList vus;
        for (const char* lundi : {"2026-12-21", "2026-12-28", "2027-01-04", "2027-01-11"}) {
            const QDateTime ref = t(QLatin1String(lundi) + QStringLiteral("T12:00:00+01:00"));
            const QList<model::Appel> l = appels({ref.addDays(-1).toString(Qt::ISODate) + QStringLiteral("|80,80,80,50,80,80")});
            vus << choisirExercice(appelsAnalyses(l, paris.fuseau), ref, dimensionsParDefaut(), paris).exercice->id;
        }
        QCOMPARE(vus, (QStringList{"ecoute-monologue", "ecoute-parole", "ecoute-monologue", "ecoute-parole"}));
    }

    void jugement_data()
    {
        QTest::addColumn<int>("genre");
        QTest::addColumn<int>("valeur");
        QTest::addColumn<QString>("appel");   // m=duree,echanges,questions,partVous,partProspect,monologue ; d=decouverte ; o=traitements ; e=échéances
        QTest::addColumn<int>("resultat");
        auto row = [](const char* nom, G g, int v, const char* a, R r) { QTest::newRow(nom) << int(g) << v << QString::fromUtf8(a) << int(r); };
        row("8 questions", G::questionsMin, 8, "m=300,20,8,40,60,30", R::reussi);
        row("7 questions", G::questionsMin, 8, "m=300,20,7,40,60,30", R::manque);
        row("questions sans métriques", G::questionsMin, 8, "", R::nonMesurable);
        row("questions, appel vide", G::questionsMin, 8, "m=0,0,0,0,0,0", R::nonMesurable);
        row("parole 45 %", G::partParoleMax, 45, "m=300,20,3,45,55,30", R::reussi);
        row("parole 46 %", G::partParoleMax, 45, "m=300,20,3,46,54,30", R::manque);
        row("parole sans parts", G::partParoleMax, 45, "m=300,20,3,0,0,30", R::nonMesurable);
        row("monologue de 90 s", G::monologueMax, 90, "m=300,20,3,40,60,90", R::reussi);
        row("monologue de 91 s", G::monologueMax, 90, "m=300,20,3,40,60,91", R::manque);
        row("monologue, appel vide", G::monologueMax, 90, "m=0,0,0,0,0,200", R::nonMesurable);
        row("compétence à 70", G::competenceMin, 70, "d=70", R::reussi);
        row("compétence à 69", G::competenceMin, 70, "d=69", R::manque);
        row("compétence sans score", G::competenceMin, 70, "o=oui", R::nonMesurable);
        row("sans objection", G::objectionsTraitees, 0, "d=50", R::nonMesurable);
        row("objection partielle", G::objectionsTraitees, 0, "o=partiel", R::manque);
        row("objections traitées", G::objectionsTraitees, 0, "o=oui;bien", R::reussi);
        row("une objection sur deux", G::objectionsTraitees, 0, "o=oui;non", R::manque);
        row("étape datée pendant l'appel", G::prochaineEtapeDatee, 0, "p=2027-01-08", R::reussi);
        row("étape datée par l'analyse", G::prochaineEtapeDatee, 0, "p=  ;e=2027-01-08", R::reussi);
        row("étape sans date", G::prochaineEtapeDatee, 0, "e= ", R::manque);
    }
    void jugement()
    {
        QFETCH(int, genre);
        QFETCH(int, valeur);
        QFETCH(QString, appel);
        model::Appel a = ::appel(QStringLiteral("2027-01-05|"));
        for (const QString& partie : appel.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString cle = partie.left(1), v = partie.mid(2);
            const QStringList x = v.split(QLatin1Char(','));
            if (cle == QLatin1String("m"))
                a.metriques = model::Metriques{x[0].toDouble(), x[3].toLongLong(), x[4].toLongLong(), x[2].toLongLong(), x[5].toLongLong(), 0, 0, x[1].toLongLong()};
            else if (cle == QLatin1String("d"))
                a.analyse->dimensions.insert(QStringLiteral("decouverte"), {v.toLongLong(), {}, {}, {}});
            else if (cle == QLatin1String("o"))
                for (const QString& tr : v.split(QLatin1Char(';')))
                    a.analyse->objections.append(model::ObjectionAnalyse{QStringLiteral("Trop cher"), {}, {}, tr, {}, {}, {}, {}});
        }
        if (appel.startsWith(QLatin1String("p=")) || appel.startsWith(QLatin1String("e="))) {
            for (const QString& p : appel.split(QLatin1Char(';')))
                if (p.startsWith(QLatin1String("p=")))
                    a.prochaineEtape = model::ProchaineAction{QStringLiteral("Démo"), p.mid(2)};
                else
                    a.analyse->prochainesEtapes.append(model::ProchaineEtape{QStringLiteral("Démo"), {}, p.mid(2), {}});
        }
        const CritereExercice c{G(genre), valeur, QStringLiteral("decouverte")};
        QTEST(int(juger(c, a)), "resultat");
    }

    void phrases_data()
    {
        QTest::addColumn<int>("genre");
        QTest::addColumn<int>("valeur");
        QTest::addColumn<QString>("competence");
        QTest::addColumn<QString>("phrase");
        QTest::newRow("1 min 30") << int(G::monologueMax) << 90 << "" << "Réussi quand aucun de vos monologues ne dépasse 1 min 30.";
        QTest::newRow("1 min") << int(G::monologueMax) << 60 << "" << "Réussi quand aucun de vos monologues ne dépasse 1 min.";
        QTest::newRow("45 s") << int(G::monologueMax) << 45 << "" << "Réussi quand aucun de vos monologues ne dépasse 45 s.";
        QTest::newRow("part de parole") << int(G::partParoleMax) << 45 << "" << "Réussi quand vous parlez 45 % du temps au plus.";
        QTest::newRow("compétence connue") << int(G::competenceMin) << 70 << "ecoute" << "Réussi quand l'analyse note Écoute à 70 ou plus.";
        QTest::newRow("compétence inconnue") << int(G::competenceMin) << 70 << "rythme" << "Réussi quand l'analyse note rythme à 70 ou plus.";
    }
    void phrases()
    {
        QFETCH(int, genre);
        QFETCH(int, valeur);
        QFETCH(QString, competence);
        QTEST(phraseCritere({G(genre), valeur, competence}, dimensionsParDefaut()), "phrase");
    }

    // The week of Wednesday 6 January 2027 runs from Monday 4 January, midnight in Paris.
    void semaineAuNouvelAn()
    {
        const QList<model::Appel> l = appels({"2027-01-10T23:00:00Z|60", "2027-01-10T22:59:00Z|80", "2027-01-05|65", "illisible|90",
                                              "2027-01-03T23:30:00Z|75", "2027-01-03T22:59:00Z|90"});
        const SuiviExercice s = suivreSemaine({G::competenceMin, 70, QStringLiteral("decouverte")}, appelsAnalyses(l, paris.fuseau),
                                              t(QStringLiteral("2027-01-06T12:00:00Z")), paris);
        QCOMPARE(s.lignes, (QList<SuiviExercice::Ligne>{{"a4", R::reussi}, {"a2", R::manque}, {"a1", R::reussi}}));
        QCOMPARE(s.reussis(), 2);
        QCOMPARE(texteCompte(s.reussis(), 3), QStringLiteral("2 appels sur 3"));
    }

    void tendance()
    {
        const QDateTime ref = t(QStringLiteral("2027-01-06T12:00:00Z"));
        QStringList codes{"2026-11-20T10:00:00Z|50", "2026-11-25T10:00:00Z|60", "2026-12-20T10:00:00Z|70", "2026-12-28T10:00:00Z|80", "2027-01-05|90"};
        Evolutions e = evoluer(appelsAnalyses(appels(codes), paris.fuseau), ref, dimensionsParDefaut());
        QCOMPARE(e.appels30Jours, 3);
        QCOMPARE(e.competences[0].moyenne, std::optional<int>(80));
        QCOMPARE(e.competences[0].tendance, std::nullopt);   // fewer than 4 calls
        QCOMPARE(e.competences[0].points, (QList<int>{50, 60, 70, 80, 90}));
        codes << QStringLiteral("2027-01-04T09:00:00Z|100");
        e = evoluer(appelsAnalyses(appels(codes), paris.fuseau), ref, dimensionsParDefaut());
        QCOMPARE(e.competences[0].tendance, std::optional<int>(85 - 55));
        QCOMPARE(e.competences[1].moyenne, std::nullopt);
        QCOMPARE(flecheTendance(30), QStringLiteral("arrow.up.right"));
    }

    void ligneDeCommande()
    {
        QTemporaryDir dossier;
        const auto env = environnementVendalo(dossier);
        const QByteArray etat = R"({"version":2,"appels":[
            {"id":"a1","debut":"2026-12-31T10:00:00Z","statut":"analyse","metriques":{"dureeSec":300,"nbEchanges":20,"questionsVous":9},
             "analyse":{"score":60,"dimensions":{"decouverte":{"score":50},"ecoute":{"score":80}}}},
            {"id":"a2","debut":"2027-01-05","statut":"analyse","metriques":{"dureeSec":300,"nbEchanges":20,"questionsVous":4},
             "analyse":{"score":60,"dimensions":{"decouverte":{"score":60},"ecoute":{"score":80}}}},
            {"id":"a3","debut":"demain","statut":"analyse","analyse":{"score":10,"dimensions":{"ecoute":{"score":10}}}}]})";
        QCOMPARE(lancerVendalo(env, {"sauvegarde", "importer", "-"}, etat).code, 0);
        const SortieVendalo s = lancerVendalo(env, {"progres", "--le", "2027-01-06"});
        QCOMPARE(s.code, 0);
        const QJsonObject o = s.json().object();
        const QJsonObject x = o.value("exercice").toObject();
        QCOMPARE(x.value("id").toString(), QStringLiteral("decouverte-creuser"));
        QCOMPARE(x.value("phrase").toString(), QStringLiteral("Réussi quand l'analyse note Découverte à 70 ou plus."));
        QCOMPARE(x.value("appels").toArray(), (QJsonArray{QJsonObject{{"appelId", "a2"}, {"resultat", "manque"}, {"marque", "Pas cette fois"}, {"debut", "2027-01-05"}}}));
        QCOMPARE(x.value("compte").toString(), QStringLiteral("0 appel sur 3"));
        QCOMPARE(o.value("competences").toArray().size(), 6);
        QCOMPARE(o.value("competences").toArray().at(0).toObject().value("moyenne").toInt(), 55);
        QCOMPARE(o.value("messageCompetences").toString(), QStringLiteral("La tendance apparaît à partir de 4 appels analysés."));
        QCOMPARE(lancerVendalo(env, {"progres", "--le", "6 janvier"}).code, 2);

        // The demonstration: six competences with a trend, and an exercise judged on that week's calls.
        const SortieVendalo d = lancerVendalo(env, {"progres", "--demo", "--le", "2026-12-08"});
        QCOMPARE(d.code, 0);
        const QJsonObject demo = d.json().object();
        for (const QJsonValue& c : demo.value("competences").toArray())
            QVERIFY2(c.toObject().value("tendance").isDouble(), qPrintable(c.toObject().value("id").toString()));
        const QJsonArray semaine = demo.value("exercice").toObject().value("appels").toArray();
        QCOMPARE(semaine.size(), 2);
        QCOMPARE(semaine.at(0).toObject().value("resultat").toString(), QStringLiteral("reussi"));
        QCOMPARE(semaine.at(1).toObject().value("resultat").toString(), QStringLiteral("manque"));
        QVERIFY(!demo.value("moments").toArray().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstProgres)
#include "tst_progres.moc"
