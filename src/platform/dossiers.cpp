#include "dossiers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace vd::platform {

QString dossierDonnees()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/Vendalo");
}

QString dossierEnregistrements() { return dossierDonnees() + QStringLiteral("/Enregistrements"); }

QString dossierCloud() { return dossierDonnees() + QStringLiteral("/cloud"); }

QString dossierConfiguration()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Vendalo");
}

QString dossierRessources()
{
    const QString env = qEnvironmentVariable("VD_RESOURCES_DIR");
    if (!env.isEmpty())
        return env;
    const QString exe = QCoreApplication::applicationDirPath();
    // Beside the binary (build/src), from another folder of the build tree (build/bench,
    // build/tests), or in the installed data folder (/usr/bin → /usr/share/vendalo).
    for (const QString& c : {exe + QStringLiteral("/resources"), exe + QStringLiteral("/../src/resources"),
                             exe + QStringLiteral("/../share/vendalo")}) {
        if (QFileInfo::exists(c + QStringLiteral("/moteur.js")))
            return QDir::cleanPath(c);
    }
    return exe + QStringLiteral("/resources");
}

QString ecrireAtomique(const QString& chemin, const QByteArray& donnees)
{
    const QFileInfo info(chemin);
    if (!QDir().mkpath(info.absolutePath()))
        return QStringLiteral("impossible de créer le dossier « %1 »").arg(info.absolutePath());
    QSaveFile f(chemin);
    if (!f.open(QIODevice::WriteOnly))
        return f.errorString();
    if (f.write(donnees) != donnees.size()) {
        const QString e = f.errorString();
        f.cancelWriting();
        return e;
    }
    // QSaveFile fsyncs before the rename, so the new file is complete on disk.
    if (!f.commit())
        return f.errorString();
    return {};
}

} // namespace vd::platform
