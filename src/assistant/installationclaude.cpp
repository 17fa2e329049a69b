#include "installationclaude.h"

#include "jsonordonne.h"
#include "platform/formulation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QPointer>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QVersionNumber>
#include <QtConcurrent>
#include <csignal>

namespace vd::assistant {

namespace {

using Genre = InstallationClaudeDesktop::Etat::Genre;
const QString serveurs = QStringLiteral("mcpServers");
const QString nomEntree = QStringLiteral("vendalo");
const QString prefixeEcriture = QStringLiteral("Écriture impossible dans le dossier de Claude : ");

InstallationClaudeDesktop::Etat faireEtat(Genre g, QString texte = {}, bool installe = false, bool claudeOuvert = false, bool ancienMisDeCote = false)
{
    InstallationClaudeDesktop::Etat e;
    e.genre = g;
    e.texte = std::move(texte);
    e.installe = installe;
    e.claudeOuvert = claudeOuvert;
    e.ancienMisDeCote = ancienMisDeCote;
    return e;
}

QByteArray chaineJson(const QString& s)
{
    const QByteArray a = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
    return a.mid(1, a.size() - 2);
}

struct Lecture {
    bool existe = false;
    QByteArray texte;
    std::optional<jsonordonne::Defaut> defaut;
    QString erreur;   // the file exists but cannot be read
};

Lecture lire(const QString& chemin)
{
    Lecture l;
    QFile f(chemin);
    l.existe = f.exists();
    if (!l.existe) {
        l.texte = "{}\n";
        return l;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        l.erreur = f.errorString();
        return l;
    }
    l.texte = f.readAll();
    l.defaut = jsonordonne::verifier(l.texte, serveurs);
    return l;
}

// Empty on success, else the system's reason.
QString ecrire(const QString& chemin, const QByteArray& donnees, QFileDevice::Permissions mode)
{
    if (!QDir().mkpath(QFileInfo(chemin).absolutePath()))
        return QStringLiteral("impossible de créer le dossier.");
    QSaveFile f(chemin);
    if (!f.open(QIODevice::WriteOnly))
        return f.errorString();
    // Set on the temporary file, so the renamed file never shows a wider mode.
    f.setPermissions(mode);
    if (f.write(donnees) != donnees.size()) {
        const QString e = f.errorString();
        f.cancelWriting();
        return e;
    }
    return f.commit() ? QString() : f.errorString();
}

QList<qint64> processusClaude()
{
    QList<qint64> pids;
    const QStringList entrees = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& e : entrees) {
        bool ok = false;
        const qint64 pid = e.toLongLong(&ok);
        if (!ok)
            continue;
        QFile f(QStringLiteral("/proc/%1/comm").arg(e));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray nom = f.readAll().trimmed();
        if (nom == "claude-desktop" || nom == "Claude")
            pids << pid;
    }
    return pids;
}

QString executableClaude()
{
    for (const char* nom : {"claude-desktop", "Claude"})
        if (const QString p = QStandardPaths::findExecutable(QString::fromLatin1(nom)); !p.isEmpty())
            return p;
    return {};
}

bool executable(const QString& chemin)
{
    const QFileInfo i(chemin);
    return i.isAbsolute() && i.isFile() && i.isExecutable();
}

// The login shell knows the folders a version manager adds in the user's profile.
std::optional<QString> npxParLeShell()
{
    QString shell = qEnvironmentVariable("SHELL");
#ifdef Q_OS_MACOS
    shell = QStringLiteral("/bin/zsh");
#endif
    if (!executable(shell))
        shell = QStringLiteral("/bin/sh");
    QProcess p;
    p.start(shell, {QStringLiteral("-lc"), QStringLiteral("command -v npx")});
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(1000);
        return std::nullopt;
    }
    const QList<QByteArray> lignes = p.readAllStandardOutput().trimmed().split('\n');
    const QString chemin = QString::fromLocal8Bit(lignes.last().trimmed());
    if (executable(chemin))
        return chemin;
    return std::nullopt;
}

} // namespace

