// From a prospect final arriving to the objection banner being set, at the two-hour
// mark of a call: engine detection included, no model call.
// Usage: bench_souffleur [moteur.js]   (default: the shipped engine, else the test engine)
#include "ai/panneausouffleur.h"
#include "fakes/appelfactice.h"
#include "fakes/clientiascripte.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vd;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString chemin = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(VD_RESOURCES_DIR "/moteur.js");
    if (!QFileInfo::exists(chemin))
        chemin = QStringLiteral(VD_SOURCE_DIR "/tests/ai/moteur_factice.js");
    ai::Moteur moteur(chemin);
    if (auto e = moteur.charger()) {
        std::fprintf(stderr, "moteur: %s\n", qPrintable(*e));
        return 1;
    }
    platform::HorlogeFactice horloge;
    fakes::ClientIAScripte client;
    fakes::AppelFactice appel;
    appel.config.insert(QStringLiteral("grille"), QJsonObject{{QStringLiteral("methode"), QStringLiteral("bant")}});
    ai::Souffleur souffleur(moteur, client);
    souffleur.setAppel(&appel);
    ai::PanneauSouffleur panneau(souffleur, horloge);
    panneau.setEtatAppel(QStringLiteral("enCours"), QStringLiteral("ouvert"));

    // Two hours of conversation, one final every 3 s, alternating voices.
    const QStringList phrases = {QStringLiteral("Nous regardons plusieurs solutions pour l'équipe commerciale."),
                                 QStringLiteral("Qu'est-ce qui vous pose le plus de problèmes aujourd'hui ?"),
                                 QStringLiteral("Le suivi des relances prend beaucoup de temps à tout le monde."),
                                 QStringLiteral("Combien de personnes sont concernées chez vous ?")};
    qint64 t = 0;
    int n = 0;
    QElapsedTimer montee;
    montee.start();
    while (t < 2 * 3600 * 1000) {
        const QString loc = n % 2 ? QStringLiteral("vous") : QStringLiteral("prospect");
        souffleur.segmentFinal(appel.dire(loc, phrases[n % phrases.size()], t, t + 2500));
        t += 3000;
        ++n;
    }
    const double montee_ms = montee.nsecsElapsed() / 1e6;

    bool banniere = false;
    QObject::connect(&panneau, &ai::PanneauSouffleur::change, &panneau,
                     [&] { banniere = panneau.objectionAffichee().has_value(); });
    std::vector<double> mesures;
    const int tours = 400;
    for (int i = 0; i < tours; ++i) {
        panneau.ignorerObjection();
        banniere = false;
        // The final arrives: appended to the call, then handed to the prompter.
        QElapsedTimer chrono;
        chrono.start();
        const model::Segment s = appel.dire(QStringLiteral("prospect"),
                                            i % 2 ? QStringLiteral("Franchement c'est trop cher pour nous.")
                                                  : QStringLiteral("Je n'ai pas le temps en ce moment."),
                                            t, t + 2500);
        souffleur.segmentFinal(s);
        const double ms = chrono.nsecsElapsed() / 1e6;
        if (!banniere) {
            std::fprintf(stderr, "la bannière n'a pas été posée au tour %d\n", i);
            return 1;
        }
        mesures.push_back(ms);
        t += 6000;   // more than 2 s apart: each final examined alone
    }
    std::sort(mesures.begin(), mesures.end());
    auto q = [&](double p) { return mesures[std::min(mesures.size() - 1, size_t(p * mesures.size()))]; };
    std::printf("moteur: %s\n", qPrintable(QFileInfo(chemin).fileName()));
    std::printf("appel de %d finals (%.0f min), mise en place %.0f ms\n", int(appel.segments.size()), t / 60000.0, montee_ms);
    std::printf("final prospect -> bannière d'objection, %d mesures : médiane %.3f ms, p95 %.3f ms, max %.3f ms (cible <= 5 ms)\n",
                tours, q(0.5), q(0.95), mesures.back());
    std::printf("requêtes au modèle : %d\n", int(client.requetes.size()));
    return q(0.95) <= 5.0 ? 0 : 2;
}
