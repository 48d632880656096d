#include "recorder/player.h"

#include "core/clock.h"
#include "core/constants.h"
#include "core/limits.h"
#include "core/message.h"
#include "core/state.h"
#include "core/wait.h"
#include "link/command.h"
#include "recorder/channels.h"
#include "recorder/playback_progress.h"
#include "recorder/playback_rules.h"
#include "recorder/record_format.h"
#include "recorder/wall_time.h"

#include <algorithm>

namespace velmora {

namespace {

// The longest sleep of the wait for a time stamp, so that a stop request or
// a change of the system clock is noticed soon.
constexpr qint64 kMaxSleepNs = 200'000'000;
// A file of unreadable lines is skipped quickly, but never so long that the
// window stops answering.
constexpr int kSkipsBetweenEvents = 256;

bool runInProgress = false;

// What the run has done so far, as the windows are told.
PlaybackProgress progress;

// The next command of the plan from `line` on, when the plan holds it.
std::optional<qint64> PlannedAt(int line) {
    const auto ahead = std::find_if(progress.plan->commands.begin(), progress.plan->commands.end(),
                                    [line](const PlannedCommand& c) { return c.line >= line; });
    if (ahead == progress.plan->commands.end()) return std::nullopt;
    return ahead->at;
}

void Report(int nextLine, std::optional<qint64> nextAt) {
    progress.nextLine = nextLine;
    progress.nextAt = nextAt;
    PlaybackReports().report(progress);
}

// The run ends when asked to, and also when its file was closed under it
// (the Stop path and the settings window's closing steps close it): a file
// closed is a file at its end.
bool RunMustEnd() {
    return Shared.PlaybackStop || !ChannelIsOpen(ControlChannel);
}

// Time until the clock next shows a new second, at most kMaxSleepNs.
qint64 SleepUntilNextSecond(const QDateTime& now) {
    const qint64 ns = qint64(1000 - now.time().msec()) * 1'000'000;
    return std::clamp<qint64>(ns, 1'000'000, kMaxSleepNs);
}

// Waits, sleeping in the event dispatcher, until the record's second has come
// or the run must end. Returns whether the record is due.
bool WaitForStamp(const Record& record, int lineNumber) {
    qint64 reported = -1;
    for (QDateTime now = LocalNow(); !StampHasCome(record, now); now = LocalNow()) {
        if (RunMustEnd()) return false;
        // Once a second, so that a countdown shown stays right: the sleep
        // also ends at every measurement frame.
        if (const qint64 second = WallSeconds(now); second != reported) {
            reported = second;
            Report(lineNumber, WallSeconds(record.date, record.time));
        }
        SleepForEvents(SleepUntilNextSecond(now));
    }
    return !RunMustEnd();
}

void SendRecord(const Record& record) {
    // The model is read anew: the user may change it meanwhile.
    const Model model = CurrentModel();
    // A record past the user's own limits is sent whole or not at all.
    const RecordVerdict verdict = VerdictWhenDue(record, model, ReadUserLimits(model));
    if (verdict.reason == SkipReason::NoModel)
        ShowMessage(QString(kMsgVersionNotDefined), QString(kErrorTitle));
    // A record that would not make a whole, well-formed command is dropped.
    if (!verdict.command) return;
    ++progress.sent;
    SendCommand(*verdict.command);
}

void RunPlayback() {
    int skipped = 0;
    int lineNumber = 0;
    while (!RunMustEnd() && !ChannelAtEnd(ControlChannel)) {
        const auto line = ReadChannelLine(ControlChannel);
        if (!line) break;
        ++lineNumber;
        const RecordVerdict verdict = VerdictOnReading(*line);
        if (verdict.skippedAtOnce) {
            if (++skipped % kSkipsBetweenEvents == 0) ProcessPendingEvents();
            continue;
        }
        if (!WaitForStamp(*verdict.record, lineNumber)) break;
        SendRecord(*verdict.record);
        Report(lineNumber + 1, PlannedAt(lineNumber + 1));
    }
}

// The plan is worked out once, with the player's own rules, on the model in
// force now; a file the plan cannot read plays all the same.
void StartProgress(const QString& fileName) {
    const Model model = CurrentModel();
    PlanReading reading =
        ReadPlaybackPlan(ProgramFilePath(fileName), model, WallSeconds(LocalNow()));
    auto plan = std::make_shared<PlaybackPlan>(reading.plan ? std::move(*reading.plan)
                                                            : PlaybackPlan{model, {}, {}, 0, {}});
    progress = PlaybackProgress{fileName, 0, plan->sendable, std::nullopt, 1, true, plan};
    Report(1, PlannedAt(1));
}

} // namespace

bool PlaybackRunning() {
    return runInProgress;
}

void StopPlayback() {
    Shared.PlaybackStop = true;
    CloseChannel(ControlChannel);
}

PlaybackEnd PlayControlFile(const QString& fileName) {
    // A stopped run still suspended in a send below us must end first; a run
    // started now would have its file closed and its flag cleared under it.
    if (runInProgress) return {PlaybackOutcome::Busy, {}};
    if (OpenChannelForInput(ControlChannel, ProgramFilePath(fileName)) != OpenResult::Opened)
        return {PlaybackOutcome::Refused, QString(kMsgErrorOpeningFile) + fileName};
    // No run is in progress, so a stop request left over from before asks
    // nothing of this one.
    Shared.PlaybackStop = false;
    runInProgress = true;
    StartProgress(fileName);
    RunPlayback();
    runInProgress = false;
    progress.running = false;
    progress.plan.reset(); // nothing is ahead any more
    PlaybackReports().report(progress);
    CloseChannel(ControlChannel);
    Shared.PlaybackStop = false;
    return {PlaybackOutcome::Finished, {}};
}

} // namespace velmora
