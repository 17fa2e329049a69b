// A long simulated call through the whole application: the window on the live
// call screen, the floating prompter, segments arriving several times a second
// and a note being typed, then the analysis on the demonstration route.
// Reports the resident memory every 5 call-minutes and the event-loop lag:
// the longest main-thread task (each event's dispatch, timed in notify) and
// the lateness of a 5 ms probe timer.
//   build/bench/bench_appel_long [--minutes 30] [--vitesse 10]
// Targets: ≤ 150 MB resident after the call, no main-thread task over 16 ms.
// Each long task shows its CPU time and context switches: on a busy machine a
// task preempted by other processes (préemptions) is longer on the wall clock
// than the work it does; "attentes" are waits of its own (locks, I/O).
#include "ai/moteur.h"
#include "app/demo.h"
#include "app/ecrans/application.h"
#include "app/ecrans/fenetreprincipale.h"
#include "ui/ecrans/style.h"
#include "call/sessionappel.h"
#include "platform/coffre.h"
#include "platform/horloge.h"
#include "platform/preferences.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr qint64 seuilNs = 16'000'000;   // one frame at 60 Hz
constexpr int sondeMs = 5;
constexpr int frappeMs = 100;

struct Memoire {
    double rssMo = 0, picMo = 0;
};

Memoire memoire()
{
    Memoire m;
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return m;
    for (const QByteArray& l : f.readAll().split('\n')) {
        auto valeur = [&l] { return l.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0; };
        if (l.startsWith("VmRSS:"))
            m.rssMo = valeur();
        else if (l.startsWith("VmHWM:"))
            m.picMo = valeur();
    }
    return m;
}

struct Tache {
    qint64 ns = 0, cpuNs = 0;
    long preemptions = 0, attentes = 0;   // involuntary and voluntary context switches
    QByteArray quoi;
    qint64 appelMs = 0;
};

std::pair<long, long> commutations()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return {u.ru_nivcsw, u.ru_nvcsw};
}

