// Several Vendalo processes on one data folder, run as the user would: one
// writer at a time, writes handed to the process that holds the folder, readers
// that never wait, and a call cut by a crash closed at the next start.
// vd-test: x11
// vd-test: timeout=400
#include "app/instanceunique.h"
#include "app/relais.h"
#include "environnementvendalo.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <csignal>

using namespace vd::app;

namespace {
const QString occupe = QStringLiteral("Vendalo est occupé par une autre commande. Réessayez dans un instant.");
using Sortie = SortieVendalo;
} // namespace

class TstDonneesPartagees : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dossier_;
    QList<QProcess*> enCours_;

    QString donnees() const { return dossier_->filePath(QStringLiteral("donnees/Vendalo")); }
    QString runtime() const { return dossier_->filePath(QStringLiteral("runtime")); }
    // The children's socket: in their XDG_RUNTIME_DIR, named after the data folder.
    QString socket() const { return runtime() + QLatin1Char('/') + QFileInfo(InstanceUnique::nomServeurPour(donnees())).fileName(); }

    QProcessEnvironment environnement() const
    {
        QProcessEnvironment e = environnementVendalo(*dossier_);
        e.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
        return e;
    }

    // A process left running; killed at cleanup if still alive.
    QProcess* demarrer(const QStringList& args, const QProcessEnvironment* env = nullptr)
    {
        auto* p = new QProcess(this);
        p->setProcessEnvironment(env ? *env : environnement());
        p->start(QStringLiteral(VD_VENDALO_BIN), args);
        enCours_.append(p);
        return p;
    }

    Sortie lancer(const QStringList& args, const QByteArray& entree = {}, const QString& dossierTravail = {})
    {
        // Blocking, without the event loop: the running simulation's output waits meanwhile.
        QProcess p;
        p.setProcessEnvironment(environnement());
        p.setWorkingDirectory(dossierTravail);
        p.start(QStringLiteral(VD_VENDALO_BIN), args);
        p.write(entree);
        p.closeWriteChannel();
        return fin(&p);
    }

    static Sortie fin(QProcess* p)
    {
        if (p->state() != QProcess::NotRunning && !p->waitForFinished(180000))
            return {};
        return {p->exitCode(), p->readAllStandardOutput(), QString::fromUtf8(p->readAllStandardError())};
    }

    QJsonObject etatSurDisque() const { return ::etatSurDisque(*dossier_); }

    // The call in progress on disk, once it carries at least n final segments.
    QJsonObject appelEnCours(int n) const
    {
        for (const QJsonValue& v : etatSurDisque().value(QStringLiteral("appels")).toArray()) {
            const QJsonObject a = v.toObject();
            if (a.value(QStringLiteral("statut")).toString() == QLatin1String("en_cours") &&
                a.value(QStringLiteral("transcript")).toArray().size() >= n)
                return a;
        }
        return {};
    }

    // How many records of that list on disk carry that id.
    qsizetype compter(const QString& id, const char* liste = "contacts") const
    {
        return parChamp(etatSurDisque().value(QLatin1String(liste)), id).size();
    }

    // A backup holding one contact, written where the caller says.
    static void ecrireSauvegarde(const QString& chemin, const QString& idContact)
    {
        const QString json = QStringLiteral("{\"reglages\": {\"onboarde\": true}, \"contacts\": [{\"id\": \"%1\", \"nom\": \"Importé %1\", "
                                            "\"creeLe\": \"2026-01-05T10:00:00.000Z\", \"majLe\": \"2026-01-05T10:00:00.000Z\"}]}");
        QVERIFY(!ecrireFichier(chemin, json.arg(idContact).toUtf8()).isEmpty());
    }

