#include "runs/run_engine.h"

#include "runs/run_text.h"

namespace velmora {

RunEngine::RunEngine(Clock& clock, RunHost host, RunSettings settings)
    : clock_(clock), host_(std::move(host)), settings_(settings),
      stepTimer_(clock, [this] { onStepTimer(); }),
      linkTimer_(clock, [this] { stop(QStringLiteral("the link was away for more than 5 s")); }) {}

RunEngine::~RunEngine() = default;

RunMoment RunEngine::now() const {
    return {clock_.monotonicNs(), clock_.epochMs()};
}

bool RunEngine::start(RunProgram program, RunObserver* observer) {
    if (state_ == RunState::Running || !Runnable(program)) return false;
    program_ = std::move(program);
    observer_ = observer;
    state_ = RunState::Running;
    runStart_ = now();
    runMeters_.reset();
    ended_.clear();
    points_.clear();
    outcome_ = {};
    pc_ = 0;
    repeats_.clear();
    step_ = nullptr;
    stepOpen_ = false;
    stepNumber_ = 0;
    if (linkAway_) linkTimer_.start(kLinkAwayNs);
    advance(runStart_);
    return true;
}

void RunEngine::advance(RunMoment at) {
    while (pc_ < program_.steps.size()) {
        const RunStep& step = program_.steps[pc_];
        if (step.kind == StepKind::Repeat) {
            repeats_.push_back({pc_, step.count});
            ++pc_;
        } else if (step.kind == StepKind::End) {
            if (!repeats_.empty() && --repeats_.back().left > 0) {
                pc_ = repeats_.back().index + 1;
                continue;
            }
            if (!repeats_.empty()) repeats_.pop_back();
            ++pc_;
        } else {
            ++pc_;
            beginStep(step, at);
            return;
        }
    }
    finish(RunState::Done, QStringLiteral("every step ended as the file says"), {}, at);
}

void RunEngine::beginStep(const RunStep& step, RunMoment at) {
    step_ = &step;
    stepOpen_ = true;
    ++stepNumber_;
    stepStart_ = at;
    stepMeters_.reset();
    last_.reset();
    runs_.reset();
    if (step.kind == StepKind::Until) runs_.emplace(step.conditions, settings_.frames);
    report(RunEvent::StepStarted, {});
    if (state_ != RunState::Running) return; // the report may have stopped the run
    switch (step.kind) {
    case StepKind::Sweep: {
        setpoints_ = SweepPoints(step);
        point_ = 0;
        points_.clear();
        mean_ = {};
        const auto [mv, ma] = SweepSetpoints(step, setpoints_.front());
        return sendSetpoints(mv, ma);
    }
    case StepKind::Rest:
        return sendSetpoints(0, 0);
    default:
        return sendSetpoints(step.millivolts, step.milliamps);
    }
}

void RunEngine::sendSetpoints(int millivolts, int milliamps) {
    phase_ = Phase::Sending;
    const quint64 command = ++command_;
    const std::weak_ptr<int> alive = alive_;
    const QString refusal = host_.send(millivolts, milliamps, [this, alive, command] {
        if (alive.expired() || command != command_ || state_ != RunState::Running) return;
        commandOut();
    });
    if (refusal.isEmpty() || state_ != RunState::Running || command != command_) return;
    const RunMoment at = now();
    finish(RunState::Failed, QStringLiteral("step %1 refused: %2").arg(stepNumber_).arg(refusal),
           QStringLiteral("refused: ") + refusal, at);
}

void RunEngine::commandOut() {
    phase_ = Phase::Holding;
    commandOutNs_ = clock_.monotonicNs();
    const qint64 ms = step_->kind == StepKind::Until
                          ? step_->timeoutMs.value_or(settings_.defaultTimeoutMs)
                          : step_->durationMs;
    stepTimer_.startAt(commandOutNs_ + ms * kNsPerMs);
}

void RunEngine::onStepTimer() {
    if (state_ != RunState::Running || !stepOpen_) return;
    const RunMoment at = now();
    const double ampHours = stepMeters_.readings().ampHours;
    if (step_->kind == StepKind::Sweep) return sweepPointDone();
    if (step_->kind != StepKind::Until) return endStep(FinishedReason(*step_, ampHours), at);
    const qint64 timeout = step_->timeoutMs.value_or(settings_.defaultTimeoutMs);
    finish(
        RunState::Failed,
        QStringLiteral("step %1 timed out after %2").arg(stepNumber_).arg(WrittenDuration(timeout)),
        TimeoutReason(timeout, at.ns - stepStart_.ns, ampHours), at);
}

void RunEngine::sweepPointDone() {
    points_.push_back(mean_.point(setpoints_[point_]));
    mean_ = {};
    if (++point_ < setpoints_.size()) {
        const auto [mv, ma] = SweepSetpoints(*step_, setpoints_[point_]);
        return sendSetpoints(mv, ma);
    }
    endStep(FinishedReason(*step_, stepMeters_.readings().ampHours), now());
}

void RunEngine::take(const RunFrame& frame) {
    if (state_ != RunState::Running || !frame.values) return;
    const Values& values = *frame.values;
    runMeters_.take(frame.atNs, values);
    stepMeters_.take(frame.atNs, values);
    last_ = values;
    if (observer_) {
        const MeterReadings run = runMeters_.readings();
        observer_->frame({frame.atNs - runStart_.ns, values, run.ampHours, run.wattHours,
                          stepNumber_, frame.regulation});
    }
    if (phase_ == Phase::Holding && stepOpen_) takeInStep(frame);
}

void RunEngine::takeInStep(const RunFrame& frame) {
    if (step_->kind == StepKind::Sweep) {
        // The last half of the dwell: the unit has settled on the point.
        if (2 * (frame.atNs - commandOutNs_) >= step_->durationMs * kNsPerMs)
            mean_.take(*frame.values, frame.regulation);
        return;
    }
    if (step_->kind != StepKind::Until) return;
    const StepSoFar so = soFar(frame.atNs);
    if (const RunCondition* held = runs_->take(*frame.values, frame.regulation, so))
        endStep(HeldReason(*held, settings_.frames, frame.atNs - stepStart_.ns, so.ampHours),
                {frame.atNs, frame.atMs});
}

StepSoFar RunEngine::soFar(qint64 atNs) const {
    const MeterReadings step = stepMeters_.readings();
    return {atNs - commandOutNs_, step.ampHours, step.wattHours};
}

void RunEngine::endStep(const QString& reason, RunMoment at) {
    closeStep(reason, false, at);
    report(RunEvent::StepEnded, reason);
    if (state_ == RunState::Running) advance(at);
}

StepOutcome RunEngine::closeStep(const QString& reason, bool failed, RunMoment at) {
    stepTimer_.stop();
    stepOpen_ = false;
    const MeterReadings meters = stepMeters_.readings();
    StepOutcome outcome{stepNumber_, step_->place.line, step_->text,      stepStart_, at, reason,
                        failed,      meters.ampHours,   meters.wattHours, last_};
    ended_.push_back(outcome);
    if (observer_) {
        if (step_->kind == StepKind::Sweep)
            observer_->sweepEnded(outcome, step_->sweepsVoltage, points_);
        observer_->stepEnded(outcome);
    }
    return outcome;
}

void RunEngine::finish(RunState state, const QString& reason, const QString& stepReason,
                       RunMoment at) {
    state_ = state;
    ++command_; // a command still going out belongs to no step now
    linkTimer_.stop();
    const bool closing = stepOpen_;
    if (closing) closeStep(stepReason, state == RunState::Failed, at);
    outcome_ = {state, reason, runStart_, at, stepNumber_, runMeters_.readings()};
    if (host_.zero) host_.zero();
    if (closing) report(RunEvent::StepEnded, stepReason);
    if (observer_) observer_->runEnded(outcome_);
    report(RunEvent::RunEnded, reason);
}

void RunEngine::stop(const QString& reason) {
    if (state_ != RunState::Running) return;
    const RunMoment at = now();
    const QString stepReason =
        StoppedReason(reason, at.ns - stepStart_.ns, stepMeters_.readings().ampHours);
    finish(RunState::Failed, reason, stepReason, at);
}

void RunEngine::linkAway(bool away) {
    linkAway_ = away;
    if (state_ != RunState::Running) return;
    if (!away)
        linkTimer_.stop();
    else if (!linkTimer_.isActive())
        linkTimer_.start(kLinkAwayNs);
}

void RunEngine::report(RunEvent::Kind kind, const QString& reason) {
    if (!host_.report) return;
    RunEvent event;
    event.kind = kind;
    event.step = stepNumber_;
    event.line = step_ ? step_->place.line : 0;
    event.stepText = step_ ? step_->text : QString();
    event.reason = reason;
    event.state = state_;
    host_.report(event);
}

RunStatus RunEngine::status() const {
    RunStatus status;
    status.state = state_;
    status.step = stepNumber_;
    if (!step_) return status;
    status.line = step_->place.line;
    status.stepText = step_->text;
    if (state_ != RunState::Running || !stepOpen_) return status;
    const qint64 nowNs = clock_.monotonicNs();
    status.elapsedNs = nowNs - stepStart_.ns;
    status.waitingFor = waitingText(nowNs);
    return status;
}

QString RunEngine::waitingText(qint64 nowNs) const {
    if (phase_ == Phase::Sending) return QStringLiteral("its command to go out");
    const QString left = SecondsText(std::max<qint64>(stepTimer_.dueNs() - nowNs, 0));
    switch (step_->kind) {
    case StepKind::Rest:
        return QStringLiteral("the rest to end, %1 left").arg(left);
    case StepKind::Sweep:
        return QStringLiteral("point %1 of %2, %3 left")
            .arg(point_ + 1)
            .arg(setpoints_.size())
            .arg(left);
    case StepKind::Until: {
        QStringList conditions;
        for (const RunCondition& condition : step_->conditions)
            conditions << condition.text();
        QString text = conditions.join(QStringLiteral(" or "));
        if (runs_ && runs_->longest() > 0)
            text +=
                QStringLiteral(" (%1 of %2 frames)").arg(runs_->longest()).arg(settings_.frames);
        const qint64 leftMs = std::max<qint64>(stepTimer_.dueNs() - nowNs, 0) / kNsPerMs;
        return text + QStringLiteral("; timeout in ") + LongDurationText(leftMs);
    }
    default:
        return QStringLiteral("the hold to end, %1 left").arg(left);
    }
}

} // namespace velmora
