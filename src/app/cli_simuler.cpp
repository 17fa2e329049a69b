// vendalo simuler: a whole demonstration call, headless, through the real
// session and store; prints the saved call as JSON.
#include "ai/moteur.h"
#include "call/sessionappel.h"
#include "cli.h"
#include "ai/analyses.h"
#include "ai/clientclaude.h"
#include "ai/routes.h"
#include "crm/relances.h"
#include "cli_commandes.h"
#include "contextecommande.h"
#include "prevol.h"
#include "model/store.h"
#include "platform/horloge.h"
#include "platform/signauxarret.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <cmath>

namespace vd::app {

namespace {

// Time allowed beyond the scenario's own length before giving up.
constexpr int margeMs = 30000;

QJsonObject appelEnJson(const model::Appel& a)
{
    QByteArray b;
    model::EcrivainJson e(b);
    model::ecrire(e, a);
    return QJsonDocument::fromJson(b).object();
}

bool storeVierge(const model::Store& s)
{
    const model::Etat& e = s.etat();
    return !e.reglages.onboarde && e.contacts.isEmpty() && e.appels.isEmpty();
}

// As the "Charger la démo" action: the engine's demonstration state, marked
// as set up, replaces the state and is written at once.
std::optional<QString> chargerDemo(model::Store& store, ai::Moteur& moteur)
{
    auto r = moteur.appelerJSON(QStringLiteral("etatDemo"));
    if (!r)
        return r.erreur().description();
    auto etat = model::Etat::depuisJson(r.valeur());
    if (!etat)
        return QStringLiteral("Réponse du moteur illisible. etatDemo n'a pas rendu d'objet.");
    etat->reglages.onboarde = true;
    store.remplacerEtat(std::move(*etat), true);
    store.sauvegarder(true);
    if (store.erreurSauvegarde())
        return *store.erreurSauvegarde();
    return std::nullopt;
}

// Objections spotted on the prospect's finals, through the engine's rules.
// A sentence cut in two (the same voice again within 1,999 ms) is examined
// whole, and a category already spotted on the same words is not added twice.
class DetectionObjections {
public:
    DetectionObjections(call::SessionAppel& session, ai::Moteur& moteur) : session_(session), moteur_(moteur) {}

    void surFinal(const model::Segment& s)
    {
        if (s.locuteur != QLatin1String("prospect"))
            return;
        QString texte = s.texte;
        if (precedent_ && precedent_->interlocuteur == s.interlocuteur && s.debutMs - precedent_->finMs <= 1999)
            texte = precedent_->texte + QLatin1Char(' ') + s.texte;
        precedent_ = s;
        auto r = moteur_.appelerJSON(QStringLiteral("detecterObjection"), {texte});
        if (!r || !r.valeur().isObject())
            return;
        const QJsonObject o = r.valeur().toObject();
        model::Detection d;
        d.tMs = s.debutMs;
        d.categorie = model::lire::texte(o.value(QLatin1String("categorie")), QStringLiteral("autre"));
        d.extrait = model::lire::texte(o.value(QLatin1String("extrait")), s.texte);
        for (const model::Detection& x : session_.detections())
            if (x.categorie == d.categorie && (texte.contains(x.extrait) || x.extrait == d.extrait))
                return;
        session_.ajouterDetection(d);
    }

private:
    call::SessionAppel& session_;
    ai::Moteur& moteur_;
    std::optional<model::Segment> precedent_;
};

} // namespace

int simuler(model::Store& store, const QString& idScenario, double vitesse, qint64 dureeMs);

int commandeSimuler(const QStringList& args)
{
    const QString usage = QStringLiteral("Utilisation : vendalo simuler [--scenario ID] [--vitesse X] [--duree MINUTES]");
    QString idScenario = QStringLiteral("decouverte");
    double vitesse = 1.0;
    qint64 dureeMs = 0;   // 0: the script once
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if ((a == QLatin1String("--scenario") || a == QLatin1String("--vitesse") || a == QLatin1String("--duree")) &&
            i + 1 < args.size()) {
            const QString v = args[++i];
            if (a == QLatin1String("--scenario")) {
                idScenario = v.trimmed();
                if (idScenario.isEmpty())
                    return erreur(usage, 2);
            } else if (a == QLatin1String("--duree")) {
                // The script plays again until the call lasts that many minutes.
                bool ok = false;
                const double minutes = QString(v).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
                if (!ok || !std::isfinite(minutes) || minutes <= 0 || minutes > 240)
                    return erreur(QStringLiteral("Durée invalide : « %1 ». Donnez un nombre de minutes entre 0 et 240.").arg(v), 2);
                dureeMs = std::llround(minutes * 60000);
            } else {
                bool ok = false;
                vitesse = QString(v).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
                if (!ok || !std::isfinite(vitesse) || vitesse < 0.1 || vitesse > 200)
                    return erreur(QStringLiteral("Vitesse invalide : « %1 ». Donnez un nombre entre 0,1 et 200.").arg(v), 2);
            }
        } else {
            return erreur(usage, 2);
        }
    }

