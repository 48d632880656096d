#pragma once
// The program's serial component, MSComm1: port number, line settings,
// receive threshold, open state, CTS, output and input, and the OnComm event.

#include "link/serial_line.h"

#include <QObject>
#include <memory>

namespace velmora {

/// The serial component the main window owns; all traffic with the unit
/// passes through it. Setters return false where the component would raise
/// an error (a bad port number, bad settings, an open that fails).
class SerialComm : public QObject {
    Q_OBJECT
  public:
    explicit SerialComm(QObject* parent = nullptr);
    ~SerialComm() override;

    /// Puts another line in place of the real one (tests). Closes the port.
    void setLine(std::unique_ptr<SerialLine> line);

    qint16 CommPort() const { return commPort_; }
    bool setCommPort(qint16 port);
    QString Settings() const { return settings_; }
    bool setSettings(const QString& settings);
    qint16 InputLen() const { return inputLen_; }
    bool setInputLen(qint16 length);
    qint16 RThreshold() const { return rThreshold_; }
    bool setRThreshold(qint16 threshold);

    bool PortOpen() const;
    /// Opens (true) or closes (false) the port on the device CommPort maps to.
    bool setPortOpen(bool open);

    /// Whether the unit asserts CTS. A line without modem lines reads as
    /// asserted; a closed port as not asserted.
    bool CTSHolding();
    /// Writes the bytes to the line; false on a closed port or a failed write.
    bool setOutput(const QByteArray& bytes);
    /// Every waiting character (InputLen 0) or at most InputLen of them.
    QByteArray Input();
    qint16 CommEvent() const { return commEvent_; }

    /// Drops whatever arrives in the next `ns` nanoseconds, as a closed port
    /// would, while the port stays open for sending.
    void ignoreInputFor(qint64 ns);

    /// The device the port was last opened (or tried) on.
    QString device() const { return device_; }

  signals:
    /// Raised on the GUI thread; CommEvent tells what happened (2: receive).
    void OnComm();
    /// The device went away while open; the port is closed now.
    void deviceGone();
    /// A command to the unit is starting: its first character goes onto the
    /// line now.
    void CommandSent(QByteArray command);

  private:
    void onReadyRead();

    std::unique_ptr<SerialLine> line_;
    qint16 commPort_ = 1;
    QString settings_ = QStringLiteral("9600,N,8,1");
    LineSettings lineSettings_;
    qint16 inputLen_ = 0;
    qint16 rThreshold_ = 0;
    qint16 commEvent_ = 0;
    QString device_;
    qint64 deafUntilNs_ = 0;
};

/// The device that port number n stands for: the user's mapping under
/// "Ports"/"COMn" when there is one, else /dev/ttyS(n-1) ("COMn" on Windows).
QString DeviceForPort(int port);

} // namespace velmora
