// Recording: the recorder and its file, the session's rules around it (one
// file is never both recorded and played), the recorder button, and the
// lines that measurements from the unit leave in the record file.

#include "panel/form1.h"
#include "recording/file_names.h"
#include "recording/record_format.h"
#include "recording/recorder.h"
#include "session/session.h"
#include "settings/form2.h"
#include "support/control_line.h"
#include "support/files.h"
#include "support/message_catcher.h"
#include "support/panel_on_pty.h"
#include "support/session_on_fake_line.h"
#include "support/wait_until.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace velmora;

namespace {

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

const QDateTime kStart(QDate(2024, 3, 5), QTime(14, 7, 9));

// A frame's measurement as the session makes it, arrived at `at`.
Measurement Arrived(const char* voltage, const char* current, const QDateTime& at) {
    return Measurement{voltage, current, std::nullopt, 0, at.toMSecsSinceEpoch()};
}

TEST(Recorder, OpensWritesAndCloses) {
    QTemporaryDir dir;
    const QString path = dir.filePath("run.log");
    ASSERT_TRUE(test::WriteFile(path, "earlier\r\n"));
    Recorder recorder;
    recorder.write(Arrived("99,9V", "9,99A", kStart)); // off: nothing, nowhere
    EXPECT_FALSE(recorder.identity());
    ASSERT_TRUE(recorder.start(path));
    EXPECT_TRUE(recorder.recording());
    EXPECT_EQ(Contents(path), ""); // emptied on start
    EXPECT_EQ(recorder.identity(), IdentityOf(path));
    EXPECT_FALSE(recorder.start(dir.filePath("other.log"))); // one file at a time
    EXPECT_FALSE(QFile::exists(dir.filePath("other.log")));
    recorder.write(Arrived("12,3V", "1,23A", kStart));
    const QByteArray first = "#2024-03-05 14:07:09#,\"12.3V\",\"1.23A\"\r\n";
    EXPECT_EQ(Contents(path), first); // in the file while still recording
    recorder.write(Arrived("05,0V", "0,40A", QDateTime(QDate(2024, 3, 6), QTime(0, 0))));
    recorder.stop();
    recorder.stop(); // harmless when off
    EXPECT_FALSE(recorder.recording());
    recorder.write(Arrived("01,0V", "0,10A", kStart));
    EXPECT_EQ(Contents(path), first + "#2024-03-06#,\"05.0V\",\"0.40A\"\r\n");
}

// A session on a fake line and a fake clock, with its settings window.
class RecorderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("run.log");
        QObject::connect(&session(), &Session::recordingChanged,
                         [this](bool on) { changes.append(on); });
    }
    Session& session() { return *unit.session; }
    // The recorder button with `name` in the record file box.
    void Click(const QString& name) {
        window->Text1->setText(name);
        window->Command1_Click();
    }

    QTemporaryDir dir;
    QString path;
    test::MessageCatcher messages;
    test::SessionOnFakeLine unit{kStart};
    std::unique_ptr<Form2> window = std::make_unique<Form2>(session());
    QList<bool> changes; // recordingChanged, in order
};

TEST_F(RecorderTest, StartAndStopWithoutChangesLeaveAnEmptyFile) {
    ASSERT_TRUE(test::WriteFile(path, "#2024-03-05 14:07:09#,\"12.3V\",\"1.23A\"\r\n"));
    unit.feedFrame("123", "045");
    Click(path);
    EXPECT_EQ(window->Command1->text(), "Stop");
    EXPECT_TRUE(session().recording());
    unit.feedFrame("123", "045"); // no change
    Click(path);
    EXPECT_EQ(window->Command1->text(), "Start");
    EXPECT_FALSE(session().recording());
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(Contents(path), "");
    EXPECT_TRUE(messages.messages().isEmpty());
    EXPECT_EQ(changes, QList<bool>({true, false}));
}

