// The backend route of the language-model client over the real backend
// client and the backend emulator: the streamed function "claude", its
// headers, its error codes, retries, and the error journal.
#include "ai/accescloudsupabase.h"
#include "ai/clientclaude.h"
#include "ai/moteur.h"
#include "cloud/outilscloud.h"
#include "moteur_commun.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace vd;
using namespace vd::ai;
using vd::fakes::FauxSupabase;
using vd::fakes::ReponseHttpFactice;

namespace {

QByteArray evenement(const QByteArray& nom, const QByteArray& json) { return "event: " + nom + "\ndata: " + json + "\n\n"; }

QList<QByteArray> fluxClaude(const QString& texte)
{
    const QByteArray t = QJsonDocument(QJsonArray{texte}).toJson(QJsonDocument::Compact);
    return {evenement("message_start", "{\"type\":\"message_start\",\"message\":{\"model\":\"m\"}}"),
            evenement("content_block_delta", "{\"type\":\"content_block_delta\",\"index\":0,\"delta\":{\"type\":"
                                             "\"text_delta\",\"text\":" + t.mid(1, t.size() - 2) + "}}"),
            evenement("message_delta", "{\"type\":\"message_delta\",\"delta\":{\"stop_reason\":\"end_turn\"}}"),
            evenement("message_stop", "{\"type\":\"message_stop\"}")};
}

struct IssueCloud {
    std::optional<QString> texte, message;
    QString type;
    InfosGeneration infos;
    bool fini() const { return texte || message; }
};

} // namespace

class TestClientIACloud : public QObject {
    Q_OBJECT
    tests::BancCloud banc_;
    std::unique_ptr<Moteur> moteur_;
    std::unique_ptr<AccesCloudSupabase> acces_;
    std::unique_ptr<ClientIA> client_;
    platform::CoffreMemoire coffre_;

