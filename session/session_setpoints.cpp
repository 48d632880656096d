// The set-points: the adjust buttons, typed set-points, the user's limits and
// Zero output.

#include "core/constants.h"
#include "session/session.h"

namespace velmora {

void Session::pressAdjust(int button) {
    if (ending_ || refusedByTrip()) return;
    hold_.press(button);
}

void Session::releaseAdjust() {
    if (ending_) return;
    hold_.release();
}

void Session::stepAdjust(int button) {
    const AdjustStep step = StepOfButton(button);
    // Read at every step: the user may change a limit during the hold.
    const Limits limits = setpointLimits();
    if (step.voltage)
        setSetpoints(Stepped(setVoltage_, step.delta, limits.voltage), setCurrent_);
    else
        setSetpoints(setVoltage_, Stepped(setCurrent_, step.delta, limits.current));
    emit adjustStepped(step.voltage, step.voltage ? setVoltage_ : setCurrent_);
}

// Half a second after a release: the measured read-outs come back and both
// set-points go out, as they are now.
void Session::releaseDue() {
    emit adjustEnded();
    if (model() == Model::None) {
        emit message(QString(kMsgVersionIsNotDefined), QString(kErrorTitle));
        return;
    }
    if (PastLimits(setpointLimits(), setVoltage_, setCurrent_) || tripped()) return;
    sendCommand(BuildSetpointCommand(model(), setVoltage_, setCurrent_));
}

SendOutcome Session::sendSetpoints(qint16 voltageMv, qint16 currentMa, std::function<void()> sent) {
    if (ending_) return SendOutcome::Ending;
    if (refusedByTrip()) return SendOutcome::Tripped;
    if (model() == Model::None) {
        emit message(QString(kMsgVersionIsNotDefined), QString(kErrorTitle));
        return SendOutcome::NoModel;
    }
    // Nothing above a limit reaches the unit, from any path.
    if (voltageMv < 0 || currentMa < 0 || PastLimits(setpointLimits(), voltageMv, currentMa))
        return SendOutcome::PastLimit;
    setSetpoints(voltageMv, currentMa);
    return sendCommand(BuildSetpointCommand(model(), voltageMv, currentMa), std::move(sent));
}

// Whatever it interrupts builds nothing from the old set-points afterwards: a
// hold ends without another step, and a release still to come sends the
// set-points as they are then, zero.
SendOutcome Session::zeroOutput(std::function<void()> sent) {
    if (ending_) return SendOutcome::Ending;
    player_->stop();
    comm_->dropWaitingCommands();
    hold_.end();
    if (setVoltage_ != 0 || setCurrent_ != 0) beforeZero_ = Setpoints{setVoltage_, setCurrent_};
    setSetpoints(0, 0);
    emit adjustEnded();
    // The same eight characters on both models: they go out with no model too.
    return sendCommand(QByteArray(kZeroCommand), std::move(sent));
}

LimitChange Session::setUserLimits(const UserLimits& limits) {
    LimitChange change;
    StoredUserLimits* stored = storedUserLimits();
    if (!stored) return change;
    stored->limits = limits;
    stored->unreadable.clear();
    change.stored = store_.saveUserLimits(model(), limits);
    // A set-point is never above a limit: one above the new limit comes
    // down to it (to a value the unit takes exactly) and goes out at once.
    const Limits within = setpointLimits();
    const qint16 voltage = WithinLimit(setVoltage_, within.voltage, kVoltageStepMv);
    const qint16 current = WithinLimit(setCurrent_, within.current, CurrentStepMa(model()));
    if (voltage != setVoltage_) change.voltageLoweredTo = voltage;
    if (current != setCurrent_) change.currentLoweredTo = current;
    emit userLimitsChanged();
    if (change.voltageLoweredTo || change.currentLoweredTo) {
        setSetpoints(voltage, current);
        if (!ending_ && !tripped()) sendCommand(BuildSetpointCommand(model(), voltage, current));
    }
    return change;
}

} // namespace velmora
