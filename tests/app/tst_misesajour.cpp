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

// An updater on a fake clock, counting its checks and installs, with a call in progress or not.
struct Banc {
    vd::platform::HorlogeFactice h;
    vd::platform::PreferencesMemoire p;
    int v = 0, installations = 0;
    bool appel = false;
    MisesAJour m;
    explicit Banc(InfoApplication i = infoComplete(), QString erreur = {}, bool avecModule = true)
        : m(i, {}, avecModule ? MisesAJour::Fabrique([this, erreur] { return std::make_unique<CadreFactice>(&v, erreur); }) : MisesAJour::Fabrique(), h, p)
    {
        m.etatAppel = [this] { return appel; };
        m.demarrer();
    }
    void pret(int inactifSec) { m.surVersionPrete(QStringLiteral("2.4.0"), inactifSec, [this] { ++installations; }); }
};

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
        InfoApplication i = infoComplete();
        i.adresseFlux.clear();
        Banc b(i);
        QVERIFY(!b.m.actif());
        QCOMPARE(b.m.raison().value_or(QString()), QStringLiteral("adresse du flux absente (SUFeedURL)"));
        QCOMPARE(b.m.texteEtat(), QStringLiteral("Les mises à jour automatiques ne sont pas actives sur cette version."));
        QCOMPARE(b.m.texteVersion(), QStringLiteral("Version 2.3.0 (build 41)"));
        b.m.verifierMaintenant();
        QCOMPARE(b.v, 0);
    }

    // A packaged install never starts the updater, even fully configured: apt updates it.
    void installationParPaquetsLaisseFaireLeSysteme()
    {
        InfoApplication i = infoComplete();
        i.parPaquets = true;
        Banc b(i);
        QVERIFY(!b.m.actif());
        QCOMPARE(b.m.raison().value_or(QString()), QStringLiteral("mises à jour par le gestionnaire de paquets du système"));
        QVERIFY(b.m.texteEtat().startsWith(QStringLiteral("Vendalo se met à jour avec les autres logiciels")));
        b.m.verifierMaintenant();
        QCOMPARE(b.v, 0);
    }

    void sansModuleResteCoupe()
    {
        Banc sans(infoComplete(), {}, false);
        QVERIFY(!sans.m.actif());
        QVERIFY(sans.m.raison().has_value());
        Banc refus(infoComplete(), QStringLiteral("signature invalide"));
        QVERIFY(!refus.m.actif());
        QCOMPARE(refus.m.raison().value_or(QString()), QStringLiteral("signature invalide"));
    }

    void verificationRefuseePendantUnAppel()
    {
        Banc b;
        b.appel = true;
        QVERIFY(b.m.actif());
        QCOMPARE(b.m.autoriserVerification().value_or(QString()), QStringLiteral("Appel en cours : vérification reportée."));
        b.m.verifierMaintenant();
        QCOMPARE(b.v, 0);
        b.appel = false;
        QVERIFY(!b.m.autoriserVerification());
        b.m.verifierMaintenant();
        QCOMPARE(b.v, 1);
        QCOMPARE(b.m.derniereVerification(), b.h.maintenant());
    }

    // Ready while the user has been away half an hour (and no call runs): installed quietly.
    void versionPrete_data()
    {
        QTest::addColumn<int>("inactifSec");
        QTest::addColumn<bool>("appel");
        QTest::addColumn<bool>("installee");
        QTest::newRow("absent 30 min") << 1800 << false << true;
        QTest::newRow("présent") << 1799 << false << false;
        QTest::newRow("absent pendant un appel") << 7200 << true << false;
    }
    void versionPrete()
    {
        QFETCH(int, inactifSec);
        QFETCH(bool, appel);
        QFETCH(bool, installee);
        Banc b;
        b.appel = appel;
        b.pret(inactifSec);
        QCOMPARE(b.installations, int(installee));
        QCOMPARE(b.p.valeur(QStringLiteral("vd.demarrage.relanceDiscrete"), false).toBool(), installee);
    }

    void versionPreteUtilisateurPresentEstProposee()
    {
        Banc b;
        b.pret(1799);
        QCOMPARE(b.m.texteEtat(), QStringLiteral("La version 2.4.0 est prête."));
        b.appel = true;
        QCOMPARE(b.m.texteEtat(), QStringLiteral("La version 2.4.0 est prête. Elle s'installera à la fermeture de l'app, après votre appel."));
        b.appel = false;
        b.m.installerMaintenant();
        QCOMPARE(b.installations, 1);
        b.m.installerMaintenant();   // the action is used once
        QCOMPARE(b.installations, 1);
    }

    // The relaunch after an install waits for the end of the call, then 5 s. Steps: "appel"/"libre" start and
    // end a call, "executer" asks for the relaunch, "+N" runs the clock N ms, "=R/A" checks R relaunches, A waiting.
    void relanceReportee_data()
    {
        QTest::addColumn<QString>("pas");
        QTest::newRow("sans appel : tout de suite") << "executer =1/0";
        QTest::newRow("5 s après l'appel") << "appel executer =0/1 +60000 =0/1 libre +4999 =0/1 +1 =1/0";
        QTest::newRow("un appel recommence pendant le délai") << "appel executer libre +3000 appel +10000 =0/1 libre +5000 =1/0";
    }
    void relanceReportee()
    {
        QFETCH(QString, pas);
        vd::platform::HorlogeFactice h;
        ReportInstallation r(h, 5);
        int relances = 0;
        for (const QString& p : pas.split(QLatin1Char(' '))) {
            if (p == QLatin1String("appel") || p == QLatin1String("libre"))
                r.setAppelEnCours(p == QLatin1String("appel"));
            else if (p == QLatin1String("executer"))
                r.executer([&relances] { ++relances; });
            else if (p.startsWith(QLatin1Char('+')))
                h.avancer(p.mid(1).toInt());
            else
                QCOMPARE(QStringLiteral("=%1/%2").arg(relances).arg(r.enAttente()), p);
        }
    }
};

QTEST_GUILESS_MAIN(TestMisesAJour)
#include "tst_misesajour.moc"