// Every line is in the file as soon as its frame has come, stamped with the
// frame's arrival; the value before recording started is not a change.
TEST_F(RecorderTest, OneLinePerChangeEachAsItComesWithItsArrivalTime) {
    unit.feedFrame("123", "045"); // before recording starts
    Click(path);
    ASSERT_EQ(window->Command1->text(), "Stop");
    struct Step {
        qint64 afterMs; // since the frame before
        const char* voltage;
        const char* current;
        QByteArray line; // what it adds to the file
    };
    const Step steps[] = {
        {100, "123", "045", ""},
        {400, "124", "045", "#2024-03-05 14:07:09#,\"12.4V\",\"0.45A\"\r\n"},
        {499, "124", "046", "#2024-03-05 14:07:09#,\"12.4V\",\"0.46A\"\r\n"},
        {1, "124", "046", ""},
        {1, "050", "040", "#2024-03-05 14:07:10#,\"05.0V\",\"0.40A\"\r\n"},
        {12, "123", "045", "#2024-03-05 14:07:10#,\"12.3V\",\"0.45A\"\r\n"},
    };
    QByteArray expected;
    for (const Step& s : steps) {
        SCOPED_TRACE(std::string(s.voltage) + " " + s.current);
        unit.clock.advanceMs(s.afterMs);
        unit.feedFrame(s.voltage, s.current);
        expected += s.line;
        EXPECT_EQ(Contents(path), expected);
    }
    Click(path);
    unit.feedFrame("051", "040"); // after Stop
    EXPECT_EQ(Contents(path), expected);
}

// A clock whose every reading shows a second later than the one before:
// a frame read twice would be stamped twice, differently.
class ClockReadOnce final : public Clock {
  public:
    explicit ClockReadOnce(test::FakeClock& clock) : clock_(clock) {}
    qint64 monotonicNs() const override { return clock_.monotonicNs(); }
    QDateTime localNow() const override { return clock_.localNow().addSecs(readings_++); }
    qint64 epochMs() const override { return clock_.epochMs() + 1000 * readings_++; }
    std::unique_ptr<TimerBackend> makeTimer(std::function<void()> fire) override {
        return clock_.makeTimer(std::move(fire));
    }

  private:
    test::FakeClock& clock_;
    mutable int readings_ = 0;
};

// The record file, the history and the read-outs show one frame at one time.
TEST(RecordingAFrame, TheFileAndTheHistoryTakeOneReadingOfTheClock) {
    QTemporaryDir dir;
    test::FakeClock fake(kStart);
    ClockReadOnce clock(fake);
    auto* line = new test::FakeLine(&fake);
    Session session(clock, std::unique_ptr<SerialLine>(line),
                    SettingsStore(dir.filePath("Tarnholm.conf")));
    session.start();
    const QString path = dir.filePath("run.log");
    ASSERT_TRUE(session.startRecording(path).started);
    QByteArray expected;
    for (const char* voltage : {"123", "124", "125"}) {
        SCOPED_TRACE(voltage);
        line->feed(test::SessionOnFakeLine::Frame(voltage, "045"));
        fake.advanceMs(13);
        ASSERT_TRUE(session.lastMeasurement());
        const QDateTime at = session.lastMeasurement()->at();
        ASSERT_TRUE(session.history().last());
        EXPECT_EQ(session.history().last()->ms, at.toMSecsSinceEpoch());
        expected += FormatRecord(at, session.lastMeasurement()->voltageText,
                                 session.lastMeasurement()->currentText);
        EXPECT_EQ(Contents(path), expected);
    }
}

// Frames as fast as the line can bring them, while the disk catches up in
// the background: every one is in the file, in order, with its own time,
// and recording can be started and stopped again and again.
TEST_F(RecorderTest, LinesInQuickSuccessionAreAllKept) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Click(path);
        ASSERT_EQ(window->Command1->text(), "Stop");
        QByteArray expected;
        for (int i = 0; i < 1000; ++i) {
            const QByteArray volts = QByteArray::number(i % 1000).rightJustified(3, '0');
            unit.clock.advance(12'500'000); // a frame's time on the line
            const QDateTime at = unit.clock.localNow();
            unit.feedFrame(volts.constData(), "123");
            expected +=
                FormatRecord(at, QString::fromLatin1(volts.left(2) + ',' + volts.right(1) + 'V'),
                             QStringLiteral("1,23A"));
        }
        Click(path);
        EXPECT_EQ(Contents(path), expected);
    }
}

