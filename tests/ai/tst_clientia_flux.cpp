// Event-stream reading, partial publication, the failure messages of the
// language-model client, and the choice of routes with the relay check (local relay, fake clock).
#include "ai/diffuseurpartiel.h"
#include "ai/erreursclaude.h"
#include "ai/fluxsse.h"
#include "ai/routes.h"
#include "fakes/fauxmessages.h"
#include "platform/horloge.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTest>

using namespace vd;
using namespace vd::ai;

Q_DECLARE_METATYPE(vd::ai::SourceIA)

namespace {
QByteArray donnees(const char* json) { return QByteArray("data: ") + json; }

FluxSSE lireTout(const QByteArray& octets, const QList<int>& coupures)
{
    FluxSSE f;
    DecoupeurLignes d;
    int debut = 0;
    QList<int> c = coupures;
    c.append(int(octets.size()));
    for (int fin : c) {
        d.ajouter(QByteArrayView(octets).sliced(debut, fin - debut), [&](QByteArrayView l) { f.ligne(l); });
        debut = fin;
    }
    return f;
}
} // namespace

class TestClientIAFlux : public QObject {
    Q_OBJECT
    struct Banc {
        platform::HorlogeFactice horloge;
        platform::CoffreMemoire coffre;
        fakes::FauxMessages relais;
        QNetworkAccessManager reseau;
        VerificateurRelais verificateur{&reseau, horloge};
        bool connecte = false;
        QString adresse;
        ContexteRoutes routes()
        {
            return {[this] { return connecte; }, [this] { return adresse; }, &coffre, &verificateur};
        }
    };

    static SourceIA attendre(const std::function<void(QObject*, std::function<void(SourceIA)>)>& choisir)
    {
        QObject contexte;
        std::optional<SourceIA> s;
        choisir(&contexte, [&](SourceIA r) { s = r; });
        [&] { QTRY_VERIFY(s.has_value()); }();
        return s.value_or(SourceIA::demo);
    }

private Q_SLOTS:
    void lignes_data()
    {
        QTest::addColumn<QList<QByteArray>>("lignes");
        QTest::addColumn<QString>("texte");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<bool>("termine");
        QTest::addColumn<int>("evenements");
        QTest::addColumn<QString>("evenement");

        QTest::newRow("texte et fin") << QList<QByteArray>{
            "event: message_start", donnees("{\"type\":\"message_start\",\"message\":{\"model\":\"m\"}}"),
            "event: content_block_delta",
            donnees("{\"type\":\"content_block_delta\",\"delta\":{\"type\":\"text_delta\",\"text\":\"Bon\"}}"),
            donnees("{\"type\":\"content_block_delta\",\"delta\":{\"type\":\"text_delta\",\"text\":\"jour\"}}"),
            donnees("{\"type\":\"message_delta\",\"delta\":{\"stop_reason\":\"end_turn\"}}"),
            "event: message_stop", donnees("{\"type\":\"message_stop\"}")}
            << "Bonjour" << "end_turn" << true << 5 << "message_stop";
        QTest::newRow("retour chariot, commentaire, vide") << QList<QByteArray>{
            ": keep-alive", "", "event:  ping \r", "data:{\"type\":\"ping\"}\r",
            donnees("{\"type\":\"content_block_delta\",\"delta\":{\"type\":\"text_delta\",\"text\":\"é\"}}") + "\r"}
            << "é" << "" << false << 2 << "ping";
        QTest::newRow("donnees illisibles ignorees") << QList<QByteArray>{
            "data: {pas du json", "data: [1,2]", donnees("{\"type\":\"message_stop\"}")}
            << "" << "" << true << 1 << "";
        QTest::newRow("autre delta ignore") << QList<QByteArray>{
            donnees("{\"type\":\"content_block_delta\",\"delta\":{\"type\":\"input_json_delta\",\"partial_json\":\"{\"}}"),
            donnees("{\"type\":\"message_delta\",\"delta\":{}}")}
            << "" << "" << false << 2 << "";
    }
    void lignes()
    {
        QFETCH(QList<QByteArray>, lignes);
        FluxSSE f;
        for (const QByteArray& l : lignes)
            f.ligne(l);
        QFETCH(QString, texte);
        QFETCH(QString, stop);
        QCOMPARE(f.texte, texte);
        QCOMPARE(f.stopReason.value_or(QString()), stop);
        QTEST(f.termine, "termine");
        QTEST(f.evenements, "evenements");
        QTEST(f.evenement, "evenement");
        QVERIFY(!f.erreur);
    }

