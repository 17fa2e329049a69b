// The assistant's read tools on the large store (2,000 calls x 300 segments,
// 10,000 contacts): the one-off cost of handing the app data to the engine,
// then each tool's median time and result size once the data is there.
#include "ai/moteur.h"
#include "assistant/quillosession.h"
#include "model/etat.h"
#include "model/json.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <algorithm>
#include <cstdio>

using namespace vd;

namespace {

model::Etat etatSynthetique()
{
    model::Etat e;
    for (int c = 0; c < 10000; ++c) {
        model::Contact x;
        x.id = QStringLiteral("c%1").arg(c);
        x.prenom = QStringLiteral("Camille");
        x.nom = QStringLiteral("Durand-%1").arg(c);
        x.societe = QStringLiteral("Société %1").arg(c % 700);
        x.email = QStringLiteral("camille.durand%1@exemple.fr").arg(c);
        x.etape = c % 3 ? QStringLiteral("decouverte") : QStringLiteral("proposition");
        x.valeur = 1200 + c;
        x.notes = QStringLiteral("Intéressée par l'offre annuelle, rappeler après le comité.");
        if (c % 4 == 0)
            x.prochaineAction = model::ProchaineAction{QStringLiteral("Relancer"), QStringLiteral("2026-03-0%1").arg(1 + c % 9)};
        x.creeLe = x.majLe = QStringLiteral("2026-03-02T09:00:00.000Z");
        e.contacts.append(x);
    }
    for (int a = 0; a < 2000; ++a) {
        model::Appel x;
        x.id = QStringLiteral("a%1").arg(a);
        x.contactId = QStringLiteral("c%1").arg(a * 5);
        x.statut = QStringLiteral("analyse");
        x.debut = x.creeLe = x.majLe = QStringLiteral("2026-03-02T09:00:00.000Z");
        x.duree = 1800;
        for (int s = 0; s < 300; ++s)
            x.transcript.append(model::Segment{QStringLiteral("sg%1").arg(s), s % 2 ? QStringLiteral("prospect") : QStringLiteral("vous"),
                                               QStringLiteral("Et concrètement, comment gérez-vous aujourd'hui le suivi de vos prospects après un premier échange ?"),
                                               s * 6000, s * 6000 + 5200, std::nullopt});
        e.appels.append(x);
    }
    return e;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ai::Moteur moteur(QStringLiteral(VD_RESOURCES_DIR "/moteur.js"));
    const model::Etat etat = etatSynthetique();
    QElapsedTimer t;
    t.start();
    const QByteArray donnees = assistant::donneesQuillo(etat, QStringLiteral("2026-03-02"));
    const double ecriture = t.nsecsElapsed() / 1e6;
    t.restart();
    auto r = moteur.appelerTexte(QStringLiteral("quilloOutil"), {QStringLiteral("pipeline"), QJsonObject(), QString::fromUtf8(donnees)});
    const double chargement = t.nsecsElapsed() / 1e6;
    if (!r)
        return 1;
    std::printf("données pour le moteur : %.1f Mo, écrites en %.1f ms, chargées en %.1f ms (une fois par changement du store)\n",
                donnees.size() / 1e6, ecriture, chargement);
    const QString appel = QString::fromUtf8(model::texteJsonCompact(QJsonValue(model::versObjetJson(etat.appels[42]))));
    const QList<std::pair<QString, QJsonObject>> outils = {
        {QStringLiteral("chercher_contacts"), {{"requete", "durand-99"}}},
        {QStringLiteral("chercher_contacts"), {{"requete", "societe 12"}, {"page", 3}}},
        {QStringLiteral("lire_contact"), {{"id", "c210"}}},
        {QStringLiteral("lister_appels"), {{"page", 2}}},
        {QStringLiteral("lire_appel"), {{"id", "a42"}}},
        {QStringLiteral("statistiques"), {{"jours", 30}}},
        {QStringLiteral("prochaines_actions"), {}},
        {QStringLiteral("pipeline"), {}},
        {QStringLiteral("lire_profils"), {}},
        {QStringLiteral("lire_configuration"), {}},
    };
    bool bon = true;
    for (const auto& [nom, entree] : outils) {
        std::vector<double> temps;
        qsizetype taille = 0;
        for (int i = 0; i < 7; ++i) {
            t.restart();
            auto res = moteur.appelerTexte(QStringLiteral("quilloOutil"),
                                           {nom, entree, QString(), nom == QLatin1String("lire_appel") ? QJsonValue(appel) : QJsonValue()});
            temps.push_back(t.nsecsElapsed() / 1e6);
            taille = res ? res.valeur().toUtf8().size() : -1;
        }
        std::sort(temps.begin(), temps.end());
        const double med = temps[temps.size() / 2];
        bon = bon && med <= 50 && taille > 0 && taille <= 20000;
        std::printf("%-20s %7.2f ms (médiane, la première %.2f ms)  %6lld octets\n", qPrintable(nom), med, temps.front(), qlonglong(taille));
    }
    std::printf(bon ? "Chaque outil ≤ 50 ms et ≤ 20 Ko.\n" : "Un outil dépasse 50 ms ou 20 Ko.\n");
    return bon ? 0 : 1;
}
