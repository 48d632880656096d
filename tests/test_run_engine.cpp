// The run engine on a fake clock with a fake door: conditions held over
// frames in a row, unreadable frames, the next command asked for inside the
// frame that ends a step, timeouts, stops and the link away, sweeps' points,
// nested repeats, and the zero at every end.

#include "runs/run_check.h"
#include "runs/run_engine.h"
#include "support/fake_clock.h"
#include "support/print_qt.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using Setpoint = std::pair<int, int>;
constexpr Regulation CV = Regulation::ConstantVoltage;
constexpr Regulation CC = Regulation::ConstantCurrent;

// An engine on a fake clock whose door queues everything, unless told to
// refuse, and lets a command out when the test says so.
struct Rig {
    explicit Rig(RunSettings settings = {}) : engine(clock, Host(), settings) {}

    RunHost Host() {
        return {[this](int mv, int ma, std::function<void()> sent) -> QString {
                    if (!refusal.isEmpty()) return refusal;
                    sends.push_back({mv, ma});
                    waiting.push_back(std::move(sent));
                    return {};
                },
                [this] { ++zeros; }, [this](const RunEvent& e) { events << e.text(); }};
    }
    bool start(const char* text) {
        const RunVerdict verdict = CheckRunText(text, {});
        EXPECT_TRUE(verdict.ok()) << verdict.lines().join('\n').toStdString();
        return engine.start(verdict.program);
    }
    // Every command asked for has gone out.
    void out() {
        auto sent = std::move(waiting);
        waiting.clear();
        for (auto& done : sent)
            done();
    }
    void frame(int decivolts, int centiamps, Regulation regulation = CV) {
        engine.take(
            {clock.monotonicNs(), clock.epochMs(), Values{decivolts, centiamps}, regulation});
    }
    void unreadable() { engine.take({clock.monotonicNs(), clock.epochMs(), std::nullopt, CV}); }
    // Lets commands out and time pass in 100 ms frames until the run ends.
    void runOut(int decivolts, int centiamps, int most = 1000) {
        for (int i = 0; i < most && engine.state() == RunState::Running; ++i) {
            out();
            clock.advanceMs(100);
            frame(decivolts, centiamps);
        }
    }

    test::FakeClock clock;
    std::vector<Setpoint> sends;
    std::vector<std::function<void()>> waiting;
    int zeros = 0;
    QStringList events;
    QString refusal;
    RunEngine engine;
};

TEST(RunEngine, AConditionHoldsOnFramesInARowAndUnreadableOnesCountNeitherWay) {
    const struct {
        const char* frames; // y: true, n: false, ?: unreadable
        int frameCount;
        int endsAfter; // frames given when the step ends; 0: it does not
    } cases[] = {
        {"yyy", 3, 3}, {"yynyyy", 3, 6}, {"yy?y", 3, 4},       {"y?n?yy?y", 3, 8}, {"nnnnnn", 3, 0},
        {"y", 1, 1},   {"ny", 1, 2},     {"yyyy?yyyyn", 5, 6}, {"??????", 1, 0},   {"yyn", 3, 0},
    };
    for (const auto& c : cases) {
        RunSettings settings;
        settings.frames = c.frameCount;
        Rig rig(settings);
        ASSERT_TRUE(rig.start("set 4.2 V 0.5 A until I < 0.05 A\nrest 1 s"));
        rig.out();
        int endedAfter = 0;
        for (int i = 0; c.frames[i] && !endedAfter; ++i) {
            rig.clock.advanceMs(100);
            if (c.frames[i] == '?')
                rig.unreadable();
            else
                rig.frame(42, c.frames[i] == 'y' ? 4 : 5);
            if (!rig.engine.endedSteps().empty()) endedAfter = i + 1;
        }
        EXPECT_EQ(endedAfter, c.endsAfter) << c.frames << " in rows of " << c.frameCount;
    }
}

TEST(RunEngine, AsksForTheNextCommandInsideTheFrameThatEndsAStep) {
    Rig rig;
    ASSERT_TRUE(rig.start("set 4.2 V 0.5 A until I < 0.05 A\nrest 1 s"));
    EXPECT_EQ(rig.sends, std::vector<Setpoint>({{4200, 500}}));
    rig.out();
    for (int i = 0; i < 2; ++i) {
        rig.clock.advanceMs(100);
        rig.frame(42, 4);
    }
    EXPECT_EQ(rig.sends.size(), 1u);
    rig.clock.advanceMs(100);
    const int timersBefore = int(rig.clock.pending());
    rig.frame(42, 4); // no time passes, no timer fires: the take() itself asks
    EXPECT_EQ(rig.sends, std::vector<Setpoint>({{4200, 500}, {0, 0}}));
    EXPECT_EQ(int(rig.clock.pending()), timersBefore - 1) << "the timeout is stopped";
    EXPECT_EQ(rig.events, QStringList({"step 1 started: set 4.2 V 0.5 A until I < 0.05 A (line 1)",
                                       "step 1 ended: I < 0.05 A held 3 frames at 0.3 s, 0.002 mAh",
                                       "step 2 started: rest 1 s (line 2)"}));
    const RunStatus status = rig.engine.status();
    EXPECT_EQ(status.step, 2);
    EXPECT_EQ(status.waitingFor, "its command to go out");
}

