// First synchronisation of a large store (10,000 contacts, 2,000 calls of 300
// segments) and an idle run of the up-to-date store: batches, wall time, CPU
// time and peak memory. Against the real procedures when run under
// scripts/avec-postgres.sh, else against the scripted in-process server.
#include "../tests/cloud/outilscloud.h"
#include "../tests/cloud/serveursynchro.h"
#include "cloud/synchro.h"
#include "model/store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

using namespace vd;

namespace {

double cpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

long picMo()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

model::Etat grosEtat()
{
    model::Etat e;
    const QString t = QStringLiteral("2026-11-01T09:00:00.000Z");
    e.contacts.reserve(10'000);
    for (int i = 0; i < 10'000; ++i) {
        model::Contact c;
        c.id = QStringLiteral("contact-%1").arg(i);
        c.nom = QStringLiteral("Nom %1").arg(i);
        c.societe = QStringLiteral("Société %1").arg(i % 700);
        c.email = QStringLiteral("contact%1@exemple.fr").arg(i);
        c.notes = QStringLiteral("Rappeler après le salon, budget validé en comité.");
        c.creeLe = c.majLe = t;
        e.contacts.append(c);
    }
    e.appels.reserve(2'000);
    for (int i = 0; i < 2'000; ++i) {
        model::Appel a;
        a.id = QStringLiteral("appel-%1").arg(i);
        a.statut = QStringLiteral("analyse");
        a.debut = QDateTime::currentDateTimeUtc().addDays(-(i % 60)).toString(Qt::ISODateWithMs);
        a.creeLe = a.majLe = a.debut;
        a.duree = 1800;
        for (int s = 0; s < 300; ++s) {
            model::Segment g;
            g.id = QStringLiteral("s%1").arg(s);
            g.locuteur = s % 2 ? QStringLiteral("vous") : QStringLiteral("prospect");
            g.texte = QStringLiteral("Oui, nous avons regardé votre proposition et le délai de mise en place nous inquiète un peu.");
            g.debutMs = s * 6000;
            g.finMs = s * 6000 + 5000;
            a.transcript.append(g);
        }
        e.appels.append(a);
    }
    return e;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const bool pg = !fakes::BasePostgres::connexionEnvironnement().isEmpty();
    fakes::FauxSupabase serveur(&platform::Horloge::instance());
    tests::ServeurSynchro script;
    if (pg && !serveur.utiliserPostgres()) {
        std::printf("PostgreSQL injoignable : %s\n", qPrintable(serveur.base()->erreur()));
        return 1;
    }
    if (!serveur.demarrer())
        return 1;
    serveur.ajouterUtilisateur(QStringLiteral("lea@exemple.fr"), QStringLiteral("motdepasse1"));
    platform::CoffreMemoire coffre;
    cloud::StockageSession stockage(coffre);
    cloud::ClientSupabase client(serveur.config(), &stockage);
    if (!tests::attendre(client.connecter(QStringLiteral("lea@exemple.fr"), QStringLiteral("motdepasse1"))).ok())
        return 1;
    if (!pg) {
        script.compteId = client.session()->utilisateur.id;
        script.installer(serveur);
    }

    QTemporaryDir dossier;
    model::Store store(dossier.filePath(QStringLiteral("etat.json")));
    store.modifier([](model::Etat& e) { e = grosEtat(); });
    store.sauvegarder(true);
    cloud::Synchro s(&client, store, dossier.filePath(QStringLiteral("cloud")));
    s.setChoixPrealable(cloud::Synchro::Choix::envoyer);
    const long picAvant = picMo();

    auto run = [&](const char* nom) {
        QSignalSpy fin(&s, &cloud::Synchro::termine);
        QElapsedTimer t;
        t.start();
        const double c0 = cpuMs();
        s.synchroniser(true);
        if (s.actif() && !fin.wait(3'600'000))
            std::printf("%s : pas de fin\n", nom);
        std::printf("%-26s %s, %d lots, %d envoyés, %d reçus, %lld ms, CPU du processus %.0f ms, pic %ld Mo\n", nom,
                    qPrintable(cloud::Synchro::nomPhase(s.phase())), s.lots(), s.objetsEnvoyes(), s.objetsRecus(),
                    t.elapsed(), cpuMs() - c0, picMo());
    };
    std::printf("serveur : %s ; pic avant synchronisation %ld Mo\n", pg ? "procédures PostgreSQL" : "serveur scripté", picAvant);
    run("première synchronisation");
    run("à jour (écho du serveur)");
    run("à jour");
    run("à jour");
    return 0;
}
