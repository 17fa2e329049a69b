// The assistant's conversation loop against a local Messages server replaying event streams.
#include "ai/moteur.h"
#include "../ai/moteur_commun.h"
#include "assistant/quillosession.h"
#include "fakes/fauxmessages.h"
#include "model/store.h"
#include "platform/coffre.h"
#include "platform/horloge.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTest>

using namespace vd;
using assistant::ElementQuillo;
using assistant::QuilloSession;
using tests::champs;

namespace {

QByteArray ev(const char* type, QJsonObject o)
{
    o.insert(QStringLiteral("type"), QString::fromLatin1(type));
    return fakes::evenementSSE(type, o);
}
QByteArray debut() { return ev("message_start", {{"message", QJsonObject{{"id", "m"}, {"role", "assistant"}, {"model", "claude-sonnet-5-5"}}}}); }
QByteArray ouvrir(int i, QJsonObject bloc) { return ev("content_block_start", {{"index", i}, {"content_block", bloc}}); }
QByteArray texte(int i, const QString& t) { return ouvrir(i, {{"type", "text"}, {"text", ""}}) + ev("content_block_delta", {{"index", i}, {"delta", QJsonObject{{"type", "text_delta"}, {"text", t}}}}) + ev("content_block_stop", {{"index", i}}); }
QByteArray outil(int i, const QString& id, const QString& nom) { return ouvrir(i, {{"type", "tool_use"}, {"id", id}, {"name", nom}, {"input", QJsonObject()}}); }
QByteArray json(int i, const QString& partiel) { return ev("content_block_delta", {{"index", i}, {"delta", QJsonObject{{"type", "input_json_delta"}, {"partial_json", partiel}}}}); }
QByteArray stop(int i) { return ev("content_block_stop", {{"index", i}}); }
QByteArray fin(const QString& raison) { return ev("message_delta", {{"delta", QJsonObject{{"stop_reason", raison}}}}) + ev("message_stop", {}); }
fakes::ReponseFaux flux(const QByteArray& corps, bool fermer = true)
{
    fakes::ReponseFaux r;
    r.entete("content-type", "text/event-stream");
    r.morceau(corps);
    r.fermer = fermer;
    return r;
}
QByteArray appelOutil(const QString& id, const QString& nom, const QString& entree)
{
    return debut() + outil(0, id, nom) + json(0, entree) + stop(0) + fin(QStringLiteral("tool_use"));
}
QByteArray reponse(const QString& t) { return debut() + texte(0, t) + fin(QStringLiteral("end_turn")); }

QJsonArray messages(const fakes::RequeteRecue& r) { return r.json().value(QLatin1String("messages")).toArray(); }

} // namespace

class TestQuilloSession : public QObject {
    Q_OBJECT

    platform::HorlogeFactice horloge;
    platform::CoffreMemoire coffre;
    QNetworkAccessManager reseau;
    std::unique_ptr<ai::Moteur> moteur;
    std::unique_ptr<fakes::FauxMessages> serveur;
    std::unique_ptr<model::Store> store;

    std::unique_ptr<QuilloSession> session(std::optional<assistant::SourceQuillo> forcee = assistant::SourceQuillo::cle)
    {
        assistant::ConfigQuillo c;
        c.client.routes.coffre = &coffre;
        c.client.routes.connecte = [] { return false; };
        c.client.moteur = moteur.get();
        c.client.horloge = &horloge;
        c.client.reseau = &reseau;
        c.client.urlAnthropic = serveur->url();
        c.sourceForcee = forcee;
        return std::make_unique<QuilloSession>(*store, c);
    }
    bool attendre(QuilloSession& s)
    {
        for (int i = 0; i < 2000 && s.enCours(); ++i) {
            horloge.avancer(10);
            QTest::qWait(2);
        }
        return !s.enCours();
    }
    static QStringList textes(const QuilloSession& s, ElementQuillo::Genre g)
    {
        QStringList l;
        for (const ElementQuillo& e : s.conversation().affichage)
            if (e.genre == g)
                l << e.texte;
        return l;
    }
    void memoire(bool active)
    {
        store->modifier([&](model::Etat& e) {
            QJsonObject q = e.reglages.quillo.qt().toObject();
            q.insert(QStringLiteral("memoire"), active);
            e.reglages.quillo = model::JSONValeur(q);
        });
    }

private Q_SLOTS:
    void init()
    {
        moteur = std::make_unique<ai::Moteur>(QStringLiteral(VD_RESOURCES_DIR "/moteur.js"));
        serveur = std::make_unique<fakes::FauxMessages>();
        QVERIFY(serveur->demarrer());
        horloge.fixer(QDateTime(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC));
        auto demo = moteur->appelerJSON(QStringLiteral("etatDemo"), {QStringLiteral("2026-12-07")});
        QVERIFY(demo);
        store = std::make_unique<model::Store>(QString(), horloge);
        store->remplacerEtat(*model::Etat::depuisJson(demo.valeur()), true);
        coffre.ecrire(ai::cleAnthropic, QStringLiteral("sk-essai"));
        coffre.ecrire(ai::cleWorkspace, QStringLiteral("ws-42"));
    }

