// Team steering on the manager's machine: thresholds read leniently, the
// reasons of a call in their order, an alert announced once across restarts,
// calls evaluated only once analysed, the synthesis upload queue, and a
// member's call reaching the manager's "Appels à regarder".
#include "../cloud/outilscloud.h"
#include "ai/moteur.h"
#include "fakes/clientiascripte.h"
#include "model/texte.h"
#include "platform/preferences.h"
#include "team/ecrans/ongletpilotage.h"
#include "team/pilotageequipe.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace vd;
using namespace vd::team;
using vd::fakes::ReponseHttpFactice;

namespace {

const QDateTime maintenant(QDate(2026, 3, 2), QTime(17, 0), Qt::UTC);

QJsonObject objet(const char* json) { return QJsonDocument::fromJson(json).object(); }

model::Segment segment(const QString& locuteur, qint64 debutMs)
{
    model::Segment s;
    s.id = QStringLiteral("s%1").arg(debutMs);
    s.locuteur = locuteur;
    s.texte = QStringLiteral("Bonjour, on parle de votre planning.");
    s.debutMs = debutMs;
    s.finMs = debutMs + 2000;
    return s;
}

// An analysed call of the member "kim"; the analysis fields as the model writes them.
model::Appel appel(const QString& id, const char* analyse = "{\"score\": 72, \"resume\": \"Bonne découverte.\"}")
{
    model::Appel a;
    a.id = id;
    a.compteId = QStringLiteral("kim");
    a.statut = QStringLiteral("analyse");
    a.debut = model::horodatage(maintenant.addSecs(-3600));
    a.duree = 600;
    a.transcript = {segment(QStringLiteral("vous"), 0), segment(QStringLiteral("prospect"), 4000)};
    a.analyse = model::Analyse::depuisJson(objet(analyse));
    return a;
}

model::PonctualiteAppel ponctualite(std::optional<qint64> retardSec)
{
    model::PonctualiteAppel p;
    p.rdvDebut = model::horodatage(maintenant.addSecs(-3700));
    p.retardCommercialSec = retardSec;
    return p;
}

struct Banc {
    platform::PreferencesMemoire prefs;
    QList<model::Appel> appels;
    QList<QList<AlerteAppel>> annonces;
    cloud::ClientSupabase* client = nullptr;
    ai::Moteur* moteur = nullptr;
    ai::ClientIABase* ia = nullptr;
    QString moi = QStringLiteral("manon");

    std::unique_ptr<PilotageEquipe> creer()
    {
        PilotageEquipe::Collaborateurs c;
        c.defaults = &prefs;
        c.client = [this] { return client; };
        c.moteur = moteur;
        c.ia = ia;
        c.horloge = [] { return maintenant; };
        c.annoncer = [this](const QList<AlerteAppel>& l) { annonces.append(l); };
        c.lireMoi = [this] { return moi; };
        c.lireAppels = [this] { return appels; };
        return std::make_unique<PilotageEquipe>(std::move(c));
    }
};

QStringList bruts(const QList<RaisonAlerte>& l)
{
    QStringList r;
    for (RaisonAlerte x : l)
        r << valeurBrute(x);
    return r;
}

} // namespace

Q_DECLARE_METATYPE(vd::model::Appel)
Q_DECLARE_METATYPE(vd::fakes::ReponseHttpFactice)

