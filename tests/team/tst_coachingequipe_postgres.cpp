// vd-test: postgres
// vd-test: timeout=300
// Team coaching on the real procedures: a manager and two salespeople of one
// team, and a salesperson of another team who sees none of it. Comments (on a
// moment or the whole call), pins, unread comments with their server mark and
// paging, objectives and ranking, the alert thresholds, the account change,
// and the command line.
#include "../cloud/outilscloud.h"
#include "platform/preferences.h"
#include "team/coachingequipe.h"
#include "team/pilotageequipe.h"
#include "team/propositionsframework.h"

#include <QJsonArray>

using namespace vd;
using team::CoachingEquipe;
using team::PilotageEquipe;

namespace {

struct Poste : tests::Poste {
    platform::PreferencesMemoire preferences;
    std::unique_ptr<CoachingEquipe> coaching;
    QString id;
};

template<typename T>
QString texteErreur(const Resultat<T, QString>& r)
{
    return r.ok() ? QString() : r.erreur();
}

} // namespace

class TestCoachingEquipePostgres : public QObject {
    Q_OBJECT

    std::unique_ptr<fakes::FauxSupabase> serveur;
    std::unique_ptr<Poste> paule, lea, marc, nina;
    QString appelLea;

    std::unique_ptr<Poste> poste(const QString& email)
    {
        auto p = std::make_unique<Poste>();
        p->id = serveur->ajouterUtilisateur(email, QStringLiteral("motdepasse1"), true,
                                            QJsonObject{{QStringLiteral("nom"), email.section(QLatin1Char('@'), 0, 0)}});
        if (!p->connecter(*serveur, email))
            return {};
        p->coaching = std::make_unique<CoachingEquipe>(p->client.get(), p->preferences);
        return p;
    }
    QVariantList sql(const QString& requete, const QVariantList& parametres = {})
    {
        return serveur->base()->executer(requete, parametres);
    }
    void appel(const QString& compte, const QString& id)
    {
        const QString debut = QDateTime::currentDateTimeUtc().addSecs(-600).toString(Qt::ISODateWithMs);
        const QString d = QString::fromUtf8(R"({"id": "%1", "statut": "analyse", "debut": "%2", "type": "decouverte", "duree": 300,
            "analyse": {"score": 72}, "transcript": [{"locuteur": "vous", "texte": "Bonjour", "debutMs": 0, "finMs": 900}]})");
        sql(QStringLiteral("insert into public.appels (compte_id, id, donnees, maj_le, cree_le) values (?::uuid, ?, ?::jsonb, now(), now())"),
            {compte, id, d.arg(id, debut)});
    }
    QJsonObject dernierCorps(const QString& procedure)
    {
        return serveur->requetes(QStringLiteral("/rest/v1/rpc/") + procedure).last().json().toObject();
    }

    // "vendalo MOTS ARGUMENTS…" in a data folder (the words split on spaces; the password on
    // the input of "cloud connecter"), its exit status checked; the test's event loop keeps
    // the emulator answering meanwhile. What it printed: its object, its list as "liste",
    // or its last error line as "erreur".
    QJsonObject lancer(const QTemporaryDir& dossier, const QString& mots, const QStringList& arguments = {}, int code = 0)
    {
        const SortieVendalo s = lancerVendalo(tests::environnementCloud(dossier, *serveur), mots.split(QLatin1Char(' ')) + arguments,
                                              mots.startsWith(QLatin1String("cloud")) ? "motdepasse1\n" : "");
        QTest::qCompare(s.code, code, qPrintable(mots), "code", __FILE__, __LINE__);
        return s.json().isArray() ? QJsonObject{{QStringLiteral("liste"), s.json().array()}}
                                  : code ? QJsonObject{{QStringLiteral("erreur"), s.derniereErreur()}} : s.json().object();
    }

