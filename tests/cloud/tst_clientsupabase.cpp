// Sign-in, session life and callback links of the backend client, against
// the local backend emulator and a fake clock.
#include "outilscloud.h"

#include <QSignalSpy>

using namespace vd::cloud;
using vd::fakes::FauxSupabase;
using vd::fakes::ReponseHttpFactice;
using vd::tests::BancCloud;
using vd::tests::attendre;

namespace {
const QString lea = QStringLiteral("lea@exemple.fr");

QString jetons(const QJsonObject& s)
{
    return QStringLiteral("access_token=%1&refresh_token=%2&expires_in=3600")
        .arg(s.value(QStringLiteral("access_token")).toString(), s.value(QStringLiteral("refresh_token")).toString());
}
// A string field of a request's JSON body.
QString champ(const vd::fakes::RequeteHttp& r, const QString& cle)
{
    return r.json().toObject().value(cle).toString();
}
QList<ClientSupabase::Evenement> evenements(const QSignalSpy& spy)
{
    QList<ClientSupabase::Evenement> r;
    for (const QList<QVariant>& signal : spy)
        r << signal.at(0).value<ClientSupabase::Evenement>();
    return r;
}
} // namespace

class TestClientSupabase : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        b = std::make_unique<BancCloud>();
        QVERIFY(b->demarrer());
    }
    void cleanup() { b.reset(); }

    void connexionSigneeEtGardee()
    {
        b->serveur.ajouterUtilisateur(lea, QStringLiteral("motdepasse1"));
        QList<ClientSupabase::Evenement> evenements;
        b->client->surSession = [&](const std::optional<SessionAuth>& s, ClientSupabase::Evenement e) {
            QVERIFY(s.has_value());
            evenements.append(e);
        };
        auto r = attendre(b->client->connecter(QStringLiteral("  Lea@Exemple.FR "), QStringLiteral("motdepasse1")));
        QVERIFY(r.ok());
        QCOMPARE(evenements, QList<ClientSupabase::Evenement>{ClientSupabase::Evenement::connexion});
        const SessionAuth s = *b->client->session();
        QCOMPARE(QVariantList({s.utilisateur.email, s.utilisateur.emailConfirme, s.expireLe}),
                 QVariantList({lea, true, b->horloge.maintenant().addSecs(3600)}));
        const auto req = b->serveur.requetes(QStringLiteral("/auth/v1/token")).value(0);
        QCOMPARE(QStringList({req.item("grant_type"), champ(req, "email")}), QStringList({"password", lea}));
        QCOMPARE(QList<QByteArray>({req.entete("apikey"), req.entete("authorization"), req.entete("accept"), req.entete("x-client-info"),
                                    req.entete("content-type")}),
                 QList<QByteArray>({"cle-anon-test", "Bearer cle-anon-test", "application/json", "vendalo-mac/2.0", "application/json"}));

        // A new run reads the session back from the credential store.
        b->nouveauClient();
        QVERIFY(b->client->connecte() && b->client->session()->utilisateur.email == lea);
    }

    void motDePasseCourtSansRequete_data()
    {
        QTest::addColumn<QString>("motDePasse");
        QTest::newRow("7 caracteres") << "abcdefg";
        QTest::newRow("vide") << "";
        QTest::newRow("7 accentues") << "éèàçùêô";
    }
    void motDePasseCourtSansRequete()
    {
        QFETCH(QString, motDePasse);
        auto r = attendre(b->client->inscrire(lea, motDePasse));
        QCOMPARE(QVariantList({r.erreur().code, r.erreur().statut, r.erreur().message}),
                 QVariantList({"weak_password", 422, "Mot de passe trop faible : 8 caractères au moins."}));
        QVERIFY(b->connecter());
        b->serveur.viderJournal();
        auto c = attendre(b->client->changerMotDePasse(motDePasse));
        QCOMPARE(QVariantList({c.erreur().code, int(b->serveur.journal().size())}), QVariantList({"weak_password", 0}));
    }

    void inscriptionPuisLienDeConfirmation()
    {
        const QJsonObject donnees{{QStringLiteral("nom"), QStringLiteral("Léa Martin")},
                                  {QStringLiteral("entreprise"), QStringLiteral("Lumen")},
                                  {QStringLiteral("source"), QStringLiteral("app")}};
        auto r = attendre(b->client->inscrire(QStringLiteral(" LEA@exemple.fr"), QStringLiteral("motdepasse1"), donnees));
        QCOMPARE(QVariantList({r.valeur(), b->client->connecte()}), QVariantList({false, false}));   // e-mail to confirm first
        const auto req = b->serveur.requetes(QStringLiteral("/auth/v1/signup")).value(0);
        const auto pkce = b->stockage.lirePkce();
        QVERIFY(pkce);
        QCOMPARE(QStringList({req.item("redirect_to"), champ(req, "email"), champ(req, "code_challenge_method"), champ(req, "code_challenge"),
                              pkce->type, pkce->email}),
                 QStringList({"vendalo2://auth-callback", lea, "s256", defiPkce(pkce->verificateur), "signup", lea}));
        QCOMPARE(req.json().toObject().value("data").toObject(), donnees);
        QCOMPARE(b->serveur.metadonnees(lea), donnees);

        const QString code = b->serveur.codePour(lea);
        auto l = attendre(b->client->traiterLien(QUrl(QStringLiteral("vendalo2://auth-callback?code=") + code)));
        QVERIFY2(l.ok(), qPrintable(l.ok() ? QString() : l.erreur().message));
        QCOMPARE(QVariantList({l.valeur(), b->client->connecte(), bool(b->stockage.lirePkce())}), QVariantList({"signup", true, false}));
        const auto echange = b->serveur.requetes(QStringLiteral("/auth/v1/token")).value(0);
        QCOMPARE(QStringList({echange.item("grant_type"), champ(echange, "code_verifier")}), QStringList({"pkce", pkce->verificateur}));
    }

    void inscriptionSansConfirmation()
    {
        b->serveur.confirmationRequise = false;
        auto r = attendre(b->client->inscrire(lea, QStringLiteral("motdepasse1")));
        QVERIFY(r.ok() && r.valeur() && b->client->connecte());
    }

    void lienMauvaisVerificateur()
    {
        QVERIFY(attendre(b->client->demanderReinitialisation(lea)).ok());
        const QString code = b->serveur.codePour(lea);
        b->stockage.ecrirePkce(PKCEEnAttente{QStringLiteral("autre-verificateur"), QStringLiteral("recovery"), lea});
        auto l = attendre(b->client->traiterLien(QUrl(QStringLiteral("vendalo2://auth-callback?code=") + code)));
        QCOMPARE(QStringList({l.erreur().code, l.erreur().message}), QStringList({"bad_code_verifier", "Email confirmé. Connectez-vous."}));
        QVERIFY(!b->client->connecte());
    }

    void lienErreurs_data()
    {
        QTest::addColumn<QString>("lien");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("code");   // checked when given
        QTest::newRow("code sans pkce") << "vendalo2://auth-callback?code=abc" << "Email confirmé. Connectez-vous." << "pkce_absent";
        QTest::newRow("otp dans le fragment")
            << "vendalo2://auth-callback#error=access_denied&error_code=otp_expired&error_description=Email+link+is+invalid+or+has+expired"
            << "Ce lien a expiré ou a déjà servi. Demandez-en un nouveau." << "";
        QTest::newRow("otp texte seul") << "vendalo2://auth-callback?error=access_denied&error_description=Email%20link%20has%20expired"
                                        << "Ce lien a expiré ou a déjà servi. Demandez-en un nouveau." << "";
        QTest::newRow("vide") << "vendalo2://auth-callback" << "Ce lien n'est pas valable. Demandez-en un nouveau." << "";
        QTest::newRow("autre hote") << "vendalo2://agenda?code=x" << "Ce lien n'est pas valable. Demandez-en un nouveau." << "";
        QTest::newRow("autre schema") << "https://auth-callback?code=x" << "Ce lien n'est pas valable. Demandez-en un nouveau." << "";
        QTest::newRow("jeton seul") << "vendalo2://auth-callback#access_token=a" << "Ce lien n'est pas valable. Demandez-en un nouveau." << "";
        QTest::newRow("autre erreur") << "vendalo2://auth-callback?error=server_error&error_description=Link+expired" << messages::generique << "";
    }
    void lienErreurs()
    {
        QFETCH(QString, lien);
        QFETCH(QString, message);
        QFETCH(QString, code);
        auto l = attendre(b->client->traiterLien(QUrl(lien)));
        QVERIFY(!l.ok());
        QCOMPARE(l.erreur().message, message);
        if (!code.isEmpty())
            QCOMPARE(l.erreur().code, code);
        QCOMPARE(b->serveur.journal().size(), 0);
    }

    void lienAvecJetons()
    {
        b->serveur.ajouterUtilisateur(lea, QStringLiteral("motdepasse1"));
        QUrl lien(QStringLiteral("vendalo2://auth-callback#") + jetons(b->serveur.ouvrirSession(lea)) + QStringLiteral("&type=recovery"));
        auto l = attendre(b->client->traiterLien(lien));
        QCOMPARE(QVariantList({l.valeur(), b->client->session()->utilisateur.email, b->client->session()->expireLe}),
                 QVariantList({"recovery", lea, b->horloge.maintenant().addSecs(3600)}));
        // The same account may open its own link again.
        const QJsonObject s2 = b->serveur.ouvrirSession(lea);
        lien.setFragment(jetons(s2));
        QVERIFY(attendre(b->client->traiterLien(lien)).ok());
        QCOMPARE(b->client->session()->accessToken, s2.value(QStringLiteral("access_token")).toString());
    }

    void lienAvecJetonsDUnAutreCompteRefuse()
    {
        QVERIFY(b->connecter());
        const SessionAuth avant = *b->client->session();
        b->serveur.ajouterUtilisateur(QStringLiteral("intrus@exemple.fr"), QStringLiteral("motdepasse1"));
        QSignalSpy spy(b->client.get(), &ClientSupabase::sessionChangee);
        auto l = attendre(b->client->traiterLien(
            QUrl(QStringLiteral("vendalo2://auth-callback#") + jetons(b->serveur.ouvrirSession(QStringLiteral("intrus@exemple.fr"))))));
        QCOMPARE(l.erreur().message, QStringLiteral("Ce lien n'est pas valable. Demandez-en un nouveau."));
        QVERIFY(*b->client->session() == avant && b->stockage.lireSession() == avant);
        QCOMPARE(spy.count(), 0);
    }

    void rafraichissementAvantExpiration_data()
    {
        QTest::addColumn<int>("resteS");
        QTest::addColumn<int>("rafraichissements");
        QTest::newRow("59 s") << 59 << 1;
        QTest::newRow("60 s") << 60 << 1;
        QTest::newRow("61 s") << 61 << 0;
        QTest::newRow("expire") << -10 << 1;
    }
    void rafraichissementAvantExpiration()
    {
        QFETCH(int, resteS);
        QFETCH(int, rafraichissements);
        QVERIFY(b->connecter());
        const QString ancien = b->client->session()->accessToken;
        b->horloge.avancer(qint64(3600 - resteS) * 1000);
        auto j = attendre(b->client->jetonValide());
        QVERIFY(j.ok());
        QCOMPARE(b->serveur.nombreRafraichissements(), rafraichissements);
        QCOMPARE(j.valeur() == ancien, rafraichissements == 0);
        if (rafraichissements) {
            QCOMPARE(b->stockage.lireSession()->accessToken, j.valeur());
            QCOMPARE(b->client->session()->expireLe, b->horloge.maintenant().addSecs(3600));
        }
    }

    void deuxAppelsUnSeulRafraichissement()
    {
        QVERIFY(b->connecter());
        b->serveur.surProcedure(QStringLiteral("ping"), [](const vd::fakes::RequeteHttp&) {
            return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("ok"), true}});
        });
        b->horloge.avancer(3600'000 + 1000);
        QSignalSpy spy(b->client.get(), &ClientSupabase::sessionChangee);
        auto t1 = b->client->appelerProcedure(QStringLiteral("ping"), {}, 10'000);
        auto t2 = b->client->appelerProcedure(QStringLiteral("ping"), {}, 10'000);
        auto t3 = b->client->jetonValide();
        auto r1 = attendre(t1);
        auto r2 = attendre(t2);
        auto r3 = attendre(t3);
        QVERIFY(r1.ok() && r2.ok() && r3.ok());
        QCOMPARE(b->serveur.nombreRafraichissements(), 1);
        QCOMPARE(evenements(spy), QList<ClientSupabase::Evenement>{ClientSupabase::Evenement::rafraichissement});
        for (const auto& req : b->serveur.requetes(QStringLiteral("/rest/v1/rpc/ping")))
            QCOMPARE(req.entete("authorization"), "Bearer " + r3.valeur().toUtf8());
    }

    // A 401 gets one refresh and one new try; refused again, the call fails without a loop.
    void refus401_data()
    {
        QTest::addColumn<int>("refus");
        QTest::newRow("une fois") << 1;
        QTest::newRow("toujours") << 5;
    }
    void refus401()
    {
        QFETCH(int, refus);
        QVERIFY(b->connecter());
        const QString ancien = b->client->session()->accessToken;
        b->serveur.surProcedure(QStringLiteral("ping"), [](const vd::fakes::RequeteHttp&) {
            return ReponseHttpFactice::json(200, QJsonValue(42));
        });
        b->serveur.injecter(QStringLiteral("/rest/v1/rpc/ping"),
                            FauxSupabase::erreurRest(401, QStringLiteral("PGRST301"), QStringLiteral("JWT expired")), refus);
        auto r = attendre(b->client->appelerProcedure(QStringLiteral("ping"), {}, 10'000));
        QCOMPARE(r.ok() ? QVariantList({r.valeur().qt().toInt()}) : QVariantList({int(r.erreur().genre), r.erreur().statut}),
                 refus == 1 ? QVariantList({42}) : QVariantList({int(ErreurCloud::Genre::base), 401}));
        QCOMPARE(b->serveur.nombreRafraichissements(), 1);
        QByteArrayList jetons;
        for (const auto& appel : b->serveur.requetes(QStringLiteral("/rest/v1/rpc/ping")))
            jetons << appel.entete("authorization");
        QCOMPARE(jetons, QByteArrayList({"Bearer " + ancien.toUtf8(), "Bearer " + b->client->session()->accessToken.toUtf8()}));
        QVERIFY(b->client->session()->accessToken != ancien && b->client->connecte());
    }

    void rafraichissementRefuseEfface()
    {
        QVERIFY(b->connecter());
        QList<ClientSupabase::Evenement> evenements;
        b->client->surSession = [&](const std::optional<SessionAuth>& s, ClientSupabase::Evenement e) {
            QVERIFY(!s.has_value());
            evenements.append(e);
        };
        b->serveur.injecter(QStringLiteral("/auth/v1/token"),
                            FauxSupabase::erreurAuth(400, QStringLiteral("refresh_token_not_found"), QStringLiteral("Invalid Refresh Token")));
        b->horloge.avancer(3600'000);
        auto r = attendre(b->client->appelerProcedure(QStringLiteral("ping"), {}, 10'000));
        QCOMPARE(QVariantList({int(r.erreur().genre), r.erreur().code, r.erreur().message}),
                 QVariantList({int(ErreurCloud::Genre::session), "session_expiree", "Votre session a expiré. Reconnectez-vous."}));
        QVERIFY(!b->client->connecte() && !b->coffre.lire(StockageSession::cleSession));
        QCOMPARE(evenements, QList<ClientSupabase::Evenement>{ClientSupabase::Evenement::expiration});
        QCOMPARE(b->serveur.nombre("POST", QStringLiteral("/rest/v1/rpc/ping")), 0);
        // Later calls go out with the public key.
        auto sansSession = attendre(b->client->appelerProcedure(QStringLiteral("ping"), {}, 10'000));
        QCOMPARE(sansSession.erreur().code, QStringLiteral("PGRST202"));   // no such procedure on the emulator
        QCOMPARE(b->serveur.requetes(QStringLiteral("/rest/v1/rpc/ping")).value(0).entete("authorization"),
                 QByteArray("Bearer cle-anon-test"));
    }

    void rafraichissementEnPanneGarde_data()
    {
        QTest::addColumn<int>("statut");   // 0: connection cut, a network failure; the others are auth failures
        for (int statut : {408, 429, 500, 503, 0})
            QTest::addRow("%d", statut) << statut;
    }
    void rafraichissementEnPanneGarde()
    {
        QFETCH(int, statut);
        QVERIFY(b->connecter());
        const SessionAuth avant = *b->client->session();
        ReponseHttpFactice panne = FauxSupabase::erreurAuth(statut, {}, QStringLiteral("Request timeout"));
        panne.couper = statut == 0;
        // The network layer sends a request again once when a kept-alive connection drops.
        b->serveur.injecter(QStringLiteral("/auth/v1/token"), panne, statut == 0 ? 10 : 1);
        b->horloge.avancer(3600'000);
        auto r = attendre(b->client->jetonValide());
        QVERIFY(r.erreur().genre == (statut ? ErreurCloud::Genre::auth : ErreurCloud::Genre::reseau) && !r.erreur().message.isEmpty());
        QVERIFY(*b->client->session() == avant && b->stockage.lireSession() == avant);
        // The next call refreshes for real.
        b->serveur.viderPannes();
        const int avantRafraichissements = b->serveur.nombreRafraichissements();
        QVERIFY(attendre(b->client->jetonValide()).ok());
        QCOMPARE(b->serveur.nombreRafraichissements(), avantRafraichissements + 1);
    }

    void rafraichissementTardifNEcrasePasUneNouvelleConnexion()
    {
        QVERIFY(b->connecter());
        b->serveur.ajouterUtilisateur(QStringLiteral("tom@exemple.fr"), QStringLiteral("motdepasse2"));
        b->horloge.avancer(3600'000);
        ReponseHttpFactice lent = ReponseHttpFactice::json(200, b->serveur.ouvrirSession(lea));
        lent.delaiMs = 3000;   // real time: the refresh answer comes well after the new sign-in
        b->serveur.injecter(QStringLiteral("/auth/v1/token"), lent);
        auto jeton = b->client->jetonValide();
        QTRY_COMPARE(b->serveur.nombreRafraichissements(), 1);
        QVERIFY(attendre(b->client->connecter(QStringLiteral("tom@exemple.fr"), QStringLiteral("motdepasse2"))).ok());
        auto r = attendre(jeton);
        QCOMPARE(QStringList({r.valeur(), b->client->session()->utilisateur.email, b->stockage.lireSession()->utilisateur.email}),
                 QStringList({b->client->session()->accessToken, "tom@exemple.fr", "tom@exemple.fr"}));
    }

    void codeGardeApresPanneServeur()
    {
        QVERIFY(attendre(b->client->demanderReinitialisation(lea)).ok());
        b->serveur.ajouterUtilisateur(lea, QStringLiteral("motdepasse1"));
        const QString code = b->serveur.codePour(lea);
        b->serveur.injecter(QStringLiteral("/auth/v1/token"), FauxSupabase::erreurAuth(503, {}, QStringLiteral("unavailable")));
        const QUrl lien(QStringLiteral("vendalo2://auth-callback?code=") + code);
        auto l = attendre(b->client->traiterLien(lien));
        QCOMPARE(l.erreur().message, messages::generique);
        QVERIFY(b->stockage.lirePkce());
        // Opened again once the server is back, the same link works.
        l = attendre(b->client->traiterLien(lien));
        QCOMPARE(QVariantList({l.valeur(), b->client->connecte()}), QVariantList({"recovery", true}));
    }

    void utilisateurCourant()
    {
        QVERIFY(b->connecter());
        QSignalSpy spy(b->client.get(), &ClientSupabase::sessionChangee);
        auto u = attendre(b->client->utilisateurCourant());
        QCOMPARE(QStringList({u.valeur().email, u.valeur().fournisseur.value_or("-")}), QStringList({lea, "email"}));
        QCOMPARE(evenements(spy), QList<ClientSupabase::Evenement>{ClientSupabase::Evenement::utilisateur});
        QVERIFY(b->serveur.requetes(QStringLiteral("/auth/v1/user")).value(0).entete("authorization") != "Bearer cle-anon-test");
    }

    void deconnexionFermeLaSessionServeur()
    {
        QVERIFY(b->connecter());
        const QString rafraichi = b->client->session()->refreshToken;
        QSignalSpy spy(b->client.get(), &ClientSupabase::sessionChangee);
        attendre(b->client->deconnecter());
        QVERIFY(!b->client->connecte() && !b->coffre.lire(StockageSession::cleSession) && !b->serveur.jetonRafraichissementValide(rafraichi));
        const auto req = b->serveur.requetes(QStringLiteral("/auth/v1/logout")).value(0);
        QCOMPARE(req.item(QStringLiteral("scope")), QStringLiteral("local"));
        QVERIFY(req.entete("authorization") != "Bearer cle-anon-test");
        QCOMPARE(evenements(spy), QList<ClientSupabase::Evenement>{ClientSupabase::Evenement::deconnexion});
    }

    void deconnexionMalgrePanne()
    {
        QVERIFY(b->connecter());
        ReponseHttpFactice panne;
        panne.couper = true;
        b->serveur.injecter(QStringLiteral("/auth/v1/logout"), panne);
        attendre(b->client->deconnecter());
        QVERIFY(!b->client->connecte() && !b->stockage.lireSession());
    }

    void google()
    {
        auto tache = b->client->connecterAvecGoogle();
        QVERIFY(b->client->connexionWebEnCours());
        QCOMPARE(b->ouvreur.ouvertes.size(), 1);
        const QUrl adresse = b->ouvreur.ouvertes[0];
        const QUrlQuery q(adresse);
        QCOMPARE(QStringList({adresse.path(), q.queryItemValue("provider"), q.queryItemValue("redirect_to", QUrl::FullyDecoded),
                              q.queryItemValue("code_challenge_method"), q.queryItemValue("prompt"), q.queryItemValue("code_challenge")}),
                 QStringList({"/auth/v1/authorize", "google", "vendalo2://auth-callback", "s256", "select_account",
                              defiPkce(b->stockage.lirePkce()->verificateur)}));

        auto l = attendre(b->client->traiterLien(b->serveur.autoriserGoogle(adresse)));
        QCOMPARE(l.valeur(), QStringLiteral("google"));
        QVERIFY(attendre(tache).ok() && !b->client->connexionWebEnCours());
        QCOMPARE(b->client->session()->utilisateur.fournisseur, std::optional<QString>(QStringLiteral("google")));
    }

    // A new try replaces the first (ended as cancelled, silently); a cancel forgets the challenge.
    void googleRemplaceOuAnnule()
    {
        auto premiere = b->client->connecterAvecGoogle();
        auto seconde = b->client->connecterAvecGoogle();
        const auto r = attendre(premiere);
        QVERIFY(r.erreur().genre == ErreurCloud::Genre::annule && r.erreur().message.isEmpty());
        QVERIFY(b->client->connexionWebEnCours());
        const QUrl retour = b->serveur.autoriserGoogle(b->ouvreur.ouvertes.last());
        QVERIFY(attendre(b->client->traiterLien(retour)).ok());
        QVERIFY(attendre(seconde).ok());
        attendre(b->client->deconnecter());
        auto annulee = b->client->connecterAvecGoogle();
        b->client->annulerConnexionWeb();
        QCOMPARE(attendre(annulee).erreur().genre, ErreurCloud::Genre::annule);
        QVERIFY(!b->stockage.lirePkce() && !b->client->connecte());
    }

    void googleEnEchec()
    {
        auto tache = b->client->connecterAvecGoogle();
        auto l = attendre(b->client->traiterLien(QUrl(QStringLiteral("vendalo2://auth-callback"))));
        QCOMPARE(QStringList({l.erreur().message, attendre(tache).erreur().message}),
                 QStringList(2, QStringLiteral("La connexion avec Google n'a pas abouti. Réessayez.")));
        b->ouvreur.reussit = false;
        QCOMPARE(attendre(b->client->connecterAvecGoogle()).erreur().message, QStringLiteral("La connexion avec Google n'a pas pu s'ouvrir."));
        QVERIFY(!b->client->connexionWebEnCours());
    }

    void connexionAgenda()
    {
        // Without a session: refused before any request.
        auto sans = attendre(b->client->connecterAgenda(QStringLiteral("google")));
        auto changement = attendre(b->client->changerMotDePasse(QStringLiteral("nouveau-mdp")));
        QCOMPARE(QVariantList({sans.erreur().message, changement.erreur().message, int(changement.erreur().genre), int(b->serveur.journal().size())}),
                 QVariantList({"Connectez-vous pour continuer.", "Connectez-vous pour continuer.", int(ErreurCloud::Genre::session), 0}));

        QVERIFY(b->connecter());
        b->serveur.surFonction(QStringLiteral("agenda/connecter"), [](const vd::fakes::RequeteHttp&) {
            return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("url"), QStringLiteral("https://consentement.exemple.fr/o?etat=e1")}});
        });
        auto tache = b->client->connecterAgenda(QStringLiteral("google"));
        QTRY_COMPARE(b->ouvreur.ouvertes.size(), 1);
        QCOMPARE(b->ouvreur.ouvertes[0], QUrl(QStringLiteral("https://consentement.exemple.fr/o?etat=e1")));
        QCOMPARE(b->serveur.requetes(QStringLiteral("/functions/v1/agenda/connecter")).value(0).json().toObject(),
                 (QJsonObject{{QStringLiteral("retour"), QStringLiteral("vendalo2://agenda")}, {QStringLiteral("fournisseur"), QStringLiteral("google")}}));
        QVERIFY(b->client->connexionAgendaEnCours());
        const QUrl retour(QStringLiteral("vendalo2://agenda?fournisseur=google&erreur=scope_manquant"));
        QCOMPARE(attendre(b->client->traiterLien(retour)).valeur(), QStringLiteral("agenda"));
        QCOMPARE(attendre(tache).valeur(), retour);
        QVERIFY(b->client->connecte());

        // No sheet waiting: the link is refused; a cancelled sheet ends silently.
        QCOMPARE(attendre(b->client->traiterLien(retour)).erreur().code, QStringLiteral("lien_invalide"));
        auto annulee = b->client->connecterAgenda(QStringLiteral("microsoft"));
        QTRY_VERIFY(b->client->connexionAgendaEnCours());
        b->client->annulerConnexionAgenda();
        QCOMPARE(attendre(annulee).erreur().genre, ErreurCloud::Genre::annule);
    }

    void delaiDepasse()
    {
        ReponseHttpFactice muet;
        muet.retenir = true;
        b->serveur.injecter(QStringLiteral("/auth/v1/token"), muet);
        b->serveur.ajouterUtilisateur(lea, QStringLiteral("motdepasse1"));
        auto tache = b->client->connecter(lea, QStringLiteral("motdepasse1"));
        QTRY_COMPARE(b->serveur.journal().size(), 1);
        b->horloge.avancer(ClientSupabase::delaiAuthMs - 1);
        QVERIFY(!tache.isReady());
        b->horloge.avancer(2);
        auto r = attendre(tache);
        QCOMPARE(QVariantList({int(r.erreur().genre), r.erreur().message}),
                 QVariantList({int(ErreurCloud::Genre::reseau), "Le serveur met trop de temps à répondre. Réessayez dans un instant."}));
    }

    void serveurInjoignable()
    {
        const QUrl adresse = b->serveur.url();
        b->serveur.serveur().arreter();
        ClientSupabase client(ConfigCloud::depuis(adresse.toString(), QStringLiteral("k")), &b->stockage, &b->horloge, &b->ouvreur);
        auto r = attendre(client.connecter(lea, QStringLiteral("motdepasse1")));
        QCOMPARE(QVariantList({int(r.erreur().genre), r.erreur().code.left(4), r.erreur().message}),
                 QVariantList({int(ErreurCloud::Genre::reseau), "url_", "Pas de connexion. Vérifiez votre accès à internet."}));
    }

    void reponseIllisible()
    {
        b->serveur.ajouterUtilisateur(lea, QStringLiteral("motdepasse1"));
        b->serveur.injecter(QStringLiteral("/auth/v1/token"), ReponseHttpFactice::texte(200, "\x01\x02garbage"));
        auto r = attendre(b->client->connecter(lea, QStringLiteral("motdepasse1")));
        QCOMPARE(QVariantList({int(r.erreur().genre), r.erreur().code, b->client->connecte()}),
                 QVariantList({int(ErreurCloud::Genre::illisible), "reponse_illisible", false}));
    }

    void renvoiEtReinitialisationRefusee()
    {
        QVERIFY(attendre(b->client->renvoyerConfirmation(QStringLiteral(" Lea@exemple.fr"))).ok());
        const auto renvoi = b->serveur.requetes(QStringLiteral("/auth/v1/resend")).value(0);
        QCOMPARE(renvoi.json().toObject(), (QJsonObject{{QStringLiteral("type"), QStringLiteral("signup")}, {QStringLiteral("email"), lea}}));
        QCOMPARE(renvoi.item(QStringLiteral("redirect_to")), QStringLiteral("vendalo2://auth-callback"));
        b->serveur.injecter(QStringLiteral("/auth/v1/recover"), FauxSupabase::erreurAuth(429, QStringLiteral("over_email_send_rate_limit"), QStringLiteral("rate limit")));
        auto r = attendre(b->client->demanderReinitialisation(lea));
        QCOMPARE(r.erreur().message, QStringLiteral("Trop d'emails envoyés. Réessayez dans quelques minutes."));
    }

private:
    std::unique_ptr<BancCloud> b;
};

QTEST_GUILESS_MAIN(TestClientSupabase)
#include "tst_clientsupabase.moc"
