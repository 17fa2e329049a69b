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

    // An answer that starts and then stays open: the test writes the rest.
    static ReponseFaux fluxOuvert()
    {
        ReponseFaux r;
        r.fermer = false;
        r.morceau(fakes::debutMessage());
        return r;
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
        b.avecCle(QStringLiteral("sk-test-123"));
        b.coffre.ecrire(cleWorkspace, QStringLiteral("ws-42"));
        b.serveur.ajouter(ReponseFaux::flux({"{\"reponse\":", "\"Comparons ", "le coût.\"}"}));
        Issue issue;
        const RequeteIA r = requete(QStringLiteral("objection"));
        b.envoyer(r, issue);
        QTRY_VERIFY(issue.termine());
        QVERIFY2(!issue.message, qPrintable(issue.message.value_or(QString())));
        QCOMPARE(*issue.texte, QStringLiteral("{\"reponse\":\"Comparons le coût.\"}"));
        QCOMPARE(issue.infos.source, SourceIA::cle);
        QCOMPARE(issue.infos.modele, std::optional<QString>(QStringLiteral("claude-haiku-4-5")));
        QVERIFY(issue.infos.latenceMs.has_value());
        QVERIFY(!issue.partiels.isEmpty());
        QCOMPARE(issue.partiels.last().toObject().value("reponse").toString(), QStringLiteral("Comparons le coût."));

        QCOMPARE(b.serveur.requetes().size(), 1);
        const fakes::RequeteRecue& q = b.serveur.requetes()[0];
        QCOMPARE(q.methode + ' ' + q.chemin, QByteArray("POST /v1/messages"));
        QByteArrayList entetes;
        for (const char* e : {"x-api-key", "anthropic-version", "content-type", "accept", "anthropic-workspace-id"})
            entetes << q.entetes.value(e);
        QCOMPARE(entetes, (QByteArrayList{"sk-test-123", "2023-06-01", "application/json", "text/event-stream", "ws-42"}));
        QVERIFY(!q.entetes.contains("anthropic-beta"));   // no fallback for this model
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
        Issue issue;
        auto* d = b.envoyer(r, issue);
        QTRY_COMPARE(b.serveur.requetes().size(), 2);
        QTRY_COMPARE(b.horloge.minuteriesActives(), 1);   // the retry of the 503
        b.horloge.avancer(600);
        QTRY_VERIFY(issue.termine());
        QCOMPARE(d->tentatives(), 3);   // the resend did not use the one retry of a live task
        QCOMPARE(*issue.message, QStringLiteral("Quillo est très demandé. Réessayez dans un instant."));
        const auto& q = b.serveur.requetes();
        QCOMPARE(q[0].json().value("fallbacks").toString(), QStringLiteral("default"));
        QCOMPARE(q[0].entetes.value("anthropic-beta"), QByteArray("server-side-fallback-2026-07-01"));
        for (int i : {1, 2}) {
            QVERIFY(!q[i].json().contains("fallbacks"));
            QVERIFY(!q[i].entetes.contains("anthropic-beta"));
        }
    }

    void formatRenvoyeSansFormat()
    {
        BancClient b;
        b.avecCle();
        const RequeteIA r = requete(QStringLiteral("objection"));
        QVERIFY(corpsAttendu(b, r).value("output_config").toObject().contains("format"));
        b.serveur.ajouter(ReponseFaux::erreur(400, QStringLiteral("output_config.format is not supported for this model")));
        b.serveur.ajouter(ReponseFaux::flux({"{\"reponse\":\"ok\"}"}));
        Issue issue;
        b.envoyer(r, issue);
        QTRY_VERIFY(issue.termine());
        QVERIFY(!issue.message);
        QCOMPARE(b.serveur.requetes().size(), 2);
        QVERIFY(!b.serveur.requetes()[1].json().value("output_config").toObject().contains("format"));
        QCOMPARE(b.serveur.requetes()[1].json().value("messages"), b.serveur.requetes()[0].json().value("messages"));
    }

    void relaisRequeteExacte()
    {
        BancClient b;
        b.relais = b.serveur.url().toString() + QStringLiteral("/api/");
        b.serveur.ajouter(ReponseFaux::flux({"Bonjour"}));
        Issue issue;
        RequeteIA r = requete(QStringLiteral("recap"), QStringLiteral("claude-haiku-4-5"));
        b.envoyer(r, issue);
        QTRY_VERIFY(issue.termine());
        QCOMPARE(issue.texte.value_or(QString()), QStringLiteral("Bonjour"));
        QCOMPARE(issue.infos.source, SourceIA::relais);
        QCOMPARE(b.serveur.requetes().size(), 2);
        QCOMPARE(b.serveur.requetes()[0].chemin, QByteArray("/api/etat"));
        const fakes::RequeteRecue& q = b.serveur.requetes()[1];
        QCOMPARE(q.chemin, QByteArray("/api/v1/messages"));
        QCOMPARE(q.entetes.value("accept"), QByteArray("text/event-stream"));
        QVERIFY(!q.entetes.contains("x-api-key"));
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
        Issue issue;
        b.envoyer(requete(QStringLiteral("objection")), issue);
        QTRY_VERIFY(issue.termine());
        QCOMPARE(issue.signauxFin, 1);
        QVERIFY(!issue.texte);
        QTEST(issue.message.value_or(QString()), "message");
        if (statut >= 0)
            QCOMPARE(issue.statut, statut);
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
        Issue issue;
        b.envoyer(requete(QStringLiteral("objection")), issue);
        QTRY_VERIFY(issue.termine());
        QCOMPARE(issue.texte.value_or(issue.message.value_or(QString())), QStringLiteral("{\"reponse\":\"Été 🚀 réglé\"}"));
    }

    void reessaisEtDelais_data()
    {
        QTest::addColumn<QString>("tache");
        QTest::addColumn<QByteArray>("retryAfter");
        QTest::addColumn<QList<int>>("delais");
        QTest::addColumn<int>("statut");
        QTest::addColumn<QString>("message");
        const QString demande = QStringLiteral("Quillo est très demandé. Réessayez dans un instant.");
        QTest::newRow("objection une fois") << "objection" << QByteArray() << QList<int>{600} << 503 << demande;
        QTest::newRow("analyse deux fois") << "analyse" << QByteArray() << QList<int>{600, 1200} << 503 << demande;
        QTest::newRow("retry-after 30 plafonne") << "objection" << QByteArray("30") << QList<int>{10000} << 503 << demande;
        QTest::newRow("retry-after 2") << "analyse" << QByteArray("2") << QList<int>{2000, 2000} << 503 << demande;
        QTest::newRow("429 puis message") << "objection" << QByteArray("1") << QList<int>{1000} << 429
                                          << "Trop de demandes en même temps. Réessayez dans une minute.";
    }
    void reessaisEtDelais()
    {
        QFETCH(QString, tache);
        QFETCH(QByteArray, retryAfter);
        QFETCH(QList<int>, delais);
        QFETCH(int, statut);
        BancClient b;
        b.relais = b.serveur.url().toString();
        for (int i = 0; i <= delais.size(); ++i)
            b.serveur.ajouter(ReponseFaux::erreur(statut, QStringLiteral("Service Unavailable"),
                                                  retryAfter.isEmpty() ? std::nullopt : std::optional(retryAfter)));
        Issue issue;
        auto* d = b.envoyer(requete(tache), issue);
        for (int i = 0; i < delais.size(); ++i) {
            QTRY_COMPARE(d->tentatives(), i + 1);
            QTRY_COMPARE(b.horloge.minuteriesActives(), 1);   // only the retry is pending
            b.horloge.avancer(delais[i] - 1);
            QCOMPARE(d->tentatives(), i + 1);
            b.horloge.avancer(1);
            QCOMPARE(d->tentatives(), i + 2);
        }
        QTRY_VERIFY(issue.termine());
        QCOMPARE(d->tentatives(), delais.size() + 1);
        QCOMPARE(b.serveur.nombre("/api/v1/messages"), delais.size() + 1);
        QTEST(issue.message.value_or(QString()), "message");
        QCOMPARE(issue.statut, statut);
    }

    void erreurDansLeFluxApresTexte()
    {
        BancClient b;
        b.avecCle();
        ReponseFaux r;
        r.morceau(fakes::debutMessage() + fakes::deltaTexte("{\"a\":") +
                                  fakes::erreurFlux("overloaded_error", "Overloaded"));
        b.serveur.ajouter(r);
        Issue issue;
        b.envoyer(requete(QStringLiteral("objection")), issue);
        QTRY_VERIFY(issue.termine());
        QCOMPARE(b.serveur.requetes().size(), 1);
        QCOMPARE(*issue.message, QStringLiteral("Quillo est très demandé. Réessayez dans un instant."));
        QCOMPARE(issue.statut, 529);
    }

    // A cut connection, or an overload reported in the stream before any
    // text, is retried; the second attempt's partial starts from empty.
    void reessaiRepartDeZero_data()
    {
        QTest::addColumn<bool>("coupee");
        QTest::newRow("connexion coupée") << true;
        QTest::newRow("erreur dans le flux") << false;
    }
    void reessaiRepartDeZero()
    {
        QFETCH(bool, coupee);
        BancClient b;
        b.avecCle();
        ReponseFaux premier;
        if (coupee) {
            premier.longueurAnnoncee = 100000;
            premier.morceau(fakes::debutMessage() + fakes::deltaTexte("{\"reponse\":\"Premier essai"));
        } else {
            premier.morceau(fakes::debutMessage() + fakes::erreurFlux("overloaded_error", "Overloaded"));
        }
        b.serveur.ajouter(premier);
        b.serveur.ajouter(ReponseFaux::flux({"{\"reponse\":\"Second\"}"}));
        Issue issue;
        auto* d = b.envoyer(requete(QStringLiteral("objection")), issue);
        if (coupee) {
            QTRY_COMPARE(issue.partiels.size(), 1);
            QCOMPARE(issue.partiels[0].toObject().value("reponse").toString(), QStringLiteral("Premier essai"));
        }
        QTRY_COMPARE(b.horloge.minuteriesActives(), 1);
        b.horloge.avancer(600);
        QTRY_VERIFY(issue.termine());
        QCOMPARE(d->tentatives(), 2);
        QCOMPARE(issue.texte.value_or(QString()), QStringLiteral("{\"reponse\":\"Second\"}"));
        QCOMPARE(issue.partiels.last().toObject().value("reponse").toString(), QStringLiteral("Second"));
        for (const QJsonValue& v : issue.partiels)
            QVERIFY(!v.toObject().value("reponse").toString().contains(QLatin1String("essaiSecond")));
        QCOMPARE(d->textePartiel(), QStringLiteral("{\"reponse\":\"Second\"}"));
    }

    void veille_data()
    {
        QTest::addColumn<int>("cas");
        QTest::addColumn<int>("limite");
        QTest::newRow("premier texte") << int(DelaiFlux::premierTexte) << 0;
        QTest::newRow("sans octet") << int(DelaiFlux::sansOctet) << 1;
        QTest::newRow("sans progres") << int(DelaiFlux::sansProgres) << 2;
        QTest::newRow("total") << int(DelaiFlux::total) << 3;
    }
    void veille()
    {
        QFETCH(int, cas);
        BancClient b;
        b.avecCle();
        b.serveur.ajouter(fluxOuvert());
        RequeteIA req = requete(QStringLiteral("analyse"));
        req.tache = QStringLiteral("objection");
        req.limites = LimitesFlux{5, 10, 20, 30};
        Issue issue;
        auto* d = b.envoyer(req, issue);
        QTRY_COMPARE(d->evenementsLus(), 2);
        int lus = 2;
        auto pousser = [&](const QByteArray& octets) {
            b.serveur.envoyer(octets);
            ++lus;
            QTRY_COMPARE(d->evenementsLus(), lus);
        };
        switch (DelaiFlux(cas)) {
        case DelaiFlux::premierTexte:
            b.horloge.avancer(3000);
            pousser(fakes::ping());   // lines keep coming, but no text
            b.horloge.avancer(1999);
            QVERIFY(!issue.termine());
            b.horloge.avancer(1);
            break;
        case DelaiFlux::sansOctet:
            pousser(fakes::deltaTexte("{\"a\":"));
            b.horloge.avancer(9999);
            QVERIFY(!issue.termine());
            b.horloge.avancer(1);
            break;
        case DelaiFlux::sansProgres:
            pousser(fakes::deltaTexte("{\"a\":"));
            b.horloge.avancer(8000);
            pousser(fakes::ping());
            b.horloge.avancer(8000);
            pousser(fakes::ping());
            b.horloge.avancer(3999);
            QVERIFY(!issue.termine());
            b.horloge.avancer(1);
            break;
        case DelaiFlux::total:
            for (int i = 0; i < 3; ++i) {
                pousser(fakes::deltaTexte("\"x"));
                b.horloge.avancer(8000);
            }
            pousser(fakes::deltaTexte("y"));
            b.horloge.avancer(5999);
            QVERIFY(!issue.termine());
            b.horloge.avancer(1);
            break;
        }
        QTRY_VERIFY(issue.termine());
        QCOMPARE(d->depasse(), std::optional<DelaiFlux>(DelaiFlux(cas)));
        QCOMPARE(*issue.message, QStringLiteral("Quillo met trop de temps à répondre. Réessayez dans un instant."));
        QCOMPARE(d->tentatives(), 1);
        QTRY_COMPARE(b.serveur.connexionsOuvertes(), 0);   // the read was cancelled
    }

    // 60 s without a byte times the transfer out (retried), even while the
    // watchdog's own limits are longer.
    void inactiviteDuTransfert()
    {
        BancClient b;
        b.avecCle();
        b.serveur.ajouter(fluxOuvert());
        b.serveur.ajouter(fluxOuvert());
        RequeteIA req = requete(QStringLiteral("objection"));
        req.limites = LimitesFlux{600, 600, 600, 900};
        Issue issue;
        auto* d = b.envoyer(req, issue);
        QTRY_COMPARE(d->evenementsLus(), 2);
        b.horloge.avancer(59999);
        QCOMPARE(d->tentatives(), 1);
        b.horloge.avancer(1);
        QTRY_COMPARE(b.horloge.minuteriesActives(), 1);
        b.horloge.avancer(600);
        QCOMPARE(d->tentatives(), 2);
        QTRY_COMPARE(d->evenementsLus(), 2);
        b.horloge.avancer(60000);
        QTRY_VERIFY(issue.termine());
        QCOMPARE(*issue.message, QStringLiteral("Connexion impossible. Vérifiez votre accès à internet."));
    }

    // The 60 s limit is on silence, not on the length of a long answer.
    void longueReponseSansCoupure()
    {
        BancClient b;
        b.avecCle();
        b.serveur.ajouter(fluxOuvert());
        RequeteIA req = requete(QStringLiteral("objection"));
        req.limites = LimitesFlux{600, 600, 600, 900};
        Issue issue;
        auto* d = b.envoyer(req, issue);
        QTRY_COMPARE(d->evenementsLus(), 2);
        for (int i = 0; i < 5; ++i) {
            b.horloge.avancer(50000);
            b.serveur.envoyer(fakes::deltaTexte(i == 0 ? QStringLiteral("{\"r\":\"") : QStringLiteral("x")));
            QTRY_COMPARE(d->evenementsLus(), 3 + i);
        }
        QCOMPARE(d->tentatives(), 1);   // 250 s in all, never 60 s without a byte
        b.serveur.envoyer(fakes::deltaTexte(QStringLiteral("\"}")) + fakes::finMessage() + fakes::arretMessage());
        b.serveur.couper();
        QTRY_VERIFY(issue.termine());
        QCOMPARE(issue.texte.value_or(issue.message.value_or(QString())), QStringLiteral("{\"r\":\"xxxx\"}"));
    }

    void annulationPendantLAttente()
    {
        BancClient b;
        b.relais = b.serveur.url().toString();
        b.serveur.ajouter(ReponseFaux::erreur(503, QStringLiteral("busy")));
        Issue issue;
        auto* d = b.envoyer(requete(QStringLiteral("analyse")), issue);
        QTRY_COMPARE(d->tentatives(), 1);
        QTRY_COMPARE(b.horloge.minuteriesActives(), 1);
        d->annuler();
        b.horloge.avancer(5000);
        QCOMPARE(d->tentatives(), 1);
        QCOMPARE(issue.signauxFin, 0);
        QCOMPARE(b.serveur.nombre("/api/v1/messages"), 1);
    }

    void connexionImpossible()
    {
        BancClient b;
        b.avecCle();
        ConfigClientIA c = b.creer().config();
        c.urlAnthropic = adresseFermee();
        b.client = std::make_unique<ClientIA>(c);
        Issue issue;
        auto* d = b.envoyer(requete(QStringLiteral("analyse")), issue);
        for (int delai : {600, 1200}) {
            QTRY_COMPARE(b.horloge.minuteriesActives(), 1);
            b.horloge.avancer(delai);
        }
        QTRY_VERIFY(issue.termine());
        QCOMPARE(d->tentatives(), 3);
        QCOMPARE(*issue.message, QStringLiteral("Connexion impossible. Vérifiez votre accès à internet."));
    }

    void corpsDErreurPlafonne()
    {
        BancClient b;
        b.avecCle();
        ReponseFaux r;
        r.statut = 400;
        r.morceau(QByteArray(200000, 'a'));
        b.serveur.ajouter(r);
        Issue issue;
        b.envoyer(requete(QStringLiteral("objection")), issue);
        QTRY_VERIFY(issue.termine());
        QCOMPARE(issue.statut, 400);
        QCOMPARE(issue.message->size(), 64000);
    }

    void annulationSilencieuse()
    {
        BancClient b;
        b.avecCle();
        ReponseFaux r;
        r.fermer = false;
        r.morceau(fakes::debutMessage() + fakes::deltaTexte("{\"a\":\"b\""));
        b.serveur.ajouter(r);
        Issue issue;
        auto* d = b.envoyer(requete(QStringLiteral("objection")), issue);
        QTRY_COMPARE(issue.partiels.size(), 1);
        d->annuler();
        b.serveur.envoyer(fakes::deltaTexte("}") + fakes::finMessage() + fakes::arretMessage());
        b.horloge.avancer(100000);
        QTRY_COMPARE(b.serveur.connexionsOuvertes(), 0);
        QCOMPARE(issue.signauxFin, 0);
        QCOMPARE(issue.partiels.size(), 1);
        QCOMPARE(b.horloge.minuteriesActives(), 0);
    }

    void payloadIllisibleNEnvoieRien_data()
    {
        QTest::addColumn<QJsonValue>("payload");
        QTest::newRow("indefini") << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("NaN") << QJsonValue(QJsonObject{{"x", std::nan("")}});
        QTest::newRow("infini profond") << QJsonValue(QJsonObject{{"l", QJsonArray{1, std::numeric_limits<double>::infinity()}}});
    }
    void payloadIllisibleNEnvoieRien()
    {
        QFETCH(QJsonValue, payload);
        BancClient b;
        b.relais = b.serveur.url().toString();
        RequeteIA r = requete(QStringLiteral("objection"));
        r.payload = payload;
        Issue issue;
        b.envoyer(r, issue);
        QTRY_VERIFY(issue.termine());
        QCOMPARE(*issue.message, messages::payloadIllisible);
        QCOMPARE(b.serveur.requetes().size(), 0);
    }

    void demonstration()
    {
        BancClient b;   // no key, no relay, no account
        RequeteIA r = requete(QStringLiteral("objection"));
        Issue reel;
        b.envoyer(r, reel);
        QTRY_VERIFY(reel.termine());
        QCOMPARE(*reel.message, messages::aucuneRoute);
        QVERIFY(reel.partiels.isEmpty());

        r.demo = true;
        Issue demo;
        b.envoyer(r, demo);
        QTRY_COMPARE(b.horloge.minuteriesActives(), 1);   // the imitated streaming
        QVERIFY(!demo.termine());
        b.horloge.avancer(350);
        QVERIFY(demo.termine());
        QVERIFY(!demo.message);
        auto attendu = b.moteur.appelerTexte(QStringLiteral("reponseDemo"), {r.tache, r.payload});
        QVERIFY(attendu);
        QCOMPARE(*demo.texte, attendu.valeur());
        QCOMPARE(demo.infos.source, SourceIA::demo);
        QCOMPARE(demo.partiels.size(), 1);
        QCOMPARE(b.serveur.requetes().size(), 0);

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
        Issue issue;
        b.envoyer(req, issue);
        QTRY_VERIFY(issue.termine());
        QCOMPARE(issue.texte.value_or(QString()), QStringLiteral("{\"ok\":true}"));
        QCOMPARE(issue.infos.source, SourceIA::cloud);
        QCOMPARE(QStringList({issue.infos.modele.value_or(QString()), issue.infos.prompt.value_or(QString())}),
                 (QStringList{"claude-opus-5-5", "prompt-objection-v3"}));
        QCOMPARE(b.cloud->dernierDelaiMs, 150000);
        const fakes::RequeteRecue& q = b.serveur.requetes().last();
        QCOMPARE(q.chemin, QByteArray("/functions/v1/claude"));
        QCOMPARE(q.json(), (QJsonObject{{"tache", "objection"}, {"payload", req.payload}, {"appelId", "appel-7"}}));
        QVERIFY(b.cloud->journal.isEmpty());
    }

    void cloudErreursEtJournal_data()
    {
        QTest::addColumn<ReponseFaux>("reponse");
        QTest::addColumn<bool>("sessionExpiree");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("type");
        auto erreur = [](int statut, const QByteArray& corps) {
            ReponseFaux r;
            r.statut = statut;
            r.morceau(corps);
            return r;
        };
        QTest::newRow("max_tokens") << ReponseFaux::flux({"{\"a\":"}, QStringLiteral("max_tokens")) << false << "Réponse incomplète. Réessayez." << "reponse_incomplete";
        QTest::newRow("vide") << ReponseFaux::flux({}) << false << "Réponse illisible. Relancez la demande." << "reponse_illisible";
        QTest::newRow("coupee") << ReponseFaux::flux({"x"}, QStringLiteral("end_turn"), false) << false << "La réponse a été coupée. Réessayez." << "flux_coupe";
        QTest::newRow("refus") << ReponseFaux::flux({"x"}, QStringLiteral("refusal")) << false
                               << "Quillo ne peut pas répondre à cette demande. Reformulez-la et réessayez." << "refus";
        QTest::newRow("fonction desactivee") << erreur(403, "{\"code\":\"fonction_desactivee\",\"message\":\"Claude is off\"}") << false
                                             << "Le serveur refuse cette demande." << "fonction_desactivee";
        QTest::newRow("session expiree") << ReponseFaux() << true << "Votre session a expiré. Reconnectez-vous." << "session";
        QTest::newRow("412") << erreur(412, "{\"code\":\"compte_introuvable\"}") << false
                             << "Quillo n'est pas encore disponible sur le serveur. Ajoutez votre clé dans Réglages, ou réessayez plus tard."
                             << "compte_introuvable";
    }
    void cloudErreursEtJournal()
    {
        QFETCH(ReponseFaux, reponse);
        QFETCH(QString, message);
        QFETCH(QString, type);
        BancClient b;
        b.avecCloud();
        b.serveur.ajouter(reponse);
        QFETCH(bool, sessionExpiree);
        b.cloud->sessionExpiree = sessionExpiree;
        RequeteIA req = requete(QStringLiteral("objection"));
        req.appelId = QStringLiteral("appel-9");
        Issue issue;
        b.envoyer(req, issue);
        QTRY_VERIFY(issue.termine());
        QCOMPARE(issue.message.value_or(QString()), message);
        QCOMPARE(issue.type, type);
        QCOMPARE(b.cloud->journal.size(), 1);
        QCOMPARE(champs(b.cloud->journal[0], {"source", "type", "message", "details.tache", "details.type", "details.appel_id"}),
                 QStringList({"app", "relais_claude", message, "objection", type, "appel-9"}).join(" | "));
        QVERIFY(b.cloud->journal[0].value("details").toObject().contains("statut"));
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
        Issue issue;
        auto* d = b.envoyer(requete(QStringLiteral("objection")), issue);
        QTRY_COMPARE(b.horloge.minuteriesActives(), 1);
        b.horloge.avancer(499);
        QCOMPARE(d->tentatives(), 1);
        b.horloge.avancer(1);
        QCOMPARE(d->tentatives(), 2);
        QTRY_VERIFY(issue.termine());
        QCOMPARE(issue.texte.value_or(QString()), QStringLiteral("ok"));

        // No network on the backend route.
        b.cloud = std::make_unique<fakes::FauxCloudIA>(adresseFermee(), b.horloge);
        b.creer();
        Issue hs;
        b.envoyer(requete(QStringLiteral("objection")), hs);
        QTRY_COMPARE(b.horloge.minuteriesActives(), 1);
        b.horloge.avancer(600);
        QTRY_VERIFY(hs.termine());
        QCOMPARE(*hs.message, QStringLiteral("Pas de connexion. Quillo a besoin d'internet."));
        QCOMPARE(hs.type, QStringLiteral("reseau"));
        QCOMPARE(b.cloud->journal.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestClientIA)
#include "tst_clientia.moc"