TEST_F(RecorderTest, OpenFailuresNameTheFileAsTyped) {
    // Longer than a path may be (4096 bytes): "./" steps the system would
    // walk, and a million characters, whose message shows its two ends.
    const qsizetype free = 4095 - dir.path().size() - 1; // a path's bytes left for the name
    const QString longest = dir.filePath(QStringLiteral("./").repeated((free - 8) / 2) +
                                         QString(8 + (free - 8) % 2, u'r'));
    const QString tooLong = dir.filePath(QStringLiteral("./").repeated(2100) + "run.log");
    const QString huge = dir.filePath(QString(1000000, u'x'));
    const QString names[] = {"",
                             "no such folder/run.log",
                             dir.filePath("missing/run.log"),
                             dir.path(),
                             "/dev/null",
                             tooLong,
                             huge};
    for (const QString& name : names) {
        SCOPED_TRACE(name.left(100).toStdString());
        messages.clear();
        Click(name);
        EXPECT_EQ(window->Command1->text(), "Start");
        EXPECT_FALSE(session().recording());
        ASSERT_EQ(messages.messages().size(), 1);
        // The name as typed, then on a line of its own the file it leads to and why.
        const QString shown = messages.messages()[0].text;
        const QString first = "Error opening file: " + name + u'\n';
        if (first.size() + FilePathFor(name).size() > 8000) {
            // Cut to its two ends, as every long message is.
            EXPECT_TRUE(shown.startsWith(first.left(2000) + " … ")) << shown.left(80).toStdString();
            EXPECT_TRUE(shown.endsWith(": the name is longer than a path may be"));
        } else {
            EXPECT_TRUE(shown.startsWith(first)) << shown.toStdString();
            const QString why = shown.mid(first.size());
            EXPECT_TRUE(why.startsWith(FilePathFor(name) + ": ")) << why.toStdString();
            EXPECT_GT(why.size(), FilePathFor(name).size() + 4) << "no reason given";
        }
        EXPECT_EQ(messages.messages()[0].title, "Velmora");
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("run.log")));
    EXPECT_TRUE(changes.isEmpty());
    // The longest name a path may have is still a name.
    ASSERT_EQ(QFile::encodeName(longest).size(), 4095);
    Click(longest);
    EXPECT_EQ(window->Command1->text(), "Stop");
    Click(longest);
    EXPECT_TRUE(QFile::exists(longest));
}

// Under the button: what starting and stopping came to, for any caller; the
// window's caption follows whoever starts or stops it.
TEST_F(RecorderTest, StartAndStopReportWhatTheyCameTo) {
    const FileStart refused = session().startRecording(QStringLiteral("no such folder/run.log"));
    EXPECT_FALSE(refused.started);
    EXPECT_EQ(refused.refusal, "Error opening file: no such folder/run.log\n" +
                                   FilePathFor("no such folder/run.log") +
                                   ": No such file or directory");
    EXPECT_TRUE(messages.messages().isEmpty()); // the caller shows it
    EXPECT_TRUE(unit.said.isEmpty());
    EXPECT_TRUE(session().startRecording(path).started);
    EXPECT_EQ(window->Command1->text(), "Stop");
    // On already: records go on into the file that is open.
    const FileStart again = session().startRecording(dir.filePath("other.log"));
    EXPECT_TRUE(again.started);
    EXPECT_TRUE(again.refusal.isEmpty());
    unit.feedFrame("050", "040");
    session().stopRecording();
    EXPECT_EQ(window->Command1->text(), "Start");
    session().stopRecording(); // harmless when off
    EXPECT_EQ(changes, QList<bool>({true, false}));
    EXPECT_EQ(Contents(path), "#2024-03-05 14:07:09#,\"05.0V\",\"0.40A\"\r\n");
    EXPECT_FALSE(QFile::exists(dir.filePath("other.log")));
}

