// vd-test: postgres
// The team's alert thresholds against the real procedures on a private
// PostgreSQL: the defaults before any change, a manager's save (clamped) read
// back by a member, and a member refused.
#include "../cloud/outilscloud.h"
#include "platform/preferences.h"
#include "team/pilotageequipe.h"

#include <QTest>

using namespace vd;
using namespace vd::team;
using vd::fakes::BasePostgres;
using vd::tests::attendre;

class TestPilotagePostgres : public QObject {
    Q_OBJECT
    std::unique_ptr<tests::BancCloud> b;
    platform::PreferencesMemoire prefs;

    std::unique_ptr<PilotageEquipe> pilotage()
    {
        PilotageEquipe::Collaborateurs c;
        c.defaults = &prefs;
        cloud::ClientSupabase* client = b->client.get();
        c.client = [client] { return client; };
        c.lireMoi = [client] { return client->session() ? client->session()->utilisateur.id : QString(); };
        c.lireAppels = [] { return QList<model::Appel>{}; };
        return std::make_unique<PilotageEquipe>(std::move(c));
    }

private Q_SLOTS:
    void init()
    {
        if (BasePostgres::connexionEnvironnement().isEmpty())
            QSKIP("Sans base PostgreSQL (lancer par scripts/avec-postgres.sh)");
        QStandardPaths::setTestModeEnabled(true);
        b = std::make_unique<tests::BancCloud>();
        QVERIFY2(b->serveur.utiliserPostgres(), qPrintable(b->serveur.base() ? b->serveur.base()->erreur() : QString()));
        QVERIFY(b->demarrer());
    }
    void cleanup() { b.reset(); }

    void seuilsDuManagerLusParLeMembre()
    {
        BasePostgres* base = b->serveur.base();
        const QString paule = b->serveur.ajouterUtilisateur(QStringLiteral("paule@exemple.fr"), QStringLiteral("motdepasse1"));
        const QString kim = b->serveur.ajouterUtilisateur(QStringLiteral("kim@exemple.fr"), QStringLiteral("motdepasse1"));
        const QString org = base->executer(QStringLiteral("insert into public.organisations (nom, sieges, proprietaire_id) "
                                                          "values ('Ventes Nord', 3, ?::uuid) returning id::text"),
                                           {paule}).value(0).toString();
        QVERIFY2(!org.isEmpty(), qPrintable(base->erreur()));
        base->executer(QStringLiteral("insert into public.membres values (?::uuid, ?::uuid, 'proprietaire', now()), "
                                      "(?::uuid, ?::uuid, 'commercial', now())"), {org, paule, org, kim});

        QVERIFY(b->connecter(QStringLiteral("paule@exemple.fr")));
        auto manager = pilotage();
        attendre(manager->chargerSeuils());
        QCOMPARE(manager->seuils().retardMinutes, 2.0);
        QCOMPARE(manager->seuils().scoreBas, 50.0);
        QVERIFY(manager->seuils().modifiable);
        SeuilsEquipe s = manager->seuils();
        s.retardMinutes = 5;
        s.suiviFrameworkMin = 130;   // clamped before sending
        s.scoreBas = 40;
        QCOMPARE(attendre(manager->reglerSeuils(s)), std::optional<QString>());
        QCOMPARE(manager->seuils().suiviFrameworkMin, 100.0);
        QVERIFY(manager->seuils().majLe.has_value());

        attendre(b->client->deconnecter());
        QVERIFY(b->connecter(QStringLiteral("kim@exemple.fr")));
        auto membre = pilotage();
        attendre(membre->chargerSeuils());
        QCOMPARE(membre->seuils().retardMinutes, 5.0);
        QCOMPARE(membre->seuils().suiviFrameworkMin, 100.0);
        QCOMPARE(membre->seuils().scoreBas, 40.0);
        QVERIFY(!membre->seuils().modifiable);
        s.scoreBas = 10;
        QCOMPARE(attendre(membre->reglerSeuils(s)), std::optional<QString>(PilotageEquipe::messageSeuilsEchec()));
        QCOMPARE(membre->seuils().scoreBas, 40.0);
        QCOMPARE(base->executer(QStringLiteral("select score_bas::int from public.seuils_equipe")), QVariantList{40});
    }

    void horsEquipe()
    {
        QVERIFY(b->connecter(QStringLiteral("lea@exemple.fr")));
        auto p = pilotage();
        SeuilsEquipe s;
        QCOMPARE(attendre(p->reglerSeuils(s)), std::optional<QString>(PilotageEquipe::messageHorsEquipe()));
    }
};

QTEST_GUILESS_MAIN(TestPilotagePostgres)
#include "tst_pilotage_postgres.moc"
