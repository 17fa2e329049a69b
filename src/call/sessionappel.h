#pragma once
// One live call from start to end: the capture, the gate that carries audio
// to the transcription engine, the echo filter, the call's clock (pauses
// excluded), the live transcript, the coaching alerts, the saves of the call
// record, the stop sequence and the quick end summary. One instance for the
// life of the process; every screen observes its published state. Everything
// runs on the main thread; timers come from the injected Horloge.
#include "call/coaching.h"
#include "call/filtreecho.h"
#include "call/interfaces.h"
#include "call/typessession.h"
#include "model/appel.h"

#include <QHash>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QSet>
#include <functional>
#include <memory>
#include <optional>

namespace vd::ai {
class Moteur;
}
namespace vd::model {
class Store;
}
namespace vd::platform {
class Horloge;
class Minuterie;
}

namespace vd::call {

class EnregistreurAppel;
class LecteurDemo;
struct PorteAudio;

class SessionAppel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString etat READ nomEtatCourant NOTIFY etatChange)
    Q_PROPERTY(QString appelId READ appelIdTexte NOTIFY etatChange)
    Q_PROPERTY(QString etatTranscription READ etatTranscription NOTIFY transcriptionChange)
    Q_PROPERTY(QString codeTranscription READ codeTranscription NOTIFY transcriptionChange)
    Q_PROPERTY(QString erreur READ erreurTexte NOTIFY erreurChange)
    Q_PROPERTY(bool enregistre READ enregistre NOTIFY enregistreChange)
    Q_PROPERTY(bool appelGuide READ estGuide NOTIFY guideChange)
    Q_PROPERTY(bool attenteGuide READ attenteGuide NOTIFY guideChange)
    Q_PROPERTY(QString registre READ registre NOTIFY registreChange)

