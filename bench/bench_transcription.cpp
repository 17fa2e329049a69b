// Transcription hot paths, with the production threading and the system clock:
// - latency from a service message leaving the fake server to the segment
//   callback on the main thread (includes the loopback socket);
// - cost of handing one 100 ms stereo block to the engine (the stereo split
//   is the only copy: one new buffer per stream).
#include "call/analyseurs.h"
#include "call/moteurtranscription.h"
#include "fakes/fauxdeepgram.h"
#include "fakes/fauxsoniox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <algorithm>
#include <cstdio>

using namespace vd::call;

namespace {

void afficher(const char* nom, std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    const auto q = [&](double f) { return us[std::min(us.size() - 1, size_t(f * double(us.size())))]; };
    std::printf("%-44s n=%zu  médiane %.0f µs  p95 %.0f µs  max %.0f µs\n", nom, us.size(), q(0.5), q(0.95), us.back());
}

template<typename Envoi>
std::vector<double> mesurer(MoteurTranscription& moteur, int n, Envoi envoi)
{
    std::vector<double> us;
    QElapsedTimer t;
    QEventLoop boucle;
    QObject ctx;
    QObject::connect(&moteur, &MoteurTranscriptionBase::segment, &ctx, [&](const SegmentLive&, quint64) {
        us.push_back(double(t.nsecsElapsed()) / 1000.0);
        boucle.quit();
    });
    QTimer garde;
    garde.setSingleShot(true);
    QObject::connect(&garde, &QTimer::timeout, &boucle, &QEventLoop::quit);
    for (int i = 0; i < n; ++i) {
        const size_t avant = us.size();
        garde.start(5000);
        t.start();
        envoi(i);
        boucle.exec();   // no polling sleep: woken by the segment itself
        if (us.size() == avant)
            break;
    }
    return us;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int n = 500;

    {
        vd::fakes::FauxSoniox serveur;
        serveur.demarrer();
        ContexteTranscription c;
        c.fournisseurCle = std::make_shared<AccesFixe>(AccesTranscription{"k", serveur.url(), vd::ai::SourceIA::cle, {}});
        Soniox moteur(c);
        bool ouvert = false;
        QObject::connect(&moteur, &MoteurTranscriptionBase::ouvert, &app, [&](quint64) { ouvert = true; });
        ParametresTranscription p;
        p.canaux = 2;
        moteur.demarrer(p);
        if (!QTest::qWaitFor([&] { return ouvert; }, 10000)) {
            std::printf("Soniox : ouverture impossible\n");
            return 1;
        }
        const auto us = mesurer(moteur, n, [&](int i) {
            serveur.envoyerJetons(i % 2, QJsonArray{vd::fakes::FauxSoniox::jeton(QStringLiteral(" mot%1").arg(i), i * 100, i * 100 + 80, false, 1)});
        });
        afficher("Soniox : message → segment (fil principal)", us);

        const QByteArray bloc(6400, '\x01');
        QElapsedTimer t;
        t.start();
        const int blocs = 2000;
        for (int i = 0; i < blocs; ++i)
            moteur.envoyer(bloc);
        const double parBloc = double(t.nsecsElapsed()) / 1000.0 / blocs;
        if (!QTest::qWaitFor([&] { return serveur.connexion(0).audio.size() >= blocs * 3200; }, 20000))
            std::printf("Soniox : audio incomplet\n");
        std::printf("Soniox : envoyer() d'un bloc stéréo de 100 ms  %.2f µs (séparation + file), %lld octets reçus par flux\n", parBloc,
                    static_cast<long long>(serveur.connexion(0).audio.size()));
        moteur.couper();
    }
    {
        vd::fakes::FauxDeepgram serveur;
        serveur.demarrer();
        ContexteTranscription c;
        c.fournisseurCle = std::make_shared<AccesFixe>(AccesTranscription{"Token k", urlDeepgram("fr", 2, serveur.url()), vd::ai::SourceIA::cle, {}});
        Deepgram moteur(c);
        bool ouvert = false;
        QObject::connect(&moteur, &MoteurTranscriptionBase::ouvert, &app, [&](quint64) { ouvert = true; });
        ParametresTranscription p;
        p.canaux = 2;
        moteur.demarrer(p);
        if (!QTest::qWaitFor([&] { return ouvert; }, 10000)) {
            std::printf("Deepgram : ouverture impossible\n");
            return 1;
        }
        const auto us = mesurer(moteur, n, [&](int i) {
            serveur.envoyerJson(0, QJsonDocument(vd::fakes::FauxDeepgram::resultat(i % 2, QStringLiteral("phrase %1").arg(i), i * 0.1, 0.08,
                                                                                   i % 3 == 0, vd::fakes::FauxDeepgram::mots("phrase x", i * 0.1, 0)))
                                       .toJson(QJsonDocument::Compact));
        });
        afficher("Deepgram : message → segment (fil principal)", us);
        moteur.couper();
    }
    {
        const QByteArray bloc(6400, '\x01');
        QElapsedTimer t;
        t.start();
        qsizetype total = 0;
        const int tours = 20000;
        for (int i = 0; i < tours; ++i)
            total += separerStereo(bloc).first.size();
        std::printf("separerStereo (100 ms stéréo → 2 × mono)     %.2f µs par bloc (%lld octets)\n",
                    double(t.nsecsElapsed()) / 1000.0 / tours, static_cast<long long>(total));
    }
    {
        // Parsing alone, on one thread.
        AnalyseurSoniox a;
        a.role = RoleFluxSoniox::prospect;
        const QByteArray m = R"({"tokens":[{"text":"Bonjour","start_ms":100,"end_ms":400,"is_final":true,"speaker":"1"},)"
                             R"({"text":" à","start_ms":400,"end_ms":500,"is_final":false,"speaker":"1"}]})";
        QElapsedTimer t;
        t.start();
        const int tours = 20000;
        int total = 0;
        for (int i = 0; i < tours; ++i) {
            total += int(a.analyser(m, 0).segments.size());
            if (i % 50 == 49)
                total += int(a.vider(0).size());
        }
        std::printf("AnalyseurSoniox::analyser                    %.2f µs par message (%d segments)\n",
                    double(t.nsecsElapsed()) / 1000.0 / tours, total);
    }
    return 0;
}
