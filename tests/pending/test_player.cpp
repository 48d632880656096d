// Playback: the control file's records go to the unit as set-point commands,
// each in the second its stamp names, through a pseudo-terminal.

#include "core/clock.h"
#include "core/limits.h"
#include "core/settings_store.h"
#include "core/state.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "panel/form1.h"
#include "plot/plot_view.h"
#include "plot/plot_window.h"
#include "recorder/channels.h"
#include "recorder/playback_progress.h"
#include "recorder/player.h"
#include "recorder/recorder.h"
#include "recorder/wall_time.h"
#include "settings/form2.h"
#include "settings/start_stop.h"
#include "support/control_line.h"
#include "support/message_catcher.h"
#include "support/panel_on_pty.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace velmora;

namespace {

using test::Stamp;
constexpr auto Line = test::ControlLine;

const QDateTime kPast(QDate(2020, 1, 2), QTime(3, 4, 5));

// A command as it arrived on the line, and when its first byte came.
struct Arrival {
    QByteArray bytes;
    QDateTime at;
};

class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("run.dat");
        button.setText("Start");
        ASSERT_TRUE(panel.openCom2());
        Shared.CurrentLimit = 2500;
        // Reads the unit's end while the player runs, so each command's
        // arrival is seen as it happens.
        reader.setInterval(1);
        QObject::connect(&reader, &QTimer::timeout, [this] { Collect(); });
        reader.start();
    }
    void TearDown() override {
        ClosePort();
        CloseAllChannels();
        SetClockForTesting({});
    }
    void Collect() {
        const QByteArray bytes = pty.readAvailable();
        for (const char c : bytes) {
            if (arrivals.isEmpty() || arrivals.last().bytes.size() == 8)
                arrivals.append({QByteArray(), QDateTime::currentDateTime()});
            arrivals.last().bytes.append(c);
        }
    }
    void Write(const QByteArray& contents) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
    }
    // Plays the file; returns everything the unit received.
    QByteArray Play(const QString& name) {
        PlayerButton_Click(&button, name);
        Collect();
        QByteArray all;
        for (const Arrival& a : arrivals)
            all += a.bytes;
        return all;
    }
    QByteArray Play() { return Play(path); }
    void ExpectIdle() {
        EXPECT_EQ(button.text(), "Start");
        EXPECT_FALSE(ChannelIsOpen(ControlChannel));
        EXPECT_FALSE(Shared.PlaybackStop);
        EXPECT_FALSE(PlaybackRunning());
    }

    QTemporaryDir dir;
    QString path;
    QPushButton button;
    test::MessageCatcher messages;
    test::PanelOnPty panel;
    test::PtyPair& pty = panel.pty;
    QTimer reader;
    QList<Arrival> arrivals;
};

} // namespace

TEST_F(PlayerTest, SendsEachRecordAsTheModelWantsIt) {
    struct Case {
        qint16 currentLimit;
        const char* voltage;
        const char* current;
        QByteArray sent;
        UserLimits user = {}; // the user's own limits for the model
    };
    const Case cases[] = {
        {2500, "12.3V", "1.23A", QByteArray::fromHex("31 32 33 0D 31 32 33 0D")},
        {1000, "12.3V", "1.23A", QByteArray::fromHex("31 32 33 0D 32 34 36 0D")},
        {2500, "00.5V", "0.05A", "005\r005\r"},
        {1000, "00.5V", "0.05A", "005\r010\r"},
        {2500, "05.0V", "0.00A", "050\r000\r"},
        {1000, "05.0V", "0.00A", "050\r000\r"},
        {1000, "12.3V", "2.50A", "123\r500\r"},
        {1000, "12.3V", "5.00A", ""}, // would not be an eight-character command
        {2500, "12,3V", "1,23A", "123\r123\r"},
        // Past the user's own limits: skipped whole, never clamped.
        {2500, "12.3V", "1.23A", "", {12000, {}}},
        {2500, "12.0V", "1.23A", "120\r123\r", {12000, {}}},
        {1000, "05.0V", "0.50A", "", {{}, 400}},
        {1000, "05.0V", "0.40A", "050\r080\r", {{}, 400}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.voltage) + " " + c.current + " on " +
                     std::to_string(c.currentLimit));
        arrivals.clear();
        Shared.CurrentLimit = c.currentLimit;
        SaveUserLimits(CurrentModel(), c.user);
        Write(Line(kPast, c.voltage, c.current));
        EXPECT_EQ(Play(), c.sent);
        ExpectIdle();
    }
    EXPECT_TRUE(messages.messages().isEmpty());
}

