// The live rules of a call: coaching alerts and the echo filter.
#include "call/coaching.h"
#include "call/filtreecho.h"

#include <QtTest>

using vd::call::calculerCoaching;
using vd::call::CoachingAlerte;
using vd::call::EntreeCoaching;
using vd::call::FiltreEcho;
using vd::model::Segment;
using Genre = CoachingAlerte::Genre;
using GenreEcho = FiltreEcho::Verdict::Genre;

namespace {

Segment seg(const char* qui, qint64 debut, qint64 fin, const QString& texte = QStringLiteral("un deux trois quatre"))
{
    Segment s;
    s.locuteur = QString::fromLatin1(qui);
    s.debutMs = debut;
    s.finMs = fin;
    s.texte = texte;
    return s;
}

// Salesperson turns of 9 s every 10 s from 0, the last one ending at fin.
QList<Segment> monologue(qint64 fin)
{
    QList<Segment> r;
    for (qint64 d = 0; d < fin; d += 10000)
        r.append(seg("vous", d, std::min(d + 9000, fin)));
    r.last().finMs = fin;
    return r;
}

QList<CoachingAlerte> calculer(const QList<Segment>& finals, qint64 maintenant, qint64 question = 0,
                               const QList<CoachingAlerte>& actuelles = {}, const QList<Segment>& partiels = {})
{
    EntreeCoaching e;
    e.finals = &finals;
    e.partiels = partiels;
    e.maintenantMs = maintenant;
    e.derniereQuestionMs = question;
    e.actuelles = actuelles;
    return calculerCoaching(e);
}

// One alert, or none when texte is empty.
QList<CoachingAlerte> alerte(Genre g, const QString& texte, qint64 depuis = 0)
{
    return texte.isEmpty() ? QList<CoachingAlerte>{} : QList<CoachingAlerte>{{g, texte, depuis}};
}

// A call of exactly 3 min: salesperson then prospect, no monologue possible at the end.
QList<Segment> partage(qint64 vous, qint64 prospect)
{
    return {seg("vous", 0, vous), seg("prospect", vous, vous + prospect)};
}


struct Prospect {
    QString texte;
    qint64 debut, fin;
    bool final = true;
};

} // namespace

Q_DECLARE_METATYPE(QList<Prospect>)

