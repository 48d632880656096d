#pragma once
// The pieces of a running step that need no clock: whether a condition is
// true on a frame, conditions held over frames in a row, a sweep point's
// mean, and the texts of why a step ended.

#include "runs/run_events.h"
#include "runs/run_program.h"

#include <vector>

namespace velmora {

/// What a condition is judged on, besides the frame's values.
struct StepSoFar {
    qint64 sinceCommandNs = 0; // since the step's command went out
    double ampHours = 0.0;     // since the step's start
    double wattHours = 0.0;
};

/// Whether the condition is true on a readable frame.
bool ConditionTrue(const RunCondition& condition, const Values& values, Regulation regulation,
                   const StepSoFar& soFar);

/// Counts, for each condition of a step, the readable frames in a row it was
/// true on; frames whose values cannot be read are not given to it.
class ConditionRuns {
  public:
    ConditionRuns(const std::vector<RunCondition>& conditions, int frames)
        : conditions_(conditions), runs_(conditions.size(), 0), frames_(frames) {}
    /// The first condition that has now held `frames` frames in a row.
    const RunCondition* take(const Values& values, Regulation regulation, const StepSoFar& soFar);
    /// The longest run so far, for telling what the step waits for.
    int longest() const;

  private:
    const std::vector<RunCondition>& conditions_;
    std::vector<int> runs_;
    int frames_;
};

/// The mean of a sweep point's frames and the regulation most of them had.
class PointMean {
  public:
    void take(const Values& values, Regulation regulation);
    SweepPoint point(int set) const;

  private:
    int frames_ = 0;
    int constantCurrent_ = 0;
    qint64 decivolts_ = 0, centiamps_ = 0, milliwatts_ = 0;
};

/// "I < 0.05 A held 3 frames at 22.4 s, 1.918 mAh".
QString HeldReason(const RunCondition& condition, int frames, qint64 sinceStartNs, double ampHours);
/// "held 10 s, 0.012 mAh", "rested 10 s", "11 points swept, 0.5 mAh".
QString FinishedReason(const RunStep& step, double ampHours);
/// "timed out after 3 h at 10800.1 s, 1.234 mAh".
QString TimeoutReason(qint64 timeoutMs, qint64 sinceStartNs, double ampHours);
/// "stopped: Zero output at 5.2 s, 0.1 mAh".
QString StoppedReason(const QString& why, qint64 sinceStartNs, double ampHours);

} // namespace velmora
