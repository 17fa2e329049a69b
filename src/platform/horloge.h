#pragma once
// Injectable clock: every wall-clock read, monotonic read and timer of the
// program goes through an Horloge, so tests drive time with HorlogeFactice.
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimeZone>
#include <functional>
#include <memory>
#include <vector>

namespace vd::platform {

class Minuterie : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Starts (or restarts) the timer; a single-shot timer fires once.
    virtual void demarrer(int ms) = 0;
    virtual void arreter() = 0;
    virtual bool actif() const = 0;
    void setUnique(bool unique) { unique_ = unique; }
    bool unique() const { return unique_; }

Q_SIGNALS:
    void expire();

protected:
    bool unique_ = false;
};

class Horloge {
public:
    virtual ~Horloge() = default;
    virtual QDateTime maintenant() const = 0;   // wall clock, UTC
    virtual qint64 monotoneMs() const = 0;      // steady milliseconds
    // The timer belongs to parent (deleted with it).
    virtual Minuterie* creerMinuterie(QObject* parent) = 0;

    // One-shot callback after ms; dropped if contexte dies first.
    void apres(int ms, QObject* contexte, std::function<void()> action);

    // The process clock (system by default; tests may install a fake).
    static Horloge& instance();
    static void installer(Horloge* horloge);   // nullptr restores the system clock
};

class HorlogeSysteme final : public Horloge {
public:
    QDateTime maintenant() const override;
    qint64 monotoneMs() const override;
    Minuterie* creerMinuterie(QObject* parent) override;
};

// Test clock: time stands still until avancer() moves it; due timers fire in
// order of their deadline (then of arming), each with the clock set to it.
class HorlogeFactice final : public Horloge {
public:
    explicit HorlogeFactice(QDateTime depart = QDateTime(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC));
    ~HorlogeFactice() override;
    QDateTime maintenant() const override;
    qint64 monotoneMs() const override { return monotone_; }
    Minuterie* creerMinuterie(QObject* parent) override;

    void avancer(qint64 ms);
    void fixer(const QDateTime& maintenant);   // moves the wall clock only
    int minuteriesActives() const;

    // internal, used by the fake timers
    struct Entree;
    void armer(class MinuterieFactice* m, int ms);
    void desarmer(class MinuterieFactice* m);
    bool estArmee(const class MinuterieFactice* m) const;
    void oublier(class MinuterieFactice* m);

private:
    QDateTime mur_;
    qint64 monotone_ = 0;
    quint64 sequence_ = 0;
    std::vector<Entree>* entrees_;
    std::vector<class MinuterieFactice*> minuteries_;
};

} // namespace vd::platform