    // The call holds the data folder for its whole run; other subcommands' writes run inside it.
    return executerEnEcriture(QStringLiteral("simuler"), args,
                              [&](model::Store& store) { return simuler(store, idScenario, vitesse, dureeMs); }, true);
}

int simuler(model::Store& store, const QString& idScenario, double vitesse, qint64 dureeMs)
{
    if (store.ecritureBloquee())
        return erreur(store.erreurSauvegarde().value_or(QStringLiteral("Une erreur est survenue. Réessayez dans un instant.")));
    ai::Moteur& moteur = ai::Moteur::instance();
    if (storeVierge(store)) {
        if (auto e = chargerDemo(store, moteur))
            return erreur(QStringLiteral("Charger la démo : ") + *e);
        erreur(QStringLiteral("Données de démo rechargées."), 0);
    }

    auto brut = moteur.appelerJSON(QStringLiteral("scenarioDemo"), {idScenario});
    if (!brut)
        return erreur(brut.erreur().description());
    auto scenario = call::ScenarioDemo::depuisJson(brut.valeur());
    if (!scenario)
        return erreur(QStringLiteral("Le scénario « %1 » est introuvable ou vide.").arg(idScenario));
    if (scenario->contactId && !store.etat().contact(*scenario->contactId))
        scenario->contactId.reset();   // the call is kept, without a contact that no longer exists
    if (dureeMs > 0)
        scenario = scenario->prolonge(dureeMs);

    // Inside the desktop app the call plays on its own session, in the open window,
    // where the prompter spots the objections and the end of the call starts the analysis.
    ContexteCommande* contexte = contexteCommande();
    const bool dansApp = contexte && contexte->session && contexte->analyses;
    std::unique_ptr<call::SessionAppel> propre;
    if (!dansApp)
        propre = std::make_unique<call::SessionAppel>(store, moteur, platform::Horloge::instance(), call::SessionAppel::Fabriques{});
    call::SessionAppel& session = dansApp ? *contexte->session : *propre;
    if (dansApp && session.etat() != call::EtatSession::inactif && session.etat() != call::EtatSession::termine)
        return erreur(TextesPreVol::dejaEnCours);
    DetectionObjections detection(session, moteur);
    QEventLoop boucle;
    if (!dansApp)
        QObject::connect(&session, &call::SessionAppel::finalAjoute, &boucle,
                         [&detection](const model::Segment& s) { detection.surFinal(s); });
    std::optional<bool> analyseApp;
    if (dansApp)
        QObject::connect(contexte->analyses, &ai::AnalysesEnCours::analyseTerminee, &boucle, [&](const QString& id, bool ok) {
            if (session.appelId() && id == *session.appelId())
                analyseApp = ok;
        });
    QObject::connect(&session, &call::SessionAppel::guideTermine, &boucle, [&session] {
        // Stopped once back in the event loop, outside the player's tick.
        QTimer::singleShot(0, &session, [&session] { session.arreter(); });
    });
    QObject::connect(&session, &call::SessionAppel::syntheseFinChange, &boucle, [&session, &boucle] {
        if (session.syntheseFin() && !session.syntheseFin()->enCours)
            boucle.quit();
    });
    qint64 finScenario = 0;
    for (const auto& t : scenario->tours)
        finScenario = std::max(finScenario, t.finMs);
    // SIGTERM, SIGINT or SIGHUP: the call is stopped and saved, never left "en_cours".
    bool interrompu = false;
    platform::SignauxArret signaux;
    QObject::connect(&signaux, &platform::SignauxArret::arretDemande, &boucle, [&] {
        interrompu = true;
        boucle.quit();
    });
    bool delaiDepasse = false;
    QTimer garde;
    garde.setSingleShot(true);
    QObject::connect(&garde, &QTimer::timeout, &boucle, [&] {
        delaiDepasse = true;
        boucle.quit();
    });
    garde.start(int(std::min<double>(double(finScenario) / vitesse + margeMs, 24.0 * 3600 * 1000)));

    if (auto refus = session.demarrerGuide(call::AppelGuide{*scenario, std::nullopt, vitesse}))
        return erreur(*refus);
    erreur(QStringLiteral("Appel simulé en cours (scénario « %1 », vitesse %2)…").arg(idScenario).arg(vitesse), 0);
    if (dansApp && contexte->montrerAppel)
        contexte->montrerAppel();
    boucle.exec();
    if (interrompu) {
        session.arreter();
        store.sauvegarder(true);
        if (store.erreurSauvegarde())
            return erreur(*store.erreurSauvegarde());
        return erreur(QStringLiteral("Appel simulé interrompu : l'appel est arrêté et enregistré."));
    }
    if (delaiDepasse) {
        session.arreter();
        store.sauvegarder(true);
        return erreur(QStringLiteral("L'appel simulé ne s'est pas terminé à temps."));
    }
    store.sauvegarder(true);
    if (store.erreurSauvegarde())
        return erreur(*store.erreurSauvegarde());
    if (!session.appelId() || !store.etat().appel(*session.appelId()))
        return erreur(QStringLiteral("Cet appel est introuvable."));

    if (dansApp) {
        // The app's own analysis, started by the end of the call.
        QEventLoop attente;
        QObject::connect(contexte->analyses, &ai::AnalysesEnCours::analyseTerminee, &attente, [&](const QString& id, bool ok) {
            if (id == *session.appelId()) {
                analyseApp = ok;
                attente.quit();
            }
        });
        if (!analyseApp) {
            QTimer::singleShot(120000, &attente, &QEventLoop::quit);
            erreur(QStringLiteral("Analyse de l'appel…"), 0);
            attente.exec();
        }
        if (!analyseApp.value_or(false)) {
            const auto suivi = contexte->analyses->suivi(*session.appelId());
            return erreur(suivi && suivi->erreur ? *suivi->erreur : ai::AnalysesEnCours::messageEchec());
        }
    } else {
        // The post-call analysis, on the demonstration route for a simulated call.
        ai::ConfigClientIA config;
        config.routes = ai::routesDuStore(store);
        ai::ClientIA client(config);
        ai::AnalysesEnCours analyses(store, moteur, client);
        QObject::connect(&analyses, &ai::AnalysesEnCours::analyseTerminee, &analyses, [&](const QString& id, bool ok) {
            if (ok)
                (void)crm::Relances(store, moteur).apresAnalyse(id);
        });
        QEventLoop attente;
        bool reussie = false;
        QObject::connect(&analyses, &ai::AnalysesEnCours::analyseTerminee, &attente, [&](const QString&, bool ok) {
            reussie = ok;
            attente.quit();
        });
        QObject::connect(&signaux, &platform::SignauxArret::arretDemande, &attente, [&] {
            interrompu = true;
            attente.quit();
        });
        QTimer::singleShot(120000, &attente, &QEventLoop::quit);
        erreur(QStringLiteral("Analyse de l'appel…"), 0);
        analyses.analyser(*session.appelId());
        attente.exec();
        store.sauvegarder(true);
        if (interrompu)
            return erreur(QStringLiteral("Appel simulé interrompu : l'appel est arrêté et enregistré."));
        if (!reussie) {
            const auto suivi = analyses.suivi(*session.appelId());
            return erreur(suivi && suivi->erreur ? *suivi->erreur : ai::AnalysesEnCours::messageEchec());
        }
    }
    const model::Appel* appel = store.etat().appel(*session.appelId());
    if (!appel)
        return erreur(QStringLiteral("Cet appel est introuvable."));
    QJsonObject sortie{{QStringLiteral("appel"), appelEnJson(*appel)}};
    if (session.syntheseFin())
        sortie.insert(QStringLiteral("syntheseFin"), call::versJson(*session.syntheseFin()));
    sortieJson(sortie);
    return 0;
}

} // namespace vd::app
