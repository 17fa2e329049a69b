#include "ai/accescloudsupabase.h"
#include "ai/clientclaude.h"
#include "ai/moteur.h"
#include "cli.h"
#include "cli_commandes.h"
#include "cloud/clientprogramme.h"
#include "model/store.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <cstdio>

namespace vd::app {

namespace {

void ecrireErreurStandard(const QByteArray& b)
{
    std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
    std::fflush(stderr);
}

} // namespace

int commandeIa(const QStringList& arguments)
{
    const QString usage = QStringLiteral("Utilisation : vendalo ia [--demo] TACHE PAYLOAD-JSON [--modele M]");
    QStringList args = arguments;
    ai::RequeteIA requete;
    std::optional<QString> modele;
    QStringList positionnels;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--demo"))
            requete.demo = true;
        else if (args[i] == QLatin1String("--modele") && i + 1 < args.size())
            modele = args[++i];
        else if (args[i].startsWith(QLatin1String("--")))
            return erreur(usage, 2);
        else
            positionnels << args[i];
    }
    if (positionnels.size() != 2 || positionnels[0].trimmed().isEmpty())
        return erreur(usage, 2);
    requete.tache = positionnels[0].trimmed();
    QJsonParseError pe;
    // Wrapped in a list so any JSON value (object, text, number) is accepted.
    const QJsonDocument doc = QJsonDocument::fromJson("[" + positionnels[1].toUtf8() + "]", &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isArray() || doc.array().size() != 1)
        return erreur(QStringLiteral("Le payload n'est pas un JSON valide : %1.").arg(pe.errorString()), 2);
    requete.payload = doc.array().at(0);

    model::Store store(model::Store::cheminPrincipal(), model::Store::Acces::lecture);
    const model::Reglages reglages = store.etat().reglages;
    const bool live = [&] {
        for (const QJsonValue& v : ai::Moteur::instance().donnee(QStringLiteral("TACHES_LIVE")).toArray())
            if (v.toString() == requete.tache)
                return true;
        return false;
    }();
    requete.modele = modele.value_or(live ? reglages.modeles.live : reglages.modeles.analyse);

    // The signed-in account comes first when the backend is configured.
    const cloud::ClientProgramme supabase;
    std::unique_ptr<ai::AccesCloudSupabase> acces =
        supabase.client() ? std::make_unique<ai::AccesCloudSupabase>(*supabase.client()) : nullptr;

    ai::ConfigClientIA config;
    config.routes = ai::routesDuStore(store);
    config.cloud = acces.get();
    ai::ClientIA client(config);
    ai::DemandeIA* demande = client.envoyer(requete);
    demande->setParent(&client);

    QEventLoop boucle;
    int code = 1;
    QObject::connect(demande, &ai::DemandeIA::partiel, &boucle, [](const QJsonValue& v) {
        QJsonDocument d = v.isObject() ? QJsonDocument(v.toObject()) : QJsonDocument(QJsonArray{v});
        ecrireErreurStandard(d.toJson(QJsonDocument::Compact) + '\n');
    });
    QObject::connect(demande, &ai::DemandeIA::fini, &boucle, [&](const QString& texte, const ai::InfosGeneration&) {
        sortieTexte(texte);
        code = 0;
        boucle.quit();
    });
    QObject::connect(demande, &ai::DemandeIA::echec, &boucle, [&](const QString& message, const QString&, int) {
        erreur(message);
        code = 1;
        boucle.quit();
    });
    boucle.exec();
    return code;
}

} // namespace vd::app
