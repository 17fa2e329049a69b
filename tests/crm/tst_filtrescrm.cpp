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
    void recherche()
    {
        const auto l = carnet();
        IndexContacts index;
        index.mettreAJour(l);
        // Accents and case ignored in every field, telephone digits with or without spaces, e-mail, tags, notes with a
        // ligature; every word must match; blanks find everyone.
        const std::pair<const char*, QStringList> cas[] = {
            {"helene", {"c_helene"}},  {"HÉLÈNE", {"c_helene"}},  {"societe", {"c_helene"}},   {"lefevre", {"c_marc"}},
            {"0612", {"c_helene"}},    {"45 78", {"c_helene"}},   {"dupre@sge", {"c_helene"}}, {"cvc", {"c_marc"}},
            {"oeuvre", {"c_acme"}},    {"elevateurs", {"c_acme"}}, {"zoe hygiene", {"c_zoe"}},  {"zoe thermiq", {}},
            {"introuvable", {}},       {"   ", {"c_helene", "c_marc", "c_acme", "c_zoe", "c_perdu", "c_envoye"}}};
        for (const auto& [texte, attendus] : cas) {
            CriteresCRM c;
            c.recherche = QString::fromUtf8(texte);
            QVERIFY2(ids(l, index.filtrer(c, aujourdhui)) == attendus, texte);
        }
    }

    void filtresCombines()
    {
        const auto l = carnet();
        IndexContacts index;
        index.mettreAJour(l);
        // search, stage, profile, due only: the contacts found.
        const struct {
            CriteresCRM criteres;
            QStringList attendus;
        } cas[] = {
            {{"", "decouverte", "", false}, {"c_helene", "c_acme"}},
            {{"", "", "p_pme", false}, {"c_helene", "c_acme"}},
            {{"", "proposition", "p_pme", false}, {}},
            // Empty search with the follow-up filter: only what is due today or late.
            {{"", "", "", true}, {"c_helene", "c_marc", "c_zoe"}},
            {{"", "", "p_pme", true}, {"c_helene"}},
            {{"thermiq", "", "", true}, {"c_marc"}},
            {{"", "contacte", "", true}, {}},   // a stage with nothing due
            {{"dupre", "decouverte", "p_pme", true}, {"c_helene"}},
        };
        for (const auto& [criteres, attendus] : cas)
            QVERIFY2(ids(l, index.filtrer(criteres, aujourdhui)) == attendus,
                     qPrintable(QStringList({criteres.recherche, criteres.etape, criteres.profil}).join('|')));
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
        QVERIFY(!f.criteres().actif() && f.recherche().isEmpty());
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
