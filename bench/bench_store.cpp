// Store at scale: 2,000 calls x 300 segments and 10,000 contacts. Load (read +
// lenient decode) and save (encode + atomic write) against a plain
// QJsonDocument parse / serialise of the same file, plus the main-thread cost
// of a queued save and the peak memory.
#include "model/store.h"
#include "platform/dossiers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace vd::model;

namespace {

long rssMaxMo()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

Etat etatSynthetique()
{
    Etat e;
    for (int c = 0; c < 10000; ++c) {
        Contact x;
        x.id = QStringLiteral("c%1").arg(c);
        x.prenom = QStringLiteral("Camille");
        x.nom = QStringLiteral("Durand-%1").arg(c);
        x.societe = QStringLiteral("Société %1").arg(c % 700);
        x.email = QStringLiteral("camille.durand%1@exemple.fr").arg(c);
        x.etape = QStringLiteral("decouverte");
        x.valeur = 1200 + c;
        x.notes = QStringLiteral("Intéressée par l'offre annuelle, rappeler après le comité.");
        x.creeLe = x.majLe = QStringLiteral("2026-03-02T09:00:00.000Z");
        e.contacts.append(x);
    }
    for (int a = 0; a < 2000; ++a) {
        Appel x;
        x.id = QStringLiteral("a%1").arg(a);
        x.contactId = QStringLiteral("c%1").arg(a * 5);
        x.statut = QStringLiteral("analyse");
        x.debut = x.creeLe = x.majLe = QStringLiteral("2026-03-02T09:00:00.000Z");
        x.duree = 1800;
        x.transcript.reserve(300);
        for (int s = 0; s < 300; ++s)
            x.transcript.append(Segment{QStringLiteral("sg%1").arg(s), s % 2 ? QStringLiteral("prospect") : QStringLiteral("vous"),
                                        QStringLiteral("Et concrètement, comment gérez-vous aujourd'hui le suivi de vos prospects après un premier échange ?"),
                                        s * 6000, s * 6000 + 5200, std::nullopt});
        x.metriques = Metriques{1800, 55, 45, 12, 80, 150, 3, 150};
        e.appels.append(x);
    }
    return e;
}

template<typename F>
double mediane(int n, F f)
{
    std::vector<double> t;
    for (int i = 0; i < n; ++i) {
        QElapsedTimer c;
        c.start();
        f();
        t.push_back(c.nsecsElapsed() / 1e6);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString chemin = dir.path() + QStringLiteral("/etat.json");
    const long rssDepart = rssMaxMo();
    {
        const Etat e = etatSynthetique();
        QByteArray b = versTexteJson(e);
        QFile f(chemin);
        f.open(QIODevice::WriteOnly);
        f.write(b);
        std::printf("fichier : %.1f Mo\n", b.size() / 1e6);
    }
    QFile f(chemin);
    f.open(QIODevice::ReadOnly);
    const QByteArray octets = f.readAll();
    const int n = 5;

    const double parseBrut = mediane(n, [&] { volatile bool ok = QJsonDocument::fromJson(octets).isObject(); (void)ok; });
    const double chargement = mediane(n, [&] {
        QFile g(chemin);
        g.open(QIODevice::ReadOnly);
        const auto doc = DocJson::analyser(g.readAll());
        const auto etat = doc ? Etat::depuisJson(doc->racine()) : std::nullopt;
        if (!etat || etat->appels.size() != 2000)
            std::abort();
    });
    const QJsonDocument doc = QJsonDocument::fromJson(octets);
    const double serialiseBrut = mediane(n, [&] { volatile qsizetype s = doc.toJson(QJsonDocument::Compact).size(); (void)s; });
    const Etat etat = *Etat::depuisJson(doc.object());
    const double encodage = mediane(n, [&] { volatile qsizetype s = versTexteJson(etat).size(); (void)s; });
    const double sauvegarde = mediane(n, [&] {
        if (!vd::platform::ecrireAtomique(dir.path() + QStringLiteral("/copie.json"), versTexteJson(etat)).isEmpty())
            std::abort();
    });

    // Main-thread cost of a queued save at this size (the encode runs on the writer thread).
    Store store(dir.path() + QStringLiteral("/store.json"));
    store.remplacerEtat(etat);
    std::vector<double> blocages;
    for (int i = 0; i < n; ++i) {
        store.modifier([i](Etat& e) { e.appels[i].objectif = QStringLiteral("x"); });
        QElapsedTimer c;
        c.start();
        store.sauvegarder(false);
        blocages.push_back(c.nsecsElapsed() / 1e6);
    }
    store.modifier([](Etat&) {});
    store.sauvegarder(true);
    std::sort(blocages.begin(), blocages.end());

    // The journal: one contact edit on the large store (main-thread time and bytes written),
    // then a cold load of the file and its journal.
    std::vector<double> edition;
    qint64 octetsEdition = 0;
    {
        Store grand(dir.path() + QStringLiteral("/store.json"));
        for (int i = 0; i < n; ++i) {
            const qint64 avant = grand.octetsEcrits();
            QElapsedTimer c;
            c.start();
            grand.modifier([i](Etat& e) { e.contacts[5000 + i].notes = QStringLiteral("Rappeler jeudi %1").arg(i); });
            grand.sauvegarder(false);
            edition.push_back(c.nsecsElapsed() / 1e6);
            grand.modifier([](Etat&) {});
            grand.sauvegarder(true);   // waits for the queued append
            octetsEdition = std::max(octetsEdition, grand.octetsEcrits() - avant);
        }
        // Closing folds the journal into the file (not timed here).
    }
    std::sort(edition.begin(), edition.end());
    QElapsedTimer chrono;
    chrono.start();
    double chargementStore = 0;
    {
        Store relu(dir.path() + QStringLiteral("/store.json"), Store::Acces::lecture);
        chargementStore = chrono.nsecsElapsed() / 1e6;
        if (relu.etat().contacts.size() != 10000)
            std::abort();
    }

    std::printf("parse brut QJsonDocument     : %8.1f ms\n", parseBrut);
    std::printf("chargement (lecture+décodage): %8.1f ms  ratio %.2f (cible <= 1.5)\n", chargement, chargement / parseBrut);
    std::printf("sérialisation brute          : %8.1f ms\n", serialiseBrut);
    std::printf("encodage                     : %8.1f ms  ratio %.2f\n", encodage, encodage / serialiseBrut);
    std::printf("sauvegarde (encodage+écriture): %7.1f ms  ratio %.2f (cible <= 1.5)\n", sauvegarde, sauvegarde / serialiseBrut);
    std::printf("fil principal par sauvegarde : %8.2f ms (max %.2f, cible <= 16)\n", blocages[blocages.size() / 2], blocages.back());
    std::printf("édition d'un contact         : %8.2f ms au fil principal (max %.2f, cible <= 2), %lld octets écrits (cible <= 65536)\n",
                edition[edition.size() / 2], edition.back(), (long long)octetsEdition);
    std::printf("chargement du Store (fichier et journal) : %.1f ms\n", chargementStore);
    std::printf("mémoire maximale             : %ld Mo (départ %ld Mo)\n", rssMaxMo(), rssDepart);
    return 0;
}