private Q_SLOTS:
    void init()
    {
        if (fakes::BasePostgres::connexionEnvironnement().isEmpty())
            QSKIP("Sans base PostgreSQL (lancer par scripts/avec-postgres.sh)");
        QStandardPaths::setTestModeEnabled(true);
        serveur = std::make_unique<fakes::FauxSupabase>();
        QVERIFY2(serveur->utiliserPostgres(), qPrintable(serveur->base()->erreur()));
        QVERIFY(serveur->demarrer());
        paule = poste(QStringLiteral("paule@exemple.fr"));
        lea = poste(QStringLiteral("lea@exemple.fr"));
        marc = poste(QStringLiteral("marc@exemple.fr"));
        nina = poste(QStringLiteral("nina@exemple.fr"));
        QVERIFY(paule && lea && marc && nina);
        const QString commercial = QStringLiteral("commercial");
        QVERIFY(!tests::creerEquipe(*serveur->base(), QStringLiteral("Ventes Nord"), paule->id, 5,
                                    {{paule->id, QStringLiteral("manager")}, {lea->id, commercial}, {marc->id, commercial}}).isEmpty());
        QVERIFY(!tests::creerEquipe(*serveur->base(), QStringLiteral("Ventes Sud"), nina->id, 5, {{nina->id, commercial}}).isEmpty());
        appelLea = QStringLiteral("appel-lea");
        appel(lea->id, appelLea);
        appel(nina->id, QStringLiteral("appel-nina"));
    }
    void cleanup()
    {
        paule.reset();
        lea.reset();
        marc.reset();
        nina.reset();
        serveur.reset();
    }

    // The manager comments at 1:23 and on the whole call and pins it; the salesperson,
    // on another computer, is told of it, reads them and the pin; the other team is told nothing.
    void commentaireEtEpingleDuManager()
    {
        auto c = tests::attendre(paule->coaching->commenter(appelLea, QStringLiteral("Belle reformulation ici."), 83'000));
        QVERIFY2(c.ok(), qPrintable(texteErreur(c)));
        QCOMPARE(dernierCorps(QStringLiteral("commenter_appel")).value(QStringLiteral("p_t_ms")).toDouble(), 83'000.0);
        QVERIFY(tests::attendre(paule->coaching->epingler(appelLea, QStringLiteral("À écouter pour l'objection prix."))).ok());

        auto n = tests::attendre(lea->coaching->rafraichirNonLus());
        QVERIFY2(n.ok(), qPrintable(texteErreur(n)));
        QVERIFY(dernierCorps(QStringLiteral("commentaires_recents")).value(QStringLiteral("p_depuis")).isNull());
        QCOMPARE(dernierCorps(QStringLiteral("commentaires_recents")).value(QStringLiteral("p_limite")).toInt(), 100);
        QCOMPARE(lea->coaching->commentairesNonLus(), QSet<QString>{appelLea});
        QCOMPARE(lea->preferences.valeur(CoachingEquipe::cleNonLus(lea->id), {}).toStringList(), QStringList{appelLea});
        QVERIFY(lea->coaching->marque().has_value());

        QVERIFY(tests::attendre(paule->coaching->commenter(appelLea, QStringLiteral("Bon appel dans l'ensemble."), std::nullopt)).ok());
        const QJsonObject corps = dernierCorps(QStringLiteral("commenter_appel"));
        QVERIFY(corps.contains(QStringLiteral("p_t_ms")) && corps.value(QStringLiteral("p_t_ms")).isNull());

        QVERIFY(tests::attendre(lea->coaching->chargerCommentaires(appelLea)).ok());
        const QList<team::CommentaireAppel> l = lea->coaching->commentairesDe(appelLea);
        QCOMPARE(l.size(), 2);
        QCOMPARE(l[0].tMs, std::optional<qint64>(83'000));
        QCOMPARE(l[0].auteurNom, std::optional<QString>(QStringLiteral("paule")));
        QVERIFY(!l[0].modifiable);
        QCOMPARE(l[1].tMs, std::nullopt);
        QCOMPARE(CoachingEquipe::groupe(l[1]), team::textes::surAppelEntier);
        QVERIFY(lea->coaching->commentairesNonLus().isEmpty());
        QVERIFY(lea->preferences.valeur(CoachingEquipe::cleNonLus(lea->id), {}).toStringList().isEmpty());

        QVERIFY(tests::attendre(lea->coaching->lireExemplaire(appelLea)).ok());
        const auto e = lea->coaching->epingle(appelLea);
        QVERIFY(e);
        QCOMPARE(e->epingleParNom, std::optional<QString>(QStringLiteral("paule")));
        QVERIFY(e->appel && e->appel->value(QStringLiteral("transcript")).toArray().size() == 1);
        QVERIFY(tests::attendre(marc->coaching->chargerExemplaires()).ok());
        QCOMPARE(marc->coaching->exemplaires().size(), 1);
        // The other team is told of nothing.
        QVERIFY(tests::attendre(nina->coaching->rafraichirNonLus()).ok());
        QVERIFY(nina->coaching->commentairesNonLus().isEmpty());
    }

    // Questions proposed for a step of the team framework: a step id stored with
    // spaces still matches, the manager accepts into the framework record, a
    // proposal already handled leaves the list silently.
    void propositionsDeQuestions()
    {
        sql(QStringLiteral("insert into public.frameworks (compte_id, id, donnees, maj_le, cree_le) values (?::uuid, 'fw_equipe', ?::jsonb, now(), now())"),
            {paule->id, QString::fromUtf8(R"({"id": "fw_equipe", "nom": "Process", "etapes": [{"id": " demo", "nom": "Démo", "questions": []}]})")});
        team::PropositionsFramework deLea(lea->client.get()), dePaule(paule->client.get());
        auto p = tests::attendre(deLea.proposer(QStringLiteral("fw_equipe"), QStringLiteral("demo "), QStringLiteral("Qui valide ?"), appelLea));
        QVERIFY2(p.ok(), qPrintable(texteErreur(p)));
        QCOMPARE(p.valeur().statut, QStringLiteral("en_attente"));
        QCOMPARE(p.valeur().auteurNom, QStringLiteral("lea"));
        QVERIFY(tests::attendre(dePaule.charger()).ok());
        QCOMPARE(dePaule.enAttente().size(), 1);
        QVERIFY(tests::attendre(dePaule.decider(p.valeur().id, true)).ok());
        QVERIFY(dePaule.enAttente().isEmpty());
        QCOMPARE(sql(QStringLiteral("select donnees->'etapes'->0->'questions'->>0 from public.frameworks where id = 'fw_equipe'")).value(0).toString(),
                 QStringLiteral("Qui valide ?"));
        auto encore = tests::attendre(dePaule.decider(p.valeur().id, false));
        QCOMPARE(texteErreur(encore), QString());   // already handled: silent
        QVERIFY(!encore.ok());
        auto double_ = tests::attendre(deLea.proposer(QStringLiteral("fw_equipe"), QStringLiteral("demo"), QStringLiteral("qui valide ?")));
        QCOMPARE(texteErreur(double_), QStringLiteral("Cette question figure déjà dans l'étape."));
        auto absent = tests::attendre(team::PropositionsFramework(nullptr).charger());
        QCOMPARE(texteErreur(absent), QStringLiteral("Une erreur est survenue. Réessayez dans un instant."));
    }

    void longueurDuCommentaire_data()
    {
        QTest::addColumn<int>("longueur");
        QTest::addColumn<QString>("refus");
        QTest::newRow("2 000") << 2000 << QString();
        QTest::newRow("2 001") << 2001 << team::textes::commentaireTropLong;
        QTest::newRow("vide") << 0 << team::textes::commentaireVide;
    }
    void longueurDuCommentaire()
    {
        QFETCH(int, longueur);
        QFETCH(QString, refus);
        const int avant = serveur->requetes(QStringLiteral("/rest/v1/rpc/commenter_appel")).size();
        auto r = tests::attendre(paule->coaching->commenter(appelLea, QString(longueur, QChar(u'é')), std::nullopt));
        QCOMPARE(texteErreur(r), refus);
        QCOMPARE(serveur->requetes(QStringLiteral("/rest/v1/rpc/commenter_appel")).size(), avant + (refus.isEmpty() ? 1 : 0));
    }

    // 101 comments: a full first page moves the mark to its newest comment and
    // the second page brings the last one.
    void pageCompleteLueJusquauBout()
    {
        appel(lea->id, QStringLiteral("appel-lea-2"));
        sql(QStringLiteral("insert into public.commentaires_appels (appel_compte_id, appel_id, auteur_id, texte, cree_le) "
                           "select ?::uuid, case when i = 101 then 'appel-lea-2' else 'appel-lea' end, ?::uuid, 'n° ' || i, "
                           "now() - interval '1 hour' + i * interval '1 second' from generate_series(1, 101) i"),
            {lea->id, paule->id});
        QVERIFY(tests::attendre(lea->coaching->rafraichirNonLus()).ok());
        const QList<fakes::RequeteHttp> lectures = serveur->requetes(QStringLiteral("/rest/v1/rpc/commentaires_recents"));
        QCOMPARE(lectures.size(), 2);
        const QString centieme = sql(QStringLiteral("select prive.instant_json(cree_le) from public.commentaires_appels where texte = 'n° 100'"))
                                     .value(0).toString();
        QCOMPARE(lectures[1].json().toObject().value(QStringLiteral("p_depuis")).toString(), centieme);
        QCOMPARE(lea->coaching->commentairesNonLus(), (QSet<QString>{appelLea, QStringLiteral("appel-lea-2")}));
        QVERIFY(lea->coaching->marque() > centieme);
    }

    void lectureEchoueeGardeLaMarque()
    {
        QVERIFY(tests::attendre(lea->coaching->rafraichirNonLus()).ok());
        const auto marque = lea->coaching->marque();
        QVERIFY(marque);
        QVERIFY(tests::attendre(paule->coaching->commenter(appelLea, QStringLiteral("À reprendre demain."), std::nullopt)).ok());
        serveur->injecter(QStringLiteral("/rest/v1/rpc/commentaires_recents"), fakes::FauxSupabase::erreurRest(500, QStringLiteral("XX000"), QStringLiteral("panne")));
        auto r = tests::attendre(lea->coaching->rafraichirNonLus());
        QCOMPARE(texteErreur(r), team::textes::generique);
        QCOMPARE(lea->coaching->marque(), marque);
        QVERIFY(lea->coaching->commentairesNonLus().isEmpty());
        // The next refresh brings the comment the failed one missed.
        QVERIFY(tests::attendre(lea->coaching->rafraichirNonLus()).ok());
        QCOMPARE(lea->coaching->commentairesNonLus(), QSet<QString>{appelLea});
    }

    // Another manager deleted the comment or removed the pin meanwhile.
    void dejaSupprimeRetireSansErreur()
    {
        auto c = tests::attendre(paule->coaching->commenter(appelLea, QStringLiteral("Très bien."), 1000));
        QVERIFY(c.ok());
        QVERIFY(tests::attendre(paule->coaching->epingler(appelLea, {})).ok());
        QCOMPARE(paule->coaching->exemplaires().size(), 1);
        sql(QStringLiteral("delete from public.commentaires_appels"));
        sql(QStringLiteral("delete from public.appels_exemplaires"));

        auto s = tests::attendre(paule->coaching->supprimerCommentaire(appelLea, c.valeur().id));
        QVERIFY2(s.ok(), qPrintable(texteErreur(s)));
        QVERIFY(paule->coaching->commentairesDe(appelLea).isEmpty());
        auto d = tests::attendre(paule->coaching->desepingler(appelLea));
        QVERIFY2(d.ok(), qPrintable(texteErreur(d)));
        QVERIFY(paule->coaching->exemplaires().isEmpty());
        QVERIFY(!paule->coaching->epingle(appelLea));
    }

    // The thresholds: the defaults, a manager's save (clamped) read back by a member,
    // a member refused, an account outside any team told so.
    void seuilsDuManagerLusParLeMembre()
    {
        const auto pilotage = [](Poste& p) {
            PilotageEquipe::Collaborateurs c;
            c.defaults = &p.preferences;
            cloud::ClientSupabase* client = p.client.get();
            c.client = [client] { return client; };
            c.lireMoi = [&p] { return p.id; };
            c.lireAppels = [] { return QList<model::Appel>{}; };
            return std::make_unique<PilotageEquipe>(std::move(c));
        };
        auto manager = pilotage(*paule);
        tests::attendre(manager->chargerSeuils());
        QCOMPARE(team::resumeSeuils(manager->seuils()), QStringLiteral("Alertes : retard au-delà de 2 min, Framework sous 60 %, score sous 50"));
        QVERIFY(manager->seuils().modifiable);
        team::SeuilsEquipe s = manager->seuils();
        s.retardMinutes = 5;
        s.suiviFrameworkMin = 130;   // clamped before sending
        s.scoreBas = 40;
        QCOMPARE(tests::attendre(manager->reglerSeuils(s)), std::optional<QString>());
        QCOMPARE(manager->seuils().suiviFrameworkMin, 100.0);
        QVERIFY(manager->seuils().majLe.has_value());

        auto membre = pilotage(*lea);
        tests::attendre(membre->chargerSeuils());
        QCOMPARE(team::resumeSeuils(membre->seuils()), QStringLiteral("Alertes : retard au-delà de 5 min, Framework sous 100 %, score sous 40"));
        QVERIFY(!membre->seuils().modifiable);
        s.scoreBas = 10;
        QCOMPARE(tests::attendre(membre->reglerSeuils(s)), std::optional<QString>(PilotageEquipe::messageSeuilsEchec()));
        QCOMPARE(membre->seuils().scoreBas, 40.0);
        QCOMPARE(sql(QStringLiteral("select score_bas::int from public.seuils_equipe")), QVariantList{40});

        sql(QStringLiteral("delete from public.membres where compte_id = ?::uuid"), {nina->id});
        QCOMPARE(tests::attendre(pilotage(*nina)->reglerSeuils({})), std::optional<QString>(PilotageEquipe::messageHorsEquipe()));
    }

    // An answer that arrives after the account changed is dropped with the old caches.
    void changementDeCompteIgnoreLesReponsesEnVol()
    {
        lea->preferences.definir(CoachingEquipe::cleNonLus(paule->id), QStringList{QStringLiteral("appel-paule")});
        lea->preferences.definir(CoachingEquipe::cleNonLus(lea->id), QStringList{appelLea});
        serveur->injecter(QStringLiteral("/rest/v1/rpc/classement_equipe"),
                          [] {
                              auto r = fakes::ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("periode_jours"), 30},
                                                                                        {QStringLiteral("membres"), QJsonArray()}});
                              r.delaiMs = 1500;
                              return r;
                          }());
        // Léa's computer, signed in as Paule first.
        lea->client = std::make_unique<cloud::ClientSupabase>(serveur->config(), &lea->stockage);
        QVERIFY(tests::attendre(lea->client->connecter(QStringLiteral("paule@exemple.fr"), QStringLiteral("motdepasse1"))).ok());
        lea->coaching = std::make_unique<CoachingEquipe>(lea->client.get(), lea->preferences);
        QCOMPARE(lea->coaching->commentairesNonLus(), QSet<QString>{QStringLiteral("appel-paule")});
        auto enVol = lea->coaching->chargerClassement(30);
        QVERIFY(tests::attendre(lea->client->connecter(QStringLiteral("lea@exemple.fr"), QStringLiteral("motdepasse1"))).ok());
        QCOMPARE(lea->coaching->compteId(), lea->id);
        QCOMPARE(lea->coaching->commentairesNonLus(), QSet<QString>{appelLea});
        auto r = tests::attendre(enVol);
        QVERIFY(!r.ok());
        QVERIFY(r.erreur().isEmpty());
        QVERIFY(lea->coaching->classements().isEmpty());
    }

    void objectifsEtClassementDeLaSemaine()
    {
        team::ObjectifSaisi s;
        s.type = QStringLiteral("appels_semaine");
        s.cible = 1;
        auto o = tests::attendre(paule->coaching->fixerObjectif(s));
        QVERIFY2(o.ok(), qPrintable(texteErreur(o)));
        QCOMPARE(team::textes::objectifFixe(o.valeur().libelle), QStringLiteral("Objectif fixé : « 1 appel dans la semaine »"));

        QVERIFY(tests::attendre(lea->coaching->chargerObjectifs()).ok());
        const auto& semaine = *lea->coaching->objectifs();
        QCOMPARE(QDate::fromString(semaine.semaine, QStringLiteral("yyyy-MM-dd")).dayOfWeek(), 1);
        QVERIFY(!semaine.gestionnaire);
        QCOMPARE(semaine.objectifs.size(), 1);
        team::ProgressionObjectif moi;
        for (const auto& p : semaine.objectifs[0].progression)
            if (p.moi)
                moi = p;
        QCOMPARE(moi.compteId, lea->id);
        QVERIFY(moi.atteint);

        QVERIFY(tests::attendre(lea->coaching->chargerClassement(30)).ok());
        const team::ClassementEquipe c = lea->coaching->classements().value(30);
        QCOMPARE(c.membres.size(), 3);
        QCOMPARE(c.membres[0].compteId, lea->id);
        QCOMPARE(c.membres[0].rang, std::optional<int>(1));
        QCOMPARE(c.membres[0].scoreMoyen, std::optional<double>(72));

        // Another manager removed it meanwhile: dropped without a message.
        QVERIFY(tests::attendre(paule->coaching->chargerObjectifs()).ok());
        sql(QStringLiteral("delete from public.objectifs_equipe"));
        QVERIFY(tests::attendre(paule->coaching->supprimerObjectif(o.valeur().id)).ok());
        QVERIFY(paule->coaching->objectifs()->objectifs.isEmpty());
        auto repris = tests::attendre(paule->coaching->reprendreObjectifs());
        QVERIFY(repris.ok());
        QCOMPARE(repris.valeur(), 0);
    }

    // The whole road on three computers (three data folders), through the command line only.
    void troisPostesEnLigneDeCommande()
    {
        QTemporaryDir posteLea, postePaule, posteMarc;
        const QString appelBas = QStringLiteral("appel-lea-bas");
        const QString debut = QDateTime::currentDateTimeUtc().addSecs(-900).toString(Qt::ISODateWithMs);
        QDir().mkpath(posteLea.filePath(QStringLiteral("donnees/Vendalo")));
        QFile f(posteLea.filePath(QStringLiteral("donnees/Vendalo/etat.json")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QString::fromUtf8(R"({"version": 2, "appels": [{"id": "%1", "statut": "analyse", "type": "decouverte", "debut": "%2", "creeLe": "%2",
            "majLe": "%2", "duree": 420, "analyse": {"score": 35, "resume": "Prix laissé sans réponse.",
            "objections": [{"libelle": "Prix", "traitement": "non"}]}}]})").arg(appelBas, debut).toUtf8());
        f.close();
        const std::pair<QTemporaryDir*, const char*> postes[] = {{&posteLea, "lea"}, {&postePaule, "paule"}, {&posteMarc, "marc"}};
        for (const auto& [poste, nom] : postes)
            lancer(*poste, QStringLiteral("cloud connecter %1@exemple.fr").arg(QLatin1String(nom)));
        QCOMPARE(lancer(posteLea, QStringLiteral("synchroniser --envoyer-local")).value(QStringLiteral("refuses")).toInt(-1), 0);

        // The manager's computer pulls the team's calls; the low score is one to look at.
        lancer(postePaule, QStringLiteral("synchroniser"));
        const QJsonArray alertes = lancer(postePaule, QStringLiteral("equipe alertes")).value(QStringLiteral("alertes")).toArray();
        QCOMPARE(alertes.size(), 1);
        QCOMPARE(alertes[0][QStringLiteral("appelId")].toString(), appelBas);
        QCOMPARE(alertes[0][QStringLiteral("raisons")][0][QStringLiteral("raison")].toString(), QStringLiteral("scoreBas"));
        lancer(postePaule, QStringLiteral("commenter ") + appelBas, {QStringLiteral("Ici, reformulez le prix."), QStringLiteral("--a"), QStringLiteral("1:23")});
        QCOMPARE(lancer(postePaule, QStringLiteral("equipe epingler %1 --note").arg(appelBas), {QStringLiteral("À écouter.")})
                     .value(QStringLiteral("epingle_par_nom")).toString(), QStringLiteral("paule"));
        QCOMPARE(lancer(postePaule, QStringLiteral("equipe objectif appels_semaine 2")).value(QStringLiteral("message")).toString(),
                 QStringLiteral("Objectif fixé : « 2 appels dans la semaine »"));
        QCOMPARE(lancer(posteMarc, QStringLiteral("equipe epingler ") + appelBas, {}, 1).value(QStringLiteral("erreur")).toString(),
                 QStringLiteral("Seul un manager de l'équipe peut faire cela."));

        // Léa is told, reads the comment at 1:23, and the call is read.
        QCOMPARE(lancer(posteLea, QStringLiteral("equipe nonlus")).value(QStringLiteral("appels")).toArray(), QJsonArray{appelBas});
        const QJsonArray lus = lancer(posteLea, QStringLiteral("equipe commentaires ") + appelBas).value(QStringLiteral("liste")).toArray();
        QCOMPARE(lus.size(), 1);
        QCOMPARE(lus[0][QStringLiteral("t_ms")].toInt(), 83'000);
        QVERIFY(lancer(posteLea, QStringLiteral("equipe nonlus")).value(QStringLiteral("appels")).toArray().isEmpty());

        // The week, seen from Marc's computer: Léa first with her two calls, the objective reached.
        const QJsonObject k = lancer(posteMarc, QStringLiteral("equipe classement --periode 7"));
        QCOMPARE(k.value(QStringLiteral("periode_jours")).toInt(), 7);
        QCOMPARE(k.value(QStringLiteral("membres")).toArray().size(), 3);
        QCOMPARE(k.value(QStringLiteral("membres"))[0][QStringLiteral("compte_id")].toString(), lea->id);
        QCOMPARE(k.value(QStringLiteral("membres"))[0][QStringLiteral("appels")].toInt(), 2);
        const QJsonObject o = lancer(posteMarc, QStringLiteral("equipe objectifs"));
        QCOMPARE(QDate::fromString(o.value(QStringLiteral("semaine")).toString(), Qt::ISODate).dayOfWeek(), 1);
        bool atteint = false;
        for (const QJsonValue& p : o.value(QStringLiteral("objectifs"))[0][QStringLiteral("progression")].toArray())
            atteint |= p[QStringLiteral("compte_id")].toString() == lea->id && p[QStringLiteral("atteint")].toBool();
        QVERIFY(atteint);

        // Refusals and a comment on the whole call, from the manager's computer.
        QCOMPARE(lancer(postePaule, QStringLiteral("commenter appel-inconnu Texte"), {}, 1).value(QStringLiteral("erreur")).toString(),
                 team::textes::generique);
        lancer(postePaule, QStringLiteral("commenter %1 Texte --a").arg(appelBas), {QStringLiteral("une minute")}, 2);
        QCOMPARE(lancer(postePaule, QStringLiteral("equipe classement --periode 0"), {}, 2).value(QStringLiteral("erreur")).toString(),
                 QStringLiteral("La période est un nombre de jours de 1 à 365."));
        const QJsonObject c = lancer(postePaule, QStringLiteral("commenter ") + appelBas, {QStringLiteral("Sur tout l'appel.")});
        QCOMPARE(c.value(QStringLiteral("texte")).toString(), QStringLiteral("Sur tout l'appel."));
        QVERIFY(c.value(QStringLiteral("t_ms")).isNull());
    }
};

QTEST_GUILESS_MAIN(TestCoachingEquipePostgres)
#include "tst_coachingequipe_postgres.moc"
