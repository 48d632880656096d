// The serial component and the port on a real pseudo-terminal, through
// QSerialPort: the test holds the master end and plays the unit.

#include "core/settings_store.h"
#include "link/link_status.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "session/session.h"
#include "support/cpu_time.h"
#include "support/print_qt.h"
#include "support/pty_pair.h"
#include "support/session_on_fake_line.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

namespace velmora {
namespace {

using test::CpuSeconds;
using test::PtyPair;
using test::Said;

bool WriteTextFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("not a device\n") > 0;
}

class SerialPort : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(unit.ok()); }
    void TearDown() override { ClosePort(comm); }
    /// Opens COM`port` on the device as the program does (the unit by default).
    void open(qint16 port = 2, const QString& device = {}) {
        OpenPort(comm, port, device.isEmpty() ? unit.slavePath() : device);
    }

    PtyPair unit;
    RealClock clock;
    SerialComm comm{clock, MakeQtSerialLine()};
};

TEST_F(SerialPort, OpensTheMappedDeviceAt9600EightNoneOneRaw) {
    open();
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
    open();
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
    open();
    EXPECT_TRUE(comm.CTSHolding()); // a pseudo-terminal has no modem lines
    EXPECT_TRUE(comm.setOutput("0"));
    EXPECT_TRUE(comm.setOutput("5\r"));
    EXPECT_EQ(unit.readFor(3, 500), "05\r");
}

TEST_F(SerialPort, ClosingTwiceIsHarmlessAndAClosedPortRefusesQuietly) {
    ClosePort(comm);
    open();
    ClosePort(comm);
    ClosePort(comm);
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_FALSE(comm.CTSHolding());
    EXPECT_FALSE(comm.setOutput("1"));
    EXPECT_TRUE(comm.Input().isEmpty());
    EXPECT_EQ(comm.status().state, LinkState::Closed);
    open(); // and it opens again after a close
    EXPECT_TRUE(comm.PortOpen());
}

TEST_F(SerialPort, AnAbsentDeviceOrABadNumberLeavesThePortClosed) {
    open(2, QStringLiteral("/dev/velmora-no-such-device"));
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_EQ(comm.status().state, LinkState::Waiting);
    for (const qint16 bad : {qint16(0), qint16(-1)}) {
        SCOPED_TRACE(bad);
        ClosePort(comm);
        open(bad);
        EXPECT_FALSE(comm.PortOpen());
    }
    // An open port refuses a second open without losing the first.
    open();
    EXPECT_TRUE(comm.PortOpen());
    EXPECT_FALSE(comm.setPortOpen(true));
    EXPECT_TRUE(comm.PortOpen());
    EXPECT_TRUE(comm.setOutput("1"));
    EXPECT_EQ(unit.readFor(1, 500), "1");
}

