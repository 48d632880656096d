#pragma once
// One unit's serial link: the port and its line, the frame boundary and its
// recovery, the commands going out with their pauses, and the watch for a
// device that went away. It hands over each frame as a measurement stamped on
// arrival, and takes commands; nothing above it reads bytes.

#include "core/clock.h"
#include "link/frame_sync.h"
#include "link/link_status.h"
#include "link/serial_line.h"
#include "link/transmitter.h"
#include "unit/measurement.h"

#include <QMap>
#include <QObject>
#include <memory>
#include <optional>

namespace velmora {

/// The device that port number n stands for: the user's mapping of COMn when
/// there is one, else /dev/ttyS(n-1).
QString DeviceForPort(int port, const QMap<int, QString>& mappedDevices);

/// The link to one unit. While the port is meant to be open but is not (its
/// device absent, gone, or refusing), it looks for the device twice a second
/// and opens it again by itself. A spoilt block makes it reopen the port and
/// find the next frame's start; the frames after it come as before.
class SerialLink : public QObject, private TransmitPort {
    Q_OBJECT
  public:
    /// The link on `line` (the real one over QSerialPort in the program).
    SerialLink(Clock& clock, std::unique_ptr<SerialLine> line, QObject* parent = nullptr);
    ~SerialLink() override;

    /// Opens COM`port` on `device` at 9600 baud, 8N1. A port in use is closed
    /// first, once the command on its line has gone out whole, so no unit
    /// gets a fragment. A failure to open is not reported: the port stays
    /// closed and is looked for while it is meant to be open.
    void openPort(qint16 port, const QString& device);
    /// Closes the port (harmless when closed) and ends the looks for it.
    void closePort();
    bool isOpen() const { return line_->isOpen(); }
    qint16 port() const { return port_; }
    const QString& device() const { return device_; }
    /// What the link is doing now.
    LinkStatus status() const;

    /// Queues a command; it goes out after any before it, whole (see Transmitter).
    void send(const QByteArray& command, Transmitter::Done done = {});
    /// Drops the commands not yet begun; the one on the line finishes.
    void dropWaiting() { transmitter_.dropWaiting(); }
    bool idle() const { return transmitter_.idle(); }
    bool commandOnLine() const { return transmitter_.commandOnLine(); }
    /// Calls `then` once no command is queued or going out.
    void whenIdle(std::function<void()> then) { transmitter_.whenIdle(std::move(then)); }

  signals:
    /// One frame from the unit, read at its arrival.
    void frameArrived(const velmora::Measurement& frame);
    /// A command's first character has gone onto the line.
    void commandStarted(const QByteArray& command);
    /// The port opened, closed, went away or could not open.
    void changed();

  private:
    struct Target {
        qint16 port;
        QString device;
    };

    // TransmitPort: what the transmitter needs of the line.
    bool lineOpen() const override { return line_->isOpen(); }
    bool clearToSend() override;
    void write(const QByteArray& bytes) override;
    QString lineIdentity() const override;
    void started(const QByteArray& command) override { emit commandStarted(command); }
    void finished() override;

    void applyTarget();
    void close();
    bool openLine();
    void lookForDevice();
    void onLineGone();
    void onReadyRead();
    void resynchronise();
    void setState(LinkState state, const QString& detail = {});

    Clock& clock_;
    std::unique_ptr<SerialLine> line_;
    Transmitter transmitter_;
    FrameSync input_;
    Timer lookForDevice_;
    std::optional<Target> target_; // a port to change to once the command on the line is out
    bool wanted_ = false;          // the port is meant to be open
    LinkState state_ = LinkState::Closed;
    QString detail_;
    QString triedIdentity_; // the device node the last open was tried on
    qint64 triedAtNs_ = 0;
    qint64 heardAtNs_ = 0; // the last character, or the open
    qint16 port_ = 0;
    QString device_;
};

} // namespace velmora
