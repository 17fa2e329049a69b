#include "application.h"

#include "assistant/ecrans/ecranquillo.h"
#include "cloud/ecrans/ecrancompte.h"
#include "assistant/ecrans/ecranaide.h"
#include "platform/captureecran.h"

#include "ecrananalyse.h"
#include "ecranappels.h"
#include "ecranenappel.h"
#include "ecrannouvelappel.h"
#include "feuilleprevol.h"
#include "moniteurclavier.h"
#include "ecranficheappel.h"
#include "ecranreglages.h"
#include "ecrantableau.h"
#include "elementstatut.h"
#include "fenetreprincipale.h"
#include "app/demo.h"
#include "model/texte.h"
#include "agenda/agenda.h"
#include "agenda/avantrendezvous.h"
#include "agenda/ecrans/fenetrenotifications.h"
#include "agenda/clientagendademo.h"
#include "agenda/ecrans/ecranagenda.h"
#include "app/instanceunique.h"
#include "app/reglesarriereplan.h"
#include "ai/analyses.h"
#include "ai/clientclaude.h"
#include "team/pilotageequipe.h"
#include "team/ecrans/ecranprogres.h"
#include "ai/generateurbrief.h"
#include "ai/moteur.h"
#include "ai/routes.h"
#include "call/captureaudio.h"
#include "call/enregistreurappel.h"
#include "platform/dossiers.h"
#include "call/moteurtranscription.h"
#include "ai/panneausouffleur.h"
#include "ai/souffleur.h"
#include "call/ecrans/fenetresouffleur.h"
#include "crm/ecrans/ecrancrm.h"
#include "crm/ecrans/ecranfichecontact.h"
#include "crm/ecrans/ecranprofils.h"
#include "crm/ecrans/ecranrelances.h"
#include "team/ecrans/ecranequipe.h"
#include "team/coachingequipe.h"
#include "team/equipedemo.h"
#include "team/ecrans/ecranclassement.h"
#include "team/ecrans/ecranexemplaire.h"
#include "team/ecrans/ecranframework.h"
#include "crm/ecriturerelances.h"
#include "crm/relances.h"
#include "call/liaisonsouffleur.h"
#include "call/sessionappel.h"
#include "call/detectionpartage.h"
#include "call/gardeoubli.h"
#include "cloud/clientprogramme.h"
#include "cloud/compte.h"
#include "cloud/synchro.h"
#include "platform/fenetres.h"
#include "platform/notificationsbureau.h"
#include "agenda/notificationsapp.h"
#include "cloud/compte.h"
#include "model/texte.h"

#include <QApplication>
#include "app/prevol.h"
#include <QLoggingCategory>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QDesktopServices>

Q_LOGGING_CATEGORY(lcApp, "vd.app")

namespace vd::app {

OptionsLancement OptionsLancement::depuis(const QStringList& arguments)
{
    OptionsLancement o;
    for (const QString& v : ReglesArrierePlan::variablesTest() + QStringList{QStringLiteral("VD_SPARKLE")})
        if (qEnvironmentVariableIsSet(v.toLatin1().constData()))
            o.environnement.insert(v, qEnvironmentVariable(v.toLatin1().constData()));
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == ServiceDemarrageXdg::argumentLancement())
            o.auDemarrage = true;
        else if (a == QLatin1String("--demo"))
            o.demo = true;
        else if (a == QLatin1String("--capture") && i + 1 < arguments.size())
            o.capture = arguments[++i];
        else if (a == QLatin1String("--ecran") && i + 1 < arguments.size())
            o.ecran = arguments[++i];
        else if (a.startsWith(QLatin1String("vendalo2:"), Qt::CaseInsensitive))
            o.lien = a;
    }
    return o;
}