    // The quick reading of text deltas gives what a full JSON parse gives.
    void deltasCommeUnVraiParseur_data()
    {
        QTest::addColumn<QByteArray>("donnees");
        const QByteArray t = "{\"type\":\"content_block_delta\",\"index\":0,\"delta\":{\"type\":\"text_delta\",\"text\":";
        QTest::newRow("simple") << t + "\"Bonjour\"}}";
        QTest::newRow("echappements") << t + "\"a\\\"b\\\\c\\n\\t\\/\\u00e9\\u20ac\"}}";
        QTest::newRow("paire echappee") << t + "\"\\ud83d\\ude80\"}}";
        QTest::newRow("utf8 brut") << t + "\"Été 🚀\"}}";
        QTest::newRow("vide") << t + "\"\"}}";
        QTest::newRow("index 12") << QByteArray(t).replace("\"index\":0", "\"index\":12") + "\"x\"}}";
        QTest::newRow("autre ordre") << QByteArray("{\"delta\":{\"text\":\"y\",\"type\":\"text_delta\"},\"type\":\"content_block_delta\"}");
        QTest::newRow("cle en plus") << t + "\"z\",\"extra\":1}}";
        QTest::newRow("echappement invalide") << t + "\"\\q\"}}";
        QTest::newRow("coupe") << t + "\"abc";
    }
    void deltasCommeUnVraiParseur()
    {
        QFETCH(QByteArray, donnees);
        FluxSSE f;
        const QString ajout = f.ligne("data: " + donnees);
        const QJsonDocument doc = QJsonDocument::fromJson(donnees);
        const QString attendu = doc.object().value("delta").toObject().value("text").toString();
        QCOMPARE(ajout, attendu);
        QCOMPARE(f.texte, attendu);
        QCOMPARE(f.evenements, doc.isObject() ? 1 : 0);
    }

    void erreurDansLeFlux()
    {
        FluxSSE f;
        f.ligne("event: error");
        f.ligne(donnees("{\"type\":\"error\",\"error\":{\"type\":\"overloaded_error\",\"message\":\"Overloaded\"}}"));
        QCOMPARE(f.erreur, (ErreurFluxSSE{QStringLiteral("overloaded_error"), QStringLiteral("Overloaded")}));
        FluxSSE g;
        g.ligne(donnees("{\"type\":\"error\"}"));
        QCOMPARE(g.erreur, (ErreurFluxSSE{QStringLiteral("api_error"), QString()}));
    }