class TstCoaching : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void duree_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("texte");
        QTest::newRow("négatif au-delà d'une seconde") << -5000ll << "0 s";
        QTest::newRow("négatif court") << -999ll << "0 s";
        QTest::newRow("zéro") << 0ll << "0 s";
        QTest::newRow("59,999 s") << 59999ll << "59 s";
        QTest::newRow("une minute") << 60000ll << "1 min";
        QTest::newRow("1 min 09") << 69999ll << "1 min";
        QTest::newRow("1 min 10") << 70000ll << "1 min 10";
        QTest::newRow("1 min 35 arrondi à la dizaine") << 95000ll << "1 min 30";
        QTest::newRow("59 min 59") << 3599999ll << "59 min 50";
        QTest::newRow("une heure") << 3600000ll << "60 min";
    }
    void duree()
    {
        QFETCH(qint64, ms);
        QFETCH(QString, texte);
        QCOMPARE(vd::call::formaterDuree(ms), texte);
    }

    void monologueSeuils_data()
    {
        QTest::addColumn<qint64>("fin");
        QTest::addColumn<qint64>("silence");   // since the end of the last turn
        QTest::addColumn<QString>("texte");
        QTest::newRow("65 s: rien") << 65000ll << 0ll << "";
        QTest::newRow("89,999 s: rien") << 89999ll << 0ll << "";
        QTest::newRow("90 s") << 90000ll << 0ll << "Vous parlez depuis 1 min 30";
        QTest::newRow("95 s") << 95000ll << 0ll << "Vous parlez depuis 1 min 30";
        QTest::newRow("100 s") << 100000ll << 0ll << "Vous parlez depuis 1 min 40";
        QTest::newRow("90 s puis 3 s de silence") << 90000ll << 3000ll << "Vous parlez depuis 1 min 30";
        QTest::newRow("90 s puis 3,001 s de silence: fini") << 90000ll << 3001ll << "";
    }
    void monologueSeuils()
    {
        QFETCH(qint64, fin);
        QFETCH(qint64, silence);
        QFETCH(QString, texte);
        // A question was just asked: only the monologue rule can speak.
        QCOMPARE(calculer(monologue(fin), fin + silence, fin), alerte(Genre::monologue, texte));
    }

    void monologuePartielCompte()
    {
        QList<Segment> finals = monologue(80000);
        const QList<Segment> partiels{seg("vous", 81000, 92000)};
        QCOMPARE(calculer(finals, 92000, 92000, {}, partiels), alerte(Genre::monologue, QStringLiteral("Vous parlez depuis 1 min 30")));
    }

    void monologueCoupeParLeProspect()
    {
        QList<Segment> finals = monologue(100000);
        finals.insert(5, seg("prospect", 45000, 46000, QStringLiteral("oui tout à fait")));
        // The prospect spoke 3 words inside the 40 s turn: the monologue starts after it.
        QVERIFY(calculer(finals, 100000, 100000).isEmpty());
        finals[5].texte = QStringLiteral("oui oui");   // two words are not an interruption
        QCOMPARE(calculer(finals, 100000, 100000).size(), 1);
        finals[5].texte = QStringLiteral("   ");        // no words: not a turn
        QCOMPARE(calculer(finals, 100000, 100000).size(), 1);
    }

    void monologueTrouDeQuatreSecondes()
    {
        QList<Segment> finals;
        // 40 s, a 4.001 s gap, then 90 s: only the 90 s count.
        finals << seg("vous", 0, 40000);
        finals << seg("vous", 44001, 60000) << seg("vous", 61000, 134001);
        QCOMPARE(calculer(finals, 134001, 134001), alerte(Genre::monologue, QStringLiteral("Vous parlez depuis 1 min 30"), 44001));
        finals[1].debutMs = 44000;   // a 4 s gap still joins
        QCOMPARE(calculer(finals, 134001, 134001), alerte(Genre::monologue, QStringLiteral("Vous parlez depuis 2 min 10")));
    }

    void partParole_data()
    {
        QTest::addColumn<qint64>("vous");
        QTest::addColumn<qint64>("prospect");
        QTest::addColumn<bool>("dejaAffichee");
        QTest::addColumn<QString>("texte");
        QTest::newRow("60 %: rien") << 60000ll << 40000ll << false << "";
        QTest::newRow("61 %") << 61000ll << 39000ll << false << "Vous parlez 61 % du temps depuis 3 min";
        QTest::newRow("56 % déjà affichée: reste") << 56000ll << 44000ll << true << "Vous parlez 56 % du temps depuis 3 min";
        QTest::newRow("55 % déjà affichée: disparaît") << 55000ll << 45000ll << true << "";
        QTest::newRow("58 % pas encore affichée") << 58000ll << 42000ll << false << "";
        QTest::newRow("44,999 s de parole: rien") << 30000ll << 14999ll << false << "";
        QTest::newRow("45 s de parole") << 30000ll << 15000ll << false << "Vous parlez 67 % du temps depuis 3 min";
    }
    void partParole()
    {
        QFETCH(qint64, vous);
        QFETCH(qint64, prospect);
        QFETCH(bool, dejaAffichee);
        QFETCH(QString, texte);
        const QList<CoachingAlerte> actuelles =
            dejaAffichee ? QList<CoachingAlerte>{{Genre::partParole, QStringLiteral("Vous parlez 70 % du temps depuis 3 min"), 170000}}
                         : QList<CoachingAlerte>{};
        QCOMPARE(calculer(partage(vous, prospect), 180000, 150000, actuelles), alerte(Genre::partParole, texte, dejaAffichee ? 170000 : 180000));
    }

    void partParoleFenetre()
    {
        // Only the last 3 minutes count: 100 s of salesperson speech long ago weigh nothing.
        QList<Segment> finals{seg("vous", 0, 100000), seg("prospect", 100000, 150000), seg("vous", 150000, 190000),
                              seg("prospect", 190000, 280000)};
        // Window 100 s … 280 s: vous 40 s, prospect 140 s → 22 %.
        QVERIFY(calculer(finals, 280000, 270000).isEmpty());
        // At 2:59 nothing can be said about the share.
        QVERIFY(calculer(partage(100000, 20000), 179999, 0).isEmpty());
    }

    void sansQuestion_data()
    {
        QTest::addColumn<qint64>("maintenant");
        QTest::addColumn<qint64>("question");
        QTest::addColumn<QString>("texte");
        QTest::addColumn<qint64>("depuis");
        QTest::newRow("2 min 59") << 179999ll << 0ll << "" << 0ll;
        QTest::newRow("3 min sans question") << 180000ll << 0ll << "Aucune question depuis 3 min" << 0ll;
        QTest::newRow("offset négatif compté comme 0") << 180000ll << -4000ll << "Aucune question depuis 3 min" << 0ll;
        QTest::newRow("question il y a 2 min 59") << 239999ll << 60001ll << "" << 0ll;
        QTest::newRow("question il y a 3 min") << 240000ll << 60000ll << "Aucune question depuis 3 min" << 60000ll;
        QTest::newRow("question il y a 7 min 59") << 600000ll << 121000ll << "Aucune question depuis 7 min" << 121000ll;
    }
    void sansQuestion()
    {
        QFETCH(qint64, maintenant);
        QFETCH(qint64, question);
        QFETCH(QString, texte);
        QFETCH(qint64, depuis);
        QCOMPARE(calculer({}, maintenant, question), alerte(Genre::sansQuestion, texte, depuis));
    }

    void ordreEtExclusion()
    {
        // A monologue hides the talk share; the no-question alert comes last.
        const auto finals = monologue(200000);
        const auto r = calculer(finals, 200000, 0);
        QCOMPARE(r.size(), 2);
        QCOMPARE(r[0].type, Genre::monologue);
        QCOMPARE(r[0].texte, QStringLiteral("Vous parlez depuis 3 min 20"));
        QCOMPARE(r[1], (CoachingAlerte{Genre::sansQuestion, QStringLiteral("Aucune question depuis 3 min"), 0}));
        // Silent for 4 s: the share speaks instead (100 %).
        const auto r2 = calculer(finals, 204000, 0);
        QCOMPARE(r2.size(), 2);
        QCOMPARE(r2[0], (CoachingAlerte{Genre::partParole, QStringLiteral("Vous parlez 100 % du temps depuis 3 min"), 204000}));
    }

    // The echo filter: the salesperson's words heard again on the prospect's side.
    // Each word as norm@origin, with a * when it is a content word.
    void tokeniser_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::addColumn<QString>("mots");
        QTest::newRow("élision et trait d'union") << QStringLiteral("D'accord, très-bien !") << "daccord@0* tres@1* bien@1*";
        QTest::newRow("apostrophes typographiques") << QStringLiteral("C’est l\u02BCidée `ok") << "cest@0* lidee@1* ok@2";
        QTest::newRow("hésitations jamais pleines") << QStringLiteral("Euh bon hein voilà") << "euh@0 bon@1 hein@2 voila@3*";
        QTest::newRow("mots courts et chiffres") << QStringLiteral("ça a 3 ans") << "ca@0 a@1 3@2* ans@3*";
        QTest::newRow("pleine largeur") << QStringLiteral("ＰＲＩＸ") << "prix@0*";
        // Two code points outside the BMP: four UTF-16 units, still a short word.
        QTest::newRow("points de code hors BMP") << QStringLiteral("\U00020000\U00020001 x") << QStringLiteral("\U00020000\U00020001@0 x@1");
        QTest::newRow("ponctuation seule") << QStringLiteral(" … , ! ") << "";
    }
    void tokeniser()
    {
        QFETCH(QString, texte);
        QFETCH(QString, mots);
        QStringList vus;
        for (const auto& m : FiltreEcho::tokeniser(texte))
            vus << QStringLiteral("%1@%2%3").arg(m.norme).arg(m.origine).arg(m.plein ? "*" : "");
        QCOMPARE(vus.join(' '), mots);
    }

    void motsEgaux_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("egaux");
        QTest::newRow("identiques courts") << "ok" << "ok" << true;
        QTest::newRow("courts différents") << "prix" << "pris" << false;
        QTest::newRow("une lettre sur six") << "budget" << "budjet" << true;
        QTest::newRow("deux lettres sur six") << "budget" << "bidjet" << false;
        QTest::newRow("deux lettres sur neuf") << "telephonie" << "telefonie" << true;
        QTest::newRow("trois lettres sur neuf") << "telephonie" << "tilifonie" << false;
        QTest::newRow("longueurs trop éloignées") << "abcde" << "abcdefgh" << false;
    }

    void motsEgaux()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, egaux);
        QCOMPARE(FiltreEcho::motsEgaux(a.toStdU32String(), b.toStdU32String()), egaux);
        QCOMPARE(FiltreEcho::motsEgaux(b.toStdU32String(), a.toStdU32String()), egaux);
    }

    void examiner_data()
    {
        QTest::addColumn<QList<Prospect>>("prospect");
        QTest::addColumn<QString>("texte");
        QTest::addColumn<qint64>("debut");
        QTest::addColumn<qint64>("fin");
        QTest::addColumn<QString>("attendu");   // inchange, retirer, or the text kept @start-end
        const QList<Prospect> onVerra{{"On verra ça.", 1000, 1900}};
        QTest::newRow("oui d'accord jamais retiré") << QList<Prospect>{{"Oui d'accord.", 1000, 1600}} << "oui d'accord" << 1050ll << 1650ll << "inchange";
        QTest::newRow("un seul mot jamais retiré") << QList<Prospect>{{"Budget", 1000, 1500}} << "budget" << 1000ll << 1500ll << "inchange";
        QTest::newRow("sans prospect") << QList<Prospect>{} << "on verra ça" << 1000ll << 1900ll << "inchange";
        QTest::newRow("texte vide") << onVerra << "  " << 1000ll << 1900ll << "inchange";
        // Word-for-word repeat of a short sentence: 300 ms (or half the sentence) of tolerance.
        QTest::newRow("répétition exacte à 300 ms") << onVerra << "on verra ça" << 1300ll << 2200ll << "retirer";
        QTest::newRow("répétition exacte à 301 ms") << onVerra << "on verra ça" << 1301ll << 2201ll << "inchange";
        QTest::newRow("répétition dans un partiel") << QList<Prospect>{{"On verra ça.", 1000, 1900, false}} << "on verra ça" << 1100ll << 2000ll
                                                    << "retirer";
        QTest::newRow("répétition au milieu d'une phrase du prospect") << QList<Prospect>{{"Bon alors on verra ça demain", 0, 1800}}
                                                                       << "on verra ça" << 600ll << 1500ll << "retirer";
        // In-order content words: 60 % of ours is enough.
        const QList<Prospect> outils{{"Nous utilisons actuellement plusieurs outils différents", 0, 3000}};
        const QString utilisons = QStringLiteral("utilisons actuellement outils marketing salesforce");
        QTest::newRow("60 % des mots pleins dans l'ordre") << outils << utilisons << 500ll << 3000ll << "retirer";
        QTest::newRow("50 % des mots pleins") << outils << utilisons + " hubspot" << 500ll << 3500ll << "inchange";
        QTest::newRow("mots pleins mais trop tard") << outils << utilisons << 3500ll << 6000ll << "inchange";
        // A run of echoed words is cut out; our own words stay, times narrow to them.
        const QList<Prospect> budget{{"Le budget est validé par la direction générale", 10000, 13000}};
        QTest::newRow("écho au milieu")
            << budget << "alors je disais le budget est validé par la direction générale donc nous pourrions avancer rapidement"
            << 9075ll << 15075ll << "Alors je disais donc nous pourrions avancer rapidement @9075-15075";
        QTest::newRow("écho en tête, temps resserrés")
            << budget << "le budget est validé par la direction générale , donc nous pourrions avancer rapidement" << 10200ll
            << 15075ll << "Donc nous pourrions avancer rapidement @13200-15075";
        QTest::newRow("écho en fin, temps resserrés")
            << QList<Prospect>{{"Le budget est validé par la direction générale", 13000, 16000}}
            << "nous pourrions avancer rapidement car le budget est validé par la direction générale" << 11125ll << 16000ll
            << "Nous pourrions avancer rapidement car @11125-13000";
        QTest::newRow("écho qui ne laisse presque rien") << QList<Prospect>{{"Je le vois à la page", 1000, 2800}}
                                                         << "ah je le vois à la page ok" << 700ll << 3100ll << "retirer";
        // Windows: 4 s before our text, 15 s of prospect memory.
        const QList<Prospect> deux{{"On verra ça", 0, 1200}, {"On verra ça", 5100, 6000}};
        QTest::newRow("segment fini 4 s avant: ignoré")
            << QList<Prospect>{{"On verra ça", 0, 1000}, deux[1]} << "on verra ça" << 5200ll << 6100ll << "retirer";
        QTest::newRow("segment fini 4 s avant pile: pris en compte") << deux << "on verra ça" << 5200ll << 6100ll << "inchange";
        QTest::newRow("plus de 15 s avant le dernier final: oublié")
            << deux + QList<Prospect>{{"Parfait", 16100, 16201}} << "on verra ça" << 5200ll << 6100ll << "retirer";
        QTest::newRow("15 s pile avant le dernier final: gardé")
            << deux + QList<Prospect>{{"Parfait", 16100, 16200}} << "on verra ça" << 5200ll << 6100ll << "inchange";
    }

    void examiner()
    {
        QFETCH(QList<Prospect>, prospect);
        QFETCH(QString, texte);
        QFETCH(qint64, debut);
        QFETCH(qint64, fin);
        QFETCH(QString, attendu);

        FiltreEcho f;
        for (const Prospect& p : prospect)
            f.ajouter(p.texte, p.debut, p.fin, p.final);
        const FiltreEcho avant = f;
        const auto v = f.examiner(texte, debut, fin);
        QCOMPARE(v.genre == GenreEcho::inchange  ? QStringLiteral("inchange")
                 : v.genre == GenreEcho::retirer ? QStringLiteral("retirer")
                                                 : QStringLiteral("%1 @%2-%3").arg(v.texte).arg(v.debutMs).arg(v.finMs),
                 attendu);
        // examiner never changes the filter.
        QCOMPARE(f.finals().size(), avant.finals().size());
        QCOMPARE(f.enCours().has_value(), avant.enCours().has_value());
    }

    void ajouterGardeQuinzeSecondes()
    {
        FiltreEcho f;
        f.ajouter(QStringLiteral("premier"), 0, 1000, true);
        f.ajouter(QStringLiteral("deuxième"), 3000, 2000, true);   // fin below debut: kept as debut
        QCOMPARE(f.finals().back().finMs, 3000);
        f.ajouter(QStringLiteral("en cours"), 4000, 4500, false);
        QVERIFY(f.enCours().has_value());
        f.ajouter(QStringLiteral("troisième"), 15500, 16001, true);
        QVERIFY(!f.enCours().has_value());   // a final clears the partial
        QCOMPARE(int(f.finals().size()), 2);
        QCOMPARE(f.finals().front().texte, QStringLiteral("deuxième"));
        f.ajouter(QStringLiteral("quatrième"), 17000, 18001, true);
        QCOMPARE(int(f.finals().size()), 2);
        QCOMPARE(f.finals().front().texte, QStringLiteral("troisième"));
    }
};

QTEST_GUILESS_MAIN(TstCoaching)
#include "tst_coaching.moc"
