// "vendalo synchroniser": one forced synchronisation run of the data folder
// with the signed-in account, then its summary.
#include "cli.h"
#include "cli_commandes.h"
#include "contextecommande.h"
#include "cloud/clientprogramme.h"
#include "cloud/synchro.h"
#include "model/store.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>

namespace vd::app {

namespace {

const QString messageModeLocal = QStringLiteral("Le compte Vendalo n'est pas encore disponible sur ce Mac.");
const QString messageDecision = QStringLiteral(
    "Des données sont déjà sur cet ordinateur. Relancez avec --envoyer-local pour les ajouter au compte, "
    "ou --remplacer-local pour les remplacer par celles du compte (une copie est gardée).");

// The team of the account, for what the pull brings; none when it cannot be read.
void lireEquipe(cloud::ClientSupabase& client, cloud::Synchro& s)
{
    QEventLoop boucle;
    std::optional<cloud::ResultatCloud<model::JSONValeur>> r;
    auto t = client.appelerProcedure(QStringLiteral("mon_compte"), {}, 30'000).then([&](auto v) {
        r.emplace(std::move(v));
        boucle.quit();
    });
    if (!r)
        boucle.exec();
    if (!r || !*r)
        return;   // the run itself reports the failure
    const QJsonObject compte = r->valeur().qt().toObject().value(QStringLiteral("compte")).toObject();
    auto texte = [&](const char* k) -> std::optional<QString> {
        const QString v = compte.value(QLatin1String(k)).toString();
        return v.isEmpty() ? std::nullopt : std::optional(v);
    };
    s.definirEquipe(texte("organisationId"), texte("roleOrg"));
}

bool attendreFin(cloud::Synchro& s)
{
    QEventLoop boucle;
    bool ok = false;
    QObject::connect(&s, &cloud::Synchro::termine, &boucle, [&](bool r) {
        ok = r;
        boucle.quit();
    });
    s.synchroniser(true);
    if (s.actif())
        boucle.exec();
    return ok;
}

int bilan(const cloud::Synchro& s, bool ok)
{
    QJsonArray refus;
    for (const auto& r : s.refus())
        refus.append(QJsonObject{{QStringLiteral("collection"), r.collection}, {QStringLiteral("id"), r.id},
                                 {QStringLiteral("raison"), r.raison},
                                 {QStringLiteral("message"), cloud::Synchro::texteRaison(r.raison)}});
    QJsonObject o{{QStringLiteral("phase"), cloud::Synchro::nomPhase(s.phase())},
                  {QStringLiteral("envoyes"), s.objetsEnvoyes()},
                  {QStringLiteral("recus"), s.objetsRecus()},
                  {QStringLiteral("refuses"), refus.size()},
                  {QStringLiteral("refus"), refus},
                  {QStringLiteral("lots"), s.lots()},
                  {QStringLiteral("enAttente"), s.enAttente()}};
    if (const auto d = s.donneesLocales())
        o.insert(QStringLiteral("donneesLocales"),
                 QJsonObject{{QStringLiteral("contacts"), d->contacts}, {QStringLiteral("interactions"), d->interactions},
                             {QStringLiteral("appels"), d->appels}, {QStringLiteral("profils"), d->profils},
                             {QStringLiteral("objections"), d->objections}, {QStringLiteral("entreprise"), d->entreprise}});
    sortieJson(o);
    if (ok)
        return 0;
    if (s.phase() == cloud::Synchro::Phase::attenteDecision)
        return erreur(messageDecision);
    return erreur(s.message().isEmpty() ? cloud::messages::generique : s.message());
}

} // namespace

int commandeSynchroniser(const QStringList& args)
{
    std::optional<cloud::Synchro::Choix> choix;
    for (const QString& a : args) {
        if (a == QLatin1String("--envoyer-local"))
            choix = cloud::Synchro::Choix::envoyer;
        else if (a == QLatin1String("--remplacer-local"))
            choix = cloud::Synchro::Choix::remplacer;
        else
            return erreur(QStringLiteral("Usage : vendalo synchroniser [--envoyer-local | --remplacer-local]"), 2);
    }
    if (ContexteCommande* c = contexteCommande(); c && c->synchro) {
        c->synchro->setChoixPrealable(choix);
        if (c->synchro->phase() == cloud::Synchro::Phase::attenteDecision && choix)
            c->synchro->decider(*choix);
        const bool ok = attendreFin(*c->synchro);
        return bilan(*c->synchro, ok);
    }
    if (!cloud::ConfigCloud::duProgramme().active())
        return erreur(messageModeLocal);
    return executerEnEcriture(QStringLiteral("synchroniser"), args, [&](model::Store& store) {
        const cloud::ClientProgramme acces;
        cloud::ClientSupabase& client = *acces.client();
        if (!client.connecte())
            return erreur(cloud::messages::sessionAbsente);
        const QString dossier = model::JournalCloud::pour(store.fichier().value_or(model::Store::cheminPrincipal()));
        cloud::Synchro s(&client, store, dossier);
        s.setChoixPrealable(choix);
        lireEquipe(client, s);
        const bool ok = attendreFin(s);
        return bilan(s, ok);
    });
}

} // namespace vd::app
