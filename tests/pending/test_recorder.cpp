// Recording: the file channels, the recorder button and the lines that
// measurements from the unit leave in the record file.

#include "core/clock.h"
#include "core/settings_store.h"
#include "core/state.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "panel/form1.h"
#include "recorder/channels.h"
#include "recorder/recorder.h"
#include "settings/start_stop.h"
#include "support/files.h"
#include "support/message_catcher.h"
#include "support/panel_on_pty.h"
#include "support/wait_until.h"

#include <QCoreApplication>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace velmora;

namespace {

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class RecorderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetSharedState();
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("run.log");
        button.setText("Start");
    }
    void TearDown() override {
        CloseAllChannels();
        SetClockForTesting({});
    }
    void FixClock(const QDateTime& at) {
        SetClockForTesting([at] { return at; });
    }

    QTemporaryDir dir;
    QString path;
    QPushButton button;
    test::MessageCatcher messages;
};

} // namespace

TEST_F(RecorderTest, ChannelsOpenWriteReadAndClose) {
    ASSERT_TRUE(test::WriteFile(path, "earlier\r\n"));
    EXPECT_EQ(OpenChannelForOutput(RecordChannel, path), OpenResult::Opened);
    EXPECT_EQ(Contents(path), ""); // emptied on open
    EXPECT_EQ(OpenChannelForOutput(RecordChannel, path), OpenResult::AlreadyOpen);
    EXPECT_TRUE(WriteChannel(RecordChannel, "a,b,c\r\n"));
    EXPECT_TRUE(WriteChannel(RecordChannel, "\r\nd\n"));
    EXPECT_EQ(Contents(path), "a,b,c\r\n\r\nd\n"); // on disk before the close
    CloseChannel(RecordChannel);
    CloseChannel(RecordChannel);
    EXPECT_FALSE(WriteChannel(RecordChannel, "x"));

    EXPECT_EQ(OpenChannelForInput(ControlChannel, path), OpenResult::Opened);
    EXPECT_EQ(ReadChannelLine(ControlChannel), QByteArray("a,b,c"));
    EXPECT_EQ(ReadChannelLine(ControlChannel), QByteArray(""));
    EXPECT_FALSE(ChannelAtEnd(ControlChannel));
    EXPECT_EQ(ReadChannelLine(ControlChannel), QByteArray("d"));
    EXPECT_TRUE(ChannelAtEnd(ControlChannel));
    EXPECT_FALSE(ReadChannelLine(ControlChannel));
    EXPECT_FALSE(WriteChannel(ControlChannel, "x")); // an input channel
    CloseAllChannels();
    EXPECT_TRUE(ChannelAtEnd(ControlChannel));
    EXPECT_FALSE(ReadChannelLine(ControlChannel));
    EXPECT_FALSE(ChannelIsOpen(RecordChannel));
    CloseChannel(7); // no such channel: harmless too
}

TEST_F(RecorderTest, OneFileIsNeverOnBothChannels) {
    ASSERT_TRUE(test::WriteFile(path, "x\r\n"));
    ASSERT_EQ(OpenChannelForInput(ControlChannel, path), OpenResult::Opened);
    EXPECT_EQ(OpenChannelForOutput(RecordChannel, dir.filePath("./run.log")), OpenResult::InUse);
    EXPECT_EQ(Contents(path), "x\r\n");
    // Nor under a second name of the same file.
    const QString hardLink = dir.filePath("other-name.log");
    ASSERT_EQ(::link(QFile::encodeName(path).constData(), QFile::encodeName(hardLink).constData()),
              0);
    EXPECT_EQ(OpenChannelForOutput(RecordChannel, hardLink), OpenResult::InUse);
    EXPECT_EQ(Contents(path), "x\r\n");
    CloseAllChannels();
    ASSERT_EQ(OpenChannelForOutput(RecordChannel, path), OpenResult::Opened);
    EXPECT_EQ(OpenChannelForInput(ControlChannel, path), OpenResult::InUse);
}

