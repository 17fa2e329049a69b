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
    void verifications()
    {
        const QString nom = QStringLiteral("Indiquez au moins un nom ou une société.");
        const QString mail = QStringLiteral("Cet email ne semble pas valide.");
        const QString montant = QStringLiteral("Indiquez un montant positif, par exemple 12 000.");
        const QString proba = QStringLiteral("Indiquez un nombre entre 0 et 100.");
        // first name, name, company, e-mail, value, probability; the message, empty when accepted.
        const struct {
            QString prenom, nom, societe, email, valeur, probabilite, message;
        } cas[] = {
            {"", "", "", "", "", "", nom},
            {"  ", " ", "\t", "", "", "", nom},   // blanks only
            {"", "", "Acme", "", "", "", ""},
            {"", "Durand", "", "", "", "", ""},
            {"Léa", "", "", "", "", "", ""},
            // Order: the name check comes before a bad e-mail, a bad amount and a bad probability.
            {"", "", "", "pas-un-email", "-3", "500", nom},
            {"", "Durand", "", "a@b", "-3", "500", mail},
            {"", "Durand", "", "a@b.fr", "douze", "500", montant},
            {"", "Durand", "", "durand.acme.fr", "", "", mail},
            {"", "Durand", "", "jean durand@acme.fr", "", "", mail},
            {"", "Durand", "", "a@@acme.fr", "", "", mail},
            {"", "Durand", "", "  j.durand@acme.fr ", "", "", ""},
            {"", "Durand", "", "", "-1", "", montant},
            {"", "Durand", "", "", "12 000 €", "", montant},
            {"", "Durand", "", "", "12 000", "", ""},
            {"", "Durand", "", "", "1\u202F500,50", "", ""},
            {"", "Durand", "", "", "", "100", ""},
            {"", "Durand", "", "", "", "0", ""},
            {"", "Durand", "", "", "", "101", proba},
            {"", "Durand", "", "", "", "-1", proba},
            {"", "Durand", "", "", "", "beaucoup", proba},
            {"", "Durand", "", "", "", "12,5", ""},
        };
        for (const auto& c : cas) {
            SaisieContact s;
            std::tie(s.prenom, s.nom, s.societe, s.email, s.valeur, s.probabilite) = std::tie(c.prenom, c.nom, c.societe, c.email, c.valeur, c.probabilite);
            QVERIFY2(verifierContact(s).value_or(QString()) == c.message,
                     qPrintable(QStringList({c.prenom, c.nom, c.societe, c.email, c.valeur, c.probabilite}).join('|') + " : "
                                + verifierContact(s).value_or(QString())));
        }
    }

    void lectureDesNombres()
    {
        // Read ("-": refused): plain, spaced, non-breaking space, comma, point; empty, blanks, suffix, infinity, two commas.
        QStringList lus;
        for (const char* t : {"12000", "12 000", "12\u00A0000", "3,5", "3.5", "", "   ", "12k", "inf", "1,2,3"}) {
            const auto v = lireNombreSaisi(QString::fromUtf8(t));
            lus << (v ? QString::number(*v) : QStringLiteral("-"));
        }
        QCOMPARE(lus, QStringList({"12000", "12000", "12000", "3.5", "3.5", "-", "-", "-", "-", "-"}));
    }

    void probabiliteParDefautDeLEtape()
    {
        // The stage's default when the field is empty (10 for an unknown stage); a typed value is kept.
        const std::pair<const char*, const char*> cas[] = {{"nouveau", ""}, {"proposition", ""}, {"gagne", ""}, {"perdu", ""}, {"bizarre", ""}, {"nouveau", "42"}};
        QList<double> lues;
        for (const auto& [etape, saisie] : cas) {
            SaisieContact s;
            std::tie(s.nom, s.etape, s.probabilite) = std::tuple(QStringLiteral("Durand"), QString::fromLatin1(etape), QString::fromLatin1(saisie));
            lues << appliquerSaisie(model::Contact{}, s).probabilite;
        }
        QCOMPARE(lues, QList<double>({5, 55, 100, 0, 10, 42}));
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
        QVERIFY(c.creeLe == base.creeLe && c.raisonPerte == base.raisonPerte && c.registre == base.registre);
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
