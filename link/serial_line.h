#pragma once
// The serial line under the serial link: a real QSerialPort in the
// program, a fake in tests that need modem lines a pseudo-terminal lacks.

#include <QByteArray>
#include <QObject>
#include <QString>

namespace velmora {

/// Speed, parity, data and stop bits of a line.
struct LineSettings {
    int baud = 9600;
    char parity = 'N'; // N, E, O, M or S
    int dataBits = 8;
    int stopBits = 1;
    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

/// One serial line: open by device path, read what waits, write bytes, read CTS.
class SerialLine : public QObject {
    Q_OBJECT
  public:
    enum class Cts { Asserted, NotAsserted, NoModemLines };

    using QObject::QObject;
    ~SerialLine() override = default;

    virtual bool open(const QString& device, const LineSettings& settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QByteArray read(qint64 maxBytes) = 0;
    /// Hands the bytes to the line at once; false when they could not go.
    virtual bool write(const QByteArray& bytes) = 0;
    virtual Cts cts() = 0;
    /// Why the last open failed, for the user ("in use by another program");
    /// empty when the line cannot tell.
    virtual QString openError() const { return {}; }

  signals:
    void readyRead();
    /// The device has gone (hangup, adapter pulled); the line is closed already.
    void gone();
};

/// The real line, over QSerialPort.
std::unique_ptr<SerialLine> MakeQtSerialLine();

} // namespace velmora
