#pragma once
// The engine that runs a checked run file: a state machine on the clock's
// timers, fed every frame, which reaches the unit only through its host.

#include "core/clock.h"
#include "runs/run_events.h"
#include "runs/run_program.h"
#include "runs/run_settings.h"
#include "runs/run_step.h"

#include <memory>
#include <optional>

namespace velmora {

/// Where a run stands, for a window or a remote query.
struct RunStatus {
    RunState state = RunState::Idle;
    int step = 0; // the step running (or the last that ran), from 1
    int line = 0;
    QString stepText;
    qint64 elapsedNs = 0; // since the step's start
    QString waitingFor;   // "I < 0.05 A or CV (2 of 3 frames); timeout in 02:59:40"
};

/// Runs one run at a time. Nothing waits: each step ends on a frame that
/// completes its condition, or on a timer. A condition's next step has its
/// command asked for inside the take() of that frame. A step's meters count
/// from its start; its hold, dwell, timeout and conditions from its command
/// going out, so frames of the set-points before count for nothing.
class RunEngine {
  public:
    /// A frame counts towards the link's absence no longer than this.
    static constexpr qint64 kLinkAwayNs = 5'000'000'000;

    RunEngine(Clock& clock, RunHost host, RunSettings settings = {});
    ~RunEngine();
    RunEngine(const RunEngine&) = delete;
    RunEngine& operator=(const RunEngine&) = delete;

    /// Starts a program that passed the check; `observer` (the report) may
    /// be null and must outlive the run. False when a run is going already
    /// or the program has no step.
    bool start(RunProgram program, RunObserver* observer = nullptr);
    /// Every frame the unit sends, readable or not.
    void take(const RunFrame& frame);
    /// The link went away (true) or came back; away for more than 5 s ends
    /// the run as failed.
    void linkAway(bool away);
    /// Ends a run going as failed: Zero output, a trip, the off-timer, the
    /// watchdog, a signal, a remote stop. Harmless when none goes.
    void stop(const QString& reason);

    RunState state() const { return state_; }
    RunStatus status() const;
    const std::vector<StepOutcome>& endedSteps() const { return ended_; }
    /// The sweep points of the sweep running or the last one run.
    const std::vector<SweepPoint>& sweepPoints() const { return points_; }
    /// The run's totals from its start.
    MeterReadings totals() const { return runMeters_.readings(); }
    const RunOutcome& outcome() const { return outcome_; }

  private:
    enum class Phase { Sending, Holding };
    struct Repeat {
        std::size_t index;
        int left;
    };

    RunMoment now() const;
    void advance(RunMoment at);
    void beginStep(const RunStep& step, RunMoment at);
    void sendSetpoints(int millivolts, int milliamps);
    void commandOut();
    void onStepTimer();
    void sweepPointDone();
    void takeInStep(const RunFrame& frame);
    void endStep(const QString& reason, RunMoment at);
    StepOutcome closeStep(const QString& reason, bool failed, RunMoment at);
    void finish(RunState state, const QString& reason, const QString& stepReason, RunMoment at);
    StepSoFar soFar(qint64 atNs) const;
    void report(RunEvent::Kind kind, const QString& reason);
    QString waitingText(qint64 nowNs) const;

    Clock& clock_;
    RunHost host_;
    RunSettings settings_;
    Timer stepTimer_;
    Timer linkTimer_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0); // for late `sent` calls

    RunState state_ = RunState::Idle;
    RunProgram program_;
    RunObserver* observer_ = nullptr;
    RunMoment runStart_;
    Meters runMeters_;
    std::vector<StepOutcome> ended_;
    RunOutcome outcome_;
    bool linkAway_ = false;

    // The step running.
    std::size_t pc_ = 0;
    std::vector<Repeat> repeats_;
    const RunStep* step_ = nullptr; // the step running, or the last that ran
    bool stepOpen_ = false;
    int stepNumber_ = 0;
    RunMoment stepStart_;
    Phase phase_ = Phase::Sending;
    qint64 commandOutNs_ = 0;
    quint64 command_ = 0; // which command a `sent` is for
    Meters stepMeters_;
    std::optional<Values> last_;
    std::optional<ConditionRuns> runs_;
    // A sweep's points.
    std::vector<int> setpoints_;
    std::size_t point_ = 0;
    PointMean mean_;
    std::vector<SweepPoint> points_;
};

} // namespace velmora