Application::Application(std::unique_ptr<model::Store> store, OptionsLancement options, platform::Horloge& horloge,
                         platform::Preferences& preferences, std::unique_ptr<ServiceDemarrage> serviceDemarrage, QObject* parent)
    : QObject(parent), options_(std::move(options)), horloge_(horloge), preferences_(preferences), store_(std::move(store)),
      serviceDemarrage_(std::move(serviceDemarrage)), connexion_(*serviceDemarrage_, preferences_),
      misesAJour_(InfoApplication::duProgramme(), options_.environnement, {}, horloge_, preferences_)
{
    // Live calls: the machine's audio, and the transcription engine chosen in the settings
    // on the route the credentials allow (account, own key, relay).
    call::SessionAppel::Fabriques fabriques;
    fabriques.capture = [] { return std::make_unique<call::CaptureAudio>(); };
    fabriques.transcription = [this](const QString& moteur) -> std::unique_ptr<call::MoteurTranscriptionBase> {
        return call::creerMoteurAppel(moteur, ai::routesDuStore(*store_));
    };
    fabriques.enregistreur = [](const QString& appelId, const model::CibleEnregistrement& cible) {
        call::EnregistreurAppel::Options o;
        o.dossier = platform::dossierEnregistrements();
        o.cible = cible;
        return std::make_unique<call::EnregistreurAppel>(appelId, o);
    };
    // A crash may have left a file half written: it would only fill the disk.
    call::EnregistreurAppel::nettoyerPartiels(platform::dossierEnregistrements());
    session_ = std::make_unique<call::SessionAppel>(*store_, ai::Moteur::instance(), horloge_, std::move(fabriques));
    // Recording trouble never stops the call, but the user hears of it at once.
    QObject::connect(session_.get(), &call::SessionAppel::avertissementEnregistrementChange, this, [this] {
        if (const auto& a = session_->avertissementEnregistrement())
            toasts_.montrer(*a, Toasts::Toast::Genre::info);
    });

    // Post-call analysis on the route the rules choose (demonstration calls on the canned one).
    ai::ConfigClientIA configIA;
    configIA.routes = ai::routesDuStore(*store_);
    configIA.horloge = &horloge_;
    clientIA_ = std::make_unique<ai::ClientIA>(configIA);
    analyses_ = std::make_unique<ai::AnalysesEnCours>(*store_, ai::Moteur::instance(), *clientIA_);
    // After each analysis: stop rules of a newer call, the proposal, and automatic activation when chosen.
    QObject::connect(analyses_.get(), &ai::AnalysesEnCours::analyseTerminee, this, [this](const QString& id, bool ok) {
        if (!ok)
            return;
        crm::Relances relances(*store_, ai::Moteur::instance());
        if (auto m = relances.apresAnalyse(id, ctx_.compteConnecte ? ctx_.compteConnecte() : std::nullopt))
            toasts_.montrer(*m, Toasts::Toast::Genre::ok);
    });
    ecritureRelances_ = std::make_unique<crm::EcritureRelances>(*store_, ai::Moteur::instance(), *clientIA_, horloge_);
    ctx_.ecritureRelances = ecritureRelances_.get();
    ctx_.analyser = [this](const QString& id) { analyses_->analyser(id); };
    ctx_.suiviAnalyse = [this](const QString& id) -> std::optional<SuiviAnalyse> {
        const auto s = analyses_->suivi(id);
        if (!s)
            return std::nullopt;
        return SuiviAnalyse{s->etape, s->fini, s->erreur};
    };

    // The pre-call brief of the new-call screen (demonstration contacts on the canned route).
    briefs_ = std::make_unique<ai::GenerateurBrief>(*store_, ai::Moteur::instance(), *clientIA_);
    ctx_.briefs = briefs_.get();

    // The live prompter: detections, help requests and the floating panel, tied to the session.
    souffleur_ = std::make_unique<ai::Souffleur>(ai::Moteur::instance(), *clientIA_);
    panneau_ = std::make_unique<ai::PanneauSouffleur>(*souffleur_, horloge_);
    liaison_ = std::make_unique<call::LiaisonSouffleur>(*session_, *souffleur_, *panneau_, *store_);
    fenetreSouffleur_ = std::make_unique<call::FenetreSouffleur>(*panneau_);
    brancherGardeEtPartage();
    ctx_.demanderAide = [this](const QString& tache) {
        const auto r = souffleur_->demander(tache);
        if (!r)
            toasts_.montrer(r.erreur(), Toasts::Toast::Genre::info);
    };
    // The user's show/hide goes through the panel, so "Masquer Quillo" and this toggle agree.
    ctx_.basculerSouffleur = [this] {
        if (appelActif())
            panneau_->setVisible(!panneau_->visible());
    };
    souffleurAncre_ = preferences_.valeur(QStringLiteral("vd.souffleur.ancre"), false).toBool();
    ctx_.souffleurAncre = [this] { return souffleurAncre_; };
    ctx_.ancrerSouffleur = [this](bool ancre) {
        souffleurAncre_ = ancre;
        preferences_.definir(QStringLiteral("vd.souffleur.ancre"), ancre);
        majSouffleur();
    };
    ctx_.panneau = panneau_.get();
    sonde_ = std::make_unique<SondeAudioPulse>();

    // The account first: the agenda reads through its backend client.
    brancherCloud();
    ctx_.compteConnecte = [this]() -> std::optional<QString> {
        if (!ctx_.client || !ctx_.client->connecte() || !ctx_.client->session() || ctx_.client->session()->utilisateur.id.isEmpty())
            return std::nullopt;
        return ctx_.client->session()->utilisateur.id;
    };

    // The agenda: the demonstration's calendar with --demo, else the backend's while signed in.
    if (options_.demo)
        clientAgenda_ = std::make_unique<agenda::ClientAgendaDemo>(horloge_, [this] { return store_->etat().contacts; });
    else if (ctx_.client)
        clientAgenda_ = std::make_unique<agenda::ClientAgendaCloud>(ctx_.client);
    {
        agenda::Agenda::Collaborateurs c;
        c.client = clientAgenda_.get();
        const bool demo = options_.demo;
        c.lireContexte = [this, demo] {
            agenda::ContexteAgenda x;
            if (demo) {
                x.cloudActif = x.inclus = true;
                x.emailCompte = agenda::ClientAgendaDemo::emailDemo;
            } else if (ctx_.client && ctx_.client->connecte() && ctx_.client->session()) {
                x.cloudActif = x.inclus = true;
                const QString email = ctx_.client->session()->utilisateur.email;
                if (!email.isEmpty())
                    x.emailCompte = email;
            }
            return x;
        };
        c.lireContacts = [this] { return store_->etat().contacts; };
        c.horloge = &horloge_;
        c.preferences = &preferences_;
        c.annoncer = [this](const QString& texte, bool erreur) {
            toasts_.montrer(texte, erreur ? Toasts::Toast::Genre::erreur : Toasts::Toast::Genre::info);
        };
        agenda_ = std::make_unique<agenda::Agenda>(std::move(c));
    }
    ctx_.agenda = agenda_.get();

    // Cards before a meeting with a known prospect, in the floating stack.
    pile_ = std::make_unique<agenda::PileNotifications>(&horloge_);
    {
        agenda::AvantRendezVous::Collaborateurs c;
        c.agenda = agenda_.get();
        c.pile = pile_.get();
        c.horloge = &horloge_;
        c.preferences = &preferences_;
        c.briefPret = [this](const agenda::EvenementAgenda& e) { return agenda::briefs::trouver(store_->etat(), e.fournisseur, e.id); };
        c.genererBrief = [this](const agenda::EvenementAgenda& e, agenda::AvantRendezVous::RetourBrief retour) {
            const QString id = e.id;
            const agenda::FournisseurAgenda f = e.fournisseur;
            genererBriefAgenda(id, [this, f, id, retour](bool ok) {
                retour(ok ? agenda::briefs::trouver(store_->etat(), f, id) : std::nullopt);
            });
        };
        c.ouvrirLien = [](const QUrl& u) { return QDesktopServices::openUrl(u); };
        c.demarrerAppel = [this](const agenda::EvenementAgenda& e, const std::optional<agenda::BriefAgenda>& b) -> std::optional<QString> {
            if (appelActif())
                return TextesPreVol::dejaEnCours;
            call::ConfigAppel config;
            config.contactId = e.contactId;
            config.objectif = b ? b->objectif : QString();
            if (b) {
                config.type = b->type;
                config.methode = b->methode;
                config.langue = b->langue;
                config.brief = b->brief;
            }
            // The meeting's start: the call records its punctuality.
            config.rdvDebut = model::horodatage(e.debut);
            montrerFenetre();
            ouvrirPreVol(config);
            return std::nullopt;
        };
        c.nomContact = [this](const QString& id) {
            const model::Contact* k = store_->etat().contact(id);
            return k ? k->nomComplet() : QString();
        };
        avant_ = std::make_unique<agenda::AvantRendezVous>(std::move(c));
    }
    pile_->executerAction = [this](const agenda::CarteNotification& carte) {
        if (carte.type == agenda::TypeNotification::appelOublie)
            agirCarteOubli(carte);
        else if (carte.id.startsWith(QLatin1String("notif:")))
            ouvrirCible(carte.cible, carte.objet);
        else
            avant_->executer(carte);
    };

    // Planned notifications: follow-ups of the day, weekly review, analyses, invitations.
    bureau_ = std::make_unique<platform::NotificationsBureauDBus>();
    {
        agenda::NotificationsApp::Collaborateurs c;
        c.horloge = &horloge_;
        c.preferences = &preferences_;
        c.pile = pile_.get();
        c.bureau = bureau_.get();
        c.relancesDuJour = [this](const QString& jour) {
            QList<agenda::contenu::RelanceDuJour> l;
            for (const QJsonValue& v : crm::Relances(*store_, ai::Moteur::instance()).duJour(jour)) {
                const QJsonObject o = v.toObject();
                l.append({o.value(QLatin1String("nom")).toString(), o.value(QLatin1String("enRetard")).toBool(),
                          !o.value(QLatin1String("message")).toString().trimmed().isEmpty()});
            }
            return l;
        };
        c.appelsNotes = [this] {
            QList<agenda::regles::AppelNote> l;
            for (const model::Appel& a : store_->etat().appels)
                if (a.analyse)
                    if (const auto d = model::lireHorodatage(a.debut))
                        l.append({*d, int(a.analyse->score)});
            return l;
        };
        c.invitations = [this] {
            QList<agenda::InvitationAnnoncee> l;
            if (!ctx_.compte || !ctx_.compte->infos())
                return l;
            for (const QJsonValue& v : ctx_.compte->infos()->value(QLatin1String("invitations")).toArray()) {
                const QJsonObject o = v.toObject();
                const QString par = o.value(QLatin1String("invitePar")).toString();
                if (!o.value(QLatin1String("id")).toString().isEmpty())
                    l.append({o.value(QLatin1String("id")).toString(), par.isEmpty() ? std::nullopt : std::optional(par),
                              o.value(QLatin1String("roleOrg")).toString()});
            }
            return l;
        };
        c.resumeEquipe = [this] { return resumeEquipeDuJour(); };
        c.auPremierPlan = [this] { return fenetre_ && fenetre_->isVisible() && fenetre_->isActiveWindow(); };
        c.ouvrir = [this](const QString& cible, const std::optional<QString>& objet) { ouvrirCible(cible, objet); };
        notifications_ = std::make_unique<agenda::NotificationsApp>(std::move(c));
    }
    ctx_.notifications = notifications_.get();
    QObject::connect(analyses_.get(), &ai::AnalysesEnCours::analyseTerminee, this, [this](const QString& id, bool ok) {
        const model::Appel* a = ok ? store_->etat().appel(id) : nullptr;
        if (!a || !a->analyse)
            return;
        const model::Contact* k = a->contactId ? store_->etat().contact(*a->contactId) : nullptr;
        notifications_->annoncerAnalyse(id, k ? std::optional(k->nomComplet()) : std::nullopt, int(a->analyse->score));
    });
    QObject::connect(agenda_.get(), &agenda::Agenda::change, this, [this] { notifications_->programmer(); });
    fenetreNotifs_ = std::make_unique<agenda::FenetreNotifications>(*pile_);
    ctx_.store = store_.get();
    ctx_.session = session_.get();
    ctx_.navigation = &navigation_;
    ctx_.toasts = &toasts_;
    ctx_.connexion = &connexion_;
    ctx_.misesAJour = &misesAJour_;
    ctx_.horloge = &horloge_;
    ctx_.preferences = &preferences_;
    ctx_.chargerDemo = [this] { return chargerDemonstration(*store_); };
    ctx_.lancerAppelSimule = [this] { return lancerAppelSimule(); };
    ctx_.appelActif = [this] { return appelActif(); };
    ctx_.ouvrirPreVol = [this](const call::ConfigAppel& c) { ouvrirPreVol(c); };
    ctx_.montrerFenetre = [this] { montrerFenetre(); };
    ctx_.quitter = [this] { demanderQuitter(); };
    brancherPilotage();
    misesAJour_.etatAppel = [this] { return ctx_.appelActif(); };

    // Quitting during a call: the call is stopped and saved first (at most 4 s).
    quitte_ = new QuitteDifferee(
        horloge_, [this] { return appelActif(); },
        [this](std::function<void()> fini) {
            auto* garde = new QObject(this);
            connect(session_.get(), &call::SessionAppel::etatChange, garde, [this, garde, fini] {
                if (session_->etat() == call::EtatSession::termine || session_->etat() == call::EtatSession::inactif) {
                    garde->deleteLater();
                    fini();
                }
            });
            session_->arreter();
        },
        [this] { Q_EMIT quitterAccepte(); }, this);
    connect(session_.get(), &call::SessionAppel::etatChange, this, &Application::surEtatSession);
    session_->setRappelAnalyse([this](const QString& id) {
        if (ctx_.analyser)
            ctx_.analyser(id);
    });

    fenetre_ = std::make_unique<FenetrePrincipale>(ctx_, [this](Ecran::Genre g, QWidget* p) { return creerEcran(g, p); });
    connect(fenetre_.get(), &FenetrePrincipale::quitterDemande, this, &Application::demanderQuitter);
    connect(fenetre_.get(), &FenetrePrincipale::verifierMisesAJour, &misesAJour_, &MisesAJour::verifierMaintenant);
    fenetre_->setActionsAppel([this] {
        if (ctx_.basculerSouffleur)
            ctx_.basculerSouffleur();
    });
    clavier_ = new MoniteurClavierAppel(fenetre_.get(), [this] { return appelActif(); }, this);
    connect(clavier_, &MoniteurClavierAppel::demande, this, [this](const QString& tache) {
        if (ctx_.demanderAide)
            ctx_.demanderAide(tache);
    });
    connect(fenetre_.get(), &FenetrePrincipale::fermee, this, [this] {
        // Without a status item nothing could bring the window back: closing it quits.
        if (!statut_ || !statut_->demarre())
            demanderQuitter();
    });
}

