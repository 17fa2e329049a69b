// A process killed at any instant during a save (a journal append, a whole
// write, a compaction) leaves a store that reads back whole, holding at least
// every save the process saw completed. The test runs itself as the writing child.
// vd-test: serial
#include "model/store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstdio>

using namespace vd::model;

namespace {

// Child: saves ever-changing states as fast as it can until killed, going on from
// what the last child left, and prints each version once its save has returned.
int enfant(const QString& chemin, int segments)
{
    Store s(chemin);
    for (qint64 tour = s.etat().version + 1;; ++tour) {
        s.modifier([tour, segments](Etat& e) {
            e.version = tour;
            Appel a;
            a.id = QStringLiteral("a%1").arg(tour);
            for (int i = 0; i < segments; ++i)
                a.transcript.append(Segment{QString::number(i), QStringLiteral("vous"), QStringLiteral("Segment numéro %1 du tour %2").arg(i).arg(tour), i * 1000, i * 1000 + 900, std::nullopt});
            e.appels.append(a);
            if (e.appels.size() > 20)
                e.appels.removeFirst();
        });
        s.sauvegarder(true);
        if (s.erreurSauvegarde())
            return 2;
        std::printf("%lld\n", (long long)tour);
        std::fflush(stdout);
    }
}

// A store read back: the last child's states are whole (each call complete, the
// last one the version's).
void verifierCoherent(const Etat& e)
{
    QVERIFY(!e.appels.isEmpty());
    QCOMPARE(e.appels.last().id, QStringLiteral("a%1").arg(e.version));
    QVERIFY(e.appels.size() <= 20);
    for (const Appel& a : e.appels)
        QVERIFY2(a.transcript.size() == a.transcript.last().id.toInt() + 1, qPrintable(a.id));
}

} // namespace

class TstEcritureAtomique : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tueEnPleineEcriture_data()
    {
        QTest::addColumn<int>("segments");
        QTest::newRow("ajouts au journal") << 400;
        // Large calls: the journal passes its threshold within a few saves, compactions run.
        QTest::newRow("compactions") << 6000;
    }

    void tueEnPleineEcriture()
    {
        QFETCH(int, segments);
        QTemporaryDir dir;
        const QString chemin = dir.path() + QStringLiteral("/etat.json");
        qint64 versionVue = 0;
        int relus = 0;
        for (int essai = 0; essai < 25; ++essai) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("VD_ENFANT_ECRITURE"), chemin);
            env.insert(QStringLiteral("VD_ENFANT_SEGMENTS"), QString::number(segments));
            p.setProcessEnvironment(env);
            p.start(QCoreApplication::applicationFilePath(), {});
            QVERIFY(p.waitForStarted());
            // Kill timing is real time on purpose: any instant of the write loop.
            QThread::msleep(60 + QRandomGenerator::global()->bounded(240));
            ::kill(pid_t(p.processId()), SIGKILL);
            QVERIFY(p.waitForFinished());
            // The last version whose save had returned before the kill.
            const QList<QByteArray> lignes = p.readAllStandardOutput().split('\n');
            for (const QByteArray& l : lignes)
                if (!l.isEmpty())
                    versionVue = std::max(versionVue, l.toLongLong());
            if (!QFile::exists(chemin))
                continue;
            // The file alone is always whole JSON (older versions read it without the journal).
            QFile f(chemin);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QJsonParseError err;
            const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
            QVERIFY2(err.error == QJsonParseError::NoError, qPrintable(err.errorString()));
            QVERIFY(doc.isObject());
            // File and journal together: nothing completed is lost, nothing is torn.
            Store relu(chemin, Store::Acces::lecture);
            QVERIFY2(relu.etat().version >= versionVue,
                     qPrintable(QStringLiteral("relu %1, vu %2").arg(relu.etat().version).arg(versionVue)));
            if (relu.etat().version > 0)
                verifierCoherent(relu.etat());
            ++relus;
        }
        QVERIFY(relus > 0);
        QVERIFY(versionVue > 0);
        // The journal always matched its file: nothing had to be set aside.
        QVERIFY(QDir(dir.path()).entryList({QStringLiteral("etat-journal-ecarte-*")}).isEmpty());
        // A clean open and close folds the journal into the file, which then holds it all.
        {
            Store s(chemin);
            QVERIFY(s.etat().version >= versionVue);
        }
        QFile f(chemin);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QJsonDocument doc = QJsonDocument::fromJson(f.readAll());
        QVERIFY(doc.object().value(QStringLiteral("version")).toInteger() >= versionVue);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (const QString cible = qEnvironmentVariable("VD_ENFANT_ECRITURE"); !cible.isEmpty())
        return enfant(cible, qEnvironmentVariableIntValue("VD_ENFANT_SEGMENTS"));
    TstEcritureAtomique t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_ecriture_atomique.moc"
