// The pre-call brief generator: the request it sends, how it reads the answer,
// its failure messages, cancellation, one generation at a time, and the real
// client on the demonstration route and on the own-key route (fake Messages server).
#include "ai/demonstration.h"
#include "ai/erreursclaude.h"
#include "ai/generateurbrief.h"
#include "clientia_banc.h"
#include "fakes/clientiascripte.h"
#include "model/store.h"
#include "moteur_commun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace vd;
using namespace vd::ai;
using vd::tests::BancClient;
using vd::tests::champs;

namespace {

ParametresBrief pour(const QString& contact, const QString& type = QStringLiteral("negociation"))
{
    return {contact, type, QString(), QStringLiteral("aucune"), QStringLiteral("fr")};
}

// What the generator announced.
struct Suivi {
    std::optional<model::Brief> brief;
    std::optional<QString> message;
    std::optional<ParametresBrief> parametres;
    int signaux = 0;
    QList<bool> etats;
};

// Apostrophes in raw strings are written \u0027: the moc of Qt 6.4 misreads a raw string holding one.
const char* reponseModele = R"({
  "pointsCles": ["Elle porte le dossier devant le comité.", "  ", "Analyse faite avec Claude Sonnet 4.5 hier."],
  "objectionsProbables": [{"objection": "C\u0027est trop cher.", "parade": "Par rapport à quoi ?"}, {"objection": "", "parade": "orpheline"}],
  "questions": ["Qui signe ?", "Pour quand ?"],
  "objectifMesurable": "Obtenir une date de signature.",
  "ouverture": "Bonjour Sophie, on reprend la proposition ?",
  "briefEtapes": [{"etapeId": "closing", "objectif": "Signer", "questions": ["Quand ?"], "transition": ""},
                  {"etapeId": "inconnue", "objectif": "X", "questions": [], "transition": ""}],
  "qualification": [{"itemId": "Décideur", "nom": "", "connu": "Le comité", "manque": "", "question": ""}]
})";

} // namespace

class TstGenerateurBrief : public QObject {
    Q_OBJECT
    platform::HorlogeFactice horloge;
    Moteur moteur{QStringLiteral(VD_RESOURCES_DIR "/moteur.js")};

    static model::Etat etatAvecContactReel(Moteur& m)
    {
        std::optional<model::Etat> e = etatDemonstration(m);
        if (!e)
            return {};
        e->contacts.append(*model::Contact::depuisJson(
            QJsonObject{{"id", "c_reel"}, {"prenom", "Lucie"}, {"nom", "Vidal"}, {"societe", "Brevia"}, {"etape", "contacte"}}));
        return *e;
    }
    static void suivre(GenerateurBrief& g, Suivi& s)
    {
        QObject::connect(&g, &GenerateurBrief::pret, &g, [&s](const ParametresBrief& p, const model::Brief& b) {
            s.brief = b;
            s.parametres = p;
            ++s.signaux;
        });
        QObject::connect(&g, &GenerateurBrief::echec, &g, [&s](const ParametresBrief& p, const QString& m) {
            s.message = m;
            s.parametres = p;
            ++s.signaux;
        });
        QObject::connect(&g, &GenerateurBrief::enCoursChange, &g, [&s](bool e) { s.etats << e; });
    }

    struct Banc {
        model::Store store;
        fakes::ClientIAScripte client;
        GenerateurBrief generateur;
        Suivi suivi;
        Banc(Moteur& m, platform::Horloge& h) : store(QString(), h), generateur(store, m, client)
        {
            store.remplacerEtat(etatAvecContactReel(m));
            suivre(generateur, suivi);
        }
    };

    // The generator over the real client of a client bench.
    struct BancRoute {
        model::Store store;
        GenerateurBrief generateur;
        Suivi suivi;
        explicit BancRoute(BancClient& c) : store(QString(), c.horloge), generateur(store, c.moteur, c.creer())
        {
            store.remplacerEtat(etatAvecContactReel(c.moteur));
            suivre(generateur, suivi);
        }
    };

private Q_SLOTS:
    void initTestCase()
    {
        const model::Etat e = etatAvecContactReel(moteur);
        QVERIFY(e.contacts.size() > 10);
        QVERIFY(moteur.appeler(QStringLiteral("chargerEtat"), {model::versObjetJson(e)}));
    }

