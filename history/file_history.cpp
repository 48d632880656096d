#include "history/file_history.h"

#include "recording/wall_time.h"

#include <QFileInfo>

#include <algorithm>
#include <vector>

namespace velmora {

std::optional<Values> ValuesOfRecord(const Record& record) {
    return ValuesOfTexts(record.voltageText, record.currentText);
}

std::optional<QByteArray> CsvRowOfRecord(const std::optional<Record>& record) {
    if (!record) return std::nullopt;
    const auto values = ValuesOfRecord(*record);
    if (!values) return std::nullopt;
    return CsvRow(record->date, record->time, *values);
}

namespace {

bool Stopped(const ReadingControl& control) {
    return control.cancel && control.cancel->load(std::memory_order_relaxed);
}

// The samples as a history of their own; nothing when stopped meanwhile.
std::unique_ptr<History> HistoryOf(std::vector<Sample>& samples, const ReadingControl& control) {
    const auto earlier = [](const Sample& a, const Sample& b) { return a.ms < b.ms; };
    // A clock set back while recording leaves stamps out of order.
    if (!std::is_sorted(samples.begin(), samples.end(), earlier))
        std::stable_sort(samples.begin(), samples.end(), earlier);
    auto history = std::make_unique<History>(std::max<qint64>(qint64(samples.size()), 1));
    for (size_t i = 0; i < samples.size(); ++i) {
        if (i % 65'536 == 0 && Stopped(control)) return nullptr;
        history->addMeasurement(samples[i].ms, samples[i].values);
    }
    return history;
}

} // namespace

FileHistory LoadRecordFile(const QString& path, const std::optional<PlanInputs>& planInputs,
                           const ReadingControl& control) {
    FileHistory out;
    std::vector<Sample> samples;
    // About a record's length a line: one allocation for a day's recording.
    samples.reserve(size_t(std::clamp<qint64>(QFileInfo(path).size() / 40, 0, 1LL << 24)));
    std::optional<PlanGatherer> plan;
    if (planInputs) plan.emplace(*planInputs);
    LocalClock clock;
    const auto error = ReadRecordLines(
        path,
        [&](const ReadLine& line) {
            ++out.lines;
            if (plan) plan->take(line);
            const auto values = line.record ? ValuesOfRecord(*line.record) : std::nullopt;
            if (!values) {
                ++out.leftOut;
                return;
            }
            samples.push_back({clock.ms(line.record->date, line.record->time), *values});
        },
        control);
    if (error) {
        out.error = *error;
        return out;
    }
    if (!Stopped(control)) out.history = HistoryOf(samples, control);
    out.cancelled = !out.history;
    if (plan && out.history) out.plan = plan->finish();
    return out;
}

QString LeftOutText(qint64 leftOut, qint64 lines) {
    if (leftOut == 0) return {};
    return QStringLiteral("left out %1 of %2 lines").arg(leftOut).arg(lines);
}

} // namespace velmora
