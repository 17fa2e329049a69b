// "vendalo mcp" driven over a pipe as an outside assistant would: the handshake,
// the tool list, reads of the demonstration data, bad requests, and a change
// written by another process while the server runs.
#include "environnementvendalo.h"

class TestCliMcp : public QObject {
    Q_OBJECT
    QTemporaryDir dossier;
    QProcess serveur;

    QJsonObject echanger(const QByteArray& ligne)
    {
        serveur.write(ligne + '\n');
        while (!serveur.canReadLine())
            if (!serveur.waitForReadyRead(20000))
                return {};
        return QJsonDocument::fromJson(serveur.readLine()).object();
    }
    QJsonObject demander(int id, const QString& methode, const QJsonObject& params = {})
    {
        const QJsonObject m{{"jsonrpc", "2.0"}, {"id", id}, {"method", methode}, {"params", params}};
        const QJsonObject r = echanger(QJsonDocument(m).toJson(QJsonDocument::Compact));
        if (r.value("id").toInt() != id)
            qWarning() << "réponse inattendue" << r;
        return r;
    }
    QJsonObject outil(int id, const QString& nom, const QJsonObject& arguments)
    {
        return demander(id, "tools/call", {{"name", nom}, {"arguments", arguments}});
    }
    static QString texte(const QJsonObject& r)
    {
        return r.value("result").toObject().value("content").toArray().at(0).toObject().value("text").toString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dossier.isValid());
        QVERIFY(!importerDemo(environnementVendalo(dossier)).isEmpty());
        serveur.setProcessEnvironment(environnementVendalo(dossier));
        serveur.start(QStringLiteral(VD_VENDALO_BIN), {"mcp"});
        QVERIFY(serveur.waitForStarted());
    }
    void cleanupTestCase()
    {
        serveur.closeWriteChannel();
        QVERIFY(serveur.waitForFinished(10000));
        QCOMPARE(serveur.exitCode(), 0);
    }

    void poigneeDeMainEtListe()
    {
        QJsonObject r = demander(1, "initialize", {{"protocolVersion", "2025-03-26"}, {"capabilities", QJsonObject()}});
        QCOMPARE(r.value("result").toObject().value("protocolVersion").toString(), QStringLiteral("2025-03-26"));
        QVERIFY(r.value("result").toObject().value("capabilities").toObject().contains("tools"));
        // A notification gets no answer: the next line answers the ping.
        serveur.write(R"({"jsonrpc":"2.0","method":"notifications/initialized"})" "\n");
        QCOMPARE(demander(2, "ping").value("result").toObject(), QJsonObject());
        r = demander(3, "initialize", {{"protocolVersion", "1999-01-01"}});
        QCOMPARE(r.value("result").toObject().value("protocolVersion").toString(), QStringLiteral("2025-06-18"));

        const QJsonArray outils = demander(4, "tools/list").value("result").toObject().value("tools").toArray();
        QStringList noms;
        for (const QJsonValue& o : outils)
            noms << o.toObject().value("name").toString();
        QCOMPARE(noms, (QStringList{"chercher_contacts", "lire_contact", "lister_appels", "lire_appel", "statistiques",
                                    "prochaines_actions", "pipeline", "lire_profils", "relances_du_jour"}));
        const QJsonObject schema = outils.at(0).toObject().value("inputSchema").toObject();
        QCOMPARE(schema.value("properties").toObject().keys().contains("requete"), true);
        QCOMPARE(outils.at(1).toObject().value("inputSchema").toObject().value("required").toArray(), QJsonArray{"id"});
    }

    void lectures()
    {
        QJsonObject r = outil(10, "chercher_contacts", {{"requete", "Morel"}});
        QCOMPARE(r.value("result").toObject().value("isError").toBool(), false);
        const QJsonObject page = QJsonDocument::fromJson(texte(r).toUtf8()).object();
        const QJsonObject julien = page.value("contacts").toArray().at(0).toObject();
        QVERIFY2(texte(r).contains("Julien"), qPrintable(texte(r)));
        r = outil(11, "lire_contact", {{"id", julien.value("id").toString()}});
        QVERIFY(texte(r).contains("Morel"));
        r = outil(12, "relances_du_jour", {{"jour", "2099-01-01"}});
        QVERIFY(QJsonDocument::fromJson(texte(r).toUtf8()).isArray());
        r = outil(13, "relances_du_jour", {{"jour", "demain"}});
        QVERIFY(r.value("result").toObject().value("isError").toBool());
        QVERIFY(texte(r).startsWith("Date illisible"));
        r = outil(14, "lire_contact", {});   // its id is required
        QVERIFY(r.value("result").toObject().value("isError").toBool());
    }

    void mauvaisesRequetes()
    {
        QCOMPARE(outil(20, "ajouter_note", {{"contactId", "x"}, {"texte", "y"}}).value("error").toObject().value("code").toInt(), -32602);
        QCOMPARE(demander(21, "resources/list").value("error").toObject().value("code").toInt(), -32601);
        QJsonObject r = echanger("{pas du json");
        QCOMPARE(r.value("error").toObject().value("code").toInt(), -32700);
        QVERIFY(r.value("id").isNull());
        r = echanger(R"({"jsonrpc":"1.0","id":22,"method":"ping"})");
        QCOMPARE(r.value("error").toObject().value("code").toInt(), -32600);
        QCOMPARE(demander(23, "ping").value("id").toInt(), 23);   // still serving
    }

    // The server holds no lock: another process writes, and the next call sees it.
    void changementPendantLeService()
    {
        const SortieVendalo c = lancerVendalo(environnementVendalo(dossier),
                                              {"contacts", "creer", R"({"prenom":"Zoé","nom":"Quintal","societe":"Atelier Nord"})"});
        QCOMPARE(c.code, 0);
        const QJsonObject r = outil(30, "chercher_contacts", {{"requete", "Quintal"}});
        QVERIFY2(texte(r).contains("Atelier Nord"), qPrintable(texte(r)));
    }
};

QTEST_GUILESS_MAIN(TestCliMcp)
#include "tst_cli_mcp.moc"
