// The desktop assistant's configuration editor: other settings kept byte for
// byte, damaged files left alone until set aside, backups, modes, npx lookup.
#include "assistant/installationclaude.h"
#include "assistant/jsonordonne.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vd::assistant;
using Genre = InstallationClaudeDesktop::Etat::Genre;

namespace {

QByteArray lire(const QString& chemin)
{
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void ecrire(const QString& chemin, const QByteArray& b)
{
    QFile f(chemin);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(b);
}

const QString serveurs = QStringLiteral("mcpServers");
const QString vendalo = QStringLiteral("vendalo");

} // namespace

class TstInstallationClaude : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::optional<QString> npx_ = QStringLiteral("/home/lea/.volta/bin/npx");
    bool claudeOuvert_ = false;
    int ouvertures_ = 0;
    QDateTime maintenant_ = QDateTime(QDate(2026, 12, 8), QTime(9, 30, 5));

    QString dossier() const { return dir_.path() + QStringLiteral("/Claude"); }
    QString fichier() const { return dossier() + QStringLiteral("/claude_desktop_config.json"); }
    QStringList autres() const
    {
        return QDir(dossier()).entryList({QStringLiteral("claude_desktop_config.*")}, QDir::Files, QDir::Name).filter(QStringLiteral("-"));
    }

    std::unique_ptr<InstallationClaudeDesktop> installation()
    {
        InstallationClaudeDesktop::Environnement e;
        e.dossier = dossier();
        e.claudeInstalle = [] { return true; };
        e.claudeOuvert = [this] { return claudeOuvert_; };
        e.trouverNpx = [this](std::function<void(std::optional<QString>)> fin) { fin(npx_); };
        e.maintenant = [this] { return maintenant_; };
        e.quitterClaude = [] {};
        e.ouvrirClaude = [this] { ++ouvertures_; };
        e.attenteFermetureMs = 300;
        return std::make_unique<InstallationClaudeDesktop>(std::move(e));
    }

private Q_SLOTS:
    void init()
    {
        QDir(dossier()).removeRecursively();
        QDir().mkpath(dossier());
        npx_ = QStringLiteral("/home/lea/.volta/bin/npx");
        claudeOuvert_ = false;
        ouvertures_ = 0;
    }

    // Installing then removing gives back the user's file to the byte, whatever its layout.
    void allerRetour()
    {
        auto cas = [](const QByteArray& original, bool identiqueApres) {
            const QByteArray valeur = InstallationClaudeDesktop::entree(QStringLiteral("/usr/bin/npx"), QStringLiteral("https://b.test"), QStringLiteral("vdk_1"));
            const QByteArray avec = jsonordonne::avecMembre(original, serveurs, vendalo, valeur);
            QJsonParseError e;
            const QJsonObject o = QJsonDocument::fromJson(avec, &e).object();
            QVERIFY2(e.error == QJsonParseError::NoError, avec.constData());
            const QJsonValue entree = o[serveurs][vendalo];
            QCOMPARE(entree["command"].toString() + ' ' + entree["env"]["VD_AUTH"].toString(), QStringLiteral("/usr/bin/npx Bearer vdk_1"));
            QVERIFY(jsonordonne::contientMembre(avec, serveurs, vendalo));
            // Set again with another key: replaced in place, not added twice.
            const QByteArray encore = jsonordonne::avecMembre(avec, serveurs, vendalo, QByteArray(valeur).replace("vdk_1", "vdk_2"));
            QCOMPARE(encore.count("\"vendalo\""), 1);
            QVERIFY(encore.contains("Bearer vdk_2"));
            const QByteArray sans = jsonordonne::sansMembre(encore, serveurs, vendalo);
            QVERIFY(!jsonordonne::contientMembre(sans, serveurs, vendalo));
            QVERIFY(QJsonDocument::fromJson(sans).isObject());
            if (identiqueApres)
                QCOMPARE(sans, original);
            QCOMPARE(jsonordonne::sansMembre(original, serveurs, vendalo), original);   // nothing to remove
        };
        // Four spaces, keys out of order.
        cas(QByteArray("{\n    \"zoom\": 1.50,\n    \"mcpServers\": {\n        \"fichiers\": {\"command\": \"npx\", \"args\": [\"-y\"]},\n"
                       "        \"autre\": {\n            \"url\": \"https://x.test\"\n        }\n    },\n    \"a\": true\n}\n"), true);
        cas(QByteArray("{\n\t\"mcpServers\": {\n\t\t\"b\": {}\n\t}\n}"), true);   // tabs
        cas(QByteArray(R"({"mcpServers": {"b": {"url": "u"}}, "theme": "dark"})"), true);   // one line
        cas(QByteArray("{\n  \"mcpServers\": {}\n}\n"), true);   // no server yet
        cas(QByteArray("{\n  \"globalShortcut\": \"Alt+Space\"\n}\n"), false);   // no servers member
        cas(QByteArray("{}"), false);   // an empty object
    }

