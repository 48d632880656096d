// The wait every handler uses: it keeps events flowing, shares one deadline
// between nested waits, and sleeps instead of spinning.

#include "core/state.h"
#include "core/wait.h"
#include "support/cpu_time.h"

#include <QTimer>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

double Seconds(qint64 ns) {
    return double(ns) / 1e9;
}

using test::CpuSeconds;

TEST(WaitSeconds, HandlesEventsAtLeastOnceEvenWithNothingToWait) {
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    WaitSeconds(0);
    EXPECT_TRUE(ran);
    ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    WaitSeconds(-1);
    EXPECT_TRUE(ran);
}

TEST(WaitSeconds, WaitsAtLeastItsTimeAndNotMuchLonger) {
    for (double d : {0.01, 0.05, 0.3}) {
        const qint64 start = MonotonicNs();
        WaitSeconds(d);
        const double took = Seconds(MonotonicNs() - start);
        EXPECT_GE(took, d) << d;
        EXPECT_LT(took, d + 0.5) << d; // late under load, never early
    }
}

TEST(WaitSeconds, HandlesEventsThatArriveDuringTheWait) {
    int fired = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++fired; });
    ticker.start(20);
    WaitSeconds(0.3);
    EXPECT_GE(fired, 3);
}

TEST(WaitSeconds, AWaitInsideAWaitReplacesTheDeadlineAndEndsTheOuterOne) {
    // A release handled inside the press's wait waits on its own; when it
    // returns, the outer wait ends at its next check, whatever its deadline.
    const qint64 start = MonotonicNs();
    double innerEndedAt = 0;
    QTimer::singleShot(50, [&] {
        WaitSeconds(0.1);
        innerEndedAt = Seconds(MonotonicNs() - start);
    });
    WaitSeconds(5);
    const double outerEndedAt = Seconds(MonotonicNs() - start);
    EXPECT_GE(innerEndedAt, 0.15);
    EXPECT_LT(outerEndedAt, innerEndedAt + 1.0); // long before its own 5 s
}

TEST(WaitSeconds, ALongerInnerWaitHoldsTheOuterOneUntilItReturns) {
    const qint64 start = MonotonicNs();
    QTimer::singleShot(10, [] { WaitSeconds(0.3); });
    WaitSeconds(0.05);
    EXPECT_GE(Seconds(MonotonicNs() - start), 0.3);
}

TEST(WaitSeconds, SleepsRatherThanSpins) {
    const double cpuBefore = CpuSeconds();
    WaitSeconds(1.0);
    EXPECT_LT(CpuSeconds() - cpuBefore, 0.1);
}

TEST(WaitSeconds, DeadlineIsOnTheMonotonicClock) {
    const qint64 before = MonotonicNs();
    WaitSeconds(0.01);
    EXPECT_GE(Shared.WaitDeadline, before + 10'000'000);
    EXPECT_LE(Shared.WaitDeadline, MonotonicNs());
}

} // namespace
