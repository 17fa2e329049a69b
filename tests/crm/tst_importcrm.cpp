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
    void normalisation()
    {
        // Accents, percent sign, hyphen, typographic apostrophe, edges.
        const std::pair<const char*, const char*> cas[] = {{"Date de création", "date de creation"},       {"Probabilité (%)", "probabilite %"},
                                                           {"E-mail professionnel", "e mail professionnel"}, {"Nom de l’entreprise", "nom de l entreprise"},
                                                           {"  __Prénom__ ", "prenom"}};
        for (const auto& [titre, attendu] : cas)
            QCOMPARE(normaliserEntete(QString::fromUtf8(titre)), QString::fromUtf8(attendu));
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

    void etapes()
    {
        // Label or id; the usual names of other tools; an unknown value is "nouveau".
        const std::pair<const char*, const char*> cas[] = {
            {"Découverte", "decouverte"}, {"demo", "demo"},       {"À contacter", "nouveau"},   {"Closed Won", "gagne"},
            {"Closed Lost", "perdu"},     {"Devis envoyé", "proposition"}, {"RDV fixé", "decouverte"}, {"MQL", "contacte"},
            {"Nurturing", "sommeil"},     {"Zzz", "nouveau"},     {"En négo", "negociation"}};
        const auto etapes = contexte().etapes;
        for (const auto& [valeur, etape] : cas)
            QCOMPARE(proposerEtape(QString::fromUtf8(valeur), etapes), QString::fromUtf8(etape));
    }

    void nombres()
    {
        // French, non-breaking spaces, k and M, thousands with comma or points, euros, HT, English, decimal, percent.
        const std::pair<const char*, double> cas[] = {
            {"1 234,56 €", 1234.56}, {"1\u202F234,56\u00A0€", 1234.56}, {"12k", 12000}, {"1,5M", 1500000}, {"1,234", 1234},
            {"0,234", 0.234},        {"12 euros", 12},   {"15 000 € HT", 15000},   {"1,234.5", 1234.5}, {"1.234.567", 1234567},
            {"12,5", 12.5},          {"35 %", 35}};
        for (const auto& [texte, valeur] : cas)
            QVERIFY2(lireNombre(QString::fromUtf8(texte)) == valeur, texte);
        for (const char* t : {"beaucoup", "12os", "", "1-2", "k"})
            QVERIFY2(!lireNombre(QString::fromUtf8(t)), t);
    }

    void dates()
    {
        // Month first, short year, ISO with time, with time, serial number, 19xx; then unreadable or impossible dates.
        const std::pair<const char*, const char*> cas[] = {
            {"03/15/2024", "2024-03-15"}, {"15/03/24", "2024-03-15"}, {"2024-03-15T10:00:00Z", "2024-03-15"}, {"15/03/2024 10:30", "2024-03-15"},
            {"45 292", "2024-01-01"},     {"01.02.85", "1985-02-01"}, {"31/02/2024", ""}, {"2024-13-01", ""}, {"fin mars", ""}, {"01/01/2300", ""}};
        for (const auto& [texte, attendu] : cas)
            QCOMPARE(lireDate(QString::fromUtf8(texte)).value_or(QString()), QString::fromUtf8(attendu));
    }

    void emails()
    {
        // The cell, the address kept, and the row's warning.
        const QString plusieurs = QStringLiteral("Plusieurs emails : seul le premier est gardé");
        const std::tuple<QString, QString, QString> cas[] = {{"mailto:Lea@Acme.fr", "Lea@Acme.fr", ""},
                                                             {"Léa Durand <lea@acme.fr>", "lea@acme.fr", ""},
                                                             {"a@b.fr; c@d.fr", "a@b.fr", plusieurs},
                                                             {"a@b.fr, c@d.fr", "a@b.fr", plusieurs},
                                                             {"durand arobase acme", "", "Email invalide « durand arobase acme »"}};
        for (const auto& [cellule, email, avertissement] : cas) {
            bool deux = false;
            if (!email.isEmpty())
                QCOMPARE(nettoyerEmail(cellule, &deux), email);
            QCOMPARE(deux, avertissement == plusieurs);
            const LigneLue l = lire({"Nom", "Email"}, {"Durand", cellule});
            QCOMPARE(l.contact.email + '|' + l.avertissements.join(QString()), email + '|' + avertissement);
        }
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
        QVERIFY(!l.contact.prochaineAction && l.contact.probabilite == 5.0);
    }

    void issueEtProbabilite()
    {
        // Titles, cells, and the stage|probability|reason for loss read.
        const std::tuple<QStringList, QStringList, const char*> cas[] = {
            {{"Nom", "Issue", "Raison de perte", "Probabilité"}, {"Durand", "Perdu", "Trop cher", "80"}, "perdu|0|Trop cher"},
            {{"Nom", "Outcome", "Raison de perte"}, {"Durand", "Closed won", "Trop cher"}, "gagne|100|"},   // no reason for a won deal
            {{"Nom", "Probabilité"}, {"Durand", "250"}, "nouveau|100|"},                                 // out of bounds
            {{"Nom"}, {"Durand"}, "nouveau|5|"},                                                         // the stage's default
            {{"Nom", "Étape"}, {"Durand", "Démo"}, "demo|10|"}};                                         // a stage without one
        for (const auto& [entetes, cellules, attendu] : cas) {
            const Contact c = lire(entetes, cellules).contact;
            QCOMPARE(QStringList({c.etape, QString::number(c.probabilite), c.raisonPerte.value_or(QString())}).join('|'), QString::fromUtf8(attendu));
        }
    }

    void ligneSansIdentite()
    {
        const LigneLue l = lire({"Nom", "Téléphone"}, {"", "0612345678"});
        QCOMPARE(l.erreur.value_or(QString()), QStringLiteral("Ni nom, ni société, ni email"));
        QVERIFY(!lire({"Société"}, {"Acme"}).erreur);
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
        QTest::addColumn<QList<qsizetype>>("nombres");   // created, updated
        QTest::addColumn<QStringList>("ignores");
        const QString doublon = QStringLiteral("3:En double dans le fichier (ligne 2)");
        const QStringList aJour{doublon, QStringLiteral("5:Déjà à jour (Paul Morel)")};
        QTest::newRow("completer") << "completer" << QList<qsizetype>{1, 1} << aJour;
        QTest::newRow("remplacer") << "remplacer" << QList<qsizetype>{1, 1} << aJour;
        QTest::newRow("ignorer") << "ignorer" << QList<qsizetype>{1, 0}
                                 << QStringList({"2:Déjà dans le CRM (Léa Durand)", doublon, "5:Déjà dans le CRM (Paul Morel)"});
        QTest::newRow("creer") << "creer" << QList<qsizetype>{3, 0} << QStringList({doublon});
    }
    void plan()
    {
        QFETCH(QString, mode);
        QFETCH(QList<qsizetype>, nombres);
        QFETCH(QStringList, ignores);
        ContexteImport ctx = contexte();
        ctx.existants = {contact("c1", "Léa", "Durand", "lea@acme.fr"), contact("c2", "Paul", "Morel", "", "Beta")};
        ctx.existants[1].poste = QStringLiteral("DG");
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
        QCOMPARE(QList<qsizetype>({p->nouveaux.size(), p->majs.size(), p->doublonsTrouves}), nombres << 2);
        QStringList lus;
        for (const NoteLigne& n : p->ignores)
            lus << QString::number(n.numero) + QLatin1Char(':') + n.texte;
        QCOMPARE(lus, ignores);
        QCOMPARE(p->erreurs, QList<NoteLigne>({{6, "Ni nom, ni société, ni email"}}));
        for (const Contact& c : p->nouveaux)
            QVERIFY(c.id.startsWith(QLatin1String("c_")));
        // Completing fills only empty fields and never changes the stage; replacing takes the file's stage, and an empty cell
        // erases nothing.
        if (!p->majs.isEmpty()) {
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