    // A damaged file: what is wrong and where. The installer shows it and leaves the file alone.
    void fichiersAbimes()
    {
        auto cas = [this](const QByteArray& texte, const QString& detail) {
            const auto d = jsonordonne::verifier(texte, serveurs);
            QCOMPARE(d ? jsonordonne::detail(*d) : QStringLiteral("lisible"), detail);
            ecrire(fichier(), texte);
            auto i = installation();
            i->verifier();
            QVERIFY(i->etat().genre == Genre::fichierInvalide && i->message().contains(detail));
            i->installer(QStringLiteral("https://b.test"), QStringLiteral("vdk_1"));
            QCOMPARE(i->etat().genre, Genre::fichierInvalide);
            QVERIFY(lire(fichier()) == texte && autres().isEmpty());
        };
        cas("{\n  \"mcpServers\": {\n    \"a\": {},\n  }\n}", "virgule en trop vers la ligne 3");
        cas("{\"a\": [1, 2,]}", "virgule en trop vers la ligne 1");
        cas("{\n  \"a\": 1\n  \"b\": 2\n}", "erreur de syntaxe vers la ligne 3");   // a comma missing
        cas("{\"a\": \",}\"\n\"b\"}", "erreur de syntaxe vers la ligne 2");      // a comma inside a string
        cas("[1, 2]", "structure inattendue");
        cas(R"({"mcpServers": []})", "structure inattendue");
        cas("", "erreur de syntaxe vers la ligne 1");
    }

    void miseDeCoteEtFichierNeuf()
    {
        ecrire(fichier(), "{\"a\": 1,}");
        auto i = installation();
        i->mettreDeCoteEtInstaller(QStringLiteral("https://b.test"), QStringLiteral("vdk_1"));
        QCOMPARE(i->etat().genre, Genre::installe);
        QVERIFY(i->etat().ancienMisDeCote);
        QCOMPARE(autres(), QStringList{QStringLiteral("claude_desktop_config.ancien-2026-12-08-093005.json")});
        QCOMPARE(lire(dossier() + QStringLiteral("/") + autres().first()), QByteArray("{\"a\": 1,}"));
        QVERIFY(jsonordonne::contientMembre(lire(fichier()), serveurs, vendalo));
        QCOMPARE(i->message(), QStringLiteral("C'est installé. Ouvrez Claude : Vendalo sera dans ses outils. L'ancien fichier est gardé à côté, renommé."));
    }