TEST_F(PlayerTest, PastRecordsGoOutBackToBackInFileOrder) {
    const QByteArray file =
        Line(kPast.addDays(1), "01.0V", "0.10A") + Line(kPast, "02.0V", "0.20A") +
        Line(QDateTime(QDate(2021, 5, 6), QTime(0, 0)), "03.0V", "0.30A").replace(" 00:00:00", "");
    // Files from other systems end their lines in LF or in CR alone.
    for (const char* lineEnd : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(QByteArray(lineEnd).toHex().toStdString());
        arrivals.clear();
        Write(QByteArray(file).replace("\r\n", lineEnd));
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(Play(), "010\r010\r020\r020\r030\r030\r");
        EXPECT_LT(clock.elapsed(), 1000);
        ExpectIdle();
    }
}

TEST_F(PlayerTest, FutureRecordsGoOutInTheirSeconds) {
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime first = now.addSecs(1), second = now.addSecs(2);
    Write(Line(first, "01.0V", "0.10A") + Line(second, "02.0V", "0.20A"));
    EXPECT_EQ(Play(), "010\r010\r020\r020\r");
    ASSERT_EQ(arrivals.size(), 2);
    const QDateTime stamps[] = {first, second};
    for (int i = 0; i < 2; ++i) {
        const qint64 start = stamps[i].toSecsSinceEpoch() * 1000;
        const qint64 came = arrivals[i].at.toMSecsSinceEpoch();
        EXPECT_GE(came, start) << i;
        EXPECT_LT(came, start + 1000) << i;
    }
    ExpectIdle();
}

TEST_F(PlayerTest, StopWhileWaitingSendsNothingMore) {
    const QDateTime now = QDateTime::currentDateTime();
    Write(Line(kPast, "01.0V", "0.10A") + Line(now.addSecs(2), "02.0V", "0.20A") +
          Line(kPast, "03.0V", "0.30A"));
    QString captionAfterStop;
    QTimer::singleShot(300, [&] {
        PlayerButton_Click(&button, path);
        captionAfterStop = button.text();
        EXPECT_FALSE(ChannelIsOpen(ControlChannel));
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Play(), "010\r010\r");
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(captionAfterStop, "Start");
    ExpectIdle();
}

// Under the button: what a run came to, and StopPlayback as any caller
// (not only the button) ends a run.
TEST_F(PlayerTest, PlayAndStopReportWhatTheyCameTo) {
    const PlaybackEnd refused = PlayControlFile(QStringLiteral("no such file.dat"));
    EXPECT_EQ(refused.outcome, PlaybackOutcome::Refused);
    EXPECT_EQ(refused.refusal, "Error opening file: no such file.dat");
    EXPECT_TRUE(messages.messages().isEmpty()); // the caller shows it

    Write(Line(kPast, "01.0V", "0.10A") +
          Line(QDateTime::currentDateTime().addSecs(30), "02.0V", "0.20A"));
    PlaybackOutcome nested = PlaybackOutcome::Finished;
    QTimer::singleShot(300, [&] {
        nested = PlayControlFile(path).outcome; // one run at a time
        StopPlayback();
    });
    const PlaybackEnd end = PlayControlFile(path);
    Collect();
    EXPECT_EQ(end.outcome, PlaybackOutcome::Finished);
    EXPECT_EQ(nested, PlaybackOutcome::Busy);
    ASSERT_EQ(arrivals.size(), 1);
    EXPECT_EQ(arrivals[0].bytes, "010\r010\r");
    EXPECT_FALSE(PlaybackRunning());
    EXPECT_FALSE(ChannelIsOpen(ControlChannel));
    EXPECT_FALSE(Shared.PlaybackStop);
}

// With the line away every command is lost, but each still takes its time:
// the run keeps its pace, the window answers, and Stop is seen at once.
TEST_F(PlayerTest, ALineAwayKeepsThePaceAndStopIsSeenAtOnce) {
    QByteArray lines;
    for (int i = 0; i < 1000; ++i)
        lines += Line(kPast, "01.0V", "0.10A");
    Write(lines);
    ClosePort();
    QElapsedTimer clock;
    qint64 stoppedAt = -1;
    QTimer::singleShot(300, [&] {
        stoppedAt = clock.elapsed();
        PlayerButton_Click(&button, path);
    });
    clock.start();
    EXPECT_EQ(Play(), "");
    EXPECT_GE(stoppedAt, 0) << "the run ended before Stop: it did not keep its pace";
    EXPECT_LT(clock.elapsed() - stoppedAt, 200);
    ExpectIdle();
}

TEST_F(PlayerTest, ClosingTheSettingsWindowEndsTheRun) {
    Write(Line(QDateTime::currentDateTime().addSecs(2), "02.0V", "0.20A"));
    auto* player = new QPushButton("Start");
    QPointer<QPushButton> alive(player);
    QTimer::singleShot(200, [&] {
        // What the window's closing steps do, and then the window is gone.
        Shared.PlaybackStop = true;
        CloseChannel(ControlChannel);
        delete player;
    });
    QElapsedTimer clock;
    clock.start();
    PlayerButton_Click(player, path);
    Collect();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(arrivals.isEmpty());
    EXPECT_FALSE(alive);
    EXPECT_FALSE(ChannelIsOpen(ControlChannel));
    EXPECT_FALSE(Shared.PlaybackStop);
}

TEST_F(PlayerTest, WindowReopenedDuringTheWaitStillEndsTheRun) {
    Write(Line(QDateTime::currentDateTime().addSecs(2), "02.0V", "0.20A"));
    QTimer::singleShot(200, [&] {
        Shared.PlaybackStop = true; // closing steps
        CloseChannel(ControlChannel);
        Shared.PlaybackStop = false; // opening steps of the next window
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Play(), "");
    EXPECT_LT(clock.elapsed(), 1000);
    ExpectIdle();
}

TEST_F(PlayerTest, StartDuringAStoppedSendIsRefused) {
    Write(Line(kPast, "01.0V", "0.10A") + Line(kPast, "02.0V", "0.20A"));
    bool runningInside = false;
    QString captionInside;
    // Fires while the first command is on the line (eight characters, 10 ms apart).
    QTimer::singleShot(30, [&] {
        PlayerButton_Click(&button, path); // Stop
        PlayerButton_Click(&button, path); // Start again: the stopped run has not ended
        runningInside = PlaybackRunning();
        captionInside = button.text();
    });
    EXPECT_EQ(Play(), "010\r010\r"); // the command under way is completed, no more
    EXPECT_TRUE(runningInside);
    EXPECT_EQ(captionInside, "Start");
    ExpectIdle();
    arrivals.clear();
    EXPECT_EQ(Play(), "010\r010\r020\r020\r"); // and a Start after it ends plays again
}

TEST_F(PlayerTest, OpenFailuresNameTheFileAsTyped) {
    // A pipe would block the open until someone writes to it.
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600), 0);
    const QString names[] = {
        "no such file.dat", "", dir.filePath("missing.dat"), dir.filePath("pipe"), dir.path(),
        // a file there, behind more "./" steps than a path may hold
        dir.filePath(QStringLiteral("./").repeated(2100) + QFileInfo(path).fileName())};
    Write(Line(kPast, "01.0V", "0.10A"));
    for (const QString& name : names) {
        SCOPED_TRACE(name.left(100).toStdString());
        messages.clear();
        EXPECT_EQ(Play(name), "");
        ASSERT_EQ(messages.messages().size(), 1);
        EXPECT_EQ(messages.messages()[0].text, "Error opening file: " + name);
        EXPECT_EQ(messages.messages()[0].title, "Velmora");
        EXPECT_EQ(button.text(), "Start");
        EXPECT_FALSE(ChannelIsOpen(ControlChannel));
    }
}

