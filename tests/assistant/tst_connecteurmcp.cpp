// vd-test: postgres
// Personal keys through the real procedures (created once in clear, listed,
// revoked, limited), the ready-made settings of each client, and the
// settings' card that shows them.
#include "../cloud/outilscloud.h"
#include "assistant/connecteurmcp.h"
#include "assistant/ecrans/sectionconnecteur.h"
#include "assistant/installationclaude.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace vd::assistant;
using vd::fakes::BasePostgres;
using vd::tests::attendre;

class TestConnecteurMcp : public QObject {
    Q_OBJECT
    std::unique_ptr<vd::tests::BancCloud> b;

private Q_SLOTS:
    void init()
    {
        if (BasePostgres::connexionEnvironnement().isEmpty())
            QSKIP("Sans base PostgreSQL (lancer par scripts/avec-postgres.sh)");
        QStandardPaths::setTestModeEnabled(true);
        b = std::make_unique<vd::tests::BancCloud>();
        QVERIFY(b->serveur.utiliserPostgres());
        QVERIFY(b->demarrer());
    }
    void cleanup() { b.reset(); }

    void clesDUnCompte()
    {
        ClesMcp cles(b->client.get());
        QVERIFY(!attendre(cles.charger()));
        QCOMPARE(*cles.erreur(), QStringLiteral("Connectez-vous pour continuer."));
        QVERIFY(b->connecter());
        QVERIFY(attendre(cles.charger()));
        QVERIFY(cles.cles().isEmpty());
        QVERIFY(!attendre(cles.creer(QStringLiteral("   "))));
        QCOMPARE(*cles.erreur(), QStringLiteral("Donnez un nom à la clé."));
        QVERIFY(attendre(cles.creer(QStringLiteral("Mac du bureau"))));
        const QString cle = cles.nouvelle().value();
        QVERIFY(cle.startsWith(QStringLiteral("vdk_")));
        QCOMPARE(cles.cles().first().nom, QStringLiteral("Mac du bureau"));
        QCOMPARE(ClesMcp::texteUtilisation(cles.cles().first()), QStringLiteral("jamais utilisée"));
        cles.oublierNouvelle();
        QVERIFY(!cles.nouvelle());
        // Read again from the server: the clear key never comes back.
        ClesMcp relues(b->client.get());
        QVERIFY(attendre(relues.charger()));
        QCOMPARE(relues.cles().size(), 1);
        QVERIFY(!relues.nouvelle());
        QCOMPARE(relues.texteLimites(), QStringLiteral("5 clés au plus. 60 requêtes par minute et 2\u202F000 par jour pour chaque clé."));
        for (int i = 2; i <= 5; ++i)
            QVERIFY(attendre(cles.creer(QStringLiteral("Clé %1").arg(i))));
        QVERIFY(!attendre(cles.creer(QStringLiteral("Sixième"))));
        QCOMPARE(*cles.erreur(), QStringLiteral("5 clés au plus : révoquez-en une."));
        // Revoked here, then again from a list that did not know: both end without an error.
        const QString id = relues.cles().first().id;
        QVERIFY(attendre(cles.revoquer(id)));
        QVERIFY(attendre(relues.revoquer(id)));
        QVERIFY(relues.cles().isEmpty());
        QVERIFY(attendre(cles.charger()));
        QCOMPARE(cles.cles().size(), 4);
        QCOMPARE(ClesMcp::texteRevocation(QStringLiteral("Mac du bureau")),
                 QStringLiteral("« Mac du bureau » ne pourra plus lire vos données, tout de suite. L'assistant qui l'utilise devra recevoir une nouvelle clé."));
    }

    void textesDesClients()
    {
        const QString adresse = textesconnecteur::adresseServeur(QStringLiteral("https://b.test/"));
        QCOMPARE(adresse, QStringLiteral("https://b.test/functions/v1/mcp"));
        QCOMPARE(textesconnecteur::commandeCode(adresse, QStringLiteral("vdk_1")),
                 QStringLiteral("claude mcp add --transport http --scope user vendalo https://b.test/functions/v1/mcp --header \"Authorization: Bearer vdk_1\""));
        const QJsonObject cursor = QJsonDocument::fromJson(textesconnecteur::blocCursor(adresse, QString()).toUtf8()).object();
        QCOMPARE(cursor.value("mcpServers").toObject().value("vendalo").toObject().value("headers").toObject().value("Authorization").toString(),
                 QStringLiteral("Bearer COLLEZ_VOTRE_CLE_ICI"));
        const QJsonObject bureau = QJsonDocument::fromJson(textesconnecteur::blocBureau("npx", adresse, "vdk_2").toUtf8()).object();
        QCOMPARE(bureau.value("mcpServers").toObject().value("vendalo").toObject().value("args").toArray().at(2).toString(), adresse);
        QCOMPARE(textesconnecteur::adressePersonnelle(adresse, QStringLiteral("vdk_3")), adresse + QStringLiteral("?cle=vdk_3"));
    }

    // The card installs into the desktop assistant's file only with a key shown once.
    void carteDesReglages()
    {
        QTemporaryDir dossier;
        InstallationClaudeDesktop::Environnement e;
        e.dossier = dossier.path();
        e.claudeInstalle = [] { return true; };
        e.claudeOuvert = [] { return false; };
        e.trouverNpx = [](std::function<void(std::optional<QString>)> fin) { fin(QStringLiteral("/usr/bin/npx")); };
        e.maintenant = [] { return QDateTime(QDate(2026, 12, 8), QTime(10, 0)); };
        e.quitterClaude = e.ouvrirClaude = [] {};
        InstallationClaudeDesktop installation(e);
        QVERIFY(b->connecter());
        SectionConnecteur carte(b->client.get(), nullptr, &installation);
        QVERIFY(carte.configuration().contains(QStringLiteral("\"mcp\"")));   // the local server first
        carte.choisirClient(QStringLiteral("bureau"));
        QCOMPARE(installation.etat().genre, InstallationClaudeDesktop::Etat::Genre::pret);
        QVERIFY(carte.message().startsWith(QStringLiteral("Créez d'abord une clé")));
        QVERIFY(attendre(carte.cles()->creer(QStringLiteral("Portable"))));
        QVERIFY(carte.configuration().contains(*carte.cles()->nouvelle()));
        installation.installer(b->client->base().toString(), *carte.cles()->nouvelle());
        QCOMPARE(carte.message(), QStringLiteral("C'est installé. Ouvrez Claude : Vendalo sera dans ses outils."));
        QFile f(FichierConfigClaude{dossier.path()}.chemin());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains(("Bearer " + *carte.cles()->nouvelle()).toUtf8()));
    }
};

QTEST_MAIN(TestConnecteurMcp)
#include "tst_connecteurmcp.moc"
