#include "app/misesajour.h"

#include <QTest>

using namespace vd::app;

namespace {

struct CadreFactice : CadreMisesAJour {
    QString erreur;
    int *verifications;
    explicit CadreFactice(int* v, QString e = {}) : erreur(std::move(e)), verifications(v) {}
    QString demarrer() override { return erreur; }
    void verifierMaintenant() override { ++*verifications; }
};

InfoApplication infoComplete()
{
    InfoApplication i;
    i.versionCourte = QStringLiteral("2.3.0");
    i.build = QStringLiteral("41");
    i.adresseFlux = QStringLiteral("https://exemple.invalid/flux.xml");
    i.clePublique = QStringLiteral("cle");
    i.debug = false;
    return i;
}

} // namespace

class TestMisesAJour : public QObject {
    Q_OBJECT
private slots:
    void raisons_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<bool>("debug");
        QTest::addColumn<QString>("flux");
        QTest::addColumn<QString>("cle");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("outillé") << QStringLiteral("VD_TEST_CLOUD") << false << "f" << "c" << QStringLiteral("mode outillé (VD_TEST_CLOUD)");
        QTest::newRow("outillé avant debug") << QStringLiteral("VD_CAPTURES") << true << "" << "" << QStringLiteral("mode outillé (VD_CAPTURES)");
        QTest::newRow("debug") << QString() << true << "f" << "c" << QStringLiteral("build Debug (VD_SPARKLE=1 pour essayer)");
        QTest::newRow("debug avec VD_SPARKLE, sans flux") << QStringLiteral("VD_SPARKLE") << true << "" << "c"
                                                         << QStringLiteral("adresse du flux absente (SUFeedURL)");
        QTest::newRow("sans flux") << QString() << false << "" << "c" << QStringLiteral("adresse du flux absente (SUFeedURL)");
        QTest::newRow("sans clé") << QString() << false << "f" << "" << QStringLiteral("clé publique EdDSA absente (SUPublicEDKey)");
        QTest::newRow("tout est là") << QString() << false << "f" << "c" << QString();
    }
    void raisons()
    {
        QFETCH(QString, variable);
        QFETCH(bool, debug);
        QFETCH(QString, flux);
        QFETCH(QString, cle);
        QFETCH(QString, attendu);
        QHash<QString, QString> env;
        if (!variable.isEmpty())
            env.insert(variable, QStringLiteral("1"));
        InfoApplication i;
        i.debug = debug;
        i.adresseFlux = flux;
        i.clePublique = cle;
        QCOMPARE(raisonMisesAJourInactives(env, i).value_or(QString()), attendu);
    }

    void coupeesSansFluxEtTexteReglages()
    {
        vd::platform::HorlogeFactice h;
        vd::platform::PreferencesMemoire p;
        InfoApplication i = infoComplete();
        i.adresseFlux.clear();
        int v = 0;
        MisesAJour m(i, {}, [&v] { return std::make_unique<CadreFactice>(&v); }, h, p);
        m.demarrer();
        QVERIFY(!m.actif());
        QCOMPARE(m.raison().value_or(QString()), QStringLiteral("adresse du flux absente (SUFeedURL)"));
        QCOMPARE(m.texteEtat(), QStringLiteral("Les mises à jour automatiques ne sont pas actives sur cette version."));
        QCOMPARE(m.texteVersion(), QStringLiteral("Version 2.3.0 (build 41)"));
        m.verifierMaintenant();
        QCOMPARE(v, 0);
    }

    // A packaged install never starts the updater, even fully configured: apt updates it.
    void installationParPaquetsLaisseFaireLeSysteme()
    {
        vd::platform::HorlogeFactice h;
        vd::platform::PreferencesMemoire p;
        InfoApplication i = infoComplete();
        i.parPaquets = true;
        int v = 0;
        MisesAJour m(i, {}, [&v] { return std::make_unique<CadreFactice>(&v); }, h, p);
        m.demarrer();
        QVERIFY(!m.actif());
        QCOMPARE(m.raison().value_or(QString()), QStringLiteral("mises à jour par le gestionnaire de paquets du système"));
        QVERIFY(m.texteEtat().startsWith(QStringLiteral("Vendalo se met à jour avec les autres logiciels")));
        m.verifierMaintenant();
        QCOMPARE(v, 0);
    }

    void sansModuleResteCoupe()
    {
        vd::platform::HorlogeFactice h;
        vd::platform::PreferencesMemoire p;
        MisesAJour m(infoComplete(), {}, {}, h, p);
        m.demarrer();
        QVERIFY(!m.actif());
        QVERIFY(m.raison().has_value());
        int v = 0;
        MisesAJour refus(infoComplete(), {}, [&v] { return std::make_unique<CadreFactice>(&v, QStringLiteral("signature invalide")); }, h, p);
        refus.demarrer();
        QVERIFY(!refus.actif());
        QCOMPARE(refus.raison().value_or(QString()), QStringLiteral("signature invalide"));
    }

    void verificationRefuseePendantUnAppel()
    {
        vd::platform::HorlogeFactice h;
        vd::platform::PreferencesMemoire p;
        int v = 0;
        bool appel = true;
        MisesAJour m(infoComplete(), {}, [&v] { return std::make_unique<CadreFactice>(&v); }, h, p);
        m.etatAppel = [&appel] { return appel; };
        m.demarrer();
        QVERIFY(m.actif());
        QCOMPARE(m.autoriserVerification().value_or(QString()), QStringLiteral("Appel en cours : vérification reportée."));
        m.verifierMaintenant();
        QCOMPARE(v, 0);
        appel = false;
        QVERIFY(!m.autoriserVerification());
        m.verifierMaintenant();
        QCOMPARE(v, 1);
        QCOMPARE(m.derniereVerification(), h.maintenant());
    }

    void versionPreteUtilisateurAbsentInstalleEnDiscret()
    {
        vd::platform::HorlogeFactice h;
        vd::platform::PreferencesMemoire p;
        int v = 0, installations = 0;
        MisesAJour m(infoComplete(), {}, [&v] { return std::make_unique<CadreFactice>(&v); }, h, p);
        m.etatAppel = [] { return false; };
        m.demarrer();
        m.surVersionPrete(QStringLiteral("2.4.0"), 1800, [&installations] { ++installations; });
        QCOMPARE(installations, 1);
        QVERIFY(p.valeur(QStringLiteral("vd.demarrage.relanceDiscrete"), {}).toBool());
    }

    void versionPreteUtilisateurPresentEstProposee()
    {
        vd::platform::HorlogeFactice h;
        vd::platform::PreferencesMemoire p;
        int v = 0, installations = 0;
        bool appel = false;
        MisesAJour m(infoComplete(), {}, [&v] { return std::make_unique<CadreFactice>(&v); }, h, p);
        m.etatAppel = [&appel] { return appel; };
        m.demarrer();
        m.surVersionPrete(QStringLiteral("2.4.0"), 1799, [&installations] { ++installations; });
        QCOMPARE(installations, 0);
        QVERIFY(!p.contient(QStringLiteral("vd.demarrage.relanceDiscrete")));
        QCOMPARE(m.texteEtat(), QStringLiteral("La version 2.4.0 est prête."));
        appel = true;
        QCOMPARE(m.texteEtat(), QStringLiteral("La version 2.4.0 est prête. Elle s'installera à la fermeture de l'app, après votre appel."));
        appel = false;
        m.installerMaintenant();
        QCOMPARE(installations, 1);
        m.installerMaintenant();   // the action is used once
        QCOMPARE(installations, 1);
    }

    void versionPretePendantUnAppelNAttendPasLInactivite()
    {
        vd::platform::HorlogeFactice h;
        vd::platform::PreferencesMemoire p;
        int v = 0, installations = 0;
        MisesAJour m(infoComplete(), {}, [&v] { return std::make_unique<CadreFactice>(&v); }, h, p);
        m.etatAppel = [] { return true; };
        m.demarrer();
        m.surVersionPrete(QStringLiteral("2.4.0"), 7200, [&installations] { ++installations; });
        QCOMPARE(installations, 0);
    }

    void relanceReporteeJusquApresLAppel()
    {
        vd::platform::HorlogeFactice h;
        ReportInstallation r(h, 5);
        int relances = 0;
        r.setAppelEnCours(true);
        r.executer([&relances] { ++relances; });
        QCOMPARE(r.enAttente(), 1);
        h.avancer(60000);
        QCOMPARE(relances, 0);
        r.setAppelEnCours(false);
        h.avancer(4999);
        QCOMPARE(relances, 0);
        h.avancer(1);
        QCOMPARE(relances, 1);
        QCOMPARE(r.enAttente(), 0);
    }

    void relanceReporteeAttendEncoreSiUnAppelRecommence()
    {
        vd::platform::HorlogeFactice h;
        ReportInstallation r(h, 5);
        int relances = 0;
        r.setAppelEnCours(true);
        r.executer([&relances] { ++relances; });
        r.setAppelEnCours(false);
        h.avancer(3000);
        r.setAppelEnCours(true);   // a new call starts during the delay
        h.avancer(10000);
        QCOMPARE(relances, 0);
        QCOMPARE(r.enAttente(), 1);
        r.setAppelEnCours(false);
        h.avancer(5000);
        QCOMPARE(relances, 1);
    }

    void relanceSansAppelImmediate()
    {
        vd::platform::HorlogeFactice h;
        ReportInstallation r(h, 5);
        int relances = 0;
        r.executer([&relances] { ++relances; });
        QCOMPARE(relances, 1);
    }
};

QTEST_GUILESS_MAIN(TestMisesAJour)
#include "tst_misesajour.moc"