TEST(DeviceForPort, UnmappedNumbersNameTheSerialPortsOfTheMachine) {
    const QMap<int, QString> mapped{{2, "/dev/serial/by-id/usb-unit"}, {3, "/dev/ttyUSB0"}};
    const struct {
        int port;
        QMap<int, QString> mapped;
        const char* device;
    } cases[] = {
        {1, {}, "/dev/ttyS0"},        {2, {}, "/dev/ttyS1"},
        {4, {}, "/dev/ttyS3"},        {2, mapped, "/dev/serial/by-id/usb-unit"},
        {3, mapped, "/dev/ttyUSB0"},  {4, mapped, "/dev/ttyS3"},
        {2, {{2, ""}}, "/dev/ttyS1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DeviceForPort(c.port, c.mapped), c.device) << c.port;
}

// A hangup (the adapter pulled): Qt reports the error many thousand times a
// second; the port is closed once, and the link waits for the device.
TEST_F(SerialPort, AHangupClosesThePortOnceAndDoesNotSpin) {
    auto line = MakeQtSerialLine();
    QSignalSpy gone(line.get(), &SerialLine::gone);
    comm.setLine(std::move(line));
    open();
    ASSERT_TRUE(comm.PortOpen());
    unit.closeMaster();
    const double cpuBefore = CpuSeconds();
    QTest::qWait(1000);
    EXPECT_LT(CpuSeconds() - cpuBefore, 0.2);
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_EQ(gone.count(), 1);
    EXPECT_EQ(comm.status().state, LinkState::Waiting);
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

// ---- Through the session ---------------------------------------------------

/// The real line, noting each open and close with its device.
class LoggingLine final : public SerialLine {
  public:
    explicit LoggingLine(QStringList& log) : real_(MakeQtSerialLine()), log_(log) {
        connect(real_.get(), &SerialLine::readyRead, this, &SerialLine::readyRead);
        connect(real_.get(), &SerialLine::gone, this, &SerialLine::gone);
    }
    bool open(const QString& device, const LineSettings& settings) override {
        const bool opened = real_->open(device, settings);
        if (opened) device_ = device;
        log_ << (opened ? "open " : "cannot open ") + device;
        return opened;
    }
    void close() override {
        if (real_->isOpen()) log_ << "close " + device_;
        real_->close();
    }
    bool isOpen() const override { return real_->isOpen(); }
    QByteArray read(qint64 maxBytes) override { return real_->read(maxBytes); }
    bool write(const QByteArray& bytes) override { return real_->write(bytes); }
    Cts cts() override { return real_->cts(); }

  private:
    std::unique_ptr<SerialLine> real_;
    QStringList& log_;
    QString device_;
};

/// A session on the real line with its own settings file; what it says is kept.
struct SessionOnRealLine {
    SessionOnRealLine()
        : session(clock, std::make_unique<LoggingLine>(lineLog), SettingsStore(storePath())) {
        QObject::connect(&session, &Session::message,
                         [this](const QString& text, const QString& title) {
                             said.append({title, text});
                         });
    }
    QString storePath() const { return dir.filePath(QStringLiteral("Tarnholm.conf")); }
    QByteArray storeText() const {
        QFile file(storePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    RealClock clock;
    QStringList lineLog;
    Session session;
    QList<Said> said;
};

// Choosing another port closes the first before the second opens; the old
// device is no longer heard. The choice and the mapping are stored.
TEST(SessionPort, SwitchingPortsClosesTheFirstBeforeTheSecondOpens) {
    PtyPair first, second;
    ASSERT_TRUE(first.ok() && second.ok());
    SessionOnRealLine s;
    s.session.mapPort(2, first.slavePath());
    s.session.mapPort(3, second.slavePath());
    s.session.start();
    ASSERT_TRUE(s.session.MSComm1().PortOpen());
    s.session.choosePort(3);
    ASSERT_TRUE(s.session.MSComm1().PortOpen());
    EXPECT_EQ(s.lineLog, QStringList({"open " + first.slavePath(), "close " + first.slavePath(),
                                      "open " + second.slavePath()}));
    EXPECT_EQ(s.session.port(), 3);
    EXPECT_EQ(s.session.MSComm1().CommPort(), 3);

    int measured = 0;
    QObject::connect(&s.session, &Session::measured, [&] { ++measured; });
    first.send("D 123  045  "); // the old line is no longer heard
    second.readFor(1, 200);
    EXPECT_EQ(measured, 0);
    second.send("D 123  045  ");
    EXPECT_TRUE(QTest::qWaitFor([&] { return measured == 1; }, 2000));

    const QByteArray text = s.storeText();
    EXPECT_TRUE(text.contains("Com=3")) << text.toStdString();
    EXPECT_TRUE(text.contains(QByteArray("COM2=") + first.slavePath().toUtf8()))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QByteArray("COM3=") + second.slavePath().toUtf8()))
        << text.toStdString();
    EXPECT_TRUE(s.said.isEmpty());
}

// The choice is stored even when the port does not open (the next start
// tries it again); a mapping removed goes back to the machine's own port.
TEST(SessionPort, TheChoiceAndTheMappingAreStoredAndSilent) {
    SessionOnRealLine s;
    s.session.start();
    s.session.mapPort(4, QStringLiteral("/dev/velmora-no-such-device"));
    s.session.choosePort(4);
    EXPECT_FALSE(s.session.MSComm1().PortOpen());
    EXPECT_EQ(s.session.linkStatus().device, "/dev/velmora-no-such-device");
    StoredSettings stored = SettingsStore(s.storePath()).load();
    EXPECT_EQ(stored.port, 4);
    EXPECT_EQ(stored.portDevices.value(4), "/dev/velmora-no-such-device");
    EXPECT_TRUE(s.storeText().contains("[Netzteil]\nCom=4")) << s.storeText().toStdString();
    EXPECT_TRUE(s.storeText().contains("[Ports]\nCOM4=/dev/velmora-no-such-device"))
        << s.storeText().toStdString();

    s.session.mapPort(4, QString());
    EXPECT_EQ(s.session.deviceForPort(4), "/dev/ttyS3");
    EXPECT_FALSE(SettingsStore(s.storePath()).load().portDevices.contains(4));
    QTest::qWait(50);
    EXPECT_TRUE(s.said.isEmpty());
}

// A mapped path that names no serial device: the port stays closed, nothing
// spins, nothing is said, and the status says why; a device put there later
// is opened.
TEST(SessionPort, APathThatIsNoSerialDeviceLeavesThePortClosedAndSaysWhy) {
    PtyPair unit;
    ASSERT_TRUE(unit.ok());
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
    // All at once: one wait for the looks for the device to show.
    std::vector<std::unique_ptr<SessionOnRealLine>> sessions;
    for (const auto& c : cases) {
        sessions.push_back(std::make_unique<SessionOnRealLine>());
        Session& session = sessions.back()->session;
        session.start();
        session.mapPort(2, c.path);
        session.choosePort(2);
    }
    const double cpuBefore = CpuSeconds();
    QTest::qWait(1200);
    EXPECT_LT(CpuSeconds() - cpuBefore, 0.2);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.path.toStdString());
        const SessionOnRealLine& s = *sessions[i];
        EXPECT_FALSE(s.session.MSComm1().PortOpen());
        EXPECT_EQ(s.session.linkStatus().state, c.state);
        EXPECT_EQ(s.session.linkStatus().detail, c.detail);
        EXPECT_TRUE(s.said.isEmpty());
    }
    // The link pointed at a device now: it opens by itself.
    Session& linked = sessions[3]->session;
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(unit.slavePath(), link));
    EXPECT_TRUE(QTest::qWaitFor([&] { return linked.MSComm1().PortOpen(); }, 2000));
    // Another port chosen while it waits for the device ends the looks for it.
    linked.mapPort(3, dir.filePath("absent"));
    linked.choosePort(2);
    ASSERT_TRUE(linked.MSComm1().PortOpen());
    QFile::remove(link);
    linked.choosePort(2);
    EXPECT_FALSE(linked.MSComm1().PortOpen());
    linked.choosePort(3);
    ASSERT_TRUE(QFile::link(unit.slavePath(), link));
    QTest::qWait(700);
    EXPECT_FALSE(linked.MSComm1().PortOpen());
    EXPECT_EQ(linked.linkStatus().device, dir.filePath("absent"));
}

} // namespace
} // namespace velmora
