#include "link/serial_comm.h"

#include "core/constants.h"

namespace velmora {

namespace {

// How often an absent device is looked for: it opens within a second of
// coming back, and a look is one stat() call.
constexpr qint64 kLookIntervalNs = 500'000'000;
// A device that is there but refuses to open (in use, no permission) is
// tried again this often; a new device node at the path at once.
constexpr qint64 kRetryNs = 3'000'000'000;

} // namespace

SerialComm::SerialComm(Clock& clock, std::unique_ptr<SerialLine> line, QObject* parent)
    : QObject(parent), clock_(clock), transmitter_(*this, clock),
      lookForDevice_(clock, [this] { lookForDevice(); }), settings_(kLineSettings) {
    ParseLineSettings(settings_, &lineSettings_);
    setLine(std::move(line));
}

SerialComm::~SerialComm() {
    if (line_) line_->close();
}

void SerialComm::setLine(std::unique_ptr<SerialLine> line) {
    if (line_) line_->close();
    line_ = std::move(line);
    connect(line_.get(), &SerialLine::readyRead, this, &SerialComm::onReadyRead);
    connect(line_.get(), &SerialLine::gone, this, &SerialComm::onLineGone);
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

void SerialComm::setState(LinkState state, const QString& detail) {
    const bool changed = state != state_ || detail != detail_;
    state_ = state;
    detail_ = detail;
    if (changed) emit LinkChanged();
}

bool SerialComm::setPortOpen(bool open) {
    if (!open) {
        // Choosing another port ends the looks for this one.
        wanted_ = false;
        lookForDevice_.stop();
        line_->close();
        input_.restart();
        setState(LinkState::Closed);
        return true;
    }
    if (line_->isOpen()) return false;
    wanted_ = true;
    triedIdentity_.clear();
    return openLine();
}

// Opens the line on the device; on failure says why and looks for the device.
bool SerialComm::openLine() {
    const DeviceCheck check = CheckDevicePath(device_);
    triedIdentity_ = check.identity;
    triedAtNs_ = clock_.monotonicNs();
    if (line_->open(device_, lineSettings_)) {
        input_.restart();
        heardAtNs_ = clock_.monotonicNs();
        lookForDevice_.stop();
        setState(LinkState::Open);
        return true;
    }
    const LinkState state = check.state == LinkState::Open ? LinkState::CannotOpen : check.state;
    setState(state, state == LinkState::CannotOpen ? line_->openError() : check.detail);
    if (wanted_) lookForDevice_.start(kLookIntervalNs);
    return false;
}

void SerialComm::lookForDevice() {
    if (!wanted_ || PortOpen()) return;
    lookForDevice_.start(kLookIntervalNs);
    const DeviceCheck check = CheckDevicePath(device_);
    if (check.state != LinkState::Open) {
        setState(check.state, check.detail);
        triedIdentity_.clear();
        return;
    }
    const bool another = check.identity != triedIdentity_;
    if (!another && clock_.monotonicNs() - triedAtNs_ < kRetryNs) return;
    openLine();
}

void SerialComm::onLineGone() {
    // The line is closed already. What was going out is not finished on the
    // device when it comes back.
    transmitter_.lineLost();
    input_.restart();
    triedIdentity_.clear();
    setState(LinkState::Waiting);
    if (wanted_) lookForDevice_.start(kLookIntervalNs);
}

LinkStatus SerialComm::status() const {
    LinkStatus s;
    s.port = commPort_;
    s.device = device_;
    s.state = PortOpen() ? LinkState::Open : state_;
    if (s.state == LinkState::Open) s.quietNs = clock_.monotonicNs() - heardAtNs_;
    s.detail = detail_;
    return s;
}

bool SerialComm::CTSHolding() {
    return line_->cts() != SerialLine::Cts::NotAsserted;
}

bool SerialComm::setOutput(const QByteArray& bytes) {
    if (bytes.isEmpty()) return line_->isOpen();
    return line_->write(bytes);
}

QByteArray SerialComm::Input() {
    input_.take(line_->read(0), clock_.monotonicNs());
    return input_.read(inputLen_);
}

void SerialComm::resynchronise() {
    line_->close();
    if (!openLine()) return;
    input_.resynchronise(clock_.monotonicNs());
}

void SerialComm::sendCommand(const QByteArray& command, Transmitter::Done done) {
    transmitter_.send(command, std::move(done));
}

void SerialComm::dropWaitingCommands() {
    transmitter_.dropWaiting();
}

void SerialComm::onReadyRead() {
    const QByteArray bytes = line_->read(0);
    if (bytes.isEmpty()) return;
    heardAtNs_ = clock_.monotonicNs();
    input_.take(bytes, heardAtNs_);
    // The receive event comes once a block is ready, as soon as it is; once
    // the stream is cut into frames, once for each frame waiting.
    while (input_.blockReady(rThreshold_)) {
        const qint64 before = input_.waiting();
        commEvent_ = kCommEventReceive;
        emit OnComm();
        if (!PortOpen() || input_.waiting() >= before) break;
    }
}

} // namespace velmora
