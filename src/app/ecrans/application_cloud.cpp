// The account and synchronisation inside the desktop app: built once beside
// the store, started with the window, fed by the call session and by the
// application coming to the front.
#include "application.h"

#include "assistant/aideapp.h"
#include "call/sessionappel.h"
#include "cloud/clientprogramme.h"
#include "cloud/compte.h"
#include "cloud/synchro.h"
#include "model/journalcloud.h"
#include "platform/captureecran.h"
#include "platform/reseau.h"
#include "team/coachingequipe.h"

#include <QGuiApplication>

namespace vd::app {

void Application::brancherCloud()
{
    // Demonstration data (--demo, a demonstration screen, a store in memory) never reach an
    // account, nor does a store this process may not write.
    const bool local = options_.demo || !options_.ecran.isEmpty() || !store_->fichier() || store_->ecritureBloquee();
    if (!local)
        cloud_ = std::make_unique<cloud::ClientProgramme>(&horloge_);
    cloud::ClientSupabase* client = cloud_ ? cloud_->client() : nullptr;
    const QString dossier = model::JournalCloud::pour(store_->fichier().value_or(model::Store::cheminPrincipal()));
    compte_ = std::make_unique<cloud::Compte>(client, dossier, platform::Reseau::systeme(), horloge_);
    ctx_.client = client;
    ctx_.compte = compte_.get();
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, compte_.get(), [this](Qt::ApplicationState e) {
        if (e == Qt::ApplicationActive)
            compte_->auPremierPlan();
    });
    // The help panel: without a backend it opens all the same and says how to get help.
    captureEcran_ = platform::creerOutilCapture();
    aide_ = std::make_unique<assistant::AideApp>(client ? std::make_unique<assistant::TransportAideCloud>(client) : nullptr, horloge_);
    aide_->setCapture(captureEcran_.get());
    ctx_.aide = aide_.get();
    if (!client)
        return;

    // Store changes (3 s) and sign-in (1 s, forced) are followed by Synchro itself.
    synchro_ = std::make_unique<cloud::Synchro>(client, *store_, dossier, horloge_);
    ctx_.synchro = synchro_.get();
    compte_->surUtilisable = [this] { synchro_->programmer(true, cloud::Synchro::delaiConnexionMs); };
    // The team decides what the pull brings.
    connect(compte_.get(), &cloud::Compte::rafraichi, synchro_.get(), [this](bool ok) {
        if (!ok || !compte_->infos())
            return;
        const QJsonObject c = compte_->infos()->value(QStringLiteral("compte")).toObject();
        auto texte = [&c](const QString& cle) -> std::optional<QString> {
            const QString v = c.value(cle).toString();
            return v.isEmpty() ? std::nullopt : std::optional(v);
        };
        synchro_->definirEquipe(texte(QStringLiteral("organisationId")), texte(QStringLiteral("roleOrg")));
    });
    connect(session_.get(), &call::SessionAppel::etatChange, synchro_.get(), [this] { suivreAppelPourSynchro(); });

    // Coaching follows the signed-in account; its unread comments are asked again on each change.
    coaching_ = std::make_unique<team::CoachingEquipe>(client, preferences_);
    ctx_.coaching = coaching_.get();
    connect(coaching_.get(), &team::CoachingEquipe::compteChange, coaching_.get(), [this] {
        // The session, not the account's state: this runs before the account has seen the sign-in.
        if (ctx_.client && ctx_.client->connecte() && platform::Reseau::systeme().disponible())
            coaching_->rafraichirNonLus();
    });
}

void Application::demarrerCloud()
{
    compte_->demarrer();
    if (aide_ && aide_->disponible())
        aide_->demarrer();
    if (synchro_)
        synchro_->demarrer();
    if (coaching_ && compte_->etat() == cloud::Compte::Etat::connecte)
        coaching_->rafraichirNonLus();
}

void Application::suivreAppelPourSynchro()
{
    // A live call is never pushed; its end asks for a run 0.5 s later.
    const QString id = session_->appelIdTexte();
    if (appelActif() && !id.isEmpty()) {
        if (id == appelSynchro_)
            return;
        if (!appelSynchro_.isEmpty())
            synchro_->finAppel(appelSynchro_);
        appelSynchro_ = id;
        synchro_->setAppelEnDirect(id, true);
    } else if (!appelSynchro_.isEmpty()) {
        synchro_->finAppel(std::exchange(appelSynchro_, QString()));
    }
}

} // namespace vd::app
