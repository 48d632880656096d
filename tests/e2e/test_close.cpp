// Closing the panel's window ends the program at once with exit code 0,
// also while a playback waits for a later time stamp, and the record file
// keeps every line that was written.

#include "e2e/session.h"
#include "support/control_line.h"

#include <QDateTime>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>

namespace velmora::e2e {
namespace {

// The control file's text box in the settings window, in its client pixels.
constexpr int kControlFileX = 400, kControlFileY = 113;

using test::ControlLine;

// Closes the panel as a user does and checks what it leaves behind.
void CloseAndCheck(Session& s) {
    // Whatever the recorder has written before the close must stay.
    const QByteArray before = s.record();
    const auto closed = Clock::now();
    ASSERT_TRUE(SendDeleteWindow(s.window()));
    const int code = s.waitForPanelExit(2s);
    const long long tookMs = MsSince(closed);
    std::printf("ended %lld ms after the close\n", tookMs);
    EXPECT_EQ(code, 0) << "-1: still running, -2: crashed";
    EXPECT_LT(tookMs, 4000);
    const QByteArray after = s.record();
    EXPECT_TRUE(after.startsWith(before)) << "before:\n"
                                          << before.toStdString() << "after:\n"
                                          << after.toStdString();
    EXPECT_TRUE(ParseRecordFile(after).has_value()) << after.toStdString();
    EXPECT_FALSE(s.sim().waitForLine("command ", 1s)) << "a command went out after the close";
}

TEST(Close, ClosingTheWindowWhileRecordingEndsTheProgram) {
    Session s;
    ASSERT_TRUE(s.startRecordingPanel());
    ASSERT_TRUE(s.raiseToOneVolt());
    ASSERT_TRUE(WaitUntil([&] { return s.record().contains("\"01.0V\",\"0.10A\""); }, 3s))
        << s.record().toStdString();
    // A name typed into the open settings window is stored only when that
    // window closes; ending the program does not store it.
    const QByteArray storedBefore = ReadFile(s.path("config/Tarnholm.conf"));
    ASSERT_TRUE(Click(s.settingsWindow(), kControlFileX, kControlFileY));
    ASSERT_TRUE(Xdo({"key", "End", "x", "y", "z"}).has_value());
    Pause(200ms);
    CloseAndCheck(s);
    EXPECT_TRUE(s.record().contains("\"01.0V\",\"0.10A\"\r\n"));
    const QByteArray storedAfter = ReadFile(s.path("config/Tarnholm.conf"));
    EXPECT_TRUE(storedAfter.contains("Dat=" + s.controlFile().toUtf8() + "\n"))
        << storedAfter.toStdString();
    EXPECT_FALSE(storedAfter.contains("xyz")) << storedAfter.toStdString();
    EXPECT_TRUE(storedBefore.contains("Dat=" + s.controlFile().toUtf8() + "\n"));
}

TEST(Close, ClosingTheWindowWhilePlaybackWaitsForALaterStampEndsTheProgram) {
    Session s;
    const QDateTime now = QDateTime::currentDateTime();
    // The first record is due; the second not for an hour.
    ASSERT_TRUE(WriteFile(s.controlFile(), ControlLine(now.addSecs(-60), "02.0V", "0.25A") +
                                               ControlLine(now.addSecs(3600), "05.0V", "0.50A")));
    ASSERT_TRUE(s.startRecordingPanel());
    ASSERT_TRUE(s.clickPlayer());
    ASSERT_TRUE(s.waitForCommand("020 050")) << "the due record was not sent";
    ASSERT_TRUE(WaitUntil([&] { return s.record().contains("\"02.0V\",\"0.20A\""); }, 3s))
        << s.record().toStdString();
    Pause(300ms); // the player now waits for the later record
    CloseAndCheck(s);
    EXPECT_TRUE(s.record().contains("\"02.0V\",\"0.20A\"\r\n"));
}

// Ended while commands go out back to back (a playback of past lines): the
// command on the line is finished, so the unit gets no fragment it might
// join to the next command; nothing goes out after it.
class EndMidCommand : public testing::TestWithParam<int> {};

TEST_P(EndMidCommand, TheCommandOnTheLineGoesOutWhole) {
    Session s;
    QByteArray lines;
    for (int i = 0; i < 200; ++i)
        lines += ControlLine(QDateTime::currentDateTime().addSecs(-60), i % 2 ? "02.0V" : "03.0V",
                             "0.25A");
    ASSERT_TRUE(WriteFile(s.controlFile(), lines));
    ASSERT_TRUE(s.startPanel() && s.openSettings());
    ASSERT_TRUE(s.clickPlayer());
    ASSERT_FALSE(s.nextCommand().isEmpty()) << "the playback sent nothing";
    Pause(130ms);
    if (GetParam() == 0)
        ASSERT_TRUE(SendDeleteWindow(s.window()));
    else
        ASSERT_EQ(kill(pid_t(s.panelPid()), GetParam()), 0);
    EXPECT_EQ(s.waitForPanelExit(2s), 0) << "-1: still running, -2: crashed";
    // The unit reports a half command once its line has been quiet for 1 s.
    while (const auto line = s.sim().readLine(1500ms)) {
        EXPECT_EQ(line->rfind("skipped", 0), std::string::npos) << *line;
    }
}

INSTANTIATE_TEST_SUITE_P(Ends, EndMidCommand, testing::Values(0, SIGTERM, SIGINT, SIGHUP),
                         [](const testing::TestParamInfo<int>& info) {
                             switch (info.param) {
                             case SIGTERM:
                                 return std::string("sigterm");
                             case SIGINT:
                                 return std::string("sigint");
                             case SIGHUP:
                                 return std::string("sighup");
                             default:
                                 return std::string("window_closed");
                             }
                         });

} // namespace
} // namespace velmora::e2e
