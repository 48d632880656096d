#pragma once
// How far a playback run has come, for the windows that show it: the player
// reports, it never draws.

#include "playback/playback_plan.h"

#include <QString>
#include <memory>
#include <optional>

namespace velmora {

/// One report of a run.
struct PlaybackProgress {
    QString fileName;             // as typed
    int sent = 0;                 // commands sent so far
    int total = 0;                // commands the file holds for the model at the start
    std::optional<qint64> nextAt; // when the next command is due (wall seconds)
    int nextLine = 1;             // commands of this line on are still to come
    bool running = false;
    std::shared_ptr<const PlaybackPlan> plan; // worked out once, at the start
};

/// "ctl.dat: 3 of 12 sent, next in 00:04:12"; "..., nothing more to send"
/// when nothing is coming; "..., run ended" after the run.
QString PlaybackStatusText(const PlaybackProgress& progress, qint64 now);

/// The commands of the plan still to come.
std::vector<PlannedCommand> CommandsAhead(const PlaybackProgress& progress);

} // namespace velmora
