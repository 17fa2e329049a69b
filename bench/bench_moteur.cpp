// Engine speed: script load and first call, question counting on one sentence,
// talk metrics and objection detection over a two-hour call (2,400 segments).
#include "ai/moteur.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>
#include <ctime>

using vd::ai::Moteur;

namespace {

QJsonArray appelDeDeuxHeures()
{
    const QStringList vous = {QStringLiteral("Comment gérez-vous vos plannings aujourd'hui ?"),
                              QStringLiteral("Et quand une urgence tombe, ça se passe comment"),
                              QStringLiteral("Je vous montre ce que fait le planning quand une intervention se décale."),
                              QStringLiteral("Qui d'autre participe à la décision de votre côté ?")};
    const QStringList prospect = {QStringLiteral("On a quarante-cinq techniciens sur trois agences, tout est sur un tableur partagé."),
                                  QStringLiteral("Honnêtement, c'est un peu cher pour nous."),
                                  QStringLiteral("D'accord."),
                                  QStringLiteral("Envoyez-moi une documentation, je la transmettrai à la direction.")};
    QJsonArray t;
    qint64 debut = 0;
    for (int i = 0; i < 2400; ++i) {
        const bool v = i % 2 == 0;
        const qint64 duree = 2000 + (i % 5) * 100;   // 2,400 segments × 3 s ≈ 2 hours
        t.append(QJsonObject{{QStringLiteral("locuteur"), v ? QStringLiteral("vous") : QStringLiteral("prospect")},
                             {QStringLiteral("texte"), (v ? vous : prospect).at((i / 2) % 4)},
                             {QStringLiteral("debutMs"), debut}, {QStringLiteral("finMs"), debut + duree}});
        debut += duree + 800;
    }
    return t;
}

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Wall time per run, in ms; the calling thread's CPU time goes to *cpu (less
// sensitive to other processes on a busy machine).
template<typename F>
double mesurerMs(int fois, F&& f, double* cpu = nullptr)
{
    QElapsedTimer c;
    const double debutCpu = cpuMs();
    c.start();
    for (int i = 0; i < fois; ++i)
        f();
    if (cpu)
        *cpu = (cpuMs() - debutCpu) / fois;
    return double(c.nsecsElapsed()) / 1e6 / fois;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString chemin = qEnvironmentVariable("VD_RESOURCES_DIR", QStringLiteral(VD_RESOURCES_DIR)) + QStringLiteral("/moteur.js");

    QElapsedTimer c;
    // Reference: a context that loads a script of one line, to tell the engine's own start-up from our script.
    QTemporaryDir dossier;
    {
        QFile f(dossier.filePath(QStringLiteral("moteur.js")));
        if (f.open(QIODevice::WriteOnly))
            f.write("var Moteur = { f: function () { return 1; } };");
    }
    c.start();
    Moteur reference(dossier.filePath(QStringLiteral("moteur.js")));
    (void)reference.charger();
    (void)reference.appeler(QStringLiteral("f"));
    std::printf("contexte de référence         : %8.2f ms (script d'une ligne, chargé et appelé)\n", double(c.nsecsElapsed()) / 1e6);
    c.restart();
    const double cpuAvant = cpuMs();
    Moteur m(chemin);
    if (auto e = m.charger()) {
        std::printf("échec du chargement : %s\n", qPrintable(*e));
        return 1;
    }
    const double chargeMs = double(c.nsecsElapsed()) / 1e6;
    const double chargeCpu = cpuMs() - cpuAvant;
    const QString phrase = QStringLiteral("Vous utilisez quoi aujourd'hui ? Et combien ça vous coûte");
    c.restart();
    const double n = m.appelerNombre(QStringLiteral("compterQuestions"), {phrase}).valeurOu(-1);
    const double premierMs = double(c.nsecsElapsed()) / 1e6;
    std::printf("chargement du script          : %8.2f ms (CPU %.2f ms ; cible ≤ 50 ms)\n", chargeMs, chargeCpu);
    std::printf("premier appel                 : %8.2f ms (%g questions)\n", premierMs, n);

    // Baseline in the same process: a call that does almost nothing, so host cost and machine load show.
    double cpu = 0;
    const double videUs = mesurerMs(20000, [&] { (void)m.appelerTexte(QStringLiteral("libelleRegistre"), {QStringLiteral("tu")}); }, &cpu) * 1000;
    std::printf("appel presque vide (référence): %8.2f µs par appel (CPU %.2f µs)\n", videUs, cpu * 1000);
    const double questionsUs = mesurerMs(20000, [&] { (void)m.appelerNombre(QStringLiteral("compterQuestions"), {phrase}); }, &cpu) * 1000;
    std::printf("compterQuestions, une phrase  : %8.2f µs par appel (CPU %.2f µs ; cible ≤ 20 µs)\n", questionsUs, cpu * 1000);
    const QString objection = QStringLiteral("Honnêtement, c'est un peu cher pour nous.");
    const double objectionUs = mesurerMs(20000, [&] { (void)m.appelerJSON(QStringLiteral("detecterObjection"), {objection}); }, &cpu) * 1000;
    std::printf("detecterObjection, une phrase : %8.2f µs par appel (CPU %.2f µs)\n", objectionUs, cpu * 1000);

    const QJsonArray transcript = appelDeDeuxHeures();
    const QJsonObject appel{{QStringLiteral("transcript"), transcript}, {QStringLiteral("detections"), QJsonArray()}, {QStringLiteral("aides"), QJsonArray()}};
    const QString texteAppel = QString::fromUtf8(vd::ai::texteJsonTrie(appel));
    std::printf("appel de deux heures          : %lld segments, %.1f min, %lld Ko de JSON\n", qlonglong(transcript.size()),
                transcript.last().toObject().value(QStringLiteral("finMs")).toDouble() / 60000.0, qlonglong(texteAppel.toUtf8().size() / 1024));
    const double encodageMs = mesurerMs(20, [&] { (void)vd::ai::texteJsonTrie(appel); });
    std::printf("  encodage JSON côté hôte     : %8.2f ms\n", encodageMs);
    // One warm-up run each, so the figures are the steady state of a long call.
    (void)m.appelerJSON(QStringLiteral("metriques"), {texteAppel});
    (void)m.appelerJSON(QStringLiteral("detecterObjection"), {texteAppel});
    const double metriquesMs = mesurerMs(20, [&] { (void)m.appelerJSON(QStringLiteral("metriques"), {texteAppel}); }, &cpu);
    std::printf("  metriques                   : %8.2f ms par appel (CPU %.2f ms ; cible ≤ 10 ms)\n", metriquesMs, cpu);
    const double objectionsMs = mesurerMs(20, [&] { (void)m.appelerJSON(QStringLiteral("detecterObjection"), {texteAppel}); }, &cpu);
    std::printf("  detecterObjection (appel)   : %8.2f ms par appel (CPU %.2f ms ; cible ≤ 10 ms)\n", objectionsMs, cpu);
    const double scoreMs = mesurerMs(20, [&] { (void)m.appelerNombre(QStringLiteral("scoreExpress"), {texteAppel}); }, &cpu);
    std::printf("  scoreExpress                : %8.2f ms par appel (CPU %.2f ms)\n", scoreMs, cpu);
    return 0;
}
