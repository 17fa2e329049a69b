// The production threading: each stream on its own thread with the system
// clock, audio pushed from a capture-like thread, everything published on
// the engine's thread.
#include "call/moteurtranscription.h"
#include "fakes/fauxsoniox.h"

#include <QJsonArray>
#include <QTest>
#include <QThread>
#include <thread>

using namespace vd::call;
using vd::fakes::FauxSoniox;

class TestFils : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fluxSurLeursFils()
    {
        FauxSoniox serveur;
        QVERIFY(serveur.demarrer());
        ContexteTranscription c;
        c.fournisseurCle = std::make_shared<AccesFixe>(AccesTranscription{"k", serveur.url(), vd::ai::SourceIA::cle, {}});
        auto moteur = std::make_unique<Soniox>(c);
        QThread* principal = QThread::currentThread();
        QList<SegmentLive> segments;
        bool horsFil = false, ouvert = false, termine = false;
        connect(moteur.get(), &MoteurTranscriptionBase::segment, this, [&](const SegmentLive& s, quint64) {
            horsFil |= QThread::currentThread() != principal;
            segments.append(s);
        });
        connect(moteur.get(), &MoteurTranscriptionBase::ouvert, this, [&](quint64) {
            horsFil |= QThread::currentThread() != principal;
            ouvert = true;
        });
        connect(moteur.get(), &MoteurTranscriptionBase::termine, this, [&](quint64) { termine = true; });
        ParametresTranscription p;
        p.canaux = 2;
        moteur->demarrer(p);
        QTRY_VERIFY_WITH_TIMEOUT(ouvert, 10000);   // includes the 0.8 s confirmation
        QVERIFY(moteur->flux(0)->thread() != principal);
        QVERIFY(moteur->flux(1)->thread() != principal);
        QVERIFY(moteur->flux(0)->thread() != moteur->flux(1)->thread());

        // Audio from another thread, as the capture does.
        std::thread capture([&] {
            for (int i = 0; i < 20; ++i)
                moteur->envoyer(QByteArray(6400, char(i)));
        });
        capture.join();
        QTRY_VERIFY(serveur.connexion(0).audio.size() == 64000 && serveur.connexion(1).audio.size() == 64000);
        QCOMPARE(serveur.connexion(0).taillesAudio.size(), 20);

        const int v = serveur.configuration(0)["enable_speaker_diarization"].toBool() ? 1 : 0;
        serveur.envoyerJetons(1 - v, {FauxSoniox::jeton("Oui", 0, 100, true, 1), FauxSoniox::fin()});
        QTRY_COMPARE(segments.size(), 1);
        serveur.reponsesFin = {QJsonObject{{"tokens", QJsonArray{FauxSoniox::jeton("Fin", 200, 300, true)}}}};
        moteur->terminer();
        QTRY_VERIFY(termine);
        const auto finaux = std::count_if(segments.cbegin(), segments.cend(), [](const SegmentLive& s) { return s.final; });
        QCOMPARE(finaux, 3);   // "Oui", then "Fin" on each stream
        QVERIFY(segments.contains(SegmentLive{"vous", "Fin", true, 200, 300, std::nullopt}));
        QVERIFY(!horsFil);
        moteur.reset();   // joins the stream threads
        QVERIFY2(serveur.anomalies.isEmpty(), qPrintable(serveur.anomalies.join('\n')));
    }
};

QTEST_GUILESS_MAIN(TestFils)
#include "tst_transcription_fils.moc"
