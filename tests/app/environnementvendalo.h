#pragma once
// Environment of a vendalo process a test starts: its own data and settings folders
// under the test's folder, the real engine, and (unless the test checks the lookup
// itself) the built resources.
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

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

// What a vendalo process printed, once it has ended.
struct SortieVendalo {
    int code = -1;
    QByteArray sortie;
    QString erreurs;
    QString texte() const { return QString::fromUtf8(sortie); }
    QJsonDocument json() const { return QJsonDocument::fromJson(sortie); }
    QString derniereErreur() const { return erreurs.trimmed().split(QLatin1Char('\n')).last(); }
};

#ifdef VD_VENDALO_BIN
// Runs vendalo to its end, entree on its standard input, turning the event loop meanwhile (fakes of this
// process answer it); a run past delaiMs is killed and reads as code -1.
inline SortieVendalo lancerVendalo(const QProcessEnvironment& env, const QStringList& args, const QByteArray& entree = {},
                                   int delaiMs = 60000, const QString& dossierTravail = {})
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dossierTravail);
    p.start(QStringLiteral(VD_VENDALO_BIN), args);
    if (!p.waitForStarted(10000))
        return {};
    p.write(entree);
    p.closeWriteChannel();
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < delaiMs)
        QTest::qWait(20);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitCode(), p.readAllStandardOutput(), QString::fromUtf8(p.readAllStandardError())};
}

// The demonstration data imported into the data folder env points at: their JSON, empty on failure.
inline QByteArray importerDemo(const QProcessEnvironment& env)
{
    const SortieVendalo demo = lancerVendalo(env, {QStringLiteral("moteur"), QStringLiteral("--sans-etat"), QStringLiteral("etatDemo")});
    if (demo.code != 0 || lancerVendalo(env, {QStringLiteral("sauvegarde"), QStringLiteral("importer"), QStringLiteral("-")}, demo.sortie).code != 0)
        return {};
    return demo.sortie;
}
#endif