class TestPilotageEquipe : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void seuilsLus_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<double>("retard");
        QTest::addColumn<double>("suivi");
        QTest::addColumn<double>("score");
        QTest::newRow("texte avec espace") << QByteArray("{\"retardMinutes\": \"5 \", \"suiviFrameworkMin\": 70, \"scoreBas\": 40}") << 5.0 << 70.0 << 40.0;
        QTest::newRow("bornés") << QByteArray("{\"retardMinutes\": 90, \"suiviFrameworkMin\": -5, \"scoreBas\": 150}") << 60.0 << 0.0 << 100.0;
        QTest::newRow("absents") << QByteArray("{}") << 2.0 << 60.0 << 50.0;
        QTest::newRow("illisibles") << QByteArray("{\"retardMinutes\": \"bientôt\", \"suiviFrameworkMin\": null, \"scoreBas\": true}") << 2.0 << 60.0 << 50.0;
        QTest::newRow("virgule et espaces") << QByteArray("{\"retardMinutes\": \" 1,5 \", \"scoreBas\": \"4 5\"}") << 1.5 << 60.0 << 45.0;
    }
    void seuilsLus()
    {
        QFETCH(QByteArray, json);
        const SeuilsEquipe s = SeuilsEquipe::depuisJson(QJsonDocument::fromJson(json).object());
        QTEST(s.retardMinutes, "retard");
        QTEST(s.suiviFrameworkMin, "suivi");
        QTEST(s.scoreBas, "score");
    }

    void resumeDesSeuils()
    {
        SeuilsEquipe s;
        s.retardMinutes = 2.5;
        QCOMPARE(resumeSeuils(s), QStringLiteral("Alertes : retard au-delà de 2,5 min, Framework sous 60 %, score sous 50"));
    }

    void raisons_data()
    {
        QTest::addColumn<model::Appel>("a");
        QTest::addColumn<QStringList>("attendues");
        QTest::addColumn<QString>("libelle");   // of the last reason
        QTest::newRow("sans raison") << appel("a") << QStringList() << QString();
        QTest::newRow("probabilité 70") << appel("a", "{\"score\": 72, \"resume\": \"r\", \"crm\": {\"probabilite\": 70}}")
                                        << QStringList{"affaireChaude"} << QStringLiteral("affaire chaude (70 %)");
        QTest::newRow("probabilité 69") << appel("a", "{\"score\": 72, \"resume\": \"r\", \"crm\": {\"probabilite\": 69}}") << QStringList() << QString();
        QTest::newRow("69 et issue gagnée") << appel("a", "{\"score\": 72, \"resume\": \"r\", \"crm\": {\"probabilite\": 69}, \"issue\": {\"proposee\": \"gagne\"}}")
                                            << QStringList{"affaireChaude"} << QStringLiteral("affaire chaude (69 %)");
        QTest::newRow("score bas") << appel("a", "{\"score\": 42, \"resume\": \"r\"}") << QStringList{"scoreBas"}
                                   << QStringLiteral("Sous le seuil d'alerte de l'équipe (50)");
        QTest::newRow("deux objections sans réponse")
            << appel("a", "{\"score\": 72, \"resume\": \"r\", \"objections\": [{\"libelle\": \"Prix\", \"traitement\": \"non\"}, {\"libelle\": \"Délai\", \"traitement\": \"Non \"}, {\"libelle\": \"x\", \"traitement\": \"oui\"}]}")
            << QStringList{"objectionNonTraitee"} << QStringLiteral("2 objections sans réponse");
        QTest::newRow("Framework peu suivi")
            << appel("a", "{\"score\": 72, \"resume\": \"r\", \"methode\": {\"nom\": \"Process\", \"etapes\": [ {\"id\": \"e1\", \"nom\": \"Ouverture\", \"criteres\": [{\"texte\": \"c\", \"rempli\": true}]}, {\"id\": \"e2\", \"nom\": \"Découverte\", \"questions\": [{\"texte\": \"q1\", \"posee\": false}, {\"texte\": \"q2\", \"posee\": false}]}]}}")
            << QStringList{"suiviFramework"} << QStringLiteral("Framework suivi à 50 %");

        model::Appel absent = appel("a", "{\"score\": 30, \"resume\": \"r\"}");
        absent.transcript = {segment(QStringLiteral("vous"), 0)};
        absent.ponctualite = ponctualite(600);
        QTest::newRow("prospect absent d'abord") << absent << QStringList{"prospectAbsent", "scoreBas", "commercialEnRetard"}
                                                 << QStringLiteral("commercial en retard de 10 min");
        model::Appel sansRdv = absent;
        sansRdv.ponctualite.reset();
        QTest::newRow("sans rendez-vous, pas de retard") << sansRdv << QStringList{"scoreBas"} << QStringLiteral("Sous le seuil d'alerte de l'équipe (50)");
        model::Appel prospectTard = appel("a");
        prospectTard.transcript = {segment(QStringLiteral("vous"), 0), segment(QStringLiteral("prospect"), 200'000)};
        prospectTard.ponctualite = ponctualite(60);
        QTest::newRow("prospect en retard") << prospectTard << QStringList{"prospectEnRetard"} << QStringLiteral("prospect en retard de 3 min");
    }
    void raisons()
    {
        QFETCH(model::Appel, a);
        QFETCH(QStringList, attendues);
        const QList<RaisonAlerte> r = raisonsAlerte(a, SeuilsEquipe());
        QCOMPARE(bruts(r), attendues);
        if (!r.isEmpty())
            QTEST(libelleRaison(r.last(), a, SeuilsEquipe()), "libelle");
    }

    // Kept before being announced: a restart neither announces it again nor forgets it.
    void alerteAnnonceeUneFois()
    {
        Banc b;
        b.appels = {appel("a1", "{\"score\": 30, \"resume\": \"r\"}"), appel("a2")};
        b.appels << b.appels.first();
        b.appels.last().id = QStringLiteral("a3");
        b.appels.last().compteId = b.moi;   // the manager's own call
        {
            auto p = b.creer();
            p->demarrer();
            QVERIFY(p->initialise());
            p->evaluer();
            QCOMPARE(b.annonces.size(), 1);
            QCOMPARE(b.annonces.first().size(), 1);
            QCOMPARE(b.annonces.first().first().appelId, QStringLiteral("a1"));
            QCOMPARE(p->traites(), (QSet<QString>{"a1", "a2"}));
        }
        auto p = b.creer();
        p->demarrer();
        QCOMPARE(b.annonces.size(), 1);
        QCOMPARE(p->alertes().size(), 1);
        QCOMPARE(p->alertes().first().raisons, QList<RaisonAlerte>{RaisonAlerte::scoreBas});
        QVERIFY(!p->alertes().first().vue);
        p->marquerToutVu();
        auto autre = b.creer();
        autre->demarrer();
        QCOMPARE(autre->alertesNonVues(), 0);
    }

    // A call still running or whose analysis is not written is left for later, so its analysis reasons count.
    void analyseIncompleteLaissee()
    {
        Banc b;
        model::Appel a = appel("a1", "{\"score\": 30, \"resume\": \"r\"}");
        const std::optional<model::Analyse> analyse = a.analyse;
        a.analyse.reset();
        a.statut = QStringLiteral("analyse");
        b.appels = {a};
        auto p = b.creer();
        p->demarrer();
        QVERIFY(p->traites().isEmpty());
        b.appels.first().analyse = analyse;
        b.appels.first().statut = QStringLiteral("en_cours");
        p->evaluer();
        QVERIFY(p->traites().isEmpty());
        b.appels.first().statut = QStringLiteral("analyse");
        p->evaluer();
        QCOMPARE(p->alertes().size(), 1);
        QCOMPARE(p->alertes().first().raisons, QList<RaisonAlerte>{RaisonAlerte::scoreBas});
    }

    // Another account starts from its own preferences; the first one's state is gone.
    void changementDeCompte()
    {
        Banc b;
        b.appels = {appel("a1", "{\"score\": 30, \"resume\": \"r\"}")};
        auto p = b.creer();
        p->demarrer();
        QCOMPARE(p->alertes().size(), 1);
        p->reinitialiser();
        QVERIFY(p->alertes().isEmpty());
        b.moi = QStringLiteral("paul");
        b.appels.first().compteId = QStringLiteral("kim");
        p->demarrer();
        QCOMPARE(p->compte(), QStringLiteral("paul"));
        QCOMPARE(p->alertes().size(), 1);
        QVERIFY(b.prefs.contient(PilotageEquipe::prefixeAlertes + QStringLiteral("manon")));
        QVERIFY(b.prefs.contient(PilotageEquipe::prefixeAlertes + QStringLiteral("paul")));
    }

    // The synthesis is shown at once and waits in the queue until the server takes it or refuses it for good.
    void fileDeDepot_data()
    {
        QTest::addColumn<ReponseHttpFactice>("reponse");
        QTest::addColumn<bool>("gardee");
        ReponseHttpFactice coupe;
        coupe.couper = true;
        QTest::newRow("réseau") << coupe << true;
        QTest::newRow("serveur") << ReponseHttpFactice::json(503, objet("{\"code\": \"XX000\", \"message\": \"panne\"}")) << true;
        QTest::newRow("appel introuvable")
            << ReponseHttpFactice::json(400, objet("{\"code\": \"P0001\", \"message\": \"x\", \"hint\": \"appel_introuvable\"}")) << false;
        QTest::newRow("synthèse invalide")
            << ReponseHttpFactice::json(400, objet("{\"code\": \"P0001\", \"message\": \"x\", \"hint\": \"synthese_invalide\"}")) << false;
        QTest::newRow("action interdite")
            << ReponseHttpFactice::json(403, objet("{\"code\": \"42501\", \"message\": \"x\", \"hint\": \"action_interdite\"}")) << false;
        QTest::newRow("acceptée") << ReponseHttpFactice::json(200, objet("{\"appel_id\": \"a1\"}")) << false;
    }
    void fileDeDepot()
    {
        QFETCH(ReponseHttpFactice, reponse);
        QFETCH(bool, gardee);
        tests::BancCloud cloud;
        QVERIFY(cloud.demarrer());
        QVERIFY(cloud.connecter());
        int depots = 0;
        cloud.serveur.surProcedure(QStringLiteral("deposer_synthese_manager"), [&](const fakes::RequeteHttp&) {
            ++depots;
            return reponse;
        });
        ai::Moteur moteur(QStringLiteral(VD_RESOURCES_DIR) + QStringLiteral("/moteur.js"));
        fakes::ClientIAScripte ia;
        Banc b;
        b.client = cloud.client.get();
        b.moteur = &moteur;
        b.ia = &ia;
        b.appels = {appel("a1")};
        auto p = b.creer();
        p->demarrer();
        QTRY_VERIFY(p->initialise());
        p->preparerSynthese(QStringLiteral("a1"));
        p->preparerSynthese(QStringLiteral("a1"));
        QCOMPARE(ia.requetes.size(), 1);
        QCOMPARE(ia.requetes.first().tache, QStringLiteral("synthese_manager"));
        ia.derniere()->terminer(QStringLiteral("{\"aCoacher\": [{\"point\": \"Reformuler le besoin\", \"tMs\": \"1:05\", \"citation\": \"On verra.\"}], \"risque\": \"Élevé\", \"raisonRisque\": \"Pas de décideur.\", \"prochaineEtape\": \"Démo jeudi\", \"framework\": \"en partie\", \"commentaireFramework\": \"La conclusion manque.\", \"actionManager\": \"Écouter l'appel avec Kim.\"}"));
        QVERIFY(p->syntheses().contains(QStringLiteral("a1")));
        QCOMPARE(p->syntheses().value(QStringLiteral("a1")).aCoacher.value(0).tMs, 65'000);
        QCOMPARE(p->syntheses().value(QStringLiteral("a1")).risque, QStringLiteral("élevé"));
        QTRY_VERIFY(depots > 0 && !p->depotEnCours());
        QCOMPARE(p->aDeposer(), gardee ? QStringList{QStringLiteral("a1")} : QStringList());
        // After a restart: the synthesis still shown, the queue as it was left.
        auto suivant = b.creer();
        suivant->demarrer();
        QVERIFY(suivant->syntheses().contains(QStringLiteral("a1")));
        QCOMPARE(suivant->aDeposer(), p->aDeposer());
    }

    void syntheseIllisible()
    {
        ai::Moteur moteur(QStringLiteral(VD_RESOURCES_DIR) + QStringLiteral("/moteur.js"));
        fakes::ClientIAScripte ia;
        Banc b;
        b.moteur = &moteur;
        b.ia = &ia;
        b.appels = {appel("a1")};
        auto p = b.creer();
        p->demarrer();
        p->preparerSynthese(QStringLiteral("a1"));
        ia.derniere()->terminer(QStringLiteral("Je ne peux pas."));
        QCOMPARE(p->erreursSynthese().value(QStringLiteral("a1")), PilotageEquipe::messageSyntheseIllisible());
        p->preparerSynthese(QStringLiteral("a1"));
        ia.derniere()->echouer(QStringLiteral("réseau"));
        QCOMPARE(p->erreursSynthese().value(QStringLiteral("a1")), PilotageEquipe::messageSyntheseEchec());
        QVERIFY(p->synthesesEnCours().isEmpty());
    }

    // Follow-ups count by when they were sent; late steps are those of running sequences, as of today.
    void relancesDuTableau_data()
    {
        QTest::addColumn<QByteArray>("suivi");
        QTest::addColumn<int>("ageAppelJours");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("envoyée et en retard") << QByteArray(R"({"statut": "active", "activeLe": "2026-02-20", "etapes": [
            {"date": "2026-02-21", "statut": "envoyee", "envoyeeLe": "2026-02-21T09:00:00.000Z"},
            {"date": "2026-02-25", "statut": "en_retard"}, {"date": "2026-03-05", "statut": "a_venir"}]})") << 0 << "1 · 1 · 0 %";
        QTest::newRow("répondue, arrêtée") << QByteArray(R"({"statut": "arretee", "activeLe": "2026-02-20", "reponse": {"type": "interesse"},
            "etapes": [{"date": "2026-02-21", "statut": "envoyee", "envoyeeLe": "2026-02-21"}, {"date": "2026-02-25", "statut": "a_venir"}]})")
                                           << 0 << "1 · 0 · 100 %";
        QTest::newRow("appel ancien, envoi récent") << QByteArray(R"({"statut": "sommeil", "activeLe": "2025-11-20", "etapes": [
            {"date": "2026-03-01", "statut": "envoyee", "envoyeeLe": "2026-03-01T08:00:00Z"}]})") << 100 << "1 · 0 · 0 %";
        QTest::newRow("hors période, encore en retard") << QByteArray(R"({"statut": "active", "activeLe": "2025-12-01", "etapes": [
            {"date": "2025-12-20", "statut": "a_venir"}]})") << 90 << "0 · 1 · —";
        QTest::newRow("seulement proposée") << QByteArray(R"({"statut": "proposee", "etapes": [{"date": "2026-02-01", "statut": "a_venir"}]})")
                                            << 0 << "0 · 0 · —";
    }
    void relancesDuTableau()
    {
        QFETCH(QByteArray, suivi);
        QFETCH(int, ageAppelJours);
        QFETCH(QString, attendu);
        model::Appel a = appel("a1");
        a.debut = model::horodatage(maintenant.addDays(-ageAppelJours));
        a.analyse->autres.insert(QStringLiteral("suiviRelance"), QJsonDocument::fromJson(suivi).object());
        const TableauEquipe t = calculerTableau({a}, {{QStringLiteral("kim"), QStringLiteral("Kim"), {}}}, {}, 30, maintenant);
        QCOMPARE(texteRelances(t.lignes.value(0).relances), attendu);
        QCOMPARE(t.equipe.relances, t.lignes.value(0).relances);
    }

    // A member's analysed call that crosses a threshold reaches the manager's "Appels à regarder".
    void appelDuMembreDansAppelsARegarder()
    {
        Banc b;
        auto p = b.creer();
        ui::Contexte ctx;
        ctx.pilotage = p.get();
        p->demarrer();
        OngletPilotage onglet(ctx);
        QVERIFY(onglet.disponible());
        QCOMPARE(onglet.findChild<QLabel*>(QStringLiteral("aucuneAlerte"))->text(), OngletPilotage::texteAucuneAlerte());
        b.appels = {appel("a1", "{\"score\": 35, \"resume\": \"r\", \"objections\": [{\"libelle\": \"Prix\", \"traitement\": \"non\"}]}")};
        p->evaluer();
        const QList<QWidget*> alertes = onglet.findChildren<QWidget*>(QStringLiteral("alerte"));
        QCOMPARE(alertes.size(), 1);
        QCOMPARE(alertes.first()->findChild<QLabel*>(QStringLiteral("raisonsAlerte"))->text(),
                 QStringLiteral("Sous le seuil d'alerte de l'équipe (50) · objection sans réponse"));
        onglet.findChild<QPushButton*>(QStringLiteral("toutMarquerVu"))->click();
        QVERIFY(onglet.findChildren<QWidget*>(QStringLiteral("alerte")).isEmpty());
    }
};

QTEST_MAIN(TestPilotageEquipe)
#include "tst_pilotageequipe.moc"
