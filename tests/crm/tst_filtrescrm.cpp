// Searching and filtering the contacts: accents and case ignored, telephone
// digits, combined filters, the "due today or late" rule, the index kept up
// to date, and the screen's filter object.
#include "crm/filtres.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace vd;
using namespace vd::crm;

namespace {

const QString aujourdhui = QStringLiteral("2026-03-10");

model::Contact contact(const QString& id, const QString& prenom, const QString& nom, const QString& societe, const QString& etape = QStringLiteral("nouveau"))
{
    model::Contact c;
    c.id = id;
    c.prenom = prenom;
    c.nom = nom;
    c.societe = societe;
    c.etape = etape;
    return c;
}

QJsonObject sequence(const QString& statut, const QJsonArray& etapes)
{
    return QJsonObject{{QStringLiteral("statut"), statut}, {QStringLiteral("etapes"), etapes}};
}

QJsonObject pas(const QString& date, const QString& statut)
{
    return QJsonObject{{QStringLiteral("id"), date}, {QStringLiteral("date"), date}, {QStringLiteral("statut"), statut}};
}

// The shared fixture: six contacts covering every filter.
QList<model::Contact> carnet()
{
    QList<model::Contact> l;
    auto helene = contact(QStringLiteral("c_helene"), QStringLiteral("Hélène"), QStringLiteral("Dupré"), QStringLiteral("Société Générale d'Entretien"), QStringLiteral("decouverte"));
    helene.tel = QStringLiteral("06 12 45 78 10");
    helene.email = QStringLiteral("helene.dupre@sge.fr");
    helene.profilClientId = QStringLiteral("p_pme");
    helene.prochaineAction = model::ProchaineAction{QStringLiteral("Rappeler"), aujourdhui};
    l << helene;
    auto marc = contact(QStringLiteral("c_marc"), QStringLiteral("Marc"), QStringLiteral("Lefèvre"), QStringLiteral("Thermiq"), QStringLiteral("proposition"));
    marc.tags = {QStringLiteral("Salon"), QStringLiteral("CVC")};
    marc.profilClientId = QStringLiteral("p_reseau");
    marc.prochaineAction = model::ProchaineAction{QStringLiteral("Relancer"), QStringLiteral("2026-03-02")};   // late
    l << marc;
    auto acme = contact(QStringLiteral("c_acme"), QString(), QString(), QStringLiteral("ACME Élévateurs"), QStringLiteral("decouverte"));
    acme.notes = QStringLiteral("Rencontré à l'Œuvre d'été");
    acme.profilClientId = QStringLiteral("p_pme");
    acme.prochaineAction = model::ProchaineAction{QStringLiteral("Démo"), QStringLiteral("2026-03-11")};   // tomorrow
    l << acme;
    auto zoe = contact(QStringLiteral("c_zoe"), QStringLiteral("Zoé"), QStringLiteral("Martin"), QStringLiteral("Hygiène Plus"), QStringLiteral("negociation"));
    zoe.relance = model::JSONValeur(sequence(QStringLiteral("active"), {pas(QStringLiteral("2026-03-01"), QStringLiteral("envoyee")), pas(aujourdhui, QStringLiteral("a_venir"))}));
    l << zoe;
    auto perdu = contact(QStringLiteral("c_perdu"), QStringLiteral("Paul"), QStringLiteral("Roux"), QStringLiteral("Net & Vitres"), QStringLiteral("perdu"));
    perdu.prochaineAction = model::ProchaineAction{QStringLiteral("Rappeler l'an prochain"), QStringLiteral("2026-01-05")};   // closed deal: not due
    perdu.relance = model::JSONValeur(sequence(QStringLiteral("arretee"), {pas(QStringLiteral("2026-03-01"), QStringLiteral("a_venir"))}));
    l << perdu;
    auto envoye = contact(QStringLiteral("c_envoye"), QStringLiteral("Inès"), QStringLiteral("Garnier"), QStringLiteral("Lumen"), QStringLiteral("contacte"));
    envoye.relance = model::JSONValeur(sequence(QStringLiteral("active"), {pas(QStringLiteral("2026-03-01"), QStringLiteral("envoyee")), pas(QStringLiteral("2026-03-20"), QStringLiteral("a_venir"))}));
    l << envoye;
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

    void regleARelancer_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("due");
        QTest::newRow("prochaine action aujourd'hui") << 0 << true;
        QTest::newRow("prochaine action en retard") << 1 << true;
        QTest::newRow("prochaine action demain") << 2 << false;
        QTest::newRow("relance active du jour") << 3 << true;
        QTest::newRow("affaire perdue, séquence arrêtée") << 4 << false;
        QTest::newRow("relance du jour déjà envoyée, suivante plus tard") << 5 << false;
    }
    void regleARelancer()
    {
        QFETCH(int, position);
        QFETCH(bool, due);
        QCOMPARE(aRelancer(carnet().at(position), aujourdhui), due);
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
        QVERIFY(!echeanceContact(contact(QStringLiteral("x"), QStringLiteral("A"), {}, {})));
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
        l.prepend(contact(QStringLiteral("c_neuf"), QStringLiteral("Léo"), QStringLiteral("Neuf"), QStringLiteral("Nouvelle Société bis")));
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