TEST_F(PlayerTest, GarbageLinesAreSkippedWithoutWaiting) {
    QByteArray garbage =
        "\r\n\r\ngarbage\r\n#2020-01-02#,\"12.3V\"\r\n#soon#,\"12.3V\",\"1.23A\"\r\n"
        "#2020-01-02#,\"1\",\"1.23A\"\r\n#2020-01-02#,\"12.3V\",\"1.2\"\r\n"
        "#2020-01-02#,\"ab.cV\",\"1.23A\"\r\n#2020-01-02 10:00:00#\r\n,,\r\n"
        // Dated far ahead, but no command can be made of them: not waited for.
        "#2099-01-01 00:00:00#,\"1\",\"1.23A\"\r\n#2099-01-01#,\"ab.cV\",\"1.23A\"\r\n"
        "#2099-01-01#,\"12.3V\",\"1.2\"\r\n"
        "#2020-01-02#,\"12.3V\",\"1.23A\""; // a last line without its line end counts
    for (int i = 0; i < 2000; ++i)
        garbage.prepend("x,y,z\r\n");
    Write(garbage);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Play(), "123\r123\r");
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(messages.messages().isEmpty());
    ExpectIdle();
}

TEST_F(PlayerTest, EmptyFileFinishesAtOnce) {
    Write("");
    EXPECT_EQ(Play(), "");
    ExpectIdle();
}

TEST_F(PlayerTest, NoModelShowsOneMessagePerRecord) {
    Shared.CurrentLimit = 1234;
    Write(Line(kPast, "01.0V", "0.10A") + "garbage\r\n" + Line(kPast, "02.0V", "0.20A"));
    EXPECT_EQ(Play(), "");
    ASSERT_EQ(messages.messages().size(), 2);
    for (const auto& message : messages.messages()) {
        EXPECT_EQ(message.title, "Error:");
        EXPECT_EQ(message.text, "Power supply version not defined.");
    }
    ExpectIdle();
}