    void requeteEtReponse()
    {
        Banc b(moteur, horloge);
        QVERIFY(b.store.etat().contact(QStringLiteral("c_garnier")));
        const ParametresBrief p = pour(QStringLiteral("c_garnier"));
        QVERIFY(b.generateur.generer(p));
        QVERIFY(b.generateur.enCours());
        QCOMPARE(b.suivi.etats, QList<bool>{true});
        QCOMPARE(b.client.requetes.size(), 1);
        const RequeteIA& r = b.client.requetes.first();
        QCOMPARE(QStringList({r.tache, r.modele}), (QStringList{"brief", "claude-sonnet-5-5"}));
        QVERIFY(r.formatStructure);
        QVERIFY(r.demo);   // a contact of the demonstration data
        QCOMPARE(champs(r.payload, {"contact.societe", "type"}), QStringLiteral("Lumen Facility | negociation"));

        b.client.derniere()->terminer(QString::fromUtf8(reponseModele));
        QCOMPARE(b.suivi.signaux, 1);
        QVERIFY(!b.suivi.message);
        QCOMPARE(*b.suivi.parametres, p);
        QVERIFY(!b.generateur.enCours());
        QCOMPARE(b.suivi.etats, (QList<bool>{true, false}));
        const model::Brief& brief = *b.suivi.brief;
        // Blank entries dropped, vendor names replaced.
        QCOMPARE(brief.pointsCles, (QStringList{QStringLiteral("Elle porte le dossier devant le comité."), QStringLiteral("Analyse faite avec Quillo hier.")}));
        // Steps and qualification read against the sales process and the grid of the call.
        QCOMPARE(champs(model::versObjetJson(brief), {"objectionsProbables.*.parade", "questions.length", "objectifMesurable", "ouverture",
                                                      "briefEtapes.*.etapeId", "qualification.*.itemId", "qualification.*.nom"}),
                 QStringLiteral("[\"Par rapport à quoi ?\"] | 2 | Obtenir une date de signature. | Bonjour Sophie, on reprend la proposition ? | "
                                "[\"closing\"] | [\"decideur\"] | [\"Décideur\"]"));
    }

    void demonstrationSeulementPourLesDonneesDeDemo()
    {
        Banc b(moteur, horloge);
        QVERIFY(b.generateur.generer(pour(QStringLiteral("c_reel"), QStringLiteral("decouverte"))));
        QVERIFY(!b.client.requetes.first().demo);
        QCOMPARE(champs(b.client.requetes.first().payload, {"contact.societe"}), QStringLiteral("Brevia"));
    }

    // Answers read leniently (the objective and the number of key points), and answers that cannot be read.
    void lectureSouple()
    {
        const QJsonValue payload = moteur.appelerJSON(QStringLiteral("payloadBrief"), {pour(QStringLiteral("c_garnier")).versJson()}).valeurOu(QJsonValue());
        auto cas = [&](const QString& texte, const QString& objectif, int points) {
            const auto b = GenerateurBrief::lireReponse(moteur, texte, payload);
            QCOMPARE(b ? QStringLiteral("%1 | %2").arg(b->objectifMesurable).arg(b->pointsCles.size()) : QStringLiteral("illisible"),
                     QStringLiteral("%1 | %2").arg(objectif).arg(points));
        };
        cas("```json\n{\"objectifMesurable\":\"Signer\",\"pointsCles\":[\"A\"]}\n```", "Signer", 1);   // in a code fence
        cas("Voici le brief : {\"objectifMesurable\":\"Signer\",\"pointsCles\":[\"A\",\"B\"]} Bon appel !", "Signer", 2);   // in a sentence
        cas("{\"pointsCles\":\"Un seul point\"}", "", 1);
        cas("{\"objectifMesurable\":\"Obtenir la date\",\"pointsCles\":[\"A\",\"B", "Obtenir la date", 2);   // cut short
        cas("{\"brief\":{\"objectifMesurable\":\"Signer\"}}", "Signer", 0);   // wrapped
        cas("{\"objectifMesurable\":42}", "42", 0);

        // The generator says so, and is free again.
        for (const QString& texte : {"", "Désolé, je ne peux pas préparer ce brief.", "{}", "{\"pointsCles\":[],\"questions\":[\" \"],\"objectifMesurable\":\"\"}",
                                     "[1, 2, 3]", "{\"pointsCles\":{\"a\":1},\"ouverture\":null,\"objectionsProbables\":\"prix\"}"}) {
            Banc b(moteur, horloge);
            QVERIFY(b.generateur.generer(pour(QStringLiteral("c_garnier"))));
            b.client.derniere()->terminer(texte);
            QCOMPARE(b.suivi.signaux, 1);
            QVERIFY(!b.suivi.brief);
            QCOMPARE(texte + " → " + b.suivi.message.value_or(QString()), texte + " → Le brief reçu est illisible. Réessayez dans un instant.");
            QVERIFY(!b.generateur.enCours());
        }
    }