Application::~Application() = default;

EcranBase* Application::creerEcran(Ecran::Genre g, QWidget* parent)
{
    using G = Ecran::Genre;
    switch (g) {
    case G::tableau: return new EcranTableau(ctx_, parent);
    case G::appels: return new EcranAppels(ctx_, parent);
    case G::reglages: return new EcranReglages(ctx_, parent);
    case G::ficheAppel: return new EcranFicheAppel(ctx_, parent);
    case G::nouvelAppel: return new EcranNouvelAppel(ctx_, parent);
    case G::enAppel: return new EcranEnAppel(ctx_, parent);
    case G::analyse: return new EcranAnalyse(ctx_, parent);
    case G::crm: return new crm::EcranCRM(ctx_, parent);
    case G::ficheContact: return new crm::EcranFicheContact(ctx_, parent);
    case G::profils: return new crm::EcranProfils(ctx_, parent);
    case G::framework: return new team::EcranFramework(ctx_, ai::Moteur::instance(), *clientIA_, options_.demo, parent);
    case G::agenda: {
        auto* e = new agenda::EcranAgenda(ctx_, agenda_.get(), parent);
        e->preparerBrief = [this](const QString& id) {
            genererBriefAgenda(id, [this](bool ok) {
                toasts_.montrer(ok ? QStringLiteral("Le brief est prêt.") : agenda::AvantRendezVous::echecPreparation,
                                ok ? Toasts::Toast::Genre::ok : Toasts::Toast::Genre::erreur);
            });
        };
        return e;
    }
    case G::relances: return new crm::EcranRelances(ctx_, parent);
    case G::quillo: return new assistant::EcranQuillo(ctx_, parent);
    case G::equipe: return new team::EcranEquipe(ctx_, parent);
    case G::classement: return new team::EcranClassement(ctx_, parent);
    case G::exemplaire: return new team::EcranExemplaire(ctx_, parent);
    case G::admin:
        return new EcranVide(ctx_, QStringLiteral("Équipe"), QStringLiteral("equipe"),
                             QStringLiteral("Les appels exemplaires, les commentaires et les objectifs de votre équipe."), parent);
    case G::compte: return new cloud::EcranCompte(ctx_, parent);
    case G::aide: return new assistant::EcranAide(ctx_, parent);
    case G::progresser: return new team::EcranProgres(ctx_, parent);
    default:
        return new EcranVide(ctx_, QStringLiteral("Appels"), QStringLiteral("telephone"),
                             QStringLiteral("Cette page s'ouvre depuis un appel."), parent);
    }
}

