// Playback: the control file's records go to the unit as set-point commands,
// each in the second its stamp names; the session on a fake line and a fake
// clock, the settings window's player button on top.

#include "core/settings_store.h"
#include "playback/playback_progress.h"
#include "plot/plot_view.h"
#include "plot/plot_window.h"
#include "recording/file_names.h"
#include "recording/wall_time.h"
#include "remote/scpi_client.h"
#include "session/session.h"
#include "settings/form2.h"
#include "support/control_line.h"
#include "support/files.h"
#include "support/message_catcher.h"
#include "support/session_on_fake_line.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace velmora;

namespace {

constexpr auto Line = test::ControlLine;

const QDateTime kPast(QDate(2020, 1, 2), QTime(3, 4, 5));
// The fake clock's start: a little past a whole second, so that waking at
// the wrong moment shows.
const QDateTime kStart(QDate(2027, 1, 1), QTime(8, 0, 0, 300));

// Whether this process holds a descriptor of the file at `path`.
bool OpenHere(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System))
        if (fd.symLinkTarget() == target) return true;
    return false;
}

class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("run.dat");
        session().unit().chooseModel(Model::Large2A5_25V);
        QObject::connect(&session(), &Session::playbackChanged,
                         [this](const PlaybackProgress& p) { reports.push_back(p); });
        unit.clock.advanceMs(100); // the zero the model's choice sends
        unit.line->clearWrites();
    }
    Session& session() { return *unit.session; }
    test::FakeClock& clock() { return unit.clock; }
    void Write(const QByteArray& contents) { ASSERT_TRUE(test::WriteFile(path, contents)); }
    // The player button with `name` in the control file box.
    void Click(const QString& name) {
        window->Text2->setText(name);
        window->Command2_Click();
    }
    // Moves the clock on in small steps until the player is idle, at most
    // `limitMs`; how long it took.
    qint64 RunToEnd(qint64 limitMs = 7'200'000) {
        const qint64 from = clock().monotonicNs();
        clock().settle();
        while (session().playerState() != Player::State::Idle &&
               clock().monotonicNs() - from < limitMs * kNsPerMs)
            clock().advanceMs(5);
        return (clock().monotonicNs() - from) / kNsPerMs;
    }
    // Plays the file through the player button to the end of the run;
    // everything the unit received since the writes were last cleared.
    QByteArray Play(const QString& name) {
        Click(name);
        RunToEnd();
        return unit.written();
    }
    QByteArray Play() { return Play(path); }
    // When each command's first character went out, on the local clock.
    QList<QDateTime> CommandStarts() const {
        QList<QDateTime> starts;
        const auto& writes = unit.line->writes();
        const QDateTime now = unit.clock.localNow();
        for (qsizetype i = 0; i < writes.size(); i += kCommandLength)
            starts << now.addMSecs((writes[i].atNs - unit.clock.monotonicNs()) / kNsPerMs);
        return starts;
    }
    void ExpectIdle() {
        EXPECT_EQ(window->Command2->text(), "Start");
        EXPECT_EQ(session().playerState(), Player::State::Idle);
        EXPECT_FALSE(session().playbackProgress().running);
        EXPECT_FALSE(OpenHere(path));
    }

    QTemporaryDir dir;
    QString path;
    test::MessageCatcher messages;
    test::SessionOnFakeLine unit{kStart};
    std::unique_ptr<Form2> window = std::make_unique<Form2>(session());
    std::vector<PlaybackProgress> reports;
};

} // namespace