    // A failure of the client: the brief's own message, except when no route is open.
    void echecs()
    {
        const QString echec = QStringLiteral("Le brief n'a pas pu être généré. Vérifiez votre connexion et réessayez.");
        for (const auto& [duClient, affiche] : {std::pair(messages::reseau, echec), std::pair(QStringLiteral("Quillo est très demandé. Réessayez dans un instant."), echec),
                                                std::pair(messages::tropLong, echec), std::pair(messages::demoSansReponse, echec), std::pair(QString(), echec),
                                                std::pair(messages::aucuneRoute, messages::aucuneRoute)}) {
            Banc b(moteur, horloge);
            QVERIFY(b.generateur.generer(pour(QStringLiteral("c_reel"))));
            b.client.derniere()->echouer(duClient);
            QCOMPARE(b.suivi.signaux, 1);
            QCOMPARE(duClient + " → " + b.suivi.message.value_or(QString()), duClient + " → " + affiche);
            QVERIFY(!b.generateur.enCours());
            QVERIFY(b.generateur.generer(pour(QStringLiteral("c_reel"))));   // nothing holds the next attempt back
        }
    }

    void annulation()
    {
        Banc b(moteur, horloge);
        QVERIFY(b.generateur.generer(pour(QStringLiteral("c_garnier"))));
        QPointer<fakes::DemandeScriptee> d = b.client.derniere();
        b.generateur.annuler();
        QVERIFY(d && d->annulee);
        QVERIFY(!b.generateur.enCours());
        QCOMPARE(b.suivi.etats, (QList<bool>{true, false}));
        // A late answer of the cancelled request is ignored.
        Q_EMIT d->fini(QString::fromUtf8(reponseModele), InfosGeneration{});
        QCOMPARE(b.suivi.signaux, 0);
        b.generateur.annuler();   // nothing running: no signal
        QCOMPARE(b.suivi.etats.size(), 2);
        QVERIFY(b.generateur.generer(pour(QStringLiteral("c_morel"), QStringLiteral("decouverte"))));
        b.client.derniere()->terminer(QString::fromUtf8(reponseModele));
        QCOMPARE(b.suivi.signaux, 1);
        QCOMPARE(b.suivi.parametres->contactId, QStringLiteral("c_morel"));
    }

    void uneGenerationALaFois()
    {
        Banc b(moteur, horloge);
        QVERIFY(b.generateur.generer(pour(QStringLiteral("c_garnier"))));
        const auto refus = b.generateur.generer(pour(QStringLiteral("c_morel"), QStringLiteral("decouverte")));
        QVERIFY(!refus);
        QCOMPARE(refus.erreur(), QStringLiteral("Un brief est déjà en préparation."));
        QCOMPARE(b.client.requetes.size(), 1);
        QCOMPARE(b.generateur.parametresEnCours()->contactId, QStringLiteral("c_garnier"));
        b.client.derniere()->terminer(QString::fromUtf8(reponseModele));
        QCOMPARE(b.suivi.parametres->contactId, QStringLiteral("c_garnier"));
        QVERIFY(b.generateur.generer(pour(QStringLiteral("c_morel"), QStringLiteral("decouverte"))));
        QCOMPARE(b.client.requetes.size(), 2);
    }

