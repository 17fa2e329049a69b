// The CRM screen on a large store (10,000 contacts, 2,000 calls x 300
// segments): one search keystroke (filter + model update + repaint), opening
// the pipeline board, and a drag that changes a stage (store mutation and the
// screen's refresh; the save itself runs off the main thread). Prints the
// median and worst of each, and the peak memory.
#include "crm/ecrans/ecrancrm.h"
#include "crm/ecrans/modelecontacts.h"
#include "crm/operationscrm.h"
#include "model/store.h"
#include "ui/contexte.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace vd;

namespace {

long rssMaxMo()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

model::Etat etatSynthetique()
{
    static const char* etapes[] = {"nouveau", "contacte", "decouverte", "demo", "proposition", "negociation", "gagne", "perdu"};
    model::Etat e;
    e.contacts.reserve(10000);
    for (int c = 0; c < 10000; ++c) {
        model::Contact x;
        x.id = QStringLiteral("c%1").arg(c);
        x.prenom = c % 3 ? QStringLiteral("Hélène") : QStringLiteral("Camille");
        x.nom = QStringLiteral("Durand-%1").arg(c);
        x.societe = QStringLiteral("Société %1").arg(c % 700);
        x.email = QStringLiteral("contact%1@exemple.fr").arg(c);
        x.tel = QStringLiteral("06 12 %1 %2").arg(c / 100 % 100, 2, 10, QLatin1Char('0')).arg(c % 100, 2, 10, QLatin1Char('0'));
        x.etape = QString::fromLatin1(etapes[c % 8]);
        x.valeur = 1200 + c;
        x.probabilite = 30;
        x.tags = {QStringLiteral("salon")};
        x.notes = QStringLiteral("Intéressée par l'offre annuelle, rappeler après le comité.");
        x.creeLe = x.majLe = QStringLiteral("2026-03-02T09:00:00.000Z");
        e.contacts.append(x);
    }
    e.appels.reserve(2000);
    for (int a = 0; a < 2000; ++a) {
        model::Appel x;
        x.id = QStringLiteral("a%1").arg(a);
        x.contactId = QStringLiteral("c%1").arg(a * 5);
        x.statut = QStringLiteral("analyse");
        x.debut = x.creeLe = x.majLe = QStringLiteral("2026-03-%1T09:00:00.000Z").arg(1 + a % 28, 2, 10, QLatin1Char('0'));
        x.duree = 1800;
        x.transcript.reserve(300);
        for (int s = 0; s < 300; ++s)
            x.transcript.append(model::Segment{QStringLiteral("sg%1").arg(s), s % 2 ? QStringLiteral("prospect") : QStringLiteral("vous"),
                                               QStringLiteral("Et concrètement, comment gérez-vous le suivi de vos prospects ?"),
                                               s * 6000, s * 6000 + 5200, std::nullopt});
        e.appels.append(x);
    }
    return e;
}

struct Mesures {
    std::vector<double> ms;
    void ajouter(const QElapsedTimer& t) { ms.push_back(double(t.nsecsElapsed()) / 1e6); }
    void afficher(const char* quoi)
    {
        if (qEnvironmentVariableIsSet("VD_BENCH_DETAIL")) {
            for (double v : ms)
                std::printf("%.1f ", v);
            std::printf("\n");
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%-44s médiane %7.2f ms   pire %7.2f ms   (%zu mesures)\n", quoi, ms[ms.size() / 2], ms.back(), ms.size());
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dossier;
    model::Store store(dossier.filePath(QStringLiteral("etat.json")));
    store.remplacerEtat(etatSynthetique());
    store.sauvegarder(true);

    ui::Contexte ctx;
    ctx.store = &store;
    crm::EcranCRM ecran(ctx);
    ecran.resize(1280, 800);
    ecran.show();
    QElapsedTimer t;
    t.start();
    ecran.rafraichir();
    app.processEvents();
    std::printf("première ouverture de la liste : %.1f ms (%d lignes)\n", double(t.nsecsElapsed()) / 1e6, ecran.modeleListe()->rowCount());

    // Typing a search, then erasing it: each character is one filter change.
    Mesures frappes;
    const QString saisies[] = {QStringLiteral("helene durand-12"), QStringLiteral("societe 42"), QStringLiteral("0612 34")};
    for (const QString& texte : saisies) {
        for (int n = 1; n <= texte.size(); ++n) {
            t.restart();
            ecran.champRecherche()->setText(texte.left(n));
            ecran.rafraichir();
            app.processEvents();
            frappes.ajouter(t);
        }
        for (int n = int(texte.size()) - 1; n >= 0; --n) {
            t.restart();
            ecran.champRecherche()->setText(texte.left(n));
            ecran.rafraichir();
            app.processEvents();
            frappes.ajouter(t);
        }
    }
    frappes.afficher("frappe de recherche (liste)");

    Mesures ouvertures;
    for (int i = 0; i < 7; ++i) {
        ecran.setVue(crm::EcranCRM::Vue::liste);
        ecran.rafraichir();
        app.processEvents();
        t.restart();
        ecran.setVue(crm::EcranCRM::Vue::pipeline);
        ecran.rafraichir();
        app.processEvents();
        ouvertures.ajouter(t);
    }
    ouvertures.afficher("ouverture du pipeline");

    // A card moved to another column: the mutation, then the refresh it triggers.
    Mesures glisses;
    for (int i = 0; i < 30; ++i) {
        const QString id = QStringLiteral("c%1").arg(i * 331);
        t.restart();
        if (!crm::changerEtape(store, id, i % 2 ? QStringLiteral("proposition") : QStringLiteral("negociation")))
            std::abort();
        ecran.rafraichir();
        app.processEvents();
        glisses.ajouter(t);
    }
    glisses.afficher("glisser une carte (mutation + rafraîchissement)");

    store.sauvegarder(true);
    std::printf("mémoire maximale : %ld Mo\n", rssMaxMo());
    return 0;
}
