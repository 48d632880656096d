// Holding the panel's buttons steps the real unit's output, and the record
// file follows what the unit then measures.

#include "e2e/session.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace velmora::e2e {
namespace {

TEST(Setpoints, HoldingPlusOneVoltRaisesTheOutputAndTheRecordFollows) {
    Session s;
    ASSERT_TRUE(s.startPanel()) << "the panel did not show its window";
    // Opening the settings window starts the set-points afresh, so it comes first.
    ASSERT_TRUE(s.openSettings()) << "no settings window after a click on the panel";
    ASSERT_TRUE(s.startRecording()) << "the recorder's Start made no record file";

    ASSERT_TRUE(s.raiseCurrent(5)) << "five clicks on +100 mA did not reach 0.5 A";
    // Steps at the press, after 0.5 s and after 1 s: three volts.
    ASSERT_TRUE(Hold(s.window(), kPlusOneVoltX, kPlusOneVoltY, 1200ms));
    const auto released = Clock::now();

    EXPECT_TRUE(s.waitForCommand("030 100")) << "the unit was not told 3.0 V, 0.5 A";
    ASSERT_TRUE(WaitUntil([&] { return s.record().contains("\"03.0V\""); }, 3s))
        << "record file:\n"
        << s.record().toStdString();
    const long long shownAfter = MsSince(released);
    std::printf("record shows 03.0V: %lld ms after the release\n", shownAfter);
    EXPECT_LT(shownAfter, 1000);

    EXPECT_TRUE(WaitUntil(
        [&] { return s.status().contains("set 3.0 V 0.500 A shown 03.0 V 0.30 A CV"); }, 2s))
        << s.status().toStdString();
    const auto lines = ParseRecordFile(s.record());
    ASSERT_TRUE(lines.has_value()) << s.record().toStdString();
    ASSERT_FALSE(lines->empty());
    EXPECT_EQ(lines->back().voltage, "03.0V");
    EXPECT_EQ(lines->back().current, "0.30A");
    EXPECT_TRUE(s.panelRunning());
}

} // namespace
} // namespace velmora::e2e
