#include "sessionappel.h"

#include "ai/moteur.h"
#include "call/enregistreurappel.h"

#include <QPointer>
#include "call/lecteurdemo.h"
#include "platform/formulation.h"
#include "model/store.h"
#include "model/texte.h"
#include "platform/horloge.h"

#include <QFutureWatcher>
#include <QJsonArray>
#include <QtConcurrent/QtConcurrentRun>
#include <QLoggingCategory>
#include <QMutex>
#include <QUuid>
#include <cmath>

Q_LOGGING_CATEGORY(lcSessionAppel, "vd.call.session")

namespace vd::call {

// The switch between the capture and the transcription client: blocks go
// through only while it is open and has a target. Shared with the capture
// thread, hence the lock.
struct PorteAudio {
    QMutex verrou;
    MoteurTranscriptionBase* cible = nullptr;
    bool ouvert = false;

    void transmettre(const QByteArray& bloc)
    {
        QMutexLocker l(&verrou);
        if (ouvert && cible)
            cible->envoyer(bloc);
    }
    void regler(MoteurTranscriptionBase* c, bool o)
    {
        QMutexLocker l(&verrou);
        cible = c;
        ouvert = o && c;
    }
    void ouvrir(bool o)
    {
        QMutexLocker l(&verrou);
        ouvert = o && cible;
    }
};

namespace {

const QString messageDemarrage = QStringLiteral("L'appel n'a pas pu démarrer. Réessayez.");
const QString messageCoupee =
    QStringLiteral("La transcription est coupée. L'appel continue : vérifiez votre connexion, puis relancez la transcription.");
const QString messageRelance = QStringLiteral("La transcription n'a pas pu redémarrer.");
const QString messageMac = platform::formuler(
    QStringLiteral("Le son du Mac n'est plus capté : la voix du prospect manque. Terminez l'appel ou relancez-le."));
const QString messageMicro = QStringLiteral("Le micro est coupé : votre voix n'est plus captée. Vérifiez votre micro.");
const QString messageRecap = QStringLiteral("Le récap n'a pas pu être préparé. L'analyse complète arrive.");
const QString messageDejaEnCours = QStringLiteral("Un appel est déjà en cours. Terminez-le avant d'en lancer un autre.");

constexpr int battementMs = 20000;
constexpr int tickCoachingMs = 1000;
constexpr int tickNiveauxMs = 100;
constexpr int delaiFinTranscriptionMs = 2000;

} // namespace

SessionAppel::SessionAppel(model::Store& store, ai::Moteur& moteur, platform::Horloge& horloge, Fabriques fabriques,
                           QObject* parent)
    : QObject(parent), store_(store), moteur_(moteur), horloge_(horloge), fabriques_(std::move(fabriques)),
      porte_(std::make_shared<PorteAudio>())
{
    auto creer = [this](bool unique, auto action) {
        platform::Minuterie* m = horloge_.creerMinuterie(this);
        m->setUnique(unique);
        connect(m, &platform::Minuterie::expire, this, action);
        return m;
    };
    minuteurCoaching_ = creer(false, [this] { tickCoaching(); });
    minuteurNiveaux_ = creer(false, [this] { tickNiveaux(); });
    minuteurBattement_ = creer(false, [this] {
        if (etat_ == EtatSession::enCours || etat_ == EtatSession::pause)
            sauvegarder();
    });
    sauvegardePrevue_ = creer(true, [this] { sauvegarder(); });
    attenteFin_ = creer(true, [this] {
        if (arretEnCours_)
            finirArret();
    });
}

SessionAppel::~SessionAppel()
{
    fermerCapture();
    if (enregistreur_)   // quitting during a call: the file is finished here
        (void)enregistreur_->arreter();
    lacherTranscription();
}

qint64 SessionAppel::monotone() const { return horloge_.monotoneMs(); }

QString SessionAppel::horodatageMaintenant() const { return model::horodatage(horloge_.maintenant()); }

// --- Clock -------------------------------------------------------------------

qint64 SessionAppel::offsetMs() const
{
    if (chronoFigeMs_)
        return *chronoFigeMs_;
    if (debut_) {
        const qint64 reference = debutPause_ ? *debutPause_ : monotone();
        qint64 ms = std::max<qint64>(reference - *debut_ - cumulPauseMs_, 0);
        if (guide_)   // a demonstration plays its script faster than real time
            ms = std::llround(double(ms) * guide_->vitesse);
        return ms;
    }
    if (guide_) {
        qint64 fin = 0;
        for (const auto& s : finals_)
            fin = std::max(fin, s.finMs);
        for (const auto& s : interims_)
            fin = std::max(fin, s.finMs);
        return fin;
    }
    return 0;
}

double SessionAppel::secondesEcoulees() const { return double(offsetMs()) / 1000.0; }

// --- Published helpers ---------------------------------------------------------

QString SessionAppel::etatTranscription() const
{
    static const QHash<QString, QString> libelles = {
        {QStringLiteral("connexion"), QStringLiteral("Connexion à la transcription…")},
        {QStringLiteral("ouvert"), QStringLiteral("Transcription en direct")},
        {QStringLiteral("reconnexion"), QStringLiteral("Reconnexion de la transcription…")},
        {QStringLiteral("coupee"), QStringLiteral("Transcription coupée")},
        {QStringLiteral("demo"), QStringLiteral("Appel simulé")},
        {QStringLiteral("demo_fin"), QStringLiteral("Appel simulé terminé")},
    };
    return libelles.value(codeTranscription_);
}

QString SessionAppel::registre() const
{
    if (registreChoisi_)
        return *registreChoisi_;
    return registreDetecte_.value_or(QStringLiteral("vouvoiement"));
}

QString SessionAppel::libelleRegistreParDefaut() { return QStringLiteral("Par défaut, tant qu'aucun tutoiement n'est repéré."); }

void SessionAppel::definirErreur(const std::optional<QString>& e)
{
    if (erreur_ == e)
        return;
    erreur_ = e;
    Q_EMIT erreurChange();
}

void SessionAppel::definirCode(const QString& code)
{
    if (codeTranscription_ == code)
        return;
    codeTranscription_ = code;
    Q_EMIT transcriptionChange();
}

void SessionAppel::definirEtat(EtatSession e)
{
    if (etat_ == e)
        return;
    etat_ = e;
    Q_EMIT etatChange();
}

void SessionAppel::signalerJournal(const QString& nom, const QString& message, const QJsonObject& proprietes)
{
    qCWarning(lcSessionAppel) << nom << message;
    if (journal_)
        journal_(nom, message, proprietes);
}

// --- Start -------------------------------------------------------------------

void SessionAppel::reinitialiser()
{
    arreterMinuteurs();
    fermerCapture();
    lacherTranscription();
    lacherLecteur();
    appelId_.reset();
    finals_.clear();
    questionsParSegment_.clear();
    interims_.clear();
    aides_.clear();
    derniereDetection_.reset();
    detections_.clear();
    niveaux_ = {0.f, 0.f};
    codeTranscription_.clear();
    erreur_.reset();
    coaching_.clear();
    momentsMarques_.clear();
    notes_.clear();
    prochaineEtape_.reset();
    propositions_.clear();
    qualification_.clear();
    cochees_.clear();
    etapeChoisie_.reset();
    syntheseFin_.reset();
    coupure_.reset();
    enregistre_ = false;
    enregistreur_.reset();
    avertissementEnregistrement_.reset();
    registreDetecte_.reset();
    registreChoisi_.reset();
    guide_.reset();
    attenteGuide_ = false;
    contexte_.reset();
    debut_.reset();
    debutPause_.reset();
    cumulPauseMs_ = 0;
    chronoFigeMs_.reset();
    compteur_ = 0;
    activite_.clear();
    derniereQuestionMs_ = 0;
    decalageMs_ = 0;
    arretEnCours_ = false;
    filtre_.vider();
    echosArrivee_ = 0;
    phrasesEcho_.clear();
    ++generation_;
}

namespace {

// The salesperson's punctuality against the meeting's start, for a call started from a meeting.
std::optional<model::PonctualiteAppel> ponctualiteDe(const std::optional<QString>& rdvDebut, const QString& debutAppel)
{
    if (!rdvDebut)
        return std::nullopt;
    model::PonctualiteAppel p;
    p.rdvDebut = rdvDebut;
    if (const auto rdv = model::lireHorodatage(*rdvDebut); rdv)
        if (const auto debut = model::lireHorodatage(debutAppel); debut)
            p.retardCommercialSec = std::max<qint64>(0, rdv->secsTo(*debut));   // early counts as on time
    return p;
}

} // namespace

void SessionAppel::creerAppel(const QString& source)
{
    model::Appel a;
    a.id = QStringLiteral("ap_") + QUuid::createUuid().toString(QUuid::WithoutBraces).remove(QLatin1Char('-')).left(20);
    a.contactId = config_.contactId;
    a.type = config_.type;
    a.objectif = config_.objectif;
    a.methode = config_.methode;
    a.langue = config_.langue;
    a.source = source;
    a.brief = config_.brief;
    a.statut = QStringLiteral("en_cours");
    a.debut = a.creeLe = a.majLe = horodatageMaintenant();
    a.ponctualite = ponctualiteDe(config_.rdvDebut, a.debut);
    if (source != QLatin1String("demo"))
        a.moteurTranscription = moteurAppel_;
    appelBase_ = a;
    appelId_ = a.id;
    // In the store from the first second, so a crash still leaves the call on disk.
    store_.modifier([&a](model::Etat& e) { e.appels.append(a); });
}

std::optional<QString> SessionAppel::demarrer(const ConfigAppel& config)
{
    if (etat_ == EtatSession::connexion || etat_ == EtatSession::enCours || etat_ == EtatSession::pause)
        return messageDejaEnCours;
    if (config.source == QLatin1String("demo")) {
        // A call type without its own script plays the discovery call.
        auto scenario = moteur_.appelerJSON(QStringLiteral("scenarioDemo"), {config.type});
        if (!scenario && config.type != QLatin1String("decouverte"))
            scenario = moteur_.appelerJSON(QStringLiteral("scenarioDemo"), {QStringLiteral("decouverte")});
        std::optional<ScenarioDemo> s = scenario ? ScenarioDemo::depuisJson(scenario.valeur()) : std::nullopt;
        if (!s)
            return scenario ? messageDemarrage : scenario.erreur().description();
        if (config.contactId)
            s->contactId = config.contactId;
        if (auto refus = demarrerGuide(AppelGuide{*s, std::nullopt, 1.0}))
            return refus;
        // A demonstration started from a meeting keeps its brief and the meeting's start.
        if (config.brief || config.rdvDebut) {
            config_.brief = config.brief;
            config_.rdvDebut = config.rdvDebut;
            appelBase_.brief = config.brief;
            appelBase_.ponctualite = ponctualiteDe(config.rdvDebut, appelBase_.debut);
            store_.modifier([this](model::Etat& e) {
                if (model::Appel* a = e.appel(appelBase_.id)) {
                    a->brief = appelBase_.brief;
                    a->ponctualite = appelBase_.ponctualite;
                }
            });
        }
        return std::nullopt;
    }

    reinitialiser();
    config_ = config;
    moteurAppel_ = store_.etat().reglages.transcription.moteur == QLatin1String("deepgram") ? QStringLiteral("deepgram")
                                                                                             : QStringLiteral("soniox");
    canaux_ = 2;
    creerAppel(config.source.isEmpty() ? QStringLiteral("micro+mac") : config.source);
    definirEtat(EtatSession::connexion);
    Q_EMIT transcriptChange();
    definirCode(QStringLiteral("connexion"));
    demarrerMinuteurs();

    if (!fabriques_.capture || !fabriques_.transcription) {
        echecDemarrage(platform::formuler(QStringLiteral("La capture audio n'est pas disponible sur ce Mac. Utilisez l'appel simulé.")));
        return std::nullopt;
    }
    capture_ = fabriques_.capture();
    if (!capture_) {
        echecDemarrage(QString());
        return std::nullopt;
    }
    const quint64 gen = generation_;
    QPointer<SessionAppel> moi(this);
    capture_->setSurFin([moi, gen](const QString& source) {
        QMetaObject::invokeMethod(moi.data(), [moi, gen, source] {
            if (moi)
                moi->recevoirFinSource(source, gen);
        }, Qt::QueuedConnection);
    });
    std::weak_ptr<PorteAudio> porte = porte_;
    capture_->setRappel([porte](const QByteArray& bloc) {
        if (auto p = porte.lock())
            p->transmettre(bloc);
    });
    auto r = capture_->demarrer(canaux_);
    if (!r) {
        echecDemarrage(r.erreur().description());
        return std::nullopt;
    }
    canaux_ = std::clamp(capture_->canaux(), 1, 2);

    std::unique_ptr<MoteurTranscriptionBase> t = fabriques_.transcription(moteurAppel_);
    if (!t) {
        echecDemarrage(QString());
        return std::nullopt;
    }
    brancherTranscription(t.release());
    ParametresTranscription p;
    p.moteur = moteurAppel_;
    p.langue = config_.langue;
    p.canaux = canaux_;
    p.sonioxEurope = store_.etat().reglages.transcription.sonioxEurope;
    p.appelId = appelIdTexte();
    p.generation = generation_;
    transcription_->demarrer(p);
    return std::nullopt;
}

std::optional<QString> SessionAppel::demarrerGuide(const AppelGuide& guide)
{
    if (etat_ == EtatSession::connexion || etat_ == EtatSession::enCours || etat_ == EtatSession::pause)
        return messageDejaEnCours;
    if (guide.scenario.tours.isEmpty())
        return messageDemarrage;
    reinitialiser();
    AppelGuide g = guide;
    if (!(g.vitesse > 0) || !std::isfinite(g.vitesse))
        g.vitesse = 1.0;
    g.vitesse = std::clamp(g.vitesse, 0.1, 200.0);
    guide_ = g;
    config_ = ConfigAppel{g.scenario.contactId, g.scenario.type, g.scenario.objectif, g.scenario.methode, g.scenario.langue,
                          QStringLiteral("demo"), std::nullopt, false};
    canaux_ = 2;
    creerAppel(QStringLiteral("demo"));
    definirEtat(EtatSession::connexion);
    demarrerMinuteurs();
    definirCode(QStringLiteral("demo"));
    Q_EMIT guideChange();
    Q_EMIT transcriptChange();
    passerEnCours();
    lecteur_ = std::make_unique<LecteurDemo>(*this, horloge_, g);
    lecteur_->demarrer();
    return std::nullopt;
}

void SessionAppel::brancherTranscription(MoteurTranscriptionBase* t)
{
    transcription_ = t;
    transcriptionOuverte_ = false;
    porte_->regler(t, false);
    connect(t, &MoteurTranscriptionBase::ouvert, this, [this, t](quint64 gen) {
        if (t != transcription_ || gen != generation_ || arretEnCours_)
            return;
        transcriptionOuverte_ = true;
        if (etat_ == EtatSession::connexion) {
            passerEnCours();
        } else {
            // A restarted client counts from zero from the first block it gets,
            // which is now: its offsets continue on the call's clock from here.
            decalageMs_ = offsetMs();
            definirCode(QStringLiteral("ouvert"));
            porte_->ouvrir(etat_ == EtatSession::enCours);
        }
    });
    connect(t, &MoteurTranscriptionBase::echecDemarrage, this, [this, t](const QString& message, quint64 gen) {
        if (t != transcription_ || gen != generation_ || arretEnCours_)
            return;
        if (etat_ == EtatSession::connexion) {
            echecDemarrage(message);
            return;
        }
        // A restart that failed: the call goes on without transcription.
        lacherTranscription();
        definirCode(QStringLiteral("coupee"));
        definirErreur(messageRelance);
    });
    connect(t, &MoteurTranscriptionBase::segment, this, [this, t](const SegmentLive& s, quint64 gen) {
        if (t != transcription_)
            return;
        SegmentLive decale = s;
        decale.debutMs += decalageMs_;
        decale.finMs += decalageMs_;
        recevoirSegment(decale, gen);
    });
    connect(t, &MoteurTranscriptionBase::etat, this, [this, t](const QString& code, quint64 gen) {
        if (t == transcription_)
            recevoirStatut(code, gen);
    });
    connect(t, &MoteurTranscriptionBase::termine, this, [this, t](quint64 gen) {
        if (t == transcription_ && gen == generation_ && arretEnCours_)
            finirArret();
    });
}

void SessionAppel::lacherTranscription()
{
    porte_->regler(nullptr, false);   // the capture thread no longer reaches the client
    if (!transcription_)
        return;
    MoteurTranscriptionBase* t = transcription_;
    transcription_ = nullptr;
    transcriptionOuverte_ = false;
    t->disconnect(this);
    t->couper();
    t->deleteLater();
}

void SessionAppel::lacherLecteur()
{
    // May run from inside the player's own tick: the stopped player is kept
    // until the next call (or the session's end) rather than deleted under its feet.
    if (lecteur_) {
        lecteur_->arreter();
        lecteurRetire_ = std::move(lecteur_);
    }
}

void SessionAppel::fermerCapture()
{
    if (!capture_)
        return;
    capture_->setRappel({});
    capture_->setMixage({});
    capture_->setSurFin({});
    capture_->arreter();
    capture_.reset();
}

void SessionAppel::passerEnCours()
{
    debut_ = monotone();
    definirEtat(EtatSession::enCours);
    if (!guide_) {
        definirCode(QStringLiteral("ouvert"));
        porte_->ouvrir(true);
        demarrerEnregistrement();
    }
}

// --- Recording ---------------------------------------------------------------------

void SessionAppel::demarrerEnregistrement()
{
    const bool voulu = config_.enregistrer.value_or(store_.etat().reglages.enregistrement.actif);
    if (!voulu || !fabriques_.enregistreur || !capture_ || enregistreur_)
        return;
    const model::CibleEnregistrement cible = config_.cibleEnregistrement.value_or(store_.etat().reglages.enregistrement.cible);
    std::shared_ptr<EnregistreurAppel> e = fabriques_.enregistreur(appelIdTexte(), cible);
    if (!e)
        return;
    definirAvertissementEnregistrement(e->avertissement());
    if (!e->actif())
        return;
    // The filmed window closed during the call: said on screen, the call goes on.
    QPointer<SessionAppel> soi(this);
    e->surAvertissement([soi](const QString& texte) {
        QMetaObject::invokeMethod(soi, [soi, texte] {
            if (soi)
                soi->definirAvertissementEnregistrement(texte);
        }, Qt::QueuedConnection);
    });
    enregistreur_ = e;
    capture_->setMixage([e](const float* mono, qsizetype n) { e->recevoirSon(mono, n); });
    definirEnregistre(true);
}

void SessionAppel::finirEnregistrement()
{
    if (!enregistreur_)
        return;
    std::shared_ptr<EnregistreurAppel> e = std::move(enregistreur_);
    using Issue = std::optional<Resultat<model::EnregistrementAppel, ErreurEnregistrement>>;
    auto* veilleur = new QFutureWatcher<Issue>(this);
    const QString id = appelIdTexte();
    connect(veilleur, &QFutureWatcher<Issue>::finished, this, [this, veilleur, id] {
        const Issue r = veilleur->result();
        veilleur->deleteLater();
        const bool ok = r && r->ok();
        if (ok) {
            const model::EnregistrementAppel fichier = r->valeur();
            store_.modifier([&](model::Etat& etat) {
                if (model::Appel* a = etat.appel(id))
                    a->enregistrement = fichier;
            });
        } else if (appelIdTexte() == id) {
            definirAvertissementEnregistrement(ErreurEnregistrement{ErreurEnregistrement::Genre::ecriture, {}}.description());
        }
        Q_EMIT enregistrementTermine(id, ok);
    });
    // Finishing and remuxing a long file takes a moment: off the main thread.
    veilleur->setFuture(QtConcurrent::run([e]() -> Issue { return e->arreter(); }));
}

void SessionAppel::definirAvertissementEnregistrement(const std::optional<QString>& texte)
{
    if (avertissementEnregistrement_ == texte)
        return;
    avertissementEnregistrement_ = texte;
    Q_EMIT avertissementEnregistrementChange();
}

void SessionAppel::echecDemarrage(const QString& description)
{
    qCWarning(lcSessionAppel) << "démarrage impossible";
    arreterMinuteurs();
    fermerCapture();
    lacherTranscription();
    // The empty record would otherwise stay "en_cours" for ever.
    if (appelId_) {
        const QString id = *appelId_;
        store_.modifier([&id](model::Etat& e) {
            e.appels.removeIf([&id](const model::Appel& a) { return a.id == id; });
        });
    }
    appelId_.reset();
    definirCode(QString());
    definirErreur(description.trimmed().isEmpty() ? messageDemarrage : description);
    definirEtat(EtatSession::inactif);
}

void SessionAppel::demarrerMinuteurs()
{
    arreterMinuteurs();
    minuteurNiveaux_->demarrer(tickNiveauxMs);
    minuteurCoaching_->demarrer(tickCoachingMs);
    minuteurBattement_->demarrer(battementMs);
}

void SessionAppel::arreterMinuteurs()
{
    for (platform::Minuterie* m : {minuteurNiveaux_, minuteurCoaching_, minuteurBattement_, sauvegardePrevue_, attenteFin_})
        if (m)
            m->arreter();
}

// --- Pause, resume -------------------------------------------------------------

void SessionAppel::pause()
{
    if (etat_ != EtatSession::enCours || arretEnCours_)
        return;
    debutPause_ = monotone();
    porte_->ouvrir(false);
    if (enregistreur_)
        enregistreur_->pause();
    definirEtat(EtatSession::pause);
    sauvegarder();
}

void SessionAppel::reprendre()
{
    if (etat_ != EtatSession::pause || arretEnCours_)
        return;
    if (debutPause_)
        cumulPauseMs_ += monotone() - *debutPause_;
    debutPause_.reset();
    porte_->ouvrir(transcription_ && transcriptionOuverte_);
    if (enregistreur_)
        enregistreur_->reprendre();
    definirEtat(EtatSession::enCours);
}

// --- Transcription status, cut and restart ---------------------------------------

void SessionAppel::recevoirStatut(const QString& code, quint64 generation)
{
    if (generation != generation_ || arretEnCours_ || etat_ == EtatSession::termine || etat_ == EtatSession::inactif)
        return;
    if (code == QLatin1String("ouvert") || code == QLatin1String("connexion") || code == QLatin1String("reconnexion")) {
        definirCode(code);
        if (code == QLatin1String("ouvert") && transcription_) {
            transcriptionOuverte_ = true;
            porte_->ouvrir(etat_ == EtatSession::enCours);
        }
    } else if (code == QLatin1String("coupee")) {
        coupureTranscription();
    }
}

void SessionAppel::coupureTranscription()
{
    const QString nom = transcription_ ? transcription_->nomAffiche()
                                       : (moteurAppel_ == QLatin1String("deepgram") ? QStringLiteral("Deepgram") : QStringLiteral("Soniox"));
    lacherTranscription();
    definirCode(QStringLiteral("coupee"));
    signalerJournal(QStringLiteral("transcription_coupee"), QStringLiteral("WebSocket ") + nom + QStringLiteral(" fermé après 3 essais"),
                    QJsonObject{{QStringLiteral("appel_id"), appelId_ ? QJsonValue(*appelId_) : QJsonValue(QJsonValue::Null)},
                                {QStringLiteral("canaux"), canaux_},
                                {QStringLiteral("moteur"), moteurAppel_}});
    definirErreur(messageCoupee);
    coupure_ = CoupureAppel{appelId_, QStringLiteral("transcription"), messageCoupee};
    Q_EMIT coupureChange();
}

void SessionAppel::relancerTranscription()
{
    if (guide_ || arretEnCours_ || transcription_ || codeTranscription_ != QLatin1String("coupee"))
        return;
    if (etat_ != EtatSession::enCours && etat_ != EtatSession::pause)
        return;
    std::unique_ptr<MoteurTranscriptionBase> t = fabriques_.transcription ? fabriques_.transcription(moteurAppel_) : nullptr;
    if (!t) {
        definirErreur(messageRelance);
        return;
    }
    definirErreur(std::nullopt);
    definirCode(QStringLiteral("connexion"));
    brancherTranscription(t.release());
    ParametresTranscription p;
    p.moteur = moteurAppel_;
    p.langue = config_.langue;
    p.canaux = canaux_;
    p.sonioxEurope = store_.etat().reglages.transcription.sonioxEurope;
    p.appelId = appelIdTexte();
    p.generation = generation_;
    transcription_->demarrer(p);
}

void SessionAppel::recevoirFinSource(const QString& source, quint64 generation)
{
    if (generation != generation_ || arretEnCours_ || guide_)
        return;
    if (etat_ != EtatSession::enCours && etat_ != EtatSession::pause && etat_ != EtatSession::connexion)
        return;
    const bool mac = source == QLatin1String("mac");
    if (mac && canaux_ < 2)
        return;   // a one-channel call has no system-audio source to lose
    const QString message = mac ? messageMac : messageMicro;
    definirErreur(message);
    coupure_ = CoupureAppel{appelId_, mac ? QStringLiteral("mac") : QStringLiteral("micro"), message};
    Q_EMIT coupureChange();
}

// --- Stop ------------------------------------------------------------------------

void SessionAppel::arreter()
{
    if (arretEnCours_)
        return;
    if (etat_ != EtatSession::connexion && etat_ != EtatSession::enCours && etat_ != EtatSession::pause)
        return;
    arretEnCours_ = true;
    if (debutPause_) {
        cumulPauseMs_ += monotone() - *debutPause_;
        debutPause_.reset();
    }
    chronoFigeMs_ = offsetMs();
    arreterMinuteurs();
    lacherLecteur();
    fermerCapture();
    finirEnregistrement();
    porte_->ouvrir(false);
    if (transcription_ && transcriptionOuverte_) {
        // The service gets up to 2 s to deliver the last words.
        attenteFin_->demarrer(delaiFinTranscriptionMs);
        transcription_->terminer();
        return;
    }
    finirArret();
}

void SessionAppel::finirArret()
{
    if (!arretEnCours_ || etat_ == EtatSession::termine)
        return;
    attenteFin_->arreter();
    lacherTranscription();
    // What was still being said becomes final.
    const auto restes = interims_;
    interims_.clear();
    for (const QString& qui : {QStringLiteral("prospect"), QStringLiteral("vous")}) {
        if (!restes.contains(qui))
            continue;
        SegmentLive s = restes.value(qui);
        s.final = true;
        if (qui == QLatin1String("vous")) {
            const auto v = filtre_.examiner(s.texte, s.debutMs, s.finMs);
            if (v.genre == FiltreEcho::Verdict::Genre::retirer) {
                ++echosArrivee_;
                continue;
            }
            if (v.genre == FiltreEcho::Verdict::Genre::rogner) {
                s.texte = v.texte;
                s.debutMs = v.debutMs;
                s.finMs = v.finMs;
            }
        }
        ajouterFinal(s);
    }
    Q_EMIT transcriptChange();
    if (guide_)
        definirCode(QStringLiteral("demo_fin"));
    definirEtat(EtatSession::termine);
    sauvegarder(true);
    arretEnCours_ = false;
    preparerSynthese();
    if (rappelAnalyse_ && appelId_)
        rappelAnalyse_(*appelId_);
}

// --- Editing -----------------------------------------------------------------------

void SessionAppel::marquerMoment(const std::optional<QString>& note)
{
    if (!appelId_ || etat_ == EtatSession::inactif)
        return;
    model::MomentMarque m;
    m.tMs = offsetMs();
    m.id = QStringLiteral("mm_") + QString::number(m.tMs);
    if (note && !note->trimmed().isEmpty())
        m.note = note->trimmed();
    momentsMarques_.append(m);
    Q_EMIT notesChange();
    planifierSauvegarde();
}

void SessionAppel::ajouterNote(const QString& texte)
{
    const QString t = texte.trimmed();
    if (!appelId_ || etat_ == EtatSession::inactif || t.isEmpty())
        return;
    model::NoteAppel n;
    n.tMs = offsetMs();
    n.id = QStringLiteral("na_") + QString::number(n.tMs) + QLatin1Char('_') + QString::number(notes_.size() + 1);
    n.texte = t;
    notes_.append(n);
    Q_EMIT notesChange();
    planifierSauvegarde();
}

void SessionAppel::definirProchaineEtape(const std::optional<model::ProchaineAction>& etape)
{
    if (!appelId_ || prochaineEtape_ == etape)
        return;
    prochaineEtape_ = etape;
    Q_EMIT notesChange();
    planifierSauvegarde();
}

void SessionAppel::cocher(ListeCochee liste, const QString& id, bool coche)
{
    if (!appelId_ || id.isEmpty())
        return;
    QStringList& l = cochees_[int(liste)];
    if (coche == l.contains(id))
        return;
    if (coche)
        l.append(id);
    else
        l.removeAll(id);
    Q_EMIT notesChange();
    planifierSauvegarde();
}

void SessionAppel::choisirEtape(const std::optional<QString>& etapeId)
{
    if (etapeChoisie_ == etapeId)
        return;
    etapeChoisie_ = etapeId;
    Q_EMIT notesChange();
}

void SessionAppel::noterAide(const QString& aideId, std::optional<bool> utile)
{
    for (AideLive& a : aides_)
        if (a.id == aideId && a.utile != utile) {
            a.utile = utile;
            Q_EMIT aidesChange();
            planifierSauvegarde();
        }
}

void SessionAppel::choisirRegistre(const std::optional<QString>& registre)
{
    if (registreChoisi_ == registre)
        return;
    registreChoisi_ = registre;
    Q_EMIT registreChange();
}

void SessionAppel::ajouterAide(const AideLive& aide)
{
    if (!appelId_)
        return;
    aides_.append(aide);
    Q_EMIT aidesChange();
    if (aide.statut != AideLive::Statut::enCours)
        planifierSauvegarde();
}

void SessionAppel::majAide(const AideLive& aide)
{
    for (AideLive& a : aides_)
        if (a.id == aide.id) {
            const bool fini = a.statut == AideLive::Statut::enCours && aide.statut != AideLive::Statut::enCours;
            a = aide;
            Q_EMIT aidesChange();
            if (fini)
                planifierSauvegarde();
            return;
        }
}

void SessionAppel::ajouterDetection(const model::Detection& d)
{
    if (!appelId_)
        return;
    detections_.append(d);
    derniereDetection_ = d;
    Q_EMIT detectionsChange();
    planifierSauvegarde();
}

void SessionAppel::definirPropositionsQualification(const QList<PropositionQualification>& p)
{
    if (propositions_ == p)
        return;
    propositions_ = p;
    Q_EMIT qualificationChange();
}

void SessionAppel::accepterQualification(const model::JSONValeur& item)
{
    if (!appelId_ || qualification_.contains(item))
        return;
    qualification_.append(item);
    Q_EMIT qualificationChange();
    planifierSauvegarde();
}

void SessionAppel::definirRegistreDetecte(const std::optional<QString>& registre)
{
    if (registreDetecte_ == registre)
        return;
    registreDetecte_ = registre;
    Q_EMIT registreChange();
}

void SessionAppel::definirEnregistre(bool actif)
{
    if (enregistre_ == actif)
        return;
    enregistre_ = actif;
    Q_EMIT enregistreChange();
}

void SessionAppel::continuerGuide()
{
    if (lecteur_ && attenteGuide_)
        lecteur_->continuer();
}

} // namespace vd::call
