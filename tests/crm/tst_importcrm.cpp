// Contact import rules: header normalisation, column and stage proposals,
// reading rows (numbers, dates, e-mails, notes, stages) and the plan in its
// four duplicate modes, with cancellation.
#include "crm/importcrm.h"
#include "commun_crm.h"

#include <QTest>

using namespace vd::crm;
using vd::model::Contact;

namespace {

ContexteImport contexte()
{
    ContexteImport c;
    const char* const etapes[][2] = {{"nouveau", "Nouveau"},       {"contacte", "Contacté"},       {"decouverte", "Découverte"},
                                     {"demo", "Démo"},             {"proposition", "Proposition"}, {"negociation", "Négociation"},
                                     {"gagne", "Gagné"},           {"perdu", "Perdu"},             {"sommeil", "En sommeil"}};
    for (const auto& e : etapes)
        c.etapes.append({QString::fromUtf8(e[0]), QString::fromUtf8(e[1])});
    c.probaParEtape = {{QStringLiteral("nouveau"), 5}, {QStringLiteral("decouverte"), 20}};
    c.grille = grilleDe({});
    c.profils = {{QStringLiteral("p1"), QStringLiteral("PME industrielle")}};
    c.aujourdhui = QStringLiteral("2026-12-07");
    return c;
}

TableauImport tableau(const QStringList& entetes, const QList<QStringList>& lignes)
{
    TableauImport t;
    t.entetes = entetes;
    int n = 2;
    for (const QStringList& l : lignes)
        t.lignes.append({n++, l});
    return t;
}

Contact contact(const QString& id, const QString& prenom, const QString& nom, const QString& email, const QString& societe = {})
{
    return {.id = id, .prenom = prenom, .nom = nom, .societe = societe, .email = email, .etape = "decouverte", .probabilite = 20};
}

LigneLue lire(const QStringList& entetes, const QStringList& cellules, const ContexteImport& ctx = contexte())
{
    const TableauImport t = tableau(entetes, {cellules});
    RegleLecture r;
    r.correspondances = proposerColonnes(t, ctx.grille);
    r.etapesChoisies = proposerEtapes(t, r.correspondances, ctx.etapes);
    return lireLigne(t.lignes.first(), t, r, ctx);
}

} // namespace