TEST_F(PlayerTest, SendsEachRecordAsTheModelWantsIt) {
    struct Case {
        Model model;
        const char* voltage;
        const char* current;
        QByteArray sent;
        UserLimits user = {}; // the user's own limits for the model
    };
    const Model large = Model::Large2A5_25V, small = Model::Small1A20V;
    const Case cases[] = {
        {large, "12.3V", "1.23A", QByteArray::fromHex("31 32 33 0D 31 32 33 0D")},
        {small, "12.3V", "0.61A", QByteArray::fromHex("31 32 33 0D 31 32 32 0D")},
        {large, "00.5V", "0.05A", "005\r005\r"},
        {small, "00.5V", "0.05A", "005\r010\r"},
        {large, "05.0V", "0.00A", "050\r000\r"},
        {small, "05.0V", "0.00A", "050\r000\r"},
        // Past the model's range: skipped whole, as past the user's limits.
        {small, "12.3V", "1.23A", ""},
        {small, "12.3V", "2.50A", ""},
        {small, "20.1V", "0.50A", ""},
        {large, "99.9V", "0.50A", ""},
        {small, "20.0V", "1.00A", "200\r200\r"},
        {small, "12.3V", "5.00A", ""}, // would not be an eight-character command
        {large, "12,3V", "1,23A", "123\r123\r"},
        // Past the user's own limits: skipped whole, never clamped.
        {large, "12.3V", "1.23A", "", {Millivolts(12000), {}}},
        {large, "12.0V", "1.23A", "120\r123\r", {Millivolts(12000), {}}},
        {small, "05.0V", "0.50A", "", {{}, Milliamps(400)}},
        {small, "05.0V", "0.40A", "050\r080\r", {{}, Milliamps(400)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.voltage) + " " + c.current + " on " +
                     ModelName(c.model).toStdString());
        session().unit().chooseModel(c.model);
        session().unit().setUserLimits(c.user);
        clock().advanceMs(100);
        unit.line->clearWrites();
        Write(Line(kPast, c.voltage, c.current));
        EXPECT_EQ(Play(), c.sent);
        ExpectIdle();
    }
    EXPECT_TRUE(messages.messages().isEmpty());
    EXPECT_TRUE(unit.said.isEmpty());
}

TEST_F(PlayerTest, PastRecordsGoOutBackToBackInFileOrder) {
    const QByteArray file =
        Line(kPast.addDays(1), "01.0V", "0.10A") + Line(kPast, "02.0V", "0.20A") +
        Line(QDateTime(QDate(2021, 5, 6), QTime(0, 0)), "03.0V", "0.30A").replace(" 00:00:00", "");
    // Files from other systems end their lines in LF or in CR alone.
    for (const char* lineEnd : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(QByteArray(lineEnd).toHex().toStdString());
        unit.line->clearWrites();
        Write(QByteArray(file).replace("\r\n", lineEnd));
        EXPECT_EQ(Play(), "010\r010\r020\r020\r030\r030\r");
        // Each follows the one before as soon as its eight pauses are over.
        const QList<QDateTime> starts = CommandStarts();
        ASSERT_EQ(starts.size(), 3);
        for (int i = 1; i < 3; ++i)
            EXPECT_LT(starts[i - 1].msecsTo(starts[i]), 100) << i;
        ExpectIdle();
    }
}

TEST_F(PlayerTest, FutureRecordsGoOutInTheirSeconds) {
    const QDateTime first = kStart.addSecs(1), second = kStart.addSecs(2);
    Write(Line(first, "01.0V", "0.10A") + Line(second, "02.0V", "0.20A"));
    EXPECT_EQ(Play(), "010\r010\r020\r020\r");
    const QList<QDateTime> starts = CommandStarts();
    ASSERT_EQ(starts.size(), 2);
    const QDateTime stamps[] = {first.addMSecs(-first.time().msec()),
                                second.addMSecs(-second.time().msec())};
    for (int i = 0; i < 2; ++i) {
        EXPECT_GE(starts[i], stamps[i]) << i;
        EXPECT_LT(stamps[i].msecsTo(starts[i]), 50) << i;
    }
    ExpectIdle();
}