    void boucleADeuxTours()
    {
        // Thinking, then two tool calls whose input deltas interleave.
        serveur->ajouter(flux(debut() +
                              ouvrir(0, {{"type", "thinking"}, {"thinking", ""}}) +
                              ev("content_block_delta", {{"index", 0}, {"delta", QJsonObject{{"type", "thinking_delta"}, {"thinking", "Je regarde."}}}}) +
                              ev("content_block_delta", {{"index", 0}, {"delta", QJsonObject{{"type", "signature_delta"}, {"signature", "sig=="}}}}) +
                              stop(0) + outil(1, "toolu_a", "chercher_contacts") + outil(2, "toolu_b", "pipeline") +
                              json(1, "{\"requete\":") + json(2, "{") + json(1, "\"Morel\"}") + json(2, "}") + stop(1) + stop(2) +
                              fin("tool_use")));
        serveur->ajouter(flux(reponse(QStringLiteral("Julien Morel est au stade Contacté."))));
        auto s = session();
        s->demander(QStringLiteral("Où en est Julien Morel ?"));
        QVERIFY(attendre(*s));
        QCOMPARE(serveur->requetes().size(), 2);
        const auto& r0 = serveur->requetes()[0];
        QCOMPARE((QByteArrayList{r0.entetes.value("x-api-key"), r0.entetes.value("anthropic-version"), r0.entetes.value("anthropic-workspace-id")}),
                 (QByteArrayList{"sk-essai", "2023-06-01", "ws-42"}));
        QCOMPARE(r0.json().value(QLatin1String("stream")).toBool(), true);
        // The second round sends the thinking block whole, the inputs put together, and the two results in order.
        const QJsonArray m = messages(serveur->requetes()[1]);
        QCOMPARE(champs(m, {"length", "1.content.length", "1.content.0", "1.content.1.input", "2.content.*.tool_use_id"}),
                 QStringLiteral("3 | 3 | {\"signature\":\"sig==\",\"thinking\":\"Je regarde.\",\"type\":\"thinking\"} | {\"requete\":\"Morel\"} | "
                                "[\"toolu_a\",\"toolu_b\"]"));
        QCOMPARE(champs(QJsonDocument::fromJson(m[2]["content"][0]["content"].toString().toUtf8()).object(), {"contacts.0.id"}), QStringLiteral("c_morel"));
        QCOMPARE(textes(*s, ElementQuillo::Genre::outil), (QStringList{QStringLiteral("Recherche dans le CRM…"), QStringLiteral("Lecture du pipeline…")}));
        QCOMPARE(textes(*s, ElementQuillo::Genre::reponse), QStringList{QStringLiteral("Julien Morel est au stade Contacté.")});
        QCOMPARE(s->outilsAppeles(), (QStringList{QStringLiteral("chercher_contacts"), QStringLiteral("pipeline")}));
        // The conversation was saved, its messages ending on the final answer.
        const auto sauvees = QuilloSession::conversations(*store);
        QCOMPARE(sauvees.size(), 1);
        QCOMPARE(sauvees[0].messages.size(), 4);
    }