TEST_F(PlayerTest, ALeftoverStopRequestDoesNotStopTheNextRun) {
    Shared.PlaybackStop = true;
    Write(Line(kPast, "01.0V", "0.10A"));
    EXPECT_EQ(Play(), "010\r010\r");
    ExpectIdle();
}

TEST_F(PlayerTest, ARecordingPlaysBackAsRecorded) {
    QPushButton recorder("Start");
    const QString recording = dir.filePath("rec.log");
    RecorderButton_Click(&recorder, recording);
    ASSERT_EQ(recorder.text(), "Stop");
    SetClockForTesting([] { return QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)); });
    WriteRecord("12,3V", "1,23A");
    SetClockForTesting([] { return QDateTime(QDate(2024, 3, 6), QTime(0, 0, 0)); });
    WriteRecord("05,0V", "0,40A");
    RecorderButton_Click(&recorder, recording);
    SetClockForTesting({});
    EXPECT_EQ(Play(recording), "123\r123\r050\r040\r");
    ExpectIdle();
}

TEST(PlaybackStatus, SaysHowFarTheRunHasCome) {
    const qint64 now = 1'000'000;
    struct Case {
        int sent, total;
        std::optional<qint64> nextAt;
        bool running;
        const char* text;
    };
    const Case cases[] = {
        {3, 12, now + 252, true, "ctl.dat: 3 of 12 sent, next in 00:04:12"},
        {3, 12, now - 5, true, "ctl.dat: 3 of 12 sent, next now"},
        {12, 12, std::nullopt, true, "ctl.dat: 12 of 12 sent, nothing more to send"},
        {0, 0, std::nullopt, true, "ctl.dat: 0 of 0 sent, nothing more to send"},
        {3, 12, now + 10, false, "ctl.dat: 3 of 12 sent, run ended"},
    };
    for (const Case& c : cases) {
        PlaybackProgress progress;
        progress.fileName = "ctl.dat";
        progress.sent = c.sent;
        progress.total = c.total;
        progress.nextAt = c.nextAt;
        progress.running = c.running;
        EXPECT_EQ(PlaybackStatusText(progress, now), c.text);
    }
}

TEST_F(PlayerTest, ReportsItsProgressAndTheButtonsTooltipTellsIt) {
    const QDateTime due = QDateTime::currentDateTime().addSecs(3);
    Write(Line(kPast, "01.0V", "0.10A") + "garbage\r\n" + Line(due, "02.0V", "0.20A") +
          Line(kPast, "12.3V", "5.00A")); // sent on the large model only
    Form2 window;
    std::vector<PlaybackProgress> reports;
    QObject::connect(&PlaybackReports(), &PlaybackNews::progressed, &window,
                     [&](const PlaybackProgress& p) { reports.push_back(p); });
    History history;
    PlotWindow plot(&history);
    QString tooltip, caption, status;
    std::size_t stepsAhead = 0;
    QTimer::singleShot(500, [&] {
        tooltip = window.Command2->toolTip();
        caption = window.Command2->text();
        status = plot.playbackStatus();
        stepsAhead = plot.view()->plan().size();
    });
    Shared.CurrentLimit = 1000;
    PlayerButton_Click(window.Command2, path);
    EXPECT_EQ(caption, "Stop");
    EXPECT_TRUE(tooltip.startsWith(path + ": 1 of 2 sent, next in 00:00:0"))
        << tooltip.toStdString();
    EXPECT_TRUE(status.startsWith(path + ": 1 of 2 sent, next in 00:00:0")) << status.toStdString();
    EXPECT_EQ(stepsAhead, 1u) << "the record waited for, ahead of now";
    EXPECT_EQ(window.Command2->toolTip(), "");
    EXPECT_TRUE(plot.view()->plan().empty());
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(reports.front().sent, 0);
    EXPECT_EQ(CommandsAhead(reports.front()).size(), 2u);
    const auto waiting = std::find_if(reports.begin(), reports.end(),
                                      [](const PlaybackProgress& p) { return p.nextLine == 3; });
    ASSERT_NE(waiting, reports.end());
    EXPECT_EQ(waiting->nextAt, WallSeconds(due));
    EXPECT_EQ(CommandsAhead(*waiting).size(), 1u);
    EXPECT_FALSE(reports.back().running);
    EXPECT_EQ(reports.back().sent, 2);
    EXPECT_EQ(PlaybackStatusText(reports.back(), 0), path + ": 2 of 2 sent, run ended");
}
