// The switch between capture and transcription, the level meters and the
// audio byte counter.
#include "call/aiguillageaudio.h"
#include "call/compteuraudio.h"
#include "call/interfaces.h"
#include "call/vumetres.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <atomic>

using namespace vd::call;

namespace {

class MoteurEspion final : public MoteurTranscriptionBase {
public:
    QList<QByteArray> recus;
    QSemaphore* entre = nullptr;    // released when a block arrives
    QSemaphore* libere = nullptr;   // acquired before returning
    std::atomic<bool> enCours{false};
    void demarrer(const ParametresTranscription&) override {}
    void envoyer(const QByteArray& bloc) override
    {
        enCours = true;
        if (entre)
            entre->release();
        if (libere)
            libere->acquire();
        recus << bloc;
        enCours = false;
    }
    void couper() override {}
    void terminer() override {}
    QString nomAffiche() const override { return QStringLiteral("Espion"); }
};

} // namespace

class TstAiguillageAudio : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A script of operations, then one block: is it forwarded?
    void aiguillage_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("transmis");
        QTest::addColumn<bool>("ouvert");
        QTest::newRow("fermé au départ") << QString() << false << false;
        QTest::newRow("ouvert vers une cible") << "ouvrir" << true << true;
        QTest::newRow("ouvert sans cible") << "ouvrirVide" << false << true;
        QTest::newRow("pause") << "ouvrir fermer" << false << false;
        QTest::newRow("reprise après pause") << "ouvrir fermer reouvrir" << true << true;
        QTest::newRow("transcription coupée") << "ouvrir couper" << false << false;
        QTest::newRow("reprise sans client") << "ouvrir couper reouvrir" << false << false;
        QTest::newRow("nouveau client après coupure") << "ouvrir couper ouvrir" << true << true;
        QTest::newRow("reprise sans avoir jamais ouvert") << "reouvrir" << false << false;
    }
    void aiguillage()
    {
        QFETCH(QString, script);
        QFETCH(bool, transmis);
        QFETCH(bool, ouvert);
        MoteurEspion moteur;
        AiguillageAudio a;
        for (const QString& op : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (op == QLatin1String("ouvrir"))
                a.ouvrir(&moteur);
            else if (op == QLatin1String("ouvrirVide"))
                a.ouvrir(nullptr);
            else if (op == QLatin1String("fermer"))
                a.fermer();
            else if (op == QLatin1String("reouvrir"))
                a.reouvrir();
            else if (op == QLatin1String("couper"))
                a.couper();
        }
        QCOMPARE(a.transmettre(QByteArray("bloc")), transmis);
        QCOMPARE(moteur.recus.size(), transmis ? 1 : 0);
        QCOMPARE(a.ouvert(), ouvert);
    }

    void reouvrirDitSIlYAUneCible()
    {
        MoteurEspion moteur;
        AiguillageAudio a;
        QVERIFY(!a.reouvrir());
        a.ouvrir(&moteur);
        a.fermer();
        QVERIFY(a.reouvrir());
        QCOMPARE(a.cible(), &moteur);
        a.couper();
        QCOMPARE(a.cible(), nullptr);
        QVERIFY(!a.reouvrir());
    }

    // couper() waits for a block being handed over: once it returns, the
    // engine can be destroyed safely.
    void couperAttendLeBlocEnCours()
    {
        MoteurEspion moteur;
        QSemaphore entre, libere;
        moteur.entre = &entre;
        moteur.libere = &libere;
        AiguillageAudio a;
        a.ouvrir(&moteur);
        QThread* capture = QThread::create([&a] { a.transmettre(QByteArray("bloc")); });
        capture->start();
        QVERIFY(entre.tryAcquire(1, 5000));
        std::atomic<bool> coupe{false};
        QThread* session = QThread::create([&a, &coupe] {
            a.couper();
            coupe = true;
        });
        session->start();
        QVERIFY(!session->wait(100));
        QVERIFY(!coupe);
        libere.release();
        QVERIFY(session->wait(5000));
        QVERIFY(capture->wait(5000));
        QVERIFY(coupe);
        QCOMPARE(moteur.recus.size(), 1);
        QVERIFY(!a.transmettre(QByteArray("après")));
        delete capture;
        delete session;
    }

    void vumetres_data()
    {
        QTest::addColumn<float>("vous");
        QTest::addColumn<float>("prospect");
        QTest::addColumn<bool>("publie");
        QTest::addColumn<float>("vousAffiche");
        QTest::addColumn<float>("prospectAffiche");
        // Each row starts from displayed levels (0.5, 0.25).
        QTest::newRow("identiques") << 0.5f << 0.25f << false << 0.5f << 0.25f;
        QTest::newRow("écart sous le millième") << 0.5002f << 0.2499f << false << 0.5f << 0.25f;
        QTest::newRow("arrondi au millième") << 0.5006f << 0.25f << true << 0.501f << 0.25f;
        QTest::newRow("prospect seul") << 0.5f << 0.9f << true << 0.5f << 0.9f;
        QTest::newRow("silence") << 0.0f << 0.0f << true << 0.0f << 0.0f;
        QTest::newRow("NaN affiché zéro") << std::numeric_limits<float>::quiet_NaN() << 0.25f << true << 0.0f << 0.25f;
    }
    void vumetres()
    {
        QFETCH(float, vous);
        QFETCH(float, prospect);
        QFETCH(bool, publie);
        QFETCH(float, vousAffiche);
        QFETCH(float, prospectAffiche);
        Vumetres v;
        QVERIFY(v.publier(0.5f, 0.25f));
        QSignalSpy spy(&v, &Vumetres::niveauxChanges);
        QCOMPARE(v.publier(vous, prospect), publie);
        QCOMPARE(spy.size(), publie ? 1 : 0);
        QVERIFY(std::abs(v.vous() - vousAffiche) < 1e-6f);
        QVERIFY(std::abs(v.prospect() - prospectAffiche) < 1e-6f);
        if (publie) {
            QVERIFY(std::abs(spy[0][0].toFloat() - vousAffiche) < 1e-6f);
            QVERIFY(std::abs(spy[0][1].toFloat() - prospectAffiche) < 1e-6f);
        }
    }

    void compteurDepuisPlusieursFils()
    {
        CompteurAudio c;
        QList<QThread*> fils;
        for (int f = 0; f < 4; ++f)
            fils << QThread::create([&c] {
                for (int i = 0; i < 10000; ++i)
                    c.ajouter(6400);
            });
        for (QThread* t : fils)
            t->start();
        for (QThread* t : fils) {
            QVERIFY(t->wait(10000));
            delete t;
        }
        QCOMPARE(c.total(), qint64(4) * 10000 * 6400);
        c.ajouter(-5);
        c.ajouter(0);
        QCOMPARE(c.total(), qint64(4) * 10000 * 6400);
        c.remettreAZero();
        QCOMPARE(c.total(), qint64(0));
    }
};

QTEST_GUILESS_MAIN(TstAiguillageAudio)
#include "tst_aiguillageaudio.moc"
