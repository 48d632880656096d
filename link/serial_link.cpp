#include "link/serial_link.h"

namespace velmora {

namespace {

// How often an absent device is looked for: it opens within a second of
// coming back, and a look is one stat() call.
constexpr qint64 kLookIntervalNs = 500'000'000;
// A device that is there but refuses to open (in use, no permission) is
// tried again this often; a new device node at the path at once.
constexpr qint64 kRetryNs = 3'000'000'000;
// The unit's line: 9600 baud, no parity, 8 data bits, 1 stop bit.
constexpr LineSettings kUnitLine{9600, 'N', 8, 1};

} // namespace

QString DeviceForPort(int port, const QMap<int, QString>& mappedDevices) {
    const QString mapped = mappedDevices.value(port);
    if (!mapped.isEmpty()) return mapped;
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

SerialLink::SerialLink(Clock& clock, std::unique_ptr<SerialLine> line, QObject* parent)
    : QObject(parent), clock_(clock), line_(std::move(line)), transmitter_(*this, clock),
      lookForDevice_(clock, [this] { lookForDevice(); }) {
    connect(line_.get(), &SerialLine::readyRead, this, &SerialLink::onReadyRead);
    connect(line_.get(), &SerialLine::gone, this, &SerialLink::onLineGone);
}

SerialLink::~SerialLink() {
    line_->close();
}

void SerialLink::openPort(qint16 port, const QString& device) {
    target_ = Target{port, device};
    // Otherwise once the command on the line is out (finished()).
    if (!transmitter_.commandOnLine()) applyTarget();
}

void SerialLink::closePort() {
    target_.reset();
    close();
}

void SerialLink::finished() {
    if (target_) applyTarget();
}

void SerialLink::applyTarget() {
    const Target target = *std::exchange(target_, std::nullopt);
    close();
    port_ = target.port;
    device_ = target.device;
    // No port at all: nothing to open or look for.
    if (port_ < 1) return;
    wanted_ = true;
    triedIdentity_.clear();
    openLine();
}

void SerialLink::close() {
    // Choosing another port ends the looks for this one.
    wanted_ = false;
    lookForDevice_.stop();
    line_->close();
    input_.restart();
    setState(LinkState::Closed);
}

void SerialLink::setState(LinkState state, const QString& detail) {
    const bool changed = state != state_ || detail != detail_;
    state_ = state;
    detail_ = detail;
    if (changed) emit this->changed();
}

// Opens the line on the device; on failure says why and looks for the device.
bool SerialLink::openLine() {
    const DeviceCheck check = CheckDevicePath(device_);
    triedIdentity_ = check.identity;
    triedAtNs_ = clock_.monotonicNs();
    if (line_->open(device_, kUnitLine)) {
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

void SerialLink::lookForDevice() {
    if (!wanted_ || isOpen()) return;
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

void SerialLink::onLineGone() {
    // The line is closed already. What was going out is not finished on the
    // device when it comes back.
    transmitter_.lineLost();
    input_.restart();
    triedIdentity_.clear();
    setState(LinkState::Waiting);
    if (wanted_) lookForDevice_.start(kLookIntervalNs);
}

LinkStatus SerialLink::status() const {
    LinkStatus s;
    s.port = port_;
    s.device = device_;
    s.state = isOpen() ? LinkState::Open : state_;
    if (s.state == LinkState::Open) s.quietNs = clock_.monotonicNs() - heardAtNs_;
    s.detail = detail_;
    return s;
}

bool SerialLink::clearToSend() {
    return line_->cts() != SerialLine::Cts::NotAsserted;
}

void SerialLink::write(const QByteArray& bytes) {
    line_->write(bytes);
}

QString SerialLink::lineIdentity() const {
    return QString::number(port_) + u'\n' + device_;
}

void SerialLink::send(const QByteArray& command, Transmitter::Done done) {
    transmitter_.send(command, std::move(done));
}

// Starts afresh on the line after a spoilt block: reopens the port, drops the
// rest of the cut frame and finds the next frame's start. If the device has
// gone, the reopen fails and the port stays closed. A command being sent goes
// on: the port is the same.
void SerialLink::resynchronise() {
    line_->close();
    if (!openLine()) return;
    input_.resynchronise(clock_.monotonicNs());
}

// Every block ready is one frame or a spoilt one; a frame goes out stamped
// with one reading of the clocks, which the record and the history share.
void SerialLink::onReadyRead() {
    const QByteArray bytes = line_->read(0);
    if (bytes.isEmpty()) return;
    heardAtNs_ = clock_.monotonicNs();
    input_.take(bytes, heardAtNs_);
    while (isOpen() && input_.blockReady()) {
        const QByteArray block = input_.read();
        std::optional<Measurement> frame =
            ParseFrame(block, clock_.monotonicNs(), clock_.epochMs());
        if (!frame) {
            // Frames run together or split in two: start afresh on the line.
            resynchronise();
            return;
        }
        emit frameArrived(*frame);
    }
}

} // namespace velmora