QString FichierConfigClaude::dossierSysteme()
{
#if defined(Q_OS_MACOS)
    return QDir::homePath() + QStringLiteral("/Library/Application Support/Claude");
#elif defined(Q_OS_WIN)
    return qEnvironmentVariable("APPDATA") + QStringLiteral("/Claude");
#else
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    return (xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : xdg) + QStringLiteral("/Claude");
#endif
}

QStringList InstallationClaudeDesktop::candidatsNpx(const QString& maison)
{
    QStringList c{maison + QStringLiteral("/.volta/bin/npx")};
    // nvm: the newest installed Node first.
    QStringList versions = QDir(maison + QStringLiteral("/.nvm/versions/node")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(), [](const QString& a, const QString& b) {
        return QVersionNumber::fromString(a.mid(a.startsWith(u'v') ? 1 : 0)) > QVersionNumber::fromString(b.mid(b.startsWith(u'v') ? 1 : 0));
    });
    for (const QString& v : versions)
        c << maison + QStringLiteral("/.nvm/versions/node/") + v + QStringLiteral("/bin/npx");
    c << maison + QStringLiteral("/Library/Application Support/fnm/aliases/default/bin/npx")
      << maison + QStringLiteral("/.local/share/fnm/aliases/default/bin/npx") << QStringLiteral("/opt/homebrew/bin/npx")
      << QStringLiteral("/usr/local/bin/npx") << QStringLiteral("/usr/bin/npx") << QStringLiteral("/bin/npx");
    return c;
}

InstallationClaudeDesktop::Environnement InstallationClaudeDesktop::environnementSysteme()
{
    Environnement e;
    e.dossier = FichierConfigClaude::dossierSysteme();
    e.claudeInstalle = [d = e.dossier] { return !executableClaude().isEmpty() || QFileInfo(d).isDir(); };
    e.claudeOuvert = [] { return !processusClaude().isEmpty(); };
    e.trouverNpx = [](std::function<void(std::optional<QString>)> fin) {
        QPointer<QCoreApplication> app = QCoreApplication::instance();
        // Off the main thread: the login shell may take seconds.
        (void)QtConcurrent::run([fin = std::move(fin), app] {
            std::optional<QString> trouve;
            for (const QString& c : candidatsNpx(QDir::homePath()))
                if (executable(c)) {
                    trouve = c;
                    break;
                }
            if (!trouve)
                trouve = npxParLeShell();
            if (app)
                QMetaObject::invokeMethod(app, [fin, trouve] { fin(trouve); }, Qt::QueuedConnection);
        });
    };
    e.maintenant = [] { return QDateTime::currentDateTime(); };
    e.quitterClaude = [] {
        for (qint64 pid : processusClaude())
            ::kill(pid_t(pid), SIGTERM);
    };
    e.ouvrirClaude = [] {
        if (const QString p = executableClaude(); !p.isEmpty())
            QProcess::startDetached(p, {});
    };
    return e;
}

InstallationClaudeDesktop::InstallationClaudeDesktop(Environnement env, QObject* parent) : QObject(parent), env_(std::move(env)) {}

void InstallationClaudeDesktop::changer(Etat e)
{
    if (e == etat_)
        return;
    etat_ = std::move(e);
    Q_EMIT etatChange();
}

QString InstallationClaudeDesktop::message() const
{
    QString t;
    switch (etat_.genre) {
    case Genre::installe:
        t = etat_.claudeOuvert ? QStringLiteral("C'est installé. Quittez Claude complètement (⌘Q) puis rouvrez-le.")
                               : QStringLiteral("C'est installé. Ouvrez Claude : Vendalo sera dans ses outils.");
        if (etat_.ancienMisDeCote)
            t += QStringLiteral(" L'ancien fichier est gardé à côté, renommé.");
        break;
    case Genre::retire:
        t = etat_.claudeOuvert ? QStringLiteral("Vendalo est retiré. Quittez Claude (⌘Q) puis rouvrez-le.")
                               : QStringLiteral("Vendalo est retiré de Claude Desktop.");
        break;
    case Genre::fichierInvalide:
        t = QStringLiteral("Votre fichier de configuration de Claude est abîmé (") + etat_.texte
            + QStringLiteral("). Nous n'y touchons pas. Mettez-le de côté : il sera renommé, pas supprimé, et un fichier propre sera créé.");
        break;
    case Genre::nodeAbsent:
        t = QStringLiteral("Node.js est absent de ce Mac, et Claude Desktop en a besoin pour ce bouton. "
                           "Utilisez plutôt le connecteur personnalisé : il n'a pas besoin de Node.");
        break;
    case Genre::claudeAbsent: t = QStringLiteral("Claude Desktop n'est pas installé sur ce Mac."); break;
    case Genre::erreur: t = etat_.texte; break;
    default: break;
    }
    return platform::formuler(t);
}

