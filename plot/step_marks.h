#pragma once
// A run's step boundaries on the live plot: where each step began, which of
// them a view of a given width has room for, and the follower that keeps a
// plot's marks with the session's runs.

#include <QObject>
#include <QString>
#include <vector>

namespace velmora {

class PlotView;
class RunControl;
class Session;

/// Where a run's step began (ms since the epoch, as the history's samples)
/// and what its line says, short.
struct StepMark {
    qint64 ms = 0;
    QString label;
    friend bool operator==(const StepMark&, const StepMark&) = default;
};

/// "2 rest": the step's number and the first word of its line.
QString StepMarkLabel(int step, const QString& stepText);

/// The marks of the run going or the last run: every ended step's start,
/// then the step running, which began `elapsed` before `nowMs`.
std::vector<StepMark> StepMarksOf(const RunControl& runs, qint64 nowMs);

/// A mark the view draws, and whether it has room for its label.
struct PlacedMark {
    std::size_t index = 0;
    bool labelled = false;
    friend bool operator==(const PlacedMark&, const PlacedMark&) = default;
};

/// How close the view lets marks and labels come, in pixels.
struct MarkSpacing {
    double line = 4;
    double label = 48;
};

/// The marks (in time order) inside `fromMs`..`toMs` on a view `pixels`
/// wide: each at least `spacing.line` pixels after the one drawn before it,
/// labelled when the label before is `spacing.label` pixels away. However
/// many marks there are, at most one per few pixels is looked at.
std::vector<PlacedMark> PlaceMarks(const std::vector<StepMark>& marks, qint64 fromMs, qint64 toMs,
                                   double pixels, MarkSpacing spacing = {});

/// Keeps a live plot's step marks with the session's runs: a new run's
/// first step clears the last run's marks, each step's start adds one.
class RunStepMarks : public QObject {
    Q_OBJECT
  public:
    /// Both must outlive it; it belongs to the plot window.
    RunStepMarks(Session& session, PlotView& view, QObject* parent);
};

} // namespace velmora
