// Searching and filtering the contacts: accents and case ignored, telephone
// digits, combined filters, the "due today or late" rule, the index kept up
// to date, and the screen's filter object.
#include "crm/filtres.h"
#include "commun_crm.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace vd;
using namespace vd::crm;

namespace {

const QString aujourdhui = QStringLiteral("2026-03-10");

QJsonObject pas(const QString& date, const QString& statut)
{
    return QJsonObject{{QStringLiteral("id"), date}, {QStringLiteral("date"), date}, {QStringLiteral("statut"), statut}};
}

model::JSONValeur sequence(const QString& statut, const QString& envoyee, const QString& suivante)
{
    return model::JSONValeur(QJsonObject{{"statut", statut}, {"etapes", QJsonArray{pas(envoyee, "envoyee"), pas(suivante, "a_venir")}}});
}

// The shared fixture: six contacts covering every filter.
QList<model::Contact> carnet()
{
    QList<model::Contact> l{
        {.id = "c_helene", .prenom = "Hélène", .nom = "Dupré", .societe = "Société Générale d'Entretien", .email = "helene.dupre@sge.fr",
         .tel = "06 12 45 78 10", .profilClientId = "p_pme", .etape = "decouverte", .prochaineAction = model::ProchaineAction{"Rappeler", aujourdhui}},
        {.id = "c_marc", .prenom = "Marc", .nom = "Lefèvre", .societe = "Thermiq", .profilClientId = "p_reseau", .etape = "proposition",
         .tags = {"Salon", "CVC"}, .prochaineAction = model::ProchaineAction{"Relancer", "2026-03-02"}},   // late
        {.id = "c_acme", .societe = "ACME Élévateurs", .profilClientId = "p_pme", .etape = "decouverte", .notes = "Rencontré à l'Œuvre d'été",
         .prochaineAction = model::ProchaineAction{"Démo", "2026-03-11"}},   // tomorrow
        {.id = "c_zoe", .prenom = "Zoé", .nom = "Martin", .societe = "Hygiène Plus", .etape = "negociation",
         .relance = sequence("active", "2026-03-01", aujourdhui)},
        // A closed deal: its next action is not due, its stopped sequence neither.
        {.id = "c_perdu", .prenom = "Paul", .nom = "Roux", .societe = "Net & Vitres", .etape = "perdu",
         .prochaineAction = model::ProchaineAction{"Rappeler l'an prochain", "2026-01-05"},
         .relance = model::JSONValeur(QJsonObject{{"statut", "arretee"}, {"etapes", QJsonArray{pas("2026-03-01", "a_venir")}}})},
        {.id = "c_envoye", .prenom = "Inès", .nom = "Garnier", .societe = "Lumen", .etape = "contacte",
         .relance = sequence("active", "2026-03-01", "2026-03-20")}};
    return l;
}

QStringList ids(const QList<model::Contact>& l, const QList<int>& positions)
{
    QStringList r;
    for (int p : positions)
        r << l.at(p).id;
    return r;
}

} // namespace