qint64 cpuFil()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Times every event dispatched from the event loop (nested dispatches count in
// their parent's), on the wall clock and in the thread's own CPU time: the
// machine may be shared, and a task preempted by another process is longer on
// the wall than the work it does.
class ApplicationSondee : public QApplication {
public:
    using QApplication::QApplication;
    bool mesurer = false;
    qint64 appelMs = 0;   // call time, for the report
    qint64 taches = 0, auDela = 0, auDelaCpu = 0, auDelaIntervalle = 0;
    qint64 maxNs = 0, maxCpuNs = 0, maxIntervalleNs = 0, maxIntervalleCpuNs = 0;
    std::vector<Tache> pires;   // the ten longest on the wall clock

    bool notify(QObject* o, QEvent* e) override
    {
        // Only the main thread's tasks (other threads' events pass through here too).
        if (QThread::currentThread() != thread())
            return QApplication::notify(o, e);
        if (!mesurer || profondeur_ > 0) {
            ++profondeur_;
            const bool r = QApplication::notify(o, e);
            --profondeur_;
            return r;
        }
        ++profondeur_;
        QElapsedTimer t;
        t.start();
        const qint64 cpu0 = cpuFil();
        const auto commut0 = commutations();
        const int type = int(e->type());   // e and o may be gone afterwards
        const QPointer<QObject> garde(o);
        const bool r = QApplication::notify(o, e);
        const qint64 cpu = cpuFil() - cpu0;
        const auto commut = commutations();
        const qint64 ns = t.nsecsElapsed();
        --profondeur_;
        if (!mesurer)   // the measure ended inside this task
            return r;
        ++taches;
        maxNs = std::max(maxNs, ns);
        maxCpuNs = std::max(maxCpuNs, cpu);
        maxIntervalleNs = std::max(maxIntervalleNs, ns);
        maxIntervalleCpuNs = std::max(maxIntervalleCpuNs, cpu);
        if (ns > seuilNs) {
            ++auDela;
            ++auDelaIntervalle;
        }
        if (cpu > seuilNs)
            ++auDelaCpu;
        if (pires.size() < 10 || ns > pires.back().ns) {
            QByteArray quoi = QByteArray("évènement ") + QByteArray::number(type);
            if (garde) {
                quoi += QByteArray(" → ") + o->metaObject()->className() +
                        (o->objectName().isEmpty() ? QByteArray() : QByteArray(" « ") + o->objectName().toUtf8() + " »");
                if (o->parent() && o->objectName().isEmpty())
                    quoi += QByteArray(" de ") + o->parent()->metaObject()->className();
            }
            pires.push_back({ns, cpu, commut.first - commut0.first, commut.second - commut0.second, quoi, appelMs});
            std::sort(pires.begin(), pires.end(), [](const Tache& a, const Tache& b) { return a.ns > b.ns; });
            if (pires.size() > 10)
                pires.pop_back();
        }
        return r;
    }

private:
    int profondeur_ = 0;
};

QString minutes(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2").arg(s / 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

// Writes the store the call runs on: the demonstration data, plus with `grand`
// 2,000 calls x 300 segments and 10,000 contacts.
int ecrireMagasin(const QString& fichier, bool grand)
{
    {
        vd::model::Store ecriture(fichier);
        auto demo = vd::app::etatDemonstration();
        if (!demo) {
            std::printf("données de démonstration indisponibles : %s\n", qUtf8Printable(demo.erreur()));
            return 1;
        }
        vd::model::Etat etat = demo.valeur();
        if (grand) {
            for (int c = 0; c < 10000; ++c) {
                vd::model::Contact x;
                x.id = QStringLiteral("gc%1").arg(c);
                x.prenom = QStringLiteral("Camille");
                x.nom = QStringLiteral("Durand-%1").arg(c);
                x.societe = QStringLiteral("Société %1").arg(c % 700);
                x.email = QStringLiteral("camille.durand%1@exemple.fr").arg(c);
                x.etape = QStringLiteral("decouverte");
                x.notes = QStringLiteral("Intéressée par l'offre annuelle, rappeler après le comité.");
                x.creeLe = x.majLe = QStringLiteral("2026-03-02T09:00:00.000Z");
                etat.contacts.append(x);
            }
            for (int a = 0; a < 2000; ++a) {
                vd::model::Appel x;
                x.id = QStringLiteral("ga%1").arg(a);
                x.contactId = QStringLiteral("gc%1").arg(a * 5);
                x.statut = QStringLiteral("analyse");
                x.debut = x.creeLe = x.majLe = QStringLiteral("2026-03-02T09:00:00.000Z");
                x.duree = 1800;
                for (int k = 0; k < 300; ++k)
                    x.transcript.append(vd::model::Segment{QStringLiteral("sg%1").arg(k), k % 2 ? QStringLiteral("prospect") : QStringLiteral("vous"),
                                                           QStringLiteral("Et concrètement, comment gérez-vous aujourd'hui le suivi de vos prospects après un premier échange ?"),
                                                           k * 6000, k * 6000 + 5200, std::nullopt});
                etat.appels.append(x);
            }
        }
        ecriture.remplacerEtat(etat);
        ecriture.sauvegarder(true);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("VD_RESOURCES_DIR"))
        qputenv("VD_RESOURCES_DIR", VD_RESOURCES_DIR);
    ApplicationSondee app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QStandardPaths::setTestModeEnabled(true);
    double minutesAppel = 30, vitesse = 10;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--minutes"))
            minutesAppel = std::clamp(args[++i].toDouble(), 1.0, 240.0);
        else if (args[i] == QLatin1String("--vitesse"))
            vitesse = std::clamp(args[++i].toDouble(), 1.0, 200.0);
    }
    // --grand: the demonstration data plus 2,000 calls x 300 segments and 10,000 contacts.
    const bool grand = args.contains(QStringLiteral("--grand"));
    const qint64 dureeMs = qint64(minutesAppel * 60000);

    // No keys (the demonstration's case), and the user's keychain left alone.
    vd::platform::CoffreMemoire coffre;
    vd::platform::Coffre::installer(&coffre);

    // The store is written by a child process of this benchmark, so that the
    // memory figures are those of an application opening an existing store.
    QTemporaryDir dossier;
    const QString fichier = dossier.filePath(QStringLiteral("etat.json"));
    if (const qsizetype i = args.indexOf(QStringLiteral("--ecrire")); i >= 0)
        return ecrireMagasin(args.value(i + 1), grand);
    {
        QProcess enfant;
        enfant.setProcessChannelMode(QProcess::ForwardedChannels);
        QStringList a{QStringLiteral("--ecrire"), fichier};
        if (grand)
            a << QStringLiteral("--grand");
        enfant.start(QCoreApplication::applicationFilePath(), a);
        if (!enfant.waitForFinished(-1) || enfant.exitCode() != 0)
            return 1;
    }
    const Memoire avantApplication = memoire();
    rusage cpuDepart{};
    getrusage(RUSAGE_SELF, &cpuDepart);
    QElapsedTimer demarrage;
    demarrage.start();
    vd::app::style::appliquer(app);
    vd::platform::PreferencesMemoire prefs;
    prefs.definir(QStringLiteral("vd.demarrage.defautApplique"), true);
    vd::app::OptionsLancement options;
    options.demo = true;
    vd::app::Application application(std::make_unique<vd::model::Store>(fichier), options, vd::platform::Horloge::instance(), prefs,
                                     std::make_unique<vd::app::ServiceDemarrageFactice>());
    application.demarrer();
    const double demarrageMs = demarrage.nsecsElapsed() / 1e6;
    const Memoire apresChargement = memoire();
    vd::call::SessionAppel& session = application.session();

    // The discovery script, played again until the call lasts the time asked, at the speed asked.
    auto brut = vd::ai::Moteur::instance().appelerJSON(QStringLiteral("scenarioDemo"), {QStringLiteral("decouverte")});
    auto scenario = brut ? vd::call::ScenarioDemo::depuisJson(brut.valeur()) : std::nullopt;
    if (!scenario) {
        std::printf("scénario de démonstration indisponible\n");
        return 1;
    }
    const qint64 dureeScript = scenario->tours.last().finMs;
    const qsizetype toursScript = scenario->tours.size();
    *scenario = scenario->prolonge(dureeMs);
    const Memoire depart = memoire();
    std::printf("Appel simulé de %s à la vitesse %.0f (script de %s joué %lld fois, %lld tours)\n", qUtf8Printable(minutes(dureeMs)),
                vitesse, qUtf8Printable(minutes(dureeScript)), (long long)(scenario->tours.size() / toursScript),
                (long long)scenario->tours.size());
    std::printf("mémoire avant l'application : RSS %6.1f Mo\n", avantApplication.rssMo);
    // The window is on screen before the call starts, as when the user starts one.
    QElapsedTimer affichage;
    affichage.start();
    while (affichage.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (auto refus = session.demarrerGuide(vd::call::AppelGuide{*scenario, std::nullopt, vitesse})) {
        std::printf("l'appel n'a pas démarré : %s\n", qUtf8Printable(*refus));
        return 1;
    }
    application.montrerFenetre();
    application.navigation().aller(vd::app::Ecran::de(vd::app::Ecran::Genre::enAppel));
    QLineEdit* note = nullptr;
    for (QLineEdit* l : application.fenetre()->findChildren<QLineEdit*>())
        if (l->placeholderText().startsWith(QStringLiteral("Une note")) && l->isVisible())
            note = l;
    QPushButton* terminer = application.fenetre()->findChild<QPushButton*>(QStringLiteral("terminer"));
    if (!note || !terminer) {
        std::printf("écran de l'appel introuvable\n");
        return 1;
    }
    note->setFocus();

    // Segments arriving, counted on the wall clock.
    qint64 segments = 0;
    QObject::connect(&session, &vd::call::SessionAppel::transcriptChange, &app, [&segments] { ++segments; });
    QElapsedTimer mur;
    mur.start();
    qint64 segmentsAvant = 0, nsAvant = 0;

    std::printf("\n%-7s %9s %9s %8s %8s %14s %14s %8s\n", "appel", "RSS Mo", "pic Mo", "finals", "seg/s", "tâche max ms", "dont CPU ms",
                "> 16 ms");
    auto ligne = [&](const QString& quand) {
        const Memoire m = memoire();
        const qint64 ns = mur.nsecsElapsed();
        const double parSeconde = ns > nsAvant ? (segments - segmentsAvant) * 1e9 / double(ns - nsAvant) : 0.0;
        std::printf("%-7s %9.1f %9.1f %8lld %8.1f %14.1f %14.1f %8lld\n", qUtf8Printable(quand), m.rssMo, m.picMo,
                    (long long)session.finals().size(), parSeconde, app.maxIntervalleNs / 1e6, app.maxIntervalleCpuNs / 1e6,
                    (long long)app.auDelaIntervalle);
        std::fflush(stdout);
        segmentsAvant = segments;
        nsAvant = ns;
        app.maxIntervalleNs = 0;
        app.maxIntervalleCpuNs = 0;
        app.auDelaIntervalle = 0;
    };
    std::printf("%-7s %9.1f %9.1f\n", "départ", depart.rssMo, depart.picMo);
    std::fflush(stdout);

    // The probe: a 5 ms timer whose lateness is any stall of the loop.
    qint64 dernierTop = -1, retardMaxNs = 0, retardsAuDela = 0, tops = 0;
    QTimer sonde;
    sonde.setTimerType(Qt::PreciseTimer);
    sonde.setInterval(sondeMs);
    QObject::connect(&sonde, &QTimer::timeout, &app, [&] {
        const qint64 t = mur.nsecsElapsed();
        if (dernierTop >= 0) {
            const qint64 retard = t - dernierTop - qint64(sondeMs) * 1'000'000;
            retardMaxNs = std::max(retardMaxNs, retard);
            if (retard > seuilNs)
                ++retardsAuDela;
            ++tops;
        }
        dernierTop = t;
    });

    // Typing into the note field: a key every 100 ms, Enter at the end of each note.
    const QString phrase = QStringLiteral("Rappeler jeudi avec la directrice, envoyer la page de chiffres");
    qsizetype position = 0;
    qint64 touches = 0;
    QTimer frappe;
    frappe.setInterval(frappeMs);
    QObject::connect(&frappe, &QTimer::timeout, &app, [&] {
        if (!note->isEnabled())
            return;
        if (position == phrase.size()) {
            QCoreApplication::postEvent(note, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r")));
            QCoreApplication::postEvent(note, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r")));
            position = 0;
        } else {
            const QString c = phrase.mid(position++, 1);
            const int cle = c == QLatin1String(" ") ? int(Qt::Key_Space) : int(c.toUpper().at(0).unicode());
            QCoreApplication::postEvent(note, new QKeyEvent(QEvent::KeyPress, cle, Qt::NoModifier, c));
            QCoreApplication::postEvent(note, new QKeyEvent(QEvent::KeyRelease, cle, Qt::NoModifier, c));
        }
        ++touches;
    });

    // Every 5 call-minutes, and the end of the script stops the call as the user would.
    qint64 prochainPalier = 5 * 60000;
    QTimer releve;
    releve.setInterval(200);
    QObject::connect(&releve, &QTimer::timeout, &app, [&] {
        app.appelMs = session.offsetMs();
        while (app.appelMs >= prochainPalier && prochainPalier <= dureeMs) {
            ligne(minutes(prochainPalier));
            prochainPalier += 5 * 60000;
        }
    });
    bool fini = false;
    // The stop (last metrics, the call written at once) closes the call: timed on its own.
    qint64 nsArret = 0;
    QObject::connect(&session, &vd::call::SessionAppel::guideTermine, &app, [&] {
        QTimer::singleShot(0, terminer, [&] {
            app.mesurer = false;
            QElapsedTimer t;
            t.start();
            terminer->click();
            nsArret = t.nsecsElapsed();
        });
    });

    qint64 nsAppel = 0;
    Memoire finAppel;
    QTimer attente;
    attente.setInterval(100);
    QObject::connect(&session, &vd::call::SessionAppel::etatChange, &app, [&] {
        if (session.etat() != vd::call::EtatSession::termine || nsAppel)
            return;
        nsAppel = mur.nsecsElapsed();
        app.mesurer = false;
        sonde.stop();
        frappe.stop();
        releve.stop();
        QTimer::singleShot(0, &app, [&] {
            finAppel = memoire();
            attente.start();
        });
    });
    QElapsedTimer chronoAnalyse;
    QObject::connect(&attente, &QTimer::timeout, &app, [&] {
        if (!chronoAnalyse.isValid())
            chronoAnalyse.start();
        const auto suivi = session.appelId() && application.contexte().suiviAnalyse
                               ? application.contexte().suiviAnalyse(*session.appelId())
                               : std::nullopt;
        if ((suivi && suivi->fini) || chronoAnalyse.elapsed() > 120000) {
            fini = suivi && suivi->fini && !suivi->erreur;
            attente.stop();
            QTimer::singleShot(1000, &app, &QCoreApplication::quit);   // the screens settle
        }
    });

    app.mesurer = true;
    sonde.start();
    frappe.start();
    releve.start();
    // Never more than the call's own length at this speed, plus a margin.
    QTimer::singleShot(int(dureeMs / vitesse) + 180000, &app, &QCoreApplication::quit);
    app.exec();

    const Memoire apres = memoire();
    const double secondes = nsAppel / 1e9;
    std::printf("%-7s %9.1f %9.1f %8lld\n", "fin", finAppel.rssMo, finAppel.picMo, (long long)session.finals().size());
    std::printf("%-7s %9.1f %9.1f   (analyse %s)\n", "analysé", apres.rssMo, apres.picMo, fini ? "terminée" : "NON terminée");
    std::printf("\nappel : %.1f s réelles, %lld mises à jour du transcript (%.1f par seconde), %lld touches frappées, %lld notes ajoutées\n",
                secondes, (long long)segments, secondes > 0 ? segments / secondes : 0.0, (long long)touches,
                (long long)session.notes().size());
    std::printf("tâches du fil principal : %lld, la plus longue %.1f ms (%lld au-delà de 16 ms) ; en temps CPU du fil : %.1f ms (%lld au-delà de 16 ms)\n",
                (long long)app.taches, app.maxNs / 1e6, (long long)app.auDela, app.maxCpuNs / 1e6, (long long)app.auDelaCpu);
    rusage cpuFin{};
    getrusage(RUSAGE_SELF, &cpuFin);
    auto secondesCpu = [](const rusage& u) {
        return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    std::printf("magasin %s : démarrage de l'application %.0f ms, RSS après chargement %.1f Mo, CPU du processus depuis le démarrage %.1f s\n",
                grand ? "grand" : "démonstration", demarrageMs, apresChargement.rssMo, secondesCpu(cpuFin) - secondesCpu(cpuDepart));
    std::printf("arrêt de l'appel (bouton « Terminer l'appel ») : %.1f ms\n", nsArret / 1e6);
    std::printf("sonde %d ms : %lld tops, retard max %.1f ms, %lld retards au-delà de 16 ms\n", sondeMs, (long long)tops,
                retardMaxNs / 1e6, (long long)retardsAuDela);
    std::printf("tâches les plus longues :\n");
    for (const Tache& t : app.pires)
        std::printf("  %7.1f ms (CPU %5.1f ms, %ld préemptions, %ld attentes) à %s  %s\n", t.ns / 1e6, t.cpuNs / 1e6, t.preemptions,
                    t.attentes, qUtf8Printable(minutes(t.appelMs)), t.quoi.constData());
    const bool memoireOk = apres.rssMo <= 150;
    const bool lagOk = app.maxNs <= seuilNs, lagCpuOk = app.maxCpuNs <= seuilNs;
    std::printf("\nmémoire après l'appel (objectif ≤ 150 Mo) : %.1f Mo %s\n", apres.rssMo, memoireOk ? "OK" : "DÉPASSÉ");
    std::printf("plus longue tâche (objectif ≤ 16 ms) : %.1f ms au mur %s, %.1f ms de CPU %s\n", app.maxNs / 1e6, lagOk ? "OK" : "DÉPASSÉ",
                app.maxCpuNs / 1e6, lagCpuOk ? "OK" : "DÉPASSÉ");
    return 0;
}
