// Recording with picture at real-time pace: a tone and a changing 1920×1080
// screen (a moving band) at 15 images/s for N seconds (default 60).
// Prints CPU per real-time second, peak memory added, file size per minute and
// pictures dropped.
#include "call/ecrivainenregistrement.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <sys/resource.h>

namespace {
double cpuSec()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
long picKo()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int secondes = argc > 1 ? std::max(5, atoi(argv[1])) : 60;
    QTemporaryDir dossier;
    QImage ecran(1920, 1080, QImage::Format_RGB32);
    const long memAvant = picKo();
    const double cpuAvant = cpuSec();
    QElapsedTimer mur;
    mur.start();
    auto w = vd::call::EcrivainEnregistrement::ouvrir(dossier.filePath(QStringLiteral("b.mp4")), {});
    if (!w) {
        std::fprintf(stderr, "ouverture impossible\n");
        return 1;
    }
    auto& e = *w.valeur();
    std::vector<float> son(1600);
    qint64 phase = 0;
    for (int tic = 0; tic < secondes * 30; ++tic) {   // every 1/30 s
        const qint64 cible = qint64(tic) * 1000 / 30;
        while (mur.elapsed() < cible)
            QThread::msleep(1);
        if (tic % 3 == 0) {
            for (float& x : son)
                x = 0.3f * float(std::sin(2.0 * M_PI * 440.0 * double(phase++) / 16000.0));
            e.ajouterSon(son.data(), qsizetype(son.size()));
        }
        if (tic % 2 == 0) {
            ecran.fill(QColor(0xF7, 0xF7, 0xF5));
            QPainter p(&ecran);
            p.fillRect((tic * 8) % 1920, 0, 200, 1080, QColor(0x00, 0x44, 0xFF));
            p.fillRect(100, 100, (tic % 100) * 4, 40, QColor(0x1C, 0x1D, 0x21));
            p.end();
            e.ajouterImage(ecran);
        }
    }
    const qint64 perdues = e.imagesPerdues();
    auto r = e.terminer();
    const double cpu = cpuSec() - cpuAvant;
    const double ecoule = double(mur.elapsed()) / 1000.0;
    if (!r) {
        std::fprintf(stderr, "écriture impossible\n");
        return 1;
    }
    std::printf("enregistrement %d s (encodeur %s)\n", secondes, qPrintable(e.encodeurVideo()));
    std::printf("  CPU par seconde réelle : %.1f %% d'un cœur\n", 100.0 * cpu / ecoule);
    std::printf("  mémoire de pointe ajoutée : %.1f Mo\n", double(picKo() - memAvant) / 1024.0);
    std::printf("  taille par minute : %.2f Mo\n", double(r.valeur().taille) / 1e6 * 60.0 / secondes);
    std::printf("  images perdues : %lld\n", qlonglong(perdues));
    return 0;
}
