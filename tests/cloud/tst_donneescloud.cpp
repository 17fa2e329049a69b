// Data calls of the backend client (tables, procedures, functions, streamed
// functions) against the local backend emulator: what goes out, what comes
// back, and every failure with its French message.
#include "cloud/fluxfonction.h"
#include "outilscloud.h"

#include <QSignalSpy>

using namespace vd::cloud;
using vd::fakes::FauxSupabase;
using vd::fakes::ReponseHttpFactice;
using vd::fakes::RequeteHttp;
using vd::tests::attendre;

namespace {

// What a streamed call delivered.
struct Recu {
    QList<QByteArray> lignes;
    QByteArray brut;
    std::optional<ErreurCloud> erreur;
    bool fini = false;
    int reponses = 0;
    QByteArray modele;
};

void suivre(FluxFonction* f, Recu& r)
{
    QObject::connect(f, &FluxFonction::reponse, f, [f, &r](int) {
        ++r.reponses;
        r.modele = f->entete("x-vd-modele");
    });
    QObject::connect(f, &FluxFonction::ligne, f, [&r](const QByteArray& l) { r.lignes.append(l); });
    QObject::connect(f, &FluxFonction::donnees, f, [&r](const QByteArray& d) { r.brut.append(d); });
    QObject::connect(f, &FluxFonction::fini, f, [&r] { r.fini = true; });
    QObject::connect(f, &FluxFonction::echec, f, [&r](const ErreurCloud& e) { r.erreur = e; });
}

const QList<QByteArray> evenementsSse{
    "event: message_start\r\ndata: {\"type\":\"message_start\"}\r\n\r\n",
    "data: {\"type\":\"content_block_delta\",\"delta\":{\"type\":\"text_delta\",\"text\":\"Bon",
    "jour\"}}\n\n: ping\n\n",
    "data: {\"type\":\"message_stop\"}\n\n",
};

} // namespace

class TestDonneesCloud : public QObject {
    Q_OBJECT

    // A streamed call to "claude", followed until it ends.
    Recu fluxJusquAuBout(const QJsonObject& corps = {})
    {
        std::unique_ptr<FluxFonction> f(b->client->appelerFonctionFlux(QStringLiteral("claude"), corps));
        Recu recu;
        suivre(f.get(), recu);
        QTest::qWaitFor([&] { return recu.fini || recu.erreur; }, 10'000);
        return recu;
    }

private Q_SLOTS:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        b = std::make_unique<vd::tests::BancCloud>();
        QVERIFY(b->demarrer());
        QVERIFY(b->connecter());
    }
    void cleanup() { b.reset(); }