TEST_F(RecorderTest, OverlongLinesAreDroppedWhole) {
    ASSERT_TRUE(
        test::WriteFile(path, QByteArray(10000, 'x') + "\r\nnext\r\n" + QByteArray(9000, 'y')));
    ASSERT_EQ(OpenChannelForInput(ControlChannel, path), OpenResult::Opened);
    EXPECT_EQ(ReadChannelLine(ControlChannel), QByteArray(""));
    EXPECT_EQ(ReadChannelLine(ControlChannel), QByteArray("next"));
    EXPECT_EQ(ReadChannelLine(ControlChannel), QByteArray(""));
    EXPECT_TRUE(ChannelAtEnd(ControlChannel));
}

TEST_F(RecorderTest, StartAndStopWithoutChangesLeaveAnEmptyFile) {
    ASSERT_TRUE(test::WriteFile(path, "#2024-03-05 14:07:09#,\"12.3V\",\"1.23A\"\r\n"));
    RecorderButton_Click(&button, path);
    EXPECT_EQ(button.text(), "Stop");
    EXPECT_TRUE(ChannelIsOpen(RecordChannel));
    RecorderButton_Click(&button, path);
    EXPECT_EQ(button.text(), "Start");
    EXPECT_FALSE(ChannelIsOpen(RecordChannel));
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(Contents(path), "");
    EXPECT_TRUE(messages.messages().isEmpty());
}

