#include "session/unit_control.h"

#include "core/constants.h"

namespace velmora {

namespace {

const QString kProtectionTitle = QStringLiteral("Protection");

// Whose refusals are told at the panel, in a message box: the user's own
// hands. Other senders answer their own way (an SCPI error, an event).
bool AtThePanel(SetpointSource source) {
    return source == SetpointSource::Buttons || source == SetpointSource::SetValues;
}

} // namespace

UnitControl::UnitControl(Clock& clock, std::unique_ptr<SerialLine> line, SettingsStore& store,
                         QObject* parent)
    : QObject(parent), clock_(clock), store_(store),
      link_(std::make_unique<SerialLink>(clock, std::move(line))),
      hold_(
          clock, [this](int button) { stepAdjust(button); }, [this] { releaseDue(); }),
      limits_(LimitsOf(kDefaultModel)) {
    connect(link_.get(), &SerialLink::frameArrived, this, &UnitControl::frameArrived);
    connect(link_.get(), &SerialLink::commandStarted, this, &UnitControl::commandStarted);
    connect(link_.get(), &SerialLink::changed, this, &UnitControl::onLinkChanged);
}

UnitControl::~UnitControl() {
    link_->closePort();
}

void UnitControl::start(const StoredSettings& stored) {
    limits_ = {stored.voltageLimit, stored.currentLimit};
    port_ = stored.port;
    portDevices_ = stored.portDevices;
    smallLimits_ = store_.userLimits(Model::Small1A20V);
    largeLimits_ = store_.userLimits(Model::Large2A5_25V);
    link_->openPort(port_, deviceForPort(port_));
}

void UnitControl::choosePort(qint16 port) {
    port_ = port;
    link_->openPort(port_, deviceForPort(port_));
    // Stored even when the port did not open: the next start tries it again.
    stored(store_.savePort(port_));
}

void UnitControl::mapPort(int port, const QString& device) {
    if (device.isEmpty())
        portDevices_.remove(port);
    else
        portDevices_.insert(port, device);
    stored(store_.savePortDevice(port, device));
}

const StoredUserLimits* UnitControl::storedUserLimits() const {
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

StoredUserLimits* UnitControl::storedUserLimits() {
    return const_cast<StoredUserLimits*>(std::as_const(*this).storedUserLimits());
}

UserLimits UnitControl::userLimits() const {
    const StoredUserLimits* stored = storedUserLimits();
    return stored ? stored->limits : UserLimits{};
}

QStringList UnitControl::unreadableUserLimits() const {
    const StoredUserLimits* stored = storedUserLimits();
    return stored ? stored->unreadable : QStringList{};
}

void UnitControl::chooseModel(Model model) {
    limits_ = LimitsOf(model);
    stored(store_.saveModelLimits(limits_));
    // The next adjustment starts from zero, and the unit is told so: every
    // answer about the set-points agrees with what it holds.
    request(SetpointSource::ModelChosen, {});
    emit modelChanged();
    emit userLimitsChanged();
}

void UnitControl::mendModelLimits() {
    if (model() == Model::None) return;
    limits_ = LimitsOf(model());
    store_.saveModelLimits(limits_);
}

LimitChange UnitControl::setUserLimits(const UserLimits& limits, bool sendLowered) {
    LimitChange change;
    StoredUserLimits* kept = storedUserLimits();
    if (!kept) return change;
    kept->limits = limits;
    kept->unreadable.clear();
    change.stored = stored(store_.saveUserLimits(model(), limits));
    // A set-point is never above a limit: one above the new limit comes
    // down to it (to a value the unit takes exactly) and goes out at once.
    const Limits within = setpointLimits();
    const Setpoints lowered{WithinLimit(setpoints_.voltage, within.voltage, kVoltageStep),
                            WithinLimit(setpoints_.current, within.current, CurrentStep(model()))};
    if (lowered.voltage != setpoints_.voltage) change.voltageLoweredTo = lowered.voltage;
    if (lowered.current != setpoints_.current) change.currentLoweredTo = lowered.current;
    emit userLimitsChanged();
    if (change.voltageLoweredTo || change.currentLoweredTo) {
        // Tripped or ending, it stays in force and goes out no more.
        if (!sendLowered || !request(SetpointSource::LimitLowered, lowered).queued())
            setSetpoints(lowered);
    }
    return change;
}

DoorAnswer UnitControl::refuse(SetpointSource source, const DoorAnswer& answer) {
    if (AtThePanel(source)) {
        if (answer.verdict == DoorAnswer::Verdict::NoModel)
            emit message(QString(kMsgVersionIsNotDefined), QString(kErrorTitle));
        if (answer.verdict == DoorAnswer::Verdict::Tripped)
            emit message(answer.reason, kProtectionTitle);
    }
    emit refused(source, answer);
    return answer;
}

DoorAnswer UnitControl::check(SetpointSource source, const Setpoints& asked) const {
    using Verdict = DoorAnswer::Verdict;
    if (ending_) return {Verdict::Ending, QStringLiteral("the program is ending"), asked};
    // Without a model no command can be built but the zero, which is the
    // same on both; only what zeroes the output sends it then.
    if (model() == Model::None && !Zeroes(source) && source != SetpointSource::LinkBack)
        return {Verdict::NoModel, QStringLiteral("no model chosen"), asked};
    const SetpointCheck check = CheckSetpoints(model(), userLimits(), asked);
    const bool zero = check.setpoints == Setpoints{};
    if (!zero && heldAtZero()) return {Verdict::Tripped, heldBecause_, check.setpoints};
    switch (check.refusal) {
    case Refusal::None:
        break;
    case Refusal::NoModel:
        return {Verdict::NoModel, check.reason, check.setpoints};
    case Refusal::PastModelRange:
        return {Verdict::PastModelRange, check.reason, check.setpoints};
    case Refusal::PastUserLimit:
        return {Verdict::PastUserLimit, check.reason, check.setpoints};
    }
    return {Verdict::Queued, {}, check.setpoints};
}

DoorAnswer UnitControl::request(SetpointSource source, const Setpoints& asked,
                                std::function<void()> sent) {
    const DoorAnswer answer = check(source, asked);
    if (!answer.queued()) return refuse(source, answer);
    if (Zeroes(source)) {
        // Whatever it interrupts builds nothing from the old set-points
        // afterwards: a run or a playback ends, a hold ends without another
        // step, and a release still to come sends the set-points as they are
        // then, zero.
        emit zeroing(source);
        link_->dropWaiting();
        hold_.end();
        if (setpoints_ != Setpoints{}) beforeZero_ = setpoints_;
    }
    setSetpoints(answer.setpoints);
    if (Zeroes(source)) emit adjustEnded();
    queue(std::move(sent));
    if (Zeroes(source)) emit zeroed(source);
    return answer;
}

void UnitControl::queue(std::function<void()> sent) {
    // The zero is the same eight characters on both models: it goes out with
    // no model too.
    const QByteArray command = setpoints_ == Setpoints{}
                                   ? QByteArray(kZeroCommand)
                                   : BuildSetpointCommand(model(), setpoints_);
    if (!link_->isOpen()) awayChanged_ = true;
    link_->send(command, [this, sent = std::move(sent)](CommandEnd end) {
        if (end == CommandEnd::Lost) awayChanged_ = true;
        if (sent) sent();
    });
}

void UnitControl::onLinkChanged() {
    // The unit missed what was asked while the line was away (Zero output
    // included): once the line is back it gets the set-points in force, the
    // last asked for from any sender, a playback's record too.
    if (awayChanged_ && link_->isOpen() && !ending_) {
        awayChanged_ = false;
        request(SetpointSource::LinkBack, setpoints_);
    }
    emit linkChanged();
}

bool UnitControl::stored(bool written) {
    if (!written) emit notStored();
    return written;
}

void UnitControl::setSetpoints(const Setpoints& setpoints) {
    if (setpoints == setpoints_) return;
    setpoints_ = setpoints;
    emit setpointsChanged();
}

void UnitControl::pressAdjust(int button) {
    if (ending_) return;
    if (heldAtZero()) {
        refuse(SetpointSource::Buttons, {DoorAnswer::Verdict::Tripped, heldBecause_, setpoints_});
        return;
    }
    hold_.press(button);
}

void UnitControl::releaseAdjust() {
    if (ending_) return;
    hold_.release();
}

void UnitControl::stepAdjust(int button) {
    const AdjustStep step = StepOfButton(button);
    // Read at every step: the user may change a limit during the hold.
    const Limits limits = setpointLimits();
    Setpoints s = setpoints_;
    if (step.voltage)
        s.voltage = Stepped(s.voltage, step.delta, limits.voltage);
    else
        s.current = Stepped(s.current, step.delta, limits.current);
    setSetpoints(s);
    emit adjustStepped(step.voltage, step.voltage ? s.voltage.value : s.current.value);
}

// Half a second after a release: the measured read-outs come back and both
// set-points go out, as they are now.
void UnitControl::releaseDue() {
    emit adjustEnded();
    // A trip during the hold zeroed the output already.
    if (heldAtZero()) return;
    request(SetpointSource::Buttons, setpoints_);
}

void UnitControl::shutdown(std::function<void()> then) {
    if (ending_) return;
    ending_ = true;
    hold_.end();
    link_->dropWaiting();
    // A command cut short would leave the unit a fragment that it may join
    // to the next command it gets: the one on the line goes out whole.
    link_->whenIdle([this, then = std::move(then)] {
        link_->closePort();
        then();
    });
}

} // namespace velmora
