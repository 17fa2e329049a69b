// vd-test: x11 timeout=120
// The team screens on a real X display, fed by a scripted backend: the call
// sheet's comments card and pin banner, the exemplary call, the ranking, the
// objectives, the Monday report and the framework editor. Screenshots land in $VD_CAPTURES.
#include "../cloud/outilscloud.h"
#include "ai/moteur.h"
#include "fakes/clientiascripte.h"
#include "model/store.h"
#include "platform/preferences.h"
#include "team/ecrans/blocsframework.h"
#include "team/ecrans/ecranframework.h"
#include "team/ecrans/editeurframework.h"
#include "team/coachingequipe.h"
#include "team/ecrans/bloccoaching.h"
#include "team/ecrans/ecranclassement.h"
#include "team/ecrans/ecranexemplaire.h"
#include "team/ecrans/ongletobjectifs.h"
#include "team/ecrans/ongletrapport.h"
#include "ui/ecrans/style.h"

#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

using namespace vd;
using fakes::ReponseHttpFactice;
using fakes::RequeteHttp;

namespace {

QJsonArray tableau(const char* json) { return QJsonDocument::fromJson(json).array(); }
QJsonObject objet(const char* json) { return QJsonDocument::fromJson(json).object(); }

bool montre(QWidget* w, const QString& texte)
{
    for (QLabel* l : w->findChildren<QLabel*>())
        if (l->isVisibleTo(w) && l->text() == texte)
            return true;
    return false;
}

void capturer(QWidget* w, const QString& nom)
{
    const QString d = qEnvironmentVariable("VD_CAPTURES", QDir::tempPath());
    QDir().mkpath(d);
    QCoreApplication::processEvents();
    QVERIFY(w->grab().save(d + QStringLiteral("/x11-") + nom + QStringLiteral(".png")));
}

void saisir(QWidget* ecran, const char* nom, const QString& texte)
{
    QWidget* w = ecran->findChild<QWidget*>(QString::fromLatin1(nom));
    QVERIFY2(w, nom);
    if (auto* l = qobject_cast<QLineEdit*>(w)) {
        l->clear();
        QTest::keyClicks(w, texte);
        return;
    }
    static_cast<QPlainTextEdit*>(w)->clear();
    const QStringList lignes = texte.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lignes.size(); ++i) {
        if (i > 0)
            QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClicks(w, lignes[i]);
    }
}

} // namespace

class TestEcransEquipeX11 : public QObject {
    Q_OBJECT
    std::unique_ptr<tests::BancCloud> b;
    platform::PreferencesMemoire prefs;
    std::unique_ptr<team::CoachingEquipe> coaching;
    ui::Contexte ctx;