TEST_F(RecorderTest, RecordsEachLineAsItIsWritten) {
    WriteRecord("99,9V", "9,99A"); // recording off: nothing, nowhere
    RecorderButton_Click(&button, path);
    FixClock(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
    WriteRecord("12,3V", "1,23A");
    const QByteArray first = "#2024-03-05 14:07:09#,\"12.3V\",\"1.23A\"\r\n";
    EXPECT_EQ(Contents(path), first); // on disk while still recording
    FixClock(QDateTime(QDate(2024, 3, 6), QTime(0, 0, 0)));
    WriteRecord("05,0V", "0,40A");
    RecorderButton_Click(&button, path);
    WriteRecord("01,0V", "0,10A");
    EXPECT_EQ(Contents(path), first + "#2024-03-06#,\"05.0V\",\"0.40A\"\r\n");
}

// Lines as fast as the line can bring them, while the disk catches up in
// the background: every one is in the file, in order, and recording can be
// started and stopped again and again.
TEST_F(RecorderTest, LinesInQuickSuccessionAreAllKept) {
    FixClock(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
    QByteArray expected;
    for (int round = 0; round < 3; ++round) {
        RecorderButton_Click(&button, path);
        ASSERT_EQ(button.text(), "Stop");
        expected.clear();
        for (int i = 0; i < 1000; ++i) {
            const QString volts =
                QStringLiteral("%1,%2V").arg(i / 10 % 100, 2, 10, QChar(u'0')).arg(i % 10);
            WriteRecord(volts, "1,23A");
            expected += "#2024-03-05 14:07:09#,\"" + volts.toLatin1().replace(',', '.') +
                        "\",\"1.23A\"\r\n";
        }
        RecorderButton_Click(&button, path);
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
        RecorderButton_Click(&button, name);
        EXPECT_EQ(button.text(), "Start");
        EXPECT_FALSE(ChannelIsOpen(RecordChannel));
        ASSERT_EQ(messages.messages().size(), 1);
        const QString text = "Error opening file: " + name;
        EXPECT_EQ(messages.messages()[0].text,
                  name == huge ? text.left(2000) + " … " + text.right(2000) : text);
        EXPECT_EQ(messages.messages()[0].title, "Velmora");
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("run.log")));
    // The longest name a path may have is still a name.
    ASSERT_EQ(QFile::encodeName(longest).size(), 4095);
    RecorderButton_Click(&button, longest);
    EXPECT_EQ(button.text(), "Stop");
    RecorderButton_Click(&button, longest);
    EXPECT_TRUE(QFile::exists(longest));
}

TEST_F(RecorderTest, RecordChannelAlreadyOpenGoesOnRecording) {
    ASSERT_EQ(OpenChannelForOutput(RecordChannel, path), OpenResult::Opened);
    RecorderButton_Click(&button, dir.filePath("other.log"));
    EXPECT_EQ(button.text(), "Stop");
    EXPECT_TRUE(messages.messages().isEmpty());
    FixClock(QDateTime(QDate(2024, 3, 5), QTime(9, 0, 0)));
    WriteRecord("05,0V", "0,40A");
    EXPECT_EQ(Contents(path), "#2024-03-05 09:00:00#,\"05.0V\",\"0.40A\"\r\n");
    EXPECT_FALSE(QFile::exists(dir.filePath("other.log")));
}

TEST_F(RecorderTest, TheFileBeingPlayedIsNotRecordedOver) {
    const QByteArray control = "#2024-03-05 09:00:00#,\"05.0V\",\"0.40A\"\r\n";
    ASSERT_TRUE(test::WriteFile(path, control));
    ASSERT_EQ(OpenChannelForInput(ControlChannel, path), OpenResult::Opened);
    RecorderButton_Click(&button, dir.filePath("./run.log"));
    EXPECT_EQ(button.text(), "Start");
    EXPECT_FALSE(ChannelIsOpen(RecordChannel));
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_EQ(messages.messages()[0].text, "Error opening file: " + dir.filePath("./run.log"));
    EXPECT_EQ(Contents(path), control);
}

// Under the button: what starting and stopping came to, for any caller.
TEST_F(RecorderTest, StartAndStopReportWhatTheyCameTo) {
    const RecordingStart refused = StartRecording(QStringLiteral("no such folder/run.log"));
    EXPECT_FALSE(refused.recording);
    EXPECT_EQ(refused.refusal, "Error opening file: no such folder/run.log");
    EXPECT_TRUE(messages.messages().isEmpty()); // the caller shows it
    EXPECT_EQ(StartRecording(path).recording, true);
    const RecordingStart again = StartRecording(dir.filePath("other.log"));
    EXPECT_TRUE(again.recording); // on already: records go on into the first file
    EXPECT_TRUE(again.refusal.isEmpty());
    StopRecording();
    EXPECT_FALSE(ChannelIsOpen(RecordChannel));
    StopRecording(); // harmless when off
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_FALSE(QFile::exists(dir.filePath("other.log")));
}

// A Form1 whose port is one end of a pseudo-terminal: the test plays the unit.
class RecordingFromTheUnit : public RecorderTest {
  protected:
    void SetUp() override {
        RecorderTest::SetUp();
        ASSERT_TRUE(panel.openCom2());
    }
    void TearDown() override {
        ClosePort();
        RecorderTest::TearDown();
    }
    // Sends one frame and waits until the panel has shown it.
    void Frame(const QByteArray& frame, const QString& shownVoltage) {
        pty.send(frame);
        test::WaitUntil([&] { return form.Label1.caption() == shownVoltage; });
        // A frame that repeats the caption is done once the line is quiet.
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_EQ(form.Label1.caption(), shownVoltage);
    }

    test::PanelOnPty panel;
    test::PtyPair& pty = panel.pty;
    Form1& form = panel.form;
};

TEST_F(RecordingFromTheUnit, OneLinePerChangeFromTheFirstChangeOn) {
    FixClock(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
    Frame("D 123  045  ", "12,3V"); // the values before recording starts
    RecorderButton_Click(&button, path);
    ASSERT_EQ(button.text(), "Stop");
    Frame("D 123  045  ", "12,3V");
    EXPECT_EQ(Contents(path), ""); // no change yet
    Frame("D 124  045  ", "12,4V");
    FixClock(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 10)));
    Frame("D 124  046  ", "12,4V");
    Frame("D 124  046  ", "12,4V");
    Frame("D 050  040  ", "05,0V");
    RecorderButton_Click(&button, path);
    Frame("D 051  040  ", "05,1V"); // after Stop
    EXPECT_EQ(Contents(path), "#2024-03-05 14:07:09#,\"12.4V\",\"0.45A\"\r\n"
                              "#2024-03-05 14:07:10#,\"12.4V\",\"0.46A\"\r\n"
                              "#2024-03-05 14:07:10#,\"05.0V\",\"0.40A\"\r\n");
}

TEST_F(RecordingFromTheUnit, StopWithoutChangeEmptiesAnEarlierRecording) {
    Frame("D 123  045  ", "12,3V");
    RecorderButton_Click(&button, path);
    Frame("D 124  045  ", "12,4V");
    RecorderButton_Click(&button, path);
    ASSERT_NE(Contents(path), "");
    RecorderButton_Click(&button, path);
    Frame("D 124  045  ", "12,4V");
    RecorderButton_Click(&button, path);
    EXPECT_EQ(Contents(path), "");
}
