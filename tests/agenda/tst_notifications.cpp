// Notification planning: the French texts, the rules that say what is due, and
// delivery once per key.
#include "agenda/planificationnotifications.h"

#include <QTimeZone>
#include <QtTest>

using namespace vd::agenda;
namespace c = contenu;

namespace {
const QTimeZone paris("Europe/Paris");
QDateTime aParis(int j, int h, int m, int s = 0) { return QDateTime(QDate(2026, 3, j), QTime(h, m, s), paris).toUTC(); }
} // namespace

class TstNotifications : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void textes()
    {
        // What each notification says: weekly review, analysis, comment, report, team alert and summary, invitation,
        // meeting brief, follow-ups.
        const std::pair<QString, const char*> cas[] = {
            {c::corpsBilan({4, 71.6, 3.2, {}}), "Score moyen 72 sur 100, en hausse de 3 points. 4 appels analysés cette semaine."},
            {c::corpsBilan({1, 60, 0.2, {}}), "Score moyen 60 sur 100, stable. 1 appel analysé cette semaine."},
            {c::corpsBilan({2, 55, -1, {}}), "Score moyen 55 sur 100, en baisse de 1 point. 2 appels analysés cette semaine."},
            {c::corpsBilan({2, 55, {}, {}}), "Score moyen 55 sur 100. 2 appels analysés cette semaine."},
            {c::corpsAnalyse(QStringLiteral("Claire Martin"), 78), "Appel avec Claire Martin : 78 sur 100. Le coaching et l'email de suivi vous attendent."},
            {c::corpsAnalyse({}, {}), "Votre appel. Le coaching et l'email de suivi vous attendent."},
            {c::corpsCommentaire(QStringLiteral("Paul")), "Un commentaire sur votre appel avec Paul"},
            {c::corpsCommentaire({}), "Un commentaire sur l'un de vos appels"},
            {c::corpsRapport(12, 68.4, 2), "12 appels, score moyen 68 sur 100, en hausse de 2 points. La synthèse et le détail par commercial vous attendent."},
            {c::corpsRapport(0, {}, {}), "aucun appel. La synthèse et le détail par commercial vous attendent."},
            {c::corpsAlerteEquipe({{QStringLiteral("Léa"), QStringLiteral("Acme"), false}}), "Léa avec Acme : un appel à regarder"},
            {c::corpsAlerteEquipe({{{}, QStringLiteral("Acme"), true}}), "Un membre de l'équipe avec Acme : un appel à regarder, dont 1 affaire chaude"},
            {c::corpsAlerteEquipe({{QStringLiteral("Léa"), {}, true}, {QStringLiteral("Léa"), {}, true}, {QStringLiteral("Léa"), {}, false}}), "3 appels de Léa méritent votre attention, dont 2 affaires chaudes"},
            {c::corpsAlerteEquipe({{QStringLiteral("Léa"), {}, false}, {QStringLiteral("Tom"), {}, false}}), "2 appels de l'équipe à regarder"},
            {c::corpsResumeEquipe(5, 0, 70, 80), "5 appels de l'équipe sans alerte aujourd'hui — score moyen 70 sur 100 — Framework suivi à 80 %."},
            {c::corpsResumeEquipe(5, 1, {}, {}), "1 appel à regarder dans Équipe."},
            {c::corpsInvitation(QStringLiteral("Marc"), QStringLiteral("manager")), "Marc vous invite comme Manager. Voyez ce qui change, puis rejoignez l'équipe en un clic."},
            {c::corpsInvitation({}, QStringLiteral("proprietaire")), "Vous êtes invité comme Membre. Voyez ce qui change, puis rejoignez l'équipe en un clic."},
            {c::corpsBrief(550, QStringLiteral("Démo Acme"), QStringLiteral("Claire Martin")), /* 9 min 10 s */ "Dans 10 min : Démo Acme avec Claire Martin. Un clic pour préparer votre brief."},
            {c::corpsBrief(60, QStringLiteral(" "), {}), "Dans 1 min : Votre rendez-vous. Un clic pour préparer votre brief."},
            {c::corpsRelances({{QStringLiteral("Claire"), true, true}}), "Claire, en retard : votre message de relance est prêt."},
            {c::corpsRelances({{QStringLiteral("Paul"), false, false}, {QStringLiteral("Léa"), true, false}}), "Léa (en retard) et Paul."},   // late first
            {c::corpsRelances({{"A", false, false}, {"B", false, false}, {"C", false, false}, {"D", false, false}, {"E", false, false}}), "A, B, C et 2 autres."},
        };
        for (const auto& [obtenu, attendu] : cas)
            QCOMPARE(obtenu, QString::fromUtf8(attendu));
    }

    void bilanDeLaSemaine()
    {
        // Monday 9 March 2026, 10:00 in Paris; calls of this week and of the week before.
        const QDateTime lundi = aParis(9, 10, 0);
        const QList<regles::AppelNote> appels{{lundi.addDays(-1), 80}, {lundi.addDays(-3), 70}, {lundi.addDays(-9), 60}, {lundi.addDays(-20), 10}};
        const auto due = regles::bilan(appels, lundi, paris);
        QVERIFY(due && due->prevue);
        QCOMPARE(due->cle + '|' + due->prevue->cible + '|' + due->prevue->corps,
                 QStringLiteral("vd.bilan.2026-W11|tableau|Score moyen 75 sur 100, en hausse de 15 points. 2 appels analysés cette semaine."));
        QVERIFY(!regles::bilan(appels, aParis(9, 8, 59), paris));   // before 9:00
        QVERIFY(!regles::bilan(appels, aParis(10, 10, 0), paris));  // a Tuesday
        QVERIFY(!regles::bilan({{lundi.addDays(-9), 60}}, lundi, paris));   // nothing this week
    }

    void reglesDuJour()
    {
        const auto r = regles::relances({{QStringLiteral("Claire"), false, false}}, aParis(4, 9, 0), paris);
        QVERIFY(r);
        QCOMPARE(r->cle + '|' + r->prevue->cible, QStringLiteral("vd.relances.2026-03-04|crm-relances"));
        QVERIFY(!regles::relances({}, aParis(4, 10, 0), paris));
        QVERIFY(!regles::relances({{QStringLiteral("Claire"), false, false}}, aParis(4, 8, 30), paris));

        // The team summary's hours: from 18:00 to 22:59.
        QCOMPARE(QList<bool>({regles::heureResume(aParis(4, 17, 59), paris), regles::heureResume(aParis(4, 18, 0), paris),
                              regles::heureResume(aParis(4, 22, 59), paris), regles::heureResume(aParis(4, 23, 0), paris)}),
                 QList<bool>({false, true, true, false}));
    }

    void briefAvantRendezVous()
    {
        const regles::RendezVous rdv{QStringLiteral("ev1"), QStringLiteral("google"), QStringLiteral("Démo Acme"), aParis(4, 14, 0),
                                     QStringLiteral("Claire Martin"), QStringLiteral("https://visio.exemple/abc")};
        QVERIFY(!regles::brief(rdv, false, aParis(4, 13, 49, 59)));   // not yet
        const auto due = regles::brief(rdv, false, aParis(4, 13, 50, 50));
        QVERIFY(due);
        QVERIFY(due->cle.startsWith(QStringLiteral("vd.brief.google.ev1.")));
        QCOMPARE(due->prevue->cible + '|' + due->prevue->infos.value(QStringLiteral("lienVisio")), QStringLiteral("brief-rdv|https://visio.exemple/abc"));
        QVERIFY(due->prevue->corps.startsWith(QStringLiteral("Dans 10 min : ")));
        QVERIFY(!regles::brief(rdv, true, aParis(4, 13, 55)));    // brief ready
        QVERIFY(!regles::brief(rdv, false, aParis(4, 14, 0)));    // started
        auto sansContact = rdv;
        sansContact.contact.reset();
        QVERIFY(!regles::brief(sansContact, false, aParis(4, 13, 55)));
        auto deplace = rdv;   // moved: a new key
        deplace.debut = aParis(4, 15, 0);
        QVERIFY(regles::brief(deplace, false, aParis(4, 14, 55))->cle != due->cle);
    }

    void livraisonUneFois()
    {
        QList<NotificationPrevue> montrees;
        bool accepte = true;
        LivraisonNotifications l([&](const NotificationPrevue& p) {
            if (accepte)
                montrees << p;
            return accepte;
        });
        const QDateTime t = aParis(9, 10, 0);
        NotificationPrevue p{TypeNotification::analyse, QStringLiteral("vd.analyse.a1"), QStringLiteral("Analyse prête"), QStringLiteral("…"),
                             {}, QStringLiteral("appel"), QStringLiteral("a1"), {}, {}};
        const Due due{p.id, p};
        QVERIFY(l.livrer(due, t));
        QVERIFY(!l.livrer(due, t.addSecs(30)));   // a second check in the same minute
        QCOMPARE(montrees.size(), 1);

        // A disabled type is never shown and its key not recorded.
        NotificationPrevue b = p;
        b.type = TypeNotification::bilan;
        b.id = QStringLiteral("vd.bilan.2026-W11");
        l.activer(TypeNotification::bilan, false);
        QVERIFY(!l.livrer({b.id, b}, t) && !l.livree(b.id));
        l.activer(TypeNotification::bilan, true);

        // A card the stack refused comes back later.
        accepte = false;
        QVERIFY(!l.livrer({b.id, b}, t));
        QVERIFY(!l.livree(b.id));
        accepte = true;
        QVERIFY(l.livrer({b.id, b}, t.addSecs(60)));

        // A new version of a delivered notification is not shown again.
        NotificationPrevue v2 = p;
        v2.id = QStringLiteral("vd.analyse.a1.v2");
        v2.anciensIds = {p.id};
        QVERIFY(!l.livrer({v2.id, v2}, t));
        QVERIFY(!l.livrer({QStringLiteral("rien"), std::nullopt}, t));

        // Kept across starts; old entries go.
        const auto prefs = l.versPreferences(t.addDays(61));
        QVERIFY(prefs.isEmpty());
        LivraisonNotifications relue({});
        relue.depuisPreferences(l.versPreferences(t));
        QVERIFY(relue.livree(p.id) && relue.livree(b.id));
        QCOMPARE(montrees.size(), 2);
    }

    void types()
    {
        QCOMPARE(tousLesTypes().size(), 10);
        for (TypeNotification t : tousLesTypes())
            QCOMPARE(typeDepuisNom(nomType(t)), std::optional<TypeNotification>(t));
        QVERIFY(!typeDepuisNom(QStringLiteral("inconnu")));
    }
};

QTEST_GUILESS_MAIN(TstNotifications)
#include "tst_notifications.moc"
