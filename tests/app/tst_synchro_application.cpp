// vd-test: keyring
// The desktop app with a configured backend: sign-in asks for a forced run
// 1 s later and the sidebar line follows; a live call is not pushed, its end
// asks for a run that pushes it.
#include "environnementvendalo.h"
#include "app/ecrans/fenetreprincipale.h"
#include "call/sessionappel.h"
#include "cloud/compte.h"
#include "cloud/ecrans/lignesynchro.h"
#include "cloud/outilscloud.h"
#include "cloud/serveursynchro.h"
#include "cloud/synchro.h"

#include <QSignalSpy>

using namespace vd;
using namespace vd::app;

class TestSynchroApplication : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void declencheursEtLigne()
    {
        platform::HorlogeFactice horloge;
        fakes::FauxSupabase serveur(&horloge);
        QVERIFY(serveur.demarrer());
        tests::ServeurSynchro synchro;
        synchro.installer(serveur);
        serveur.ajouterUtilisateur(QStringLiteral("lea@exemple.fr"), QStringLiteral("motdepasse1"));
        qputenv("VD_URL_SUPABASE", serveur.url().toString().toUtf8());
        qputenv("VD_CLE_PUBLIQUE_SUPABASE", serveur.cleAnon().toUtf8());
        QTemporaryDir d;
        platform::PreferencesMemoire prefs;
        Application app(std::make_unique<model::Store>(d.filePath(QStringLiteral("etat.json")), horloge), {}, horloge, prefs,
                        std::make_unique<ServiceDemarrageFactice>());
        qunsetenv("VD_URL_SUPABASE");
        qunsetenv("VD_CLE_PUBLIQUE_SUPABASE");
        QVERIFY(app.contexte().client);
        QVERIFY(app.synchro());
        app.demarrer();
        auto* ligne = app.fenetre()->findChild<cloud::LigneSynchro*>();
        QVERIFY(ligne);
        QCOMPARE(ligne->texte(), QStringLiteral("Non connecté"));

        QSignalSpy fin(app.synchro(), &cloud::Synchro::termine);
        QVERIFY(tests::attendre(app.contexte().client->connecter(QStringLiteral("lea@exemple.fr"), QStringLiteral("motdepasse1"))).ok());
        synchro.compteId = app.contexte().client->session()->utilisateur.id;
        QCOMPARE(app.compte().etat(), cloud::Compte::Etat::connecte);
        horloge.avancer(900);
        QVERIFY(synchro.corps.isEmpty());
        horloge.avancer(100);
        QVERIFY(fin.wait(10'000));
        QCOMPARE(app.synchro()->phase(), cloud::Synchro::Phase::aJour);
        QVERIFY(ligne->texte().startsWith(QStringLiteral("À jour")));

        // A simulated call: not pushed while it runs, pushed once it has ended.
        QVERIFY(!app.contexte().lancerAppelSimule());
        const QString appel = app.session().appelIdTexte();
        QVERIFY(!appel.isEmpty());
        app.synchro()->synchroniser(true);
        QVERIFY(fin.wait(10'000));
        for (int i = 0; i < synchro.corps.size(); ++i)
            for (const QJsonValue& v : synchro.envoyes(i, QStringLiteral("appels")))
                QVERIFY(v.toObject().value(QStringLiteral("id")).toString() != appel);
        const int avant = int(synchro.corps.size());
        app.session().arreter();
        QTRY_VERIFY(app.session().etat() == call::EtatSession::termine || app.session().etat() == call::EtatSession::inactif);
        // Its end asks for a run (0.5 s; the call's own saves may push it to 3 s).
        QVERIFY(app.synchro()->programme());
        horloge.avancer(3000);
        QVERIFY(fin.wait(10'000));
        QVERIFY(synchro.corps.size() > avant);
        bool envoye = false;
        for (int i = avant; i < synchro.corps.size(); ++i)
            for (const QJsonValue& v : synchro.envoyes(i, QStringLiteral("appels")))
                envoye = envoye || v.toObject().value(QStringLiteral("id")).toString() == appel;
        QVERIFY(envoye);
    }
};

QTEST_MAIN(TestSynchroApplication)
#include "tst_synchro_application.moc"