    void sansContact()
    {
        Banc b(moteur, horloge);
        for (const auto& [contact, message] : {std::pair("", "Choisissez d'abord la personne que vous appelez."),
                                               std::pair("c_parti", "Ce contact est introuvable : choisissez-en un autre pour préparer le brief.")}) {
            const auto r = b.generateur.generer(pour(QString::fromUtf8(contact)));
            QCOMPARE(r ? QString() : r.erreur(), QString::fromUtf8(message));
        }
        QVERIFY(b.client.requetes.isEmpty());
        QVERIFY(!b.generateur.enCours());
        QVERIFY(b.suivi.etats.isEmpty());
    }

    void routeDeDemonstration()
    {
        BancClient c;   // no key, no relay, no account
        BancRoute r(c);
        auto& [store, g, s] = r;
        QVERIFY(g.generer(pour(QStringLiteral("c_marchand"), QStringLiteral("demo"))));
        QTRY_COMPARE(c.horloge.minuteriesActives(), 1);   // the imitated streaming
        c.horloge.avancer(350);
        QTRY_COMPARE(s.signaux, 1);
        QVERIFY2(!s.message, qPrintable(s.message.value_or(QString())));
        QVERIFY(s.brief->pointsCles.size() >= 3 && s.brief->ouverture.startsWith(QStringLiteral("Bonjour Élodie")));
        QCOMPARE(champs(model::versObjetJson(*s.brief), {"briefEtapes.length", "qualification.length"}), QStringLiteral("1 | 4"));
        QCOMPARE(c.serveur.requetes().size(), 0);

        // A real contact is never answered by canned text.
        QVERIFY(g.generer(pour(QStringLiteral("c_reel"), QStringLiteral("decouverte"))));
        QTRY_COMPARE(s.signaux, 2);
        QCOMPARE(s.message.value_or(QString()), messages::aucuneRoute);
    }

    void routeDeLaCle()
    {
        BancClient c;
        c.avecCle();
        BancRoute r(c);
        auto& [store, g, s] = r;
        const QString texte = QString::fromUtf8(reponseModele);
        c.serveur.ajouter(fakes::ReponseFaux::flux({texte.left(120), texte.mid(120)}, QStringLiteral("end_turn"), true, QStringLiteral("claude-sonnet-5-5")));
        QVERIFY(g.generer(pour(QStringLiteral("c_reel"), QStringLiteral("decouverte"))));
        QTRY_COMPARE(s.signaux, 1);
        QVERIFY2(!s.message, qPrintable(s.message.value_or(QString())));
        QCOMPARE(s.brief->objectifMesurable, QStringLiteral("Obtenir une date de signature."));
        QCOMPARE(c.serveur.requetes().size(), 1);
        const QJsonObject corps = c.serveur.requetes().first().json();
        QCOMPARE(champs(corps, {"model", "stream"}), QStringLiteral("claude-sonnet-5-5 | true"));
        QVERIFY(corps.value("system").toString().contains(QStringLiteral("brief")));
        QVERIFY(champs(corps, {"output_config.format.schema.required"}).contains(QStringLiteral("\"objectionsProbables\"")));
        QVERIFY(champs(corps, {"messages.0.content"}).contains(QStringLiteral("Lucie Vidal")));

        // A refused request shows the brief's own message.
        c.serveur.ajouter(fakes::ReponseFaux::erreur(400, QStringLiteral("invalid request")));
        QVERIFY(g.generer(pour(QStringLiteral("c_reel"), QStringLiteral("decouverte"))));
        QTRY_COMPARE(s.signaux, 2);
        QCOMPARE(s.message.value_or(QString()), GenerateurBrief::messageEchec());
        QVERIFY(!g.enCours());
    }
};

QTEST_GUILESS_MAIN(TstGenerateurBrief)
#include "tst_generateurbrief.moc"
