// A two-hour call through the real session: 2,400 final segments with
// partials 5 times a second, some salesperson text echoing the prospect.
// Prints the average cost of one arriving segment (echo filter,
// re-examination, bookkeeping), of one coaching computation at minute 10,
// hour 1 and hour 2 (its window is full from minute 3 on), and of one save
// of the call into the store.
#include "../tests/call/fauxappel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <cstdio>

using namespace vd;

namespace {

const QStringList phrasesProspect = {
    QStringLiteral("Nous avons une équipe de douze commerciaux répartis sur trois agences en région"),
    QStringLiteral("Le budget est validé par la direction générale mais reste serré cette année"),
    QStringLiteral("Aujourd'hui nous utilisons un tableur partagé et beaucoup de notes papier"),
    QStringLiteral("Il faudrait que je voie avec mon associé avant de prendre une décision"),
    QStringLiteral("Le principal problème c'est le suivi des relances après les rendez-vous"),
};
const QStringList phrasesVous = {
    QStringLiteral("Combien de temps vos commerciaux passent-ils sur la saisie après chaque appel ?"),
    QStringLiteral("Je comprends, et qu'est-ce qui bloquerait une décision avant la fin du trimestre ?"),
    QStringLiteral("Notre outil prépare le compte rendu et propose les relances automatiquement"),
    QStringLiteral("Si je résume, le suivi des relances est votre priorité pour les six prochains mois"),
};

struct Mesure {
    qint64 ns = 0;
    qint64 n = 0;
    double moyenneUs() const { return n ? double(ns) / double(n) / 1000.0 : 0; }
};

double coutCoachingUs(const call::SessionAppel& s, int tours)
{
    call::EntreeCoaching e;
    e.finals = &s.finals();
    for (const auto& p : s.interims())
        e.partiels.append(model::Segment{QString(), p.locuteur, p.texte, p.debutMs, p.finMs, std::nullopt});
    e.maintenantMs = s.offsetMs();
    e.derniereQuestionMs = s.derniereQuestionMs();
    e.actuelles = s.coaching();
    QElapsedTimer t;
    t.start();
    qsizetype total = 0;
    for (int i = 0; i < tours; ++i)
        total += call::calculerCoaching(e).size();
    const double us = double(t.nsecsElapsed()) / 1000.0 / tours;
    if (total < 0)
        std::puts("");
    return us;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    test::BancSession b;
    b.demarrerOuvert();
    auto& t = b.transcription();

    constexpr qint64 dureeAppelMs = 2 * 3600 * 1000;
    constexpr int finals = 2400;
    constexpr qint64 pasMs = dureeAppelMs / finals;   // 3 s per final
    constexpr qint64 partielMs = 200;                 // partials 5 times a second

    Mesure segments;
    double coachingMinute10 = 0, coachingHeure1 = 0;
    qint64 echosInjectes = 0;
    QElapsedTimer chrono;
    for (int i = 0; i < finals; ++i) {
        const bool prospect = i % 2 == 0;
        qint64 debut = qint64(i) * pasMs;
        qint64 fin = debut + pasMs - 300;
        QString texte = prospect ? phrasesProspect[i / 2 % phrasesProspect.size()] : phrasesVous[i / 2 % phrasesVous.size()];
        if (!prospect && i % 10 == 1) {
            // The salesperson's microphone picked up the prospect's last sentence, 150 ms late.
            texte = phrasesProspect[(i - 1) / 2 % phrasesProspect.size()];
            debut = debut - pasMs + 150;
            fin = fin - pasMs + 150;
            ++echosInjectes;
        }
        const QStringList mots = texte.split(QLatin1Char(' '));
        for (qint64 p = debut + partielMs; p < fin; p += partielMs) {
            const qsizetype n = std::max<qsizetype>(1, mots.size() * (p - debut) / (fin - debut));
            const QString partiel = mots.mid(0, n).join(QLatin1Char(' '));
            chrono.start();
            t.dire(prospect ? QStringLiteral("prospect") : QStringLiteral("vous"), partiel, debut, p, false);
            segments.ns += chrono.nsecsElapsed();
            ++segments.n;
            b.horloge.avancer(partielMs);
        }
        chrono.start();
        t.dire(prospect ? QStringLiteral("prospect") : QStringLiteral("vous"), texte, debut, fin);
        segments.ns += chrono.nsecsElapsed();
        ++segments.n;
        const qint64 reste = (debut + pasMs) - b.session->offsetMs();
        if (reste > 0)
            b.horloge.avancer(reste);
        if (i == 200)
            coachingMinute10 = coutCoachingUs(*b.session, 2000);
        if (i == 1200)
            coachingHeure1 = coutCoachingUs(*b.session, 2000);
    }
    const double coachingHeure2 = coutCoachingUs(*b.session, 2000);

    // One coaching tick through the session timer (with the ten level ticks of that second).
    chrono.start();
    for (int i = 0; i < 100; ++i)
        b.horloge.avancer(1000);
    const double seconde = double(chrono.nsecsElapsed()) / 1000.0 / 100;

    // One save of a two-hour call into the store.
    chrono.start();
    for (int i = 0; i < 50; ++i) {
        b.session->ajouterNote(QStringLiteral("note %1").arg(i));
        b.horloge.avancer(2000);
    }
    const double sauvegarde = double(chrono.nsecsElapsed()) / 1000.0 / 50;

    std::printf("Appel de 2 h : %d finals, %lld segments arrivés (partiels 5/s), %zd finals gardés, %lld échos retirés (%lld injectés)\n",
                finals, segments.n, size_t(b.session->finals().size()), b.session->echosRetires(), echosInjectes);
    std::printf("moteur.js %s\n", b.scriptLivre() ? "chargé (compterQuestions compris)" : "absent (compterQuestions non compté)");
    std::printf("segment arrivant, moyenne           : %8.1f µs   (objectif <= 200 µs)\n", segments.moyenneUs());
    std::printf("calcul du coaching à 10 min         : %8.1f µs\n", coachingMinute10);
    std::printf("calcul du coaching à 1 h            : %8.1f µs\n", coachingHeure1);
    std::printf("calcul du coaching à 2 h            : %8.1f µs   (objectif <= 1000 µs ; rapport 2 h / 10 min = %.2f)\n",
                coachingHeure2, coachingMinute10 > 0 ? coachingHeure2 / coachingMinute10 : 0.0);
    std::printf("une seconde de minuteries à 2 h     : %8.1f µs   (coaching + 10 niveaux)\n", seconde);
    std::printf("une sauvegarde de l'appel (2 h)     : %8.1f µs   (store en mémoire : écriture disque non comptée)\n", sauvegarde);
    return 0;
}