void Application::demarrer()
{
    const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
    ReglesArrierePlan::ContexteLancement c;
    c.environnement = options_.environnement;
    c.lanceAuLogin = options_.auDemarrage;
    c.inscritAuLogin = connexion_.actif();
    c.systemeDemarreDepuisSec = ReglesArrierePlan::dureeDepuisDemarrageSysteme();
    c.zoneNotificationDisponible = tray && !options_.demo;
    discret_ = ReglesArrierePlan::lancementDiscret(c, preferences_);
    if (!discret_)
        montrerFenetre();

    statut_ = new ElementStatut(
        [this]() -> std::optional<QString> {
            const auto e = agenda_->prochainEvenement();
            if (!e)
                return std::nullopt;
            return agenda::Agenda::libelleProchain(*e, horloge_.maintenant());
        },
        this);
    connect(statut_, &ElementStatut::ouvrir, this, &Application::montrerFenetre);
    connect(statut_, &ElementStatut::nouvelAppel, this, [this] {
        montrerFenetre();
        navigation_.aller(Ecran::nouvelAppel());
    });
    connect(statut_, &ElementStatut::reglages, this, [this] {
        montrerFenetre();
        navigation_.aller(Ecran::de(Ecran::Genre::reglages));
    });
    connect(statut_, &ElementStatut::rendezVous, this, &Application::montrerFenetre);
    connect(statut_, &ElementStatut::quitter, this, &Application::demanderQuitter);
    statut_->demarrer();

    connexion_.appliquerDefaut();
    misesAJour_.demarrer();
    demarrerCloud();
    // Follow-up messages are written the day before they are due (not for a single demonstration screen).
    if (options_.ecran.isEmpty())
        ecritureRelances_->demarrer();
    agenda_->demarrer();
    notifications_->demarrer();
    // Invitations arrive with the account's refreshes.
    QObject::connect(compte_.get(), &cloud::Compte::change, this, [this] {
        notifications_->programmer();
        // Signed in after the start: the agenda begins reading (it does nothing while signed out).
        agenda_->demarrer();
    });
    if (options_.demo)
        agenda_->actualiser(true);
    // Contacts changed: the meetings are matched again, once the changes settle.
    auto* rapprocher = horloge_.creerMinuterie(this);
    rapprocher->setUnique(true);
    connect(rapprocher, &platform::Minuterie::expire, agenda_.get(), &agenda::Agenda::recalculer);
    connect(store_.get(), &model::Store::etatChange, rapprocher, [rapprocher] { rapprocher->demarrer(2000); });

    // Local-only use: calls older than the retention period go (with an account, the server applies its own).
    if (!ctx_.client) {
        const int n = store_->purgerAnciensAppels(store_->etat().reglages.conservationMois);
        if (n >= 1)
            toasts_.montrer(model::Store::phraseRetention(n), Toasts::Toast::Genre::info);
    }

    if (!options_.lien.isEmpty())
        traiterLien(options_.lien);
}

