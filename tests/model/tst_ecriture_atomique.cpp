// A process killed at any instant during a save leaves the old or the new
// complete file, never a torn one. The test runs itself as the writing child.
// vd-test: serial
#include "model/store.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>

using namespace vd::model;

namespace {

// Child: saves ever-growing states as fast as it can until killed.
int enfant(const QString& chemin)
{
    Store s(chemin);
    for (qint64 tour = 0;; ++tour) {
        s.modifier([tour](Etat& e) {
            e.version = tour;
            Appel a;
            a.id = QStringLiteral("a%1").arg(tour);
            for (int i = 0; i < 400; ++i)
                a.transcript.append(Segment{QString::number(i), QStringLiteral("vous"), QStringLiteral("Segment numéro %1 du tour %2").arg(i).arg(tour), i * 1000, i * 1000 + 900, std::nullopt});
            e.appels.append(a);
            if (e.appels.size() > 20)
                e.appels.removeFirst();
        });
        s.sauvegarder(true);
    }
}

} // namespace

class TstEcritureAtomique : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tueEnPleineEcriture()
    {
        QTemporaryDir dir;
        const QString chemin = dir.path() + QStringLiteral("/etat.json");
        qint64 derniereVersion = -1;
        int fichiersLus = 0;
        for (int essai = 0; essai < 25; ++essai) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("VD_ENFANT_ECRITURE"), chemin);
            p.setProcessEnvironment(env);
            p.start(QCoreApplication::applicationFilePath(), {});
            QVERIFY(p.waitForStarted());
            // Kill timing is real time on purpose: any instant of the write loop.
            QThread::msleep(30 + QRandomGenerator::global()->bounded(120));
            ::kill(pid_t(p.processId()), SIGKILL);
            QVERIFY(p.waitForFinished());
            QFile f(chemin);
            if (!f.exists())
                continue;
            QVERIFY(f.open(QIODevice::ReadOnly));
            QJsonParseError err;
            const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
            QVERIFY2(err.error == QJsonParseError::NoError, qPrintable(err.errorString()));
            QVERIFY(doc.isObject());
            const qint64 version = doc.object().value(QStringLiteral("version")).toInteger();
            QVERIFY(version >= 0);
            derniereVersion = version;
            ++fichiersLus;
            // The next child starts from what the last one left.
        }
        QVERIFY(fichiersLus > 0);
        QVERIFY(derniereVersion >= 0);
    }
};

int main(int argc, char** argv)
{
    const QString cible = qEnvironmentVariable("VD_ENFANT_ECRITURE");
    if (!cible.isEmpty()) {
        QCoreApplication app(argc, argv);
        return enfant(cible);
    }
    QCoreApplication app(argc, argv);
    TstEcritureAtomique t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_ecriture_atomique.moc"
