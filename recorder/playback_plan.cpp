#include "recorder/playback_plan.h"

#include "recorder/check_tally.h"
#include "recorder/line_reader.h"
#include "recorder/wall_time.h"

#include <QFile>
#include <QFileInfo>
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
    if (!tooLong) return JudgeRecordLine(line, model, limits);
    RecordVerdict verdict;
    verdict.reason = SkipReason::TooLong;
    verdict.skippedAtOnce = true;
    return verdict;
}

PlanReading ReadPlaybackPlan(const QString& path, Model model, qint64 now, CheckTally* tally,
                             const UserLimits& userLimits,
                             const std::function<void(int, const RecordVerdict&)>& each) {
    const QFileInfo info(path);
    // A pipe or a device could block for good, and a folder is no file.
    if (!info.isFile()) return {std::nullopt, QStringLiteral("%1: no such file").arg(path)};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt,
                QStringLiteral("%1: cannot be read (%2)").arg(path, file.errorString())};
    LineReader lines(&file);
    PlanBuilder builder(model, now);
    int number = 0;
    while (const auto line = lines.next()) {
        const RecordVerdict verdict =
            JudgeReadLine(*line, lines.lastWasTooLong(), model, userLimits);
        builder.take(++number, verdict);
        if (tally) tally->take(number, verdict);
        if (each) each(number, verdict);
    }
    if (tally) builder.plan().warnings = tally->warnings();
    return {std::move(builder.plan()), {}};
}

} // namespace velmora
