#include "playback/playback_plan.h"

#include "recording/wall_time.h"

#include <algorithm>
#include <limits>

namespace velmora {

PlanBuilder::PlanBuilder(Model model, qint64 now) : latest_(now) {
    plan_.model = model;
}

void PlanBuilder::take(int lineNumber, const RecordVerdict& verdict) {
    const auto skip = [&](qint64 at) {
        if (plan_.skips.size() < size_t(PlaybackPlan::kMaxPlanned))
            plan_.skips.push_back({lineNumber, at, SkipReasonText(verdict)});
    };
    // Skipped as it is read: at the moment the player comes to it.
    if (verdict.skippedAtOnce) return skip(latest_);
    latest_ = std::max(latest_, WallSeconds(verdict.record->date, verdict.record->time));
    if (!verdict.command) return skip(latest_);
    if (plan_.sendable++ < PlaybackPlan::kMaxPlanned)
        plan_.commands.push_back({lineNumber, latest_, *verdict.command});
}

RecordVerdict JudgeReadLine(const QByteArray& line, bool tooLong, Model model,
                            const UserLimits& limits) {
    return JudgeReadLine(ReadLine{0, tooLong ? std::nullopt : ParseRecord(line), tooLong}, model,
                         limits);
}

RecordVerdict JudgeReadLine(const ReadLine& line, Model model, const UserLimits& limits) {
    if (line.tooLong) {
        RecordVerdict verdict;
        verdict.reason = SkipReason::TooLong;
        verdict.skippedAtOnce = true;
        return verdict;
    }
    RecordVerdict first = VerdictOnRecord(line.record);
    if (first.skippedAtOnce) return first;
    return VerdictWhenDue(*first.record, model, limits);
}

PlanGatherer::PlanGatherer(const PlanInputs& inputs)
    : inputs_(inputs), builder_(inputs.model, inputs.start) {
    if (inputs.checkNow) tally_.emplace(inputs.model, *inputs.checkNow);
}

RecordVerdict PlanGatherer::take(const ReadLine& line) {
    RecordVerdict verdict = JudgeReadLine(line, inputs_.model, inputs_.limits);
    builder_.take(line.number, verdict);
    if (tally_) tally_->count(line.number, verdict);
    return verdict;
}

PlaybackPlan PlanGatherer::finish() {
    if (tally_) builder_.plan().warnings = tally_->warnings();
    return std::move(builder_.plan());
}

PlanReading ReadPlaybackPlan(const QString& path, const PlanInputs& inputs,
                             const std::function<void(int, const RecordVerdict&)>& each) {
    PlanGatherer gatherer(inputs);
    const auto error = ReadRecordLines(path, [&](const ReadLine& line) {
        const RecordVerdict verdict = gatherer.take(line);
        if (each) each(line.number, verdict);
    });
    if (error) return {std::nullopt, *error};
    return {gatherer.finish(), {}};
}

} // namespace velmora
