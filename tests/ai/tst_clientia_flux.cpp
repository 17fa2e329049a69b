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
        Banc() { QVERIFY(relais.demarrer()); }
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
    // Lines read one by one: the text, the stop reason, whether it ended, the events counted and the last event name.
    void lignes()
    {
        auto cas = [](const char* nom, const QList<QByteArray>& lignes, const QString& resultat) {
            FluxSSE f;
            for (const QByteArray& l : lignes)
                f.ligne(l);
            QCOMPARE(QStringList({nom, f.texte, f.stopReason.value_or(QString()), f.termine ? "fin" : "", QString::number(f.evenements), f.evenement,
                                  f.erreur ? "erreur" : ""}).join(" | "),
                     nom + (" | " + resultat + " | "));
        };
        cas("texte et fin", {
            "event: message_start", donnees("{\"type\":\"message_start\",\"message\":{\"model\":\"m\"}}"),
            "event: content_block_delta",
            donnees("{\"type\":\"content_block_delta\",\"delta\":{\"type\":\"text_delta\",\"text\":\"Bon\"}}"),
            donnees("{\"type\":\"content_block_delta\",\"delta\":{\"type\":\"text_delta\",\"text\":\"jour\"}}"),
            donnees("{\"type\":\"message_delta\",\"delta\":{\"stop_reason\":\"end_turn\"}}"),
            "event: message_stop", donnees("{\"type\":\"message_stop\"}")},
            "Bonjour | end_turn | fin | 5 | message_stop");
        cas("retour chariot, commentaire, vide", {
            ": keep-alive", "", "event:  ping \r", "data:{\"type\":\"ping\"}\r",
            donnees("{\"type\":\"content_block_delta\",\"delta\":{\"type\":\"text_delta\",\"text\":\"é\"}}") + "\r"},
            "é |  |  | 2 | ping");
        cas("donnees illisibles ignorees", {
            "data: {pas du json", "data: [1,2]", donnees("{\"type\":\"message_stop\"}")},
            " |  | fin | 1 | ");
        cas("autre delta ignore", {
            donnees("{\"type\":\"content_block_delta\",\"delta\":{\"type\":\"input_json_delta\",\"partial_json\":\"{\"}}"),
            donnees("{\"type\":\"message_delta\",\"delta\":{}}")},
            " |  |  | 2 | ");
    }

    // The quick reading of text deltas gives what a full JSON parse gives.
    void deltasCommeUnVraiParseur()
    {
        const QByteArray t = "{\"type\":\"content_block_delta\",\"index\":0,\"delta\":{\"type\":\"text_delta\",\"text\":";
        for (const QByteArray& donnees : {t + "\"Bonjour\"}}", t + "\"a\\\"b\\\\c\\n\\t\\/\\u00e9\\u20ac\"}}", t + "\"\\ud83d\\ude80\"}}", t + "\"Été 🚀\"}}",
                                          t + "\"\"}}", QByteArray(t).replace("\"index\":0", "\"index\":12") + "\"x\"}}",
                                          QByteArray("{\"delta\":{\"text\":\"y\",\"type\":\"text_delta\"},\"type\":\"content_block_delta\"}"),   // another order
                                          t + "\"z\",\"extra\":1}}", t + "\"\\q\"}}", t + "\"abc"}) {   // an extra key, a bad escape, cut
            FluxSSE f;
            const QString ajout = f.ligne("data: " + donnees);
            const QJsonDocument doc = QJsonDocument::fromJson(donnees);
            const QString attendu = doc.object().value("delta").toObject().value("text").toString();
            QCOMPARE(donnees + " → " + ajout.toUtf8() + " " + f.texte.toUtf8() + " " + QByteArray::number(f.evenements),
                     donnees + " → " + attendu.toUtf8() + " " + attendu.toUtf8() + " " + QByteArray::number(doc.isObject() ? 1 : 0));
        }
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

    void statutsDesErreursDeFlux()
    {
        QList<int> statuts;
        for (const char* type : {"overloaded_error", "rate_limit_error", "api_error", "request_too_large", "not_found_error",
                                 "permission_error", "authentication_error", "invalid_request_error"})
            statuts << statutPourErreurFlux(QString::fromLatin1(type));
        QCOMPARE(statuts, (QList<int>{529, 429, 500, 413, 404, 403, 401, 400}));
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

    // The message of an HTTP failure: the status, the server's text, then the message on
    // the own-key route and on the relay and account routes.
    void tableDesStatuts()
    {
        auto cas = [](int statut, const char* serveur, const QString& cle, const QString& autre) {
            const ErreurHTTP e{statut, QString::fromUtf8(serveur), std::nullopt, false};
            QCOMPARE(QStringList({QString::number(statut), messagePourErreurHTTP(e, SourceIA::cle), messagePourErreurHTTP(e, SourceIA::relais),
                                  messagePourErreurHTTP(e, SourceIA::cloud)}),
                     QStringList({QString::number(statut), cle, autre, autre}));
        };
        const QString trop = QStringLiteral("Trop de demandes en même temps. Réessayez dans une minute.");
        const QString demande = QStringLiteral("Quillo est très demandé. Réessayez dans un instant.");
        const QString echoue = QStringLiteral("La demande a échoué. Réessayez dans un instant.");
        cas(401, "invalid x-api-key", "Votre clé est refusée. Vérifiez-la dans Réglages.", "La clé du serveur est refusée.");
        cas(403, "", "Cette clé n'a pas accès à ce modèle. Choisissez-en un autre dans Réglages.", "Le serveur refuse cette demande.");
        cas(404, "", "Ce modèle est introuvable. Choisissez-en un autre dans Réglages.",
            "Le relais ne répond pas ici. Ajoutez votre clé dans Réglages pour travailler en local.");
        const QString pasDispo = QStringLiteral(
            "Quillo n'est pas encore disponible sur le serveur. Ajoutez votre clé dans Réglages, ou réessayez plus tard.");
        cas(412, "", pasDispo, pasDispo);
        cas(413, "", "La demande est trop longue. Raccourcissez-la et réessayez.", "La demande est trop longue. Raccourcissez-la et réessayez.");
        cas(429, "rate limit exceeded", trop, trop);
        cas(529, "Overloaded", demande, demande);
        for (int statut : {500, 503, 599})
            cas(statut, "", demande, demande);
        // The vendor's names are never shown; a blank text is no message.
        cas(418, "Claude is a teapot", echoue, echoue);
        cas(400, "model Sonnet 4 unavailable", echoue, echoue);
        cas(400, "   ", echoue, echoue);
        cas(400, "  Paramètre manquant.  ", "Paramètre manquant.", "Paramètre manquant.");
    }

    void workspaceEtCorpsDErreur()
    {
        const QList<std::pair<QString, bool>> cas{{"This API key is not scoped to a workspace", true},
                                                  {"Workspace required: set the anthropic-workspace-id header", true},
                                                  {"WORKSPACE missing, ANTHROPIC-WORKSPACE-ID needed", true},
                                                  {"workspace archived", false}, {"invalid x-api-key", false}};
        for (const auto& [serveur, workspace] : cas) {
            const QString m = messagePourErreurHTTP({401, serveur, std::nullopt, false}, SourceIA::cle);
            QCOMPARE(std::pair(serveur, m == messages::workspace), std::pair(serveur, workspace));
            // Only on the own-key route.
            QCOMPARE(messagePourErreurHTTP({401, serveur, std::nullopt, false}, SourceIA::relais), QStringLiteral("La clé du serveur est refusée."));
        }
        QCOMPARE((QStringList{messageDuCorps("{\"error\":{\"message\":\"a\"},\"message\":\"b\"}"), messageDuCorps("{\"message\":\"b\",\"erreur\":\"c\"}"),
                              messageDuCorps("{\"erreur\":\"c\"}"), messageDuCorps("Bad Gateway")}),
                 (QStringList{"a", "b", "c", "Bad Gateway"}));   // the message read from an error body
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
    void sourceChoisie()
    {
        // The account signed in, the engine, the key stored ("name=value"), a relay, and whether the relay offers the engine.
        auto cas = [this](const char* nom, bool connecte, const QString& moteur, const QString& cle, bool relais, bool surRelais, SourceIA attendu) {
            Banc b;
            b.connecte = connecte;
            if (!cle.isEmpty())
                QVERIFY(b.coffre.ecrire(cle.section('=', 0, 0), cle.section('=', 1)).isEmpty());
            b.adresse = relais ? b.relais.url().toString() + "/api/" : QString();
            const bool claude = moteur == QLatin1String("claude");
            b.relais.etatRelais = {{"claude", !claude || surRelais}, {"deepgram", claude || surRelais}};
            const ContexteRoutes r = b.routes();
            const MoteurTranscription m = moteur == QLatin1String("soniox") ? MoteurTranscription::soniox : MoteurTranscription::deepgram;
            const SourceIA s = attendre([&](QObject* c, auto f) {
                if (claude)
                    choisirSourceIA(r, c, f);
                else
                    choisirSourceTranscription(r, m, c, f);
            });
            QCOMPARE(std::pair(QString::fromUtf8(nom), int(s)), std::pair(QString::fromUtf8(nom), int(attendu)));
        };
        cas("compte d'abord", true, "claude", "anthropic=sk-1", true, true, SourceIA::cloud);
        cas("cle ensuite", false, "claude", "anthropic=sk-1", true, true, SourceIA::cle);
        cas("cle blanche ignoree", false, "claude", "anthropic=  ", true, true, SourceIA::relais);
        cas("relais sans claude", false, "claude", "", true, false, SourceIA::demo);
        cas("rien", false, "claude", "", false, false, SourceIA::demo);
        cas("transcription compte", true, "soniox", "", true, true, SourceIA::cloud);
        cas("soniox cle", false, "soniox", "soniox=k", true, false, SourceIA::cle);
        cas("soniox pas de relais", false, "soniox", "deepgram=k", true, true, SourceIA::demo);
        cas("deepgram cle", false, "deepgram", "deepgram=k", true, false, SourceIA::cle);
        cas("deepgram relais", false, "deepgram", "soniox=k", true, true, SourceIA::relais);
        cas("deepgram rien", false, "deepgram", "", true, false, SourceIA::demo);
    }
};

QTEST_GUILESS_MAIN(TestClientIAFlux)
#include "tst_clientia_flux.moc"