class TstImportCRM : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void normalisation_data()
    {
        QTest::addColumn<QString>("titre");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("accents") << "Date de création" << "date de creation";
        QTest::newRow("pourcent") << "Probabilité (%)" << "probabilite %";
        QTest::newRow("tiret") << "E-mail professionnel" << "e mail professionnel";
        QTest::newRow("apostrophe") << "Nom de l’entreprise" << "nom de l entreprise";
        QTest::newRow("bords") << "  __Prénom__ " << "prenom";
    }
    void normalisation()
    {
        QFETCH(QString, titre);
        QFETCH(QString, attendu);
        QCOMPARE(normaliserEntete(titre), attendu);
    }

    void propositionColonnes()
    {
        const TableauImport t = tableau(
            {"Prénom", "Last Name", "E-mail professionnel", "Company", "Id", "Contact ID", "Budget", "Téléphone", "Autre téléphone", "Profil LinkedIn",
             "Anniversaire", "Mobile", "Mis à jour le", "Décideur", "Nom"},
            {{"Léa", "Durand", "lea@durand.fr", "Acme", "1", "x", "10k", "0612345678", "0698765432", "", "12/03/1990", "", "2024-01-01", "Paul", "D"},
             {"Paul", "Morel", "<paul@morel.fr>", "Beta", "2", "y", "", "", "", "", "01/02/1985", "", "", "", "M"},
             {"Zoé", "Roy", "zoe@roy.fr", "Gamma", "3", "z", "", "", "", "", "15/07/2001", "", "", "", "R"}});
        const QStringList c = proposerColonnes(t, grilleDe({}));
        QCOMPARE(c, QStringList({"prenom", "nom", "email", "societe", "", "", "qualif:budget", "tel", "", "linkedin", "", "", "", "qualif:decideur", ""}));
    }

    void propositionContenu()
    {
        // Untitled columns judged on their contents; a date column is never the telephone.
        const TableauImport t = tableau({"Col1", "Col2", "Col3", "Col4"},
                                        {{"a@b.fr", "https://www.linkedin.com/in/a", "06 12 34 56 78", "1990-03-12"},
                                         {"c@d.fr", "https://linkedin.com/in/c", "+33 6 98 76 54 32", "1985-01-02"},
                                         {"pas un email", "", "01.23.45.67.89", "2001-07-15"}});
        QCOMPARE(proposerColonnes(t, {}), QStringList({"email", "linkedin", "tel", ""}));
        // One value is not enough.
        QCOMPARE(proposerColonnes(tableau({"X"}, {{"a@b.fr"}}), {}), QStringList({""}));
    }

    void etapes_data()
    {
        QTest::addColumn<QString>("valeur");
        QTest::addColumn<QString>("etape");
        QTest::newRow("libellé") << "Découverte" << "decouverte";
        QTest::newRow("id") << "demo" << "demo";
        QTest::newRow("à contacter") << "À contacter" << "nouveau";
        QTest::newRow("closed won") << "Closed Won" << "gagne";
        QTest::newRow("closed lost") << "Closed Lost" << "perdu";
        QTest::newRow("devis") << "Devis envoyé" << "proposition";
        QTest::newRow("rdv") << "RDV fixé" << "decouverte";
        QTest::newRow("mql") << "MQL" << "contacte";
        QTest::newRow("nurturing") << "Nurturing" << "sommeil";
        QTest::newRow("inconnue") << "Zzz" << "nouveau";
        QTest::newRow("négo") << "En négo" << "negociation";
    }
    void etapes()
    {
        QFETCH(QString, valeur);
        QFETCH(QString, etape);
        QCOMPARE(proposerEtape(valeur, contexte().etapes), etape);
    }

    void nombres_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::addColumn<double>("valeur");
        QTest::newRow("français") << "1 234,56 €" << 1234.56;
        QTest::newRow("espace insécable") << QString::fromUtf8("1\u202F234,56\u00A0€") << 1234.56;
        QTest::newRow("k") << "12k" << 12000.0;
        QTest::newRow("M") << "1,5M" << 1500000.0;
        QTest::newRow("milliers") << "1,234" << 1234.0;
        QTest::newRow("zéro virgule") << "0,234" << 0.234;
        QTest::newRow("euros") << "12 euros" << 12.0;
        QTest::newRow("HT") << "15 000 € HT" << 15000.0;
        QTest::newRow("anglais") << "1,234.5" << 1234.5;
        QTest::newRow("points milliers") << "1.234.567" << 1234567.0;
        QTest::newRow("décimale") << "12,5" << 12.5;
        QTest::newRow("pourcent") << "35 %" << 35.0;
    }
    void nombres()
    {
        QFETCH(QString, texte);
        QFETCH(double, valeur);
        const auto v = lireNombre(texte);
        QVERIFY2(v, qPrintable(texte));
        QCOMPARE(*v, valeur);
    }
    void nombresIllisibles()
    {
        for (const char* t : {"beaucoup", "12os", "", "1-2", "k"})
            QVERIFY2(!lireNombre(QString::fromUtf8(t)), t);
    }

    void dates_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("mois-jour") << "03/15/2024" << "2024-03-15";
        QTest::newRow("jour-mois court") << "15/03/24" << "2024-03-15";
        QTest::newRow("ISO avec heure") << "2024-03-15T10:00:00Z" << "2024-03-15";
        QTest::newRow("avec heure") << "15/03/2024 10:30" << "2024-03-15";
        QTest::newRow("série") << "45 292" << "2024-01-01";
        QTest::newRow("année 19xx") << "01.02.85" << "1985-02-01";
        QTest::newRow("31 février") << "31/02/2024" << "";
        QTest::newRow("mois 13") << "2024-13-01" << "";
        QTest::newRow("texte") << "fin mars" << "";
        QTest::newRow("an 2300") << "01/01/2300" << "";
    }
    void dates()
    {
        QFETCH(QString, texte);
        QFETCH(QString, attendu);
        QCOMPARE(lireDate(texte).value_or(QString()), attendu);
    }

    void emails_data()
    {
        QTest::addColumn<QString>("cellule");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("avertissement");
        QTest::newRow("mailto") << "mailto:Lea@Acme.fr" << "Lea@Acme.fr" << "";
        QTest::newRow("nom et adresse") << "Léa Durand <lea@acme.fr>" << "lea@acme.fr" << "";
        QTest::newRow("point-virgule") << "a@b.fr; c@d.fr" << "a@b.fr" << "Plusieurs emails : seul le premier est gardé";
        QTest::newRow("virgule") << "a@b.fr, c@d.fr" << "a@b.fr" << "Plusieurs emails : seul le premier est gardé";
        QTest::newRow("invalide") << "durand arobase acme" << "" << "Email invalide « durand arobase acme »";
    }
    void emails()
    {
        QFETCH(QString, cellule);
        QFETCH(QString, email);
        QFETCH(QString, avertissement);
        bool plusieurs = false;
        if (!email.isEmpty())
            QCOMPARE(nettoyerEmail(cellule, &plusieurs), email);
        QCOMPARE(plusieurs, avertissement.startsWith(QLatin1String("Plusieurs")));
        const LigneLue l = lire({"Nom", "Email"}, {"Durand", cellule});
        QCOMPARE(l.contact.email, email);
        QCOMPARE(l.avertissements.join(QString()), avertissement);
    }

    void lectureLigne()
    {
        const LigneLue l = lire({"Nom complet", "Société", "Site web", "Ville", "Valeur", "Statut", "Prochaine action", "Date de relance",
                                 "Profil", "Tags", "Notes", "Échéance", "Douleur", "Remarque perso"},
                                {"Léa Durand", "Acme", "acme.fr", "Lyon", "12 000 €", "RDV fixé", "", "15/01/2027", "PME industrielle",
                                 "chaud, salon; 2026", "Vu au salon", "fin du trimestre", "Stock", "x"});
        const Contact& c = l.contact;
        QVERIFY(c.prochaineAction && c.qualification);
        // An unreadable timeline ("fin du trimestre") stays as the user wrote it.
        QCOMPARE(QStringList({c.prenom, c.nom, QString::number(c.valeur), c.etape, QString::number(c.probabilite), c.prochaineAction->texte,
                              c.prochaineAction->echeance, c.profilClientId, c.tags.join(','), c.notes, c.champs.echeance, c.champs.douleur,
                              vd::tests::champs(c.qualification->first().qt().toObject(), {"source", "date"})}),
                 QStringList({"Léa", "Durand", "12000", "decouverte", "20", "Relancer", "2027-01-15", "p1", "chaud,salon,2026",
                              "Vu au salon\nSite web : acme.fr\nVille : Lyon", "fin du trimestre", "Stock", "import|2026-12-07"}));
        QVERIFY(l.avertissements.isEmpty() && !l.erreur);
        QVERIFY(!l.remplis.contains("probabilite"));
    }

    void lectureAvertissements()
    {
        const LigneLue l = lire({"Nom", "Montant", "Probabilité", "Date de relance", "Profil"},
                                {"Durand", "beaucoup", "peut-être", "31/02/2024", "Inconnu"});
        QCOMPARE(l.avertissements, QStringList({"Valeur illisible « beaucoup »", "Probabilité illisible « peut-être »",
                                                "Date illisible « 31/02/2024 » : prochaine action sans échéance",
                                                "Profil client inconnu « Inconnu »"}));
        QVERIFY(!l.contact.prochaineAction);
        QCOMPARE(l.contact.probabilite, 5.0);
    }

    void issueEtProbabilite_data()
    {
        QTest::addColumn<QStringList>("entetes");
        QTest::addColumn<QStringList>("cellules");
        QTest::addColumn<QString>("attendu");   // stage|probability|reason for loss
        QTest::newRow("perdu") << QStringList{"Nom", "Issue", "Raison de perte", "Probabilité"} << QStringList{"Durand", "Perdu", "Trop cher", "80"}
                               << "perdu|0|Trop cher";
        QTest::newRow("gagné") << QStringList{"Nom", "Outcome", "Raison de perte"} << QStringList{"Durand", "Closed won", "Trop cher"} << "gagne|100|";
        QTest::newRow("hors bornes") << QStringList{"Nom", "Probabilité"} << QStringList{"Durand", "250"} << "nouveau|100|";
        QTest::newRow("sans étape") << QStringList{"Nom"} << QStringList{"Durand"} << "nouveau|5|";
        QTest::newRow("étape sans défaut") << QStringList{"Nom", "Étape"} << QStringList{"Durand", "Démo"} << "demo|10|";
    }
    void issueEtProbabilite()
    {
        QFETCH(QStringList, entetes);
        QFETCH(QStringList, cellules);
        QFETCH(QString, attendu);
        const Contact c = lire(entetes, cellules).contact;
        QCOMPARE(QStringList({c.etape, QString::number(c.probabilite), c.raisonPerte.value_or(QString())}).join('|'), attendu);
    }

    void ligneSansIdentite()
    {
        const LigneLue l = lire({"Nom", "Téléphone"}, {"", "0612345678"});
        QCOMPARE(l.erreur.value_or(QString()), QStringLiteral("Ni nom, ni société, ni email"));
        const LigneLue s = lire({"Société"}, {"Acme"});
        QVERIFY(!s.erreur);
        // Cells are cut to 300 characters.
        QCOMPARE(lire({"Nom"}, {QString(400, u'x')}).contact.nom.size(), 300);
    }

    void cles()
    {
        QCOMPARE(QStringList({cleDoublon(contact("a", "Léa", "Durand", " Lea@Acme.FR ")), cleDoublon(contact("a", "Léa", "Durand", "", "Acme SA")),
                              cleDoublon(contact("a", "", "", "", "Acme")), cleDoublon(contact("a", "", "", ""))}),
                 QStringList({"e:lea@acme.fr", "n:lea durand|acme sa", "s:acme", ""}));
    }

    void plan_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("nouveaux");
        QTest::addColumn<int>("majs");
        QTest::addColumn<QStringList>("ignores");
        QTest::newRow("completer") << "completer" << 1 << 1 << QStringList({"3:En double dans le fichier (ligne 2)", "5:Déjà à jour (Paul Morel)"});
        QTest::newRow("remplacer") << "remplacer" << 1 << 1 << QStringList({"3:En double dans le fichier (ligne 2)", "5:Déjà à jour (Paul Morel)"});
        QTest::newRow("ignorer") << "ignorer" << 1 << 0
                                 << QStringList({"2:Déjà dans le CRM (Léa Durand)", "3:En double dans le fichier (ligne 2)",
                                                 "5:Déjà dans le CRM (Paul Morel)"});
        QTest::newRow("creer") << "creer" << 3 << 0 << QStringList({"3:En double dans le fichier (ligne 2)"});
    }
    void plan()
    {
        QFETCH(QString, mode);
        QFETCH(int, nouveaux);
        QFETCH(int, majs);
        QFETCH(QStringList, ignores);
        ContexteImport ctx = contexte();
        Contact lea = contact("c1", "Léa", "Durand", "lea@acme.fr");
        Contact paul = contact("c2", "Paul", "Morel", "", "Beta");
        paul.poste = QStringLiteral("DG");
        ctx.existants = {lea, paul};
        const TableauImport t = tableau({"Prénom", "Nom", "Email", "Société", "Poste", "Étape"},
                                        {{"Léa", "Durand", "LEA@acme.fr", "Acme", "DAF", "Proposition"},
                                         {"Léa", "Durand", "lea@acme.fr", "", "", ""},
                                         {"Zoé", "Roy", "zoe@roy.fr", "", "", ""},
                                         {"Paul", "Morel", "", "Beta", "DG", ""},
                                         {"", "", "", "", "", "Nouveau"}});
        RegleLecture r;
        r.correspondances = proposerColonnes(t, ctx.grille);
        r.etapesChoisies = proposerEtapes(t, r.correspondances, ctx.etapes);
        const auto p = calculerPlan(t, r, *modeDepuis(mode), ctx);
        QVERIFY(p);
        QCOMPARE(p->nouveaux.size(), nouveaux);
        QCOMPARE(p->majs.size(), majs);
        QStringList lus;
        for (const NoteLigne& n : p->ignores)
            lus << QString::number(n.numero) + QLatin1Char(':') + n.texte;
        QCOMPARE(lus, ignores);
        QCOMPARE(p->erreurs, QList<NoteLigne>({{6, "Ni nom, ni société, ni email"}}));
        QCOMPARE(p->doublonsTrouves, 2);
        for (const Contact& c : p->nouveaux)
            QVERIFY(c.id.startsWith(QLatin1String("c_")));
        // Completing fills only empty fields and never changes the stage; replacing takes the file's stage, and an empty cell
        // erases nothing.
        if (majs) {
            const MajImport& m = p->majs.first();
            QCOMPARE(QStringList({m.apres.prenom, m.apres.societe, m.apres.poste, m.apres.etape, m.champs.join(',')}).join('|'),
                     mode == QLatin1String("completer") ? "Léa|Acme|DAF|decouverte|poste,societe" : "Léa|Acme|DAF|proposition|email,etape,poste,societe");
        }
    }

    void annulation()
    {
        QList<QStringList> lignes;
        for (int i = 0; i < 2000; ++i)
            lignes.append({QStringLiteral("Nom %1").arg(i)});
        const TableauImport t = tableau({"Nom"}, lignes);
        RegleLecture r;
        r.correspondances = {"nom"};
        std::atomic<bool> annule = false;
        QList<double> progres;
        const auto p = calculerPlan(t, r, ModeDoublons::completer, contexte(), &annule, [&](double v) {
            progres << v;
            if (v >= 0.5)
                annule = true;
        });
        QVERIFY(!p);
        QCOMPARE(progres, QList<double>({0.0, 0.25, 0.5}));
        const auto complet = calculerPlan(t, r, ModeDoublons::completer, contexte(), nullptr, [&](double v) { progres << v; });
        QVERIFY(complet);
        QCOMPARE(complet->nouveaux.size(), 2000);
        QCOMPARE(progres.last(), 1.0);
    }

    void tableauDepuisFeuille()
    {
        FeuilleTableur f;
        f.nom = QStringLiteral("Contacts");
        QCOMPARE(construireTableau(f).erreur().message, QStringLiteral("Ce fichier ne contient aucune ligne."));
        f.lignes = {{"Nom"}, {" ", ""}};
        QCOMPARE(construireTableau(f).erreur().message, QStringLiteral("« Contacts » n'a qu'une ligne de titres, sans contact dessous."));
        f.lignes = {{"Nom"}, {"A"}, {""}, {"B"}};
        f.numeros = {1, 2, 5, 9};
        const auto t = construireTableau(f);
        QVERIFY(t);
        // Rows 3, 4, 6, 7, 8 left out, row 5 empty: 6 empty rows.
        QCOMPARE(QList<qsizetype>({t.valeur().lignes.size(), t.valeur().lignes[1].numero, t.valeur().lignesVides}), QList<qsizetype>({2, 9, 6}));
        f.numeros.clear();
        f.lignes = {{"Nom"}, {"A"}};
        f.lignesNonGardees = 20000;
        QCOMPARE(construireTableau(f).erreur().message, QStringLiteral("20001 lignes : 20 000 au plus par import. Découpez-le en plusieurs fichiers."));
    }

    void catalogue()
    {
        const auto champs = champsImport(grilleDe({}));
        QCOMPARE(champs.size(), 26);
        QCOMPARE(champs.first().libelle + '|' + champs[21].id + '|' + champs[22].id, QStringLiteral("Prénom|noteLibre|qualif:douleur"));
        QVERIFY(!champs[21].unique);
        QCOMPARE(verifierCorrespondances({"tel", ""}).value_or(QString()),
                 QStringLiteral("Choisissez au moins une colonne pour le nom, la société ou l'email."));
        QVERIFY(!verifierCorrespondances({"tel", "societe"}));
        QCOMPARE(titreMode(ModeDoublons::ignorer), QStringLiteral("Ignorer les doublons"));
    }
};

QTEST_GUILESS_MAIN(TstImportCRM)
#include "tst_importcrm.moc"