    void repondre(const QString& procedure, const QJsonValue& v)
    {
        b->serveur.surProcedure(procedure, [v](const RequeteHttp&) { return ReponseHttpFactice::json(200, v); });
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        ui::style::appliquer(*qApp);
        b = std::make_unique<tests::BancCloud>();
        QVERIFY(b->demarrer());
        QVERIFY(b->connecter());
        repondre(QStringLiteral("lire_commentaires"), tableau(R"([
            {"id": "c1", "appel_id": "a1", "auteur_nom": "Paule Manager", "t_ms": 83000, "texte": "Belle reformulation du besoin : gardez-la.",
             "cree_le": "2026-03-02T10:00:00.000Z", "modifiable": true, "supprimable": true},
            {"id": "c2", "appel_id": "a1", "auteur_nom": "Paule Manager", "t_ms": null, "texte": "Bon appel dans l’ensemble, proposez la démo plus tôt.",
             "cree_le": "2026-03-02T10:05:00.000Z", "modifiable": true, "supprimable": true}])"));
        const QJsonObject pin = objet(R"({"appel_id": "a1", "note": "À écouter pour la gestion de l’objection prix, à 12:40.",
            "epingle_par_nom": "Paule Manager", "auteur_nom": "Léa Martin", "debut": "2026-03-02T09:00:00.000Z", "duree": 754, "score": 82,
            "appel": {"analyse": {"score": 82, "resume": "Découverte solide, objection prix bien traitée.",
                                  "coaching": {"pointFort": "Reformulation", "aTravailler": "Conclure plus tôt"}},
                      "transcript": [{"locuteur": "vous", "texte": "Qu’est-ce qui compte le plus pour vous ?", "debutMs": 0},
                                     {"locuteur": "prospect", "texte": "Le prix, surtout.", "debutMs": 4200}]}})");
        repondre(QStringLiteral("lire_appel_exemplaire"), pin);
        repondre(QStringLiteral("classement_equipe"), objet(R"({"periode_jours": 30, "membres": [
            {"rang": 1, "compte_id": "l", "nom": "Léa Martin", "role_org": "commercial", "appels": 12, "score_moyen": 78.5,
             "score_moyen_precedent": 74, "progression": 4.5, "objectifs": 2, "objectifs_atteints": 1, "moi": false},
            {"rang": 2, "compte_id": "m", "nom": "Marc Petit", "role_org": "commercial", "appels": 9, "score_moyen": 71,
             "score_moyen_precedent": 73, "progression": -2, "objectifs": 2, "objectifs_atteints": 2, "moi": true},
            {"rang": null, "compte_id": "p", "nom": "Paule Manager", "role_org": "manager", "appels": 0, "objectifs": 0, "objectifs_atteints": 0}]})"));
        repondre(QStringLiteral("objectifs_semaine"), objet(R"({"semaine": "2026-03-02", "gestionnaire": true, "objectifs": [
            {"id": "o1", "equipe": true, "type": "questions_par_appel", "cible": 5, "libelle": "Poser 5 questions par appel",
             "semaine": "2026-03-02", "actif": true, "valeur_equipe": 4.2, "progression": [
               {"compte_id": "l", "nom": "Léa Martin", "appels": 6, "valeur": 5.5, "atteint": true},
               {"compte_id": "m", "nom": "Marc Petit", "appels": 0, "valeur": null, "atteint": false}]}]})"));
        repondre(QStringLiteral("lire_rapports_equipe"), tableau(R"([{"id": "r1", "semaine": "2026-02-23", "contenu": {
            "semaine": "2026-02-23", "synthese": "Semaine du 23 février 2026 : 21 appels, score moyen 75,2 (+2,1).",
            "synthese_source": "calcul", "faits_marquants": ["Léa Martin progresse le plus : +4,5 points.", "Paule Manager n’a pas eu d’appel."],
            "equipe": {"membres": 3, "appels": 21, "duree_totale_sec": 15120, "score_moyen": 75.2, "progression": 2.1,
                       "part_parole": 46, "questions_par_appel": 4.4, "objectifs": 2, "objectifs_atteints": 1},
            "par_membre": [{"nom": "Léa Martin", "appels": 12, "duree_totale_sec": 8400, "score_moyen": 78.5, "progression": 4.5,
                            "part_parole": 44, "questions_par_appel": 5.1, "objectifs": 2, "objectifs_atteints": 1},
                           {"nom": "Paule Manager", "appels": 0, "duree_totale_sec": 0, "objectifs": 0, "objectifs_atteints": 0}]}}])"));
        coaching = std::make_unique<team::CoachingEquipe>(b->client.get(), prefs);
        ctx.coaching = coaching.get();
    }
    void cleanupTestCase()
    {
        coaching.reset();
        b.reset();
    }

    void blocDeLaFiche()
    {
        team::BlocCoaching bloc(ctx, coaching.get(), QStringLiteral("a1"), true);
        bloc.resize(820, 760);
        bloc.show();
        QTRY_COMPARE(coaching->commentairesDe(QStringLiteral("a1")).size(), 2);
        QTRY_VERIFY(coaching->epingle(QStringLiteral("a1")).has_value());
        QTRY_VERIFY(montre(&bloc, team::textes::surAppelEntier));
        QVERIFY(montre(&bloc, team::textes::carteCommentaires));
        QVERIFY(montre(&bloc, team::textes::aideManager));
        QTRY_VERIFY(montre(&bloc, QStringLiteral("Appel exemplaire, épinglé par Paule Manager")));
        bloc.commenterMoment(125'000);
        auto* edit = bloc.findChild<QPlainTextEdit*>();
        QVERIFY(edit);
        edit->setPlainText(QString(2001, QLatin1Char('x')));
        // The counter stops at its limit.
        QCOMPARE(edit->toPlainText().size(), 2000);
        QTRY_VERIFY(montre(&bloc, QStringLiteral("2\u00a0000 / 2 000")));
        edit->setPlainText(QStringLiteral("Ici, laissez le prospect finir sa phrase."));
        capturer(&bloc, QStringLiteral("fiche-coaching"));
    }

    void appelExemplaire()
    {
        team::EcranExemplaire e(ctx);
        e.resize(900, 760);
        e.show();
        e.afficher(ui::Ecran::exemplaire(QStringLiteral("a1")));
        QTRY_VERIFY(montre(&e, QStringLiteral("« À écouter pour la gestion de l’objection prix, à 12:40. »")));
        QTRY_VERIFY(montre(&e, QStringLiteral("Le prix, surtout.")));
        capturer(&e, QStringLiteral("exemplaire"));
    }

    void classement()
    {
        team::EcranClassement e(ctx);
        e.resize(900, 600);
        e.show();
        e.afficher(ui::Ecran::de(ui::Ecran::Genre::classement));
        QTRY_VERIFY(montre(&e, QStringLiteral("Marc Petit (vous)")));
        QTRY_VERIFY(montre(&e, QStringLiteral("+4,5")));
        capturer(&e, QStringLiteral("classement"));
    }

    void objectifsEtRapport()
    {
        team::OngletObjectifs o(ctx);
        o.resize(900, 600);
        o.show();
        o.recharger();
        QTRY_VERIFY(montre(&o, QStringLiteral("Poser 5 questions par appel")));
        QTRY_VERIFY(montre(&o, team::textes::pasEncoreDAppel));
        capturer(&o, QStringLiteral("equipe-objectifs"));

        team::OngletRapport r(ctx);
        r.resize(900, 700);
        r.show();
        r.recharger();
        QTRY_VERIFY(montre(&r, QStringLiteral("• Léa Martin progresse le plus : +4,5 points.")));
        capturer(&r, QStringLiteral("equipe-rapport"));
    }

    // A template's step edited by keyboard: a bad value shows its rule and blocks the save, the fix saves.
    void editeurFramework_data()
    {
        QTest::addColumn<QByteArray>("champ");
        QTest::addColumn<QString>("faux");
        QTest::addColumn<QString>("message");
        QTest::newRow("poids") << QByteArray("poidsEtape") << "100.5" << "Le poids d'une étape va de 0 à 100.";
        QTest::newRow("poids négatif") << QByteArray("poidsEtape") << "-1" << "Le poids d'une étape va de 0 à 100.";
        QTest::newRow("9 questions") << QByteArray("questionsEtape") << "a ?\nb ?\nc ?\nd ?\ne ?\nf ?\ng ?\nh ?\ni ?"
                                     << "8 questions au plus par étape.";
        QTest::newRow("sans nom") << QByteArray("nomEtape") << "  " << "L'étape 1 n'a pas de nom.";
        QTest::newRow("id vide") << QByteArray("idEtape") << " " << "L'étape 1 n'a pas d'identifiant valide.";
    }
    void editeurFramework()
    {
        QFETCH(QByteArray, champ);
        QFETCH(QString, faux);
        QFETCH(QString, message);
        model::Store store;
        ctx.store = &store;
        fakes::ClientIAScripte ia;
        auto ecran = std::make_unique<team::EcranFramework>(ctx, ai::Moteur::instance(), ia, false);
        ecran->resize(1100, 860);
        ecran->show();
        ecran->afficher(ui::Ecran::de(ui::Ecran::Genre::framework));
        ecran->findChild<QPushButton*>(QStringLiteral("modele_vente_courte"))->click();
        team::EditeurFramework* ed = ecran->editeur();
        QVERIFY(ed->isVisible());
        auto* enregistrer = ed->findChild<QPushButton*>(QStringLiteral("enregistrerFramework"));
        auto* avis = ed->findChild<QLabel*>(QStringLiteral("messageValidation"));
        QVERIFY(enregistrer->isEnabled());
        // One more question typed at the end of the first step's list, and an id with spaces.
        auto* questions = ed->findChild<QPlainTextEdit*>(QStringLiteral("questionsEtape"));
        questions->moveCursor(QTextCursor::End);
        QTest::keyClick(questions, Qt::Key_Return);
        QTest::keyClicks(questions, QStringLiteral("Qui signe chez vous ?"));
        saisir(ed, "idEtape", QStringLiteral(" express "));

        QWidget* w = ed->findChild<QWidget*>(QString::fromLatin1(champ));
        const QString avant = w->property(qobject_cast<QLineEdit*>(w) ? "text" : "plainText").toString();
        saisir(ed, champ.constData(), faux);
        QCOMPARE(avis->text(), message);
        QVERIFY(!enregistrer->isEnabled());
        if (champ == "poidsEtape")
            capturer(ecran.get(), QStringLiteral("framework-editeur-invalide"));
        // Back to the value it had (accents cannot be typed by key events).
        w->setProperty(qobject_cast<QLineEdit*>(w) ? "text" : "plainText", avant);
        saisir(ed, "poidsEtape", QStringLiteral("25,5"));
        QCOMPARE(avis->text(), QString());
        QVERIFY(enregistrer->isEnabled());
        enregistrer->click();
        QVERIFY(!ed->isVisible());

        const QList<team::FrameworkVente> l = team::frameworksDe(store.etat());
        QCOMPARE(l.size(), 1);
        QCOMPARE(l[0].nom, QStringLiteral("Vente courte"));
        const team::EtapeFramework& e = l[0].etapes[0];
        QCOMPARE(e.id, QStringLiteral("express"));
        QCOMPARE(e.poids, 25.5);
        QCOMPARE(e.questions.size(), 4);
        QCOMPARE(e.questions.last(), QStringLiteral("Qui signe chez vous ?"));
        QCOMPARE(l[0].etapes.size(), 3);
        QVERIFY(ecran->findChild<QWidget*>(QStringLiteral("framework_") + l[0].id));
        if (champ == "poidsEtape")
            capturer(ecran.get(), QStringLiteral("framework-liste"));
        ecran.reset();
        ctx.store = nullptr;
    }

    // A method pasted under the demonstration: too short is refused unsent; a late answer to an
    // older request is dropped; the proposal is reviewed, then stored as a new framework.
    void frameworkDepuisUneMethode()
    {
        model::Store store;
        ctx.store = &store;
        fakes::ClientIAScripte ia;
        auto ecran = std::make_unique<team::EcranFramework>(ctx, ai::Moteur::instance(), ia, true);
        ecran->resize(1100, 860);
        ecran->show();
        ecran->afficher(ui::Ecran::de(ui::Ecran::Genre::framework));
        auto* analyser = ecran->findChild<QPushButton*>(QStringLiteral("analyserMethode"));
        saisir(ecran.get(), "texteMethode", QStringLiteral("Accueil puis vente."));
        analyser->click();
        QVERIFY(montre(ecran.get(), team::textesFramework::texteTropCourt));
        QVERIFY(ia.requetes.isEmpty());
        saisir(ecran.get(), "texteMethode", QStringLiteral("1. Accueil : on cadre l'appel.\n2. Conclusion : on fixe une date."));
        analyser->click();
        QVERIFY(ecran->methode()->analyse().analyser());
        QCOMPARE(ia.requetes.size(), 2);
        QVERIFY(ia.requetes[0].demo);
        const auto reponse = [](const char* nom) {
            return QStringLiteral(R"({"nom": "%1", "etapes": [{"nom": "Accueil", "poids": 40}, {"nom": "Conclusion", "poids": 60}],
                                      "conseils": ["Ajoutez une question par étape."]})").arg(QString::fromUtf8(nom));
        };
        ia.demandes[0]->annulee = false;   // a late answer to the older request
        ia.demandes[0]->terminer(reponse("Ancienne"));
        QCOMPARE(ecran->methode()->analyse().etat(), team::AnalyseMethodePerso::Etat::analyse);
        ia.demandes[1]->terminer(reponse("Méthode maison"));
        QTRY_VERIFY(montre(ecran.get(), QStringLiteral("Proposition de Quillo : Méthode maison")));
        QTRY_VERIFY(montre(ecran.get(), QStringLiteral("• Ajoutez une question par étape.")));
        QVERIFY(team::frameworksDe(store.etat()).isEmpty());
        ecran->findChild<QPushButton*>(QStringLiteral("creerDepuisMethode"))->click();
        const QList<team::FrameworkVente> l = team::frameworksDe(store.etat());
        QCOMPARE(l.size(), 1);
        QCOMPARE(l[0].nom, QStringLiteral("Méthode maison"));
        QCOMPARE(l[0].etapes.size(), 2);
        QCOMPARE(l[0].etapes[1].poids, 60.0);
        ecran.reset();
        ctx.store = nullptr;
    }
};

QTEST_MAIN(TestEcransEquipeX11)
#include "tst_ecransequipe_x11.moc"
