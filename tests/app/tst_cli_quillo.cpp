// "vendalo quillo" on the demonstration data: the answer on stdout, a closing JSON
// line naming the tools and the waiting proposals, then a proposal applied by its id.
#include "environnementvendalo.h"

class TestCliQuillo : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;

    using Sortie = SortieVendalo;
    Sortie lancer(const QStringList& args) { return lancerVendalo(environnementVendalo(dossier), args); }
    static QJsonObject derniereLigne(const QString& s)
    {
        return QJsonDocument::fromJson(s.trimmed().split(QLatin1Char('\n')).last().toUtf8()).object();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(!importerDemo(environnementVendalo(dossier)).isEmpty());
    }

    void questionPuisProposition()
    {
        const Sortie r = lancer({QStringLiteral("quillo"), QStringLiteral("--demo"), QStringLiteral("Ajoute une note à Julien Morel : rappeler lundi")});
        QCOMPARE(r.code, 0);
        QVERIFY(r.erreurs.contains(QStringLiteral("Recherche dans le CRM…")));
        const QJsonObject fin = derniereLigne(r.texte());
        QCOMPARE(fin.value(QLatin1String("outils")).toArray(), (QJsonArray{"chercher_contacts", "ajouter_note"}));
        const QJsonObject p = fin.value(QLatin1String("propositions")).toArray().at(0).toObject();
        QCOMPARE(p.value(QLatin1String("outil")).toString(), QStringLiteral("ajouter_note"));
        const QString conversation = fin.value(QLatin1String("conversation")).toString();
        const QString id = p.value(QLatin1String("id")).toString();

        const Sortie a = lancer({QStringLiteral("quillo"), QStringLiteral("appliquer"), conversation, id});
        QCOMPARE(a.code, 0);
        QCOMPARE(derniereLigne(a.texte()).value(QLatin1String("statut")).toString(), QStringLiteral("applique"));
        // Decided once: a second choice is refused with a clear message.
        const Sortie b = lancer({QStringLiteral("quillo"), QStringLiteral("ignorer"), conversation, id});
        QCOMPARE(b.code, 1);
        QVERIFY(b.erreurs.contains(QStringLiteral("n'attend plus de choix")));
        QCOMPARE(lancer({QStringLiteral("quillo"), QStringLiteral("appliquer"), QStringLiteral("q_inconnue"), id}).code, 1);
        QCOMPARE(lancer({QStringLiteral("quillo")}).code, 2);
    }
};

QTEST_GUILESS_MAIN(TestCliQuillo)
#include "tst_cli_quillo.moc"