    void coupureOuArretPuisNouvelleQuestion_data()
    {
        QTest::addColumn<bool>("arret");
        QTest::addColumn<QString>("message");
        QTest::newRow("coupure") << false << QStringLiteral("La réponse a été coupée. Réessayez.");
        QTest::newRow("arret") << true << QStringLiteral("Réponse arrêtée.");
    }
    void coupureOuArretPuisNouvelleQuestion()
    {
        QFETCH(bool, arret);
        QFETCH(QString, message);
        // Text, then a tool call cut in the middle of its input.
        serveur->ajouter(flux(debut() + texte(0, QStringLiteral("Je cherche")) + outil(1, "toolu_x", "lire_contact") + json(1, "{\"id\":\"c_mo"), !arret));
        serveur->ajouter(flux(reponse(QStringLiteral("Voilà."))));
        auto s = session();
        s->demander(QStringLiteral("Lis la fiche de Morel"));
        if (arret) {
            QTRY_VERIFY(!textes(*s, ElementQuillo::Genre::reponse).isEmpty());
            s->arreter();
        }
        QVERIFY(attendre(*s));
        QCOMPARE(textes(*s, ElementQuillo::Genre::erreur).last(), message);
        QCOMPARE(textes(*s, ElementQuillo::Genre::reponse), QStringList{QStringLiteral("Je cherche")});
        s->demander(QStringLiteral("Et maintenant ?"));
        QVERIFY(attendre(*s));
        QCOMPARE(textes(*s, ElementQuillo::Genre::reponse).last(), QStringLiteral("Voilà."));
        // No tool call without its result: the two questions form one user turn.
        const QJsonArray m = messages(serveur->requetes()[1]);
        QCOMPARE(m.size(), 1);
        QVERIFY(!QJsonDocument(m).toJson().contains("tool_use"));
    }

    void propositionAppliqueeDefaiteEtNoteDApp()
    {
        serveur->ajouter(flux(debut() + outil(0, "toolu_n", "ajouter_note") + json(0, "{\"contactId\":\"c_morel\",\"texte\":\"Rappeler lundi\"}") + stop(0) +
                              outil(1, "toolu_i", "ajouter_note") + json(1, "{\"contactId\":") + stop(1) + fin("tool_use")));
        serveur->ajouter(flux(reponse(QStringLiteral("La note est prête."))));
        serveur->ajouter(flux(reponse(QStringLiteral("Bien noté."))));
        auto s = session();
        s->demander(QStringLiteral("Ajoute une note à Julien Morel : rappeler lundi"));
        QVERIFY(attendre(*s));
        const QJsonArray r = QJsonValue(messages(serveur->requetes()[1])[2])["content"].toArray();
        QCOMPARE(QStringList({r[0]["content"].toString(), r[1]["content"].toString()}), (QStringList{"{\"statut\":\"attente\"}", "Entrée invalide."}));
        QCOMPARE(s->conversation().enAttente, QStringList{QStringLiteral("toolu_n")});
        const qsizetype avant = store->etat().interactions.size();

        s->appliquer(QStringLiteral("toolu_n"));
        auto carte = [&] {
            for (const ElementQuillo& e : s->conversation().affichage)
                if (e.toolUseId == QLatin1String("toolu_n"))
                    return e;
            return ElementQuillo();
        };
        QCOMPARE(carte().statut.value_or(QString()), QStringLiteral("applique"));
        QCOMPARE(store->etat().interactions.size(), avant + 1);
        QCOMPARE(store->etat().interactions.last().resume + "/" + store->etat().interactions.last().contactId, QStringLiteral("Rappeler lundi/c_morel"));
        QVERIFY(s->conversation().enAttente.isEmpty());

        s->defaire(QStringLiteral("toolu_n"));
        QCOMPARE(carte().statut.value_or(QString()), QStringLiteral("defait"));
        QCOMPARE(store->etat().interactions.size(), avant);

        // The decisions travel as app notes with the next question, never as a second tool result.
        s->demander(QStringLiteral("Merci"));
        QVERIFY(attendre(*s));
        const QJsonArray m = messages(serveur->requetes()[2]);
        const QByteArray dernier = QJsonDocument(m.last().toObject()).toJson();
        QVERIFY(dernier.contains("(Note de l'app : "));
        QVERIFY(!dernier.contains("tool_result"));
        QCOMPARE(QJsonDocument(m).toJson().count("\"tool_use_id\": \"toolu_n\""), 1);
    }

    void propositionLaisseeDeCote()
    {
        serveur->ajouter(flux(appelOutil(QStringLiteral("toolu_p"), QStringLiteral("prochaine_etape"),
                                         QStringLiteral("{\"contactId\":\"c_morel\",\"texte\":\"Démo\",\"echeance\":\"2026-12-10\"}"))));
        serveur->ajouter(flux(reponse(QStringLiteral("À vous de voir."))));
        auto s = session();
        s->demander(QStringLiteral("Quelle suite pour Morel ?"));
        QVERIFY(attendre(*s));
        const auto avant = store->etat().contact(QStringLiteral("c_morel"))->prochaineAction;
        s->ignorer(QStringLiteral("toolu_p"));
        QCOMPARE(assistant::libelleStatut(s->conversation().affichage[1].statut.value_or(QString())), QStringLiteral("Laissé de côté"));
        QCOMPARE(store->etat().contact(QStringLiteral("c_morel"))->prochaineAction, avant);
        // Reopened later, the card keeps its state.
        auto autre = session();
        QVERIFY(autre->ouvrir(s->conversation().id));
        QCOMPARE(autre->conversation().affichage[1].statut.value_or(QString()), QStringLiteral("ignore"));
    }

