// Follow-ups on a large store (10,000 contacts, 2,000 of them with a running
// sequence of seven steps, 2,000 analysed calls with a proposal): building
// today's list, listing every sequence (the command line), and one send then
// its undo through the store. Prints the median and worst of each.
#include "ai/moteur.h"
#include "crm/relances.h"
#include "model/store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vd;

namespace {

model::Etat etatSynthetique()
{
    model::Etat e;
    e.contacts.reserve(10000);
    for (int c = 0; c < 10000; ++c) {
        model::Contact x;
        x.id = QStringLiteral("c%1").arg(c);
        x.prenom = QStringLiteral("Hélène");
        x.nom = QStringLiteral("Durand-%1").arg(c);
        x.email = QStringLiteral("contact%1@exemple.fr").arg(c);
        x.etape = QStringLiteral("proposition");
        if (c % 5 == 0) {
            QJsonArray etapes;
            const int jours[] = {1, 3, 7, 14, 30, 60, 90};
            for (int k = 0; k < 7; ++k)
                etapes.append(QJsonObject{{"id", QStringLiteral("e%1").arg(k + 1)},
                                          {"date", QDate(2026, 3, 1).addDays(jours[k] + c % 20).toString(Qt::ISODate)},
                                          {"jour", jours[k]}, {"canal", "email"}, {"statut", "a_venir"},
                                          {"objet", "Suite à notre échange"},
                                          {"message", "Bonjour Hélène,\n\nJe reviens vers vous au sujet de notre offre.\n\nBien à vous"}});
            x.relance = model::JSONValeur(QJsonObject{{"statut", "active"}, {"dateAppel", "2026-03-01"},
                                                      {"appelId", QStringLiteral("a%1").arg(c / 5)}, {"etapes", etapes}});
        }
        e.contacts.append(x);
    }
    for (int a = 0; a < 2000; ++a) {
        model::Appel x;
        x.id = QStringLiteral("a%1").arg(a);
        x.contactId = QStringLiteral("c%1").arg(a * 5);
        x.statut = QStringLiteral("analyse");
        x.debut = QStringLiteral("2026-03-01T09:00:00.000Z");
        x.analyse = model::Analyse{};
        x.analyse->relances = e.contacts.at(a * 5).relance;
        e.appels.append(x);
    }
    return e;
}

void afficher(const char* quoi, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s médiane %7.2f ms   pire %7.2f ms   (%zu mesures)\n", quoi, ms[ms.size() / 2], ms.back(), ms.size());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ai::Moteur moteur(QStringLiteral(VD_RESOURCES_DIR "/moteur.js"));
    if (auto e = moteur.charger()) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(*e));
        return 1;
    }
    model::Store store;
    store.remplacerEtat(etatSynthetique());
    crm::Relances relances(store, moteur);
    std::vector<double> jour, liste, envoi;
    int lignes = 0;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer t;
        t.start();
        lignes = int(relances.duJour(QStringLiteral("2026-03-15")).size());
        jour.push_back(double(t.nsecsElapsed()) / 1e6);
        t.start();
        const auto n = relances.entrees().size();
        liste.push_back(double(t.nsecsElapsed()) / 1e6);
        Q_UNUSED(n);
        t.start();
        const QString c = QStringLiteral("c%1").arg(i * 5);
        if (!relances.envoyer(c, QStringLiteral("e1"), QStringLiteral("note")) || !relances.annulerEnvoi(c, QStringLiteral("e1")))
            return 1;
        envoi.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("Relances du jour : %d lignes sur 2 000 séquences actives\n", lignes);
    afficher("liste du jour (moteur)", jour);
    afficher("toutes les séquences (ligne de commande)", liste);
    afficher("envoi noté puis annulé (deux mutations)", envoi);
    return 0;
}
