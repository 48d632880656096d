#include "panel/runs_text.h"

#include "meters/meter_text.h"

namespace velmora {

QString ElapsedText(qint64 ns) {
    return HoursClockText(ns / kNsPerSecond);
}

QString RunStateText(RunState state) {
    switch (state) {
    case RunState::Idle:
        return QStringLiteral("No run yet");
    case RunState::Running:
        return QStringLiteral("Running");
    case RunState::Done:
        return QStringLiteral("Done");
    case RunState::Failed:
        return QStringLiteral("Failed");
    }
    return {};
}

QString RunStepText(const RunStatus& status) {
    if (status.step <= 0) return {};
    return QStringLiteral("Step %1, line %2: %3")
        .arg(status.step)
        .arg(status.line)
        .arg(status.stepText);
}

QString RunProgressText(const RunStatus& status) {
    if (status.state != RunState::Running || status.waitingFor.isEmpty()) return {};
    return ElapsedText(status.elapsedNs) + QStringLiteral(" in the step, waiting for ") +
           status.waitingFor;
}

QString EndedStepText(int step, const QString& stepText, const QString& reason) {
    return QStringLiteral("%1. %2: %3").arg(step).arg(stepText, reason);
}

QString RunOutcomeText(const RunOutcome& outcome) {
    if (outcome.state != RunState::Done && outcome.state != RunState::Failed) return {};
    return RunStateText(outcome.state) + QStringLiteral(": ") + outcome.reason;
}

} // namespace velmora