    void procedure()
    {
        b->serveur.surProcedure(QStringLiteral("synchroniser"), [](const RequeteHttp& r) {
            const QJsonObject p = r.json().toObject();
            return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("prochain_depuis"), p.value(QStringLiteral("p_depuis"))},
                                                             {QStringLiteral("complet"), true}});
        });
        const QJsonObject parametres{{QStringLiteral("p_depuis"), QStringLiteral("c1")}, {QStringLiteral("p_changements"), QJsonArray{}}};
        auto r = attendre(b->client->appelerProcedure(QStringLiteral("synchroniser"), parametres, 45'000));
        QVERIFY(r.ok());
        QCOMPARE(r.valeur().qt().toObject().value(QStringLiteral("prochain_depuis")).toString(), QStringLiteral("c1"));
        const RequeteHttp req = b->serveur.requetes(QStringLiteral("/rest/v1/rpc/synchroniser")).value(0);
        QCOMPARE(req.methode, QByteArray("POST"));
        QCOMPARE(req.json().toObject(), parametres);
        QCOMPARE(req.entete("authorization"), "Bearer " + b->client->session()->accessToken.toUtf8());
        QCOMPARE(req.entete("apikey"), QByteArray("cle-anon-test"));
        QCOMPARE(req.entete("content-type"), QByteArray("application/json"));
    }

    void insertionEtSelection()
    {
        const QJsonArray lignes{QJsonObject{{QStringLiteral("id"), QStringLiteral("a")}, {QStringLiteral("note"), 3}},
                                QJsonObject{{QStringLiteral("id"), QStringLiteral("b")}, {QStringLiteral("note"), 5}}};
        auto r = attendre(b->client->inserer(QStringLiteral("commentaires"), lignes));
        QVERIFY(r.ok());
        QVERIFY(r.valeur().estNull());
        RequeteHttp req = b->serveur.requetes(QStringLiteral("/rest/v1/commentaires")).value(0);
        QCOMPARE(req.entete("prefer"), QByteArray("return=minimal"));
        QVERIFY(!req.requete.hasQueryItem(QStringLiteral("on_conflict")));

        const QJsonArray maj{QJsonObject{{QStringLiteral("id"), QStringLiteral("a")}, {QStringLiteral("note"), 4}}};
        r = attendre(b->client->inserer(QStringLiteral("commentaires"), maj, {QStringLiteral("id")}, ClientSupabase::Retour::representation));
        QVERIFY(r.ok());
        QCOMPARE(r.valeur().qt().toArray(), maj);
        req = b->serveur.requetes(QStringLiteral("/rest/v1/commentaires")).value(1);
        QCOMPARE(req.entete("prefer"), QByteArray("return=representation,resolution=merge-duplicates"));
        QCOMPARE(req.item(QStringLiteral("on_conflict")), QStringLiteral("id"));
        QCOMPARE(b->serveur.tables.value(QStringLiteral("commentaires")).size(), 2);

        QUrlQuery q;
        q.addQueryItem(QStringLiteral("select"), QStringLiteral("*"));
        q.addQueryItem(QStringLiteral("id"), QStringLiteral("eq.a"));
        auto s = attendre(b->client->selectionner(QStringLiteral("commentaires"), q));
        QVERIFY(s.ok());
        QCOMPARE(s.valeur().qt().toArray().size(), 1);
        QCOMPARE(s.valeur().qt().toArray()[0].toObject().value(QStringLiteral("note")).toInt(), 4);
        QCOMPARE(b->serveur.requetes(QStringLiteral("/rest/v1/commentaires")).value(2).methode, QByteArray("GET"));

        // Same key without the conflict columns: the server's refusal is passed on.
        r = attendre(b->client->inserer(QStringLiteral("commentaires"), maj));
        QCOMPARE(r.erreur().code, QStringLiteral("23505"));
        QCOMPARE(r.erreur().message, messages::generique);
    }

    void fonction()
    {
        b->serveur.surFonction(QStringLiteral("transcription-jeton"), [](const RequeteHttp& r) {
            return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("access_token"), QStringLiteral("tmp")},
                                                             {QStringLiteral("moteur"), r.json().toObject().value(QStringLiteral("moteur"))}});
        });
        const QJsonObject corps{{QStringLiteral("appelId"), QStringLiteral("A1")}, {QStringLiteral("moteur"), QStringLiteral("soniox")}};
        auto r = attendre(b->client->appelerFonction(QStringLiteral("transcription-jeton"), QJsonValue(corps), 15'000));
        QVERIFY(r.ok());
        QCOMPARE(r.valeur().qt().toObject().value(QStringLiteral("moteur")).toString(), QStringLiteral("soniox"));
        QCOMPARE(b->serveur.requetes(QStringLiteral("/functions/v1/transcription-jeton")).value(0).methode, QByteArray("POST"));

        b->serveur.surFonction(QStringLiteral("etat"), [](const RequeteHttp& r) {
            return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("corps"), QString::fromUtf8(r.corps)}});
        });
        r = attendre(b->client->appelerFonction(QStringLiteral("etat"), std::nullopt, 5000));
        QVERIFY(r.ok());
        const RequeteHttp get = b->serveur.requetes(QStringLiteral("/functions/v1/etat")).value(0);
        QCOMPARE(get.methode, QByteArray("GET"));
        QVERIFY(get.corps.isEmpty());
        QVERIFY(get.entete("content-type").isEmpty());
    }

    // Unreadable answers and a cut connection, on a function or a procedure.
    void erreurs_data()
    {
        QTest::addColumn<QString>("chemin");
        QTest::addColumn<int>("statut");   // 0: connection cut
        QTest::addColumn<QByteArray>("corps");
        QTest::addColumn<int>("genre");
        QTest::addColumn<QString>("message");
        QTest::newRow("fonction illisible") << "/functions/v1/f" << 200 << QByteArray("<<<") << int(ErreurCloud::Genre::illisible) << messages::generique;
        QTest::newRow("fonction coupée") << "/functions/v1/f" << 0 << QByteArray() << int(ErreurCloud::Genre::reseau)
                                         << "Pas de connexion. Vérifiez votre accès à internet.";
        QTest::newRow("procédure 2xx illisible") << "/rest/v1/rpc/f" << 200 << QByteArray("{\"a\":") << int(ErreurCloud::Genre::illisible)
                                                 << messages::generique;
    }
    void erreurs()
    {
        QFETCH(QString, chemin);
        QFETCH(int, statut);
        QFETCH(QByteArray, corps);
        QFETCH(int, genre);
        QFETCH(QString, message);
        ReponseHttpFactice panne = ReponseHttpFactice::texte(statut, corps, "application/json");
        panne.couper = statut == 0;
        b->serveur.injecter(chemin, panne, panne.couper ? 10 : 1);
        auto r = attendre(chemin.startsWith(QLatin1String("/rest")) ? b->client->appelerProcedure(QStringLiteral("f"), {}, 5000)
                                                                    : b->client->appelerFonction(QStringLiteral("f"), QJsonValue(QJsonObject()), 5000));
        QVERIFY(!r.ok());
        QCOMPARE(int(r.erreur().genre), genre);
        QCOMPARE(r.erreur().message, message);
        QVERIFY(b->client->connecte());
    }

    void fonctionDelaiDepasse()
    {
        ReponseHttpFactice muet;
        muet.retenir = true;
        b->serveur.injecter(QStringLiteral("/functions/v1/lent"), muet);
        auto t = b->client->appelerFonction(QStringLiteral("lent"), QJsonValue(QJsonObject()), 15'000);
        QTRY_COMPARE(b->serveur.nombre("POST", QStringLiteral("/functions/v1/lent")), 1);
        b->horloge.avancer(14'999);
        QVERIFY(!t.isReady());
        b->horloge.avancer(2);
        auto r = attendre(t);
        QCOMPARE(r.erreur().genre, ErreurCloud::Genre::reseau);
        QCOMPARE(r.erreur().message, QStringLiteral("Le serveur met trop de temps à répondre. Réessayez dans un instant."));
    }

    void flux()
    {
        b->serveur.surFonction(QStringLiteral("claude"), [](const RequeteHttp&) {
            ReponseHttpFactice r = ReponseHttpFactice::flux(evenementsSse, 5);
            r.entetes.append(qMakePair(QByteArray("x-vd-modele"), QByteArray("modele-test")));
            return r;
        });
        const QJsonObject corps{{QStringLiteral("tache"), QStringLiteral("objection")}, {QStringLiteral("payload"), QJsonObject()}};
        const Recu recu = fluxJusquAuBout(corps);
        QVERIFY(recu.fini && !recu.erreur);
        QCOMPARE(recu.reponses, 1);
        QCOMPARE(recu.modele, QByteArray("modele-test"));
        QCOMPARE(recu.brut, evenementsSse.join());
        const QList<QByteArray> attendu{"event: message_start",
                                        "data: {\"type\":\"message_start\"}",
                                        "",
                                        "data: {\"type\":\"content_block_delta\",\"delta\":{\"type\":\"text_delta\",\"text\":\"Bonjour\"}}",
                                        "",
                                        ": ping",
                                        "",
                                        "data: {\"type\":\"message_stop\"}",
                                        ""};
        QCOMPARE(recu.lignes, attendu);
        const RequeteHttp req = b->serveur.requetes(QStringLiteral("/functions/v1/claude")).value(0);
        QCOMPARE(req.json().toObject(), corps);
        QCOMPARE(req.entete("accept"), QByteArray("text/event-stream"));
        QCOMPARE(req.entete("authorization"), "Bearer " + b->client->session()->accessToken.toUtf8());
    }

    void fluxApres401()
    {
        b->serveur.surFonction(QStringLiteral("claude"), [](const RequeteHttp&) { return ReponseHttpFactice::flux(evenementsSse); });
        b->serveur.injecter(QStringLiteral("/functions/v1/claude"), FauxSupabase::erreurFonction(401, QStringLiteral("non_connecte")));
        const Recu recu = fluxJusquAuBout();
        QVERIFY(recu.fini);
        QCOMPARE(recu.brut, evenementsSse.join());   // nothing from the refused answer
        QCOMPARE(b->serveur.nombreRafraichissements(), 1);
        QCOMPARE(b->serveur.nombre("POST", QStringLiteral("/functions/v1/claude")), 2);
    }

    void fluxErreur()
    {
        b->serveur.injecter(QStringLiteral("/functions/v1/claude"),
                            ReponseHttpFactice::json(429, QJsonObject{{QStringLiteral("error"), QStringLiteral("rate_limit_error")},
                                                                      {QStringLiteral("retry_after"), 1.5},
                                                                      {QStringLiteral("details"), QJsonObject{{QStringLiteral("a"), 1}}}}));
        const Recu recu = fluxJusquAuBout();
        QVERIFY(recu.erreur);
        QCOMPARE(recu.erreur->genre, ErreurCloud::Genre::fonction);
        QCOMPARE(recu.erreur->statut, 429);
        QCOMPARE(recu.erreur->code, QStringLiteral("rate_limit_error"));
        QCOMPARE(recu.erreur->reessayerApres, std::optional<double>(1.5));
        QCOMPARE(recu.erreur->details->qt().toObject(), (QJsonObject{{QStringLiteral("a"), 1}}));
        QCOMPARE(recu.reponses, 0);
        QVERIFY(recu.lignes.isEmpty());
    }

    void fluxCoupe()
    {
        b->serveur.surFonction(QStringLiteral("claude"), [](const RequeteHttp&) {
            ReponseHttpFactice r = ReponseHttpFactice::flux(evenementsSse);
            r.couperApres = 2;
            return r;
        });
        const Recu recu = fluxJusquAuBout();
        QVERIFY(!recu.fini);
        QCOMPARE(recu.erreur->genre, ErreurCloud::Genre::reseau);
        QCOMPARE(recu.lignes.value(0), QByteArray("event: message_start"));
        QVERIFY(!recu.brut.contains("message_stop"));
    }

    void fluxSilencieuxExpire()
    {
        b->serveur.surFonction(QStringLiteral("claude"), [](const RequeteHttp&) {
            ReponseHttpFactice r = ReponseHttpFactice::flux({evenementsSse[0], evenementsSse[1]}, 60'000);
            return r;
        });
        std::unique_ptr<FluxFonction> f(b->client->appelerFonctionFlux(QStringLiteral("claude"), QJsonObject(), 20'000));
        Recu recu;
        suivre(f.get(), recu);
        QTRY_COMPARE(recu.lignes.size(), 3);
        b->horloge.avancer(20'001);
        QTRY_VERIFY(recu.erreur);
        QCOMPARE(recu.erreur->message, QStringLiteral("Le serveur met trop de temps à répondre. Réessayez dans un instant."));
    }

    void fluxAnnuleSansSignal()
    {
        b->serveur.surFonction(QStringLiteral("claude"), [](const RequeteHttp&) { return ReponseHttpFactice::flux(evenementsSse, 200); });
        std::unique_ptr<FluxFonction> f(b->client->appelerFonctionFlux(QStringLiteral("claude"), QJsonObject()));
        Recu recu;
        suivre(f.get(), recu);
        QTRY_VERIFY(!recu.lignes.isEmpty());
        f->annuler();
        const int n = recu.lignes.size();
        QTest::qWait(500);   // real I/O: the server keeps sending after the cancel
        QCOMPARE(recu.lignes.size(), n);
        QVERIFY(!recu.fini);
        QVERIFY(!recu.erreur);
    }

    void fluxSansSessionRefuseParLaFonction()
    {
        vd::tests::attendre(b->client->deconnecter());
        b->serveur.surFonction(QStringLiteral("claude"), [this](const RequeteHttp& r) {
            if (b->serveur.utilisateurDuJeton(QString::fromUtf8(r.entete("authorization").mid(7))).isEmpty())
                return FauxSupabase::erreurFonction(401, QStringLiteral("non_connecte"));
            return ReponseHttpFactice::flux(evenementsSse);
        });
        const Recu recu = fluxJusquAuBout();
        QCOMPARE(recu.erreur->message, QStringLiteral("Votre session a expiré. Reconnectez-vous."));
        QCOMPARE(b->serveur.nombreRafraichissements(), 0);
    }

private:
    std::unique_ptr<vd::tests::BancCloud> b;
};

QTEST_GUILESS_MAIN(TestDonneesCloud)
#include "tst_donneescloud.moc"
