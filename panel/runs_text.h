#pragma once
// What the Runs window says about a run: the step running, how long it has
// run and what it waits for, each ended step, and how the run ended.

#include "runs/run_engine.h"
#include "runs/run_events.h"

#include <QString>

namespace velmora {

/// A time that has passed, in whole seconds: "00:01:05", "26:00:00".
QString ElapsedText(qint64 ns);
/// "Running", "Done", ..., as the window's state line begins.
QString RunStateText(RunState state);
/// "Step 2, line 3: rest 10 s"; empty before any step.
QString RunStepText(const RunStatus& status);
/// "00:00:04 in the step, waiting for the rest to end, 5.8 s left";
/// empty once the step has ended.
QString RunProgressText(const RunStatus& status);
/// One line of the ended steps' list: "2. rest 10 s: rested 10 s".
QString EndedStepText(int step, const QString& stepText, const QString& reason);
/// "Done: every step ended as the file says"; empty while running or idle.
QString RunOutcomeText(const RunOutcome& outcome);

} // namespace velmora
