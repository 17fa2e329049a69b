// vd-test: postgres
// The backend client against the emulator in its PostgreSQL mode: the real
// procedures of the migrations answer "rest/v1/rpc/NAME", with PostgREST's
// statuses and error bodies and the caller's role and claims. What the
// procedures do is checked by the pgTAP suite (supabase/tests).
#include "outilscloud.h"

#include <QJsonDocument>
#include <QUuid>

using namespace vd::cloud;
using vd::fakes::BasePostgres;
using vd::tests::attendre;

namespace {

QJsonObject objet(const char* json) { return QJsonDocument::fromJson(json).object(); }

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

    // Refusals as the real procedures and the emulator's functions give them.
    void refus_data()
    {
        QTest::addColumn<bool>("connecte");
        QTest::addColumn<bool>("fonction");
        QTest::addColumn<QString>("nom");
        QTest::addColumn<QJsonObject>("parametres");
        QTest::addColumn<int>("statut");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");   // these two checked when given
        QTest::addColumn<QString>("indice");
        const QString generique = messages::generique;
        QTest::newRow("anonyme") << false << false << "mon_compte" << QJsonObject() << 401 << "42501" << "" << "";
        QTest::newRow("fonction sans connexion") << false << true << "compte" << objet(R"({"action": "apercu"})") << 401
                                                 << "non_connecte" << "" << "";
        QTest::newRow("procédure inconnue") << true << false << "inexistante" << QJsonObject() << 404 << "PGRST202" << generique << "";
        QTest::newRow("argument inconnu") << true << false << "mon_compte" << objet(R"({"p_x": 1})") << 404 << "PGRST202" << generique << "";
        QTest::newRow("argument manquant") << true << false << "accepter_invitation" << QJsonObject() << 404 << "PGRST202" << generique << "";
        QTest::newRow("nom douteux") << true << false << "mon_compte();drop" << QJsonObject() << 404 << "PGRST202" << generique << "";
        QTest::newRow("collection") << true << false << "synchroniser" << objet(R"({"p_changements": {"inconnue": []}})") << 400
                                    << "22023" << "Collection inconnue : inconnue." << "";
        QTest::newRow("curseur") << true << false << "synchroniser" << objet(R"({"p_depuis": "hier"})") << 400 << "22023"
                                 << "Curseur de synchronisation invalide." << "";
        QTest::newRow("limite") << true << false << "synchroniser" << objet(R"({"p_options": {"limite_appels": 0}})") << 400 << "22023"
                                << "Option « limite_appels » invalide : un entier de 1 à 1000." << "";
        QTest::newRow("refus métier et son indice") << true << false << "refuser_invitation"
            << QJsonObject{{QStringLiteral("p_invitation"), QUuid::createUuid().toString(QUuid::WithoutBraces)}} << 400 << "P0001"
            << "Cette invitation n'existe plus." << "invitation_introuvable";
    }
    void refus()
    {
        QFETCH(bool, connecte);
        QFETCH(bool, fonction);
        QFETCH(QString, nom);
        QFETCH(QJsonObject, parametres);
        QFETCH(int, statut);
        QFETCH(QString, code);
        QFETCH(QString, message);
        QFETCH(QString, indice);
        if (connecte)
            QVERIFY(b->connecter());
        auto r = attendre(fonction ? b->client->appelerFonction(nom, QJsonValue(parametres), 30'000)
                                   : b->client->appelerProcedure(nom, parametres, 30'000));
        QVERIFY(!r.ok());
        if (!fonction)
            QCOMPARE(r.erreur().genre, ErreurCloud::Genre::base);
        QCOMPARE(r.erreur().statut, statut);
        QCOMPARE(r.erreur().code, code);
        if (!message.isEmpty())
            QCOMPARE(r.erreur().message, message);
        if (!indice.isEmpty())
            QCOMPARE(r.erreur().indice, indice);
    }

private:
    std::unique_ptr<vd::tests::BancCloud> b;
};

QTEST_GUILESS_MAIN(TestProceduresPostgres)
#include "tst_procedurespostgres.moc"
