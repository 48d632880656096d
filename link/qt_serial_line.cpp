#include "link/serial_line.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QStringList>
#include <cerrno>
#include <memory>
#include <unistd.h>

namespace velmora {

namespace {

QSerialPort::Parity ToQt(char parity) {
    switch (parity) {
    case 'E':
        return QSerialPort::EvenParity;
    case 'O':
        return QSerialPort::OddParity;
    case 'M':
        return QSerialPort::MarkParity;
    case 'S':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

// A permission error is either the device's own (the user is not in its
// group) or another program's lock on it.
QString OpenErrorText(const QSerialPort& port, const QString& device) {
    switch (port.error()) {
    case QSerialPort::PermissionError:
        if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0 && errno == EACCES)
            return QStringLiteral("permission denied (add your user to the dialout group)");
        return QStringLiteral("in use by another program");
    case QSerialPort::OpenError:
        return QStringLiteral("in use by another program");
    default: {
        QString text = port.errorString();
        if (!text.isEmpty()) text[0] = text[0].toLower();
        return text;
    }
    }
}

/// The line over a real serial device (or a pseudo-terminal) through QSerialPort.
class QtSerialLine final : public SerialLine {
  public:
    QtSerialLine() {
        connect(&port_, &QSerialPort::readyRead, this, &SerialLine::readyRead);
        connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialLine::onError);
    }

    bool open(const QString& device, const LineSettings& s) override {
        if (port_.isOpen()) return false;
        goneQueued_ = false;
        // The lock another program would see is named after the device
        // itself, not after the name it was reached by: two names of one
        // adapter (a by-id link and /dev/ttyUSB0) are one device.
        const QString real = QFileInfo(device).canonicalFilePath();
        port_.setPortName(real.isEmpty() ? device : real);
        port_.setBaudRate(s.baud);
        port_.setParity(ToQt(s.parity));
        port_.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits));
        port_.setStopBits(s.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
        port_.setFlowControl(QSerialPort::NoFlowControl);
        const bool opened = port_.open(QIODevice::ReadWrite);
        // What reached the device while the port was closed is not for us: a
        // reopen after a bad block must start on the next frame, not on the
        // rest of the cut one (a pseudo-terminal keeps it otherwise).
        if (opened) port_.clear(QSerialPort::Input);
        openError_ = opened ? QString() : OpenErrorText(port_, device);
        port_.clearError();
        return opened;
    }

    void close() override {
        if (port_.isOpen()) port_.close();
        port_.clearError();
    }

    bool isOpen() const override { return port_.isOpen(); }
    QByteArray read(qint64 maxBytes) override {
        if (!port_.isOpen()) return {};
        return maxBytes > 0 ? port_.read(maxBytes) : port_.readAll();
    }

    bool write(const QByteArray& bytes) override {
        if (!port_.isOpen()) return false;
        if (port_.write(bytes) != bytes.size()) return false;
        port_.flush(); // on the line now, not at the next turn of the event loop
        return true;
    }

    Cts cts() override {
        if (!port_.isOpen()) return Cts::NotAsserted;
        const QSerialPort::PinoutSignals pins = port_.pinoutSignals();
        if (port_.error() == QSerialPort::UnsupportedOperationError) {
            // A pseudo-terminal or an adapter without modem lines: there is no
            // CTS to wait for.
            port_.clearError();
            return Cts::NoModemLines;
        }
        port_.clearError();
        return (pins & QSerialPort::ClearToSendSignal) ? Cts::Asserted : Cts::NotAsserted;
    }

  private:
    void onError(QSerialPort::SerialPortError error) {
        if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError) return;
        // After a hangup the port keeps reporting the error many thousand times
        // a second; close it once, later, outside this handler.
        if (goneQueued_) return;
        goneQueued_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                close();
                emit gone();
            },
            Qt::QueuedConnection);
    }

    QString openError() const override { return openError_; }

    QSerialPort port_;
    bool goneQueued_ = false;
    QString openError_;
};

} // namespace

std::unique_ptr<SerialLine> MakeQtSerialLine() {
    return std::make_unique<QtSerialLine>();
}

} // namespace velmora
