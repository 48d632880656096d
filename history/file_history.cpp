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

// A file's samples into a history of their own. They go straight in while
// their stamps come in order, eight bytes each; a clock set back while
// recording leaves stamps out of order, and from the first such one on they
// are gathered and sorted at the end.
class SampleSink {
  public:
    // Every record takes more than a byte of the file, so the history never
    // lets one go; it takes memory only as samples come.
    explicit SampleSink(qint64 fileSize)
        : history_(std::make_unique<History>(std::max<qint64>(fileSize, 1))) {}

    void add(const Sample& sample) {
        const auto last = history_->last();
        if (gathered_.empty() && (!last || sample.ms >= last->ms)) {
            history_->addMeasurement(sample.ms, sample.values);
            return;
        }
        if (gathered_.empty())
            for (qint64 i = 0; i < history_->size(); ++i)
                gathered_.push_back(history_->at(i));
        gathered_.push_back(sample);
    }

    // The history in time order; nothing when stopped meanwhile.
    std::unique_ptr<History> finish(const ReadingControl& control) {
        if (Stopped(control)) return nullptr;
        if (gathered_.empty()) return std::move(history_);
        std::stable_sort(gathered_.begin(), gathered_.end(),
                         [](const Sample& a, const Sample& b) { return a.ms < b.ms; });
        auto sorted = std::make_unique<History>(history_->capacity());
        history_.reset();
        for (size_t i = 0; i < gathered_.size(); ++i) {
            if (i % 65'536 == 0 && Stopped(control)) return nullptr;
            sorted->addMeasurement(gathered_[i].ms, gathered_[i].values);
        }
        return sorted;
    }

  private:
    std::unique_ptr<History> history_;
    std::vector<Sample> gathered_;
};

} // namespace

FileHistory LoadRecordFile(const QString& path, const std::optional<PlanInputs>& planInputs,
                           const ReadingControl& control) {
    FileHistory out;
    SampleSink samples(QFileInfo(path).size());
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
            samples.add({clock.ms(line.record->date, line.record->time), *values});
        },
        control);
    if (error) {
        out.error = *error;
        return out;
    }
    out.history = samples.finish(control);
    out.cancelled = !out.history;
    if (plan && out.history) out.plan = plan->finish();
    return out;
}

QString LeftOutText(qint64 leftOut, qint64 lines) {
    if (leftOut == 0) return {};
    return QStringLiteral("left out %1 of %2 lines").arg(leftOut).arg(lines);
}

} // namespace velmora
