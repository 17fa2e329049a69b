// Language-model client figures: event-stream parsing throughput, and the
// time between a text_delta written on the socket and the partial callback
// (publication not throttled: deltas 200 ms apart).
#include "ai/clientclaude.h"
#include "ai/fluxsse.h"
#include "ai/moteur.h"
#include "fakes/fauxmessages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace vd;

namespace {

void debit()
{
    QByteArray flux = fakes::debutMessage();
    const QByteArray delta = fakes::deltaTexte(QStringLiteral("{\"reponse\":\"Je comprends, é"));
    while (flux.size() < 64 * 1024 * 1024) {
        flux += delta;
        if ((flux.size() / delta.size()) % 20 == 0)
            flux += fakes::ping();
    }
    flux += fakes::finMessage() + fakes::arretMessage();
    for (int tour = 0; tour < 3; ++tour) {
        ai::FluxSSE f;
        ai::DecoupeurLignes d;
        QElapsedTimer t;
        t.start();
        const std::clock_t cpu0 = std::clock();
        const qsizetype morceau = 16 * 1024;
        for (qsizetype i = 0; i < flux.size(); i += morceau)
            d.ajouter(QByteArrayView(flux).sliced(i, std::min(morceau, flux.size() - i)),
                      [&](QByteArrayView l) { f.ligne(l); });
        const double s = t.nsecsElapsed() / 1e9;
        const double cpu = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
        std::printf("analyse SSE : %.1f Mo en %.3f s (%.3f s de processeur) = %.1f Mo/s, %.1f Mo/s de processeur "
                    "(%d événements, message_stop %s)\n",
                    flux.size() / 1e6, s, cpu, flux.size() / 1e6 / s, flux.size() / 1e6 / cpu, f.evenements,
                    f.termine ? "vu" : "absent");
    }
}

void latence(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    fakes::FauxMessages serveur;
    serveur.demarrer();
    fakes::ReponseFaux r;
    r.fermer = false;
    r.morceau(fakes::debutMessage() + fakes::deltaTexte(QStringLiteral("{\"reponse\":\"")));
    serveur.ajouter(r);

    platform::CoffreMemoire coffre;
    coffre.ecrire(ai::cleAnthropic, QStringLiteral("sk-bench"));
    ai::Moteur moteur(QStringLiteral(VD_RESOURCES_DIR "/moteur.js"));
    ai::ConfigClientIA c;
    c.routes.coffre = &coffre;
    c.moteur = &moteur;
    c.urlAnthropic = serveur.url();
    ai::ClientIA client(c);
    ai::RequeteIA req;
    req.tache = QStringLiteral("objection");
    req.modele = QStringLiteral("claude-haiku-4-5");
    req.payload = QJsonObject{{"demande", "trop cher"}};
    req.limites = ai::LimitesFlux{600, 600, 600, 900};
    ai::DemandeIA* d = client.envoyer(req);

    const int echantillons = 60;
    QElapsedTimer horloge;
    horloge.start();
    qint64 ecrit = 0;
    int recus = 0;
    QList<double> mesures;
    QObject::connect(d, &ai::DemandeIA::partiel, &app, [&](const QJsonValue&) {
        const qint64 maintenant = horloge.nsecsElapsed();
        if (ecrit > 0 && recus++ > 0)   // the first one is the connection set-up
            mesures << (maintenant - ecrit) / 1e6;
        ecrit = 0;
    });
    QTimer pas;
    int envoyes = 0;
    QObject::connect(&pas, &QTimer::timeout, &app, [&] {
        if (serveur.connexionsOuvertes() == 0)
            return;
        if (envoyes++ >= echantillons) {
            app.quit();
            return;
        }
        ecrit = horloge.nsecsElapsed();
        serveur.envoyer(fakes::deltaTexte(QStringLiteral("mot%1 ").arg(envoyes)));
    });
    pas.start(200);
    app.exec();
    d->annuler();
    std::sort(mesures.begin(), mesures.end());
    if (mesures.isEmpty()) {
        std::printf("latence : aucune mesure\n");
        return;
    }
    double somme = 0;
    for (double m : mesures)
        somme += m;
    std::printf("latence écriture text_delta -> rappel partiel (%lld mesures, boucle locale comprise) : "
                "médiane %.3f ms, moyenne %.3f ms, p95 %.3f ms, max %.3f ms\n",
                qlonglong(mesures.size()), mesures[mesures.size() / 2], somme / mesures.size(),
                mesures[qsizetype(mesures.size() * 0.95)], mesures.last());
}

} // namespace

int main(int argc, char** argv)
{
    debit();
    latence(argc, argv);
    return 0;
}
