// The daily writing pass with the fake clock and a scripted language model:
// catch-up at start, 9:00 on working days, Friday reaching Monday, one step at
// a time, no double writing, the failure text kept per step.
#include "ai/moteur.h"
#include "fakes/clientiascripte.h"
#include "crm/ecriturerelances.h"
#include "model/store.h"
#include "platform/horloge.h"
#include "commun_crm.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

using namespace vd;
using namespace vd::crm;

namespace {

using tests::etapeRelance;

// One contact, in that stage, with a running sequence from a call of that day.
model::Etat etat(const char* dateAppel, const QJsonArray& etapes, const QString& etape = QStringLiteral("nouveau"))
{
    model::Etat e;
    e.contacts = {{.id = "c1", .prenom = "Léa", .etape = etape,
                   .relance = model::JSONValeur(QJsonObject{{"statut", "active"}, {"dateAppel", dateAppel}, {"etapes", etapes}})}};
    return e;
}

// The writing pass over a store of its own, on the fake clock from t.
struct Banc {
    platform::HorlogeFactice h;
    model::Store store{QString(), h};
    fakes::ClientIAScripte client;
    std::unique_ptr<EcritureRelances> ecriture;
    Banc(const QDateTime& t, const model::Etat& e, ai::Moteur& moteur) : h(t)
    {
        store.remplacerEtat(e);
        ecriture = std::make_unique<EcritureRelances>(store, moteur, client, h);
        ecriture->demarrer();
    }
};

QString message(const model::Store& s, int i)
{
    return s.etat().contacts.first().relance->qt()["etapes"].toArray().at(i).toObject().value("message").toString();
}

QString idDemande(const ai::RequeteIA& r) { return r.payload.toObject().value("etape").toObject().value("id").toString(); }

} // namespace

class TstEcritureRelances : public QObject {
    Q_OBJECT
    ai::Moteur moteur{QStringLiteral(VD_RESOURCES_DIR "/moteur.js")};

private Q_SLOTS:
    void initTestCase() { QVERIFY(!moteur.charger()); }

    void neufHeures()
    {
        // Local times (Paris): now, and the next writing pass.
        const auto l = [](int j, int h, int m) { return QDateTime(QDate(2026, 12, j), QTime(h, m), Qt::LocalTime); };
        const std::pair<QDateTime, QDateTime> cas[] = {
            {l(3, 8, 59), l(3, 9, 0)},   // Thursday before 9:00: this morning
            {l(3, 9, 0), l(4, 9, 0)},    // Thursday at 9:00: Friday
            {l(4, 10, 0), l(7, 9, 0)},   // Friday after 9:00, Saturday, Sunday evening: Monday
            {l(5, 7, 0), l(7, 9, 0)},
            {l(6, 23, 0), l(7, 9, 0)},
            {l(31, 12, 0), QDateTime(QDate(2027, 1, 1), QTime(9, 0), Qt::LocalTime)}};   // the year's end
        for (const auto& [maintenant, attendu] : cas)
            QCOMPARE(EcritureRelances::prochainNeufHeures(maintenant.toUTC()), attendu.toUTC());
    }

    void passeQuotidienne()
    {
        // Friday 4 December, 8:00 in Paris.
        Banc b(QDateTime(QDate(2026, 12, 4), QTime(7, 0), Qt::UTC),
               etat("2026-11-04", {etapeRelance("e1", "2026-12-03", 29), etapeRelance("e2", "2026-12-04", 30),
                                   etapeRelance("e3", "2026-12-07", 33), etapeRelance("e4", "2026-12-08", 34)}),
               moteur);
        auto& [h, store, client, ecriture_] = b;
        EcritureRelances& ecriture = *ecriture_;
        ecriture.demarrer();
        // Catch-up at start: late, today's and the next working day's (Monday); one request at a time.
        QCOMPARE(client.requetes.size(), 1);
        QCOMPARE(client.requetes.first().tache + '|' + idDemande(client.requetes.first()), QStringLiteral("relance|e1"));
        QCOMPARE(ecriture.enCours().size(), 3);
        QVERIFY(!ecriture.enCours().contains(EcritureRelances::cleEtape("c1", "e4")));
        QVERIFY(!ecriture.ecrire(QStringLiteral("c1"), QStringLiteral("e1")));
        QCOMPARE(ecriture.prochainPassage(), QDateTime(QDate(2026, 12, 4), QTime(8, 0), Qt::UTC));

        client.derniere()->terminer(QStringLiteral("{\"objet\": \"Un point\", \"message\": \"Bonjour Léa, où en êtes-vous ?\"}"));
        QCOMPARE(message(store, 0), QStringLiteral("Bonjour Léa, où en êtes-vous ?"));
        QCOMPARE(client.requetes.size(), 2);
        client.derniere()->echouer(QStringLiteral("Délai dépassé."));
        QCOMPARE(ecriture.erreurs().value(EcritureRelances::cleEtape("c1", "e2")),
                 QStringLiteral("Le message n'a pas pu être préparé : Délai dépassé."));
        QCOMPARE(client.requetes.size(), 3);
        client.derniere()->terminer(QStringLiteral("pas du JSON"));
        QCOMPARE(ecriture.erreurs().value(EcritureRelances::cleEtape("c1", "e3")), QStringLiteral("Le message n'a pas pu être préparé."));
        QVERIFY(ecriture.enCours().isEmpty());
        QCOMPARE(message(store, 2), QString());

        // 9:00: the failed ones again, never the written one, still not Tuesday's.
        h.avancer(qint64(3600) * 1000);
        QCOMPARE(client.requetes.size(), 4);
        QCOMPARE(idDemande(client.requetes.at(3)), QStringLiteral("e2"));
        client.derniere()->terminer(QStringLiteral("{\"message\": \"Deux\"}"));
        QCOMPARE(idDemande(client.requetes.at(4)), QStringLiteral("e3"));
        client.derniere()->terminer(QStringLiteral("{\"message\": \"Trois\"}"));
        QCOMPARE(client.requetes.size(), 5);
        QVERIFY(ecriture.erreurs().isEmpty());
        QCOMPARE(ecriture.prochainPassage(), QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC));

