// The framework screen on a large store (2,000 analysed calls x 300
// segments): showing it (frameworks list, questions that work and forgotten
// questions over the recent window), one keystroke in the step editor of a
// 30-step framework (draft rebuilt and validated), and saving. Prints the
// median and worst of each.
#include "ai/clientia.h"
#include "ai/moteur.h"
#include "model/store.h"
#include "team/ecrans/ecranframework.h"
#include "team/ecrans/editeurframework.h"
#include "ui/contexte.h"
#include "ui/navigation.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdio>

using namespace vd;

namespace {

class ClientIAMuet : public ai::ClientIABase {
public:
    ai::DemandeIA* envoyer(const ai::RequeteIA&) override { return nullptr; }
};

model::Etat etatSynthetique()
{
    model::Etat e;
    e.appels.reserve(2000);
    for (int a = 0; a < 2000; ++a) {
        model::Appel x;
        x.id = QStringLiteral("a%1").arg(a);
        x.statut = QStringLiteral("analyse");
        x.debut = x.creeLe = x.majLe = QStringLiteral("2026-03-%1T%2:00:00.000Z").arg(1 + a % 28, 2, 10, QLatin1Char('0')).arg(a % 24, 2, 10, QLatin1Char('0'));
        x.transcript.reserve(300);
        for (int s = 0; s < 300; ++s)
            x.transcript.append(model::Segment{QStringLiteral("sg%1").arg(s), s % 2 ? QStringLiteral("prospect") : QStringLiteral("vous"),
                                               QStringLiteral("Et concrètement, comment gérez-vous le suivi de vos prospects ?"),
                                               s * 6000, s * 6000 + 5200, std::nullopt});
        x.analyse = model::Analyse::depuisJson(QJsonObject{
            {QStringLiteral("score"), 60 + a % 30},
            {QStringLiteral("questionsOubliees"), QJsonArray{QStringLiteral("Quel budget avez-vous prévu ?"), QStringLiteral("Question %1 ?").arg(a % 50)}},
            {QStringLiteral("questionsQuiMarchent"),
             QJsonArray{QJsonObject{{QStringLiteral("question"), QStringLiteral("Qui d'autre participe à la décision ?")}, {QStringLiteral("etapeId"), QStringLiteral("decouverte")}},
                        QJsonObject{{QStringLiteral("question"), QStringLiteral("Variante %1 ?").arg(a % 80)}}}}});
        e.appels.append(x);
    }
    return e;
}

struct Mesures {
    std::vector<double> ms;
    void ajouter(const QElapsedTimer& t) { ms.push_back(double(t.nsecsElapsed()) / 1e6); }
    void afficher(const char* quoi)
    {
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
    model::Store store;
    store.remplacerEtat(etatSynthetique());
    ui::Contexte ctx;
    ctx.store = &store;
    ClientIAMuet ia;
    ai::Moteur::instance().charger();
    team::EcranFramework ecran(ctx, ai::Moteur::instance(), ia, false);
    ecran.resize(1280, 900);
    ecran.show();

    Mesures affichages;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer t;
        t.start();
        ecran.afficher(ui::Ecran::de(ui::Ecran::Genre::framework));
        app.processEvents();
        affichages.ajouter(t);
    }
    affichages.afficher("affichage (liste + questions des appels)");

    // A 30-step framework: each keystroke rebuilds and validates the whole draft.
    team::FrameworkVente f = team::frameworkDepuisModele(*team::modeleCycle(QStringLiteral("vente_complexe")), QStringLiteral("fw"),
                                                         store.horodatageMaintenant());
    while (f.etapes.size() < 30) {
        team::EtapeFramework e = f.etapes[f.etapes.size() % 5];
        e.id += QString::number(f.etapes.size());
        f.etapes.append(e);
    }
    ecran.editeur()->ouvrir(f);
    app.processEvents();
    auto* objectif = ecran.editeur()->findChild<QLineEdit*>(QStringLiteral("objectifEtape"));
    Mesures frappes;
    for (int i = 0; i < 60; ++i) {
        QElapsedTimer t;
        t.start();
        QTest::keyClick(objectif, i % 2 ? Qt::Key_Backspace : Qt::Key_A);
        app.processEvents();
        frappes.ajouter(t);
    }
    frappes.afficher("frappe dans l'éditeur (30 étapes)");

    QElapsedTimer t;
    t.start();
    const bool ok = ecran.editeur()->enregistrer();
    app.processEvents();
    std::printf("enregistrement : %.2f ms (%s)\n", double(t.nsecsElapsed()) / 1e6, ok ? "ok" : "refusé");
    return ok ? 0 : 1;
}
