// Team steering inside the desktop app: started for a signed-in manager (and,
// with --demo, on the demonstration's calls shared out between two
// salespeople), evaluated after store changes, its alerts announced through
// the notification cards, and the figures of the team's evening summary.
#include "application.h"

#include "agenda/notificationsapp.h"
#include "ai/clientclaude.h"
#include "ai/moteur.h"
#include "cloud/compte.h"
#include "model/texte.h"
#include "platform/preferences.h"
#include "team/coachingequipe.h"
#include "team/equipedemo.h"
#include "team/pilotageequipe.h"

#include <QJsonArray>
#include <QSet>
#include <QTimeZone>

namespace vd::app {

namespace {

const QString demoManager = QStringLiteral("demo-manager");
const QStringList demoMembres{QStringLiteral("demo-lea"), QStringLiteral("demo-hugo")};

QString idDuCompte(const cloud::Compte& c)
{
    if (!c.infos())
        return {};
    return c.infos()->value(QStringLiteral("compte")).toObject().value(QStringLiteral("id")).toString();
}

} // namespace

void Application::brancherPilotage()
{
    const bool demo = options_.demo;
    team::PilotageEquipe::Collaborateurs c;
    if (demo) {
        preferencesDemo_ = std::make_unique<platform::PreferencesMemoire>();
        c.defaults = preferencesDemo_.get();
    } else {
        c.defaults = &preferences_;
    }
    c.client = [this]() -> cloud::ClientSupabase* { return ctx_.client; };
    c.moteur = &ai::Moteur::instance();
    c.ia = clientIA_.get();
    c.horloge = [this] { return horloge_.maintenant(); };
    c.annoncer = [this](const QList<team::AlerteAppel>& alertes) {
        QStringList ids;
        for (const team::AlerteAppel& a : alertes)
            ids << a.appelId;
        annoncerAlertesEquipe(ids);
    };
    if (demo) {
        c.lireMoi = [] { return demoManager; };
        // The demonstration's calls, shared out between two salespeople.
        c.lireAppels = [this] {
            QList<model::Appel> l = store_->etat().appels;
            for (qsizetype i = 0; i < l.size(); ++i)
                if (!l[i].compteId)
                    l[i].compteId = demoMembres.value(int(i % 2));
            return l;
        };
    } else {
        c.lireMoi = [this] { return compte_ ? idDuCompte(*compte_) : QString(); };
        c.lireAppels = [this] { return store_->etat().appels; };
    }
    pilotage_ = std::make_unique<team::PilotageEquipe>(std::move(c));
    ctx_.pilotage = pilotage_.get();

    // Calls arriving by synchronisation or analysed here: evaluated once the changes settle.
    auto* evaluer = horloge_.creerMinuterie(this);
    evaluer->setUnique(true);
    connect(evaluer, &platform::Minuterie::expire, pilotage_.get(), &team::PilotageEquipe::evaluer);
    connect(store_.get(), &model::Store::etatChange, evaluer, [evaluer] { evaluer->demarrer(2000); });
    if (demo) {
        pilotage_->demarrer();
        // The coaching screens on the demonstration team, answered in memory.
        equipeDemo_ = std::make_unique<team::EquipeDemo>([this] { return pilotage_->appelsEquipe(); }, [this] { return horloge_.maintenant(); });
        coaching_ = std::make_unique<team::CoachingEquipe>(equipeDemo_.get(), *preferencesDemo_);
        ctx_.coaching = coaching_.get();
        return;
    }
    connect(compte_.get(), &cloud::Compte::change, this, [this] { suivreComptePourPilotage(); });
    suivreComptePourPilotage();
}

void Application::suivreComptePourPilotage()
{
    const bool connecte = compte_->etat() == cloud::Compte::Etat::connecte || compte_->etat() == cloud::Compte::Etat::horsLigne;
    const QString id = idDuCompte(*compte_);
    const bool manager = connecte && !id.isEmpty() && ctx_.client && compte_->gestionnaire();
    if (!manager) {
        if (pilotage_->demarre())
            pilotage_->reinitialiser();
        return;
    }
    if (pilotage_->demarre() && pilotage_->compte() != id)
        pilotage_->reinitialiser();
    pilotage_->demarrer();
}

void Application::annoncerAlertesEquipe(const QStringList& appelIds)
{
    QList<agenda::contenu::AppelAlerte> l;
    const QSet<QString> voulus(appelIds.begin(), appelIds.end());
    for (const team::AlerteAppel& a : pilotage_->alertes()) {
        if (!voulus.contains(a.appelId))
            continue;
        agenda::contenu::AppelAlerte x;
        const QString membre = team::nomMembreEquipe(compte_.get(), a.compteId);
        if (!membre.isEmpty())
            x.membre = membre;
        if (const model::Appel* appel = store_->etat().appel(a.appelId); appel && appel->contactId)
            if (const model::Contact* k = store_->etat().contact(*appel->contactId))
                x.contact = k->nomComplet();
        x.chaud = a.raisons.contains(team::RaisonAlerte::affaireChaude);
        l.append(x);
    }
    notifications_->annoncerAlertesEquipe(appelIds, l);
}

std::optional<agenda::regles::ResumeEquipe> Application::resumeEquipeDuJour() const
{
    if (!pilotage_ || !pilotage_->initialise())
        return std::nullopt;
    const QDate aujourdhui = horloge_.maintenant().toLocalTime().date();
    QSet<QString> alertes;
    for (const team::AlerteAppel& a : pilotage_->alertes())
        alertes.insert(a.appelId);
    agenda::regles::ResumeEquipe r;
    double scores = 0, suivis = 0;
    int nSuivis = 0;
    for (const model::Appel& a : pilotage_->appelsEquipe()) {
        const auto d = model::lireHorodatage(a.debut);
        if (!d || d->toLocalTime().date() != aujourdhui || !team::analyseComplete(a))
            continue;
        ++r.appels;
        r.aRegarder += alertes.contains(a.id) ? 1 : 0;
        scores += double(a.analyse->score);
        if (const auto s = team::suiviFramework(a)) {
            suivis += s->pourcentage;
            ++nSuivis;
        }
    }
    if (r.appels == 0)
        return std::nullopt;
    r.score = scores / r.appels;
    if (nSuivis > 0)
        r.partFramework = suivis / nSuivis;
    return r;
}

} // namespace vd::app
