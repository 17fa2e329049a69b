// "vendalo progres [--le AAAA-MM-JJ] [--demo]": the salesperson's competences
// over 30 days with their trend, the exercise of the week with each of the
// week's calls judged, and the moments to listen to again, in JSON. --le takes
// the situation at the end of that day; --demo reads the demonstration data
// (built around that day) instead of the user's.
#include "cli.h"
#include "cli_commandes.h"
#include "contextecommande.h"
#include "ai/moteur.h"
#include "model/store.h"
#include "model/texte.h"
#include "platform/horloge.h"
#include "team/progres.h"

#include <QDate>

namespace vd::app {

namespace {

const QString usageProgres = QStringLiteral("Utilisation : vendalo progres [--le AAAA-MM-JJ] [--demo]");

void imprimer(const QList<model::Appel>& appels, const QDateTime& reference)
{
    const auto dimensions = team::dimensionsDepuis(ai::Moteur::instance().donnee(QStringLiteral("DIMENSIONS")));
    sortieJson(team::calculerProgres(appels, reference, dimensions).versJson(appels));
}

} // namespace

int commandeProgres(const QStringList& args)
{
    bool demo = false;
    std::optional<QDate> le;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--demo")) {
            demo = true;
        } else if (args[i] == QLatin1String("--le") && i + 1 < args.size()) {
            le = QDate::fromString(args[++i].trimmed(), QStringLiteral("yyyy-MM-dd"));
            if (!le->isValid())
                return erreur(QStringLiteral("La date est un jour au format AAAA-MM-JJ, par exemple 2026-03-02."), 2);
        } else {
            return erreur(usageProgres, 2);
        }
    }
    const team::CalendrierSemaines calendrier = team::CalendrierSemaines::partage();
    // The end of the day asked for: its calls count as already made.
    const QDateTime reference = le ? QDateTime(le->addDays(1), QTime(0, 0), calendrier.fuseau) : platform::Horloge::instance().maintenant();
    if (demo) {
        const QString jour = le ? le->toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("T12:00:00") : model::horodatage(reference);
        auto r = ai::Moteur::instance().appelerJSON(QStringLiteral("etatDemo"), {jour});
        if (!r)
            return erreur(QStringLiteral("Les données de démonstration ne sont pas disponibles : ") + r.erreur().description(), 1);
        const auto etat = model::Etat::depuisJson(r.valeur());
        if (!etat)
            return erreur(QStringLiteral("Les données de démonstration sont illisibles."), 1);
        imprimer(etat->appels, reference);
        return 0;
    }
    return executerEnLecture([&](model::Store& store) {
        imprimer(store.etat().appels, reference);
        return 0;
    });
}

} // namespace vd::app
