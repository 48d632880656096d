#include "runs/run_step.h"

#include "runs/run_text.h"

#include <algorithm>

namespace velmora {

namespace {

bool Compare(qint64 reading, const RunCondition& condition) {
    return condition.above ? reading > condition.value : reading < condition.value;
}

} // namespace

bool ConditionTrue(const RunCondition& condition, const Values& values, Regulation regulation,
                   const StepSoFar& soFar) {
    switch (condition.measure) {
    case Observed::Current:
        return Compare(qint64(values.centiamps) * 10, condition);
    case Observed::Voltage:
        return Compare(qint64(values.decivolts) * 100, condition);
    case Observed::Power:
        return Compare(values.milliwatts(), condition);
    // The meters' doubles against whole micro-units: > only.
    case Observed::Charge:
        return soFar.ampHours * 1e6 > double(condition.value);
    case Observed::Energy:
        return soFar.wattHours * 1e6 > double(condition.value);
    case Observed::Time:
        return soFar.sinceCommandNs > condition.value * 1'000'000; // > only
    case Observed::ConstantCurrent:
        return regulation == Regulation::ConstantCurrent;
    case Observed::ConstantVoltage:
        return regulation == Regulation::ConstantVoltage;
    }
    return false;
}

const RunCondition* ConditionRuns::take(const Values& values, Regulation regulation,
                                        const StepSoFar& soFar) {
    const RunCondition* held = nullptr;
    for (std::size_t i = 0; i < conditions_.size(); ++i) {
        runs_[i] = ConditionTrue(conditions_[i], values, regulation, soFar) ? runs_[i] + 1 : 0;
        if (!held && runs_[i] >= frames_) held = &conditions_[i];
    }
    return held;
}

int ConditionRuns::longest() const {
    return runs_.empty() ? 0 : *std::max_element(runs_.begin(), runs_.end());
}

void PointMean::take(const Values& values, Regulation regulation) {
    ++frames_;
    if (regulation == Regulation::ConstantCurrent) ++constantCurrent_;
    decivolts_ += values.decivolts;
    centiamps_ += values.centiamps;
    milliwatts_ += values.milliwatts();
}

SweepPoint PointMean::point(int set) const {
    SweepPoint point;
    point.set = set;
    point.frames = frames_;
    if (frames_ == 0) return point;
    point.volts = double(decivolts_) / frames_ / 10.0;
    point.amps = double(centiamps_) / frames_ / 100.0;
    point.watts = double(milliwatts_) / frames_ / 1000.0;
    point.regulation =
        2 * constantCurrent_ > frames_ ? Regulation::ConstantCurrent : Regulation::ConstantVoltage;
    return point;
}

QString HeldReason(const RunCondition& condition, int frames, qint64 sinceStartNs,
                   double ampHours) {
    return QStringLiteral("%1 held %2 %3 at %4, %5")
        .arg(condition.text())
        .arg(frames)
        .arg(frames == 1 ? "frame" : "frames")
        .arg(SecondsText(sinceStartNs), ChargeText(ampHours));
}

QString FinishedReason(const RunStep& step, double ampHours) {
    switch (step.kind) {
    case StepKind::Rest:
        return QStringLiteral("rested ") + WrittenDuration(step.durationMs);
    case StepKind::Sweep:
        return QStringLiteral("%1 points swept, %2")
            .arg(SweepPoints(step).size())
            .arg(ChargeText(ampHours));
    default:
        return QStringLiteral("held %1, %2")
            .arg(WrittenDuration(step.durationMs), ChargeText(ampHours));
    }
}

QString TimeoutReason(qint64 timeoutMs, qint64 sinceStartNs, double ampHours) {
    return QStringLiteral("timed out after %1 at %2, %3")
        .arg(WrittenDuration(timeoutMs), SecondsText(sinceStartNs), ChargeText(ampHours));
}

QString StoppedReason(const QString& why, qint64 sinceStartNs, double ampHours) {
    return QStringLiteral("stopped: %1 at %2, %3")
        .arg(why, SecondsText(sinceStartNs), ChargeText(ampHours));
}

} // namespace velmora
