#include "lecteurdemo.h"

#include "call/sessionappel.h"
#include "platform/horloge.h"

#include <QRegularExpression>
#include <algorithm>

namespace vd::call {

namespace {
constexpr int motsParPartiel = 3;
constexpr int tickMs = 100;
} // namespace

LecteurDemo::LecteurDemo(SessionAppel& session, platform::Horloge& horloge, const AppelGuide& guide)
    : session_(session), evenements_(evenementsDe(guide.scenario))
{
    if (guide.arret && *guide.arret >= 0 && *guide.arret < guide.scenario.tours.size()) {
        arret_ = guide.arret;
        debutArret_ = guide.scenario.tours[*guide.arret].debutMs;
    }
    minuteur_ = horloge.creerMinuterie(this);
    connect(minuteur_, &platform::Minuterie::expire, this, [this] { tick(); });
}

std::vector<LecteurDemo::Evenement> LecteurDemo::evenementsDe(const ScenarioDemo& scenario)
{
    std::vector<Evenement> r;
    static const QRegularExpression blancs(QStringLiteral("\\s+"));
    for (int i = 0; i < scenario.tours.size(); ++i) {
        const TourDemo& t = scenario.tours[i];
        const QStringList mots = t.texte.split(blancs, Qt::SkipEmptyParts);
        const qsizetype n = mots.size();
        const qint64 fin = std::max(t.debutMs, t.finMs);
        for (qsizetype k = motsParPartiel; k < n; k += motsParPartiel) {
            const qint64 tk = t.debutMs + (fin - t.debutMs) * k / n;
            r.push_back({tk, i, SegmentLive{t.locuteur, mots.mid(0, k).join(QLatin1Char(' ')), false, t.debutMs, tk, t.interlocuteur}});
        }
        r.push_back({fin, i, SegmentLive{t.locuteur, t.texte, true, t.debutMs, fin, t.interlocuteur}});
    }
    std::stable_sort(r.begin(), r.end(), [](const Evenement& a, const Evenement& b) { return a.tMs < b.tMs; });
    return r;
}

void LecteurDemo::demarrer()
{
    minuteur_->demarrer(tickMs);
    tick();
}

void LecteurDemo::arreter()
{
    minuteur_->arreter();
    arretPasse_ = true;
    prochain_ = evenements_.size() + 1;   // nothing more is played
}

void LecteurDemo::continuer()
{
    if (!attenteDepuis_)
        return;
    decalageMs_ += std::max<qint64>(session_.offsetMs() - *attenteDepuis_, 0);
    attenteDepuis_.reset();
    session_.attenteGuide_ = false;
    Q_EMIT session_.guideChange();
    tick();
}

void LecteurDemo::tick()
{
    if (attenteDepuis_ || session_.etat() != EtatSession::enCours || session_.arretEnCours())
        return;
    const qint64 maintenant = session_.offsetMs() - decalageMs_;
    while (prochain_ < evenements_.size()) {
        const Evenement& e = evenements_[prochain_];
        if (arret_ && !arretPasse_ && (e.tour >= *arret_ || e.tMs >= debutArret_)) {
            // Waits at the start of the chosen turn.
            if (maintenant < debutArret_)
                break;
            arretPasse_ = true;
            attenteDepuis_ = session_.offsetMs();
            session_.attenteGuide_ = true;
            Q_EMIT session_.guideChange();
            return;
        }
        if (e.tMs > maintenant)
            break;
        SegmentLive s = e.segment;
        s.debutMs += decalageMs_;
        s.finMs += decalageMs_;
        ++prochain_;
        session_.recevoirSegment(s, session_.generation());
    }
    if (fini()) {
        minuteur_->arreter();
        session_.definirCode(QStringLiteral("demo_fin"));
        Q_EMIT session_.guideTermine();
    }
}

} // namespace vd::call