// Generates a meeting's brief through the pre-call brief generator and keeps it with the meeting.
void Application::genererBriefAgenda(const QString& evenementId, std::function<void(bool)> fini)
{
    const agenda::EvenementAgenda* e = agenda_->evenement(evenementId);
    if (!e || !e->contactId) {
        fini(false);
        return;
    }
    agenda::briefs::preparer(*briefs_, *store_, *e, horloge_.maintenant(),
                             [fini](std::optional<agenda::BriefAgenda> b, const QString&) { fini(b.has_value()); });
}

void Application::montrerFenetre()
{
    FenetrePrincipale* f = fenetre_.get();
    if (f->isMinimized())
        f->setWindowState(f->windowState() & ~Qt::WindowMinimized);
    f->show();
    f->raise();
    f->activateWindow();
    // The floating prompter stays above, even where no window manager keeps it there.
    if (fenetreSouffleur_->isVisible())
        fenetreSouffleur_->raise();
}

void Application::traiterLien(const QString& lien)
{
    if (lien.isEmpty()) {
        montrerFenetre();
        return;
    }
    const QUrl url(lien);
    switch (routerLien(url)) {
    case DestinationLien::ignore:
        return;
    case DestinationLien::agenda:
        // The end of a calendar connection made in the browser.
        if (agenda_->connexionEnCours())
            agenda_->recevoirRetour(url);
        else
            agenda_->actualiser(true);
        montrerFenetre();
        navigation_.aller(Ecran::de(Ecran::Genre::agenda));
        return;
    case DestinationLien::compte:
        // The result reaches the account screen through the account; the exchange may take a moment.
        qCInfo(lcApp) << "lien de compte reçu (hôte" << url.host() << ")";
        compte_->traiterLien(url);
        montrerFenetre();
        navigation_.aller(Ecran::de(Ecran::Genre::compte));
        return;
    }
}

