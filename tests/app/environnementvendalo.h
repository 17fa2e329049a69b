#pragma once
// Environment of a vendalo process a test starts: its own data and settings folders
// under the test's folder, the real engine, and (unless the test checks the lookup
// itself) the built resources.
#include <QProcessEnvironment>
#include <QTemporaryDir>

inline QProcessEnvironment environnementVendalo(const QTemporaryDir& dossier, bool ressourcesConstruites = true)
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("XDG_DATA_HOME"), dossier.filePath(QStringLiteral("donnees")));
    e.insert(QStringLiteral("XDG_CONFIG_HOME"), dossier.filePath(QStringLiteral("config")));
#ifdef VD_RESOURCES_DIR
    if (ressourcesConstruites)
        e.insert(QStringLiteral("VD_RESOURCES_DIR"), QStringLiteral(VD_RESOURCES_DIR));
#endif
    e.remove(QStringLiteral("VD_TEST_MOTEUR"));
    return e;
}
