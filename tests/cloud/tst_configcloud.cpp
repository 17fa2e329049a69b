// Configuration of the backend address, PKCE, the stored session records,
// and the tables that turn backend answers into French messages.
#include "cloud/configcloud.h"
#include "cloud/erreurcloud.h"
#include "cloud/session.h"
#include "platform/coffre.h"

#include <QJsonDocument>
#include <QTest>

using namespace vd::cloud;

class TestConfigCloud : public QObject {
    Q_OBJECT

    // The row of an answer table: (statut, corps) read as (code, message).
    static void verifier(ErreurCloud (*lire)(int, const QByteArray&), ErreurCloud::Genre genre)
    {
        QFETCH(int, statut);
        QFETCH(QByteArray, corps);
        QFETCH(QString, code);
        QFETCH(QString, message);
        const ErreurCloud e = lire(statut, corps);
        QCOMPARE(e.genre, genre);
        QCOMPARE(e.statut, statut);
        QCOMPARE(e.code, code);
        QCOMPARE(e.message, message);
        QCOMPARE(e.indice, QJsonDocument::fromJson(corps).object().value(QStringLiteral("hint")).toString());   // the business code
    }

private Q_SLOTS:
    void adresse_data()
    {
        QTest::addColumn<QString>("brut");
        QTest::addColumn<QString>("attendu");   // empty: cloud off
        QTest::newRow("simple") << "https://projet.supabase.co" << "https://projet.supabase.co";
        QTest::newRow("barres finales") << "https://projet.supabase.co///" << "https://projet.supabase.co";
        QTest::newRow("espaces et retour") << "  https://projet.supabase.co/\n" << "https://projet.supabase.co";
        QTest::newRow("variable non remplacee") << "$(SUPABASE_URL)" << "";
        QTest::newRow("variable apres espaces") << "  $(VD_URL)/x" << "";
        QTest::newRow("vide") << "" << "";
        QTest::newRow("http local") << "http://127.0.0.1:54321/" << "http://127.0.0.1:54321";
        QTest::newRow("schema en capitales") << "HTTPS://projet.supabase.co" << "https://projet.supabase.co";
        QTest::newRow("ftp refuse") << "ftp://projet.supabase.co" << "";
        QTest::newRow("sans schema") << "projet.supabase.co" << "";
        QTest::newRow("sans hote") << "https://" << "";
        QTest::newRow("chemin garde") << "https://h.exemple.fr/base/" << "https://h.exemple.fr/base";
    }
    void adresse()
    {
        QFETCH(QString, brut);
        QFETCH(QString, attendu);
        const ConfigCloud c = ConfigCloud::depuis(brut, QStringLiteral("cle"));
        QCOMPARE(c.active(), !attendu.isEmpty());
        if (c.active())
            QCOMPARE(c.supabaseUrl->toString(), attendu);
    }

    void cle_data()
    {
        QTest::addColumn<QString>("brut");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("simple") << " eyJabc \n" << "eyJabc";
        QTest::newRow("variable") << "$(SUPABASE_ANON_KEY)" << "";
        QTest::newRow("vide") << "" << "";
    }
    void cle()
    {
        QFETCH(QString, brut);
        QFETCH(QString, attendu);
        QCOMPARE(nettoyerCle(brut), attendu);
    }

    void environnementPrioritaire()
    {
        qputenv("VD_URL_SUPABASE", "http://127.0.0.1:9999/");
        qputenv("VD_CLE_PUBLIQUE_SUPABASE", "cle-locale");
        ConfigCloud c = ConfigCloud::duProgramme();
        QVERIFY(c.active());
        QCOMPARE(c.supabaseUrl->toString(), QStringLiteral("http://127.0.0.1:9999"));
        QCOMPARE(c.anonKey, QStringLiteral("cle-locale"));
        qputenv("VD_URL_SUPABASE", "$(SUPABASE_URL)");
        c = ConfigCloud::duProgramme();
        QVERIFY(!c.active());
        qunsetenv("VD_URL_SUPABASE");
        qunsetenv("VD_CLE_PUBLIQUE_SUPABASE");
        // The build of the tests leaves the cache variables unset.
        QVERIFY(!ConfigCloud::duProgramme().active());
    }

