#include "environnementvendalo.h"
#include "platform/formulation.h"

#include <QSignalSpy>

using namespace vd::app;

class TestConnexionDemarrage : public QObject {
    Q_OBJECT
private slots:
    void defautAppliqueUneSeuleFois()
    {
        ServiceDemarrageFactice service;
        vd::platform::PreferencesMemoire prefs;
        ConnexionAuDemarrage c(service, prefs);
        QVERIFY(!c.actif());
        c.appliquerDefaut();
        QVERIFY(c.actif());
        QCOMPARE(service.appels, QStringList{QStringLiteral("inscrire")});
        QVERIFY(prefs.valeur(QStringLiteral("vd.demarrage.defautApplique"), {}).toBool());
        // The user turns it off; the next start keeps that choice.
        c.definir(false);
        ConnexionAuDemarrage apres(service, prefs);
        apres.appliquerDefaut();
        QVERIFY(!apres.actif());
        QCOMPARE(service.appels, (QStringList{QStringLiteral("inscrire"), QStringLiteral("desinscrire")}));
    }

    void echecsDonnentLeursMessages()
    {
        ServiceDemarrageFactice service;
        vd::platform::PreferencesMemoire prefs;
        ConnexionAuDemarrage c(service, prefs);
        service.echec = QStringLiteral("refus du système");
        QSignalSpy spy(&c, &ConnexionAuDemarrage::change);
        c.definir(true);
        QCOMPARE(c.erreur().value_or(QString()),
                 vd::platform::formuler(QStringLiteral("macOS n'a pas pu ajouter Vendalo à l'ouverture de session. Réessayez, ou ajoutez-le dans Réglages Système, "
                                "Général, Ouverture.")));
        QVERIFY(!c.actif());   // status read again from the service
        QCOMPARE(spy.count(), 1);
        service.statutCourant = StatutDemarrage::inscrit;
        c.definir(false);
        QCOMPARE(c.erreur().value_or(QString()),
                 vd::platform::formuler(QStringLiteral("macOS n'a pas pu retirer Vendalo de l'ouverture de session. Retirez-le dans Réglages Système, Général, Ouverture.")));
        QVERIFY(c.actif());
        // The message stays until the next attempt, which clears it.
        service.echec.reset();
        c.definir(false);
        QVERIFY(!c.erreur());
        QVERIFY(!c.actif());
    }

    void defautEnEchecResteAppliqueUneFois()
    {
        ServiceDemarrageFactice service;
        service.echec = QStringLiteral("non");
        vd::platform::PreferencesMemoire prefs;
        ConnexionAuDemarrage c(service, prefs);
        c.appliquerDefaut();
        QVERIFY(c.erreur().has_value());
        c.appliquerDefaut();
        QCOMPARE(service.appels.size(), 1);
    }

    void fichierXdg()
    {
        QTemporaryDir dossier;
        const QString fichier = dossier.filePath(QStringLiteral("autostart/vendalo.desktop"));
        ServiceDemarrageXdg s(QStringLiteral("/opt/Vendalo app/vendalo"), fichier);
        QCOMPARE(s.statut(), StatutDemarrage::nonInscrit);
        QCOMPARE(s.inscrire(), QString());
        QCOMPARE(s.statut(), StatutDemarrage::inscrit);
        const QString texte = QString::fromUtf8(lireFichier(fichier));
        QVERIFY(texte.startsWith(QStringLiteral("[Desktop Entry]\n")));
        QVERIFY(texte.contains(QStringLiteral("Exec=\"/opt/Vendalo app/vendalo\" --au-demarrage\n")));
        QCOMPARE(s.desinscrire(), QString());
        QCOMPARE(s.statut(), StatutDemarrage::nonInscrit);
        QCOMPARE(s.desinscrire(), QString());   // already gone: not a failure
    }

    void fichierXdgImpossibleAEcrire()
    {
        QTemporaryDir dossier;
        QVERIFY(!ecrireFichier(dossier.filePath(QStringLiteral("autostart"))).isEmpty());   // a file where the folder should be
        ServiceDemarrageXdg s(QStringLiteral("/usr/bin/vendalo"), dossier.filePath(QStringLiteral("autostart/vendalo.desktop")));
        vd::platform::PreferencesMemoire prefs;
        ConnexionAuDemarrage c(s, prefs);
        c.definir(true);
        QVERIFY(c.erreur().has_value());
        QVERIFY(!c.actif());
    }
};

QTEST_GUILESS_MAIN(TestConnexionDemarrage)
#include "tst_connexiondemarrage.moc"