        // Monday 9:00 writes Tuesday's; nothing is written twice.
        h.avancer(qint64(3) * 24 * 3600 * 1000);
        QCOMPARE(client.requetes.size(), 6);
        QCOMPARE(idDemande(client.requetes.at(5)), QStringLiteral("e4"));
    }

    void sommeilApresLesRelancesCourtes()
    {
        QJsonObject court = etapeRelance("e1", "2026-11-18", 14, "Envoyé");
        court.insert("statut", "envoyee");
        Banc b(QDateTime(QDate(2026, 12, 4), QTime(7, 0), Qt::UTC),
               etat("2026-11-04", {court, etapeRelance("e2", "2027-01-04", 61, "Prêt")}, QStringLiteral("proposition")), moteur);
        const model::Contact& apres = b.store.etat().contacts.first();
        QCOMPARE(apres.etape + '|' + apres.etapeAvantSommeil.value_or(QString()), QStringLiteral("sommeil|proposition"));
        QVERIFY(b.client.requetes.isEmpty());
    }

    // The long tail: once the last step is due, the next one comes puisTousLes months later, on a working day.
    void longueTraine()
    {
        // Last step's date, today, months between the long steps, the sequence's status, and the step added ("": none).
        const struct {
            const char *derniere, *aujourdhui;
            int mois;
            const char *statut, *ajoutee;
        } cas[] = {
            {"2026-12-08", "2026-12-07", 3, "active", ""},             // not due yet
            {"2026-12-08", "2026-12-08", 3, "active", "2027-03-08"},   // due today
            {"2026-11-30", "2026-11-30", 3, "active", "2027-03-01"},   // end of February is a Sunday
            {"2026-01-31", "2026-02-02", 1, "sommeil", "2026-03-02"},  // a month: Saturday to Monday
            {"2026-01-05", "2026-12-04", 3, "active", "2027-01-05"},   // long absence: past dates skipped
            {"2026-01-05", "2026-12-04", 3, "arretee", ""},            // stopped sequence
        };
        for (const auto& c : cas) {
            QJsonObject dernier = etapeRelance("e2", c.derniere, 90);
            dernier.insert("canal", "whatsapp");
            const QJsonObject s{{"statut", c.statut}, {"dateAppel", "2025-10-06"}, {"puisTousLes", c.mois},
                                {"etapes", QJsonArray{etapeRelance("e1", "2025-10-07", 1), dernier}}};
            auto r = moteur.appelerJSON(QStringLiteral("prolongerRelance"), {s, QString::fromLatin1(c.aujourdhui)});
            QVERIFY(r);
            const QJsonArray etapes = r.valeur().toObject().value("etapes").toArray();
            const QString ajoutee = QString::fromLatin1(c.ajoutee);
            QVERIFY2(etapes.size() == (ajoutee.isEmpty() ? 2 : 3), c.aujourdhui);
            if (!ajoutee.isEmpty())
                QCOMPARE(tests::champs(etapes.last().toObject(), {"date", "canal", "statut", "message", "jour"}),
                         QStringLiteral("%1|whatsapp|a_venir||%2").arg(ajoutee).arg(QDate(2025, 10, 6).daysTo(QDate::fromString(ajoutee, Qt::ISODate))));
        }
    }

    // The pass gives a running sequence its next long step; a text the user wrote meanwhile is never overwritten.
    void passeProlongeEtTexteDeLUtilisateurGarde()
    {
        Banc b(QDateTime(QDate(2026, 12, 8), QTime(7, 0), Qt::UTC), etat("2026-09-08", {etapeRelance("e7", "2026-12-08", 91)}), moteur);
        auto& [h, store, client, ecriture_] = b;
        EcritureRelances& ecriture = *ecriture_;
        const QJsonArray etapes = store.etat().contacts.first().relance->qt()["etapes"].toArray();
        QCOMPARE(etapes.size(), 2);
        QCOMPARE(etapes.at(1).toObject().value("date").toString(), QStringLiteral("2027-03-08"));
        // Today's step is being written; the user writes it first ("L'écrire moi-même").
        QCOMPARE(client.requetes.size(), 1);
        QVERIFY(ecriture.enCours().contains(EcritureRelances::cleEtape("c1", "e7")));
        store.modifier([](model::Etat& x) {
            QJsonObject s = x.contacts.first().relance->qt().toObject();
            QJsonArray et = s.value("etapes").toArray();
            QJsonObject e7 = et.at(0).toObject();
            e7.insert("message", "Mon texte");
            et.replace(0, e7);
            s.insert("etapes", et);
            x.contacts.first().relance = model::JSONValeur(s);
        });
        client.derniere()->terminer(QStringLiteral("{\"message\": \"Texte du modèle\"}"));
        QCOMPARE(message(store, 0), QStringLiteral("Mon texte"));
        QVERIFY(ecriture.enCours().isEmpty());
        QVERIFY(ecriture.erreurs().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstEcritureRelances)
#include "tst_ecriturerelances.moc"
