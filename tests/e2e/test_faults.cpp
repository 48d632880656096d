// Spoilt, split and run-together frames from the unit: the panel resets its
// port, keeps running and shows, and records, the good frames that follow.

#include "e2e/session.h"

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>

namespace velmora::e2e {
namespace {

struct Fault {
    const char* name;
    std::vector<std::string> options;
    // The characters the unit may put where digits belong.
    const char* unitDigits;
    // Whether single good frames still come between the spoilt ones.
    bool goodFramesCome;
};

void PrintTo(const Fault& fault, std::ostream* out) {
    *out << fault.name;
}

class Faults : public testing::TestWithParam<Fault> {};

TEST_P(Faults, ThePanelRecoversAndRecordsTheNextGoodFrames) {
    const Fault& fault = GetParam();
    Session s(fault.options);
    ASSERT_TRUE(s.startRecordingPanel());

    ASSERT_TRUE(s.raiseToOneVolt());
    const bool shown = WaitUntil([&] { return s.record().contains("\"01.0V\",\"0.10A\""); },
                                 fault.goodFramesCome ? 4s : 1500ms);
    ASSERT_TRUE(s.clickRecorder()); // Stop
    Pause(200ms);
    const QByteArray recorded = s.record();
    std::printf("%s: %d lines\n%s", fault.name, int(recorded.count('\n')), recorded.constData());
    // A unit that sends every frame run together with the next sends no
    // block the panel can take: it then shows nothing, but must go on.
    if (fault.goodFramesCome) {
        EXPECT_TRUE(shown) << "no good frame of 1.0 V recorded";
    }
    EXPECT_TRUE(ParseRecordFile(recorded, fault.unitDigits).has_value()) << recorded.toStdString();
    EXPECT_TRUE(s.panelRunning());
}

INSTANTIATE_TEST_SUITE_P(
    Unit, Faults,
    testing::Values(Fault{"garble", {"--garble", "3"}, "[\\d?]", true},
                    Fault{"split", {"--split"}, "\\d", true},
                    Fault{"garble_split", {"--garble", "3", "--split"}, "[\\d?]", true},
                    Fault{"join", {"--join"}, "\\d", false},
                    Fault{"all", {"--garble", "3", "--split", "--join"}, "[\\d?]", false}),
    [](const testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

// A unit at the line's full rate, 80 frames a second with no gap between
// them, whole or in the pieces a UART's FIFO or a USB adapter hands over:
// numbered frames all differ, so every frame shown is a line recorded.
class FullRate : public testing::TestWithParam<const char*> {};

TEST_P(FullRate, FramesBackToBackAreShownAndRecorded) {
    std::vector<std::string> options{"--rate", "80", "--count"};
    if (std::string(GetParam()) != "12") options.insert(options.end(), {"--pieces", GetParam()});
    Session s(options);
    ASSERT_TRUE(s.startRecordingPanel());
    Pause(4s);
    ASSERT_TRUE(s.clickRecorder()); // Stop
    Pause(200ms);
    const auto lines = ParseRecordFile(s.record());
    ASSERT_TRUE(lines.has_value()) << s.record().toStdString();
    ASSERT_GE(lines->size(), 2u);
    // The frame numbers of the first and last lines give the frames sent.
    long sent = 1;
    for (std::size_t i = 1; i < lines->size(); ++i) {
        const auto number = [&](std::size_t k) {
            return QByteArray((*lines)[k].current).replace(".", "").left(3).toLong();
        };
        sent += (number(i) - number(i - 1) + 1000) % 1000;
    }
    const double shown = double(lines->size()) / double(sent);
    std::printf("pieces of %s: %zu of %ld frames shown and recorded (%.1f %%)\n", GetParam(),
                lines->size(), sent, 100.0 * shown);
    EXPECT_GE(shown, 0.95);
    EXPECT_TRUE(s.panelRunning());
}

INSTANTIATE_TEST_SUITE_P(Pieces, FullRate, testing::Values("12", "8", "16", "1"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string("of_") + info.param;
                         });

// The unit's link pulled (the simulated unit ends and takes its link away)
// and put back (a new unit on the same link): the panel opens it again by
// itself and records on into the same file; also when the panel started
// before the unit was there.
TEST(Reattach, ThePortOpensAgainByItselfAndRecordingGoesOn) {
    for (const bool startedFirst : {false, true}) {
        SCOPED_TRACE(startedFirst ? "panel started before the unit" : "unit pulled and put back");
        PanelRun run;
        // Numbered frames all differ, so each frame shown is a line recorded.
        const std::vector<std::string> unit{"--rate", "20", "--count", "--link",
                                            run.link().toStdString()};
        auto sim = std::make_unique<test::SimProcess>(unit);
        if (startedFirst) sim.reset();
        ASSERT_TRUE(run.startRecordingPanel());
        if (!startedFirst) {
            ASSERT_TRUE(WaitUntil([&] { return run.record().contains("\"00.0V\""); }, 3s));
            sim->signal(SIGTERM);
            ASSERT_EQ(sim->waitForExit(3s), 0);
            Pause(1s);
        }
        const QByteArray before = run.record();
        sim = std::make_unique<test::SimProcess>(unit);
        const auto back = Clock::now();
        ASSERT_TRUE(WaitUntil([&] { return run.record().size() > before.size(); }, 3s))
            << run.record().toStdString();
        std::printf("recording again %lld ms after the unit came back\n", MsSince(back));
        EXPECT_LT(MsSince(back), 2500);
        EXPECT_TRUE(run.record().startsWith(before));
        EXPECT_TRUE(ParseRecordFile(run.record()).has_value());
        run.killPanel();
    }
}

// A panel that cannot read for a while (stopped here, busy elsewhere) finds
// several frames waiting at once: it resets the port and shows the next
// good frame that comes after.
TEST(Stall, FramesRunTogetherWhileThePanelIsStoppedAreDroppedAndTheNextShows) {
    Session s;
    ASSERT_TRUE(s.startRecordingPanel());
    ASSERT_TRUE(s.raiseToOneVolt());
    // The output needs 50 ms to get near 1 V: stopped now, the panel has not
    // seen it yet, and finds all the frames of the change waiting together.
    const auto pid = static_cast<pid_t>(s.panel().processId());
    ASSERT_EQ(kill(pid, SIGSTOP), 0);
    Pause(400ms);
    const bool seenBefore = s.record().contains("\"01.0V\"");
    ASSERT_EQ(kill(pid, SIGCONT), 0);
    const auto resumed = Clock::now();
    EXPECT_FALSE(seenBefore);
    ASSERT_TRUE(WaitUntil([&] { return s.record().contains("\"01.0V\",\"0.10A\""); }, 3s))
        << s.record().toStdString();
    std::printf("the next good frame recorded %lld ms after the panel went on\n", MsSince(resumed));
    EXPECT_TRUE(ParseRecordFile(s.record()).has_value()) << s.record().toStdString();
    EXPECT_TRUE(s.panelRunning());
}

} // namespace
} // namespace velmora::e2e