TEST(RunEngine, HoldsCountFromTheCommandGoingOut) {
    Rig rig;
    ASSERT_TRUE(rig.start("set 1 V 0.1 A for 1 s\nrest 2 s"));
    rig.clock.advanceMs(500); // the command is still on the line
    EXPECT_EQ(rig.sends.size(), 1u);
    rig.out();
    rig.clock.advanceMs(999);
    EXPECT_EQ(rig.sends.size(), 1u);
    EXPECT_EQ(rig.engine.status().waitingFor, "the hold to end, 0.0 s left");
    rig.clock.advanceMs(1);
    EXPECT_EQ(rig.sends, std::vector<Setpoint>({{1000, 100}, {0, 0}}));
    rig.out();
    rig.clock.advanceMs(2000);
    EXPECT_EQ(rig.engine.state(), RunState::Done);
    EXPECT_EQ(rig.zeros, 1);
    EXPECT_EQ(
        rig.events.mid(1),
        QStringList({"step 1 ended: held 1 s, 0.000 mAh", "step 2 started: rest 2 s (line 2)",
                     "step 2 ended: rested 2 s", "run done: every step ended as the file says"}));
}

TEST(RunEngine, RunsNestedRepeatsInOrder) {
    Rig rig;
    ASSERT_TRUE(rig.start("repeat 2\n repeat 3\n  set 1 V 0.1 A for 1 s\n end\n"
                          " set 2 V 0.2 A for 1 s\nend\nrest 1 s\n"));
    rig.runOut(10, 10);
    const Setpoint a{1000, 100}, b{2000, 200}, rest{0, 0};
    EXPECT_EQ(rig.sends, std::vector<Setpoint>({a, a, a, b, a, a, a, b, rest}));
    EXPECT_EQ(rig.engine.state(), RunState::Done);
    EXPECT_EQ(rig.engine.endedSteps().size(), 9u);
    EXPECT_EQ(rig.engine.endedSteps().back().line, 7);
    EXPECT_EQ(rig.zeros, 1);
}

TEST(RunEngine, ATimeoutFailsTheRun) {
    const struct {
        const char* text;
        qint64 defaultTimeoutMs;
        QString reason;
        QString stepEnded;
    } cases[] = {
        {"set 4.2 V 0.5 A until CV timeout 2 s\nrest 1 s", 24 * 3'600'000,
         "run failed: step 1 timed out after 2 s",
         "step 1 ended: timed out after 2 s at 2.0 s, 0.250 mAh"},
        {"rest 1 s\nset 4.2 V 0.5 A until CV", 1500, "run failed: step 2 timed out after 1.5 s",
         "step 2 ended: timed out after 1.5 s at 1.5 s, 0.194 mAh"},
    };
    for (const auto& c : cases) {
        RunSettings settings;
        settings.defaultTimeoutMs = c.defaultTimeoutMs;
        Rig rig(settings);
        ASSERT_TRUE(rig.start(c.text));
        for (int i = 0; i < 100 && rig.engine.state() == RunState::Running; ++i) {
            rig.out();
            rig.clock.advanceMs(100);
            rig.frame(30, 50, CC);
        }
        EXPECT_EQ(rig.engine.state(), RunState::Failed) << c.text;
        EXPECT_EQ(rig.zeros, 1) << c.text;
        ASSERT_GE(rig.events.size(), 2);
        EXPECT_EQ(rig.events.last(), c.reason);
        EXPECT_EQ(rig.events[rig.events.size() - 2], c.stepEnded);
        EXPECT_TRUE(rig.engine.endedSteps().back().failed);
    }
}

