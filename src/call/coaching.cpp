#include "coaching.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vd::call {

namespace {

constexpr qint64 silenceMonologueMs = 3000;
constexpr qint64 trouMonologueMs = 4000;
constexpr qint64 seuilMonologueMs = 90000;
constexpr qint64 fenetrePartMs = 180000;
constexpr qint64 minimumParoleMs = 45000;
constexpr qint64 delaiQuestionMs = 180000;
// Finals reach the session in time order within a few seconds; a minute of
// tolerance bounds every backward walk without changing its result.
constexpr qint64 toleranceOrdreMs = 60000;
constexpr qint64 moinsInfini = std::numeric_limits<qint64>::min() / 4;

int compterMots(const QString& t)
{
    int n = 0;
    bool dansMot = false;
    for (QChar c : t) {
        if (c.isSpace()) {
            dansMot = false;
        } else if (!dansMot) {
            dansMot = true;
            ++n;
        }
    }
    return n;
}

// Turns newest first: the partial segments, then the finals from the last.
class Tours {
public:
    explicit Tours(const EntreeCoaching& e) : e_(e), nFinals_(e.finals ? e.finals->size() : 0) {}
    qsizetype taille() const { return e_.partiels.size() + nFinals_; }
    TourParole operator[](qsizetype k) const
    {
        const model::Segment& s = k < e_.partiels.size() ? e_.partiels[k] : (*e_.finals)[nFinals_ - 1 - (k - e_.partiels.size())];
        return {s.locuteur == QLatin1String("vous"), s.debutMs, std::max(s.debutMs, s.finMs), compterMots(s.texte)};
    }

private:
    const EntreeCoaching& e_;
    qsizetype nFinals_;
};

std::optional<CoachingAlerte> monologue(const Tours& tours, qint64 maintenant)
{
    // E: the latest end of the salesperson's turns, S: the start of that turn.
    qint64 E = moinsInfini, S = 0;
    for (qsizetype k = 0; k < tours.taille(); ++k) {
        const TourParole t = tours[k];
        const qint64 borne = (E == moinsInfini ? maintenant - silenceMonologueMs : E) - toleranceOrdreMs;
        if (t.finMs < borne)
            break;
        if (t.vous && t.mots > 0 && t.finMs > E) {
            E = t.finMs;
            S = t.debutMs;
        }
    }
    if (E == moinsInfini || maintenant - E > silenceMonologueMs)
        return std::nullopt;

    // P: the latest end of the prospect's turns of 3 words or more that start before E.
    qint64 P = moinsInfini;
    for (qsizetype k = 0; k < tours.taille(); ++k) {
        const TourParole t = tours[k];
        if (P != moinsInfini && t.finMs < P - toleranceOrdreMs)
            break;
        if (!t.vous && t.mots >= 3 && t.debutMs < E)
            P = std::max(P, t.finMs);
    }

    qint64 debut = std::max(S, P);
    for (qsizetype k = 0; k < tours.taille(); ++k) {
        const TourParole t = tours[k];
        if (!t.vous || t.mots == 0)
            continue;
        if (t.debutMs >= debut)
            continue;
        if (P > t.debutMs || t.finMs < debut - trouMonologueMs)
            break;
        debut = t.debutMs;
    }
    if (E - debut < seuilMonologueMs)
        return std::nullopt;
    return CoachingAlerte{CoachingAlerte::Genre::monologue, QStringLiteral("Vous parlez depuis ") + formaterDuree(E - debut), debut};
}

std::optional<CoachingAlerte> partParole(const Tours& tours, qint64 maintenant, const QList<CoachingAlerte>& actuelles)
{
    if (maintenant < fenetrePartMs)
        return std::nullopt;
    const qint64 a = maintenant - fenetrePartMs, b = maintenant;
    qint64 vous = 0, total = 0;
    for (qsizetype k = 0; k < tours.taille(); ++k) {
        const TourParole t = tours[k];
        if (t.finMs < a - toleranceOrdreMs)
            break;
        if (t.mots == 0)
            continue;
        const qint64 recouvrement = std::max<qint64>(0, std::min(t.finMs, b) - std::max(t.debutMs, a));
        total += recouvrement;
        if (t.vous)
            vous += recouvrement;
    }
    if (total < minimumParoleMs)
        return std::nullopt;
    const qint64 part = std::llround(double(vous) / double(total) * 100.0);
    const auto texte = QStringLiteral("Vous parlez ") + QString::number(part) + QStringLiteral(" % du temps depuis 3 min");
    const auto deja = std::find_if(actuelles.begin(), actuelles.end(),
                                   [](const CoachingAlerte& c) { return c.type == CoachingAlerte::Genre::partParole; });
    if (deja != actuelles.end()) {
        if (part > 55)
            return CoachingAlerte{CoachingAlerte::Genre::partParole, texte, deja->depuisMs};
        return std::nullopt;
    }
    if (part > 60)
        return CoachingAlerte{CoachingAlerte::Genre::partParole, texte, maintenant};
    return std::nullopt;
}

} // namespace

QString nomGenre(CoachingAlerte::Genre g)
{
    switch (g) {
    case CoachingAlerte::Genre::monologue: return QStringLiteral("monologue");
    case CoachingAlerte::Genre::partParole: return QStringLiteral("partParole");
    case CoachingAlerte::Genre::sansQuestion: return QStringLiteral("sansQuestion");
    }
    return {};
}

QString formaterDuree(qint64 ms)
{
    const qint64 secondes = ms < -999 ? 0 : ms / 1000;
    if (ms < 60000)
        return QString::number(secondes) + QStringLiteral(" s");
    const qint64 minutes = secondes / 60;
    const qint64 reste = (secondes % 60) / 10 * 10;
    if (reste >= 10)
        return QString::number(minutes) + QStringLiteral(" min ") + QString::number(reste);
    return QString::number(minutes) + QStringLiteral(" min");
}

QList<CoachingAlerte> calculerCoaching(const EntreeCoaching& e)
{
    const Tours tours(e);
    QList<CoachingAlerte> r;
    if (auto m = monologue(tours, e.maintenantMs))
        r.append(*m);
    else if (auto p = partParole(tours, e.maintenantMs, e.actuelles))
        r.append(*p);
    const qint64 question = std::max<qint64>(e.derniereQuestionMs, 0);
    if (e.maintenantMs >= delaiQuestionMs && e.maintenantMs - question >= delaiQuestionMs)
        r.append({CoachingAlerte::Genre::sansQuestion,
                  QStringLiteral("Aucune question depuis ") + QString::number((e.maintenantMs - question) / 60000) + QStringLiteral(" min"),
                  question});
    return r;
}

} // namespace vd::call
