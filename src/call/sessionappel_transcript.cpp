// The live transcript of the session: arrival of segments through the echo
// filter, re-examination of earlier salesperson text, the last question,
// coaching and level ticks, saves of the call record and the end summary.
#include "sessionappel.h"

#include "ai/moteur.h"
#include "model/store.h"
#include "model/texte.h"
#include "platform/horloge.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QPointer>
#include <cmath>

Q_DECLARE_LOGGING_CATEGORY(lcSessionAppel)

namespace vd::call {

namespace {

const QString vous = QStringLiteral("vous");
const QString prospect = QStringLiteral("prospect");
constexpr int delaiSauvegardeMs = 2000;
constexpr int reexamenMax = 30;
constexpr qint64 reexamenAvantMs = 8000;
constexpr qint64 reexamenApresMs = 4000;
constexpr float seuilVoix = 0.08f;
constexpr qint64 voixSegmentMs = 400;

QJsonValue enJson(const model::Appel& a)
{
    QByteArray b;
    model::EcrivainJson e(b);
    model::ecrire(e, a);
    return QJsonDocument::fromJson(b).object();
}

model::Segment versSegment(const SegmentLive& s)
{
    model::Segment g;
    g.locuteur = s.locuteur;
    g.texte = s.texte;
    g.debutMs = s.debutMs;
    g.finMs = s.finMs;
    if (s.locuteur == QLatin1String("prospect") && s.interlocuteur && *s.interlocuteur >= 1)
        g.interlocuteur = s.interlocuteur;
    return g;
}

} // namespace

// --- Arrival --------------------------------------------------------------------

void SessionAppel::recevoirSegment(const SegmentLive& s, quint64 generation)
{
    if (generation != generation_)
        return;
    if (etat_ == EtatSession::inactif || etat_ == EtatSession::termine || !appelId_)
        return;
    arriverSegment(s);
}

void SessionAppel::arriverSegment(SegmentLive s)
{
    s.locuteur = s.locuteur == vous ? vous : prospect;
    s.finMs = std::max(s.debutMs, s.finMs);
    const bool duProspect = s.locuteur == prospect;
    const bool vide = s.texte.trimmed().isEmpty();
    if (!vide)
        noterActivite(s.locuteur);
    if (duProspect && !vide)
        filtre_.ajouter(s.texte, s.debutMs, s.finMs, s.final);

    if (!s.final) {
        if (!duProspect && !vide) {
            const auto v = filtre_.examiner(s.texte, s.debutMs, s.finMs);
            if (v.genre == FiltreEcho::Verdict::Genre::retirer) {
                if (interims_.remove(vous))
                    Q_EMIT transcriptChange();
                return;
            }
            if (v.genre == FiltreEcho::Verdict::Genre::rogner) {
                s.texte = v.texte;
                s.debutMs = v.debutMs;
                s.finMs = v.finMs;
            }
        }
        if (vide)
            interims_.remove(s.locuteur);
        else
            interims_.insert(s.locuteur, s);
        Q_EMIT transcriptChange();
        return;
    }

    interims_.remove(s.locuteur);
    if (vide) {
        Q_EMIT transcriptChange();
        return;
    }
    if (!duProspect) {
        const auto v = filtre_.examiner(s.texte, s.debutMs, s.finMs);
        if (v.genre == FiltreEcho::Verdict::Genre::retirer) {
            ++echosArrivee_;
            Q_EMIT transcriptChange();
            planifierSauvegarde();
            return;
        }
        if (v.genre == FiltreEcho::Verdict::Genre::rogner) {
            s.texte = v.texte;
            s.debutMs = v.debutMs;
            s.finMs = v.finMs;
        }
    }
    ajouterFinal(s);
    if (duProspect)
        reexaminer(s.debutMs, s.finMs);
    Q_EMIT transcriptChange();
    planifierSauvegarde();
}

void SessionAppel::ajouterFinal(const SegmentLive& s)
{
    model::Segment g = versSegment(s);
    g.id = QStringLiteral("sg") + QString::number(++compteur_);
    finals_.append(g);
    if (g.locuteur == vous) {
        const int n = questionsDans(g.texte);
        questionsParSegment_.insert(g.id, n);
        if (n > 0)
            derniereQuestionMs_ = std::max(derniereQuestionMs_, g.debutMs);
    }
    Q_EMIT finalAjoute(g);
}

void SessionAppel::reexaminer(qint64 debutMs, qint64 finMs)
{
    bool change = false, questionTouchee = false;
    int vus = 0;
    for (qsizetype i = finals_.size() - 1; i >= 0 && vus < reexamenMax; --i, ++vus) {
        const model::Segment& f = finals_[i];
        if (f.locuteur != vous || f.finMs < debutMs - reexamenAvantMs || f.debutMs > finMs + reexamenApresMs)
            continue;
        const auto v = filtre_.examiner(f.texte, f.debutMs, f.finMs);
        if (v.genre == FiltreEcho::Verdict::Genre::inchange)
            continue;
        change = true;
        phrasesEcho_.insert(f.texte);
        const int avant = questionsParSegment_.value(f.id);
        if (avant > 0 && f.debutMs >= derniereQuestionMs_)
            questionTouchee = true;
        if (v.genre == FiltreEcho::Verdict::Genre::retirer) {
            questionsParSegment_.remove(f.id);
            finals_.removeAt(i);
            continue;
        }
        model::Segment& m = finals_[i];
        m.texte = v.texte;
        m.debutMs = v.debutMs;
        m.finMs = v.finMs;
        const int apres = questionsDans(m.texte);
        questionsParSegment_.insert(m.id, apres);
        if (apres != avant)
            questionTouchee = true;
    }
    if (auto it = interims_.find(vous); it != interims_.end()) {
        const auto v = filtre_.examiner(it->texte, it->debutMs, it->finMs);
        if (v.genre == FiltreEcho::Verdict::Genre::retirer) {
            interims_.erase(it);
            change = true;
        } else if (v.genre == FiltreEcho::Verdict::Genre::rogner) {
            it->texte = v.texte;
            it->debutMs = v.debutMs;
            it->finMs = v.finMs;
            change = true;
        }
    }
    if (!change)
        return;
    if (questionTouchee)
        recalculerDerniereQuestion();
    planifierSauvegarde();
}

int SessionAppel::questionsDans(const QString& texte) const
{
    auto r = moteur_.appelerNombre(QStringLiteral("compterQuestions"), {texte});
    if (!r || !std::isfinite(r.valeur()))
        return 0;
    return int(std::max(0.0, r.valeur()));
}

void SessionAppel::recalculerDerniereQuestion()
{
    derniereQuestionMs_ = 0;
    for (qsizetype i = finals_.size() - 1; i >= 0; --i) {
        const model::Segment& f = finals_[i];
        if (f.locuteur != vous)
            continue;
        auto it = questionsParSegment_.constFind(f.id);
        const int n = it != questionsParSegment_.constEnd() ? *it : questionsDans(f.texte);
        if (n > 0) {
            derniereQuestionMs_ = f.debutMs;
            return;
        }
    }
}

// --- Ticks -----------------------------------------------------------------------

void SessionAppel::tickCoaching()
{
    if (etat_ != EtatSession::enCours || arretEnCours_)
        return;
    EntreeCoaching e;
    e.finals = &finals_;
    for (const SegmentLive& s : interims_)
        e.partiels.append(versSegment(s));
    e.maintenantMs = offsetMs();
    e.derniereQuestionMs = derniereQuestionMs_;
    e.actuelles = coaching_;
    QList<CoachingAlerte> r = calculerCoaching(e);
    if (r == coaching_)
        return;
    coaching_ = std::move(r);
    Q_EMIT coachingChange();
}

void SessionAppel::noterActivite(const QString& locuteur) { activite_.insert(locuteur, monotone()); }

void SessionAppel::tickNiveaux()
{
    const qint64 t = monotone();
    // Without a captured channel, a speaker's level follows the transcript.
    auto parTranscript = [&](const QString& qui, float avant) {
        const auto it = activite_.constFind(qui);
        if (it != activite_.constEnd() && t - *it < voixSegmentMs)
            return 0.55f;
        const float v = avant * 0.65f;
        return v < 0.01f ? 0.f : v;
    };
    std::pair<float, float> n;
    if (capture_) {
        n = capture_->niveaux();
        if (canaux_ < 2)
            n.second = parTranscript(prospect, niveaux_.second);
        if (n.first > seuilVoix)
            activite_.insert(vous, t);
        if (canaux_ >= 2 && n.second > seuilVoix)
            activite_.insert(prospect, t);
    } else {
        n = {parTranscript(vous, niveaux_.first), parTranscript(prospect, niveaux_.second)};
    }
    auto arrondir = [](float x) { return std::round(std::clamp(x, 0.f, 1.f) * 1000.f) / 1000.f; };
    n = {arrondir(n.first), arrondir(n.second)};
    if (n == niveaux_)
        return;
    niveaux_ = n;
    Q_EMIT niveauxChange();
}

double SessionAppel::secondesSansVoix() const
{
    qint64 derniere = debut_.value_or(monotone());
    for (auto it = activite_.constBegin(); it != activite_.constEnd(); ++it)
        derniere = std::max(derniere, *it);
    return double(std::max<qint64>(monotone() - derniere, 0)) / 1000.0;
}

// --- Saves -------------------------------------------------------------------------

void SessionAppel::planifierSauvegarde()
{
    if (!appelId_ || arretEnCours_ || etat_ == EtatSession::termine || etat_ == EtatSession::inactif)
        return;
    sauvegardePrevue_->demarrer(delaiSauvegardeMs);
}

model::Appel SessionAppel::contenuAppel() const
{
    model::Appel a = appelBase_;
    a.transcript = finals_;
    a.aides.clear();
    for (const AideLive& x : aides_) {
        if (x.statut != AideLive::Statut::ok)
            continue;
        model::Aide aide;
        aide.id = x.id;
        aide.tache = x.tache;
        aide.tMs = x.tMs;
        aide.demande = x.demande;
        aide.resultat = x.resultat.value_or(model::JSONValeur());
        aide.utile = x.utile;
        aide.modele = x.modele;
        a.aides.append(aide);
    }
    a.detections = detections_;
    a.momentsMarques = momentsMarques_;
    a.notes = notes_;
    auto liste = [this](ListeCochee l) {
        return cochees_.contains(int(l)) ? std::optional<QStringList>(cochees_.value(int(l))) : std::nullopt;
    };
    a.questionsCochees = liste(ListeCochee::questions);
    a.etapesCochees = liste(ListeCochee::etapes);
    a.criteresCoches = liste(ListeCochee::criteres);
    a.questionsEtapeCochees = liste(ListeCochee::questionsEtape);
    if (!qualification_.isEmpty())
        a.qualification = qualification_;
    a.prochaineEtape = prochaineEtape_;
    a.duree = secondesEcoulees();
    a.echosRetires = echosRetires();
    a.majLe = horodatageMaintenant();
    return a;
}

void SessionAppel::sauvegarder(bool finale)
{
    sauvegardePrevue_->arreter();
    if (!appelId_)
        return;
    model::Appel contenu = contenuAppel();
    if (finale) {
        contenu.statut = QStringLiteral("analyse");
        auto m = moteur_.appelerJSON(QStringLiteral("metriques"), {enJson(contenu)});
        if (m) {
            contenu.metriques = model::Metriques::depuisJson(m.valeur());
        } else {
            qCWarning(lcSessionAppel) << "métriques indisponibles:" << m.erreur().description();
        }
    }
    bool remis = false;
    store_.modifier([&](model::Etat& e) {
        model::Appel* a = e.appel(contenu.id);
        if (!a) {
            // The state was replaced during the call (import, reset, sync):
            // the call goes back rather than losing its transcript.
            e.appels.append(contenu);
            remis = true;
            return;
        }
        a->transcript = contenu.transcript;
        a->aides = contenu.aides;
        a->detections = contenu.detections;
        a->momentsMarques = contenu.momentsMarques;
        a->notes = contenu.notes;
        if (contenu.questionsCochees)
            a->questionsCochees = contenu.questionsCochees;
        if (contenu.etapesCochees)
            a->etapesCochees = contenu.etapesCochees;
        if (contenu.criteresCoches)
            a->criteresCoches = contenu.criteresCoches;
        if (contenu.questionsEtapeCochees)
            a->questionsEtapeCochees = contenu.questionsEtapeCochees;
        if (contenu.qualification)
            a->qualification = contenu.qualification;
        a->prochaineEtape = contenu.prochaineEtape;
        a->duree = contenu.duree;
        a->echosRetires = contenu.echosRetires;
        a->majLe = contenu.majLe;
        if (finale) {
            a->statut = contenu.statut;
            if (contenu.metriques)
                a->metriques = contenu.metriques;
        }
    });
    if (remis)
        qCWarning(lcSessionAppel) << "appel absent du store, remis";
    if (finale) {
        store_.sauvegarder(false);
    }
}

// --- End summary -------------------------------------------------------------------

void SessionAppel::preparerSynthese()
{
    if (!appelId_)
        return;
    const model::Etat& etat = store_.etat();
    const model::Appel* enregistre = etat.appel(*appelId_);
    const model::Appel appel = enregistre ? *enregistre : contenuAppel();
    SyntheseFin s;
    s.appelId = *appelId_;
    s.enCours = true;
    s.metriques = appel.metriques;
    s.objections = detections_;
    syntheseFin_ = s;
    Q_EMIT syntheseFinChange();

    QPointer<SessionAppel> moi(this);
    const quint64 gen = generation_;
    const QString id = *appelId_;
    auto reponse = [moi, gen, id](std::optional<ResultatRecap> r) {
        if (!moi || moi->generation_ != gen || !moi->syntheseFin_ || moi->syntheseFin_->appelId != id || !moi->syntheseFin_->enCours)
            return;
        moi->syntheseFin_->enCours = false;
        if (r)
            moi->syntheseFin_->recap = std::move(r);
        else
            moi->syntheseFin_->erreur = QStringLiteral("Le récap n'a pas pu être préparé. L'analyse complète arrive.");
        Q_EMIT moi->syntheseFinChange();
    };
    if (fournisseurRecap_) {
        fournisseurRecap_(appel, reponse);
        return;
    }
    // Without a language-model route, only a demonstration has a recap: the engine's canned one.
    if (appel.source == QLatin1String("demo")) {
        const QJsonValue json = enJson(appel);
        auto r = moteur_.appelerJSON(QStringLiteral("reponseDemo"),
                                     {QStringLiteral("recap"), QJsonObject{{QStringLiteral("transcript"), json.toObject().value(QStringLiteral("transcript"))}}});
        reponse(r ? ResultatRecap::depuisJson(r.valeur()) : std::nullopt);
        return;
    }
    reponse(std::nullopt);
}

} // namespace vd::call