void InstallationClaudeDesktop::verifier()
{
    if (!env_.claudeInstalle()) {
        changer(faireEtat(Genre::claudeAbsent));
        return;
    }
    const Lecture l = lire(FichierConfigClaude{env_.dossier}.chemin());
    if (!l.erreur.isEmpty())
        changer(faireEtat(Genre::erreur, prefixeEcriture + l.erreur));
    else if (l.defaut)
        changer(faireEtat(Genre::fichierInvalide, jsonordonne::detail(*l.defaut)));
    else
        changer(faireEtat(Genre::pret, {}, jsonordonne::contientMembre(l.texte, serveurs, nomEntree)));
}

QString InstallationClaudeDesktop::nomLibre(const QString& base) const
{
    const QString date = QLocale::c().toString(env_.maintenant(), QStringLiteral("yyyy-MM-dd-HHmmss"));
    const QDir d(env_.dossier);
    QString nom = base + date + QStringLiteral(".json");
    for (int n = 2; QFileInfo::exists(d.filePath(nom)); ++n)
        nom = base + date + QStringLiteral("-%1.json").arg(n);
    return d.filePath(nom);
}

void InstallationClaudeDesktop::installer(const QString& adresseServeur, const QString& cle)
{
    ecrireAvecNpx(adresseServeur, cle, false);
}

void InstallationClaudeDesktop::mettreDeCoteEtInstaller(const QString& adresseServeur, const QString& cle)
{
    ecrireAvecNpx(adresseServeur, cle, true);
}

void InstallationClaudeDesktop::ecrireAvecNpx(const QString& adresse, const QString& cle, bool mettreDeCote)
{
    if (!env_.claudeInstalle()) {
        changer(faireEtat(Genre::claudeAbsent));
        return;
    }
    changer(faireEtat(Genre::enCours));
    QPointer<InstallationClaudeDesktop> moi(this);
    env_.trouverNpx([moi, adresse, cle, mettreDeCote](std::optional<QString> npx) {
        if (!moi)
            return;
        if (!npx) {
            moi->changer(faireEtat(Genre::nodeAbsent));
            return;
        }
        const QString chemin = FichierConfigClaude{moi->env_.dossier}.chemin();
        Lecture l = lire(chemin);
        if (!l.erreur.isEmpty()) {
            moi->changer(faireEtat(Genre::erreur, prefixeEcriture + l.erreur));
            return;
        }
        bool misDeCote = false;
        QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        if (l.defaut) {
            if (!mettreDeCote) {
                moi->changer(faireEtat(Genre::fichierInvalide, jsonordonne::detail(*l.defaut)));
                return;
            }
            QFile ancien(chemin);
            if (!ancien.rename(moi->nomLibre(QStringLiteral("claude_desktop_config.ancien-")))) {
                moi->changer(faireEtat(Genre::erreur, prefixeEcriture + ancien.errorString()));
                return;
            }
            misDeCote = true;
            l = Lecture{false, "{}\n", std::nullopt, {}};
        } else if (l.existe) {
            mode = QFile::permissions(chemin);
            QFile original(chemin);
            if (!original.copy(moi->nomLibre(QStringLiteral("claude_desktop_config.avant-vendalo-")))) {
                moi->changer(faireEtat(Genre::erreur, prefixeEcriture + original.errorString()));
                return;
            }
        }
        const QByteArray texte = jsonordonne::avecMembre(l.texte, serveurs, nomEntree, entree(*npx, adresse, cle));
        if (const QString e = ecrire(chemin, texte, mode); !e.isEmpty()) {
            moi->changer(faireEtat(Genre::erreur, prefixeEcriture + e));
            return;
        }
        moi->changer(faireEtat(Genre::installe, {}, true, moi->env_.claudeOuvert(), misDeCote));
    });
}

