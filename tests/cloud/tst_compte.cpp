// Account state: following the session, refreshes (sign-in, every 300 s, on
// coming to the front, when the network returns), the offline copy and its
// rules, role labels and the local mode without a backend.
#include "cloud/compte.h"
#include "outilscloud.h"

#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace vd;
using cloud::Compte;
using vd::fakes::FauxSupabase;
using vd::fakes::ReponseHttpFactice;

class TestCompte : public QObject {
    Q_OBJECT

    std::unique_ptr<tests::BancCloud> b;
    std::unique_ptr<QTemporaryDir> dossier;
    platform::ReseauFactice reseau;
    std::unique_ptr<Compte> compte;
    QString serveurMaintenant;

    void nouveauCompte()
    {
        compte.reset();
        compte = std::make_unique<Compte>(b->client.get(), dossier->path(), reseau, b->horloge);
    }
    bool attendreRafraichi()
    {
        QSignalSpy s(compte.get(), &Compte::rafraichi);
        return !compte->rafraichissementEnCours() || s.wait(10'000);
    }
    int appelsMonCompte() const { return b->serveur.nombre("POST", QStringLiteral("/rest/v1/rpc/mon_compte")); }

private Q_SLOTS:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        b = std::make_unique<tests::BancCloud>();
        QVERIFY(b->demarrer());
        dossier = std::make_unique<QTemporaryDir>();
        reseau.fixer(true);
        serveurMaintenant = b->horloge.maintenant().addSecs(42).toString(Qt::ISODateWithMs);
        b->serveur.surProcedure(QStringLiteral("mon_compte"), [this](const fakes::RequeteHttp& r) {
            const QString id = b->serveur.utilisateurDuJeton(QString::fromUtf8(r.entete("authorization").mid(7)));
            return ReponseHttpFactice::json(200, QJsonObject{
                {QStringLiteral("compte"), QJsonObject{{QStringLiteral("id"), id}, {QStringLiteral("email"), QStringLiteral("lea@exemple.fr")},
                                                       {QStringLiteral("roleOrg"), QStringLiteral("manager")}}},
                {QStringLiteral("serveurMaintenant"), serveurMaintenant}});
        });
        b->serveur.surProcedure(QStringLiteral("mon_equipe"), [](const fakes::RequeteHttp&) {
            return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("gestionnaire"), true}, {QStringLiteral("sieges"), 3},
                                                             {QStringLiteral("membres"), QJsonArray{}}});
        });
        nouveauCompte();
    }
    void cleanup()
    {
        compte.reset();
        dossier.reset();
        b.reset();
    }

    void connexionPuisRafraichissements()
    {
        compte->demarrer();
        QCOMPARE(compte->etat(), Compte::Etat::deconnecte);
        int utilisable = 0;
        compte->surUtilisable = [&] { ++utilisable; };
        QVERIFY(b->connecter());
        QCOMPARE(compte->etat(), Compte::Etat::connecte);
        QCOMPARE(utilisable, 1);
        QVERIFY(attendreRafraichi());
        QCOMPARE(compte->roleOrg(), QStringLiteral("manager"));
        QVERIFY(compte->gestionnaire());
        QCOMPARE(compte->decalageHorlogeS(), 42);
        QCOMPARE(compte->equipe()->value(QStringLiteral("sieges")).toInt(), 3);
        QVERIFY(QFile::exists(compte->cheminCompte()));
        QCOMPARE(appelsMonCompte(), 1);

        // Coming to the front: only when the last refresh is more than 30 s old.
        b->horloge.avancer(20'000);
        compte->auPremierPlan();
        QCOMPARE(appelsMonCompte(), 1);
        b->horloge.avancer(11'000);
        compte->auPremierPlan();
        QVERIFY(attendreRafraichi());
        QCOMPARE(appelsMonCompte(), 2);
        // Every 300 s while signed in; never two at once.
        b->horloge.avancer(300'000 - 31'000);
        compte->rafraichir();
        QVERIFY(attendreRafraichi());
        QCOMPARE(appelsMonCompte(), 3);

        // Sign-out clears the account and erases its copy.
        tests::attendre(b->client->deconnecter());
        QCOMPARE(compte->etat(), Compte::Etat::deconnecte);
        QVERIFY(!compte->infos());
        QVERIFY(!QFile::exists(compte->cheminCompte()));
    }

    void demarrageHorsLigneAvecLaDerniereCopie()
    {
        QVERIFY(b->connecter());
        compte->demarrer();
        QVERIFY(attendreRafraichi());
        // A new run of the program without network: the copy shows the last account.
        b->nouveauClient();
        nouveauCompte();
        ReponseHttpFactice coupe;
        coupe.couper = true;
        b->serveur.injecter(QStringLiteral("/rest/v1/rpc/mon_compte"), coupe, 10);
        compte->demarrer();
        QCOMPARE(compte->infos()->value(QStringLiteral("compte")).toObject().value(QStringLiteral("email")).toString(),
                 QStringLiteral("lea@exemple.fr"));
        QVERIFY(attendreRafraichi());
        QCOMPARE(compte->etat(), Compte::Etat::horsLigne);
        QCOMPARE(*compte->erreur(), QStringLiteral("Pas de connexion. Vérifiez votre accès à internet."));
        QVERIFY(compte->infos());
        // The network comes back: a refresh, then connected again.
        b->serveur.viderPannes();
        reseau.fixer(false);
        QCOMPARE(compte->etat(), Compte::Etat::horsLigne);
        reseau.fixer(true);
        QVERIFY(attendreRafraichi());
        QCOMPARE(compte->etat(), Compte::Etat::connecte);
    }

    // A copy left by another account, or with nobody signed in, is not shown.
    void copieEtrangere_data()
    {
        QTest::addColumn<bool>("session");
        QTest::newRow("autre compte") << true;
        QTest::newRow("sans session") << false;
    }
    void copieEtrangere()
    {
        QFETCH(bool, session);
        QFile f(dossier->filePath(QStringLiteral("compte.json")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"compte": {"id": "quelqu-un", "email": "autre@exemple.fr"}})");
        f.close();
        if (session) {
            QVERIFY(b->connecter());
            b->nouveauClient();
            nouveauCompte();
            reseau.fixer(false);
        }
        compte->demarrer();
        QVERIFY(!compte->infos());
        QCOMPARE(compte->etat(), session ? Compte::Etat::horsLigne : Compte::Etat::deconnecte);
        QCOMPARE(QFile::exists(f.fileName()), session);
    }

    void libellesDeRole()
    {
        QStringList libelles;
        for (const char* role : {"proprietaire", "manager", "commercial", "stagiaire", ""})
            libelles << Compte::libelleRole(QString::fromLatin1(role));
        QCOMPARE(libelles, (QStringList{QStringLiteral("Propriétaire"), QStringLiteral("Manager"), QStringLiteral("Commercial"),
                                        QStringLiteral("Membre"), QStringLiteral("Membre")}));
    }

    void modeLocalSansServeur()
    {
        Compte local(nullptr, dossier->path(), reseau, b->horloge);
        local.demarrer();
        QCOMPARE(local.etat(), Compte::Etat::deconnecte);
        auto r = tests::attendre(local.accepter(QStringLiteral("inv")));
        QVERIFY(!r);
        QCOMPARE(r.erreur().code, QStringLiteral("mode_local"));
        QCOMPARE(r.erreur().message, QStringLiteral("Le compte Vendalo n'est pas encore disponible sur ce Mac."));
        const auto l = tests::attendre(local.traiterLien(QUrl(QStringLiteral("vendalo2://auth-callback?code=abc"))));
        QCOMPARE(l.genre, Compte::ResultatLien::Genre::message);
        QCOMPARE(l.message, r.erreur().message);
    }

    // Links opened by the system, as the account screen receives them.
    void liens_data()
    {
        QTest::addColumn<QString>("lien");
        QTest::addColumn<QString>("flot");   // "recovery"/"signup": a code for a pending request of that kind
        QTest::addColumn<int>("genre");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("besoinMotDePasse");
        using G = Compte::ResultatLien::Genre;
        QTest::newRow("erreur") << "vendalo2://auth-callback#error=access_denied&error_code=otp_expired" << QString() << int(G::message)
                                << "Ce lien a expiré ou a déjà servi. Demandez-en un nouveau." << false;
        QTest::newRow("récupération") << "vendalo2://auth-callback?code=" << "recovery" << int(G::choisirMotDePasse) << QString() << true;
        QTest::newRow("confirmation") << "VENDALO2://Auth-Callback?code=" << "signup" << int(G::connecte) << QString() << false;
        QTest::newRow("code sans demande") << "vendalo2://auth-callback?code=abc" << QString() << int(G::message)
                                           << "Email confirmé. Connectez-vous." << false;
        QTest::newRow("autre schéma") << "https://exemple.fr/auth-callback?code=abc" << QString() << int(G::ignore) << QString() << false;
        QTest::newRow("agenda") << "vendalo2://agenda?statut=ok" << QString() << int(G::ignore) << QString() << false;
    }
    void liens()
    {
        QFETCH(QString, lien);
        QFETCH(QString, flot);
        QFETCH(int, genre);
        QFETCH(QString, message);
        QFETCH(bool, besoinMotDePasse);
        const QString lea = QStringLiteral("lea@exemple.fr");
        b->serveur.ajouterUtilisateur(lea, QStringLiteral("motdepasse1"));
        compte->demarrer();
        if (flot == QLatin1String("recovery"))
            QVERIFY(tests::attendre(b->client->demanderReinitialisation(lea)).ok());
        else if (flot == QLatin1String("signup"))
            QVERIFY(tests::attendre(b->client->inscrire(QStringLiteral("tom@exemple.fr"), QStringLiteral("motdepasse2"))).ok());
        if (!flot.isEmpty())
            lien += b->serveur.codePour(flot == QLatin1String("signup") ? QStringLiteral("tom@exemple.fr") : lea);
        QSignalSpy signal(compte.get(), &Compte::lienTraite);
        const Compte::ResultatLien r = tests::attendre(compte->traiterLien(QUrl(lien)));
        QCOMPARE(int(r.genre), genre);
        QCOMPARE(r.message, message);
        QCOMPARE(compte->dernierLien(), std::optional(r));
        QCOMPARE(signal.size(), 1);
        QCOMPARE(compte->besoinMotDePasse(), besoinMotDePasse);
        QCOMPARE(compte->etat(), genre == int(Compte::ResultatLien::Genre::connecte) || besoinMotDePasse ? Compte::Etat::connecte
                                                                                                           : Compte::Etat::deconnecte);
        // Signing out forgets the pending new password.
        tests::attendre(b->client->deconnecter());
        QVERIFY(!compte->besoinMotDePasse());
    }
};

QTEST_GUILESS_MAIN(TestCompte)
#include "tst_compte.moc"
