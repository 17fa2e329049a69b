#include "call/filtreecho.h"

#include <QtTest>

using vd::call::FiltreEcho;
using Genre = FiltreEcho::Verdict::Genre;

namespace {

struct Prospect {
    QString texte;
    qint64 debut, fin;
    bool final = true;
};

} // namespace

Q_DECLARE_METATYPE(QList<Prospect>)

class TstFiltreEcho : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void tokeniser_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::addColumn<QStringList>("normes");
        QTest::addColumn<QList<int>>("origines");
        QTest::addColumn<QList<bool>>("pleins");

        QTest::newRow("élision et trait d'union") << QStringLiteral("D'accord, très-bien !")
                                                << QStringList{"daccord", "tres", "bien"} << QList<int>{0, 1, 1}
                                                << QList<bool>{true, true, true};
        QTest::newRow("apostrophes typographiques") << QStringLiteral("C’est l\u02BCidée `ok")
                                                    << QStringList{"cest", "lidee", "ok"} << QList<int>{0, 1, 2}
                                                    << QList<bool>{true, true, false};
        QTest::newRow("hésitations jamais pleines") << QStringLiteral("Euh bon hein voilà")
                                                    << QStringList{"euh", "bon", "hein", "voila"} << QList<int>{0, 1, 2, 3}
                                                    << QList<bool>{false, false, false, true};
        QTest::newRow("mots courts et chiffres") << QStringLiteral("ça a 3 ans")
                                                 << QStringList{"ca", "a", "3", "ans"} << QList<int>{0, 1, 2, 3}
                                                 << QList<bool>{false, false, true, true};
        QTest::newRow("pleine largeur") << QStringLiteral("ＰＲＩＸ") << QStringList{"prix"} << QList<int>{0}
                                        << QList<bool>{true};
        // Two code points outside the BMP: four UTF-16 units, still a short word.
        QTest::newRow("points de code hors BMP") << QStringLiteral("\U00020000\U00020001 x")
                                                 << QStringList{QStringLiteral("\U00020000\U00020001"), "x"}
                                                 << QList<int>{0, 1} << QList<bool>{false, false};
        QTest::newRow("ponctuation seule") << QStringLiteral(" … , ! ") << QStringList{} << QList<int>{} << QList<bool>{};
    }

    void tokeniser()
    {
        QFETCH(QString, texte);
        QFETCH(QStringList, normes);
        QFETCH(QList<int>, origines);
        QFETCH(QList<bool>, pleins);
        const auto mots = FiltreEcho::tokeniser(texte);
        QStringList n;
        QList<int> o;
        QList<bool> p;
        for (const auto& m : mots) {
            n << m.norme;
            o << m.origine;
            p << m.plein;
        }
        QCOMPARE(n, normes);
        QCOMPARE(o, origines);
        QCOMPARE(p, pleins);
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
        QTest::addColumn<int>("genre");
        QTest::addColumn<QString>("attendu");
        QTest::addColumn<qint64>("debutAttendu");
        QTest::addColumn<qint64>("finAttendu");

        const auto inchange = int(Genre::inchange), retirer = int(Genre::retirer), rogner = int(Genre::rogner);
        const QList<Prospect> onVerra{{"On verra ça.", 1000, 1900}};

        QTest::newRow("oui d'accord jamais retiré") << QList<Prospect>{{"Oui d'accord.", 1000, 1600}}
                                                    << "oui d'accord" << 1050ll << 1650ll << inchange << "" << 0ll << 0ll;
        QTest::newRow("un seul mot jamais retiré") << QList<Prospect>{{"Budget", 1000, 1500}} << "budget" << 1000ll
                                                   << 1500ll << inchange << "" << 0ll << 0ll;
        QTest::newRow("sans prospect") << QList<Prospect>{} << "on verra ça" << 1000ll << 1900ll << inchange << "" << 0ll << 0ll;
        QTest::newRow("texte vide") << onVerra << "  " << 1000ll << 1900ll << inchange << "" << 0ll << 0ll;
        // Word-for-word repeat of a short sentence: 300 ms (or half the sentence) of tolerance.
        QTest::newRow("répétition exacte à 300 ms") << onVerra << "on verra ça" << 1300ll << 2200ll << retirer << "" << 0ll << 0ll;
        QTest::newRow("répétition exacte à 301 ms") << onVerra << "on verra ça" << 1301ll << 2201ll << inchange << "" << 0ll << 0ll;
        QTest::newRow("répétition dans un partiel") << QList<Prospect>{{"On verra ça.", 1000, 1900, false}} << "on verra ça"
                                                    << 1100ll << 2000ll << retirer << "" << 0ll << 0ll;
        QTest::newRow("répétition au milieu d'une phrase du prospect")
            << QList<Prospect>{{"Bon alors on verra ça demain", 0, 1800}} << "on verra ça" << 600ll << 1500ll << retirer
            << "" << 0ll << 0ll;
        // In-order content words: 60 % of ours is enough.
        QTest::newRow("60 % des mots pleins dans l'ordre")
            << QList<Prospect>{{"Nous utilisons actuellement plusieurs outils différents", 0, 3000}}
            << "utilisons actuellement outils marketing salesforce" << 500ll << 3000ll << retirer << "" << 0ll << 0ll;
        QTest::newRow("50 % des mots pleins")
            << QList<Prospect>{{"Nous utilisons actuellement plusieurs outils différents", 0, 3000}}
            << "utilisons actuellement outils marketing salesforce hubspot" << 500ll << 3500ll << inchange << "" << 0ll << 0ll;
        QTest::newRow("mots pleins mais trop tard")
            << QList<Prospect>{{"Nous utilisons actuellement plusieurs outils différents", 0, 3000}}
            << "utilisons actuellement outils marketing salesforce" << 3500ll << 6000ll << inchange << "" << 0ll << 0ll;
        // A run of echoed words is cut out; our own words stay, times narrow to them.
        const QList<Prospect> budget{{"Le budget est validé par la direction générale", 10000, 13000}};
        QTest::newRow("écho au milieu")
            << budget << "alors je disais le budget est validé par la direction générale donc nous pourrions avancer rapidement"
            << 9075ll << 15075ll << rogner << "Alors je disais donc nous pourrions avancer rapidement" << 9075ll << 15075ll;
        QTest::newRow("écho en tête, temps resserrés")
            << budget << "le budget est validé par la direction générale , donc nous pourrions avancer rapidement" << 10200ll
            << 15075ll << rogner << "Donc nous pourrions avancer rapidement" << 13200ll << 15075ll;
        QTest::newRow("écho en fin, temps resserrés")
            << QList<Prospect>{{"Le budget est validé par la direction générale", 13000, 16000}}
            << "nous pourrions avancer rapidement car le budget est validé par la direction générale" << 11125ll << 16000ll
            << rogner << "Nous pourrions avancer rapidement car" << 11125ll << 13000ll;
        QTest::newRow("écho qui ne laisse presque rien")
            << QList<Prospect>{{"Je le vois à la page", 1000, 2800}} << "ah je le vois à la page ok" << 700ll << 3100ll
            << retirer << "" << 0ll << 0ll;
        // Windows: 4 s before our text, 15 s of prospect memory.
        QTest::newRow("segment fini 4 s avant: ignoré")
            << QList<Prospect>{{"On verra ça", 0, 1000}, {"On verra ça", 5100, 6000}} << "on verra ça" << 5200ll << 6100ll
            << retirer << "" << 0ll << 0ll;
        QTest::newRow("segment fini 4 s avant pile: pris en compte")
            << QList<Prospect>{{"On verra ça", 0, 1200}, {"On verra ça", 5100, 6000}} << "on verra ça" << 5200ll << 6100ll
            << inchange << "" << 0ll << 0ll;
        QTest::newRow("plus de 15 s avant le dernier final: oublié")
            << QList<Prospect>{{"On verra ça", 0, 1200}, {"On verra ça", 5100, 6000}, {"Parfait", 16100, 16201}}
            << "on verra ça" << 5200ll << 6100ll << retirer << "" << 0ll << 0ll;
        QTest::newRow("15 s pile avant le dernier final: gardé")
            << QList<Prospect>{{"On verra ça", 0, 1200}, {"On verra ça", 5100, 6000}, {"Parfait", 16100, 16200}}
            << "on verra ça" << 5200ll << 6100ll << inchange << "" << 0ll << 0ll;
    }

    void examiner()
    {
        QFETCH(QList<Prospect>, prospect);
        QFETCH(QString, texte);
        QFETCH(qint64, debut);
        QFETCH(qint64, fin);
        QFETCH(int, genre);
        QFETCH(QString, attendu);
        QFETCH(qint64, debutAttendu);
        QFETCH(qint64, finAttendu);

        FiltreEcho f;
        for (const Prospect& p : prospect)
            f.ajouter(p.texte, p.debut, p.fin, p.final);
        const FiltreEcho avant = f;
        const auto v = f.examiner(texte, debut, fin);
        QCOMPARE(int(v.genre), genre);
        if (v.genre == Genre::rogner) {
            QCOMPARE(v.texte, attendu);
            QCOMPARE(v.debutMs, debutAttendu);
            QCOMPARE(v.finMs, finAttendu);
        }
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

QTEST_GUILESS_MAIN(TstFiltreEcho)
#include "tst_filtreecho.moc"