void Application::demanderQuitter()
{
    quitte_->demander();
}

void Application::majSouffleur()
{
    // The floating prompter comes with the call and goes with it, unless it is docked.
    fenetreSouffleur_->setVoulue(appelActif() && !souffleurAncre_);
}

bool Application::appelActif() const
{
    const call::EtatSession e = session_->etat();
    return e == call::EtatSession::connexion || e == call::EtatSession::enCours || e == call::EtatSession::pause;
}

std::optional<QString> Application::lancerAppelSimule()
{
    if (appelActif())
        return TextesPreVol::dejaEnCours;
    call::ConfigAppel c;
    c.source = QStringLiteral("demo");
    c.type = QStringLiteral("decouverte");
    c.langue = QStringLiteral("fr");
    if (auto refus = session_->demarrer(c))
        return refus;
    if (!appelActif())
        return session_->erreur().value_or(QStringLiteral("L'appel n'a pas pu démarrer. Réessayez."));
    montrerFenetre();
    navigation_.aller(Ecran::de(Ecran::Genre::enAppel));
    return std::nullopt;
}

void Application::ouvrirPreVol(const call::ConfigAppel& config)
{
    if (appelActif()) {
        toasts_.montrer(TextesPreVol::dejaEnCours, Toasts::Toast::Genre::erreur);
        return;
    }
    auto* feuille = new FeuillePreVol(ctx_, config, *sonde_, fenetre_.get());
    feuille->setAttribute(Qt::WA_DeleteOnClose);
    connect(feuille, &FeuillePreVol::appelDemarre, this, [this] { navigation_.aller(Ecran::de(Ecran::Genre::enAppel)); });
    feuille->open();
}