// Whichever starts first, the other is refused for that file under any of
// its names, and the file keeps what it held.
TEST_F(RecorderTest, OneFileIsNeverBothRecordedAndPlayed) {
    const QByteArray control = test::ControlLine(kStart.addSecs(3600), "05.0V", "0.40A");
    ASSERT_TRUE(test::WriteFile(path, control));
    const QString hardLink = dir.filePath("other-name.log");
    ASSERT_EQ(::link(QFile::encodeName(path).constData(), QFile::encodeName(hardLink).constData()),
              0);
    const QString symLink = dir.filePath("pointer.log");
    ASSERT_TRUE(QFile::link(path, symLink));
    const QString names[] = {path, dir.filePath("./run.log"), hardLink, symLink};

    ASSERT_TRUE(session().startPlayback(path).started);
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const FileStart start = session().startRecording(name);
        EXPECT_FALSE(start.started);
        EXPECT_EQ(start.refusal, "Error opening file: " + name + "\n" + FilePathFor(name) +
                                     ": the file is being played");
        EXPECT_FALSE(session().recording());
        EXPECT_EQ(Contents(path), control);
    }
    session().stopPlayback();

    ASSERT_TRUE(session().startRecording(path).started);
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const FileStart start = session().startPlayback(name);
        EXPECT_FALSE(start.started);
        EXPECT_EQ(start.refusal, "Error opening file: " + name + "\n" + FilePathFor(name) +
                                     ": the file is being recorded");
        EXPECT_EQ(session().playerState(), Player::State::Idle);
    }
    session().stopRecording();
    EXPECT_TRUE(messages.messages().isEmpty());
}

// The panel's port is one end of a pseudo-terminal: the test plays the unit
// on the real clock, and records through the settings window.
class RecordingFromTheUnit : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("run.log");
        ASSERT_TRUE(panel.openCom2());
        QObject::connect(&panel.session, &Session::measured, [this] { ++frames; });
        window = panel.form.OpenSettingsWindow();
        window->Text1->setText(path);
    }
    // Sends one frame and waits until the panel has taken it.
    void Frame(const QByteArray& frame, const QString& shownVoltage) {
        const int before = frames;
        panel.pty.send(frame);
        ASSERT_TRUE(test::WaitUntil([&] { return frames > before; }));
        ASSERT_EQ(panel.form.Label1.caption(), shownVoltage);
    }
    void Click() { QTest::mouseClick(window->Command1, Qt::LeftButton); }
    // The lines of the file without their stamps, each stamp checked to be
    // a second from `from` to now.
    QList<QByteArray> Lines(const QDateTime& from) {
        QList<QByteArray> lines;
        const QDateTime to = QDateTime::currentDateTime();
        for (const QByteArray& line : Contents(path).split('\n')) {
            if (line.isEmpty()) continue;
            const auto record = ParseRecord(line.chopped(1));
            EXPECT_TRUE(record) << line.toStdString();
            if (!record) continue;
            const QDateTime at(record->date, record->time);
            EXPECT_GE(at, from.addMSecs(-from.time().msec()));
            EXPECT_LE(at, to);
            lines << record->voltageText + ' ' + record->currentText;
        }
        return lines;
    }

    QTemporaryDir dir;
    QString path;
    test::PanelOnPty panel;
    Form2* window = nullptr;
    int frames = 0;
};

TEST_F(RecordingFromTheUnit, OneLinePerChangeFromTheFirstChangeOn) {
    const QDateTime from = QDateTime::currentDateTime();
    Frame("D 123  045  ", "12,3V"); // the values before recording starts
    Click();
    ASSERT_EQ(window->Command1->text(), "Stop");
    Frame("D 123  045  ", "12,3V");
    EXPECT_EQ(Contents(path), ""); // no change yet
    Frame("D 124  045  ", "12,4V");
    EXPECT_EQ(Lines(from).size(), 1); // in the file at once
    Frame("D 124  046  ", "12,4V");
    Frame("D 124  046  ", "12,4V");
    Frame("D 050  040  ", "05,0V");
    Click();
    Frame("D 051  040  ", "05,1V"); // after Stop
    EXPECT_EQ(Lines(from), QList<QByteArray>({"12.4V 0.45A", "12.4V 0.46A", "05.0V 0.40A"}));
}

TEST_F(RecordingFromTheUnit, StopWithoutChangeEmptiesAnEarlierRecording) {
    Frame("D 123  045  ", "12,3V");
    Click();
    Frame("D 124  045  ", "12,4V");
    Click();
    ASSERT_NE(Contents(path), "");
    Click();
    Frame("D 124  045  ", "12,4V");
    Click();
    EXPECT_EQ(window->Command1->text(), "Start");
    EXPECT_EQ(Contents(path), "");
}

} // namespace
