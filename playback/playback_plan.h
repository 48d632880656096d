#pragma once
// What a control file will do when played: its commands at the moments they
// go out and the lines left out, worked out with the player's own rules.

#include "playback/check_tally.h"
#include "playback/playback_rules.h"
#include "recording/record_file.h"
#include "unit/model.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace velmora {

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
/// The same for a line already read and parsed.
RecordVerdict JudgeReadLine(const ReadLine& line, Model model, const UserLimits& limits = {});

/// What working out a plan needs from outside, gathered beforehand on the
/// program's thread: the model and the user's own limits for it, when the
/// run starts (wall seconds), and the moment the check's warnings are for
/// (none: no warnings).
struct PlanInputs {
    Model model = Model::None;
    UserLimits limits;
    qint64 start = 0;
    std::optional<qint64> checkNow;
};

/// A plan, with the check's warnings when asked for, gathered from a
/// file's lines as they are read.
class PlanGatherer {
  public:
    explicit PlanGatherer(const PlanInputs& inputs);
    /// Takes the line; what the player does with it.
    RecordVerdict take(const ReadLine& line);
    PlaybackPlan finish();

  private:
    PlanInputs inputs_;
    PlanBuilder builder_;
    std::optional<CheckTally> tally_;
};

/// Reads the control file at `path` into a plan as it plays on the model,
/// started at the inputs' moment (wall seconds), the user's own limits
/// skipped as the player skips them. A one-line message when the file
/// cannot be read.
struct PlanReading {
    std::optional<PlaybackPlan> plan;
    QString error;
};
/// `each`, when given, is told every line's verdict as the plan takes it.
PlanReading
ReadPlaybackPlan(const QString& path, const PlanInputs& inputs,
                 const std::function<void(int line, const RecordVerdict& verdict)>& each = {});

} // namespace velmora
