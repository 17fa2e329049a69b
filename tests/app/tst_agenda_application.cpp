// vd-test: keyring timeout=180
// The agenda inside the desktop app, signed in to the backend emulator that
// serves a calendar file: the agenda screen's buttons, then a known prospect's
// meeting on the fake clock: its card 10 minutes before, "Préparer le brief"
// keeps the brief, "Rejoindre avec Quillo" opens the pre-flight and the call
// starts with that brief and the meeting's start (its punctuality recorded).
#include "environnementvendalo.h"
#include "agenda/agenda.h"
#include "agenda/avantrendezvous.h"
#include "agenda/briefagenda.h"
#include "agenda/ecrans/ecranagenda.h"
#include "agenda/ecrans/fenetrenotifications.h"
#include "agenda/pilenotifications.h"
#include "app/ecrans/feuilleprevol.h"
#include "app/ecrans/fenetreprincipale.h"
#include "call/sessionappel.h"
#include "cloud/outilscloud.h"
#include "fakes/fauxagenda.h"
#include "model/texte.h"

#include <QPushButton>

using namespace vd;
using namespace vd::app;

namespace {

const QString email = QStringLiteral("lea@vendeur.fr");

} // namespace

class TestAgendaApplication : public QObject {
    Q_OBJECT

    platform::HorlogeFactice horloge{QDateTime(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC)};
    std::unique_ptr<fakes::FauxSupabase> serveur;
    std::unique_ptr<fakes::FauxAgenda> faux;
    QTemporaryDir dossier;
    platform::PreferencesMemoire prefs;
    std::unique_ptr<Application> app;
    const QDateTime debut = horloge.maintenant().addSecs(660);   // starts in 11 minutes

    // Lets the fake clock run in small steps until cond holds (the backend answers meanwhile).
    bool attendre(const std::function<bool()>& cond, int pasMs = 100, int pas = 300)
    {
        for (int i = 0; i < pas && !cond(); ++i) {
            QCoreApplication::processEvents();
            QTest::qWait(2);
            horloge.avancer(pasMs);
        }
        return cond();
    }

