// The serial component and the port on a real pseudo-terminal: the test holds
// the master end and plays the unit.

#include "core/settings_store.h"
#include "core/state.h"
#include "core/wait.h"
#include "link/link_status.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "support/cpu_time.h"
#include "support/fake_line.h"
#include "support/message_catcher.h"
#include "support/panel_on_pty.h"
#include "support/pty_pair.h"

#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

using namespace velmora;
using velmora::test::PtyPair;

namespace {

using test::CpuSeconds;

bool WriteTextFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("not a device\n") > 0;
}

class SerialPort : public ::testing::Test {
  protected:
    void SetUp() override {
        test::ClearSettings();
        ResetSharedState();
        ASSERT_TRUE(unit.ok());
        SavePortMapping(2, unit.slavePath());
    }
    void TearDown() override { ClosePort(); }

    PtyPair unit;
    SerialComm comm;
};

TEST_F(SerialPort, OpensTheMappedDeviceAt9600EightNoneOneRaw) {
    OpenPort();
    ASSERT_TRUE(comm.PortOpen());
    EXPECT_EQ(comm.device(), unit.slavePath());
    EXPECT_EQ(comm.CommPort(), 2);
    EXPECT_EQ(comm.Settings(), "9600,N,8,1");
    EXPECT_EQ(comm.InputLen(), 0);
    EXPECT_EQ(comm.RThreshold(), 12);

    // The pseudo-terminal's line settings are the ones the program set.
    termios line{};
    const int fd = ::open(unit.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(tcgetattr(fd, &line), 0);
    ::close(fd);
    EXPECT_EQ(cfgetospeed(&line), B9600);
    EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(line.c_cflag & PARENB);
    EXPECT_FALSE(line.c_cflag & CSTOPB);
    EXPECT_FALSE(line.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(line.c_iflag & (ICRNL | IXON));
    EXPECT_FALSE(line.c_oflag & OPOST);
}

TEST_F(SerialPort, ReceiveEventComesAtTheThresholdAndInputTakesEverything) {
    OpenPort();
    int events = 0;
    QByteArray got;
    QObject::connect(&comm, &SerialComm::OnComm, [&] {
        ++events;
        EXPECT_EQ(comm.CommEvent(), 2);
        got += comm.Input();
    });
    unit.send("D 123  045 "); // 11 characters: no event
    unit.readFor(1, 200);
    EXPECT_EQ(events, 0);
    unit.send(" "); // the twelfth
    unit.readFor(1, 200);
    EXPECT_EQ(events, 1);
    EXPECT_EQ(got, "D 123  045  ");

    got.clear();
    unit.send(QByteArray("D 123  045  D 124  045  ")); // two frames at once, one read
    unit.readFor(1, 200);
    EXPECT_EQ(events, 2);
    EXPECT_EQ(got.size(), 24);
}

TEST_F(SerialPort, WritesReachTheLine) {
    OpenPort();
    EXPECT_TRUE(comm.CTSHolding()); // a pseudo-terminal has no modem lines
    EXPECT_TRUE(comm.setOutput("0"));
    EXPECT_TRUE(comm.setOutput("5\r"));
    EXPECT_EQ(unit.readFor(3, 500), "05\r");
}

TEST_F(SerialPort, ClosingTwiceIsHarmlessAndAClosedPortRefusesQuietly) {
    ClosePort();
    OpenPort();
    ClosePort();
    ClosePort();
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_FALSE(comm.CTSHolding());
    EXPECT_FALSE(comm.setOutput("1"));
    EXPECT_TRUE(comm.Input().isEmpty());
    OpenPort(); // and it opens again after a close
    EXPECT_TRUE(comm.PortOpen());
}

TEST_F(SerialPort, SwitchingPortsClosesTheFirstBeforeTheSecondOpens) {
    PtyPair other;
    SavePortMapping(3, other.slavePath());
    OpenPort();
    ASSERT_EQ(comm.device(), unit.slavePath());
    ClosePort();
    EXPECT_FALSE(comm.PortOpen());
    Shared.PortNumber = 3;
    OpenPort();
    ASSERT_TRUE(comm.PortOpen());
    EXPECT_EQ(comm.device(), other.slavePath());
    EXPECT_EQ(comm.CommPort(), 3);

    int events = 0;
    QObject::connect(&comm, &SerialComm::OnComm, [&] {
        ++events;
        comm.Input();
    });
    unit.send("D 123  045  "); // the old line is no longer heard
    other.readFor(1, 200);
    EXPECT_EQ(events, 0);
    other.send("D 123  045  ");
    other.readFor(1, 200);
    EXPECT_EQ(events, 1);
}

TEST_F(SerialPort, AnAbsentDeviceOrABadNumberLeavesThePortClosedSilently) {
    test::MessageCatcher messages;
    SavePortMapping(2, "/dev/velmora-no-such-device");
    OpenPort();
    EXPECT_FALSE(comm.PortOpen());
    for (qint16 bad : {qint16(0), qint16(-1)}) {
        Shared.PortNumber = bad;
        OpenPort();
        EXPECT_FALSE(comm.PortOpen());
    }
    WaitSeconds(0.05);
    EXPECT_TRUE(messages.messages().isEmpty());
    // An open port refuses a second open without losing the first.
    Shared.PortNumber = 2;
    SavePortMapping(2, unit.slavePath());
    OpenPort();
    OpenPort();
    EXPECT_TRUE(comm.PortOpen());
}

TEST_F(SerialPort, UnmappedNumbersNameTheSerialPortsOfTheMachine) {
    SavePortMapping(2, QString());
    EXPECT_EQ(DeviceForPort(1), "/dev/ttyS0");
    EXPECT_EQ(DeviceForPort(2), "/dev/ttyS1");
    EXPECT_EQ(DeviceForPort(4), "/dev/ttyS3");
}

TEST_F(SerialPort, AHangupClosesThePortOnceAndDoesNotSpin) {
    auto line = std::make_unique<test::StampingLine>(); // the real line
    QSignalSpy gone(line.get(), &SerialLine::gone);
    comm.setLine(std::move(line));
    OpenPort();
    ASSERT_TRUE(comm.PortOpen());
    unit.closeMaster();
    const double cpuBefore = CpuSeconds();
    WaitSeconds(1.0);
    EXPECT_LT(CpuSeconds() - cpuBefore, 0.2);
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_EQ(gone.count(), 1);
    EXPECT_FALSE(comm.setOutput("1"));
}

TEST(LineSettings, ReadsTheComponentsSettingsText) {
    const struct {
        const char* text;
        bool ok;
        LineSettings want;
    } cases[] = {
        {"9600,N,8,1", true, {9600, 'N', 8, 1}},
        {"19200,e,7,2", true, {19200, 'E', 7, 2}},
        {"9600,N,8", false, {}},
        {"9600,X,8,1", false, {}},
        {"fast,N,8,1", false, {}},
        {"9600,N,9,1", false, {}},
        {"9600,N,8,3", false, {}},
        {"", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        LineSettings got;
        EXPECT_EQ(ParseLineSettings(c.text, &got), c.ok);
        if (c.ok) {
            EXPECT_EQ(got, c.want);
        }
    }
}

} // namespace

namespace {

TEST(LinkStatusText, OneLineForEachState) {
    const QString dev = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    const struct {
        LinkStatus status;
        const char* text;
    } cases[] = {
        {{2, dev, LinkState::Open, {}, 300'000'000},
         "COM2 \u2013 /dev/serial/by-id/usb-FTDI_FT232R-if00-port0: receiving"},
        {{2, "/dev/ttyUSB0", LinkState::Open, {}, 12'400'000'000},
         "COM2 \u2013 /dev/ttyUSB0: open, no frames for 12 s"},
        {{1, "/dev/ttyS0", LinkState::Waiting, {}, 0},
         "COM1 \u2013 /dev/ttyS0: waiting for the device"},
        {{3, "/tmp/unit", LinkState::Waiting, "the link points nowhere", 0},
         "COM3 \u2013 /tmp/unit: waiting for the device (the link points nowhere)"},
        {{2, "/dev/ttyUSB0", LinkState::CannotOpen,
          "permission denied (add your user to the dialout group)", 0},
         "COM2 \u2013 /dev/ttyUSB0: cannot open: permission denied (add your user to the dialout "
         "group)"},
        {{4, "/dev/null", LinkState::NotSerial, "no terminal device", 0},
         "COM4 \u2013 /dev/null: not a serial device: no terminal device"},
        {{2, "/dev/ttyS1", LinkState::Closed, {}, 0}, "COM2 \u2013 /dev/ttyS1: closed"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LinkStatusText(c.status), QString::fromUtf8(c.text));
}

// A mapped path that names no serial device: the port stays closed, nothing
// spins, no message is shown, and the status says why; a device put there
// later is opened.
TEST_F(SerialPort, APathThatIsNoSerialDeviceLeavesThePortClosedAndSaysWhy) {
    test::MessageCatcher messages;
    QTemporaryDir dir;
    const QString file = dir.filePath("file"), link = dir.filePath("link");
    ASSERT_TRUE(WriteTextFile(file));
    ASSERT_TRUE(QFile::link(dir.filePath("nowhere"), link));
    const struct {
        QString path;
        LinkState state;
        const char* detail;
    } cases[] = {
        {dir.path(), LinkState::NotSerial, "a folder"},
        {file, LinkState::NotSerial, "a regular file"},
        {"/dev/null", LinkState::NotSerial, "no terminal device"},
        {link, LinkState::Waiting, "the link points nowhere"},
        {dir.filePath("absent"), LinkState::Waiting, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        SavePortMapping(2, c.path);
        OpenPort();
        const double cpuBefore = CpuSeconds();
        WaitSeconds(1.2);
        EXPECT_LT(CpuSeconds() - cpuBefore, 0.2);
        EXPECT_FALSE(comm.PortOpen());
        EXPECT_EQ(comm.status().state, c.state);
        EXPECT_EQ(comm.status().detail, c.detail);
        ClosePort();
    }
    EXPECT_TRUE(messages.messages().isEmpty());
    // The link pointed at a device now: it opens by itself.
    SavePortMapping(2, link);
    OpenPort();
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(unit.slavePath(), link));
    EXPECT_TRUE(QTest::qWaitFor([&] { return comm.PortOpen(); }, 2000));
    // Closing it while it waits (another port chosen) ends the looks for it.
    ClosePort();
    QFile::remove(link);
    OpenPort();
    ClosePort();
    ASSERT_TRUE(QFile::link(unit.slavePath(), link));
    WaitSeconds(0.7);
    EXPECT_FALSE(comm.PortOpen());
}

} // namespace
