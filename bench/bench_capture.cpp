// Cost and delay of the call capture against the private PulseAudio daemon
// (run under scripts/avec-pulse.sh):
//  1. CPU time of the whole process (sources, conversion, ticks, encoding)
//     per second of captured audio, while a tone and noise play into the
//     two sinks for N seconds (default 60);
//  2. delay from a sound written into the microphone's sink to the block
//     carrying it leaving `rappel` (the 200 ms lag is by design).
#include "call/captureaudio.h"
#include "call/convertisseuraudio.h"
#include "fakes/lecteurpulse.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <ctime>

using vd::call::CaptureAudio;

namespace {

double cpuSecondes()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

qint64 maintenantUs() { return vd::fakes::LecteurPulse::maintenantUs(); }

void attendre(int ms)
{
    QEventLoop boucle;
    QTimer::singleShot(ms, &boucle, &QEventLoop::quit);
    boucle.exec();
}

bool executer(const QStringList& cmd)
{
    QProcess p;
    p.start(cmd.first(), cmd.mid(1));
    return p.waitForFinished(120000) && p.exitCode() == 0;
}

// CPU time of each thread of the process (ns), by name.
std::map<QString, qint64> cpuParFil()
{
    std::map<QString, qint64> r;
    const QDir taches(QStringLiteral("/proc/self/task"));
    for (const QString& tid : taches.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile nom(taches.filePath(tid + QStringLiteral("/comm")));
        QFile temps(taches.filePath(tid + QStringLiteral("/schedstat")));
        if (!nom.open(QIODevice::ReadOnly) || !temps.open(QIODevice::ReadOnly))
            continue;
        r[QString::fromUtf8(nom.readAll()).trimmed()] += temps.readAll().split(' ').value(0).toLongLong();
    }
    return r;
}

void afficherFils(const std::map<QString, qint64>& avant, const std::map<QString, qint64>& apres, double secondes)
{
    for (const auto& [nom, ns] : apres) {
        const auto a = avant.find(nom);
        const double ms = double(ns - (a == avant.end() ? 0 : a->second)) / 1e6;
        std::printf("  fil %-16s %8.1f ms (%.3f %% d'un cœur)\n", qPrintable(nom), ms, ms / 10.0 / secondes);
    }
}

int mesurerCpu(int secondes)
{
    QTemporaryDir dossier;
    const QString ton = dossier.filePath(QStringLiteral("ton.wav"));
    const QString bruit = dossier.filePath(QStringLiteral("bruit.wav"));
    const QString duree = QString::number(secondes + 3);
    if (!executer({QStringLiteral("sox"), QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("48000"), QStringLiteral("-c"),
                   QStringLiteral("2"), ton, QStringLiteral("synth"), duree, QStringLiteral("sine"), QStringLiteral("440"),
                   QStringLiteral("vol"), QStringLiteral("0.5")})
        || !executer({QStringLiteral("sox"), QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("48000"),
                      QStringLiteral("-c"), QStringLiteral("2"), bruit, QStringLiteral("synth"), duree,
                      QStringLiteral("pinknoise"), QStringLiteral("vol"), QStringLiteral("0.3")})) {
        std::fprintf(stderr, "sox a échoué\n");
        return 1;
    }
    QProcess lecteurTon, lecteurBruit;
    lecteurTon.start(QStringLiteral("paplay"), {QStringLiteral("-d"), QStringLiteral("vd_micro"), ton});
    lecteurBruit.start(QStringLiteral("paplay"), {QStringLiteral("-d"), QStringLiteral("vd_hautparleurs"), bruit});
    attendre(1000);

    CaptureAudio capture;
    std::atomic<qint64> octets{0};
    capture.setRappel([&octets](const QByteArray& b) { octets += b.size(); });
    capture.setMixage([](const float*, qsizetype) {});
    const auto fils0 = cpuParFil();
    const double cpu0 = cpuSecondes();
    QElapsedTimer mur;
    mur.start();
    const auto r = capture.demarrer(2);
    if (!r) {
        std::fprintf(stderr, "%s\n", qPrintable(r.erreur().description()));
        return 1;
    }
    attendre(secondes * 1000);
    const double cpu = cpuSecondes() - cpu0;
    const auto fils = cpuParFil();
    capture.arreter();
    const double secondesAudio = double(octets) / 4.0 / 16000.0;
    const auto st = capture.statistiques();
    lecteurTon.kill();
    lecteurBruit.kill();
    lecteurTon.waitForFinished();
    lecteurBruit.waitForFinished();
    std::printf("capture : %.1f s de temps réel, %.1f s d'audio (%lld blocs, %lld + %lld échantillons complétés)\n",
                double(mur.elapsed()) / 1000.0, secondesAudio, qlonglong(st.blocs), qlonglong(st.completes[0]),
                qlonglong(st.completes[1]));
    std::printf("CPU du processus : %.3f s, soit %.2f ms par seconde d'audio = %.3f %% d'un cœur (cible ≤ 1 %%)\n", cpu,
                1000.0 * cpu / secondesAudio, 100.0 * cpu / secondesAudio);
    afficherFils(fils0, fils, secondesAudio);
    return 0;
}

// The conversion alone: 60 s of 48 kHz stereo in 20 ms pieces, per quality.
void mesurerConversion()
{
    std::vector<float> morceau(960 * 2);
    for (size_t i = 0; i < morceau.size(); ++i)
        morceau[i] = float(0.3 * std::sin(double(i) * 0.05));
    std::vector<float> sortie;
    vd::call::ConvertisseurAudio c(48000, 2);
    const double t0 = cpuSecondes();
    for (int i = 0; i < 60 * 50; ++i)
        c.convertir(morceau.data(), 960, sortie);
    const double t = cpuSecondes() - t0;
    std::printf("conversion seule (48 kHz stéréo → 16 kHz mono) : %.2f ms par seconde d'audio et par source\n", t * 1000.0 / 60.0);
}

int mesurerDelai(int salves)
{
    vd::fakes::LecteurPulse lecteur;
    if (!lecteur.ouvrir("vd_micro")) {
        std::fprintf(stderr, "lecture impossible dans vd_micro\n");
        return 1;
    }
    CaptureAudio capture;
    QMutex verrou;
    std::vector<double> delais;
    bool dansSalve = false;
    capture.setRappel([&](const QByteArray& b) {
        const qint64 sortie = maintenantUs();
        const auto* p = reinterpret_cast<const uchar*>(b.constData());
        bool fort = false;
        for (qsizetype i = 0; i + 3 < b.size(); i += 4)
            fort = fort || std::abs(qFromLittleEndian<qint16>(p + i)) > 3000;
        QMutexLocker l(&verrou);
        if (fort && !dansSalve) {
            const qint64 ecrit = lecteur.prendreEcritUs();
            if (ecrit >= 0)
                delais.push_back(double(sortie - ecrit) / 1000.0);
        }
        dansSalve = fort;
    });
    const auto r = capture.demarrer(2);
    if (!r) {
        std::fprintf(stderr, "%s\n", qPrintable(r.erreur().description()));
        return 1;
    }
    attendre(1000);
    const auto fils0 = cpuParFil();
    QElapsedTimer mur;
    mur.start();
    for (int i = 0; i < salves; ++i) {
        lecteur.salve();
        attendre(700 + (i % 7) * 43);   // bursts land at every phase of the 100 ms tick
    }
    attendre(500);
    const auto fils = cpuParFil();
    const double secondesMesure = double(mur.elapsed()) / 1000.0;
    capture.arreter();
    std::printf("pendant la mesure du délai (un lecteur à 10 ms de latence fait travailler la sortie par paquets de 0,5 ms) :\n");
    afficherFils(fils0, fils, secondesMesure);
    QMutexLocker l(&verrou);
    if (delais.empty()) {
        std::fprintf(stderr, "aucune salve détectée\n");
        return 1;
    }
    std::sort(delais.begin(), delais.end());
    double somme = 0;
    for (double d : delais)
        somme += d;
    std::printf("délai son → bloc (%zu salves, tampon de lecture 10 ms compris) : min %.0f ms, médiane %.0f ms, "
                "moyenne %.0f ms, max %.0f ms (cible ≤ 300 ms)\n",
                delais.size(), delais.front(), delais[delais.size() / 2], somme / double(delais.size()), delais.back());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("PULSE_SERVER")) {
        std::fprintf(stderr, "À lancer sous le PulseAudio privé : scripts/avec-pulse.sh %s [SECONDES]\n", argv[0]);
        return 2;
    }
    const int secondes = argc > 1 ? std::max(5, QString::fromLocal8Bit(argv[1]).toInt()) : 60;
    mesurerConversion();
    if (int rc = mesurerCpu(secondes))
        return rc;
    return mesurerDelai(20);
}
