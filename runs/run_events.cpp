#include "runs/run_events.h"

namespace velmora {

const char* RunStateName(RunState state) {
    switch (state) {
    case RunState::Idle:
        return "IDLE";
    case RunState::Running:
        return "RUNNING";
    case RunState::Done:
        return "DONE";
    case RunState::Failed:
        return "FAILED";
    }
    return "";
}

QString RunEvent::text() const {
    switch (kind) {
    case StepStarted:
        return QStringLiteral("step %1 started: %2 (line %3)").arg(step).arg(stepText).arg(line);
    case StepEnded:
        return QStringLiteral("step %1 ended: %2").arg(step).arg(reason);
    case RunEnded:
        return (state == RunState::Done ? QStringLiteral("run done: ")
                                        : QStringLiteral("run failed: ")) +
               reason;
    }
    return {};
}

} // namespace velmora
