#pragma once
// A run of a run file on one unit: read and checked once when it starts, its
// steps' set-points through the unit's door, fed every frame, and its report
// written as it goes.

#include "core/clock.h"
#include "runs/run_check.h"
#include "runs/run_engine.h"
#include "runs/run_file_read.h"
#include "runs/run_report.h"
#include "session/unit_control.h"
#include "unit/measurement.h"

#include <QObject>
#include <memory>

namespace velmora {

/// What asking for a run came to.
struct RunStart {
    bool started = false;
    QString refusal;    // for the user when not started: the first problem, or why
    RunVerdict verdict; // the check's, when the file could be read
};

/// Where a run's report goes and what it says of the unit.
struct RunPlace {
    QString reportParent; // the folder the report's folder is made in
    QString model;
    QString port;
};

/// One unit's runs, one at a time.
class RunControl : public QObject {
    Q_OBJECT
  public:
    RunControl(Clock& clock, UnitControl& unit, RunSettings settings, QObject* parent = nullptr);
    ~RunControl() override;

    /// Reads the file at `path` once and checks it against the door's rules
    /// as they are now; starts it when the check passes. `name` is the name
    /// as typed, for the report.
    RunStart start(const QString& path, const QString& name, const RunPlace& place);
    /// Reads and checks the file at `path` without starting it.
    CheckedRunFile check(const QString& path) const;
    /// Ends a run going as failed, with `reason`; harmless when none goes.
    void stop(const QString& reason);
    bool running() const { return engine_ && engine_->state() == RunState::Running; }

    /// Every frame from the unit, with the regulation the session inferred.
    void take(const Measurement& frame, Regulation regulation);
    void linkAway(bool away);

    RunState state() const { return engine_ ? engine_->state() : RunState::Idle; }
    RunStatus status() const { return engine_ ? engine_->status() : RunStatus{}; }
    std::vector<StepOutcome> endedSteps() const;
    RunOutcome outcome() const { return engine_ ? engine_->outcome() : RunOutcome{}; }
    /// The name of the last run's file, as typed, and its report's folder.
    const QString& fileName() const { return fileName_; }
    QString reportFolder() const { return report_ ? report_->folder() : QString(); }
    /// The folder velmora-files is in: a run's end then has it draw the
    /// report's pictures. None given, none are drawn.
    void drawPicturesWith(const QString& programFolder) { picturesBy_ = programFolder; }

  signals:
    /// A step started or ended, or the run ended.
    void runEvent(const velmora::RunEvent& event);
    /// The run's state or step changed: windows show it anew.
    void changed();

  private:
    void drawPictures();

    Clock& clock_;
    UnitControl& unit_;
    RunSettings settings_;
    std::unique_ptr<RunReport> report_;
    std::unique_ptr<RunEngine> engine_;
    QString fileName_;
    QString picturesBy_;
};

} // namespace velmora