    void verificateurPkce()
    {
        const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~");
        QSet<QString> vus;
        for (int i = 0; i < 50; ++i) {
            const QString v = nouveauVerificateur();
            QCOMPARE(v.size(), 64);
            for (QChar c : v)
                QVERIFY2(alphabet.contains(c), qPrintable(v));
            vus.insert(v);
        }
        QCOMPARE(vus.size(), 50);
    }

    void defiPkce_data()
    {
        QTest::addColumn<QString>("verificateur");
        QTest::addColumn<QString>("defi");
        // Reference pair of the PKCE standard's appendix.
        QTest::newRow("reference") << "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"
                                   << "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";
        QTest::newRow("vide") << "" << "47DEQpj8HBSa-_TImW-5JCeuQeRkm5NMpJWZG3hSuFU";
    }
    void defiPkce()
    {
        QFETCH(QString, verificateur);
        QFETCH(QString, defi);
        QCOMPARE(vd::cloud::defiPkce(verificateur), defi);
    }

    void sessionReponse()
    {
        const QDateTime maintenant(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC);
        QJsonObject o = QJsonDocument::fromJson(R"({"access_token":"a","refresh_token":"r","expires_in":3600,
            "user":{"id":"u1","email":"x@y.fr","email_confirmed_at":null,"app_metadata":{"provider":"google"},
            "user_metadata":{"nom":"Léa"}}})").object();
        auto s = sessionDepuisReponse(o, maintenant);
        QVERIFY(s);
        QCOMPARE(s->expireLe, maintenant.addSecs(3600));
        QCOMPARE(s->utilisateur.fournisseur, QStringLiteral("google"));
        QVERIFY(!s->utilisateur.emailConfirme);
        // expires_at wins over expires_in.
        o.insert(QStringLiteral("expires_at"), maintenant.addSecs(100).toSecsSinceEpoch());
        QCOMPARE(sessionDepuisReponse(o, maintenant)->expireLe, maintenant.addSecs(100));
        o.remove(QStringLiteral("refresh_token"));
        QVERIFY(!sessionDepuisReponse(o, maintenant));
    }

    void stockage()
    {
        vd::platform::CoffreMemoire coffre;
        StockageSession st(coffre);
        QVERIFY(!st.lireSession());
        // A damaged item counts as no session.
        coffre.ecrire(StockageSession::cleSession, QStringLiteral("{pas du json"));
        QVERIFY(!st.lireSession());
    }

    void auth_data()
    {
        QTest::addColumn<int>("statut");
        QTest::addColumn<QByteArray>("corps");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");
        const QString generique = messages::generique;
        QTest::newRow("identifiants") << 400 << QByteArray(R"({"code":400,"error_code":"invalid_credentials","msg":"Invalid login credentials"})")
                                      << "invalid_credentials" << "Email ou mot de passe incorrect.";
        QTest::newRow("grant") << 400 << QByteArray(R"({"error":"invalid_grant","error_code":"invalid_grant"})")
                               << "invalid_grant" << "Email ou mot de passe incorrect.";
        QTest::newRow("texte identifiants") << 400 << QByteArray(R"({"msg":"Invalid login credentials"})")
                                            << "invalid_credentials" << "Email ou mot de passe incorrect.";
        QTest::newRow("non confirme") << 400 << QByteArray(R"({"error_description":"Email not confirmed"})")
                                      << "email_not_confirmed" << "Confirmez d'abord votre email : ouvrez le lien reçu.";
        QTest::newRow("deja inscrit") << 422 << QByteArray(R"({"msg":"User already registered"})")
                                      << "user_already_exists" << "Un compte existe déjà avec cet email. Connectez-vous.";
        QTest::newRow("email existe") << 422 << QByteArray(R"({"code":"email_exists"})")
                                      << "email_exists" << "Un compte existe déjà avec cet email. Connectez-vous.";
        QTest::newRow("jeton introuvable") << 400 << QByteArray(R"({"message":"Invalid Refresh Token: Refresh Token Not Found"})")
                                           << "refresh_token_not_found" << "Votre session a expiré. Reconnectez-vous.";
        QTest::newRow("faible") << 422 << QByteArray(R"({"msg":"Password is too weak"})")
                                << "weak_password" << "Mot de passe trop faible : 8 caractères au moins.";
        QTest::newRow("limite") << 429 << QByteArray(R"({"msg":"Email rate limit exceeded"})")
                                << "over_email_send_rate_limit" << "Trop d'emails envoyés. Réessayez dans quelques minutes.";
        QTest::newRow("limite requetes") << 429 << QByteArray(R"({"error_code":"over_request_rate_limit"})")
                                         << "over_request_rate_limit" << "Trop d'emails envoyés. Réessayez dans quelques minutes.";
        QTest::newRow("fermees") << 422 << QByteArray(R"({"msg":"Signups not allowed for this instance"})")
                                 << "signup_disabled" << "Les inscriptions sont fermées pour le moment.";
        QTest::newRow("adresse") << 400 << QByteArray(R"({"error_code":"email_address_invalid"})")
                                 << "email_address_invalid" << "Adresse email invalide.";
        QTest::newRow("validation") << 422 << QByteArray(R"({"error_code":"validation_failed"})")
                                    << "validation_failed" << "Adresse email invalide.";
        QTest::newRow("flux expire") << 400 << QByteArray(R"({"error_code":"flow_state_expired"})")
                                     << "flow_state_expired" << "Ce lien a expiré ou a déjà servi. Demandez-en un nouveau.";
        QTest::newRow("verificateur") << 400 << QByteArray(R"({"error_code":"bad_code_verifier"})")
                                      << "bad_code_verifier" << "Email confirmé. Connectez-vous.";
        QTest::newRow("meme mot de passe") << 422 << QByteArray(R"({"error_code":"same_password"})")
                                           << "same_password" << "Choisissez un mot de passe différent de l'ancien.";
        QTest::newRow("inconnu") << 404 << QByteArray(R"({"error_code":"user_not_found"})")
                                 << "user_not_found" << "Aucun compte avec cet email.";
        QTest::newRow("jwt") << 401 << QByteArray(R"({"error_code":"bad_jwt"})")
                             << "bad_jwt" << "Votre session a expiré. Reconnectez-vous.";
        QTest::newRow("texte invalide") << 400 << QByteArray(R"({"msg":"Token is invalid"})")
                                        << "erreur_auth" << "La connexion a échoué. Réessayez dans un instant.";
        QTest::newRow("autre 4xx") << 403 << QByteArray(R"({"error_code":"quelque_chose"})")
                                   << "quelque_chose" << "La connexion a échoué. Réessayez dans un instant.";
        QTest::newRow("5xx") << 503 << QByteArray("<html>down</html>") << "erreur_auth" << generique;
        QTest::newRow("code numerique ignore") << 400 << QByteArray(R"({"code":400,"msg":"Email not confirmed"})")
                                               << "email_not_confirmed" << "Confirmez d'abord votre email : ouvrez le lien reçu.";
    }
    void auth() { verifier(erreurAuth, ErreurCloud::Genre::auth); }

    void base_data()
    {
        QTest::addColumn<int>("statut");
        QTest::addColumn<QByteArray>("corps");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("droits") << 403 << QByteArray(R"({"code":"42501","message":" Réservé aux responsables. "})")
                                << "42501" << "Réservé aux responsables.";
        QTest::newRow("levee") << 400 << QByteArray(R"({"code":"P0001","message":"Objectif invalide","hint":"objectif_invalide"})")
                               << "P0001" << "Objectif invalide";
        QTest::newRow("levee vide") << 400 << QByteArray(R"({"code":"P0001","message":""})") << "P0001" << messages::generique;
        QTest::newRow("parametre") << 400 << QByteArray(R"({"code":"22023","message":"Semaine inconnue"})")
                                   << "22023" << "Semaine inconnue";
        QTest::newRow("temps") << 500 << QByteArray(R"({"code":"57014","message":"canceling statement due to statement timeout"})")
                               << "57014" << "Le serveur a mis trop de temps à répondre. Nouvel essai en cours.";
        QTest::newRow("compte") << 400 << QByteArray(R"({"code":"P0002","message":""})")
                                << "P0002" << "Compte introuvable. Contactez Vendalo.";
        QTest::newRow("compte message") << 400 << QByteArray(R"({"code":"P0002","message":"Pas de profil"})")
                                        << "P0002" << "Pas de profil";
        QTest::newRow("code numerique") << 400 << QByteArray(R"({"code":42501,"message":"Interdit"})") << "42501" << "Interdit";
        QTest::newRow("autre code") << 409 << QByteArray(R"({"code":"23505","message":"duplicate key"})")
                                    << "23505" << messages::generique;
        QTest::newRow("sans code") << 502 << QByteArray("Bad gateway") << "http_502" << messages::generique;
    }
    void base() { verifier(erreurBase, ErreurCloud::Genre::base); }

    void fonction_data()
    {
        QTest::addColumn<int>("statut");
        QTest::addColumn<QByteArray>("corps");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");
        auto ligne = [](const char* nom, int statut, const char* corps, const char* code, const QString& message) {
            QTest::newRow(nom) << statut << QByteArray(corps) << QString::fromUtf8(code) << message;
        };
        ligne("non connecte", 401, R"({"error":"non_connecte"})", "non_connecte", QStringLiteral("Votre session a expiré. Reconnectez-vous."));
        ligne("sans organisation", 403, R"({"error":"sans_organisation"})", "sans_organisation",
              QStringLiteral("Votre compte n'est rattaché à aucune équipe. Demandez une invitation à votre responsable."));
        ligne("compte", 404, R"({"error":"compte_introuvable"})", "compte_introuvable", QStringLiteral("Compte introuvable. Contactez Vendalo."));
        ligne("invalide message", 400, R"({"error":"requete_invalide","message":"Le champ tache manque."})", "requete_invalide",
              QStringLiteral("Le champ tache manque."));
        ligne("invalide", 400, R"({"error":"requete_invalide"})", "requete_invalide", QStringLiteral("La demande a été refusée. Réessayez."));
        ligne("trop longue", 413, R"({"error":"requete_trop_longue"})", "requete_trop_longue",
              QStringLiteral("Cette demande est trop longue. Raccourcissez le texte ou l'extrait de l'appel."));
        ligne("cle refusee", 502, R"({"error":"cle_serveur_refusee"})", "cle_serveur_refusee",
              QStringLiteral("Quillo est indisponible pour le moment. Nous sommes prévenus."));
        ligne("modele", 503, R"({"error":"modele_indisponible"})", "modele_indisponible",
              QStringLiteral("Ce modèle n'est pas disponible pour le moment. Réessayez dans un instant."));
        ligne("api", 502, R"({"code":"api_error"})", "api_error", QStringLiteral("Quillo ne répond pas. Réessayez dans un instant."));
        ligne("interne", 500, R"({"error":"erreur_interne"})", "erreur_interne", messages::generique);
        ligne("methode", 405, R"({"error":"methode_interdite"})", "methode_interdite", messages::generique);
        ligne("requete modele", 400, R"({"error":"invalid_request_error"})", "invalid_request_error",
              QStringLiteral("La demande a été refusée. Réessayez, et prévenez Vendalo si cela continue."));
        ligne("sessions", 429, R"({"error":"trop_de_sessions"})", "trop_de_sessions",
              QStringLiteral("Trop de transcriptions en même temps. Terminez un appel avant d'en lancer un autre."));
        ligne("session", 404, R"({"error":"session_introuvable"})", "session_introuvable",
              QStringLiteral("La session de transcription est introuvable."));
        ligne("debit", 429, R"({"error":"rate_limit_error"})", "rate_limit_error",
              QStringLiteral("Quillo est très demandé. Nouvel essai dans quelques secondes."));
        ligne("inconnu 5xx", 500, R"({"error":"xyz"})", "xyz", messages::generique);
        ligne("inconnu 4xx", 422, R"({"error":"xyz"})", "xyz", QStringLiteral("La demande a été refusée. Réessayez."));
        ligne("illisible", 400, "pas du json", "http_400", QStringLiteral("La demande a été refusée. Réessayez."));
    }
    void fonction() { verifier(erreurFonction, ErreurCloud::Genre::fonction); }
};

QTEST_GUILESS_MAIN(TestConfigCloud)
#include "tst_configcloud.moc"
