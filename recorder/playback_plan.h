#pragma once
// What a control file will do when played: its commands at the moments they
// go out and the lines left out, worked out with the player's own rules.

#include "recorder/playback_rules.h"
#include "unit/model.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace velmora {

class CheckTally;

/// A command the player sends, and when (wall seconds).
struct PlannedCommand {
    int line = 0;
    qint64 at = 0;
    QByteArray command;
};

/// A line the player leaves out, when it comes to it (wall seconds), and why.
struct PlannedSkip {
    int line = 0;
    qint64 at = 0;
    QString reason;
};

/// The plan of a whole file on one model.
struct PlaybackPlan {
    Model model = Model::None;
    std::vector<PlannedCommand> commands;
    std::vector<PlannedSkip> skips;
    int sendable = 0; // commands in the file; past kMaxPlanned only counted
    QStringList warnings;

    /// Kept of each kind, so that a huge file costs bounded memory.
    static constexpr int kMaxPlanned = 100'000;
};

/// Gathers the plan line by line, in file order, as the player takes the
/// lines: a record waits for its stamp, one stamped before the record ahead
/// of it goes out right after that one, and nothing goes out before `now`.
class PlanBuilder {
  public:
    PlanBuilder(Model model, qint64 now);
    void take(int lineNumber, const RecordVerdict& verdict);
    PlaybackPlan& plan() { return plan_; }

  private:
    PlaybackPlan plan_;
    qint64 latest_;
};

/// The verdict on a line as the player's reader gives it: a line too long to
/// be a record is skipped at once.
RecordVerdict JudgeReadLine(const QByteArray& line, bool tooLong, Model model,
                            const UserLimits& limits = {});

/// Reads the control file at `path` into a plan on `model`, as it plays when
/// started at `now` (wall seconds). `tally`, when given, follows every line
/// and its warnings go into the plan. A one-line message when the file cannot
/// be read.
struct PlanReading {
    std::optional<PlaybackPlan> plan;
    QString error;
};
/// What goes past `userLimits` is skipped, as the player skips it. `each`,
/// when given, is told every line's verdict as the plan takes it.
PlanReading
ReadPlaybackPlan(const QString& path, Model model, qint64 now, CheckTally* tally = nullptr,
                 const UserLimits& userLimits = {},
                 const std::function<void(int line, const RecordVerdict& verdict)>& each = {});

} // namespace velmora
