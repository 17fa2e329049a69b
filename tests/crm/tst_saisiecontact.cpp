// The contact form's checks, in their order, with their messages, and the
// record the form gives.
#include "crm/saisiecontact.h"
#include "commun_crm.h"

#include <QJsonArray>
#include <QTest>

using namespace vd;
using namespace vd::crm;

class TestSaisieContact : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void verifications_data()
    {
        QTest::addColumn<QString>("prenom");
        QTest::addColumn<QString>("nom");
        QTest::addColumn<QString>("societe");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("valeur");
        QTest::addColumn<QString>("probabilite");
        QTest::addColumn<QString>("message");
        const QString nom = QStringLiteral("Indiquez au moins un nom ou une société.");
        const QString mail = QStringLiteral("Cet email ne semble pas valide.");
        const QString montant = QStringLiteral("Indiquez un montant positif, par exemple 12 000.");
        const QString proba = QStringLiteral("Indiquez un nombre entre 0 et 100.");
        QTest::newRow("tout vide") << "" << "" << "" << "" << "" << "" << nom;
        QTest::newRow("blancs seulement") << "  " << " " << "\t" << "" << "" << "" << nom;
        QTest::newRow("société seule acceptée") << "" << "" << "Acme" << "" << "" << "" << "";
        QTest::newRow("nom seul") << "" << "Durand" << "" << "" << "" << "" << "";
        QTest::newRow("prénom seul") << "Léa" << "" << "" << "" << "" << "" << "";
        // Order: the name check comes before a bad e-mail, a bad amount and a bad probability.
        QTest::newRow("nom avant email") << "" << "" << "" << "pas-un-email" << "-3" << "500" << nom;
        QTest::newRow("email avant montant") << "" << "Durand" << "" << "a@b" << "-3" << "500" << mail;
        QTest::newRow("montant avant probabilité") << "" << "Durand" << "" << "a@b.fr" << "douze" << "500" << montant;
        QTest::newRow("email sans arobase") << "" << "Durand" << "" << "durand.acme.fr" << "" << "" << mail;
        QTest::newRow("email avec espace") << "" << "Durand" << "" << "jean durand@acme.fr" << "" << "" << mail;
        QTest::newRow("email deux arobases") << "" << "Durand" << "" << "a@@acme.fr" << "" << "" << mail;
        QTest::newRow("email valide entouré de blancs") << "" << "Durand" << "" << "  j.durand@acme.fr " << "" << "" << "";
        QTest::newRow("montant négatif") << "" << "Durand" << "" << "" << "-1" << "" << montant;
        QTest::newRow("montant avec texte") << "" << "Durand" << "" << "" << "12 000 €" << "" << montant;
        QTest::newRow("montant avec espaces") << "" << "Durand" << "" << "" << "12 000" << "" << "";
        QTest::newRow("montant insécable et virgule") << "" << "Durand" << "" << "" << "1\u202F500,50" << "" << "";
        QTest::newRow("probabilité 100") << "" << "Durand" << "" << "" << "" << "100" << "";
        QTest::newRow("probabilité 0") << "" << "Durand" << "" << "" << "" << "0" << "";
        QTest::newRow("probabilité 101") << "" << "Durand" << "" << "" << "" << "101" << proba;
        QTest::newRow("probabilité négative") << "" << "Durand" << "" << "" << "" << "-1" << proba;
        QTest::newRow("probabilité texte") << "" << "Durand" << "" << "" << "" << "beaucoup" << proba;
        QTest::newRow("probabilité décimale") << "" << "Durand" << "" << "" << "" << "12,5" << "";
    }
    void verifications()
    {
        QFETCH(QString, prenom);
        QFETCH(QString, nom);
        QFETCH(QString, societe);
        QFETCH(QString, email);
        QFETCH(QString, valeur);
        QFETCH(QString, probabilite);
        QFETCH(QString, message);
        SaisieContact s;
        s.prenom = prenom;
        s.nom = nom;
        s.societe = societe;
        s.email = email;
        s.valeur = valeur;
        s.probabilite = probabilite;
        QCOMPARE(verifierContact(s).value_or(QString()), message);
    }

    void lectureDesNombres_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::addColumn<bool>("lu");
        QTest::addColumn<double>("valeur");
        QTest::newRow("entier") << "12000" << true << 12000.0;
        QTest::newRow("espaces") << "12 000" << true << 12000.0;
        QTest::newRow("insécable") << "12\u00A0000" << true << 12000.0;
        QTest::newRow("virgule") << "3,5" << true << 3.5;
        QTest::newRow("point") << "3.5" << true << 3.5;
        QTest::newRow("vide") << "" << false << 0.0;
        QTest::newRow("blancs") << "   " << false << 0.0;
        QTest::newRow("suffixe") << "12k" << false << 0.0;
        QTest::newRow("infini") << "inf" << false << 0.0;
        QTest::newRow("deux virgules") << "1,2,3" << false << 0.0;
    }
    void lectureDesNombres()
    {
        QFETCH(QString, texte);
        QFETCH(bool, lu);
        QFETCH(double, valeur);
        const auto v = lireNombreSaisi(texte);
        QCOMPARE(v.has_value(), lu);
        if (lu)
            QCOMPARE(*v, valeur);
    }

    void probabiliteParDefautDeLEtape_data()
    {
        QTest::addColumn<QString>("etape");
        QTest::addColumn<QString>("saisie");
        QTest::addColumn<double>("attendue");
        QTest::newRow("nouveau, vide") << "nouveau" << "" << 5.0;
        QTest::newRow("proposition, vide") << "proposition" << "" << 55.0;
        QTest::newRow("gagné, vide") << "gagne" << "" << 100.0;
        QTest::newRow("perdu, vide") << "perdu" << "" << 0.0;
        QTest::newRow("étape inconnue, vide") << "bizarre" << "" << 10.0;
        QTest::newRow("saisie gardée") << "nouveau" << "42" << 42.0;
    }
    void probabiliteParDefautDeLEtape()
    {
        QFETCH(QString, etape);
        QFETCH(QString, saisie);
        QFETCH(double, attendue);
        SaisieContact s;
        s.nom = QStringLiteral("Durand");
        s.etape = etape;
        s.probabilite = saisie;
        QCOMPARE(appliquerSaisie(model::Contact{}, s).probabilite, attendue);
    }

    void saisieDonneLeContactEtGardeLeReste()
    {
        const model::Contact base{.id = "c1", .creeLe = "2026-01-01T10:00:00.000Z", .raisonPerte = "Budget",
                                  .registre = model::RegistreContact{QStringLiteral("vous"), 0.9, {}, {}, {}}};
        SaisieContact s = SaisieContact::depuis(base);
        s.prenom = QStringLiteral("  Hélène ");
        s.nom = QStringLiteral("Dupré");
        s.valeur = QStringLiteral("12 000");
        s.tags = QStringLiteral("salon, cvc, , salon");
        s.prochaineAction = QStringLiteral("Rappeler");
        s.echeance = QStringLiteral("2026-03-04");
        const model::Contact c = appliquerSaisie(base, s);
        QVERIFY(c.prochaineAction);
        QCOMPARE(QStringList({c.prenom, QString::number(c.valeur), c.tags.join(','), c.prochaineAction->echeance}),
                 QStringList({"Hélène", "12000", "salon,cvc", "2026-03-04"}));
        QCOMPARE(c.creeLe, base.creeLe);
        QCOMPARE(c.raisonPerte, base.raisonPerte);
        QCOMPARE(c.registre, base.registre);
        s.prochaineAction.clear();
        s.echeance.clear();
        QVERIFY(!appliquerSaisie(base, s).prochaineAction);
    }

    void jsonDuContactLuCommeLeFormulaire()
    {
        SaisieContact base;
        base.nom = QStringLiteral("Durand");
        base.valeur = QStringLiteral("500");
        const QJsonObject o{{QStringLiteral("valeur"), QStringLiteral("12 000")},
                            {QStringLiteral("probabilite"), QStringLiteral("")},
                            {QStringLiteral("tags"), QJsonArray{QStringLiteral("a"), 3}},
                            {QStringLiteral("tel"), 612457810},
                            {QStringLiteral("champs"), QJsonObject{{QStringLiteral("budget"), QStringLiteral("40 k€")}}}};
        const SaisieContact s = SaisieContact::depuisJson(o, base);
        QCOMPARE(QStringList({s.nom, s.valeur, s.probabilite, s.tags, s.tel, s.champs.budget}),
                 QStringList({"Durand", "12 000", "", "a, 3", "612457810", "40 k€"}));
        QVERIFY(!verifierContact(s));
        const QJsonObject nombre{{QStringLiteral("valeur"), 1500.5}};
        QCOMPARE(lireNombreSaisi(SaisieContact::depuisJson(nombre, base).valeur), 1500.5);
    }
};

QTEST_GUILESS_MAIN(TestSaisieContact)
#include "tst_saisiecontact.moc"