public:
    struct Fabriques {
        std::function<std::unique_ptr<CaptureAudioBase>()> capture;
        // Given the engine id ("soniox" | "deepgram").
        std::function<std::unique_ptr<MoteurTranscriptionBase>(const QString& moteur)> transcription;
        // The recording of a live call (none: calls are not recorded).
        // cible: what the call films (the pre-flight's choice, else the settings').
        std::function<std::unique_ptr<EnregistreurAppel>(const QString& appelId, const model::CibleEnregistrement& cible)> enregistreur;
    };
    // Error journal: event name, message, properties.
    using Journal = std::function<void(const QString& nom, const QString& message, const QJsonObject& proprietes)>;
    // Prepares the recap of a finished call; answers once (none on failure).
    using FournisseurRecap =
        std::function<void(const model::Appel& appel, std::function<void(std::optional<ResultatRecap>)> reponse)>;

    SessionAppel(model::Store& store, ai::Moteur& moteur, platform::Horloge& horloge, Fabriques fabriques,
                 QObject* parent = nullptr);
    ~SessionAppel() override;

    // --- Control -----------------------------------------------------------
    // Starts a live call (or a demonstration when source is "demo"). Refused
    // with a message while a call runs; otherwise the outcome is published
    // (enCours, or back to inactif with erreur).
    std::optional<QString> demarrer(const ConfigAppel& config);
    // Starts a scripted demonstration call through the same path.
    std::optional<QString> demarrerGuide(const AppelGuide& guide);
    void pause();
    void reprendre();
    void arreter();
    // After a cut: opens a new transcription client.
    void relancerTranscription();
    // Playback of a demonstration waiting at its pause point goes on.
    void continuerGuide();

    // --- Inputs (also used by the transcription engine's signals) ------------
    void recevoirSegment(const SegmentLive& s, quint64 generation);
    void recevoirStatut(const QString& code, quint64 generation);
    void recevoirFinSource(const QString& source, quint64 generation);

    // --- Editing during the call ---------------------------------------------
    void marquerMoment(const std::optional<QString>& note = std::nullopt);
    void ajouterNote(const QString& texte);
    void definirProchaineEtape(const std::optional<model::ProchaineAction>& etape);
    enum class ListeCochee { questions, etapes, criteres, questionsEtape, questionsEtapeAuto, questionsEtapeRefusees };
    void cocher(ListeCochee liste, const QString& id, bool coche);
    void choisirEtape(const std::optional<QString>& etapeId);
    void noterAide(const QString& aideId, std::optional<bool> utile);
    void choisirRegistre(const std::optional<QString>& registre);

    // --- Filled by the live prompter -----------------------------------------
    void ajouterAide(const AideLive& aide);
    void majAide(const AideLive& aide);
    void ajouterDetection(const model::Detection& d);
    void definirPropositionsQualification(const QList<PropositionQualification>& p);
    void accepterQualification(const model::JSONValeur& item);
    void definirRegistreDetecte(const std::optional<QString>& registre);
    void definirContexte(const std::optional<model::JSONValeur>& contexte) { contexte_ = contexte; }
    void definirEnregistre(bool actif);

    // --- Wiring ----------------------------------------------------------------
    // Called with the identifier of each stopped and saved call.
    void setRappelAnalyse(std::function<void(const QString& appelId)> f) { rappelAnalyse_ = std::move(f); }
    void setJournal(Journal j) { journal_ = std::move(j); }
    void setFournisseurRecap(FournisseurRecap f) { fournisseurRecap_ = std::move(f); }
    void setFabriques(Fabriques f) { fabriques_ = std::move(f); }

    // --- Published state -------------------------------------------------------
    EtatSession etat() const { return etat_; }
    QString nomEtatCourant() const { return nomEtat(etat_); }
    const std::optional<QString>& appelId() const { return appelId_; }
    QString appelIdTexte() const { return appelId_.value_or(QString()); }
    const ConfigAppel& config() const { return config_; }
    const QList<model::Segment>& finals() const { return finals_; }
    const QMap<QString, SegmentLive>& interims() const { return interims_; }
    const QList<AideLive>& aides() const { return aides_; }
    const std::optional<model::Detection>& derniereDetection() const { return derniereDetection_; }
    const QList<model::Detection>& detections() const { return detections_; }
    std::pair<float, float> niveaux() const { return niveaux_; }
    QString etatTranscription() const;
    QString codeTranscription() const { return codeTranscription_; }
    const std::optional<QString>& erreur() const { return erreur_; }
    QString erreurTexte() const { return erreur_.value_or(QString()); }
    const QList<CoachingAlerte>& coaching() const { return coaching_; }
    const QList<model::MomentMarque>& momentsMarques() const { return momentsMarques_; }
    const QList<model::NoteAppel>& notes() const { return notes_; }
    const std::optional<model::ProchaineAction>& prochaineEtape() const { return prochaineEtape_; }
    const QList<PropositionQualification>& propositionsQualification() const { return propositions_; }
    const QList<model::JSONValeur>& qualificationAppel() const { return qualification_; }
    QStringList cochees(ListeCochee liste) const { return cochees_.value(int(liste)); }
    const std::optional<QString>& etapeChoisie() const { return etapeChoisie_; }
    const std::optional<SyntheseFin>& syntheseFin() const { return syntheseFin_; }
    const std::optional<CoupureAppel>& coupure() const { return coupure_; }
    bool enregistre() const { return enregistre_; }
    // Why the call is recorded without picture, or not at all, or why the file was lost.
    const std::optional<QString>& avertissementEnregistrement() const { return avertissementEnregistrement_; }
    const std::optional<QString>& registreDetecte() const { return registreDetecte_; }
    const std::optional<QString>& registreChoisi() const { return registreChoisi_; }
    // In effect: chosen, else detected, else the formal form.
    QString registre() const;
    static QString libelleRegistreParDefaut();
    bool estGuide() const { return guide_.has_value(); }
    const std::optional<AppelGuide>& appelGuide() const { return guide_; }
    bool attenteGuide() const { return attenteGuide_; }
    const std::optional<model::JSONValeur>& contexte() const { return contexte_; }

    // Elapsed call time in seconds (pauses excluded), and the current offset.
    double secondesEcoulees() const;
    qint64 offsetMs() const;
    qint64 derniereQuestionMs() const { return derniereQuestionMs_; }
    qint64 echosRetires() const { return echosArrivee_ + phrasesEcho_.size(); }
    quint64 generation() const { return generation_; }
    int canaux() const { return canaux_; }
    bool arretEnCours() const { return arretEnCours_; }
    // Seconds since a voice was last heard on a source that exists (the
    // prospect's audio level only counts when its channel is captured).
    double secondesSansVoix() const;
    const FiltreEcho& filtreEcho() const { return filtre_; }

Q_SIGNALS:
    void etatChange();
    void transcriptChange();   // finals or interims
    void finalAjoute(const vd::model::Segment& segment);   // each kept final, for live detection
    void aidesChange();
    void detectionsChange();
    void niveauxChange();
    void transcriptionChange();
    void erreurChange();
    void coachingChange();
    void notesChange();   // marked moments, notes, next step, ticked items
    void qualificationChange();
    void syntheseFinChange();
    void coupureChange();
    void enregistreChange();
    void avertissementEnregistrementChange();
    void enregistrementTermine(const QString& appelId, bool ok);
    void registreChange();
    void guideChange();
    void guideTermine();   // the demonstration has played its last turn

