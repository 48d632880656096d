#include "link/serial_comm.h"

#include "core/constants.h"
#include "core/settings_store.h"
#include "core/wait.h"

namespace velmora {

SerialComm::SerialComm(QObject* parent) : QObject(parent) {
    ParseLineSettings(settings_, &lineSettings_);
    setLine(MakeQtSerialLine());
}

SerialComm::~SerialComm() = default;

void SerialComm::setLine(std::unique_ptr<SerialLine> line) {
    if (line_) line_->close();
    line_ = std::move(line);
    connect(line_.get(), &SerialLine::readyRead, this, &SerialComm::onReadyRead);
    connect(line_.get(), &SerialLine::gone, this, &SerialComm::deviceGone);
}

bool SerialComm::setCommPort(qint16 port) {
    if (port < 1 || PortOpen()) return false;
    commPort_ = port;
    return true;
}

bool SerialComm::setSettings(const QString& settings) {
    LineSettings parsed;
    if (!ParseLineSettings(settings, &parsed)) return false;
    settings_ = settings;
    lineSettings_ = parsed;
    return true;
}

bool SerialComm::setInputLen(qint16 length) {
    if (length < 0) return false;
    inputLen_ = length;
    return true;
}

bool SerialComm::setRThreshold(qint16 threshold) {
    if (threshold < 0) return false;
    rThreshold_ = threshold;
    return true;
}

bool SerialComm::PortOpen() const {
    return line_->isOpen();
}

bool SerialComm::setPortOpen(bool open) {
    if (!open) {
        line_->close();
        return true;
    }
    if (line_->isOpen()) return false;
    device_ = DeviceForPort(commPort_);
    return line_->open(device_, lineSettings_);
}

bool SerialComm::CTSHolding() {
    return line_->cts() != SerialLine::Cts::NotAsserted;
}

bool SerialComm::setOutput(const QByteArray& bytes) {
    if (bytes.isEmpty()) return line_->isOpen();
    return line_->write(bytes);
}

QByteArray SerialComm::Input() {
    return line_->read(inputLen_);
}

void SerialComm::ignoreInputFor(qint64 ns) {
    deafUntilNs_ = MonotonicNs() + ns;
}

void SerialComm::onReadyRead() {
    if (deafUntilNs_ && MonotonicNs() < deafUntilNs_) {
        line_->read(0);
        return;
    }
    deafUntilNs_ = 0;
    // The receive event comes once the threshold is reached, as soon as it is.
    if (rThreshold_ <= 0 || line_->bytesAvailable() < rThreshold_) return;
    commEvent_ = kCommEventReceive;
    emit OnComm();
}

QString DeviceForPort(int port) {
    const QString mapped = ReadPortMapping(port);
    if (!mapped.isEmpty()) return mapped;
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

} // namespace velmora