    void memoire_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<QString>("affiche");
        QTest::newRow("active") << true << QStringLiteral("Retenu : Préfère les rendez-vous le matin");
        QTest::newRow("desactivee") << false << QStringLiteral("Mémoire désactivée : rien n'est retenu.");
    }
    void memoire()
    {
        QFETCH(bool, active);
        QFETCH(QString, affiche);
        memoire(active);
        serveur->ajouter(flux(appelOutil(QStringLiteral("toolu_m"), QStringLiteral("memoire"),
                                         QStringLiteral("{\"action\":\"retenir\",\"fait\":\"Préfère les rendez-vous le matin\"}"))));
        serveur->ajouter(flux(reponse(QStringLiteral("Entendu."))));
        auto s = session();
        s->demander(QStringLiteral("Retiens que je préfère le matin"));
        QVERIFY(attendre(*s));
        QCOMPARE(textes(*s, ElementQuillo::Genre::memoire), QStringList{affiche});
        QCOMPARE(store->etat().quilloMemoire.contains(QStringLiteral("Préfère les rendez-vous le matin")), active);
        const QString resultat = messages(serveur->requetes()[1])[2].toObject().value(QLatin1String("content")).toArray()[0].toObject().value(QLatin1String("content")).toString();
        QCOMPARE(resultat.contains(QLatin1String("desactivee")), !active);
    }

    void grammaireRefuseeRepliSansStrict()
    {
        serveur->ajouter(fakes::ReponseFaux::erreur(400, QStringLiteral("tools.0: grammar too large for strict mode"), std::nullopt,
                                                    QStringLiteral("invalid_request_error")));
        serveur->ajouter(flux(reponse(QStringLiteral("Bonjour."))));
        auto s = session();
        s->demander(QStringLiteral("Bonjour"));
        QVERIFY(attendre(*s));
        QVERIFY(s->sansStrict());
        QVERIFY(serveur->requetes()[0].corps.contains("\"strict\":true"));
        QVERIFY(!serveur->requetes()[1].corps.contains("\"strict\""));
        QCOMPARE(textes(*s, ElementQuillo::Genre::erreur), QStringList{QStringLiteral("Demande illisible, Quillo la reformule")});
        QCOMPARE(textes(*s, ElementQuillo::Genre::reponse), QStringList{QStringLiteral("Bonjour.")});
    }

    void reponseQuiNeVientPas()
    {
        serveur->ajouter(flux(debut(), false));
        auto s = session();
        s->demander(QStringLiteral("Bonjour"));
        QTRY_COMPARE(serveur->requetes().size(), 1);
        QTest::qWait(50);
        horloge.avancer(61000);
        QVERIFY(!s->enCours());
        QCOMPARE(textes(*s, ElementQuillo::Genre::erreur), QStringList{QStringLiteral("Quillo met trop de temps à répondre. Réessayez.")});
    }

    void erreurHTTPDeBoutEnBout()
    {
        serveur->ajouter(fakes::ReponseFaux::erreur(401, QStringLiteral("invalid x-api-key"), std::nullopt, QStringLiteral("authentication_error")));
        auto s = session();
        s->demander(QStringLiteral("Bonjour"));
        QVERIFY(attendre(*s));
        QCOMPARE(textes(*s, ElementQuillo::Genre::erreur), QStringList{QStringLiteral("Votre clé est refusée. Vérifiez-la dans Réglages.")});
        // The question stays in the conversation.
        QCOMPARE(s->conversation().messages.size(), 1);
    }

    // The status, the server's message, its code and the route: the message shown.
    void tableDesErreurs()
    {
        using S = assistant::SourceQuillo;
        auto cas = [](int statut, const char* message, const char* code, S source, const char* attendu) {
            QCOMPARE(QString::number(statut) + code + ": " + assistant::messageErreurQuillo(statut, QString::fromUtf8(message), QString::fromUtf8(code), source),
                     QString::number(statut) + code + ": " + QString::fromUtf8(attendu));
        };
        cas(401, "", "", S::cle, "Votre clé est refusée. Vérifiez-la dans Réglages.");
        cas(403, "", "", S::cle, "Cette clé n'a pas accès à ce modèle. Choisissez-en un autre dans Réglages, Quillo.");
        cas(404, "", "", S::cle, "Ce modèle est introuvable. Choisissez-en un autre dans Réglages, Quillo.");
        cas(400, "prompt is too long: 250000 tokens", "", S::cle, "Cette conversation est trop longue. Ouvrez-en une nouvelle.");
        cas(400, "", "requete_trop_longue", S::cloud, "Cette conversation est trop longue. Ouvrez-en une nouvelle.");
        cas(429, "", "", S::cle, "Trop de demandes en même temps. Réessayez dans une minute.");
        cas(429, "", "", S::relais, "Quillo est très demandé. Réessayez dans quelques secondes.");
        cas(529, "", "overloaded_error", S::cloud, "Quillo est très demandé. Réessayez dans un instant.");
        cas(400, "API key is not scoped to a workspace", "", S::cle,
            "Cette clé Anthropic n'est liée à aucun workspace. Indiquez l'ID du workspace dans Réglages, Connexions, sous votre clé.");
        cas(403, "", "", S::relais, "La demande a été refusée. Réessayez, ou ouvrez une nouvelle conversation.");
        cas(412, "", "cle_serveur_absente", S::cloud, "Quillo n'est pas encore disponible. Réessayez plus tard.");
        cas(401, "", "cle_serveur_refusee", S::cloud, "Quillo est indisponible pour le moment. Nous sommes prévenus.");
        cas(0, "", "reseau", S::cloud, "Pas de connexion. Quillo a besoin d'internet.");
        cas(418, "teapot", "", S::cle, "Quillo n'a pas pu répondre. Réessayez.");
    }

    void historiqueCoupeSansOrphelin()
    {
        // A long history of tool rounds: what is kept starts on a question, never on a tool result.
        QJsonArray m;
        const QString long_(3000, QLatin1Char('x'));
        for (int i = 0; i < 60; ++i) {
            m.append(QJsonObject{{"role", "user"}, {"content", QStringLiteral("Question %1 ").arg(i) + long_}});
            m.append(QJsonObject{{"role", "assistant"}, {"content", QJsonArray{QJsonObject{{"type", "tool_use"}, {"id", QStringLiteral("t%1").arg(i)}, {"name", "pipeline"}, {"input", QJsonObject()}}}}});
            m.append(QJsonObject{{"role", "user"}, {"content", QJsonArray{QJsonObject{{"type", "tool_result"}, {"tool_use_id", QStringLiteral("t%1").arg(i)}, {"content", long_}}}}});
            m.append(QJsonObject{{"role", "assistant"}, {"content", QJsonArray{QJsonObject{{"type", "text"}, {"text", long_}}}}});
        }
        auto r = moteur->appelerJSON(QStringLiteral("quilloRequete"), {QJsonObject{{"messages", m}, {"mode", "page"}}});
        QVERIFY(r);
        QVERIFY(r.valeur().toObject().value(QLatin1String("historiqueCoupe")).toBool());
        const QJsonArray gardes = r.valeur().toObject().value(QLatin1String("corps")).toObject().value(QLatin1String("messages")).toArray();
        QVERIFY(gardes.size() > 0 && gardes.size() < m.size());
        QCOMPARE(gardes[0]["role"].toString(), QStringLiteral("user"));
        QVERIFY(gardes[0]["content"].isString());
        QCOMPARE(gardes.last().toObject(), m.last().toObject());
    }

    void demonstrationSansCle()
    {
        auto s = session(assistant::SourceQuillo::demo);
        s->demander(QStringLiteral("Quels prospects dois-je relancer cette semaine ?"));
        QVERIFY(attendre(*s));
        QCOMPARE(s->outilsAppeles(), QStringList{QStringLiteral("prochaines_actions")});
        QVERIFY(textes(*s, ElementQuillo::Genre::reponse).join(QString()).contains(QStringLiteral("Julien Morel")));
        QCOMPARE(serveur->requetes().size(), 0);

        s->demander(QStringLiteral("Ajoute une note à Julien Morel : rappeler lundi"));
        QVERIFY(attendre(*s));
        QCOMPARE(s->conversation().enAttente.size(), 1);
        const QString id = s->conversation().enAttente[0];
        const qsizetype avant = store->etat().interactions.size();
        s->appliquer(id);
        QCOMPARE(store->etat().interactions.size(), avant + 1);
        QCOMPARE(store->etat().interactions.last().resume, QStringLiteral("Rappeler lundi"));
        s->defaire(id);
        QCOMPARE(store->etat().interactions.size(), avant);
    }
};

QTEST_GUILESS_MAIN(TestQuilloSession)
#include "tst_quillosession.moc"
