// Timers: what every wait in the program is now. A timer fires once, after its
// time, in the order timers are due, and no timer ends or holds another; the
// real clock's timers sleep in the event loop, the fake clock's fire in order
// as the test moves it.

#include "core/clock.h"
#include "support/cpu_time.h"
#include "support/fake_clock.h"

#include <QTest>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::CpuSeconds;
using test::FakeClock;

/// When a timer fired, in ms after the test's start (real clock).
class Firings {
  public:
    explicit Firings(const Clock& clock) : clock_(clock), startNs_(clock.monotonicNs()) {}
    std::function<void()> note(QString name) {
        return [this, name] { fired_.append({name, elapsedMs()}); };
    }
    double elapsedMs() const { return double(clock_.monotonicNs() - startNs_) / 1e6; }
    QStringList names() const {
        QStringList out;
        for (const auto& f : fired_)
            out << f.first;
        return out;
    }
    const QList<std::pair<QString, double>>& all() const { return fired_; }

  private:
    const Clock& clock_;
    qint64 startNs_;
    QList<std::pair<QString, double>> fired_;
};

// ---- The real clock, on the event loop ------------------------------------

TEST(TimerOnTheRealClock, FiresOnceAfterAtLeastItsTimeAndNotMuchLater) {
    RealClock clock;
    for (const TimerGrain grain : {TimerGrain::Millisecond, TimerGrain::Microsecond})
        for (const int ms : {0, 10, 50, 300}) {
            SCOPED_TRACE(ms);
            SCOPED_TRACE(grain == TimerGrain::Microsecond ? "fine" : "coarse");
            Firings firings(clock);
            Timer timer(clock, firings.note("t"), grain);
            timer.start(ms * kNsPerMs);
            EXPECT_TRUE(timer.isActive());
            // Not within the call, even with no time to wait: at a later turn.
            EXPECT_TRUE(firings.all().isEmpty());
            EXPECT_TRUE(QTest::qWaitFor([&] { return !firings.all().isEmpty(); }, ms + 2000));
            QTest::qWait(50);
            ASSERT_EQ(firings.all().size(), 1);
            EXPECT_GE(firings.all()[0].second, ms);
            EXPECT_LT(firings.all()[0].second, ms + 500); // late under load, never early
            EXPECT_FALSE(timer.isActive());
        }
}

TEST(TimerOnTheRealClock, RestartingMovesItsTimeAndStoppingEndsIt) {
    RealClock clock;
    for (const TimerGrain grain : {TimerGrain::Millisecond, TimerGrain::Microsecond}) {
        Firings firings(clock);
        Timer sooner(clock, firings.note("sooner"), grain);
        Timer later(clock, firings.note("later"), grain);
        Timer stopped(clock, firings.note("stopped"), grain);
        sooner.start(300 * kNsPerMs);
        sooner.start(30 * kNsPerMs);
        later.start(30 * kNsPerMs);
        later.start(200 * kNsPerMs);
        stopped.start(30 * kNsPerMs);
        stopped.stop();
        EXPECT_FALSE(stopped.isActive());
        QTest::qWait(500);
        EXPECT_EQ(firings.names(), QStringList({"sooner", "later"}));
        EXPECT_GE(firings.all().value(1).second, 200);
    }
}

// Each timer keeps its own time: one started from another's firing fires at
// its own moment, and an earlier one is neither ended by it (as a wait inside
// a wait once ended the outer wait) nor held back until it is done.
TEST(TimerOnTheRealClock, ATimerStartedInsideAnotherNoLongerEndsOrHoldsTheOuterOne) {
    RealClock clock;
    Firings firings(clock);
    Timer outer(clock, firings.note("outer at 400 ms"));
    Timer inner(clock, firings.note("inner 100 ms after 50 ms"));
    Timer longer(clock, firings.note("longer: 500 ms after 50 ms"));
    Timer starter(clock, [&] {
        inner.start(100 * kNsPerMs);
        longer.start(500 * kNsPerMs);
    });
    outer.start(400 * kNsPerMs);
    starter.start(50 * kNsPerMs);
    EXPECT_TRUE(QTest::qWaitFor([&] { return firings.all().size() == 3; }, 3000));
    EXPECT_EQ(firings.names(), QStringList({"inner 100 ms after 50 ms", "outer at 400 ms",
                                            "longer: 500 ms after 50 ms"}));
    const auto& f = firings.all();
    ASSERT_EQ(f.size(), 3);
    EXPECT_GE(f[0].second, 150);
    EXPECT_GE(f[1].second, 400);
    EXPECT_LT(f[1].second, 400 + 300); // not held until the longer one
    EXPECT_GE(f[2].second, 550);
}

// Two timers due together, each stopping (or destroying) the other: the one
// that fires first wins, the other never fires although it was due.
TEST(TimerOnTheRealClock, ATimerStoppedWhileDueNeverFires) {
    RealClock clock;
    int fired = 0;
    std::unique_ptr<Timer> a, b;
    a = std::make_unique<Timer>(clock, [&] {
        ++fired;
        b->stop();
    });
    b = std::make_unique<Timer>(clock, [&] {
        ++fired;
        a.reset();
    });
    a->start(20 * kNsPerMs);
    b->start(20 * kNsPerMs);
    QTest::qWait(30); // both due before the loop looks at them
    QTest::qWait(100);
    EXPECT_EQ(fired, 1);
}

