// The serial component and the port on a real pseudo-terminal: the test holds
// the master end and plays the unit.

#include "core/settings_store.h"
#include "core/state.h"
#include "core/wait.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "support/cpu_time.h"
#include "support/fake_line.h"
#include "support/message_catcher.h"
#include "support/panel_on_pty.h"
#include "support/pty_pair.h"

#include <QApplication>
#include <QSignalSpy>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

using namespace velmora;
using velmora::test::PtyPair;

namespace {

using test::CpuSeconds;

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