TEST(RunEngine, EndsAsFailedWithTheReasonOfAStopAndZeroesOnce) {
    for (const char* reason :
         {"Zero output", "Output zeroed: current 1.23 A above 1.00 A for 3 frames",
          "the off-timer ran out", "the watchdog of client 127.0.0.1:4711", "signal SIGTERM",
          "stopped by remote control"}) {
        Rig rig;
        ASSERT_TRUE(rig.start("set 5 V 0.1 A for 10 s"));
        rig.out();
        rig.clock.advanceMs(300);
        rig.engine.stop(reason);
        EXPECT_EQ(rig.engine.state(), RunState::Failed);
        EXPECT_EQ(rig.engine.outcome().reason, reason);
        EXPECT_EQ(rig.zeros, 1);
        EXPECT_EQ(rig.events.mid(1),
                  QStringList({QStringLiteral("step 1 ended: stopped: %1 at 0.3 s, "
                                              "0.000 mAh")
                                   .arg(reason),
                               QStringLiteral("run failed: ") + reason}));
        rig.engine.stop("again");
        rig.out(); // a command that goes out late changes nothing
        rig.clock.advanceMs(20'000);
        EXPECT_EQ(rig.zeros, 1);
        EXPECT_EQ(rig.events.size(), 3);
    }
}

TEST(RunEngine, TheLinkAwayForMoreThanFiveSecondsFailsTheRun) {
    Rig rig;
    ASSERT_TRUE(rig.start("set 5 V 0.1 A for 1 h"));
    rig.out();
    rig.engine.linkAway(true);
    rig.clock.advanceMs(4900);
    rig.engine.linkAway(false);
    rig.clock.advanceMs(1000);
    EXPECT_EQ(rig.engine.state(), RunState::Running);
    rig.engine.linkAway(true);
    rig.engine.linkAway(true); // told again: the first time counts
    rig.clock.advanceMs(4999);
    EXPECT_EQ(rig.engine.state(), RunState::Running);
    rig.clock.advanceMs(1);
    EXPECT_EQ(rig.engine.state(), RunState::Failed);
    EXPECT_EQ(rig.events.last(), "run failed: the link was away for more than 5 s");
    EXPECT_EQ(rig.zeros, 1);
}

TEST(RunEngine, ARefusalOfTheDoorFailsTheRunAndSendsNothingMore) {
    Rig rig;
    rig.refusal = "a protection trip holds the output at zero";
    ASSERT_TRUE(rig.start("set 5 V 0.1 A for 1 s\nrest 1 s"));
    EXPECT_TRUE(rig.sends.empty());
    EXPECT_EQ(rig.engine.state(), RunState::Failed);
    EXPECT_EQ(rig.zeros, 1);
    EXPECT_EQ(rig.events.mid(1),
              QStringList({"step 1 ended: refused: a protection trip holds the output at zero",
                           "run failed: step 1 refused: a protection trip holds the output at "
                           "zero"}));
    EXPECT_FALSE(rig.engine.start({})) << "a program with no step";
}

TEST(RunEngine, ASweepTakesEachPointFromTheLastHalfOfItsDwell) {
    Rig rig;
    ASSERT_TRUE(rig.start("sweep V 3 V to 1 V step 1 V current 0.5 A dwell 1 s"));
    // Per point, ten frames 100 ms apart: the first four are not settled.
    for (int point = 0; point < 3; ++point) {
        rig.out();
        for (int i = 1; i <= 10 && rig.engine.state() == RunState::Running; ++i) {
            rig.clock.advanceMs(100);
            if (i < 5)
                rig.frame(99, 99, CC);
            else if (i == 7)
                rig.unreadable();
            else
                rig.frame(10 * (3 - point) + i % 2, 20 + point, i % 3 == 0 ? CC : CV);
        }
    }
    EXPECT_EQ(rig.sends, std::vector<Setpoint>({{3000, 500}, {2000, 500}, {1000, 500}}));
    EXPECT_EQ(rig.engine.state(), RunState::Done);
    const struct {
        int set;
        int frames;
        double volts, amps;
        Regulation regulation;
    } expected[] = {
        {3000, 4, 3.05, 0.20, CV}, // frames 5, 6, 8, 9: 31 30 30 31; CC at 6 and 9
        {2000, 4, 2.05, 0.21, CV},
        {1000, 4, 1.05, 0.22, CV},
    };
    const std::vector<SweepPoint>& points = rig.engine.sweepPoints();
    ASSERT_EQ(points.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(points[i].set, expected[i].set);
        EXPECT_EQ(points[i].frames, expected[i].frames);
        EXPECT_DOUBLE_EQ(points[i].volts, expected[i].volts);
        EXPECT_DOUBLE_EQ(points[i].amps, expected[i].amps);
        EXPECT_EQ(points[i].regulation, expected[i].regulation);
    }
    EXPECT_EQ(rig.events[1], "step 1 ended: 3 points swept, 0.412 mAh");
}

TEST(RunEngine, TellsWhatTheStepWaitsFor) {
    RunSettings settings;
    settings.frames = 3;
    Rig rig(settings);
    ASSERT_TRUE(rig.start("set 4.2 V 0.5 A until I < 0.05 A or CV timeout 1 h\n"
                          "sweep V 1 V to 2 V step 1 V current 0.5 A dwell 2 s"));
    rig.out();
    rig.clock.advanceMs(100);
    rig.frame(40, 50, CC);
    rig.clock.advanceMs(100);
    rig.frame(41, 4, CC);
    RunStatus status = rig.engine.status();
    EXPECT_EQ(status.state, RunState::Running);
    EXPECT_EQ(status.stepText, "set 4.2 V 0.5 A until I < 0.05 A or CV timeout 1 h");
    EXPECT_EQ(status.elapsedNs, 200'000'000);
    EXPECT_EQ(status.waitingFor, "I < 0.05 A or CV (1 of 3 frames); timeout in 01:00:00");
    rig.frame(42, 4, CV);
    rig.frame(42, 4, CV);
    rig.out();
    rig.clock.advanceMs(500);
    status = rig.engine.status();
    EXPECT_EQ(status.step, 2);
    EXPECT_EQ(status.line, 2);
    EXPECT_EQ(status.waitingFor, "point 1 of 2, 1.5 s left");
}

} // namespace
} // namespace velmora
