#include "horloge.h"

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

namespace vd::platform {

namespace {

Horloge* g_installee = nullptr;

class MinuterieSysteme final : public Minuterie {
public:
    explicit MinuterieSysteme(QObject* parent) : Minuterie(parent)
    {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            if (unique_)
                timer_.stop();
            Q_EMIT expire();
        });
    }
    void demarrer(int ms) override { timer_.start(std::max(0, ms)); }
    void arreter() override { timer_.stop(); }
    bool actif() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

} // namespace

class MinuterieFactice final : public Minuterie {
public:
    MinuterieFactice(HorlogeFactice* h, QObject* parent) : Minuterie(parent), horloge_(h) {}
    ~MinuterieFactice() override
    {
        if (horloge_)
            horloge_->oublier(this);
    }
    void demarrer(int ms) override
    {
        intervalle_ = std::max(0, ms);
        if (horloge_)
            horloge_->armer(this, intervalle_);
    }
    void arreter() override
    {
        if (horloge_)
            horloge_->desarmer(this);
    }
    bool actif() const override { return horloge_ && horloge_->estArmee(this); }
    void declencher()
    {
        if (!unique_)
            horloge_->armer(this, std::max(1, intervalle_));   // a 0 ms repeat would never let time move
        Q_EMIT expire();
    }
    HorlogeFactice* horloge_;
    int intervalle_ = 0;
};

void Horloge::apres(int ms, QObject* contexte, std::function<void()> action)
{
    auto* m = creerMinuterie(contexte);
    m->setUnique(true);
    QObject::connect(m, &Minuterie::expire, contexte, [m, action = std::move(action)] {
        action();
        m->deleteLater();
    });
    m->demarrer(ms);
}

Horloge& Horloge::instance()
{
    static HorlogeSysteme systeme;
    return g_installee ? *g_installee : systeme;
}

void Horloge::installer(Horloge* horloge) { g_installee = horloge; }

QDateTime HorlogeSysteme::maintenant() const { return QDateTime::currentDateTimeUtc(); }

qint64 HorlogeSysteme::monotoneMs() const
{
    static QElapsedTimer depart = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return depart.elapsed();
}

Minuterie* HorlogeSysteme::creerMinuterie(QObject* parent) { return new MinuterieSysteme(parent); }

struct HorlogeFactice::Entree {
    qint64 echeance;
    quint64 ordre;
    MinuterieFactice* minuterie;
};

HorlogeFactice::HorlogeFactice(QDateTime depart) : mur_(std::move(depart)), entrees_(new std::vector<Entree>) {}

HorlogeFactice::~HorlogeFactice()
{
    // Timers that outlive the clock, armed or not, must not call back into it.
    for (MinuterieFactice* m : minuteries_)
        m->horloge_ = nullptr;
    delete entrees_;
}

void HorlogeFactice::oublier(MinuterieFactice* m)
{
    desarmer(m);
    std::erase(minuteries_, m);
}

QDateTime HorlogeFactice::maintenant() const { return mur_; }

Minuterie* HorlogeFactice::creerMinuterie(QObject* parent)
{
    auto* m = new MinuterieFactice(this, parent);
    minuteries_.push_back(m);
    return m;
}

void HorlogeFactice::fixer(const QDateTime& maintenant) { mur_ = maintenant; }

int HorlogeFactice::minuteriesActives() const { return int(entrees_->size()); }

void HorlogeFactice::armer(MinuterieFactice* m, int ms)
{
    desarmer(m);
    entrees_->push_back({monotone_ + ms, ++sequence_, m});
}

void HorlogeFactice::desarmer(MinuterieFactice* m)
{
    std::erase_if(*entrees_, [m](const Entree& e) { return e.minuterie == m; });
}

bool HorlogeFactice::estArmee(const MinuterieFactice* m) const
{
    return std::any_of(entrees_->begin(), entrees_->end(), [m](const Entree& e) { return e.minuterie == m; });
}

void HorlogeFactice::avancer(qint64 ms)
{
    const qint64 fin = monotone_ + std::max<qint64>(0, ms);
    for (;;) {
        auto it = std::min_element(entrees_->begin(), entrees_->end(), [](const Entree& a, const Entree& b) {
            return a.echeance != b.echeance ? a.echeance < b.echeance : a.ordre < b.ordre;
        });
        if (it == entrees_->end() || it->echeance > fin)
            break;
        const qint64 pas = it->echeance - monotone_;
        monotone_ = it->echeance;
        mur_ = mur_.addMSecs(pas);
        MinuterieFactice* m = it->minuterie;
        entrees_->erase(it);
        m->declencher();
    }
    mur_ = mur_.addMSecs(fin - monotone_);
    monotone_ = fin;
}

} // namespace vd::platform
