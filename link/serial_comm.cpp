#include "link/serial_comm.h"

#include "core/constants.h"
#include "core/wait.h"
#include "link/transmitter.h"

namespace velmora {

namespace {

// How long the reopened port stays deaf after a reset. A bad block is most
// often a frame cut in two: the receive event comes at the 12th waiting
// character, so the rest of the cut frame is still on its way (12.5 ms for a
// whole frame at 9600 baud, more where an adapter or the line delivers it in
// pieces). Taken as the start of the next block, it would spoil that one too,
// and the one after, and a unit would never be read again. Dropped, as a
// closed port drops it, the next block starts with the next frame. The port
// stays open meanwhile, so a command being sent goes on.
constexpr qint64 kResyncNs = 35'000'000;

SerialComm* currentComm = nullptr;

} // namespace

SerialComm::SerialComm(QObject* parent)
    : QObject(parent), transmitter_(std::make_unique<Transmitter>(*this)),
      settings_(kLineSettings) {
    ParseLineSettings(settings_, &lineSettings_);
    setLine(MakeQtSerialLine());
    currentComm = this;
}

SerialComm::~SerialComm() {
    if (currentComm == this) currentComm = nullptr;
    transmitter_.reset();
}

SerialComm* SerialComm::current() {
    return currentComm;
}

void SerialComm::setLine(std::unique_ptr<SerialLine> line) {
    if (line_) line_->close();
    line_ = std::move(line);
    connect(line_.get(), &SerialLine::readyRead, this, &SerialComm::onReadyRead);
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

bool SerialComm::setDevice(const QString& device) {
    if (PortOpen()) return false;
    device_ = device;
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

void SerialComm::resynchronise() {
    setPortOpen(false);
    setPortOpen(true);
    deafUntilNs_ = MonotonicNs() + kResyncNs;
}

void SerialComm::sendCommand(const QByteArray& command) {
    transmitter_->send(command);
}

void SerialComm::dropWaitingCommands() {
    transmitter_->dropWaiting();
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

} // namespace velmora
