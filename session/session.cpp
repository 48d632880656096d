#include "session/session.h"

#include "recording/file_names.h"
#include "runs/run_settings.h"
#include "session/protection_store.h"

namespace velmora {

Session::Session(Clock& clock, std::unique_ptr<SerialLine> line, SettingsStore store,
                 QObject* parent)
    : QObject(parent), clock_(clock), store_(std::move(store)),
      unit_(std::make_unique<UnitControl>(clock, std::move(line), store_)),
      offTimer_(clock, [this] { offTimerRanOut(); }), number_(store_.unit()) {
    PlayerHost host;
    host.model = [this] { return unit_->model(); };
    host.userLimits = [this] { return unit_->userLimits(); };
    host.send = [this](const Setpoints& setpoints, std::function<void()> sent) {
        // The model and the limits in force now: the user may change them
        // during a run.
        switch (unit_->request(SetpointSource::Playback, setpoints, std::move(sent)).verdict) {
        case DoorAnswer::Verdict::Queued:
            return PlayerSend::Queued;
        case DoorAnswer::Verdict::NoModel:
            return PlayerSend::NoModel;
        default:
            return PlayerSend::Refused;
        }
    };
    host.message = [this](const QString& text, const QString& title) { emit message(text, title); };
    host.report = [this](const PlaybackProgress& progress) { emit playbackChanged(progress); };
    player_ = std::make_unique<Player>(clock, std::move(host));
    connect(unit_.get(), &UnitControl::frameArrived, this, &Session::onFrame);
    connect(unit_.get(), &UnitControl::commandStarted, this, &Session::onCommandStarted);
    connect(unit_.get(), &UnitControl::modelChanged, this, &Session::onModelChanged);
    connect(unit_.get(), &UnitControl::message, this, &Session::message);
    connect(unit_.get(), &UnitControl::zeroing, this, [this] { player_->stop(); });
    // Once the zero is queued: a run's end then finds the unit at zero.
    connect(unit_.get(), &UnitControl::zeroed, this,
            [this](SetpointSource source) { runs_->stop(SourceName(source)); });
    connect(unit_.get(), &UnitControl::linkChanged, this,
            [this] { runs_->linkAway(!unit_->linkOpen()); });
    connect(unit_.get(), &UnitControl::notStored, this, [this] { stored(false); });
}

Session::~Session() {
    // The player's and the run's reports and sends, and the unit's signals as
    // its port closes, must not reach a half-destroyed session.
    unit_->disconnect(this);
    runs_.reset();
    player_.reset();
}

void Session::start() {
    stored_ = store_.load();
    QStringList problems;
    runs_ = std::make_unique<RunControl>(clock_, *unit_, LoadRunSettings(store_, &problems));
    connect(runs_.get(), &RunControl::runEvent, this, &Session::runEvent);
    connect(runs_.get(), &RunControl::changed, this, &Session::runChanged);
    for (const QString& problem : problems)
        emit message(QStringLiteral("settings file %1, [Runs] %2").arg(store_.fileName(), problem),
                     QStringLiteral("Runs"));
    protection_.setSettings(LoadProtection(store_, {stored_.voltageLimit, stored_.currentLimit}));
    unit_->start(stored_);
}

void Session::onModelChanged() {
    // The stored trip rules hold within the new model's range only.
    protection_.setSettings(LoadProtection(store_, unit_->limits()));
    emit protectionChanged();
}

// Each frame from the unit is shown, a changed one is recorded, and readable
// values go into the history, all with the frame's one arrival time.
void Session::onFrame(const Measurement& frame) {
    const QString text = frame.text();
    if (text != lastText_) recorder_.write(frame);
    lastText_ = text;
    if (frame.values) history_.addMeasurement(frame.atMs, *frame.values);
    last_ = frame;
    emit measured(*last_);
    takeForMeters(*last_);
    runs_->take(frame, regulation_.value_or(Regulation::ConstantVoltage));
}

void Session::onCommandStarted(const QByteArray& command) {
    // Read as the model in force takes it at the moment it goes out.
    if (const auto setpoints = DecodeCommand(unit_->model(), command))
        history_.addSetpoints(clock_.localNow().toMSecsSinceEpoch(), *setpoints);
}

bool Session::stored(bool written) {
    if (!written && !std::exchange(notStoredSaid_, true))
        emit settingsNotStored(
            QStringLiteral("the settings file %1 cannot be written: changes hold until the "
                           "program ends")
                .arg(store_.fileName()));
    return written;
}

QString Session::filePath(const QString& fileName) const {
    return ProgramFilePath(fileName);
}

void Session::shutdown() {
    if (ending()) return;
    player_->stop();
    if (runs_) runs_->stop(QStringLiteral("the program is ending"));
    unit_->shutdown([this] {
        recorder_.stop();
        emit ended();
    });
}

} // namespace velmora
