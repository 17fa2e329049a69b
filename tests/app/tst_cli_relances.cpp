// « vendalo relances », run as the user would, on a private data folder holding the demonstration's follow-ups.
#include "environnementvendalo.h"
#include <QDate>

class TstCliRelances : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;

    using Sortie = SortieVendalo;
    Sortie lancer(const QStringList& args) { return lancerVendalo(environnementVendalo(dossier), args); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(!importerDemo(environnementVendalo(dossier)).isEmpty());
    }

    void listeDuJour()
    {
        const QString jour = QDate::currentDate().toString(Qt::ISODate);
        const Sortie s = lancer({QStringLiteral("relances"), QStringLiteral("--jour"), jour});
        QCOMPARE(s.code, 0);
        const QJsonArray a = s.json().array();
        QVERIFY(!a.isEmpty());
        for (const QJsonValue& v : a) {
            const QJsonObject o = v.toObject();
            QVERIFY(!o.value("contactId").toString().isEmpty());
            QVERIFY(!o.value("appelId").toString().isEmpty());
            QCOMPARE(o.value("statut").toString(), QStringLiteral("active"));
            for (const QJsonValue& e : o.value("etapes").toArray()) {
                const QString date = e.toObject().value("date").toString();
                QVERIFY(date <= jour);
                QCOMPARE(e.toObject().value("statut").toString(), date < jour ? QStringLiteral("en_retard") : QStringLiteral("a_venir"));
            }
        }
        const Sortie mauvais = lancer({QStringLiteral("relances"), QStringLiteral("--jour"), QStringLiteral("2026-13-01")});
        QCOMPARE(mauvais.code, 2);
        QCOMPARE(mauvais.derniereErreur(), QStringLiteral("Date illisible : « 2026-13-01 ». Écrivez-la sous la forme AAAA-MM-JJ."));
    }

    void envoyerArreterActiver()
    {
        Sortie s = lancer({"relances", "envoyer", "c_perrin", "e1", "--par", "note"});
        QCOMPARE(s.code, 0);
        QCOMPARE(s.json().object().value("message").toString(), QStringLiteral("Relance marquée envoyée"));
        const QJsonObject e1 = s.json().object().value("relance").toObject().value("etapes").toArray().first().toObject();
        QCOMPARE(e1.value("statut").toString(), QStringLiteral("envoyee"));
        QVERIFY(!e1.value("interactionId").toString().isEmpty());
        s = lancer({"relances", "envoyer", "c_perrin", "e1", "--par", "note"});
        QCOMPARE(s.code, 1);
        QCOMPARE(s.derniereErreur(), QStringLiteral("Cette relance est déjà envoyée."));
        s = lancer({QStringLiteral("relances"), QStringLiteral("arreter"), QStringLiteral("c_perrin")});
        QCOMPARE(s.json().object().value("message").toString(), QStringLiteral("Relance arrêtée."));
        QCOMPARE(s.json().object().value("relance").toObject().value("statut").toString(), QStringLiteral("arretee"));
        s = lancer({"relances", "envoyer", "c_perrin", "e2", "--par", "note"});
        QCOMPARE(s.derniereErreur(), QStringLiteral("Cette relance n'est plus active."));
        s = lancer({QStringLiteral("relances"), QStringLiteral("activer"), QStringLiteral("c_perrin")});
        QCOMPARE(s.code, 0);
        QVERIFY(s.json().object().value("message").toString().startsWith(QStringLiteral("Relance activée : ")));
        s = lancer({QStringLiteral("relances"), QStringLiteral("activer"), QStringLiteral("c_morel")});
        QCOMPARE(s.code, 1);
        QCOMPARE(s.derniereErreur(), QStringLiteral("Préparez d'abord la relance."));
        QCOMPARE(lancer({QStringLiteral("relances"), QStringLiteral("bof")}).code, 2);
    }

    // A deal moved to lost stops its running sequence, with that reason.
    void affairePerdueArreteLaRelance()
    {
        QCOMPARE(lancer({QStringLiteral("contacts"), QStringLiteral("etape"), QStringLiteral("c_perrin"), QStringLiteral("perdu")}).code, 0);
        const Sortie s = lancer({QStringLiteral("relances")});
        QCOMPARE(s.code, 0);
        const QJsonObject perrin = parChamp(s.json().array(), QStringLiteral("c_perrin"), QStringLiteral("contactId")).value(0);
        QCOMPARE(perrin.value("statut").toString(), QStringLiteral("arretee"));
        QCOMPARE(perrin.value("raisonArret").toString(), QStringLiteral("perdu"));
        const Sortie e = lancer({"relances", "envoyer", "c_perrin", "e2", "--par", "note"});
        QCOMPARE(e.derniereErreur(), QStringLiteral("Cette relance n'est plus active."));
    }
};

QTEST_GUILESS_MAIN(TstCliRelances)
#include "tst_cli_relances.moc"
