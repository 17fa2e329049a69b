// vd-test: postgres
// The account page driving the real backend client and account state against
// the emulator, whose procedures run on a private PostgreSQL: sign-in and
// sign-up refusals with their messages (some before any request), the account
// after sign-in, accepting an invitation, the company step, and a deletion that
// needs the typed word.
#include "cloud/compte.h"
#include "cloud/ecrans/ecrancompte.h"
#include "outilscloud.h"

#include "ui/ecrans/style.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

using namespace vd;
using cloud::Compte;
using cloud::EcranCompte;
using fakes::ReponseHttpFactice;
using fakes::RequeteHttp;
using Vue = EcranCompte::Vue;

class TestEcranCompte : public QObject {
    Q_OBJECT

    std::unique_ptr<tests::BancCloud> b;
    std::unique_ptr<QTemporaryDir> dossier;
    platform::ReseauFactice reseau;
    std::unique_ptr<Compte> compte;
    ui::Contexte ctx;
    std::unique_ptr<EcranCompte> ecran;

    QPushButton* bouton(const QString& texte) const
    {
        for (QPushButton* p : ecran->findChildren<QPushButton*>())
            if (p->text() == texte && !p->isHidden())
                return p;
        return nullptr;
    }
    QString texteDe(const QString& nom) const
    {
        const auto* l = ecran->findChild<QLabel*>(nom);
        return l ? l->text() : QString();
    }
    // Every text of a card, to check what it shows.
    QString carte(const QString& nom) const
    {
        QStringList t;
        if (const auto* c = ecran->findChild<QWidget*>(nom))
            for (const QLabel* l : c->findChildren<QLabel*>())
                t << l->text();
        return t.join(QLatin1Char('\n'));
    }
    void saisir(const QString& champ, const QString& texte)
    {
        auto* e = ecran->findChild<QLineEdit*>(champ);
        QVERIFY2(e, qPrintable(champ));
        e->clear();
        QTest::keyClicks(e, texte);
    }
    bool cliquer(const QString& texte)
    {
        QPushButton* p = bouton(texte);
        if (!p || !p->isEnabled())
            return false;
        p->click();
        return true;
    }
    void capturer(const QString& nom)
    {
        const QString d = qEnvironmentVariable("VD_CAPTURES");
        QCoreApplication::processEvents();
        if (!d.isEmpty() && QDir().mkpath(d))
            ecran->grab().save(d + QStringLiteral("/compte-%1.png").arg(nom));
    }
    bool seConnecter(const QString& email)
    {
        saisir(QStringLiteral("email"), email);
        saisir(QStringLiteral("motDePasse"), QStringLiteral("motdepasse1"));
        if (!cliquer(QStringLiteral("Se connecter")))
            return false;
        return QTest::qWaitFor([&] { return ecran->vue() != Vue::connexion && !compte->rafraichissementEnCours() && compte->infos(); }, 10'000);
    }

private Q_SLOTS:
    void initTestCase() { ui::style::appliquer(*qobject_cast<QApplication*>(QCoreApplication::instance())); }
    void init()
    {
        if (fakes::BasePostgres::connexionEnvironnement().isEmpty())
            QSKIP("Sans base PostgreSQL (lancer par scripts/avec-postgres.sh)");
        QStandardPaths::setTestModeEnabled(true);
        b = std::make_unique<tests::BancCloud>();
        QVERIFY2(b->serveur.utiliserPostgres(), qPrintable(b->serveur.base() ? b->serveur.base()->erreur() : QString()));
        QVERIFY(b->demarrer());
        dossier = std::make_unique<QTemporaryDir>();
        reseau.fixer(true);
        compte = std::make_unique<Compte>(b->client.get(), dossier->path(), reseau, b->horloge);
        compte->demarrer();
        ctx = {};
        ctx.client = b->client.get();
        ctx.compte = compte.get();
        ecran = std::make_unique<EcranCompte>(ctx);
        ecran->resize(900, 760);
        ecran->show();
        b->serveur.ajouterUtilisateur(QStringLiteral("lea@exemple.fr"), QStringLiteral("motdepasse1"), true,
                                      QJsonObject{{QStringLiteral("nom"), QStringLiteral("Léa Martin")},
                                                  {QStringLiteral("entreprise"), QStringLiteral("Exemple SAS")}});
    }
    void cleanup()
    {
        ecran.reset();
        compte.reset();
        dossier.reset();
        b.reset();
    }

    void refusAvecSonMessage_data()
    {
        QTest::addColumn<bool>("inscription");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("motDePasse");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("requetes");   // to the sign-in or sign-up endpoint
        QTest::addColumn<Vue>("vueApres");
        QTest::newRow("mauvais mot de passe") << false << "lea@exemple.fr" << "pas-le-bon" << "Email ou mot de passe incorrect." << 1
                                              << Vue::connexion;
        QTest::newRow("email pas encore confirmé") << false << "nc@exemple.fr" << "motdepasse1"
                                                   << "Confirmez d'abord votre email : ouvrez le lien reçu." << 1 << Vue::confirmation;
        QTest::newRow("7 caractères à l'inscription") << true << "neuf@exemple.fr" << "abcdefg"
                                                      << "Mot de passe trop faible : 8 caractères au moins." << 0 << Vue::inscription;
        QTest::newRow("adresse sans @") << true << "neuf-exemple.fr" << "motdepasse1" << "Adresse email invalide." << 0
                                        << Vue::inscription;
        QTest::newRow("compte existant") << true << "lea@exemple.fr" << "motdepasse2"
                                         << "Un compte existe déjà avec cet email. Connectez-vous." << 1 << Vue::inscription;
    }
    void refusAvecSonMessage()
    {
        QFETCH(bool, inscription);
        QFETCH(QString, email);
        QFETCH(QString, motDePasse);
        QFETCH(QString, message);
        QFETCH(int, requetes);
        QFETCH(Vue, vueApres);
        b->serveur.ajouterUtilisateur(QStringLiteral("nc@exemple.fr"), QStringLiteral("motdepasse1"), false);
        const QString chemin = inscription ? QStringLiteral("/auth/v1/signup") : QStringLiteral("/auth/v1/token");
        const QString envoi = inscription ? QStringLiteral("Créer mon compte") : QStringLiteral("Se connecter");
        if (inscription)
            QVERIFY(cliquer(QStringLiteral("Pas encore de compte ? Créer un compte")));
        saisir(QStringLiteral("email"), email);
        saisir(QStringLiteral("motDePasse"), motDePasse);
        QVERIFY(cliquer(envoi));
        if (requetes > 0) {
            // Nothing to click twice while the request runs.
            QVERIFY(ecran->requeteEnCours());
            QVERIFY(!bouton(envoi)->isEnabled());
        }
        QTRY_COMPARE(texteDe(QStringLiteral("erreurCompte")), message);
        QCOMPARE(b->serveur.nombre("POST", chemin), requetes);
        QCOMPARE(ecran->vue(), vueApres);
        capturer(QString::fromUtf8(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_')));
        if (vueApres == Vue::confirmation) {
            QVERIFY(texteDe(QStringLiteral("emailAConfirmer")).contains(email));
            QVERIFY(cliquer(QStringLiteral("Renvoyer le lien")));
            QTRY_COMPARE(texteDe(QStringLiteral("infoCompte")), QStringLiteral("Un nouveau lien vient de partir vers %1.").arg(email));
            QCOMPARE(b->serveur.nombre("POST", QStringLiteral("/auth/v1/resend")), 1);
        }
    }

    void inscriptionPuisAttenteDuLien()
    {
        QVERIFY(cliquer(QStringLiteral("Pas encore de compte ? Créer un compte")));
        saisir(QStringLiteral("nom"), QStringLiteral("Paul Neuf"));
        saisir(QStringLiteral("entreprise"), QStringLiteral("Neuf & Fils"));
        saisir(QStringLiteral("email"), QStringLiteral("Paul@Exemple.fr "));
        saisir(QStringLiteral("motDePasse"), QStringLiteral("motdepasse1"));
        QVERIFY(cliquer(QStringLiteral("Créer mon compte")));
        QTRY_COMPARE(ecran->vue(), Vue::confirmation);
        QVERIFY(texteDe(QStringLiteral("emailAConfirmer")).contains(QStringLiteral("paul@exemple.fr")));
        const QJsonObject m = b->serveur.metadonnees(QStringLiteral("paul@exemple.fr"));
        QCOMPARE(m.value(QStringLiteral("nom")).toString(), QStringLiteral("Paul Neuf"));
        QCOMPARE(m.value(QStringLiteral("entreprise")).toString(), QStringLiteral("Neuf & Fils"));
        capturer(QStringLiteral("confirmation"));
    }

    void connexionPuisLeCompte()
    {
        QVERIFY(seConnecter(QStringLiteral("lea@exemple.fr")));
        QCOMPARE(ecran->vue(), Vue::compte);
        const QString resume = carte(QStringLiteral("resumeCompte"));
        QVERIFY2(resume.contains(QStringLiteral("Léa Martin")) && resume.contains(QStringLiteral("Entreprise : Exemple SAS")),
                 qPrintable(resume));
        QVERIFY(carte(QStringLiteral("equipeCompte")).contains(QStringLiteral("aucune équipe")));
        // Offline: the last known account, nothing to delete.
        reseau.fixer(false);
        QCOMPARE(ecran->vue(), Vue::compte);
        QVERIFY(texteDe(QStringLiteral("noteHorsLigne")).startsWith(QStringLiteral("Hors ligne : voici le dernier état connu")));
        QVERIFY(carte(QStringLiteral("resumeCompte")).contains(QStringLiteral("Léa Martin")));
        QVERIFY(!bouton(QStringLiteral("Supprimer mon compte…")));
        reseau.fixer(true);
        // Sign-out: back to the sign-in form.
        QVERIFY(cliquer(QStringLiteral("Se déconnecter")));
        QTRY_COMPARE(ecran->vue(), Vue::connexion);
    }

    void entrepriseDemandeePuisEnregistree()
    {
        b->serveur.ajouterUtilisateur(QStringLiteral("google@exemple.fr"), QStringLiteral("motdepasse1"));
        QVERIFY(seConnecter(QStringLiteral("google@exemple.fr")));
        QCOMPARE(ecran->vue(), Vue::entreprise);
        QVERIFY(cliquer(QStringLiteral("Enregistrer")));
        QCOMPARE(texteDe(QStringLiteral("erreurCompte")), QStringLiteral("Indiquez le nom de votre entreprise."));
        capturer(QStringLiteral("entreprise"));
        saisir(QStringLiteral("entreprise"), QStringLiteral("  Ventes   du Nord "));
        QVERIFY(cliquer(QStringLiteral("Enregistrer")));
        QTRY_COMPARE(ecran->vue(), Vue::compte);
        const QList<RequeteHttp> r = b->serveur.requetes(QStringLiteral("/rest/v1/comptes"));
        QCOMPARE(r.size(), 1);
        QCOMPARE(r.at(0).methode, QByteArray("PATCH"));
        QCOMPARE(r.at(0).item(QStringLiteral("id")), QStringLiteral("eq.") + b->client->session()->utilisateur.id);
        QCOMPARE(r.at(0).json().toObject().value(QStringLiteral("entreprise")).toString(), QStringLiteral("Ventes du Nord"));
    }

    void invitationAcceptee()
    {
        const QString proprio = b->serveur.ajouterUtilisateur(QStringLiteral("paule@exemple.fr"), QStringLiteral("motdepasse1"));
        fakes::BasePostgres* base = b->serveur.base();
        const QString org = tests::creerEquipe(*base, QStringLiteral("Ventes Nord"), proprio, 3, {{proprio, QStringLiteral("proprietaire")}});
        QVERIFY2(!org.isEmpty(), qPrintable(base->erreur()));
        base->executer(QStringLiteral("insert into public.invitations (organisation_id, email, role_org, invite_par) "
                                      "values (?::uuid, 'lea@exemple.fr', 'manager', ?::uuid)"),
                       {org, proprio});
        QVERIFY(seConnecter(QStringLiteral("lea@exemple.fr")));
        const QString invitation = carte(QStringLiteral("invitation"));
        QVERIFY2(invitation.contains(QStringLiteral("Équipe « Ventes Nord »")) && invitation.contains(QStringLiteral("Rôle proposé : Manager")),
                 qPrintable(invitation));
        capturer(QStringLiteral("invitation"));
        QVERIFY(cliquer(QStringLiteral("Accepter")));
        QTRY_COMPARE(texteDe(QStringLiteral("infoCompte")), QStringLiteral("Bienvenue dans votre nouvelle équipe."));
        QTRY_VERIFY(carte(QStringLiteral("equipeCompte")).contains(QStringLiteral("Équipe « Ventes Nord »")));
        QVERIFY(carte(QStringLiteral("equipeCompte")).contains(QStringLiteral("Votre rôle : Manager")));
        QVERIFY(carte(QStringLiteral("equipeCompte")).contains(QStringLiteral("2 membres sur 3 places")));
        QVERIFY(!ecran->findChild<QWidget*>(QStringLiteral("invitation")));
        capturer(QStringLiteral("equipe"));
    }

    // The preview says what goes and what to type (the server's "confirmation", else SUPPRIMER).
    void suppressionApresLeMotTape_data()
    {
        QTest::addColumn<QByteArray>("apercu");
        QTest::addColumn<QString>("faux");
        QTest::addColumn<QString>("bon");   // empty: the server refuses for now
        QTest::addColumn<QString>("attendu");
        QTest::newRow("adresse du compte") << QByteArray("{\"appels\": 3, \"contacts\": 1, \"autres\": 0, \"confirmation\": \"lea@exemple.fr\","
            "\"consigne\": \"Pour confirmer, tapez votre adresse email : lea@exemple.fr\", \"suppressionPossible\": true,"
            "\"equipe\": {\"nom\": \"Ventes Nord\", \"consequence\": \"L'équipe « Ventes Nord » sera supprimée avec votre compte.\"}}")
            << "lea" << " LEA@exemple.fr " << "L'équipe « Ventes Nord » sera supprimée avec votre compte.";
        QTest::newRow("mot SUPPRIMER") << QByteArray("{\"appels\": 1, \"contacts\": 2}") << "supprimer" << "SUPPRIMER" << "";
        QTest::newRow("propriétaire avec membres") << QByteArray("{\"appels\": 3, \"suppressionPossible\": false,"
            "\"motif\": \"Transmettez d'abord votre équipe.\"}") << "" << "" << "Transmettez d'abord votre équipe.";
    }
    void suppressionApresLeMotTape()
    {
        QFETCH(QByteArray, apercu);
        QFETCH(QString, faux);
        QFETCH(QString, bon);
        QFETCH(QString, attendu);
        QStringList confirmations;
        const QJsonObject reponse = QJsonDocument::fromJson(apercu).object();
        QVERIFY(!reponse.isEmpty());
        b->serveur.surFonction(QStringLiteral("compte"), [&](const RequeteHttp& r) {
            const QJsonObject c = r.json().toObject();
            if (c.value(QStringLiteral("action")).toString() != QLatin1String("supprimer"))
                return ReponseHttpFactice::json(200, reponse);
            confirmations << c.value(QStringLiteral("confirmation")).toString();
            return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("supprime"), true}});
        });
        QVERIFY(seConnecter(QStringLiteral("lea@exemple.fr")));
        QVERIFY(cliquer(QStringLiteral("Supprimer mon compte…")));
        QTRY_VERIFY(!texteDe(QStringLiteral("apercuSuppression")).isEmpty());
        if (!attendu.isEmpty())
            QVERIFY(carte(QStringLiteral("suppressionCompte")).contains(attendu));
        if (bon.isEmpty()) {
            QVERIFY(!bouton(QStringLiteral("Supprimer définitivement")));
            QVERIFY(!ecran->findChild<QLineEdit*>(QStringLiteral("confirmationSuppression")));
            return;
        }
        if (apercu.contains("appels\": 3"))
            QCOMPARE(texteDe(QStringLiteral("apercuSuppression")), QStringLiteral("Seront effacés : votre compte, 3 appels, 1 contact."));
        QVERIFY(!bouton(QStringLiteral("Supprimer définitivement"))->isEnabled());
        saisir(QStringLiteral("confirmationSuppression"), faux);
        QVERIFY(!bouton(QStringLiteral("Supprimer définitivement"))->isEnabled());
        QTest::keyClick(ecran->findChild<QLineEdit*>(QStringLiteral("confirmationSuppression")), Qt::Key_Return);
        QVERIFY(texteDe(QStringLiteral("erreurCompte")).startsWith(QStringLiteral("Tapez ")));
        QVERIFY(confirmations.isEmpty());
        capturer(QString::fromUtf8(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_')));
        // Once deleted, the account's copies on this computer go too.
        QFile synchro(QDir(dossier->path()).filePath(QStringLiteral("synchro.json")));
        QVERIFY(synchro.open(QIODevice::WriteOnly) && synchro.write("{}") == 2);
        synchro.close();
        QVERIFY(QFile::exists(compte->cheminCompte()));
        saisir(QStringLiteral("confirmationSuppression"), bon);
        QVERIFY(cliquer(QStringLiteral("Supprimer définitivement")));
        QTRY_COMPARE(ecran->vue(), Vue::connexion);
        QCOMPARE(confirmations, QStringList{bon.trimmed()});
        QCOMPARE(texteDe(QStringLiteral("infoCompte")), QStringLiteral("Votre compte a été supprimé."));
        QCOMPARE(compte->etat(), Compte::Etat::deconnecte);
        QVERIFY(!QFile::exists(compte->cheminCompte()) && !synchro.exists());
    }

    // After a recovery link: the new password first, checked before it is sent.
    void nouveauMotDePasseApresLeLien_data()
    {
        QTest::addColumn<QString>("premier");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("message");
        QTest::newRow("trop court") << "abc" << "abc" << "Mot de passe trop faible : 8 caractères au moins.";
        QTest::newRow("différents") << "nouveau-mdp1" << "nouveau-mdp2" << "Les deux mots de passe ne sont pas identiques.";
        QTest::newRow("accepté") << "nouveau-mdp1" << "nouveau-mdp1" << "";
    }
    void nouveauMotDePasseApresLeLien()
    {
        QFETCH(QString, premier);
        QFETCH(QString, second);
        QFETCH(QString, message);
        QVERIFY(seConnecter(QStringLiteral("lea@exemple.fr")));
        compte->fixerBesoinMotDePasse(true);
        QCOMPARE(ecran->vue(), Vue::motDePasse);
        saisir(QStringLiteral("nouveauMotDePasse"), premier);
        saisir(QStringLiteral("confirmationMotDePasse"), second);
        QVERIFY(cliquer(QStringLiteral("Enregistrer le mot de passe")));
        if (!message.isEmpty()) {
            QCOMPARE(texteDe(QStringLiteral("erreurCompte")), message);
            QCOMPARE(b->serveur.nombre("PUT", QStringLiteral("/auth/v1/user")), 0);
            return;
        }
        QTRY_COMPARE(ecran->vue(), Vue::compte);
        QCOMPARE(b->serveur.motDePasse(QStringLiteral("lea@exemple.fr")), premier);
        QCOMPARE(texteDe(QStringLiteral("infoCompte")), QStringLiteral("Votre nouveau mot de passe est enregistré."));
    }

    void sessionExpireeSurLeFormulaire()
    {
        QVERIFY(seConnecter(QStringLiteral("lea@exemple.fr")));
        b->horloge.avancer(3'600'000);
        QTRY_VERIFY(!compte->rafraichissementEnCours());
        b->serveur.injecter(QStringLiteral("/auth/v1/token"), fakes::FauxSupabase::erreurAuth(400, QStringLiteral("refresh_token_not_found"),
                                                                                            QStringLiteral("Invalid Refresh Token")));
        compte->rafraichir();
        QTRY_COMPARE(ecran->vue(), Vue::connexion);
        QCOMPARE(texteDe(QStringLiteral("messageSession")), QStringLiteral("Votre session a expiré. Reconnectez-vous."));
    }
};

QTEST_MAIN(TestEcranCompte)
#include "tst_ecrancompte.moc"
