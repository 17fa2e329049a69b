// The language-model client against local servers: exact requests of each
// route, streamed answers, retries, resends, end-of-read checks, messages.
#include "clientia_banc.h"
#include "moteur_commun.h"

#include <QJsonDocument>

using namespace vd;
using namespace vd::ai;
using namespace vd::tests;
using fakes::ReponseFaux;

Q_DECLARE_METATYPE(vd::fakes::ReponseFaux)

class TestClientIA : public QObject {
    Q_OBJECT

    static QJsonObject corpsAttendu(BancClient& b, const RequeteIA& r)
    {
        auto req = b.moteur.appelerJSON(QStringLiteral("requete"), {r.tache, r.payload, r.modele});
        if (!req)
            return {};
        QJsonObject c = req.valeur().toObject().value("corps").toObject();
        c.insert("stream", true);
        return c;
    }

    // On the key route, answers that start and then stay open (the test writes
    // the rest) and a request with these watchdog limits.
    static DemandeClaude* envoyerOuvert(BancClient& b, const LimitesFlux& limites, int reponses = 1)
    {
        b.avecCle();
        for (int i = 0; i < reponses; ++i) {
            ReponseFaux r;
            r.fermer = false;
            r.morceau(fakes::debutMessage());
            b.serveur.ajouter(r);
        }
        RequeteIA req = requete(QStringLiteral("objection"));
        req.limites = limites;
        return b.envoyer(req);
    }

    // A local address nobody listens on.
    static QUrl adresseFermee()
    {
        QTcpServer libre;
        if (!libre.listen(QHostAddress::LocalHost, 0))
            return {};
        return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(libre.serverPort()));
    }