void Application::brancherGardeEtPartage()
{
    // A call left running after the hang-up: a countdown card, then the stop.
    call::GardeAppelOublie::Operations ops;
    // Thresholds from the account's call settings (the defaults in local mode).
    ops.lireReglages = [this] { return call::ReglagesOubli::depuisCompte(compte_ ? compte_->infos() : std::nullopt); };
    ops.notifier = [this](const call::CarteOubli& c) { montrerCarteOubli(c); };
    ops.retirerNotification = [this](const QString& id) { retirerCarteOubli(id); };
    ops.signaler = [this](const QString& texte) { toasts_.montrer(texte, Toasts::Toast::Genre::erreur); };
    ops.terminer = [this](const QString& appelId, std::function<void(std::optional<QString>)> reponse) {
        const call::EtatSession e = session_->etat();
        const bool enCours = e == call::EtatSession::enCours || e == call::EtatSession::pause || e == call::EtatSession::connexion;
        if (!enCours || session_->appelIdTexte() != appelId) {
            reponse(QStringLiteral("L'appel n'est plus en cours."));
            return;
        }
        session_->arreter();
        reponse(std::nullopt);
    };
    gardeOubli_ = std::make_unique<call::GardeAppelOublie>(*session_, horloge_, std::move(ops), call::GardeAppelOublie::Options{});

    // The prompter stays off a shared screen when the setting asks for it.
    lecteurFenetres_ = platform::creerLecteurFenetres();
    partage_ = std::make_unique<call::DetectionPartage>(*lecteurFenetres_, horloge_,
                                                        [this] { return store_->etat().reglages.souffleur.masquerPendantPartage; });
    connect(partage_.get(), &call::DetectionPartage::change, this, [this] { panneau_->setPartageEcran(partage_->partageEnCours()); });
}