class TestFiltresCRM : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void recherche_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::addColumn<QStringList>("attendus");
        QTest::newRow("accents et casse du prénom") << "helene" << QStringList{"c_helene"};
        QTest::newRow("majuscules") << "HÉLÈNE" << QStringList{"c_helene"};
        QTest::newRow("société sans accent") << "societe" << QStringList{"c_helene"};
        QTest::newRow("nom accentué") << "lefevre" << QStringList{"c_marc"};
        QTest::newRow("téléphone en chiffres") << "0612" << QStringList{"c_helene"};
        QTest::newRow("téléphone avec espaces") << "45 78" << QStringList{"c_helene"};
        QTest::newRow("email") << "dupre@sge" << QStringList{"c_helene"};
        QTest::newRow("tag") << "cvc" << QStringList{"c_marc"};
        QTest::newRow("notes avec ligature") << "oeuvre" << QStringList{"c_acme"};
        QTest::newRow("société seule") << "elevateurs" << QStringList{"c_acme"};
        QTest::newRow("deux mots") << "zoe hygiene" << QStringList{"c_zoe"};
        QTest::newRow("deux mots dont un absent") << "zoe thermiq" << QStringList{};
        QTest::newRow("rien") << "introuvable" << QStringList{};
        QTest::newRow("blancs seuls") << "   " << QStringList{"c_helene", "c_marc", "c_acme", "c_zoe", "c_perdu", "c_envoye"};
    }
    void recherche()
    {
        QFETCH(QString, texte);
        QFETCH(QStringList, attendus);
        const auto l = carnet();
        IndexContacts index;
        index.mettreAJour(l);
        CriteresCRM c;
        c.recherche = texte;
        QCOMPARE(ids(l, index.filtrer(c, aujourdhui)), attendus);
    }

    void filtresCombines_data()
    {
        QTest::addColumn<QString>("recherche");
        QTest::addColumn<QString>("etape");
        QTest::addColumn<QString>("profil");
        QTest::addColumn<bool>("relances");
        QTest::addColumn<QStringList>("attendus");
        QTest::newRow("étape") << "" << "decouverte" << "" << false << QStringList{"c_helene", "c_acme"};
        QTest::newRow("profil") << "" << "" << "p_pme" << false << QStringList{"c_helene", "c_acme"};
        QTest::newRow("étape et profil") << "" << "proposition" << "p_pme" << false << QStringList{};
        // Empty search with the follow-up filter: only what is due today or late.
        QTest::newRow("à relancer seul") << "" << "" << "" << true << QStringList{"c_helene", "c_marc", "c_zoe"};
        QTest::newRow("à relancer et profil") << "" << "" << "p_pme" << true << QStringList{"c_helene"};
        QTest::newRow("à relancer et recherche") << "thermiq" << "" << "" << true << QStringList{"c_marc"};
        QTest::newRow("à relancer, étape sans échéance") << "" << "contacte" << "" << true << QStringList{};
        QTest::newRow("tout") << "dupre" << "decouverte" << "p_pme" << true << QStringList{"c_helene"};
    }
    void filtresCombines()
    {
        QFETCH(QString, recherche);
        QFETCH(QString, etape);
        QFETCH(QString, profil);
        QFETCH(bool, relances);
        QFETCH(QStringList, attendus);
        const auto l = carnet();
        IndexContacts index;
        index.mettreAJour(l);
        QCOMPARE(ids(l, index.filtrer({recherche, etape, profil, relances}, aujourdhui)), attendus);
    }

    void regleARelancer()
    {
        QList<bool> dus;
        for (const model::Contact& c : carnet())
            dus << aRelancer(c, aujourdhui);
        // Due today, late, tomorrow, a running sequence's step today, a lost deal, today's step already sent and the next later.
        QCOMPARE(dus, QList<bool>({true, true, false, true, false, false}));
    }

    void echeanceDeLaProchaineAction()
    {
        const auto l = carnet();
        QCOMPARE(echeanceContact(l.at(0)), (EcheanceCRM{aujourdhui, false}));
        // A running sequence's first unsent step comes before the next action.
        QCOMPARE(echeanceContact(l.at(5)), (EcheanceCRM{QStringLiteral("2026-03-20"), false}));
        model::Contact rdv = l.at(2);
        rdv.prochaineAction->echeance = QStringLiteral("2026-03-11T14:30:00.000Z");
        QCOMPARE(echeanceContact(rdv), (EcheanceCRM{rdv.prochaineAction->echeance, true}));
        QVERIFY(!echeanceContact({.id = "x", .prenom = "A"}));
    }

    void indexSuitLesChangements()
    {
        QList<model::Contact> l = carnet();
        IndexContacts index;
        index.mettreAJour(l);
        CriteresCRM c;
        c.recherche = QStringLiteral("nouvelle societe");
        QVERIFY(index.filtrer(c, aujourdhui).isEmpty());
        // A changed contact, an added one and a removed one are all seen.
        l[1].societe = QStringLiteral("Nouvelle Société");
        l.prepend({.id = "c_neuf", .prenom = "Léo", .nom = "Neuf", .societe = "Nouvelle Société bis"});
        l.removeAt(3);   // c_acme
        index.mettreAJour(l);
        QCOMPARE(index.taille(), l.size());
        QCOMPARE(ids(l, index.filtrer(c, aujourdhui)), (QStringList{QStringLiteral("c_neuf"), QStringLiteral("c_marc")}));
        c.recherche = QStringLiteral("elevateurs");
        QVERIFY(index.filtrer(c, aujourdhui).isEmpty());
        // Changing the stage moves the contact between stage filters.
        l[2].etape = QStringLiteral("gagne");   // c_marc, after the prepend
        index.mettreAJour(l);
        QCOMPARE(ids(l, index.filtrer({{}, QStringLiteral("gagne"), {}, false}, aujourdhui)), QStringList{QStringLiteral("c_marc")});
    }

    void objetFiltres()
    {
        FiltresCRM f;
        QSignalSpy criteres(&f, &FiltresCRM::criteresChanges);
        QSignalSpy selection(&f, &FiltresCRM::selectionChangee);
        f.setRecherche(QStringLiteral("abc"));
        f.setRecherche(QStringLiteral("abc"));
        f.setEtape(QStringLiteral("demo"));
        f.setRelances(true);
        QCOMPARE(criteres.count(), 3);
        QVERIFY(f.criteres().actif());
        f.effacer();
        QCOMPARE(criteres.count(), 4);
        QVERIFY(!f.criteres().actif());
        QCOMPARE(f.recherche(), QString());
        f.basculerSelection(QStringLiteral("a"), true);
        f.basculerSelection(QStringLiteral("b"), true);
        f.basculerSelection(QStringLiteral("b"), true);
        QCOMPARE(f.selection().size(), 2);
        f.garderSelection({QStringLiteral("a")});
        QCOMPARE(f.selection(), QSet<QString>{QStringLiteral("a")});
        f.deselectionner();
        QVERIFY(f.selection().isEmpty());
        QCOMPARE(selection.count(), 4);
    }
};

QTEST_GUILESS_MAIN(TestFiltresCRM)
#include "tst_filtrescrm.moc"