    QJsonObject calendrier(bool connecte) const
    {
        const QString json = QString::fromUtf8(R"({"evenements": [{"id": "rdv-1", "titre": "Point découverte", "debut": "%1",
            "fin": "%2", "fournisseur": "google", "invites": [{"email": " Paul@Acme.fr ", "reponse": "accepte"}, {"email": "%3", "moi": true}]}]})");
        QJsonObject c = QJsonDocument::fromJson(json.arg(debut.toString(Qt::ISODate), debut.addSecs(1800).toString(Qt::ISODate), email).toUtf8()).object();
        if (connecte)
            c.insert("connexions", QJsonArray{QJsonObject{{"fournisseur", "google"}, {"email", email}}});
        return c;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        serveur = std::make_unique<fakes::FauxSupabase>(&horloge);
        QVERIFY(serveur->demarrer());
        serveur->ajouterUtilisateur(email, QStringLiteral("motdepasse1"));
        faux = std::make_unique<fakes::FauxAgenda>(*serveur, dossier.filePath(QStringLiteral("calendrier.json")));
        faux->ecrire(calendrier(false));
        qputenv("VD_URL_SUPABASE", serveur->url().toString().toUtf8());
        qputenv("VD_CLE_PUBLIQUE_SUPABASE", serveur->cleAnon().toUtf8());
        prefs.definir(QStringLiteral("vd.demarrage.defautApplique"), true);
        auto store = std::make_unique<model::Store>(dossier.filePath(QStringLiteral("etat.json")), horloge);
        model::Etat etat;
        // A test contact: the brief comes from the canned route.
        etat.contacts = {{.id = "c_paul", .prenom = "Paul", .nom = "Durand", .societe = "Acme", .email = "paul@acme.fr", .etape = "decouverte",
                          .test = true}};
        store->remplacerEtat(etat);
        app = std::make_unique<Application>(std::move(store), OptionsLancement{}, horloge, prefs, std::make_unique<ServiceDemarrageFactice>());
        qunsetenv("VD_URL_SUPABASE");
        qunsetenv("VD_CLE_PUBLIQUE_SUPABASE");
        QVERIFY(app->contexte().client);
        QVERIFY(tests::attendre(app->contexte().client->connecter(email, QStringLiteral("motdepasse1"))).ok());
        app->setSondeAudio(std::make_unique<SondeAudioFactice>());
        app->demarrer();
        // The first read comes 5 s after the start.
        QVERIFY(attendre([this] { return app->agenda().evenement(QStringLiteral("rdv-1")) != nullptr; }));
        QCOMPARE(app->agenda().evenement(QStringLiteral("rdv-1"))->contactId.value_or(QString()), QStringLiteral("c_paul"));
    }

    void cleanupTestCase()
    {
        if (app && app->contexte().appelActif())
            app->session().arreter();
        app.reset();
    }

    // "Plus tard", disconnect and "Préparer le brief", clicked on the agenda screen (connect and
    // cancel, which open the browser, are clicked in the agenda screen's own test).
    void boutonsDeLEcranAgenda()
    {
        app->navigation().aller(ui::Ecran::de(ui::Ecran::Genre::agenda));
        auto* page = qobject_cast<agenda::EcranAgenda*>(app->fenetre()->pageCourante());
        QVERIFY(page);
        QTRY_VERIFY(bouton(page, QStringLiteral("Plus tard")));
        bouton(page, QStringLiteral("Plus tard"))->click();
        QVERIFY(app->agenda().invitationMasquee());
        QTRY_VERIFY(!bouton(page, QStringLiteral("Plus tard")));

        // Connected on the backend's side: "Déconnecter" takes the connection out.
        faux->ecrire(calendrier(true));
        app->agenda().actualiser(true);
        QVERIFY(attendre([this] { return !app->agenda().connexions().isEmpty(); }, 10));
        QTRY_VERIFY(bouton(page, QStringLiteral("Déconnecter")));
        bouton(page, QStringLiteral("Déconnecter"))->click();
        QVERIFY(attendre([this] { return faux->deconnexionsDemandees == QStringList{QStringLiteral("google")}; }, 10));
        QVERIFY(attendre([this] { return app->agenda().connexions().isEmpty(); }, 10));
        faux->ecrire(calendrier(true));
        app->agenda().actualiser(true);
        QVERIFY(attendre([this] { return !app->agenda().connexions().isEmpty(); }, 10));

        // The meeting's row prepares its brief.
        QTRY_VERIFY(page->findChild<QWidget*>(QStringLiteral("rdv:rdv-1")));
        QPushButton* preparer = bouton(page->findChild<QWidget*>(QStringLiteral("rdv:rdv-1")), agenda::AvantRendezVous::actionPreparer);
        QVERIFY(preparer);
        preparer->click();
        QVERIFY(attendre([this] {
            return agenda::briefs::trouver(app->store().etat(), agenda::FournisseurAgenda::google, QStringLiteral("rdv-1")).has_value();
        }, 20));
        // Forgotten again, for the card's own preparation below.
        app->store().modifier([](model::Etat& e) { e.briefsAgenda.clear(); });
    }

    void carteBriefPuisAppelDuRendezVous()
    {
        auto carte = [this] { return app->pileNotifications().contient(QStringLiteral("rdv:rdv-1")); };
        // 11 minutes before: no card yet; 10 minutes before: "Préparer le brief".
        app->avantRendezVous().evaluer();
        QVERIFY(horloge.maintenant().secsTo(debut) > 600);
        QVERIFY(!carte());
        horloge.fixer(debut.addSecs(-600));
        app->avantRendezVous().evaluer();
        QVERIFY(carte());
        agenda::FenetreNotifications* panneau = app->fenetreNotifications();
        QTRY_VERIFY(bouton(panneau, agenda::AvantRendezVous::actionPreparer));
        bouton(panneau, agenda::AvantRendezVous::actionPreparer)->click();
        QVERIFY(attendre([this] {
            return agenda::briefs::trouver(app->store().etat(), agenda::FournisseurAgenda::google, QStringLiteral("rdv-1")).has_value();
        }, 20));
        const auto brief = agenda::briefs::trouver(app->store().etat(), agenda::FournisseurAgenda::google, QStringLiteral("rdv-1"));
        QCOMPARE(brief->contactId, QStringLiteral("c_paul"));
        QCOMPARE(brief->debut, model::horodatage(debut));
        // The card lives through its window: still there after preparing.
        QVERIFY(carte());

        // 5 minutes before: "Rejoindre avec Quillo" opens the pre-flight with the brief and the meeting's start.
        horloge.fixer(debut.addSecs(-300));
        app->avantRendezVous().evaluer();
        QTRY_VERIFY(bouton(panneau, agenda::AvantRendezVous::actionRejoindre));
        bouton(panneau, agenda::AvantRendezVous::actionRejoindre)->click();
        FeuillePreVol* feuille = nullptr;
        QTRY_VERIFY((feuille = app->fenetre()->findChild<FeuillePreVol*>()));
        feuille->choisirSource(QStringLiteral("demo"));
        feuille->demarrer();
        QTRY_VERIFY(app->contexte().appelActif());
        const model::Appel* a = app->store().etat().appel(app->session().appelIdTexte());
        QVERIFY(a);
        QCOMPARE(a->contactId.value_or(QString()), QStringLiteral("c_paul"));
        QVERIFY(a->brief);
        QCOMPARE(*a->brief, brief->brief);
        QVERIFY(a->ponctualite);
        QCOMPARE(a->ponctualite->rdvDebut.value_or(QString()), model::horodatage(debut));
        QCOMPARE(a->ponctualite->retardCommercialSec.value_or(-1), 0);   // early counts as on time
        app->session().arreter();
    }
};

QTEST_MAIN(TestAgendaApplication)
#include "tst_agenda_application.moc"