// Waiting for a timer sleeps in the event dispatcher.
TEST(TimerOnTheRealClock, WaitingSleepsRatherThanSpins) {
    RealClock clock;
    bool fired = false;
    Timer timer(clock, [&] { fired = true; });
    const double cpuBefore = CpuSeconds();
    timer.start(kNsPerSecond);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired; }, 3000));
    EXPECT_LT(CpuSeconds() - cpuBefore, 0.1);
}

// ---- The fake clock --------------------------------------------------------

/// When each timer fired, in ms on the fake clock after its start.
struct FakeFirings {
    explicit FakeFirings(FakeClock& c) : clock(c), startNs(c.monotonicNs()) {}
    FakeClock& clock;
    qint64 startNs;
    QStringList fired;
    std::function<void()> note(QString name) {
        return [this, name] {
            fired << QStringLiteral("%1@%2").arg(name).arg((clock.monotonicNs() - startNs) /
                                                           kNsPerMs);
        };
    }
};

TEST(TimerOnTheFakeClock, TimersFireInTheOrderTheyAreDueEachAtItsOwnMoment) {
    FakeClock clock;
    FakeFirings f(clock);
    Timer a(clock, f.note("a")), b(clock, f.note("b")), c(clock, f.note("c")),
        d(clock, f.note("d")), now(clock, f.note("now"));
    c.start(30 * kNsPerMs);
    a.start(10 * kNsPerMs);
    b.start(10 * kNsPerMs); // due with a: in the order started
    d.start(31 * kNsPerMs);
    now.start(0);
    EXPECT_TRUE(f.fired.isEmpty());
    clock.settle();
    EXPECT_EQ(f.fired, QStringList{"now@0"});
    clock.advanceMs(30);
    EXPECT_EQ(f.fired, QStringList({"now@0", "a@10", "b@10", "c@30"}));
    EXPECT_TRUE(d.isActive());
    EXPECT_EQ(clock.monotonicNs() - f.startNs, 30 * kNsPerMs);
    clock.advanceMs(1);
    EXPECT_EQ(f.fired.last(), "d@31");
}

// A timer started from a firing fires within the same step when it falls due
// in it, in order with the rest; one that restarts itself keeps its period.
TEST(TimerOnTheFakeClock, ATimerStartedFromAFiringWithinTheStepFiresToo) {
    FakeClock clock;
    FakeFirings f(clock);
    Timer inner(clock, f.note("inner"));
    Timer outer(clock, f.note("outer"));
    Timer starter(clock, [&] {
        f.note("starter")();
        inner.start(20 * kNsPerMs);
    });
    starter.start(10 * kNsPerMs);
    outer.start(25 * kNsPerMs);
    clock.advanceMs(100);
    EXPECT_EQ(f.fired, QStringList({"starter@10", "outer@25", "inner@30"}));

    f.fired.clear();
    f.startNs = clock.monotonicNs();
    int ticks = 0;
    std::unique_ptr<Timer> ticker;
    ticker = std::make_unique<Timer>(clock, [&] {
        f.note("tick")();
        if (++ticks < 4) ticker->start(250 * kNsPerMs);
    });
    ticker->start(250 * kNsPerMs);
    clock.advanceMs(2000);
    EXPECT_EQ(f.fired, QStringList({"tick@250", "tick@500", "tick@750", "tick@1000"}));
    EXPECT_EQ(clock.pending(), 0u);
}

TEST(TimerOnTheFakeClock, ATimerStoppedOrDestroyedWhileDueNeverFires) {
    FakeClock clock;
    FakeFirings f(clock);
    auto b = std::make_unique<Timer>(clock, f.note("b"));
    Timer c(clock, f.note("c"));
    Timer a(clock, [&] {
        f.note("a")();
        b.reset();
        c.stop();
    });
    a.start(10 * kNsPerMs);
    b->start(10 * kNsPerMs);
    c.start(10 * kNsPerMs);
    clock.advanceMs(50);
    EXPECT_EQ(f.fired, QStringList{"a@10"});
    EXPECT_EQ(clock.pending(), 0u);
}

// The wall clock moves with the monotonic one; setting it (a user changing
// the system clock) moves no timer.
TEST(TimerOnTheFakeClock, SettingTheWallClockMovesNoTimer) {
    const QDateTime start(QDate(2027, 3, 28), QTime(0, 59, 59));
    FakeClock clock(start);
    FakeFirings f(clock);
    Timer t(clock, f.note("t"));
    t.start(2 * kNsPerSecond);
    clock.advanceMs(1000);
    EXPECT_EQ(clock.localNow(), start.addSecs(1));
    clock.setLocalNow(start.addSecs(3600));
    clock.advanceMs(999);
    EXPECT_TRUE(f.fired.isEmpty());
    clock.advanceMs(1);
    EXPECT_EQ(f.fired, QStringList{"t@2000"});
    EXPECT_EQ(clock.localNow(), start.addSecs(3601));
}

} // namespace
} // namespace velmora