    DemandeClaude* envoyer(const RequeteIA& r, IssueCloud& res)
    {
        auto* d = qobject_cast<DemandeClaude*>(client_->envoyer(r));
        d->setParent(client_.get());
        connect(d, &DemandeIA::fini, d, [&res](const QString& t, const InfosGeneration& i) {
            res.texte = t;
            res.infos = i;
        });
        connect(d, &DemandeIA::echec, d, [&res](const QString& m, const QString& type, int) {
            res.message = m;
            res.type = type;
        });
        return d;
    }
    static RequeteIA requete()
    {
        RequeteIA r;
        r.tache = QStringLiteral("objection");
        r.modele = QStringLiteral("claude-haiku-4-5");
        r.payload = QJsonObject{{"demande", "trop cher"}};
        r.appelId = QStringLiteral("appel-3");
        return r;
    }

private Q_SLOTS:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        banc_.serveur.viderPannes();
        banc_.serveur.viderJournal();
        banc_.serveur.tables.remove(QStringLiteral("erreurs_service"));
    }
    void initTestCase()
    {
        QVERIFY(banc_.demarrer());
        QVERIFY(banc_.connecter());
        moteur_ = std::make_unique<Moteur>(QStringLiteral(VD_RESOURCES_DIR "/moteur.js"));
        acces_ = std::make_unique<AccesCloudSupabase>(*banc_.client);
        ConfigClientIA c;
        c.cloud = acces_.get();
        c.moteur = moteur_.get();
        c.horloge = &banc_.horloge;
        c.routes.coffre = &coffre_;   // no key: the account is the route
        client_ = std::make_unique<ClientIA>(c);
    }

    void fonctionClaudeEnStreaming()
    {
        banc_.serveur.surFonction(QStringLiteral("claude"), [](const fakes::RequeteHttp&) {
            ReponseHttpFactice r = ReponseHttpFactice::flux(fluxClaude(QStringLiteral("{\"reponse\":\"Oui\"}")), 5);
            r.entetes.append(qMakePair(QByteArray("x-vd-modele"), QByteArray("claude-opus-5-5")));
            r.entetes.append(qMakePair(QByteArray("x-vd-prompt"), QByteArray("live-v2")));
            return r;
        });
        IssueCloud res;
        envoyer(requete(), res);
        QTRY_VERIFY(res.fini());
        QCOMPARE(res.texte.value_or(res.message.value_or(QString())), QStringLiteral("{\"reponse\":\"Oui\"}"));
        QCOMPARE(res.infos.source, SourceIA::cloud);
        QCOMPARE(res.infos.modele.value_or(QString()) + ' ' + res.infos.prompt.value_or(QString()), QStringLiteral("claude-opus-5-5 live-v2"));
        const QList<fakes::RequeteHttp> q = banc_.serveur.requetes(QStringLiteral("/functions/v1/claude"));
        QCOMPARE(q.size(), 1);
        QVERIFY(q[0].entete("authorization").startsWith("Bearer "));
        QCOMPARE(q[0].json().toObject(),
                 (QJsonObject{{"tache", "objection"}, {"payload", QJsonObject{{"demande", "trop cher"}}}, {"appelId", "appel-3"}}));
    }

    void limiteDeDebitReessayee()
    {
        banc_.serveur.surFonction(QStringLiteral("claude"), [](const fakes::RequeteHttp&) {
            return ReponseHttpFactice::flux(fluxClaude(QStringLiteral("ok")));
        });
        banc_.serveur.injecter(QStringLiteral("/functions/v1/claude"),
                               FauxSupabase::erreurFonction(429, QStringLiteral("rate_limit_error")));
        IssueCloud res;
        auto* d = envoyer(requete(), res);
        QTRY_VERIFY(d->reessaiEnAttente());
        QCOMPARE(d->tentatives(), 1);
        banc_.horloge.avancer(599);
        QCOMPARE(d->tentatives(), 1);
        banc_.horloge.avancer(1);
        QTRY_VERIFY(res.fini());
        QCOMPARE(d->tentatives(), 2);
        QCOMPARE(res.texte.value_or(res.message.value_or(QString())), QStringLiteral("ok"));
    }

    void refusJournalise()
    {
        banc_.serveur.injecter(QStringLiteral("/functions/v1/claude"),
                               FauxSupabase::erreurFonction(403, QStringLiteral("fonction_desactivee"),
                                                            QStringLiteral("Claude est désactivé")));
        IssueCloud res;
        envoyer(requete(), res);
        QTRY_VERIFY(res.fini());
        QCOMPARE(res.message.value_or(QString()), QStringLiteral("Le serveur refuse cette demande."));
        QCOMPARE(res.type, QStringLiteral("fonction_desactivee"));
        QTRY_COMPARE(banc_.serveur.tables.value(QStringLiteral("erreurs_service")).size(), 1);
        QCOMPARE(tests::champs(banc_.serveur.tables.value(QStringLiteral("erreurs_service")).at(0), {"type", "source", "details.appel_id", "details.statut"}),
                 QStringLiteral("relais_claude | app | appel-3 | 403"));
    }

    void sansCompteRefuseTout()
    {
        tests::BancCloud autre;
        QVERIFY(autre.demarrer());
        AccesCloudSupabase acces(*autre.client);
        QVERIFY(!acces.connecte());
        std::unique_ptr<FluxReponse> f(acces.ouvrirFlux(QStringLiteral("claude"), {}, 1000));
        std::optional<EchecFlux> e;
        connect(f.get(), &FluxReponse::echec, this, [&e](const EchecFlux& x) { e = x; });
        QTRY_VERIFY(e.has_value());
        QCOMPARE(int(e->genre), int(EchecFlux::Genre::session));
        QCOMPARE(e->message, QStringLiteral("Connectez-vous pour utiliser Quillo."));
        QCOMPARE(autre.serveur.journal().size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestClientIACloud)
#include "tst_clientia_cloud.moc"