void Application::montrerCarteOubli(const call::CarteOubli& carte)
{
    // The countdown card comes again each second with its new text, replaced in place.
    agenda::CarteNotification c;
    c.id = carte.id;
    c.type = agenda::TypeNotification::appelOublie;
    c.titre = carte.titre;
    c.corps = carte.corps;
    c.action = carte.action;
    c.cible = carte.id == call::texteoubli::idCarteAlerte ? QStringLiteral("appel") : QStringLiteral("analyse");
    c.objet = carte.appelId;
    pile_->ajouter(c);
}

void Application::retirerCarteOubli(const QString& id) { pile_->retirer(id); }

void Application::ouvrirCible(const QString& cible, const std::optional<QString>& objet)
{
    montrerFenetre();
    if (cible == QLatin1String("crm-relances"))
        navigation_.aller(Ecran::de(Ecran::Genre::relances));
    else if (cible == QLatin1String("analyse") && objet)
        navigation_.aller(Ecran{Ecran::Genre::analyse, *objet});
    else if (cible == QLatin1String("compte"))
        navigation_.aller(Ecran::de(Ecran::Genre::compte));
    else if (cible == QLatin1String("tableau"))
        navigation_.aller(Ecran::de(Ecran::Genre::tableau));
    else if (cible == QLatin1String("equipe"))
        navigation_.aller(Ecran::equipe(QStringLiteral("pilotage")));
}

void Application::agirCarteOubli(const agenda::CarteNotification& carte)
{
    montrerFenetre();
    if (carte.id == call::texteoubli::idCarteAlerte) {
        gardeOubli_->continuer();
        navigation_.aller(Ecran::de(Ecran::Genre::enAppel));
    } else if (carte.objet) {
        navigation_.aller(Ecran::analyse(*carte.objet));
    }
}

void Application::surEtatSession()
{
    const bool actif = appelActif();
    misesAJour_.report().setAppelEnCours(actif);
    if (actif)
        clavier_->installer();
    else
        clavier_->retirer();
    const int etat = int(session_->etat());
    const int avant = etatPrecedent_;
    // Each call starts with the prompter shown, whatever the last one ended with.
    const auto actifEtat = [](int e) {
        return e == int(call::EtatSession::connexion) || e == int(call::EtatSession::enCours) || e == int(call::EtatSession::pause);
    };
    if (actif && !actifEtat(avant)) {
        panneau_->setVisible(true);
        partage_->demarrer();
    } else if (!actif && actifEtat(avant)) {
        partage_->arreter();
    }
    majSouffleur();
    etatPrecedent_ = etat;
    // The end of a call leads to its analysis.
    if (etat == int(call::EtatSession::termine) && avant != etat && session_->appelId())
        navigation_.aller(Ecran::analyse(*session_->appelId()));
}

} // namespace vd::app
