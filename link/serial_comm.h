#pragma once
// The program's serial component, MSComm1: port number, line settings,
// receive threshold, open state, CTS, output and input, the OnComm event, and
// the queue of commands going out on the line.

#include "core/clock.h"
#include "link/frame_sync.h"
#include "link/link_status.h"
#include "link/serial_line.h"
#include "link/transmitter.h"

#include <QObject>
#include <memory>

namespace velmora {

/// One unit's serial component, MSComm1: all traffic with the unit passes
/// through it, and everything the link keeps lives in it. Setters return
/// false where the component would raise an error (a bad port number, bad
/// settings, an open that fails). While the port is meant to be open but is
/// not (its device absent, gone, or refusing), the component looks for the
/// device twice a second and opens it again by itself, with the same
/// configuration.
class SerialComm : public QObject {
    Q_OBJECT
  public:
    /// The component on `line` (the real one over QSerialPort in the program).
    SerialComm(Clock& clock, std::unique_ptr<SerialLine> line, QObject* parent = nullptr);
    ~SerialComm() override;

    /// Puts another line in place of the one it has. Closes the port.
    void setLine(std::unique_ptr<SerialLine> line);

    qint16 CommPort() const { return commPort_; }
    bool setCommPort(qint16 port);
    QString Settings() const { return settings_; }
    bool setSettings(const QString& settings);
    qint16 InputLen() const { return inputLen_; }
    bool setInputLen(qint16 length);
    qint16 RThreshold() const { return rThreshold_; }
    bool setRThreshold(qint16 threshold);
    /// The device the port opens on (OpenPort finds it for the port number);
    /// refused while the port is open.
    QString device() const { return device_; }
    bool setDevice(const QString& device);

    bool PortOpen() const;
    /// Opens (true) or closes (false) the port on device(). After a true, the
    /// port is meant to be open: a failed open is tried again by itself.
    bool setPortOpen(bool open);

    /// Whether the unit asserts CTS. A line without modem lines reads as
    /// asserted; a closed port as not asserted.
    bool CTSHolding();
    /// Writes the bytes to the line; false on a closed port or a failed write.
    bool setOutput(const QByteArray& bytes);
    /// Every waiting character (InputLen 0) or at most InputLen of them; one
    /// frame at a time once a reset has found the frame boundary in a stream
    /// without gaps.
    QByteArray Input();
    qint16 CommEvent() const { return commEvent_; }

    /// Starts afresh on the line after a spoilt block: closes and reopens the
    /// port, drops the rest of the cut frame and finds the next frame's start.
    /// If the device has gone, the reopen fails and the port stays closed.
    void resynchronise();

    /// What the link is doing now.
    LinkStatus status() const;

    /// Queues a command for the line (see Transmitter::send) and returns at once.
    void sendCommand(const QByteArray& command, Transmitter::Done done = {});
    /// Drops every command still waiting in the queue; the one already on the
    /// line finishes.
    void dropWaitingCommands();
    /// Whether no command is queued or going out.
    bool commandsIdle() const { return transmitter_.idle(); }
    /// Calls `then` once no command is queued or going out (at the next turn
    /// when none is now).
    void whenCommandsIdle(std::function<void()> then) { transmitter_.whenIdle(std::move(then)); }

  signals:
    /// Raised on the GUI thread; CommEvent tells what happened (2: receive).
    void OnComm();
    /// A command's first character has gone onto the line.
    void CommandSent(QByteArray command);
    /// The port opened, closed, went away or could not open.
    void LinkChanged();

  private:
    bool openLine();
    void lookForDevice();
    void onLineGone();
    void onReadyRead();
    void setState(LinkState state, const QString& detail = {});

    Clock& clock_;
    std::unique_ptr<SerialLine> line_;
    Transmitter transmitter_;
    FrameSync input_;
    Timer lookForDevice_;
    bool wanted_ = false; // the port is meant to be open
    LinkState state_ = LinkState::Closed;
    QString detail_;
    QString triedIdentity_; // the device node the last open was tried on
    qint64 triedAtNs_ = 0;
    qint64 heardAtNs_ = 0; // the last character, or the open
    qint16 commPort_ = 1;
    QString settings_;
    LineSettings lineSettings_;
    qint16 inputLen_ = 0;
    qint16 rThreshold_ = 0;
    qint16 commEvent_ = 0;
    QString device_;
};

} // namespace velmora