// The player waits for the local clock to show a record's second, not for a
// time to pass: a clock set on or back while it waits moves the record too.
TEST_F(PlayerTest, ARecordWaitsForTheLocalClock) {
    struct Case {
        const char* how;
        qint64 dueInSeconds;
        qint64 setBySeconds; // after the first second of waiting
        qint64 sentAfterMs;  // from the start, at least ...
        qint64 sentBeforeMs; // ... and before
    };
    const Case cases[] = {
        {"clock set on past the stamp", 600, 3600, 1000, 2100},
        {"clock set back an hour", 2, -3600, 3601 * 1000, 3603 * 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        const QDateTime now = clock().localNow();
        unit.line->clearWrites();
        Write(Line(now.addSecs(c.dueInSeconds), "01.0V", "0.10A"));
        const qint64 from = clock().monotonicNs();
        Click(path);
        clock().advanceMs(1000);
        EXPECT_EQ(unit.written(), "");
        clock().setLocalNow(clock().localNow().addSecs(c.setBySeconds));
        RunToEnd();
        ASSERT_EQ(unit.line->writes().size(), 8);
        const qint64 sentMs = (unit.line->writes()[0].atNs - from) / kNsPerMs;
        EXPECT_GE(sentMs, c.sentAfterMs);
        EXPECT_LT(sentMs, c.sentBeforeMs);
        ExpectIdle();
    }
}

TEST_F(PlayerTest, StopWhileWaitingSendsNothingMore) {
    Write(Line(kPast, "01.0V", "0.10A") + Line(kStart.addSecs(2), "02.0V", "0.20A") +
          Line(kPast, "03.0V", "0.30A"));
    Click(path);
    clock().advanceMs(300);
    ASSERT_EQ(session().playerState(), Player::State::Running);
    Click(path); // Stop
    EXPECT_EQ(window->Command2->text(), "Start");
    EXPECT_EQ(session().playerState(), Player::State::Idle); // at once: nothing was on the line
    clock().advanceMs(5000);
    EXPECT_EQ(unit.written(), "010\r010\r");
    ExpectIdle();
}

// Under the button: what a run came to, and stopPlayback as any caller (not
// only the button) ends a run.
TEST_F(PlayerTest, PlayAndStopReportWhatTheyCameTo) {
    const FileStart refused = session().startPlayback(QStringLiteral("no such file.dat"));
    EXPECT_FALSE(refused.started);
    EXPECT_TRUE(refused.refusal.startsWith("Error opening file: no such file.dat\n" +
                                           FilePathFor("no such file.dat") + ": no such file"))
        << refused.refusal.toStdString();
    EXPECT_TRUE(messages.messages().isEmpty()); // the caller shows it
    EXPECT_TRUE(unit.said.isEmpty());

    Write(Line(kPast, "01.0V", "0.10A") + Line(kStart.addSecs(30), "02.0V", "0.20A"));
    EXPECT_TRUE(session().startPlayback(path).started);
    clock().advanceMs(300);
    const FileStart nested = session().startPlayback(path); // one run at a time
    EXPECT_FALSE(nested.started);
    EXPECT_EQ(nested.refusal, "");
    EXPECT_EQ(window->Command2->text(), "Stop");
    session().stopPlayback();
    EXPECT_EQ(session().playerState(), Player::State::Idle);
    EXPECT_EQ(window->Command2->text(), "Start");
    clock().advanceMs(60'000);
    EXPECT_EQ(unit.written(), "010\r010\r");
    session().stopPlayback(); // harmless when idle
    ExpectIdle();
}

// With the line away every command is lost, but each still takes its time:
// the run keeps its pace, and Stop is seen at once.
TEST_F(PlayerTest, ALineAwayKeepsThePaceAndStopIsSeenAtOnce) {
    QByteArray lines;
    for (int i = 0; i < 1000; ++i)
        lines += Line(kPast, "01.0V", "0.10A");
    Write(lines);
    unit.line->close();
    emit unit.line->gone();
    Click(path);
    clock().advanceMs(300);
    EXPECT_EQ(session().playerState(), Player::State::Running)
        << "the run ended before Stop: it did not keep its pace";
    // 80 ms a command, lost or not.
    EXPECT_GE(session().playbackProgress().sent, 3);
    EXPECT_LE(session().playbackProgress().sent, 4);
    Click(path); // Stop
    EXPECT_EQ(window->Command2->text(), "Start");
    EXPECT_LE(RunToEnd(), 80); // the lost command's pauses at most
    EXPECT_EQ(unit.written(), "");
    ExpectIdle();
}

TEST_F(PlayerTest, ClosingTheSettingsWindowEndsTheRun) {
    Write(Line(kStart.addSecs(2), "02.0V", "0.20A"));
    Click(path);
    clock().advanceMs(200);
    window->close();
    window.reset(); // the window is gone, and the run with it
    EXPECT_EQ(session().playerState(), Player::State::Idle);
    clock().advanceMs(5000);
    EXPECT_EQ(unit.written(), "");
    EXPECT_FALSE(OpenHere(path));
}

TEST_F(PlayerTest, WindowReopenedDuringTheWaitStillEndsTheRun) {
    Write(Line(kStart.addSecs(2), "02.0V", "0.20A"));
    Click(path);
    clock().advanceMs(200);
    window->close();
    window = std::make_unique<Form2>(session()); // opened again at once
    window->Form_Load();
    clock().advanceMs(5000);
    EXPECT_EQ(unit.written(), "");
    ExpectIdle();
}

TEST_F(PlayerTest, StartDuringAStoppedSendIsRefused) {
    Write(Line(kPast, "01.0V", "0.10A") + Line(kPast, "02.0V", "0.20A"));
    Click(path);
    clock().advanceMs(30); // the first command on the line, eight characters 10 ms apart
    ASSERT_GT(unit.written().size(), 0);
    ASSERT_LT(unit.written().size(), 8);
    Click(path); // Stop
    Click(path); // Start again: the stopped run has not ended
    EXPECT_EQ(session().playerState(), Player::State::Stopping);
    EXPECT_EQ(window->Command2->text(), "Start");
    EXPECT_TRUE(messages.messages().isEmpty());
    RunToEnd();
    EXPECT_EQ(unit.written(), "010\r010\r"); // the command under way is completed, no more
    ExpectIdle();
    unit.line->clearWrites();
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
        const QString shown = messages.messages()[0].text;
        const QString first = "Error opening file: " + name + u'\n';
        if (first.size() > 4000) { // cut to its two ends, as every long message is
            EXPECT_TRUE(shown.startsWith(first.left(2000) + " … "));
            EXPECT_TRUE(shown.endsWith(": longer than a path may be"));
        } else {
            EXPECT_TRUE(shown.startsWith(first)) << shown.toStdString();
            EXPECT_TRUE(shown.mid(first.size()).startsWith(FilePathFor(name) + ": "))
                << shown.toStdString();
        }
        EXPECT_EQ(messages.messages()[0].title, "Velmora");
        ExpectIdle();
    }
}

TEST_F(PlayerTest, GarbageLinesAreSkippedWithoutWaiting) {
    QByteArray garbage =
        QByteArray("\r\n\r\ngarbage\r\n#2020-01-02#,\"12.3V\"\r\n#soon#,\"12.3V\",\"1.23A\"\r\n"
                   "#2020-01-02#,\"1\",\"1.23A\"\r\n#2020-01-02#,\"12.3V\",\"1.2\"\r\n"
                   "#2020-01-02#,\"ab.cV\",\"1.23A\"\r\n#2020-01-02 10:00:00#\r\n,,\r\n") +
        // far longer than a record, with a record's start
        "#2099-01-01#,\"12.3V\",\"1.23A\"" + QByteArray(10'000, ' ') + "\r\n" +
        // Dated far ahead, but no command can be made of them: not waited for.
        "#2099-01-01 00:00:00#,\"1\",\"1.23A\"\r\n#2099-01-01#,\"ab.cV\",\"1.23A\"\r\n"
        "#2099-01-01#,\"12.3V\",\"1.2\"\r\n"
        "#2020-01-02#,\"12.3V\",\"1.23A\""; // a last line without its line end counts
    for (int i = 0; i < 2000; ++i)
        garbage.prepend("x,y,z\r\n");
    Write(garbage);
    Click(path);
    EXPECT_LT(RunToEnd(), 1000);
    EXPECT_EQ(unit.written(), "123\r123\r");
    EXPECT_TRUE(messages.messages().isEmpty());
    EXPECT_TRUE(unit.said.isEmpty());
    ExpectIdle();
}

TEST_F(PlayerTest, EmptyFileFinishesAtOnce) {
    Write("");
    Click(path);
    clock().settle();
    EXPECT_EQ(unit.written(), "");
    ExpectIdle();
    ASSERT_FALSE(reports.empty());
    EXPECT_FALSE(reports.back().running);
}

// A store whose current limit names no model: the player has nothing to
// build commands for, says so for each record, and goes on.
TEST(PlayerWithoutModel, ShowsOneMessagePerRecordAndGoesOn) {
    QTemporaryDir dir;
    const QString store = dir.filePath("Tarnholm.conf");
    test::SessionOnFakeLine::Store(store, {"Netzteil/NLI=1234"});
    test::FakeClock clock(kStart);
    auto* line = new test::FakeLine(&clock);
    Session session(clock, std::unique_ptr<SerialLine>(line), SettingsStore(store));
    QList<test::Said> said;
    QObject::connect(&session, &Session::message,
                     [&said](const QString& text, const QString& title) {
                         said.append({title, text});
                     });
    session.start();
    ASSERT_EQ(session.unit().model(), Model::None);
    const QString path = dir.filePath("run.dat");
    ASSERT_TRUE(test::WriteFile(path, Line(kPast, "01.0V", "0.10A") + "garbage\r\n" +
                                          Line(kPast, "02.0V", "0.20A")));
    ASSERT_TRUE(session.startPlayback(path).started);
    clock.advanceMs(1000); // nothing waits for the messages to be seen
    EXPECT_EQ(session.playerState(), Player::State::Idle);
    EXPECT_EQ(line->written(), "");
    const test::Said notDefined{"Error:", "Power supply version not defined."};
    EXPECT_EQ(said, QList<test::Said>({notDefined, notDefined}));
}

TEST_F(PlayerTest, ALeftoverStopRequestDoesNotStopTheNextRun) {
    session().stopPlayback(); // nothing running: nothing to remember
    Write(Line(kPast, "01.0V", "0.10A"));
    EXPECT_EQ(Play(), "010\r010\r");
    ExpectIdle();
}

// What the player sends are the set-points in force, as any other sender's:
// every answer agrees with the unit, and the next set-point goes on from them.
TEST_F(PlayerTest, WhatItSendsIsTheSetpointsInForce) {
    Write(Line(kPast, "12.0V", "0.50A"));
    EXPECT_EQ(Play(), "120\r050\r");
    EXPECT_EQ(session().unit().setpoints(), (Setpoints{Millivolts(12000), Milliamps(500)}));
    ScpiClient remote(session());
    QByteArray answers;
    QObject::connect(&remote, &ScpiClient::answer, [&](const QByteArray& a) { answers += a; });
    remote.takeLine({"APPL?;OUTP?", false});
    remote.takeLine({"CURR 0.1", false});
    clock().advanceMs(200);
    EXPECT_EQ(answers, "12.0,0.50;1\n");
    EXPECT_EQ(unit.written(), "120\r050\r120\r010\r");
}

TEST_F(PlayerTest, ARecordingPlaysBackAsRecorded) {
    const QString recording = dir.filePath("rec.log");
    ASSERT_TRUE(session().startRecording(recording).started);
    clock().setLocalNow(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
    unit.feedFrame("123", "123");
    clock().setLocalNow(QDateTime(QDate(2024, 3, 6), QTime(0, 0, 0)));
    unit.feedFrame("050", "040");
    session().stopRecording();
    clock().setLocalNow(kStart);
    EXPECT_EQ(Play(recording), "123\r123\r050\r040\r");
    ExpectIdle();
}

// The file is read once, at Start: what was in it then is what plays, and
// the program does not hold it meanwhile.
TEST_F(PlayerTest, TheControlFileIsReadOnceAtStart) {
    struct Case {
        const char* how;
        std::function<bool(const QString&)> change;
    };
    const Case cases[] = {
        {"written over",
         [](const QString& p) { return test::WriteFile(p, Line(kPast, "09.0V", "0.90A")); }},
        {"removed", [](const QString& p) { return QFile::remove(p); }},
        {"replaced",
         [](const QString& p) {
             return test::WriteFile(p + ".new", "") && QFile::remove(p) &&
                    QFile::rename(p + ".new", p);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        unit.line->clearWrites();
        const QDateTime now = clock().localNow();
        Write(Line(now.addSecs(1), "01.0V", "0.10A") + Line(now.addSecs(2), "02.0V", "0.20A"));
        Click(path);
        clock().advanceMs(100);
        EXPECT_FALSE(OpenHere(path));
        ASSERT_TRUE(c.change(path));
        RunToEnd();
        EXPECT_EQ(unit.written(), "010\r010\r020\r020\r");
        ExpectIdle();
    }
}

// The user's limits are the session's: the player asks it at each record,
// and the settings file is not read for it.
TEST_F(PlayerTest, ALimitChangedDuringARunHoldsForTheNextRecord) {
    session().unit().setUserLimits({Millivolts(12000), {}});
    const QDateTime now = clock().localNow();
    Write(Line(now.addSecs(1), "11.0V", "1.00A") + Line(now.addSecs(2), "13.0V", "1.00A") +
          Line(now.addSecs(3), "13.5V", "1.00A"));
    Click(path);
    clock().advanceMs(1500);
    EXPECT_EQ(unit.written(), "110\r100\r");
    // The file now says otherwise, and then is not there at all: the limit
    // in force stays the one the session holds.
    test::SessionOnFakeLine::Store(unit.storePath(), {"Limits/MaxU_2500=20000"});
    clock().advanceMs(100);
    ASSERT_TRUE(QFile::remove(unit.storePath()));
    clock().advanceMs(300);
    EXPECT_EQ(unit.written(), "110\r100\r"); // 13.0 V is above 12 V
    session().unit().setUserLimits({Millivolts(14000), {}});
    RunToEnd();
    EXPECT_EQ(unit.written(), "110\r100\r135\r100\r");
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
    const QDateTime due = kStart.addSecs(3);
    Write(Line(kPast, "01.0V", "0.10A") + "garbage\r\n" + Line(due, "02.0V", "0.20A") +
          Line(kPast, "12.3V", "5.00A")); // sent on the large model only
    session().unit().chooseModel(Model::Small1A20V);
    PlotWindow plot(session());
    reports.clear();
    Click(path);
    clock().advanceMs(500);
    EXPECT_EQ(window->Command2->text(), "Stop");
    EXPECT_EQ(window->Command2->toolTip(), path + ": 1 of 2 sent, next in 00:00:03");
    EXPECT_EQ(plot.playbackStatus(), path + ": 1 of 2 sent, next in 00:00:03");
    EXPECT_EQ(plot.view()->plan().size(), 1u) << "the record waited for, ahead of now";
    RunToEnd();
    EXPECT_EQ(window->Command2->text(), "Start");
    EXPECT_EQ(window->Command2->toolTip(), "");
    EXPECT_TRUE(plot.view()->plan().empty());
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(reports.front().sent, 0);
    EXPECT_EQ(CommandsAhead(reports.front()).size(), 2u);
    const auto waiting = std::find_if(reports.begin(), reports.end(),
                                      [](const PlaybackProgress& p) { return p.nextLine == 3; });
    ASSERT_NE(waiting, reports.end());
    EXPECT_EQ(waiting->nextAt, WallSeconds(due));
    EXPECT_EQ(CommandsAhead(*waiting).size(), 1u);
    // Once a second while waiting, so that a countdown stays right.
    const auto waitingReports = std::count_if(
        reports.begin(), reports.end(), [](const auto& p) { return p.running && p.nextLine == 3; });
    EXPECT_GE(waitingReports, 3);
    EXPECT_LE(waitingReports, 5);
    EXPECT_FALSE(reports.back().running);
    EXPECT_EQ(reports.back().sent, 2);
    EXPECT_EQ(PlaybackStatusText(reports.back(), 0), path + ": 2 of 2 sent, run ended");
}
