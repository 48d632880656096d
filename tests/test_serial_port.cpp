// The serial component and the port on a real pseudo-terminal, through
// QSerialPort: the test holds the master end and plays the unit.

#include "core/settings_store.h"
#include "link/link_status.h"
#include "link/serial_link.h"
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
    void SetUp() override {
        ASSERT_TRUE(unit.ok());
        QObject::connect(&link, &SerialLink::frameArrived,
                         [this](const Measurement& m) { frames.append(m); });
    }
    /// Opens COM`port` on the device as the program does (the unit by default).
    void open(qint16 port = 2, const QString& device = {}) {
        link.openPort(port, device.isEmpty() ? unit.slavePath() : device);
    }
    /// Queues a command and runs until it has come to its end.
    CommandEnd sendAndWait(const QByteArray& command) {
        std::optional<CommandEnd> end;
        link.send(command, [&](CommandEnd e) { end = e; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return end.has_value(); }, 2000));
        return end.value_or(CommandEnd::Dropped);
    }

    PtyPair unit;
    RealClock clock;
    SerialLink link{clock, MakeQtSerialLine()};
    QList<Measurement> frames;
};

TEST_F(SerialPort, OpensTheMappedDeviceAt9600EightNoneOneRaw) {
    open();
    ASSERT_TRUE(link.isOpen());
    EXPECT_EQ(link.device(), unit.slavePath());
    EXPECT_EQ(link.port(), 2);
    EXPECT_EQ(link.status().state, LinkState::Open);

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

// Twelve characters make a frame, handed over as a measurement stamped on
// its arrival; two frames in one read are a spoilt block, after which the
// frame boundary is found again.
TEST_F(SerialPort, FramesComeAsMeasurementsStampedOnArrival) {
    open();
    unit.send("D 123  045 "); // 11 characters: no frame yet
    unit.readFor(1, 200);
    EXPECT_TRUE(frames.isEmpty());
    const qint64 before = clock.monotonicNs();
    unit.send(" "); // the twelfth
    ASSERT_TRUE(QTest::qWaitFor([&] { return frames.size() == 1; }, 2000));
    EXPECT_EQ(frames[0].text(), "12,3V0,45A");
    EXPECT_EQ(frames[0].values, (Values{123, 45}));
    EXPECT_GE(frames[0].atNs, before);
    EXPECT_LE(frames[0].atNs, clock.monotonicNs());

    unit.send(QByteArray("D 123  045  D 124  045  ")); // one read of two frames
    unit.readFor(1, 200);
    EXPECT_EQ(frames.size(), 1);
    EXPECT_TRUE(link.isOpen()); // opened again, and the next frame comes
    unit.send("D 126  045  ");
    ASSERT_TRUE(QTest::qWaitFor([&] { return frames.size() == 2; }, 2000));
    EXPECT_EQ(frames.last().text(), "12,6V0,45A");
}

TEST_F(SerialPort, CommandsReachTheLineWhole) {
    open();
    EXPECT_EQ(sendAndWait("050\r100\r"), CommandEnd::Sent);
    EXPECT_EQ(unit.readFor(8, 500), "050\r100\r");
}

TEST_F(SerialPort, ClosingTwiceIsHarmlessAndAClosedPortSendsNothing) {
    link.closePort();
    open();
    link.closePort();
    link.closePort();
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(link.status().state, LinkState::Closed);
    EXPECT_EQ(sendAndWait("050\r100\r"), CommandEnd::Lost);
    EXPECT_EQ(unit.readFor(1, 200), QByteArray());
    open(); // and it opens again after a close
    EXPECT_TRUE(link.isOpen());
}

TEST_F(SerialPort, AnAbsentDeviceOrABadNumberLeavesThePortClosed) {
    open(2, QStringLiteral("/dev/velmora-no-such-device"));
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(link.status().state, LinkState::Waiting);
    for (const qint16 bad : {qint16(0), qint16(-1)}) {
        SCOPED_TRACE(bad);
        open(bad);
        EXPECT_FALSE(link.isOpen());
        EXPECT_EQ(link.status().state, LinkState::Closed);
    }
    open();
    EXPECT_TRUE(link.isOpen());
}

// Two names of one device (a by-id link and the node) are one device: a
// second program, or a second unit, cannot open it through the other name.
TEST_F(SerialPort, ALockedDeviceCannotBeOpenedThroughAnotherName) {
    QTemporaryDir dir;
    const QString other = dir.filePath(QStringLiteral("by-id-unit"));
    ASSERT_TRUE(QFile::link(unit.slavePath(), other));
    open();
    ASSERT_TRUE(link.isOpen());
    SerialLink second(clock, MakeQtSerialLine());
    second.openPort(3, other);
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(second.status().state, LinkState::CannotOpen);
    EXPECT_EQ(second.status().detail, "in use by another program");
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
TEST(SerialPortHangup, ClosesThePortOnceAndDoesNotSpin) {
    PtyPair unit;
    ASSERT_TRUE(unit.ok());
    RealClock clock;
    auto line = MakeQtSerialLine();
    QSignalSpy gone(line.get(), &SerialLine::gone);
    SerialLink link(clock, std::move(line));
    link.openPort(2, unit.slavePath());
    ASSERT_TRUE(link.isOpen());
    unit.closeMaster();
    const double cpuBefore = CpuSeconds();
    QTest::qWait(1000);
    EXPECT_LT(CpuSeconds() - cpuBefore, 0.2);
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(gone.count(), 1);
    EXPECT_EQ(link.status().state, LinkState::Waiting);
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
    s.session.unit().mapPort(2, first.slavePath());
    s.session.unit().mapPort(3, second.slavePath());
    s.session.start();
    ASSERT_TRUE(s.session.unit().linkOpen());
    s.session.unit().choosePort(3);
    ASSERT_TRUE(s.session.unit().linkOpen());
    EXPECT_EQ(s.lineLog, QStringList({"open " + first.slavePath(), "close " + first.slavePath(),
                                      "open " + second.slavePath()}));
    EXPECT_EQ(s.session.unit().port(), 3);
    EXPECT_EQ(s.session.unit().linkStatus().port, 3);

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
    s.session.unit().mapPort(4, QStringLiteral("/dev/velmora-no-such-device"));
    s.session.unit().choosePort(4);
    EXPECT_FALSE(s.session.unit().linkOpen());
    EXPECT_EQ(s.session.unit().linkStatus().device, "/dev/velmora-no-such-device");
    StoredSettings stored = SettingsStore(s.storePath()).load();
    EXPECT_EQ(stored.port, 4);
    EXPECT_EQ(stored.portDevices.value(4), "/dev/velmora-no-such-device");
    EXPECT_TRUE(s.storeText().contains("[Netzteil]\nCom=4")) << s.storeText().toStdString();
    EXPECT_TRUE(s.storeText().contains("[Ports]\nCOM4=/dev/velmora-no-such-device"))
        << s.storeText().toStdString();

    s.session.unit().mapPort(4, QString());
    EXPECT_EQ(s.session.unit().deviceForPort(4), "/dev/ttyS3");
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
        session.unit().mapPort(2, c.path);
        session.unit().choosePort(2);
    }
    const double cpuBefore = CpuSeconds();
    QTest::qWait(1200);
    EXPECT_LT(CpuSeconds() - cpuBefore, 0.2);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.path.toStdString());
        const SessionOnRealLine& s = *sessions[i];
        EXPECT_FALSE(s.session.unit().linkOpen());
        EXPECT_EQ(s.session.unit().linkStatus().state, c.state);
        EXPECT_EQ(s.session.unit().linkStatus().detail, c.detail);
        EXPECT_TRUE(s.said.isEmpty());
    }
    // The link pointed at a device now: it opens by itself.
    Session& linked = sessions[3]->session;
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(unit.slavePath(), link));
    EXPECT_TRUE(QTest::qWaitFor([&] { return linked.unit().linkOpen(); }, 2000));
    // Another port chosen while it waits for the device ends the looks for it.
    linked.unit().mapPort(3, dir.filePath("absent"));
    linked.unit().choosePort(2);
    ASSERT_TRUE(linked.unit().linkOpen());
    QFile::remove(link);
    linked.unit().choosePort(2);
    EXPECT_FALSE(linked.unit().linkOpen());
    linked.unit().choosePort(3);
    ASSERT_TRUE(QFile::link(unit.slavePath(), link));
    QTest::qWait(700);
    EXPECT_FALSE(linked.unit().linkOpen());
    EXPECT_EQ(linked.unit().linkStatus().device, dir.filePath("absent"));
}

} // namespace
} // namespace velmora
