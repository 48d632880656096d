#pragma once
// A control file's plan as the plot draws it: set-point steps in ms and the
// texts listed beside the plot.

#include "history/history.h"
#include "playback/playback_plan.h"

#include <QStringList>
#include <vector>

namespace velmora {

/// A line left out, where the plot marks it (ms since the epoch).
struct SkipMark {
    qint64 ms = 0;
    QString text; // "line 4 skipped: command would be 9 characters"
};

/// The commands as set-points, decoded on the plan's model as the player
/// sends them.
std::vector<SetpointStep> PlanSteps(const std::vector<PlannedCommand>& commands, Model model);

/// The skipped lines that have a time, for marks on the plot.
std::vector<SkipMark> PlanSkipMarks(const PlaybackPlan& plan);

/// The warnings, then every skipped line, one text each.
QStringList PlanNotes(const PlaybackPlan& plan);

/// A plan as the plot shows it, all three above: worked out with the file,
/// away from the window's thread.
struct PlanPicture {
    std::vector<SetpointStep> steps;
    std::vector<SkipMark> marks;
    QStringList notes;
};
PlanPicture PictureOf(const PlaybackPlan& plan);

} // namespace velmora
