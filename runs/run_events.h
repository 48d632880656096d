#pragma once
// What a run tells as it goes: its state, each step's start and end with
// why, the frames it takes and the points of its sweeps.

#include "meters/meters.h"
#include "unit/measurement.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace velmora {

enum class RunState { Idle, Running, Done, Failed };

/// "IDLE", "RUNNING", "DONE", "FAILED".
const char* RunStateName(RunState state);

/// One frame as the session hands it over.
struct RunFrame {
    qint64 atNs = 0;              // arrival, monotonic clock
    qint64 atMs = 0;              // arrival, wall clock (ms since 1970, UTC)
    std::optional<Values> values; // none when the frame's values cannot be read
    Regulation regulation = Regulation::ConstantVoltage; // as the session inferred it
};

/// A moment on both clocks.
struct RunMoment {
    qint64 ns = 0;
    qint64 ms = 0;
};

/// A step that has ended, and how.
struct StepOutcome {
    int number = 0; // in the order the steps ran, from 1
    int line = 0;
    QString text; // the step's line
    RunMoment start, end;
    QString reason; // "I < 0.05 A held 3 frames at 22.4 s, 1.918 mAh"
    bool failed = false;
    double ampHours = 0.0; // from the step's start
    double wattHours = 0.0;
    std::optional<Values> last; // the last readable frame's values
};

/// One point of a sweep: the mean of the readable frames in the last half of
/// its dwell, and the regulation most of them had.
struct SweepPoint {
    int set = 0;    // mV or mA, whichever the sweep steps
    int frames = 0; // the frames the mean is of; 0: no values
    double volts = 0.0, amps = 0.0, watts = 0.0;
    Regulation regulation = Regulation::ConstantVoltage;
};

/// How a run ended.
struct RunOutcome {
    RunState state = RunState::Idle;
    QString reason;
    RunMoment start, end;
    int steps = 0; // steps that ran
    MeterReadings totals;
};

/// What the host is told: a step started, a step ended, the run ended.
struct RunEvent {
    enum Kind { StepStarted, StepEnded, RunEnded };
    Kind kind = StepStarted;
    int step = 0;
    int line = 0;
    QString stepText;
    QString reason; // StepEnded, RunEnded
    RunState state = RunState::Running;
    /// The line the headless program prints: "step 1 started: set 4.2 V 0.5 A
    /// until I < 0.05 A (line 2)", "step 1 ended: I < 0.05 A held 3 frames at
    /// 22.4 s, 1.918 mAh", "run done: ...", "run failed: ...".
    QString text() const;
};

/// One readable frame of a run, for its report.
struct RunRow {
    qint64 sinceStartNs = 0;
    Values values;
    double ampHours = 0.0; // from the run's start
    double wattHours = 0.0;
    int step = 0;
    Regulation regulation = Regulation::ConstantVoltage;
};

/// Follows a run for its report; the engine calls it as things happen.
class RunObserver {
  public:
    virtual ~RunObserver() = default;
    virtual void frame(const RunRow& row) = 0;
    virtual void stepEnded(const StepOutcome& step) = 0;
    virtual void sweepEnded(const StepOutcome& step, bool sweepsVoltage,
                            const std::vector<SweepPoint>& points) = 0;
    virtual void runEnded(const RunOutcome& outcome) = 0;
};

/// How a run reaches the unit: through the door, and nothing else.
struct RunHost {
    /// Through the door; returns "" when queued, else the refusal reason (the
    /// run then ends as failed with it). `sent` is called once the command is out.
    std::function<QString(int millivolts, int milliamps, std::function<void()> sent)> send;
    /// The door's zero at the run's end, however it ends.
    std::function<void()> zero;
    std::function<void(const RunEvent&)> report;
};

} // namespace velmora