    void statutsDesErreursDeFlux_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("statut");
        QTest::newRow("overloaded") << "overloaded_error" << 529;
        QTest::newRow("rate") << "rate_limit_error" << 429;
        QTest::newRow("api") << "api_error" << 500;
        QTest::newRow("too large") << "request_too_large" << 413;
        QTest::newRow("not found") << "not_found_error" << 404;
        QTest::newRow("permission") << "permission_error" << 403;
        QTest::newRow("auth") << "authentication_error" << 401;
        QTest::newRow("autre") << "invalid_request_error" << 400;
    }
    void statutsDesErreursDeFlux()
    {
        QFETCH(QString, type);
        QTEST(statutPourErreurFlux(type), "statut");
    }

    // Every possible cut of the stream in two or three reads gives the same result,
    // including cuts inside a line and inside a multi-byte character.
    void coupuresPartout()
    {
        const QByteArray flux =
            "event: content_block_delta\n" +
            donnees("{\"type\":\"content_block_delta\",\"delta\":{\"type\":\"text_delta\",\"text\":\"Été – ça\"}}") + "\n\n" +
            donnees("{\"type\":\"content_block_delta\",\"delta\":{\"type\":\"text_delta\",\"text\":\" 🚀 marche\"}}") + "\r\n\r\n" +
            donnees("{\"type\":\"message_stop\"}") + "\n";
        for (int i = 0; i <= flux.size(); ++i) {
            const FluxSSE f = lireTout(flux, {i});
            QCOMPARE(f.texte, QStringLiteral("Été – ça 🚀 marche"));
            QVERIFY(f.termine);
            const int j = (i + 7) % int(flux.size() + 1);
            const FluxSSE g = lireTout(flux, {std::min(i, j), std::max(i, j)});
            QCOMPARE(g.texte, QStringLiteral("Été – ça 🚀 marche"));
        }
    }

    void ligneInacheveeGardee()
    {
        DecoupeurLignes d;
        QList<QByteArray> vues;
        d.ajouter("abc\nde", [&](QByteArrayView l) { vues << l.toByteArray(); });
        QCOMPARE(vues, (QList<QByteArray>{"abc"}));
        QCOMPARE(d.enAttente(), 2);
        d.ajouter("f\n\n", [&](QByteArrayView l) { vues << l.toByteArray(); });
        QCOMPARE(vues, (QList<QByteArray>{"abc", "def", ""}));
        QCOMPARE(d.enAttente(), 0);
    }

    // Fragments every 10 ms: at most one publication per 80 ms, no repeated value,
    // and the end publishes what the throttle held back.
    void diffuseurLimiteLeRythme()
    {
        platform::HorlogeFactice h;
        QList<QPair<qint64, QJsonValue>> publies;
        DiffuseurPartiel d(h, [&](const QJsonValue& v) { publies.append({h.monotoneMs(), v}); });
        const QString texte = QStringLiteral("{\"reponse\":\"Je comprends votre hésitation sur le prix\",\"ton\":\"calme\"}");
        for (int i = 0; i < texte.size(); ++i) {
            d.ajouter(texte.mid(i, 1));
            h.avancer(10);
        }
        d.terminer();
        QVERIFY(publies.size() >= 5);
        for (int i = 1; i < publies.size(); ++i) {
            QVERIFY2(publies[i].first - publies[i - 1].first >= 80 || i == publies.size() - 1,
                     qPrintable(QStringLiteral("publication %1 trop tôt").arg(i)));
            QVERIFY(publies[i].second != publies[i - 1].second);
        }
        QCOMPARE(publies.last().second.toObject().value("ton").toString(), QStringLiteral("calme"));
        const int n = int(publies.size());
        d.ajouter(QStringLiteral("x"));
        h.avancer(200);
        QCOMPARE(publies.size(), n);   // closed
    }

    void diffuseurPublieApresLePas()
    {
        platform::HorlogeFactice h;
        QList<QJsonValue> publies;
        DiffuseurPartiel d(h, [&](const QJsonValue& v) { publies.append(v); });
        d.ajouter(QStringLiteral("{\"a\":\"x"));
        QCOMPARE(publies.size(), 1);
        h.avancer(20);
        d.ajouter(QStringLiteral("y"));
        QCOMPARE(publies.size(), 1);
        h.avancer(59);
        QCOMPARE(publies.size(), 1);
        h.avancer(1);
        QCOMPARE(publies.size(), 2);
        QCOMPARE(publies.last().toObject().value("a").toString(), QStringLiteral("xy"));
        // Same value again: nothing published.
        h.avancer(100);
        d.ajouter(QStringLiteral(" "));
        QCOMPARE(publies.size(), 2);
    }

    void diffuseurRecommenceDeZero()
    {
        platform::HorlogeFactice h;
        QList<QJsonValue> publies;
        DiffuseurPartiel d(h, [&](const QJsonValue& v) { publies.append(v); });
        d.ajouter(QStringLiteral("{\"r\":\"Premier"));
        h.avancer(20);
        d.ajouter(QStringLiteral(" essai"));   // held back
        d.recommencer();
        h.avancer(100);
        QCOMPARE(publies.size(), 1);           // the held-back value of the old attempt is dropped
        d.ajouter(QStringLiteral("{\"r\":\"Second\"}"));
        d.terminer();
        QCOMPARE(publies.last().toObject().value("r").toString(), QStringLiteral("Second"));
        QCOMPARE(d.texte(), QStringLiteral("{\"r\":\"Second\"}"));
    }

    void tableDesStatuts_data()
    {
        QTest::addColumn<int>("statut");
        QTest::addColumn<QString>("serveur");
        QTest::addColumn<QString>("cle");
        QTest::addColumn<QString>("autre");
        const QString trop = QStringLiteral("Trop de demandes en même temps. Réessayez dans une minute.");
        const QString demande = QStringLiteral("Quillo est très demandé. Réessayez dans un instant.");
        const QString echoue = QStringLiteral("La demande a échoué. Réessayez dans un instant.");
        QTest::newRow("401") << 401 << "invalid x-api-key" << "Votre clé est refusée. Vérifiez-la dans Réglages."
                             << "La clé du serveur est refusée.";
        QTest::newRow("403") << 403 << "" << "Cette clé n'a pas accès à ce modèle. Choisissez-en un autre dans Réglages."
                             << "Le serveur refuse cette demande.";
        QTest::newRow("404") << 404 << "" << "Ce modèle est introuvable. Choisissez-en un autre dans Réglages."
                             << "Le relais ne répond pas ici. Ajoutez votre clé dans Réglages pour travailler en local.";
        const QString pasDispo = QStringLiteral(
            "Quillo n'est pas encore disponible sur le serveur. Ajoutez votre clé dans Réglages, ou réessayez plus tard.");
        QTest::newRow("412") << 412 << "" << pasDispo << pasDispo;
        const QString long_ = QStringLiteral("La demande est trop longue. Raccourcissez-la et réessayez.");
        QTest::newRow("413") << 413 << "" << long_ << long_;
        QTest::newRow("429 anglais") << 429 << "rate limit exceeded" << trop << trop;
        QTest::newRow("529") << 529 << "Overloaded" << demande << demande;
        QTest::newRow("500") << 500 << "" << demande << demande;
        QTest::newRow("503") << 503 << "" << demande << demande;
        QTest::newRow("599") << 599 << "" << demande << demande;
        QTest::newRow("418 Claude") << 418 << "Claude is a teapot" << echoue << echoue;
        QTest::newRow("400 Sonnet") << 400 << "model Sonnet 4 unavailable" << echoue << echoue;
        QTest::newRow("400 vide") << 400 << "   " << echoue << echoue;
        QTest::newRow("400 message") << 400 << "  Paramètre manquant.  " << "Paramètre manquant." << "Paramètre manquant.";
    }
    void tableDesStatuts()
    {
        QFETCH(int, statut);
        QFETCH(QString, serveur);
        QTEST(messagePourErreurHTTP({statut, serveur, std::nullopt, false}, SourceIA::cle), "cle");
        QTEST(messagePourErreurHTTP({statut, serveur, std::nullopt, false}, SourceIA::relais), "autre");
        QTEST(messagePourErreurHTTP({statut, serveur, std::nullopt, false}, SourceIA::cloud), "autre");
    }

    void workspace_data()
    {
        QTest::addColumn<QString>("serveur");
        QTest::addColumn<bool>("workspace");
        QTest::newRow("not scoped") << "This API key is not scoped to a workspace" << true;
        QTest::newRow("en-tete") << "Workspace required: set the anthropic-workspace-id header" << true;
        QTest::newRow("majuscules") << "WORKSPACE missing, ANTHROPIC-WORKSPACE-ID needed" << true;
        QTest::newRow("workspace seul") << "workspace archived" << false;
        QTest::newRow("autre") << "invalid x-api-key" << false;
    }
    void workspace()
    {
        QFETCH(QString, serveur);
        QFETCH(bool, workspace);
        const QString m = messagePourErreurHTTP({401, serveur, std::nullopt, false}, SourceIA::cle);
        QCOMPARE(m == messages::workspace, workspace);
        // Only on the own-key route.
        QCOMPARE(messagePourErreurHTTP({401, serveur, std::nullopt, false}, SourceIA::relais),
                 QStringLiteral("La clé du serveur est refusée."));
    }

    void corpsDErreur_data()
    {
        QTest::addColumn<QByteArray>("corps");
        QTest::addColumn<QString>("message");
        QTest::newRow("error.message") << QByteArray("{\"error\":{\"message\":\"a\"},\"message\":\"b\"}") << "a";
        QTest::newRow("message") << QByteArray("{\"message\":\"b\",\"erreur\":\"c\"}") << "b";
        QTest::newRow("erreur") << QByteArray("{\"erreur\":\"c\"}") << "c";
        QTest::newRow("brut") << QByteArray("Bad Gateway") << "Bad Gateway";
    }
    void corpsDErreur()
    {
        QFETCH(QByteArray, corps);
        QTEST(messageDuCorps(corps), "message");
    }

    void delaisDeReessai()
    {
        QCOMPARE((QList<int>{delaiReessaiMs(0, std::nullopt, true), delaiReessaiMs(1, std::nullopt, true), delaiReessaiMs(0, 30.0, true),
                             delaiReessaiMs(0, 2.5, true), delaiReessaiMs(1, std::nullopt, false)}),
                 (QList<int>{600, 1200, 10000, 2500, 1200}));
        QCOMPARE(lireRetryAfter(" 30 "), std::optional<double>(30));
        QVERIFY(!lireRetryAfter("Wed, 21 Oct 2015 07:28:00 GMT"));
        QCOMPARE(retryAfterDuCorps("{\"retry_after\":0.5}"), std::optional<double>(0.5));
        QVERIFY(!retryAfterDuCorps("{\"retry_after\":0.1}"));
        for (int s : {408, 409, 429, 500, 502, 503, 504, 529})
            QVERIFY(statutReessayable(s));
        for (int s : {400, 401, 403, 404, 412, 413, 418, 501})
            QVERIFY(!statutReessayable(s));
    }

    // Route choice of the language model and of transcription, the relay
    // address and the relay state check (local relay, fake clock).
    void adresseDuRelais_data()
    {
        QTest::addColumn<QString>("saisie");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("sans schema, /api/") << "  relais.exemple.fr/api/ " << "https://relais.exemple.fr";
        QTest::newRow("http garde") << "http://10.0.0.2:8080/" << "http://10.0.0.2:8080";
        QTest::newRow("HTTPS majuscules") << "HTTPS://Relais.Exemple.fr//" << "HTTPS://Relais.Exemple.fr";
        QTest::newRow("sous-chemin") << "https://h.fr/equipe/api" << "https://h.fr/equipe";
        QTest::newRow("api au milieu garde") << "https://h.fr/api/v2" << "https://h.fr/api/v2";
        QTest::newRow("vide") << "   " << "";
        QTest::newRow("sans hote") << "https:///api" << "";
    }
    void adresseDuRelais()
    {
        QFETCH(QString, saisie);
        QFETCH(QString, attendu);
        const std::optional<QUrl> u = normaliserRelais(saisie);
        if (attendu.isEmpty()) {
            QVERIFY(!u);
            return;
        }
        QVERIFY(u);
        QCOMPARE(u->toString(), QUrl(attendu).toString());
        QCOMPARE(urlRelais(*u, QStringLiteral("api/etat")).toString(), QUrl(attendu).toString() + "/api/etat");
    }

    void etatDuRelaisEnCacheEtPartage()
    {
        Banc b;
        QVERIFY(b.relais.demarrer());
        b.relais.etatRelais = {{"claude", true}, {"deepgram", true}};
        const QUrl u = b.relais.url();
        QObject ctx;
        QList<EtatRelais> recus;
        b.verificateur.verifier(u, &ctx, [&](EtatRelais e) { recus << e; });
        b.verificateur.verifier(u, &ctx, [&](EtatRelais e) { recus << e; });
        QTRY_COMPARE(recus.size(), 2);
        QCOMPARE(b.verificateur.requetesEnvoyees(), 1);   // one request for both
        QCOMPARE(b.relais.nombre("/api/etat"), 1);
        QCOMPARE(recus[0], (EtatRelais{true, true}));
        b.relais.etatRelais = {{"claude", false}};
        b.horloge.avancer(29999);
        b.verificateur.verifier(u, &ctx, [&](EtatRelais e) { recus << e; });
        QTRY_COMPARE(recus.size(), 3);
        QCOMPARE(recus[2], (EtatRelais{true, true}));     // still cached
        QCOMPARE(b.verificateur.requetesEnvoyees(), 1);
        b.horloge.avancer(1);
        b.verificateur.verifier(u, &ctx, [&](EtatRelais e) { recus << e; });
        QTRY_COMPARE(recus.size(), 4);
        QCOMPARE(b.verificateur.requetesEnvoyees(), 2);
        QCOMPARE(recus[3], (EtatRelais{false, false}));   // missing means false
    }

    // A failed or silent check (3 s) means the relay offers nothing.
    void etatDuRelaisEnEchec_data()
    {
        QTest::addColumn<int>("statut");
        QTest::addColumn<QByteArray>("corps");
        QTest::newRow("500") << 500 << QByteArray("{\"claude\":true}");
        QTest::newRow("pas un objet") << 200 << QByteArray("[true]");
        QTest::newRow("illisible") << 200 << QByteArray("<html>");
        QTest::newRow("pas un booleen") << 200 << QByteArray("{\"claude\":\"oui\"}");
        QTest::newRow("muet") << 0 << QByteArray();
    }
    void etatDuRelaisEnEchec()
    {
        QFETCH(int, statut);
        QFETCH(QByteArray, corps);
        Banc b;
        QVERIFY(b.relais.demarrer());
        b.relais.statutEtat = statut;
        b.relais.corpsEtatBrut = corps;
        b.relais.etatMuet = statut == 0;
        QObject ctx;
        std::optional<EtatRelais> e;
        b.verificateur.verifier(b.relais.url(), &ctx, [&](EtatRelais r) { e = r; });
        if (statut == 0) {
            QTRY_COMPARE(b.relais.nombre("/api/etat"), 1);
            b.horloge.avancer(2999);
            QVERIFY(!e);
            b.horloge.avancer(1);
        }
        QTRY_VERIFY(e);
        QCOMPARE(*e, (EtatRelais{false, false}));
    }

    // The route of a request: the account first, then a key of the engine, then
    // the relay when it offers the service, else the demonstration.
    void sourceChoisie_data()
    {
        QTest::addColumn<bool>("connecte");
        QTest::addColumn<QString>("moteur");
        QTest::addColumn<QString>("cle");       // "name=value" of the key stored, if any
        QTest::addColumn<bool>("relais");
        QTest::addColumn<bool>("surRelais");   // the relay offers the engine
        QTest::addColumn<SourceIA>("attendu");
        QTest::newRow("compte d'abord") << true << "claude" << "anthropic=sk-1" << true << true << SourceIA::cloud;
        QTest::newRow("cle ensuite") << false << "claude" << "anthropic=sk-1" << true << true << SourceIA::cle;
        QTest::newRow("cle blanche ignoree") << false << "claude" << "anthropic=  " << true << true << SourceIA::relais;
        QTest::newRow("relais sans claude") << false << "claude" << "" << true << false << SourceIA::demo;
        QTest::newRow("rien") << false << "claude" << "" << false << false << SourceIA::demo;
        QTest::newRow("transcription compte") << true << "soniox" << "" << true << true << SourceIA::cloud;
        QTest::newRow("soniox cle") << false << "soniox" << "soniox=k" << true << false << SourceIA::cle;
        QTest::newRow("soniox pas de relais") << false << "soniox" << "deepgram=k" << true << true << SourceIA::demo;
        QTest::newRow("deepgram cle") << false << "deepgram" << "deepgram=k" << true << false << SourceIA::cle;
        QTest::newRow("deepgram relais") << false << "deepgram" << "soniox=k" << true << true << SourceIA::relais;
        QTest::newRow("deepgram rien") << false << "deepgram" << "" << true << false << SourceIA::demo;
    }
    void sourceChoisie()
    {
        QFETCH(bool, connecte);
        QFETCH(QString, moteur);
        QFETCH(QString, cle);
        QFETCH(bool, relais);
        QFETCH(bool, surRelais);
        Banc b;
        QVERIFY(b.relais.demarrer());
        b.connecte = connecte;
        if (!cle.isEmpty())
            QVERIFY(b.coffre.ecrire(cle.section('=', 0, 0), cle.section('=', 1)).isEmpty());
        b.adresse = relais ? b.relais.url().toString() + "/api/" : QString();
        const bool claude = moteur == QLatin1String("claude");
        b.relais.etatRelais = {{"claude", !claude || surRelais}, {"deepgram", claude || surRelais}};
        const ContexteRoutes r = b.routes();
        const MoteurTranscription m = moteur == QLatin1String("soniox") ? MoteurTranscription::soniox : MoteurTranscription::deepgram;
        QTEST(attendre([&](QObject* c, auto f) {
                  if (claude)
                      choisirSourceIA(r, c, f);
                  else
                      choisirSourceTranscription(r, m, c, f);
              }),
              "attendu");
    }
};

QTEST_GUILESS_MAIN(TestClientIAFlux)
#include "tst_clientia_flux.moc"
