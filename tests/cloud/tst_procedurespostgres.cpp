// vd-test: postgres
// The backend client against the emulator in its PostgreSQL mode: the real
// procedures of the migrations answer "rest/v1/rpc/NAME", with PostgREST's
// statuses and error bodies, the caller's role and claims, and two accounts
// that never see each other's data.
#include "cloud/compte.h"
#include "outilscloud.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

using namespace vd::cloud;
using vd::fakes::BasePostgres;
using vd::fakes::ReponseHttpFactice;
using vd::fakes::RequeteHttp;
using vd::tests::attendre;

namespace {

QJsonObject objet(const char* json) { return QJsonDocument::fromJson(json).object(); }

QStringList ids(const QJsonObject& reponse, const QString& collection)
{
    QStringList r;
    for (const QJsonValue& v : reponse.value(QStringLiteral("changements")).toObject().value(collection).toArray())
        r.append(v.toObject().value(QStringLiteral("id")).toString());
    r.sort();
    return r;
}

} // namespace

class TestProceduresPostgres : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        if (BasePostgres::connexionEnvironnement().isEmpty())
            QSKIP("Sans base PostgreSQL (lancer par scripts/avec-postgres.sh)");
        QStandardPaths::setTestModeEnabled(true);
        b = std::make_unique<vd::tests::BancCloud>();
        QVERIFY2(b->serveur.utiliserPostgres(), qPrintable(b->serveur.base() ? b->serveur.base()->erreur() : QString()));
        QVERIFY(b->demarrer());
    }
    void cleanup() { b.reset(); }

    void monCompteDuCompteCree()
    {
        b->serveur.ajouterUtilisateur(QStringLiteral("lea@exemple.fr"), QStringLiteral("motdepasse1"), true,
                                      QJsonObject{{QStringLiteral("nom"), QStringLiteral("Léa Martin")}});
        QVERIFY(b->connecter());
        auto r = attendre(b->client->appelerProcedure(QStringLiteral("mon_compte"), {}, 30'000));
        QVERIFY2(r.ok(), qPrintable(r.ok() ? QString() : r.erreur().message));
        const QJsonObject c = r.valeur().qt().toObject().value(QStringLiteral("compte")).toObject();
        QCOMPARE(c.value(QStringLiteral("email")).toString(), QStringLiteral("lea@exemple.fr"));
        QCOMPARE(c.value(QStringLiteral("nom")).toString(), QStringLiteral("Léa Martin"));
        QCOMPARE(c.value(QStringLiteral("id")).toString(), b->client->session()->utilisateur.id);
        QVERIFY(r.valeur().qt().toObject().value(QStringLiteral("organisation")).isNull());
        const QDateTime serveur = QDateTime::fromString(
            r.valeur().qt().toObject().value(QStringLiteral("serveurMaintenant")).toString(), Qt::ISODateWithMs);
        QVERIFY(serveur.isValid());
        QVERIFY(qAbs(serveur.secsTo(QDateTime::currentDateTimeUtc())) < 600);
    }

    void serveurMaintenantEstUnTexte()
    {
        QVERIFY(b->connecter());
        auto r = attendre(b->client->appelerProcedure(QStringLiteral("serveur_maintenant"), {}, 30'000));
        QVERIFY(r.ok());
        QVERIFY(r.valeur().qt().isString());
        QVERIFY(QDateTime::fromString(r.valeur().qt().toString(), Qt::ISODateWithMs).isValid());
    }

    void anonymeRefuse()
    {
        auto r = attendre(b->client->appelerProcedure(QStringLiteral("mon_compte"), {}, 30'000));
        QVERIFY(!r.ok());
        QCOMPARE(r.erreur().genre, ErreurCloud::Genre::base);
        QCOMPARE(r.erreur().statut, 401);
        QCOMPARE(r.erreur().code, QStringLiteral("42501"));
        QCOMPARE(b->serveur.requetes(QStringLiteral("/rest/v1/rpc/mon_compte")).value(0).entete("authorization"),
                 QByteArray("Bearer cle-anon-test"));
    }

    void procedureOuArgumentInconnus_data()
    {
        QTest::addColumn<QString>("nom");
        QTest::addColumn<QJsonObject>("parametres");
        QTest::newRow("procédure") << QStringLiteral("inexistante") << QJsonObject();
        QTest::newRow("argument") << QStringLiteral("mon_compte") << QJsonObject{{QStringLiteral("p_x"), 1}};
        QTest::newRow("argument manquant") << QStringLiteral("accepter_invitation") << QJsonObject();
        QTest::newRow("nom douteux") << QStringLiteral("mon_compte();drop") << QJsonObject();
    }
    void procedureOuArgumentInconnus()
    {
        QFETCH(QString, nom);
        QFETCH(QJsonObject, parametres);
        QVERIFY(b->connecter());
        auto r = attendre(b->client->appelerProcedure(nom, parametres, 30'000));
        QVERIFY(!r.ok());
        QCOMPARE(r.erreur().statut, 404);
        QCOMPARE(r.erreur().code, QStringLiteral("PGRST202"));
        QCOMPARE(r.erreur().message, messages::generique);
    }

    void pousserPuisTirer()
    {
        QVERIFY(b->connecter());
        const QJsonObject lot = objet(R"({"p_depuis": null, "p_changements": {
            "contacts": [{"id": "c1", "nom": "Durand", "majLe": "2026-03-01T09:00:00.000Z", "creeLe": "2026-03-01T09:00:00.000Z"},
                         {"id": "c2", "nom": "Martin", "majLe": "2026-03-01T09:00:00.000Z"}],
            "interactions": [{"nom": "sans identifiant", "majLe": "2026-03-01T09:00:00.000Z"}]},
            "p_options": {"equipe": false, "limite_appels": 50, "recharger": false}})");
        auto r = attendre(b->client->appelerProcedure(QStringLiteral("synchroniser"), lot, 45'000));
        QVERIFY2(r.ok(), qPrintable(r.ok() ? QString() : r.erreur().message));
        const QJsonObject poussee = r.valeur().qt().toObject();
        QCOMPARE(poussee.value(QStringLiteral("refuses")).toArray(),
                 (QJsonArray{QJsonObject{{QStringLiteral("collection"), QStringLiteral("interactions")},
                                         {QStringLiteral("id"), QJsonValue()}, {QStringLiteral("raison"), QStringLiteral("sans_id")}}}));
        QVERIFY(poussee.value(QStringLiteral("complet")).toBool());

        auto t = attendre(b->client->appelerProcedure(
            QStringLiteral("synchroniser"), QJsonObject{{QStringLiteral("p_depuis"), poussee.value(QStringLiteral("prochain_depuis"))}}, 45'000));
        QVERIFY(t.ok());
        const QJsonObject tiree = t.valeur().qt().toObject();
        QCOMPARE(ids(tiree, QStringLiteral("contacts")), (QStringList{QStringLiteral("c1"), QStringLiteral("c2")}));
        const QJsonObject c1 = tiree.value(QStringLiteral("changements")).toObject().value(QStringLiteral("contacts")).toArray()
                                   .at(0).toObject();
        QCOMPARE(c1.value(QStringLiteral("compteId")).toString(), b->client->session()->utilisateur.id);

        // Up to date: nothing more, and the cursor does not go back.
        auto u = attendre(b->client->appelerProcedure(
            QStringLiteral("synchroniser"), QJsonObject{{QStringLiteral("p_depuis"), tiree.value(QStringLiteral("prochain_depuis"))}}, 45'000));
        QVERIFY(u.ok());
        QCOMPARE(u.valeur().qt().toObject().value(QStringLiteral("changements")).toObject(), QJsonObject());
    }

    void parametreInvalide_data()
    {
        QTest::addColumn<QJsonObject>("parametres");
        QTest::addColumn<QString>("message");
        QTest::newRow("collection") << objet(R"({"p_changements": {"inconnue": []}})") << QStringLiteral("Collection inconnue : inconnue.");
        QTest::newRow("curseur") << objet(R"({"p_depuis": "hier"})") << QStringLiteral("Curseur de synchronisation invalide.");
        QTest::newRow("limite") << objet(R"({"p_options": {"limite_appels": 0}})")
                                << QStringLiteral("Option « limite_appels » invalide : un entier de 1 à 1000.");
    }
    void parametreInvalide()
    {
        QFETCH(QJsonObject, parametres);
        QFETCH(QString, message);
        QVERIFY(b->connecter());
        auto r = attendre(b->client->appelerProcedure(QStringLiteral("synchroniser"), parametres, 45'000));
        QVERIFY(!r.ok());
        QCOMPARE(r.erreur().statut, 400);
        QCOMPARE(r.erreur().code, QStringLiteral("22023"));
        QCOMPARE(r.erreur().message, message);
    }

    void refusMetierAvecIndice()
    {
        QVERIFY(b->connecter());
        auto r = attendre(b->client->appelerProcedure(
            QStringLiteral("refuser_invitation"), QJsonObject{{QStringLiteral("p_invitation"), QUuid::createUuid().toString(QUuid::WithoutBraces)}}, 30'000));
        QVERIFY(!r.ok());
        QCOMPARE(r.erreur().statut, 400);
        QCOMPARE(r.erreur().code, QStringLiteral("P0001"));
        QCOMPARE(r.erreur().message, QStringLiteral("Cette invitation n'existe plus."));
        const QJsonObject corps = QJsonDocument::fromJson(b->serveur.derniereReponse(QStringLiteral("refuser_invitation"))).object();
        QCOMPARE(corps.value(QStringLiteral("hint")).toString(), QStringLiteral("invitation_introuvable"));
        QVERIFY(corps.contains(QStringLiteral("details")));
    }

    // The team and account functions of the emulator on the real database,
    // through Compte: invite, the invitee sees and accepts, the manager sees the
    // member; a salesperson is refused; the invitee then deletes the account.
    void equipeEtCompteParLesFonctions()
    {
        vd::fakes::BasePostgres* base = b->serveur.base();
        const QString proprio = b->serveur.ajouterUtilisateur(QStringLiteral("paule@exemple.fr"), QStringLiteral("motdepasse1"));
        const QString kim = b->serveur.ajouterUtilisateur(QStringLiteral("kim@exemple.fr"), QStringLiteral("motdepasse1"));
        const QString org = base->executer(QStringLiteral("insert into public.organisations (nom, sieges, proprietaire_id) "
                                                          "values ('Ventes Nord', 3, ?::uuid) returning id::text"),
                                           {proprio}).value(0).toString();
        QVERIFY2(!org.isEmpty(), qPrintable(base->erreur()));
        base->executer(QStringLiteral("insert into public.membres values (?::uuid, ?::uuid, 'proprietaire', now()), "
                                      "(?::uuid, ?::uuid, 'commercial', now())"), {org, proprio, org, kim});
        QTemporaryDir dossier;
        vd::platform::ReseauFactice reseau;
        Compte compte(b->client.get(), dossier.path(), reseau, b->horloge);
        compte.demarrer();
        auto connecter = [&](const QString& email) {
            QSignalSpy rafraichi(&compte, &Compte::rafraichi);
            return b->connecter(email) && (rafraichi.count() > 0 || rafraichi.wait(10'000)) && rafraichi.last().at(0).toBool();
        };

        QVERIFY(connecter(QStringLiteral("paule@exemple.fr")));
        auto f = attendre(compte.actionEquipe(QJsonObject{{QStringLiteral("action"), QStringLiteral("inviter")},
                                                          {QStringLiteral("email"), QStringLiteral("Lea@exemple.fr ")},
                                                          {QStringLiteral("role_org"), QStringLiteral("manager")},
                                                          {QStringLiteral("envoyer_email"), true}}));
        QVERIFY2(f.ok(), qPrintable(f.ok() ? QString() : f.erreur().message));
        const QString invitation = f.valeur().qt().toObject().value(QStringLiteral("id")).toString();
        QCOMPARE(b->serveur.emailsInvitation, QStringList{QStringLiteral("lea@exemple.fr")});

        attendre(b->client->deconnecter());
        QVERIFY(connecter(QStringLiteral("lea@exemple.fr")));
        const QJsonObject recue = compte.infos()->value(QStringLiteral("invitations")).toArray().at(0).toObject();
        QCOMPARE(recue.value(QStringLiteral("id")).toString(), invitation);
        QCOMPARE(recue.value(QStringLiteral("organisationNom")).toString(), QStringLiteral("Ventes Nord"));
        QVERIFY(attendre(compte.accepter(invitation)).ok());

        attendre(b->client->deconnecter());
        QVERIFY(connecter(QStringLiteral("paule@exemple.fr")));
        QStringList membres;
        for (const QJsonValue& m : compte.equipe()->value(QStringLiteral("membres")).toArray())
            membres << m[QStringLiteral("email")].toString() + QLatin1Char(':') + m[QStringLiteral("roleOrg")].toString();
        QCOMPARE(membres, (QStringList{QStringLiteral("kim@exemple.fr:commercial"), QStringLiteral("paule@exemple.fr:proprietaire"),
                                       QStringLiteral("lea@exemple.fr:manager")}));
        QCOMPARE(compte.equipe()->value(QStringLiteral("placesLibres")).toInt(), 0);
        QCOMPARE(compte.equipe()->value(QStringLiteral("invitations")).toArray().size(), 0);

        attendre(b->client->deconnecter());
        QVERIFY(connecter(QStringLiteral("kim@exemple.fr")));
        auto refus = attendre(compte.actionEquipe(QJsonObject{{QStringLiteral("action"), QStringLiteral("inviter")},
                                                              {QStringLiteral("email"), QStringLiteral("x@exemple.fr")}}));
        QVERIFY(!refus.ok());
        QCOMPARE(refus.erreur().genre, ErreurCloud::Genre::fonction);
        QCOMPARE(refus.erreur().code, QStringLiteral("requete_invalide"));
        QCOMPARE(refus.erreur().message, QStringLiteral("Seuls le propriétaire et les managers de l'équipe peuvent la gérer."));

        // Léa deletes her account: the confirmation is her e-mail, typed in any case.
        attendre(b->client->deconnecter());
        QVERIFY(connecter(QStringLiteral("lea@exemple.fr")));
        auto apercu = attendre(compte.apercuSuppression());
        QVERIFY(apercu.ok());
        QCOMPARE(apercu.valeur().qt()[QStringLiteral("confirmation")].toString(), QStringLiteral("lea@exemple.fr"));
        auto mauvais = attendre(compte.supprimerCompte(QStringLiteral("lea@exemple")));
        QVERIFY(!mauvais.ok());
        QCOMPARE(mauvais.erreur().message, QStringLiteral("Pour confirmer, tapez votre adresse email : lea@exemple.fr"));
        QVERIFY(attendre(compte.supprimerCompte(QStringLiteral(" LEA@exemple.fr"))).ok());
        QCOMPARE(compte.etat(), Compte::Etat::deconnecte);
        QCOMPARE(base->executer(QStringLiteral("select count(*)::int from auth.users where email = 'lea@exemple.fr'")),
                 QVariantList{0});
        QCOMPARE(base->executer(QStringLiteral("select count(*)::int from public.membres")), QVariantList{2});
        QVERIFY(!b->serveur.existe(QStringLiteral("lea@exemple.fr")));
    }

    // Without a signed-in user the functions answer 401 "non_connecte".
    void fonctionSansConnexion()
    {
        auto r = attendre(b->client->appelerFonction(QStringLiteral("compte"), QJsonObject{{QStringLiteral("action"), QStringLiteral("apercu")}}, 30'000));
        QVERIFY(!r.ok());
        QCOMPARE(r.erreur().statut, 401);
        QCOMPARE(r.erreur().code, QStringLiteral("non_connecte"));
    }

    // Two accounts through the HTTP path: B neither reads nor overwrites A's records.
    void deuxComptesIsoles()
    {
        QVERIFY(b->connecter(QStringLiteral("a@exemple.fr")));
        QVERIFY(attendre(b->client->appelerProcedure(QStringLiteral("synchroniser"),
            objet(R"({"p_changements": {"contacts": [{"id": "c1", "nom": "De A", "majLe": "2026-03-01T09:00:00.000Z"}]}})"), 45'000)).ok());
        attendre(b->client->deconnecter());
        QVERIFY(b->connecter(QStringLiteral("b@exemple.fr")));
        auto p = attendre(b->client->appelerProcedure(QStringLiteral("synchroniser"),
            objet(R"({"p_changements": {"contacts": [{"id": "c1", "nom": "De B", "majLe": "2030-01-01T00:00:00.000Z"}]}})"), 45'000));
        QVERIFY(p.ok());
        auto t = attendre(b->client->appelerProcedure(QStringLiteral("synchroniser"), QJsonObject{{QStringLiteral("p_depuis"), QJsonValue()}}, 45'000));
        QVERIFY(t.ok());
        const QJsonArray contacts = t.valeur().qt().toObject().value(QStringLiteral("changements")).toObject()
                                        .value(QStringLiteral("contacts")).toArray();
        QCOMPARE(contacts.size(), 1);
        QCOMPARE(contacts.at(0).toObject().value(QStringLiteral("nom")).toString(), QStringLiteral("De B"));
        const QVariantList noms = b->serveur.base()->executer(QStringLiteral(
            "select c.donnees ->> 'nom' from public.contacts c join public.comptes k on k.id = c.compte_id where k.email = 'a@exemple.fr'"));
        QCOMPARE(noms, (QVariantList{QStringLiteral("De A")}));
    }

private:
    std::unique_ptr<vd::tests::BancCloud> b;
};

QTEST_GUILESS_MAIN(TestProceduresPostgres)
#include "tst_procedurespostgres.moc"
