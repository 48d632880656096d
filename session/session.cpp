#include "session/session.h"

#include "core/constants.h"
#include "link/port.h"
#include "recording/file_names.h"
#include "session/protection_store.h"

namespace velmora {

Session::Session(Clock& clock, std::unique_ptr<SerialLine> line, SettingsStore store,
                 QObject* parent)
    : QObject(parent), clock_(clock), store_(std::move(store)), limits_(LimitsOf(kDefaultModel)),
      offTimer_(clock, [this] { offTimerRanOut(); }),
      comm_(std::make_unique<SerialComm>(clock, std::move(line))),
      hold_(
          clock, [this](int button) { stepAdjust(button); }, [this] { releaseDue(); }) {
    PlayerHost host;
    host.model = [this] { return model(); };
    host.userLimits = [this] { return userLimits(); };
    host.send = [this](const QByteArray& command, std::function<void()> sent) {
        if (sendCommand(command, sent) != SendOutcome::Queued && sent) sent();
    };
    host.message = [this](const QString& text, const QString& title) { emit message(text, title); };
    host.report = [this](const PlaybackProgress& progress) { emit playbackChanged(progress); };
    player_ = std::make_unique<Player>(clock, std::move(host));
    connect(comm_.get(), &SerialComm::OnComm, this, &Session::onComm);
    connect(comm_.get(), &SerialComm::CommandSent, this, &Session::onCommandSent);
    connect(comm_.get(), &SerialComm::LinkChanged, this, &Session::onLinkChanged);
}

Session::~Session() {
    // The player's reports and sends must not reach a half-destroyed session.
    player_.reset();
    comm_->setPortOpen(false);
}

void Session::start() {
    stored_ = store_.load();
    limits_ = {stored_.voltageLimit, stored_.currentLimit};
    port_ = stored_.port;
    smallLimits_ = store_.userLimits(Model::Small1A20V);
    largeLimits_ = store_.userLimits(Model::Large2A5_25V);
    protection_.setSettings(LoadProtection(store_, limits_));
    openPort();
}

void Session::openPort() {
    OpenPort(*comm_, port_, deviceForPort(port_));
}

QString Session::deviceForPort(int port) const {
    return DeviceForPort(port, stored_.portDevices);
}

void Session::choosePort(qint16 port) {
    ClosePort(*comm_);
    port_ = port;
    openPort();
    // Stored even when the port did not open: the next start tries it again.
    store_.savePort(port_);
}

void Session::mapPort(int port, const QString& device) {
    if (device.isEmpty())
        stored_.portDevices.remove(port);
    else
        stored_.portDevices.insert(port, device);
    store_.savePortDevice(port, device);
}

const StoredUserLimits* Session::storedUserLimits() const {
    switch (model()) {
    case Model::Small1A20V:
        return &smallLimits_;
    case Model::Large2A5_25V:
        return &largeLimits_;
    case Model::None:
        break;
    }
    return nullptr;
}

StoredUserLimits* Session::storedUserLimits() {
    return const_cast<StoredUserLimits*>(std::as_const(*this).storedUserLimits());
}

UserLimits Session::userLimits() const {
    const StoredUserLimits* stored = storedUserLimits();
    return stored ? stored->limits : UserLimits{};
}

QStringList Session::unreadableUserLimits() const {
    const StoredUserLimits* stored = storedUserLimits();
    return stored ? stored->unreadable : QStringList{};
}

void Session::chooseModel(Model model) {
    // The unit keeps its set-points; the next adjustment starts from zero.
    setSetpoints(0, 0);
    limits_ = LimitsOf(model);
    store_.saveModelLimits(limits_.voltage, limits_.current);
    // The stored trip rules hold within the new model's range only.
    protection_.setSettings(LoadProtection(store_, limits_));
    emit modelChanged();
    emit userLimitsChanged();
    emit protectionChanged();
}

// The receive handler: each frame from the unit is shown, a changed one is
// recorded, and readable values go into the history, all with the frame's
// one arrival time.
void Session::onComm() {
    if (comm_->CommEvent() != kCommEventReceive) return;
    const QByteArray block = comm_->Input();
    std::optional<Measurement> frame = ParseFrame(block, clock_.monotonicNs(), clock_.epochMs());
    if (!frame) {
        // Frames run together or split in two: start afresh on the line.
        comm_->resynchronise();
        return;
    }
    const QString text = frame->text();
    if (text != lastText_) recorder_.write(*frame);
    lastText_ = text;
    if (frame->values) history_.addMeasurement(frame->atMs, *frame->values);
    last_ = std::move(frame);
    emit measured(*last_);
    takeForMeters(*last_);
}

void Session::onCommandSent(const QByteArray& command) {
    // Read as the model in force takes it at the moment it goes out.
    if (const auto setpoints = DecodeCommand(model(), command))
        history_.addSetpoints(clock_.localNow().toMSecsSinceEpoch(), *setpoints);
    emit commandStarted(command);
}

void Session::onLinkChanged() {
    // The unit missed what was asked while the line was away (Zero output
    // included): once the line is back it gets the last command asked for,
    // a playback's record too, not set-points the playback never sent.
    if (awayChanged_ && comm_->PortOpen() && !ending_) {
        awayChanged_ = false;
        sendCommand(lastAsked_);
    }
    emit linkChanged();
}

SendOutcome Session::sendCommand(const QByteArray& command, std::function<void()> sent) {
    if (ending_) return SendOutcome::Ending;
    lastAsked_ = command;
    if (!comm_->PortOpen()) awayChanged_ = true;
    comm_->sendCommand(command, [this, sent = std::move(sent)](CommandEnd end) {
        if (end == CommandEnd::Lost) awayChanged_ = true;
        if (sent) sent();
    });
    return SendOutcome::Queued;
}

void Session::setSetpoints(qint16 voltageMv, qint16 currentMa) {
    if (voltageMv == setVoltage_ && currentMa == setCurrent_) return;
    setVoltage_ = voltageMv;
    setCurrent_ = currentMa;
    emit setpointsChanged();
}

QString Session::filePath(const QString& fileName) const {
    return ProgramFilePath(fileName);
}

void Session::shutdown() {
    if (ending_) return;
    ending_ = true;
    player_->stop();
    hold_.end();
    comm_->dropWaitingCommands();
    // A command cut short would leave the unit a fragment that it may join
    // to the next command it gets: the one on the line goes out whole.
    const auto finish = [this] {
        recorder_.stop();
        comm_->setPortOpen(false);
        emit ended();
    };
    comm_->whenCommandsIdle(finish);
}

} // namespace velmora
