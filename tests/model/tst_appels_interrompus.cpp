// Calls left "en_cours" by a process that ended during the call are closed
// at the next start by the process that holds the data folder; a reader never
// touches them.
#include "model/store.h"
#include "model/texte.h"
#include "platform/horloge.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace vd::model;
using vd::platform::HorlogeFactice;

namespace {

Appel appel(const QString& id, const QString& statut, QList<qint64> finsMs, const QString& debut, const QString& majLe)
{
    Appel a{.id = id, .debut = debut, .duree = 3, .statut = statut, .creeLe = debut, .majLe = majLe};
    qint64 t = 0;
    for (qint64 fin : finsMs) {
        a.transcript.append(Segment{QStringLiteral("s%1").arg(t), QStringLiteral("vous"), QStringLiteral("Bonjour"), t, fin, std::nullopt});
        t = fin;
    }
    return a;
}

} // namespace

class TstAppelsInterrompus : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString chemin() const { return dir_.path() + QStringLiteral("/etat.json"); }

private Q_SLOTS:
    void init() { QFile::remove(chemin()); }

    // status|duration|closed with the message, from the stored call.
    void fermeture_data()
    {
        QTest::addColumn<QString>("statut");
        QTest::addColumn<QList<qint64>>("fins");
        QTest::addColumn<QString>("majLe");
        QTest::addColumn<QString>("attendu");
        // Duration: end of the last final segment, whatever order they are in.
        QTest::newRow("segments") << "en_cours" << QList<qint64>{1200, 61500, 95250} << "2026-03-02T09:30:00.000Z" << "erreur|95.25|1";
        // No segment: from debut to the last save.
        QTest::newRow("sans segment") << "en_cours" << QList<qint64>{} << "2026-03-02T09:02:30.000Z" << "erreur|150|1";
        // Nothing readable to measure with: the stored duration stays.
        QTest::newRow("dates illisibles") << "en_cours" << QList<qint64>{} << "hier" << "erreur|3|1";
        // Finished calls are left as they are.
        QTest::newRow("analyse") << "analyse" << QList<qint64>{4000} << "2026-03-02T09:30:00.000Z" << "analyse|3|0";
        QTest::newRow("erreur") << "erreur" << QList<qint64>{4000} << "2026-03-02T09:30:00.000Z" << "erreur|3|0";
    }

    void fermeture()
    {
        QFETCH(QString, statut);
        QFETCH(QList<qint64>, fins);
        QFETCH(QString, majLe);
        QFETCH(QString, attendu);
        HorlogeFactice h;
        {
            Store s(chemin(), h);
            s.modifier([&](Etat& e) {
                e.appels.append(appel(QStringLiteral("a1"), statut, fins, QStringLiteral("2026-03-02T09:00:00.000Z"), majLe));
            });
            s.sauvegarder(true);
        }
        Store s(chemin(), h);
        const int fermes = s.fermerAppelsInterrompus();
        const Appel& a = s.etat().appels.at(0);
        QCOMPARE(QStringList({a.statut, QString::number(a.duree), QString::number(fermes)}).join('|'), attendu);
        QCOMPARE(a.erreur.has_value(), fermes == 1);
        if (fermes) {
            QCOMPARE(*a.erreur, QStringLiteral("Appel interrompu : l'application s'est fermée pendant l'appel."));
            QCOMPARE(a.transcript.size(), fins.size());   // the final segments stay
        }
        // Written at once: a second process sees the closed call.
        Store relu(chemin(), Store::Acces::lecture, h);
        QCOMPARE(relu.etat().appels.at(0).statut, a.statut);
        QVERIFY(!s.sauvegardeEnAttente());
    }

    void plusieursAppelsFermesEnUneFois()
    {
        HorlogeFactice h;
        Store s(chemin(), h);
        s.modifier([&](Etat& e) {
            e.appels.append(appel(QStringLiteral("a1"), QStringLiteral("en_cours"), {1000}, QString(), QString()));
            e.appels.append(appel(QStringLiteral("a2"), QStringLiteral("analyse"), {1000}, QString(), QString()));
            e.appels.append(appel(QStringLiteral("a3"), QStringLiteral("en_cours"), {2000}, QString(), QString()));
        });
        QCOMPARE(s.fermerAppelsInterrompus(), 2);
        QCOMPARE(s.etat().appels[0].statut + '|' + s.etat().appels[1].statut + '|' + QString::number(s.etat().appels[2].duree),
                 QStringLiteral("erreur|analyse|2"));
        QCOMPARE(s.etat().appels[0].majLe, horodatage(h.maintenant()));
        QCOMPARE(s.fermerAppelsInterrompus(), 0);   // nothing left to close
    }

    void lecteurNeTouchePasAuxAppels()
    {
        HorlogeFactice h;
        {
            Store s(chemin(), h);
            s.modifier([&](Etat& e) { e.appels.append(appel(QStringLiteral("a1"), QStringLiteral("en_cours"), {1000}, QString(), QString())); });
            s.sauvegarder(true);
        }
        const auto lire = [this] { QFile f(chemin()); return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(); };
        const QByteArray avant = lire();
        Store lecteur(chemin(), Store::Acces::lecture, h);
        QVERIFY(lecteur.lectureSeule());
        QCOMPARE(lecteur.fermerAppelsInterrompus(), 0);
        QCOMPARE(lecteur.etat().appels[0].statut, QStringLiteral("en_cours"));
        lecteur.modifier([](Etat& e) { e.contacts.append(Contact{}); });
        lecteur.sauvegarder(true);
        QCOMPARE(lire(), avant);   // a reader writes nothing
    }

    void lecteurLaisseUnFichierIllisible()
    {
        {
            QFile f(chemin());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("{pas du json");
        }
        HorlogeFactice h;
        Store lecteur(chemin(), Store::Acces::lecture, h);
        QVERIFY(lecteur.etat().appels.isEmpty());
        QVERIFY(QFile::exists(chemin()));   // quarantine is the writer's business
        QCOMPARE(QDir(dir_.path()).entryList({QStringLiteral("etat-illisible-*")}, QDir::Files).size(), 0);
    }
};

QTEST_GUILESS_MAIN(TstAppelsInterrompus)
#include "tst_appels_interrompus.moc"