private:
    friend class LecteurDemo;
    void reinitialiser();
    void creerAppel(const QString& source);
    void demarrerMinuteurs();
    void arreterMinuteurs();
    void passerEnCours();
    void echecDemarrage(const QString& description);
    void brancherTranscription(MoteurTranscriptionBase* t);
    void lacherTranscription();
    void coupureTranscription();
    void finirArret();
    void fermerCapture();
    void lacherLecteur();
    void demarrerEnregistrement();
    void finirEnregistrement();
    void definirAvertissementEnregistrement(const std::optional<QString>& texte);

    void arriverSegment(SegmentLive s);
    void reexaminer(qint64 debutMs, qint64 finMs);
    void ajouterFinal(const SegmentLive& s);
    int questionsDans(const QString& texte) const;
    void recalculerDerniereQuestion();
    void tickCoaching();
    void tickNiveaux();
    void noterActivite(const QString& locuteur);

    void planifierSauvegarde();
    void sauvegarder(bool finale = false);
    model::Appel contenuAppel() const;
    void preparerSynthese();
    void definirErreur(const std::optional<QString>& e);
    void definirCode(const QString& code);
    void definirEtat(EtatSession e);
    void signalerJournal(const QString& nom, const QString& message, const QJsonObject& proprietes);
    QString horodatageMaintenant() const;
    qint64 monotone() const;

    model::Store& store_;
    ai::Moteur& moteur_;
    platform::Horloge& horloge_;
    Fabriques fabriques_;
    std::function<void(const QString&)> rappelAnalyse_;
    Journal journal_;
    FournisseurRecap fournisseurRecap_;

    EtatSession etat_ = EtatSession::inactif;
    std::optional<QString> appelId_;
    model::Appel appelBase_;   // the record as created, put back if it disappears from the store
    ConfigAppel config_;
    QList<model::Segment> finals_;
    QHash<QString, int> questionsParSegment_;   // salesperson finals: questions counted on arrival
    QMap<QString, SegmentLive> interims_;
    QList<AideLive> aides_;
    std::optional<model::Detection> derniereDetection_;
    QList<model::Detection> detections_;
    std::pair<float, float> niveaux_{0.f, 0.f};
    QString codeTranscription_;
    std::optional<QString> erreur_;
    QList<CoachingAlerte> coaching_;
    QList<model::MomentMarque> momentsMarques_;
    QList<model::NoteAppel> notes_;
    std::optional<model::ProchaineAction> prochaineEtape_;
    QList<PropositionQualification> propositions_;
    QList<model::JSONValeur> qualification_;
    QHash<int, QStringList> cochees_;
    std::optional<QString> etapeChoisie_;
    std::optional<SyntheseFin> syntheseFin_;
    std::optional<CoupureAppel> coupure_;
    bool enregistre_ = false;
    std::shared_ptr<EnregistreurAppel> enregistreur_;
    std::optional<QString> avertissementEnregistrement_;
    std::optional<QString> registreDetecte_, registreChoisi_;
    std::optional<AppelGuide> guide_;
    bool attenteGuide_ = false;
    std::optional<model::JSONValeur> contexte_;

    // Clock: monotonic milliseconds.
    std::optional<qint64> debut_;
    std::optional<qint64> debutPause_;
    qint64 cumulPauseMs_ = 0;
    std::optional<qint64> chronoFigeMs_;

    quint64 compteur_ = 0;
    QHash<QString, qint64> activite_;   // locuteur → monotonic ms of the last voice
    qint64 derniereQuestionMs_ = 0;
    std::unique_ptr<CaptureAudioBase> capture_;
    MoteurTranscriptionBase* transcription_ = nullptr;
    bool transcriptionOuverte_ = false;
    QString moteurAppel_;
    std::shared_ptr<PorteAudio> porte_;
    int canaux_ = 2;
    qint64 decalageMs_ = 0;
    quint64 generation_ = 0;
    bool arretEnCours_ = false;
    FiltreEcho filtre_;
    qint64 echosArrivee_ = 0;
    QSet<QString> phrasesEcho_;

    platform::Minuterie* minuteurCoaching_ = nullptr;
    platform::Minuterie* minuteurNiveaux_ = nullptr;
    platform::Minuterie* minuteurBattement_ = nullptr;
    platform::Minuterie* sauvegardePrevue_ = nullptr;
    platform::Minuterie* attenteFin_ = nullptr;   // the 2 s granted to the transcription to finish
    std::unique_ptr<LecteurDemo> lecteur_;
    std::unique_ptr<LecteurDemo> lecteurRetire_;
};

} // namespace vd::call