void InstallationClaudeDesktop::retirer()
{
    const QString chemin = FichierConfigClaude{env_.dossier}.chemin();
    const Lecture l = lire(chemin);
    if (!l.erreur.isEmpty()) {
        changer(faireEtat(Genre::erreur, prefixeEcriture + l.erreur));
        return;
    }
    if (l.defaut) {
        changer(faireEtat(Genre::fichierInvalide, jsonordonne::detail(*l.defaut)));
        return;
    }
    if (l.existe && jsonordonne::contientMembre(l.texte, serveurs, nomEntree)) {
        QFile original(chemin);
        if (!original.copy(nomLibre(QStringLiteral("claude_desktop_config.avant-vendalo-")))) {
            changer(faireEtat(Genre::erreur, prefixeEcriture + original.errorString()));
            return;
        }
        if (const QString e = ecrire(chemin, jsonordonne::sansMembre(l.texte, serveurs, nomEntree), QFile::permissions(chemin)); !e.isEmpty()) {
            changer(faireEtat(Genre::erreur, prefixeEcriture + e));
            return;
        }
    }
    changer(faireEtat(Genre::retire, {}, false, env_.claudeOuvert()));
}

void InstallationClaudeDesktop::relancerClaude()
{
    if (relance_)
        return;
    relance_ = true;
    Q_EMIT etatChange();
    env_.quitterClaude();
    auto* minuteur = new QTimer(this);
    minuteur->setInterval(250);
    const QDateTime limite = QDateTime::currentDateTimeUtc().addMSecs(env_.attenteFermetureMs);
    connect(minuteur, &QTimer::timeout, this, [this, minuteur, limite] {
        const bool ouvert = env_.claudeOuvert();
        if (ouvert && QDateTime::currentDateTimeUtc() < limite)
            return;
        minuteur->deleteLater();
        relance_ = false;
        if (ouvert) {
            changer(faireEtat(Genre::erreur, QStringLiteral("Claude ne s'est pas fermé. Quittez-le avec ⌘Q puis rouvrez-le.")));
        } else {
            env_.ouvrirClaude();
            if (etat_.genre == Genre::installe || etat_.genre == Genre::retire)
                etat_.claudeOuvert = true;
        }
        Q_EMIT etatChange();
    });
    minuteur->start();
}

QString InstallationClaudeDesktop::cheminsExecutables(const QString& npx)
{
    QStringList dossiers{QFileInfo(npx).absolutePath()};
    for (const char* d : {"/opt/homebrew/bin", "/usr/local/bin", "/usr/bin", "/bin", "/usr/sbin", "/sbin"})
        if (!dossiers.contains(QLatin1String(d)))
            dossiers << QString::fromLatin1(d);
    return dossiers.join(u':');
}

QByteArray InstallationClaudeDesktop::entree(const QString& npx, const QString& adresseServeur, const QString& cle)
{
    const QString url = adresseServeur + QStringLiteral("/functions/v1/mcp");
    QByteArray args;
    const QStringList liste{QStringLiteral("-y"), QStringLiteral("mcp-remote"), url, QStringLiteral("--header"),
                            QStringLiteral("Authorization:${VD_AUTH}"), QStringLiteral("--transport"), QStringLiteral("http-only")};
    for (qsizetype i = 0; i < liste.size(); ++i)
        args += "    " + chaineJson(liste[i]) + (i + 1 < liste.size() ? ",\n" : "\n");
    return "{\n  \"command\": " + chaineJson(npx) + ",\n  \"args\": [\n" + args + "  ],\n  \"env\": {\n    \"VD_AUTH\": "
           + chaineJson(QStringLiteral("Bearer ") + cle) + ",\n    \"PATH\": " + chaineJson(cheminsExecutables(npx)) + "\n  }\n}";
}

} // namespace vd::assistant
