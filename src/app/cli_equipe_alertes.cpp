// "vendalo equipe alertes": for a manager, the team calls to look at as JSON —
// the alerts already raised on this computer and those the calls known
// locally raise now against the team's thresholds, each with its reasons and
// their labels. Nothing is recorded: the desktop app still announces them.
#include "cli.h"
#include "cli_commandes.h"
#include "cloud/clientprogramme.h"
#include "cloud/compte.h"
#include "contextecommande.h"
#include "model/store.h"
#include "platform/dossiers.h"
#include "platform/preferences.h"
#include "team/pilotageequipe.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

namespace vd::app {

namespace {

QJsonObject alerteJson(const team::AlerteAppel& a, const model::Etat& etat, const team::SeuilsEquipe& seuils,
                       const QHash<QString, QString>& noms, bool nouvelle)
{
    const model::Appel* appel = etat.appel(a.appelId);
    QJsonArray raisons;
    for (team::RaisonAlerte r : a.raisons)
        raisons.append(QJsonObject{{QStringLiteral("raison"), team::valeurBrute(r)},
                                   {QStringLiteral("libelle"), appel ? team::libelleRaison(r, *appel, seuils) : team::valeurBrute(r)}});
    const model::Contact* k = appel && appel->contactId ? etat.contact(*appel->contactId) : nullptr;
    return {{QStringLiteral("appelId"), a.appelId},
            {QStringLiteral("compteId"), a.compteId},
            {QStringLiteral("membre"), noms.contains(a.compteId) ? QJsonValue(noms.value(a.compteId)) : QJsonValue()},
            {QStringLiteral("contact"), k ? QJsonValue(k->nomComplet()) : QJsonValue()},
            {QStringLiteral("debut"), appel ? QJsonValue(appel->debut) : QJsonValue()},
            {QStringLiteral("score"), appel && appel->analyse ? QJsonValue(double(appel->analyse->score)) : QJsonValue()},
            {QStringLiteral("le"), a.le},
            {QStringLiteral("vue"), a.vue},
            {QStringLiteral("nouvelle"), nouvelle},
            {QStringLiteral("raisons"), raisons}};
}

} // namespace

int commandeEquipeAlertes(const QStringList& args)
{
    if (!args.isEmpty())
        return erreur(QStringLiteral("Utilisation : vendalo equipe alertes"), 2);
    const cloud::ClientProgramme acces;
    if (!acces.client())
        return erreur(cloud::Compte::erreurModeLocal().message, 1);
    if (!acces.client()->connecte())
        return erreur(QStringLiteral("Connectez-vous pour continuer."), 1);
    cloud::Compte compte(acces.client(), platform::dossierCloud(), platform::Reseau::systeme());
    {
        QEventLoop boucle;
        QObject::connect(&compte, &cloud::Compte::rafraichi, &boucle, &QEventLoop::quit);
        compte.demarrer();
        if (compte.rafraichissementEnCours())
            boucle.exec();
    }
    const QString moi = compte.infos() ? compte.infos()->value(QStringLiteral("compte")).toObject().value(QStringLiteral("id")).toString() : QString();
    if (moi.isEmpty())
        return erreur(compte.erreur().value_or(QStringLiteral("Connectez-vous pour continuer.")), 1);
    if (!compte.equipe() || !compte.equipe()->value(QStringLiteral("organisation")).isObject())
        return erreur(team::PilotageEquipe::messageHorsEquipe(), 1);
    if (!compte.gestionnaire())
        return erreur(QStringLiteral("Seul un manager de l'équipe voit ses appels à regarder."), 1);
    QHash<QString, QString> noms;
    for (const QJsonValue& v : compte.equipe()->value(QStringLiteral("membres")).toArray()) {
        const QString nom = v[QStringLiteral("nom")].toString().trimmed();
        noms.insert(v[QStringLiteral("id")].toString(), nom.isEmpty() ? v[QStringLiteral("email")].toString() : nom);
    }

    // A copy of this account's steering preferences: reading never marks a call as handled.
    platform::Preferences& vraies = platform::Preferences::instance();
    platform::PreferencesMemoire copie;
    for (const QString& cle : {team::PilotageEquipe::prefixeAlertes + moi, team::PilotageEquipe::prefixeTraites + moi,
                               team::PilotageEquipe::prefixeSyntheses + moi, team::PilotageEquipe::cleADeposer})
        if (vraies.contient(cle))
            copie.definir(cle, vraies.valeur(cle, {}));
    QSet<QString> dejaLevees;
    for (const QJsonValue& v : QJsonDocument::fromJson(copie.valeur(team::PilotageEquipe::prefixeAlertes + moi, {}).toString().toUtf8()).array())
        dejaLevees.insert(v[QStringLiteral("appelId")].toString());

    return executerEnLecture([&](model::Store& store) {
        team::PilotageEquipe::Collaborateurs c;
        c.defaults = &copie;
        cloud::ClientSupabase* client = acces.client();
        c.client = [client] { return client; };
        c.lireMoi = [&moi] { return moi; };
        c.lireAppels = [&store] { return store.etat().appels; };
        team::PilotageEquipe pilotage(std::move(c));
        QEventLoop boucle;
        QTimer attente;
        QObject::connect(&attente, &QTimer::timeout, &boucle, [&] {
            if (pilotage.initialise())
                boucle.quit();
        });
        attente.start(20);
        QTimer::singleShot(team::PilotageEquipe::delaiMs + 5'000, &boucle, &QEventLoop::quit);
        pilotage.demarrer();
        if (!pilotage.initialise())
            boucle.exec();
        QJsonArray alertes;
        for (const team::AlerteAppel& a : pilotage.alertes())
            alertes.append(alerteJson(a, store.etat(), pilotage.seuils(), noms, !dejaLevees.contains(a.appelId)));
        sortieJson(QJsonObject{{QStringLiteral("seuils"), pilotage.seuils().versJson()},
                               {QStringLiteral("resume"), team::resumeSeuils(pilotage.seuils())},
                               {QStringLiteral("alertes"), alertes}});
        return 0;
    });
}

} // namespace vd::app