private Q_SLOTS:
    void init()
    {
        dossier_ = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(runtime()));
        QFile::setPermissions(runtime(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void cleanup()
    {
        for (QProcess* p : enCours_) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
            delete p;
        }
        enCours_.clear();
    }

    void appelCoupeParUnPlantageEstFermeAuDemarrageSuivant()
    {
        QProcess* simulation = demarrer({"simuler", "--vitesse", "4", "--duree", "20"});
        QVERIFY(simulation->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!appelEnCours(3).isEmpty(), 90000);
        simulation->kill();   // SIGKILL: no save, no clean-up
        QVERIFY(simulation->waitForFinished(10000));
        const QJsonObject coupe = appelEnCours(3);
        QVERIFY(!coupe.isEmpty());
        const QString id = coupe.value(QStringLiteral("id")).toString();

        // A reader that finds the folder free closes the call first.
        const Sortie s = lancer({QStringLiteral("sauvegarde"), QStringLiteral("exporter"), QStringLiteral("-")});
        QCOMPARE(s.code, 0);
        const QJsonObject appel = parChamp(s.json().object().value(QStringLiteral("appels")), id).value(0);
        QCOMPARE(appel.value(QStringLiteral("statut")).toString(), QStringLiteral("erreur"));
        QCOMPARE(appel.value(QStringLiteral("erreur")).toString(),
                 QStringLiteral("Appel interrompu : l'application s'est fermée pendant l'appel."));
        const QJsonArray transcript = appel.value(QStringLiteral("transcript")).toArray();
        QVERIFY(transcript.size() >= coupe.value(QStringLiteral("transcript")).toArray().size());
        qint64 finMs = 0;
        for (const QJsonValue& seg : transcript)
            finMs = std::max(finMs, seg.toObject().value(QStringLiteral("finMs")).toInteger());
        QCOMPARE(appel.value(QStringLiteral("duree")).toDouble(), double(finMs) / 1000.0);
        // Written for the next process too.
        QCOMPARE(parChamp(etatSurDisque().value(QStringLiteral("appels")), id).value(0).value(QStringLiteral("statut")).toString(),
                 QStringLiteral("erreur"));
    }

    void ecritureEtLecturePendantUnAppelSimule()
    {
        QProcess* simulation = demarrer({"simuler", "--vitesse", "40", "--duree", "12"});
        QVERIFY(simulation->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!appelEnCours(1).isEmpty(), 90000);

        // A second long writer is refused while the first runs (asked first, while
        // the call surely still runs on a loaded machine).
        const Sortie seconde = lancer({QStringLiteral("simuler"), QStringLiteral("--vitesse"), QStringLiteral("200")});
        QCOMPARE(seconde.code, 1);
        QCOMPARE(seconde.erreurs.trimmed(), occupe);

        // A reader does not wait for the folder and writes nothing: the call stays in progress.
        const Sortie lecture = lancer({QStringLiteral("sauvegarde"), QStringLiteral("exporter"), QStringLiteral("-")});
        QCOMPARE(lecture.code, 0);
        const QJsonObject lu = QJsonDocument::fromJson(lecture.sortie).object();
        QVERIFY(!lu.isEmpty());   // a whole state, never half of one
        QVERIFY(!parChamp(lu.value(QStringLiteral("appels")), QStringLiteral("en_cours"), QStringLiteral("statut")).isEmpty());

        // The import runs inside the simulation's process, on its store; a relative
        // path is read from the caller's folder.
        const QString travail = dossier_->filePath(QStringLiteral("travail"));
        QVERIFY(QDir().mkpath(travail));
        ecrireSauvegarde(travail + QStringLiteral("/sauvegarde.json"), QStringLiteral("c_importe"));
        const Sortie import = lancer({QStringLiteral("sauvegarde"), QStringLiteral("importer"), QStringLiteral("sauvegarde.json")}, {}, travail);
        QCOMPARE(import.erreurs, QString());
        QCOMPARE(import.code, 0);
        QVERIFY(QJsonDocument::fromJson(import.sortie).object().value(QStringLiteral("message")).toString().startsWith(
            QStringLiteral("Données importées.")));

        const Sortie s = fin(simulation);
        QCOMPARE(s.code, 0);
        const QString idAppel = QJsonDocument::fromJson(s.sortie).object().value(QStringLiteral("appel")).toObject().value(QStringLiteral("id")).toString();
        QVERIFY(!idAppel.isEmpty());
        // After both: the imported contact once, and the call.
        QCOMPARE(compter(QStringLiteral("c_importe")), 1);
        QCOMPARE(compter(idAppel, "appels"), 1);
    }

    void demandeTropGrandeRefusee()
    {
        QProcess* simulation = demarrer({"simuler", "--vitesse", "20", "--duree", "10"});
        QVERIFY(simulation->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!appelEnCours(1).isEmpty(), 90000);
        // From the command line: the standard input does not fit in one request.
        const QByteArray enorme(50 * 1024 * 1024, 'x');
        const Sortie s = lancer({QStringLiteral("sauvegarde"), QStringLiteral("importer"), QStringLiteral("-")}, enorme);
        QCOMPARE(s.code, 1);
        QCOMPARE(s.erreurs.trimmed(), relais::messageTropGrand());
        // A client announcing more than the cap is answered at once, before it sends anything.
        QLocalSocket brut;
        brut.connectToServer(socket());
        QVERIFY(brut.waitForConnected(5000));
        brut.write("VDCMD 999999999\n");
        QVERIFY(brut.waitForBytesWritten(5000));
        QByteArray recu;
        while (!recu.contains(relais::messageTropGrand().toUtf8()) && brut.waitForReadyRead(5000))
            recu += brut.readAll();
        QVERIFY2(recu.startsWith("VDREFUS "), recu.constData());
        QVERIFY(recu.contains(relais::messageTropGrand().toUtf8()));
        // Malformed requests change nothing.
        QLocalSocket illisible;
        illisible.connectToServer(brut.serverName());
        QVERIFY(illisible.waitForConnected(5000));
        illisible.write(relais::trame(relais::motCommande, "{\"args\":[\"sauvegarde\"],\"dossier\":\"relatif\"}"));
        QByteArray reponse;
        while (!reponse.contains("rien") && illisible.waitForReadyRead(5000))
            reponse += illisible.readAll();
        QVERIFY2(reponse.startsWith("VDREFUS "), reponse.constData());
        // The call survived both: it still answers a stop as a running call does.
        QVERIFY(::kill(pid_t(simulation->processId()), SIGTERM) == 0);
        const Sortie arret = fin(simulation);
        QCOMPARE(simulation->exitStatus(), QProcess::NormalExit);
        QCOMPARE(arret.code, 1);
        QVERIFY2(arret.erreurs.contains(QStringLiteral("Appel simulé interrompu : l'appel est arrêté et enregistré.")), qPrintable(arret.erreurs));
        QCOMPARE(compter(QStringLiteral("c_importe")), 0);
    }

    void deuxEcrivainsAuMemeMoment()
    {
        QVERIFY(QDir().mkpath(donnees()));
        const QString fichier = dossier_->filePath(QStringLiteral("s.json"));
        ecrireSauvegarde(fichier, QStringLiteral("c_attente"));
        // Another subcommand (one that takes no requests) holds the folder.
        QLockFile verrou(InstanceUnique::cheminVerrou(donnees()));
        QVERIFY(verrou.tryLock(0));
        const Sortie refusee = lancer({QStringLiteral("sauvegarde"), QStringLiteral("importer"), fichier});
        QCOMPARE(refusee.code, 1);
        QCOMPARE(refusee.erreurs.trimmed(), occupe);
        QVERIFY(!QFile::exists(donnees() + QStringLiteral("/etat.json")));   // nothing written
        // Released within the wait: the second writer waits, then writes.
        QProcess* import = demarrer({QStringLiteral("sauvegarde"), QStringLiteral("importer"), fichier});
        QVERIFY(import->waitForStarted());
        QTest::qWait(800);
        QCOMPARE(import->state(), QProcess::Running);
        verrou.unlock();
        const Sortie s = fin(import);
        QCOMPARE(s.code, 0);
        QCOMPARE(compter(QStringLiteral("c_attente")), 1);
    }

    void ecritureRelayeeALApplicationOuverte()
    {
        QProcessEnvironment env = environnement();
        if (env.contains(QStringLiteral("DISPLAY")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        QProcess* app = demarrer({}, &env);
        QVERIFY(app->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socket()), 30000);

        const QString fichier = dossier_->filePath(QStringLiteral("app.json"));
        ecrireSauvegarde(fichier, QStringLiteral("c_app"));
        // Standard input goes with the request.
        const Sortie import = lancer({QStringLiteral("sauvegarde"), QStringLiteral("importer"), QStringLiteral("-")}, lireFichier(fichier));
        QCOMPARE(import.erreurs, QString());
        QCOMPARE(import.code, 0);
        QCOMPARE(compter(QStringLiteral("c_app")), 1);

        // A simulated call plays in the open window and comes back analysed.
        const Sortie simulation = lancer({QStringLiteral("simuler"), QStringLiteral("--vitesse"), QStringLiteral("200")});
        QVERIFY2(simulation.code == 0, qPrintable(simulation.erreurs));
        const QJsonObject appel = QJsonDocument::fromJson(simulation.sortie).object().value(QStringLiteral("appel")).toObject();
        QCOMPARE(appel.value(QStringLiteral("statut")).toString(), QStringLiteral("analyse"));
        QVERIFY(appel.value(QStringLiteral("analyse")).isObject());

        // Errors come back with their status, as if the command had run alone.
        const Sortie absent = lancer({QStringLiteral("sauvegarde"), QStringLiteral("importer"), QStringLiteral("absent.json")});
        QCOMPARE(absent.code, 1);
        QVERIFY2(absent.erreurs.startsWith(QStringLiteral("Impossible d'ouvrir « ")) && absent.erreurs.contains(QStringLiteral("absent.json »")), qPrintable(absent.erreurs));

        app->kill();
        QVERIFY(app->waitForFinished(10000));
        QCOMPARE(compter(QStringLiteral("c_app")), 1);
        QCOMPARE(compter(appel.value(QStringLiteral("id")).toString(), "appels"), 1);
    }
};

QTEST_GUILESS_MAIN(TstDonneesPartagees)
#include "tst_donnees_partagees.moc"