private Q_SLOTS:
    void initTestCase() { qputenv("VD_URL_ANTHROPIC", "http://127.0.0.1:9"); }

    void cleRequeteExacteEtReponse()
    {
        BancClient b;
        b.avecCle();
        b.coffre.ecrire(cleWorkspace, QStringLiteral("ws-42"));
        b.serveur.ajouter(ReponseFaux::flux({"{\"reponse\":", "\"Comparons ", "le coût.\"}"}));
        const RequeteIA r = requete(QStringLiteral("objection"));
        QVERIFY(b.finir(r));
        const Issue& i = b.issue;
        QVERIFY2(!i.message, qPrintable(i.message.value_or(QString())));
        QCOMPARE(QVariantList({*i.texte, int(i.infos.source), i.infos.modele.value_or("-"), i.infos.latenceMs.has_value(),
                               i.partiels.value(i.partiels.size() - 1).toObject().value("reponse").toString()}),
                 QVariantList({"{\"reponse\":\"Comparons le coût.\"}", int(SourceIA::cle), "claude-haiku-4-5", true, "Comparons le coût."}));

        QCOMPARE(b.serveur.requetes().size(), 1);
        const fakes::RequeteRecue& q = b.serveur.requetes()[0];
        QCOMPARE(q.methode + ' ' + q.chemin, QByteArray("POST /v1/messages"));
        QByteArrayList entetes;
        for (const char* e : {"x-api-key", "anthropic-version", "content-type", "accept", "anthropic-workspace-id", "anthropic-beta"})
            entetes << q.entetes.value(e, "absent");
        QCOMPARE(entetes, (QByteArrayList{"sk-test-123", "2023-06-01", "application/json", "text/event-stream", "ws-42",
                                          "absent"}));   // no fallback for this model
        QCOMPARE(q.json(), corpsAttendu(b, r));
        QVERIFY(!q.json().contains("fallbacks"));
    }

    void repliDemandeEtRenvoyeSansBudget()
    {
        BancClient b;
        b.avecCle();
        const RequeteIA r = requete(QStringLiteral("objection"), QStringLiteral("claude-sonnet-5-5"));
        QVERIFY(b.moteur.appelerBooleen(QStringLiteral("repliSupporte"), {r.modele}).valeurOu(false));
        b.serveur.ajouter(ReponseFaux::erreur(400, QStringLiteral("fallbacks: Extra inputs are not permitted (Fallback)"),
                                              std::nullopt, QStringLiteral("invalid_request_error")));
        b.serveur.ajouter(ReponseFaux::erreur(503, QStringLiteral("busy")));
        b.serveur.ajouter(ReponseFaux::erreur(503, QStringLiteral("busy")));
        auto* d = b.envoyer(r);
        QTRY_COMPARE(b.serveur.requetes().size(), 2);
        QTRY_COMPARE(b.horloge.minuteriesActives(), 1);   // the retry of the 503
        b.horloge.avancer(600);
        QTRY_VERIFY(b.issue.termine());
        QCOMPARE(d->tentatives(), 3);   // the resend did not use the one retry of a live task
        QCOMPARE(*b.issue.message, QStringLiteral("Quillo est très demandé. Réessayez dans un instant."));
        QStringList repli;
        for (const auto& q : b.serveur.requetes())
            repli << texte(q.json().value("fallbacks")) + ' ' + q.entetes.value("anthropic-beta", "absent");
        QCOMPARE(repli, QStringList({"default server-side-fallback-2026-07-01", "undefined absent", "undefined absent"}));
    }

    void formatRenvoyeSansFormat()
    {
        BancClient b;
        b.avecCle();
        const RequeteIA r = requete(QStringLiteral("objection"));
        QVERIFY(corpsAttendu(b, r).value("output_config").toObject().contains("format"));
        b.serveur.ajouter(ReponseFaux::erreur(400, QStringLiteral("output_config.format is not supported for this model")));
        b.serveur.ajouter(ReponseFaux::flux({"{\"reponse\":\"ok\"}"}));
        QVERIFY(b.finir(r));
        QVERIFY(!b.issue.message && b.serveur.requetes().size() == 2);
        QVERIFY(!b.serveur.requetes()[1].json().value("output_config").toObject().contains("format"));
        QCOMPARE(b.serveur.requetes()[1].json().value("messages"), b.serveur.requetes()[0].json().value("messages"));
    }

    void relaisRequeteExacte()
    {
        BancClient b;
        b.relais = b.serveur.url().toString() + QStringLiteral("/api/");
        b.serveur.ajouter(ReponseFaux::flux({"Bonjour"}));
        const RequeteIA r = requete(QStringLiteral("recap"));
        QVERIFY(b.finir(r));
        QCOMPARE(QVariantList({b.issue.texte.value_or(""), int(b.issue.infos.source)}), QVariantList({"Bonjour", int(SourceIA::relais)}));
        QCOMPARE(b.serveur.requetes().size(), 2);
        const fakes::RequeteRecue& q = b.serveur.requetes()[1];
        QCOMPARE(QByteArrayList({b.serveur.requetes()[0].chemin, q.chemin, q.entetes.value("accept"), q.entetes.value("x-api-key", "absent")}),
                 QByteArrayList({"/api/etat", "/api/v1/messages", "text/event-stream", "absent"}));
        QCOMPARE(champs(q.json(), {"model", "max_tokens", "stream", "messages.length", "messages.0.role"}),
                 QStringLiteral("claude-haiku-4-5 | 16000 | true | 1 | user"));
        const QJsonObject contenu = QJsonDocument::fromJson(champs(q.json(), {"messages.0.content"}).toUtf8()).object();
        QCOMPARE(contenu, (QJsonObject{{"tache", "recap"}, {"payload", r.payload}}));
    }

    // How a read ends, and the status messages end to end on each route (the
    // status table itself is the stream's test).
    void finsDeLecture_data()
    {
        QTest::addColumn<bool>("relais");
        QTest::addColumn<ReponseFaux>("reponse");
        QTest::addColumn<int>("statut");   // -1: not an HTTP failure
        QTest::addColumn<QString>("message");
        const QString illisible = QStringLiteral("Réponse illisible.");
        const QString longueur = QStringLiteral("La réponse a dépassé la longueur maximale. Réessayez, ou raccourcissez la demande.");
        const QString portee = QStringLiteral("This key is not scoped to a workspace");
        QTest::newRow("pings puis stop") << false << ReponseFaux::flux({}) << -1 << illisible;
        QTest::newRow("blanc") << true << ReponseFaux::flux({"  ", "\n"}) << -1 << illisible;
        QTest::newRow("coupee") << false << ReponseFaux::flux({"{\"a\":1}"}, QStringLiteral("end_turn"), false) << -1
                                << "La réponse a été coupée. Réessayez.";
        QTest::newRow("max_tokens") << false << ReponseFaux::flux({"{\"a\":"}, QStringLiteral("max_tokens")) << -1 << longueur;
        QTest::newRow("max_tokens relais") << true << ReponseFaux::flux({"x"}, QStringLiteral("max_tokens")) << -1 << longueur;
        QTest::newRow("refus") << true << ReponseFaux::flux({"Non."}, QStringLiteral("refusal")) << -1
                               << "Quillo ne peut pas répondre à cette demande. Reformulez-la et réessayez.";
        QTest::newRow("401 cle") << false << ReponseFaux::erreur(401, QStringLiteral("invalid x-api-key")) << 401
                                 << "Votre clé est refusée. Vérifiez-la dans Réglages.";
        QTest::newRow("401 relais") << true << ReponseFaux::erreur(401, QStringLiteral("bad key")) << 401 << "La clé du serveur est refusée.";
        QTest::newRow("workspace") << false << ReponseFaux::erreur(400, portee) << 400 << messages::workspace;
        QTest::newRow("workspace relais") << true << ReponseFaux::erreur(400, portee) << 400 << portee;
        // An overload in the stream after some text is not retried.
        ReponseFaux surcharge;
        surcharge.morceau(fakes::debutMessage() + fakes::deltaTexte("{\"a\":") + fakes::erreurFlux("overloaded_error", "Overloaded"));
        QTest::newRow("surcharge apres texte") << false << surcharge << 529 << "Quillo est très demandé. Réessayez dans un instant.";
        ReponseFaux enorme;   // an error body is capped
        enorme.statut = 400;
        enorme.morceau(QByteArray(200000, 'a'));
        QTest::newRow("corps plafonne") << false << enorme << 400 << QString(64000, QLatin1Char('a'));
    }
    void finsDeLecture()
    {
        QFETCH(bool, relais);
        QFETCH(ReponseFaux, reponse);
        QFETCH(int, statut);
        BancClient b;
        if (relais)
            b.relais = b.serveur.url().toString();
        else
            b.avecCle();
        b.serveur.ajouter(reponse);
        QVERIFY(b.finir(requete(QStringLiteral("objection"))));
        QCOMPARE(b.serveur.requetes().size(), relais ? 2 : 1);   // no retry
        QCOMPARE(b.issue.signauxFin, 1);
        QVERIFY(!b.issue.texte);
        QTEST(b.issue.message.value_or(QString()), "message");
        if (statut >= 0)
            QCOMPARE(b.issue.statut, statut);
    }

    // Lines and characters cut across reads, with pings and a comment between.
    void fluxDecoupeEnMorceaux()
    {
        BancClient b;
        b.avecCle();
        const QByteArray corps = fakes::debutMessage() + ": commentaire\n\n" + fakes::deltaTexte("{\"reponse\":\"Été ") +
                                 fakes::ping() + fakes::deltaTexte("🚀 réglé\"}") + fakes::finMessage() +
                                 fakes::arretMessage();
        const int e = int(corps.indexOf("\xC3\x89"));   // inside "É"
        const int f = int(corps.indexOf("\xF0\x9F"));   // inside the rocket
        QVERIFY(e > 0 && f > 0);
        b.serveur.ajouter(ReponseFaux::decoupee(corps, {20, e + 1, e + 30, f + 1, f + 3, int(corps.size()) - 5}));
        QVERIFY(b.finir(requete(QStringLiteral("objection"))));
        QCOMPARE(b.issue.texte.value_or(b.issue.message.value_or(QString())), QStringLiteral("{\"reponse\":\"Été 🚀 réglé\"}"));
    }

    // Failures retried on the relay: the task, the retry-after header, the waits
    // before each new attempt, then the status and message of the last one.
    void reessaisEtDelais()
    {
        auto cas = [](const char* tache, const QByteArray& retryAfter, const QList<int>& delais, int statut, const QString& message) {
            BancClient b;
            b.relais = b.serveur.url().toString();
            for (int i = 0; i <= delais.size(); ++i)
                b.serveur.ajouter(ReponseFaux::erreur(statut, QStringLiteral("Service Unavailable"),
                                                      retryAfter.isEmpty() ? std::nullopt : std::optional(retryAfter)));
            auto* d = b.envoyer(requete(QString::fromLatin1(tache)));
            for (int i = 0; i < delais.size(); ++i) {
                QTRY_COMPARE(d->tentatives(), i + 1);
                QTRY_COMPARE(b.horloge.minuteriesActives(), 1);   // only the retry is pending
                b.horloge.avancer(delais[i] - 1);
                QCOMPARE(d->tentatives(), i + 1);
                b.horloge.avancer(1);
                QCOMPARE(d->tentatives(), i + 2);
            }
            QTRY_VERIFY(b.issue.termine());
            QCOMPARE(QVariantList({d->tentatives(), b.serveur.nombre("/api/v1/messages"), b.issue.message.value_or(""), b.issue.statut}),
                     QVariantList({delais.size() + 1, delais.size() + 1, message, statut}));
        };
        const QString demande = QStringLiteral("Quillo est très demandé. Réessayez dans un instant.");
        cas("objection", {}, {600}, 503, demande);          // a live task once
        cas("analyse", {}, {600, 1200}, 503, demande);      // the analysis twice
        cas("objection", "30", {10000}, 503, demande);      // retry-after capped
        cas("analyse", "2", {2000, 2000}, 503, demande);
        cas("objection", "1", {1000}, 429, "Trop de demandes en même temps. Réessayez dans une minute.");
    }

    // A cut connection, or an overload reported in the stream before any
    // text, is retried; the second attempt's partial starts from empty.
    void reessaiRepartDeZero()
    {
        for (bool coupee : {true, false}) {   // the connection cut, or an error in the stream
            BancClient b;
            b.avecCle();
            ReponseFaux premier;
            if (coupee)
                premier.longueurAnnoncee = 100000;
            premier.morceau(fakes::debutMessage() + (coupee ? fakes::deltaTexte("{\"reponse\":\"Premier essai")
                                                            : fakes::erreurFlux("overloaded_error", "Overloaded")));
            b.serveur.ajouter(premier);
            b.serveur.ajouter(ReponseFaux::flux({"{\"reponse\":\"Second\"}"}));
            auto* d = b.envoyer(requete(QStringLiteral("objection")));
            if (coupee) {
                QTRY_COMPARE(b.issue.partiels.size(), 1);
                QCOMPARE(b.issue.partiels[0].toObject().value("reponse").toString(), QStringLiteral("Premier essai"));
            }
            QTRY_COMPARE(b.horloge.minuteriesActives(), 1);
            b.horloge.avancer(600);
            QTRY_VERIFY(b.issue.termine());
            QCOMPARE(QVariantList({d->tentatives(), b.issue.texte.value_or(""), b.issue.partiels.last().toObject().value("reponse").toString()}),
                     QVariantList({2, "{\"reponse\":\"Second\"}", "Second"}));
            for (const QJsonValue& v : b.issue.partiels)
                QVERIFY(!v.toObject().value("reponse").toString().contains(QLatin1String("essaiSecond")));
            QCOMPARE(d->textePartiel(), QStringLiteral("{\"reponse\":\"Second\"}"));
        }
    }

    // Each limit of the watchdog (first text 5 s, no byte 10 s, no progress 20 s,
    // total 30 s): what comes in before it, then the last millisecond that still waits.
    void veille_data()
    {
        QTest::addColumn<int>("cas");
        QTest::addColumn<QList<QByteArray>>("pas");   // bytes sent, or "+N": N ms go by
        QTest::addColumn<int>("reste");               // ms left until the limit
        const QByteArray debut = fakes::deltaTexte("{\"a\":"), x = fakes::deltaTexte("\"x");
        QTest::newRow("premier texte") << int(DelaiFlux::premierTexte) << QList<QByteArray>{"+3000", fakes::ping()} << 2000;
        QTest::newRow("sans octet") << int(DelaiFlux::sansOctet) << QList<QByteArray>{debut} << 10000;
        QTest::newRow("sans progres") << int(DelaiFlux::sansProgres) << QList<QByteArray>{debut, "+8000", fakes::ping(), "+8000", fakes::ping()} << 4000;
        QTest::newRow("total") << int(DelaiFlux::total) << QList<QByteArray>{x, "+8000", x, "+8000", x, "+8000", fakes::deltaTexte("y")} << 6000;
    }
    void veille()
    {
        QFETCH(int, cas);
        QFETCH(QList<QByteArray>, pas);
        QFETCH(int, reste);
        BancClient b;
        auto* d = envoyerOuvert(b, LimitesFlux{5, 10, 20, 30});
        QTRY_COMPARE(d->evenementsLus(), 2);
        int lus = 2;
        for (const QByteArray& p : pas) {
            if (p.startsWith('+')) {
                b.horloge.avancer(p.mid(1).toInt());
                continue;
            }
            b.serveur.envoyer(p);
            ++lus;
            QTRY_COMPARE(d->evenementsLus(), lus);
        }
        b.horloge.avancer(reste - 1);
        QVERIFY(!b.issue.termine());
        b.horloge.avancer(1);
        QTRY_VERIFY(b.issue.termine());
        QCOMPARE(QVariantList({int(d->depasse().value_or(DelaiFlux(-1))), *b.issue.message, d->tentatives()}),
                 QVariantList({cas, "Quillo met trop de temps à répondre. Réessayez dans un instant.", 1}));
        QTRY_COMPARE(b.serveur.connexionsOuvertes(), 0);   // the read was cancelled
    }

    // 60 s without a byte times the transfer out (retried), even while the
    // watchdog's own limits are longer.
    void inactiviteDuTransfert()
    {
        BancClient b;
        auto* d = envoyerOuvert(b, LimitesFlux{600, 600, 600, 900}, 2);
        QTRY_COMPARE(d->evenementsLus(), 2);
        b.horloge.avancer(59999);
        QCOMPARE(d->tentatives(), 1);
        b.horloge.avancer(1);
        QTRY_COMPARE(b.horloge.minuteriesActives(), 1);
        b.horloge.avancer(600);
        QCOMPARE(d->tentatives(), 2);
        QTRY_COMPARE(d->evenementsLus(), 2);
        b.horloge.avancer(60000);
        QTRY_VERIFY(b.issue.termine());
        QCOMPARE(*b.issue.message, QStringLiteral("Connexion impossible. Vérifiez votre accès à internet."));
    }

    // The 60 s limit is on silence, not on the length of a long answer.
    void longueReponseSansCoupure()
    {
        BancClient b;
        auto* d = envoyerOuvert(b, LimitesFlux{600, 600, 600, 900});
        QTRY_COMPARE(d->evenementsLus(), 2);
        for (int i = 0; i < 5; ++i) {
            b.horloge.avancer(50000);
            b.serveur.envoyer(fakes::deltaTexte(i == 0 ? QStringLiteral("{\"r\":\"") : QStringLiteral("x")));
            QTRY_COMPARE(d->evenementsLus(), 3 + i);
        }
        QCOMPARE(d->tentatives(), 1);   // 250 s in all, never 60 s without a byte
        b.serveur.envoyer(fakes::deltaTexte(QStringLiteral("\"}")) + fakes::finMessage() + fakes::arretMessage());
        b.serveur.couper();
        QTRY_VERIFY(b.issue.termine());
        QCOMPARE(b.issue.texte.value_or(b.issue.message.value_or(QString())), QStringLiteral("{\"r\":\"xxxx\"}"));
    }

    void annulationPendantLAttente()
    {
        BancClient b;
        b.relais = b.serveur.url().toString();
        b.serveur.ajouter(ReponseFaux::erreur(503, QStringLiteral("busy")));
        auto* d = b.envoyer(requete(QStringLiteral("analyse")));
        QTRY_COMPARE(d->tentatives(), 1);
        QTRY_COMPARE(b.horloge.minuteriesActives(), 1);
        d->annuler();
        b.horloge.avancer(5000);
        QCOMPARE(QList<int>({d->tentatives(), b.issue.signauxFin, int(b.serveur.nombre("/api/v1/messages"))}), QList<int>({1, 0, 1}));
    }

    void connexionImpossible()
    {
        BancClient b;
        b.avecCle();
        ConfigClientIA c = b.creer().config();
        c.urlAnthropic = adresseFermee();
        b.client = std::make_unique<ClientIA>(c);
        auto* d = b.envoyer(requete(QStringLiteral("analyse")));
        for (int delai : {600, 1200}) {
            QTRY_COMPARE(b.horloge.minuteriesActives(), 1);
            b.horloge.avancer(delai);
        }
        QTRY_VERIFY(b.issue.termine());
        QCOMPARE(QVariantList({d->tentatives(), *b.issue.message}), QVariantList({3, "Connexion impossible. Vérifiez votre accès à internet."}));
    }

    void annulationSilencieuse()
    {
        BancClient b;
        b.avecCle();
        ReponseFaux r;
        r.fermer = false;
        r.morceau(fakes::debutMessage() + fakes::deltaTexte("{\"a\":\"b\""));
        b.serveur.ajouter(r);
        auto* d = b.envoyer(requete(QStringLiteral("objection")));
        QTRY_COMPARE(b.issue.partiels.size(), 1);
        d->annuler();
        b.serveur.envoyer(fakes::deltaTexte("}") + fakes::finMessage() + fakes::arretMessage());
        b.horloge.avancer(100000);
        QTRY_COMPARE(b.serveur.connexionsOuvertes(), 0);
        QCOMPARE(QList<int>({b.issue.signauxFin, int(b.issue.partiels.size()), int(b.horloge.minuteriesActives())}), QList<int>({0, 1, 0}));
    }

    void payloadIllisibleNEnvoieRien()
    {
        BancClient b;
        b.relais = b.serveur.url().toString();
        for (const QJsonValue& payload : {QJsonValue(QJsonValue::Undefined), QJsonValue(QJsonObject{{"x", std::nan("")}}),
                                          QJsonValue(QJsonObject{{"l", QJsonArray{1, std::numeric_limits<double>::infinity()}}})}) {   // even deep down
            RequeteIA r = requete(QStringLiteral("objection"));
            r.payload = payload;
            b.issue = {};
            QVERIFY(b.finir(r));
            QCOMPARE(*b.issue.message, messages::payloadIllisible);
        }
        QCOMPARE(b.serveur.requetes().size(), 0);
    }

    void demonstration()
    {
        BancClient b;   // no key, no relay, no account
        RequeteIA r = requete(QStringLiteral("objection"));
        Issue reel;
        b.envoyer(r, reel);
        QTRY_VERIFY(reel.termine());
        QCOMPARE(QVariantList({*reel.message, int(reel.partiels.size())}), QVariantList({messages::aucuneRoute, 0}));

        r.demo = true;
        Issue demo;
        b.envoyer(r, demo);
        QTRY_COMPARE(b.horloge.minuteriesActives(), 1);   // the imitated streaming
        QVERIFY(!demo.termine());
        b.horloge.avancer(350);
        QVERIFY(demo.termine() && !demo.message);
        auto attendu = b.moteur.appelerTexte(QStringLiteral("reponseDemo"), {r.tache, r.payload});
        QVERIFY(attendu);
        QCOMPARE(QVariantList({*demo.texte, int(demo.infos.source), int(demo.partiels.size()), int(b.serveur.requetes().size())}),
                 QVariantList({attendu.valeur(), int(SourceIA::demo), 1, 0}));

        RequeteIA inconnue = r;
        inconnue.tache = QStringLiteral("tache-sans-demo");
        Issue rien;
        b.envoyer(inconnue, rien);
        QTRY_VERIFY(rien.termine());
        QCOMPARE(*rien.message, QStringLiteral("La démo n'a pas de réponse pour cette demande."));
    }

    void cloudRequeteEtInfos()
    {
        BancClient b;
        b.avecCloud();
        b.avecCle();   // the account comes first
        ReponseFaux r = ReponseFaux::flux({"{\"ok\":true}"});
        r.entete("x-vd-modele", "claude-opus-5-5");
        r.entete("x-vd-prompt", "prompt-objection-v3");
        b.serveur.ajouter(r);
        RequeteIA req = requete(QStringLiteral("objection"));
        req.appelId = QStringLiteral("appel-7");
        QVERIFY(b.finir(req));
        const fakes::RequeteRecue& q = b.serveur.requetes().last();
        QCOMPARE(QVariantList({b.issue.texte.value_or(""), int(b.issue.infos.source), b.issue.infos.modele.value_or(""),
                               b.issue.infos.prompt.value_or(""), b.cloud->dernierDelaiMs, QString::fromUtf8(q.chemin)}),
                 QVariantList({"{\"ok\":true}", int(SourceIA::cloud), "claude-opus-5-5", "prompt-objection-v3", 150000, "/functions/v1/claude"}));
        QCOMPARE(q.json(), (QJsonObject{{"tache", "objection"}, {"payload", req.payload}, {"appelId", "appel-7"}}));
        QVERIFY(b.cloud->journal.isEmpty());
    }

    // Each failure on the backend route: its message, its type, and one line in the error journal.
    void cloudErreursEtJournal()
    {
        auto cas = [](const ReponseFaux& reponse, const QString& message, const QString& type, bool sessionExpiree = false) {
            BancClient b;
            b.avecCloud();
            b.serveur.ajouter(reponse);
            b.cloud->sessionExpiree = sessionExpiree;
            RequeteIA req = requete(QStringLiteral("objection"));
            req.appelId = QStringLiteral("appel-9");
            QVERIFY(b.finir(req));
            QCOMPARE(b.issue.message.value_or(QString()) + " | " + b.issue.type, message + " | " + type);
            QCOMPARE(b.cloud->journal.size(), 1);
            QCOMPARE(champs(b.cloud->journal[0], {"source", "type", "message", "details.tache", "details.type", "details.appel_id"}),
                     QStringList({"app", "relais_claude", message, "objection", type, "appel-9"}).join(" | "));
            QVERIFY(b.cloud->journal[0].value("details").toObject().contains("statut"));
        };
        auto erreur = [](int statut, const QByteArray& corps) {
            ReponseFaux r;
            r.statut = statut;
            r.morceau(corps);
            return r;
        };
        cas(ReponseFaux::flux({"{\"a\":"}, QStringLiteral("max_tokens")), "Réponse incomplète. Réessayez.", "reponse_incomplete");
        cas(ReponseFaux::flux({}), "Réponse illisible. Relancez la demande.", "reponse_illisible");
        cas(ReponseFaux::flux({"x"}, QStringLiteral("end_turn"), false), "La réponse a été coupée. Réessayez.", "flux_coupe");
        cas(ReponseFaux::flux({"x"}, QStringLiteral("refusal")), "Quillo ne peut pas répondre à cette demande. Reformulez-la et réessayez.", "refus");
        cas(erreur(403, "{\"code\":\"fonction_desactivee\",\"message\":\"Claude is off\"}"), "Le serveur refuse cette demande.", "fonction_desactivee");
        cas(ReponseFaux(), "Votre session a expiré. Reconnectez-vous.", "session", true);
        cas(erreur(412, "{\"code\":\"compte_introuvable\"}"),
            "Quillo n'est pas encore disponible sur le serveur. Ajoutez votre clé dans Réglages, ou réessayez plus tard.", "compte_introuvable");
    }

    void cloudRetryAfterDuCorpsEtReseau()
    {
        BancClient b;
        b.avecCloud();
        ReponseFaux r;
        r.statut = 429;
        r.entete("retry-after", "5");
        r.morceau("{\"code\":\"rate_limit_error\",\"retry_after\":0.5}");
        b.serveur.ajouter(r);
        b.serveur.ajouter(ReponseFaux::flux({"ok"}));
        auto* d = b.envoyer(requete(QStringLiteral("objection")));
        QTRY_COMPARE(b.horloge.minuteriesActives(), 1);
        b.horloge.avancer(499);
        QCOMPARE(d->tentatives(), 1);
        b.horloge.avancer(1);
        QCOMPARE(d->tentatives(), 2);
        QTRY_VERIFY(b.issue.termine());
        QCOMPARE(b.issue.texte.value_or(QString()), QStringLiteral("ok"));

        // No network on the backend route.
        b.cloud = std::make_unique<fakes::FauxCloudIA>(adresseFermee(), b.horloge);
        b.creer();
        Issue hs;
        b.envoyer(requete(QStringLiteral("objection")), hs);
        QTRY_COMPARE(b.horloge.minuteriesActives(), 1);
        b.horloge.avancer(600);
        QTRY_VERIFY(hs.termine());
        QCOMPARE(QVariantList({*hs.message, hs.type, int(b.cloud->journal.size())}),
                 QVariantList({"Pas de connexion. Quillo a besoin d'internet.", "reseau", 1}));
    }
};

QTEST_GUILESS_MAIN(TestClientIA)
#include "tst_clientia.moc"