    void nouveauFichierEnMode600()
    {
        auto i = installation();
        QSignalSpy spy(i.get(), &InstallationClaudeDesktop::etatChange);
        i->verifier();
        QCOMPARE(i->etat(), (InstallationClaudeDesktop::Etat{Genre::pret, false}));
        claudeOuvert_ = true;
        i->installer(QStringLiteral("https://b.test"), QStringLiteral("vdk_1"));
        QCOMPARE(QFile::permissions(fichier()), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QVERIFY(autres().isEmpty());   // no backup of a file that did not exist
        QCOMPARE(i->message(), QStringLiteral("C'est installé. Quittez Claude complètement (Ctrl+Q) puis rouvrez-le."));
        const QJsonValue e = QJsonDocument::fromJson(lire(fichier())).object()[serveurs][vendalo];
        QCOMPARE(e["args"].toVariant().toStringList(),
                 (QStringList{"-y", "mcp-remote", "https://b.test/functions/v1/mcp", "--header", "Authorization:${VD_AUTH}", "--transport", "http-only"}));
        QCOMPARE(e["env"]["PATH"].toString(),
                 QStringLiteral("/home/lea/.volta/bin:/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin"));
        i->verifier();
        QCOMPARE(i->etat(), (InstallationClaudeDesktop::Etat{Genre::pret, true}));
        QVERIFY(spy.count() >= 3);
    }

    // Every change of an existing file is backed up first; two in one second never share a name.
    void sauvegardesEtModeGardes()
    {
        const QByteArray original("{\"mcpServers\": {\"autre\": {}}}");
        ecrire(fichier(), original);
        QFile::setPermissions(fichier(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        auto i = installation();
        i->installer(QStringLiteral("https://b.test"), QStringLiteral("vdk_1"));
        i->retirer();
        QCOMPARE(i->etat(), (InstallationClaudeDesktop::Etat{Genre::retire, false, false}));
        QCOMPARE(i->message(), QStringLiteral("Vendalo est retiré de Claude Desktop."));
        QCOMPARE(autres(), (QStringList{QStringLiteral("claude_desktop_config.avant-vendalo-2026-12-08-093005-2.json"),
                                        QStringLiteral("claude_desktop_config.avant-vendalo-2026-12-08-093005.json")}));
        QCOMPARE(lire(dossier() + QStringLiteral("/claude_desktop_config.avant-vendalo-2026-12-08-093005.json")), original);
        QCOMPARE(lire(fichier()), original);
        QCOMPARE(QFile::permissions(fichier()), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
        i->retirer();   // nothing left to remove: no new backup
        QCOMPARE(autres().size(), 2);
    }

    void refusSansRienEcrire()
    {
        npx_.reset();
        auto i = installation();
        i->installer(QStringLiteral("https://b.test"), QStringLiteral("vdk_1"));
        QCOMPARE(i->etat().genre, Genre::nodeAbsent);
        QVERIFY(i->message().startsWith(QStringLiteral("Node.js est absent de cet ordinateur")));
        QVERIFY(!QFile::exists(fichier()));
        // A plain file stands where the folder should be.
        npx_ = QStringLiteral("/usr/bin/npx");
        QVERIFY(QDir(dossier()).removeRecursively());
        ecrire(dossier(), "pas un dossier");
        i->installer(QStringLiteral("https://b.test"), QStringLiteral("vdk_1"));
        QCOMPARE(i->etat().genre, Genre::erreur);
        QVERIFY(i->message().startsWith(QStringLiteral("Écriture impossible dans le dossier de Claude : ")));
        QCOMPARE(lire(dossier()), QByteArray("pas un dossier"));
        QFile::remove(dossier());
    }

    void relance()
    {
        auto i = installation();
        claudeOuvert_ = true;
        i->relancerClaude();
        QVERIFY(i->relanceEnCours());
        QTRY_VERIFY(!i->relanceEnCours());
        QCOMPARE(i->message(), QStringLiteral("Claude ne s'est pas fermé. Quittez-le avec Ctrl+Q puis rouvrez-le."));
        QCOMPARE(ouvertures_, 0);
        claudeOuvert_ = false;
        i->relancerClaude();
        QTRY_VERIFY(!i->relanceEnCours());
        QCOMPARE(ouvertures_, 1);
    }

    void candidatsNpx()
    {
        const QString maison = dir_.path() + QStringLiteral("/maison");
        for (const char* v : {"v18.20.1", "v20.11.0", "v9.0.0"})
            QDir().mkpath(maison + QStringLiteral("/.nvm/versions/node/") + QLatin1String(v));
        const QStringList c = InstallationClaudeDesktop::candidatsNpx(maison);
        QCOMPARE(c.mid(0, 4), (QStringList{maison + "/.volta/bin/npx", maison + "/.nvm/versions/node/v20.11.0/bin/npx",
                                           maison + "/.nvm/versions/node/v18.20.1/bin/npx", maison + "/.nvm/versions/node/v9.0.0/bin/npx"}));
        QVERIFY(c.indexOf(maison + "/.local/share/fnm/aliases/default/bin/npx") < c.indexOf(QStringLiteral("/usr/bin/npx")));
    }
};

QTEST_GUILESS_MAIN(TstInstallationClaude)
#include "tst_installationclaude.moc"
