#include "history/file_history.h"

#include "recorder/record_file.h"
#include "recorder/wall_time.h"

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

FileHistory LoadRecordFile(const QString& path) {
    FileHistory out;
    std::vector<Sample> samples;
    LocalClock clock;
    const auto error = ReadRecordFile(path, [&](const std::optional<Record>& record) {
        ++out.lines;
        const auto values = record ? ValuesOfRecord(*record) : std::nullopt;
        if (!values) {
            ++out.leftOut;
            return;
        }
        samples.push_back({clock.ms(record->date, record->time), *values});
    });
    if (error) {
        out.error = *error;
        return out;
    }
    // A clock set back while recording leaves stamps out of order.
    if (!std::is_sorted(samples.begin(), samples.end(),
                        [](const Sample& a, const Sample& b) { return a.ms < b.ms; }))
        std::stable_sort(samples.begin(), samples.end(),
                         [](const Sample& a, const Sample& b) { return a.ms < b.ms; });
    out.history = std::make_unique<History>(std::max<qint64>(qint64(samples.size()), 1));
    for (const Sample& s : samples)
        out.history->addMeasurement(s.ms, s.values);
    return out;
}

QString LeftOutText(qint64 leftOut, qint64 lines) {
    if (leftOut == 0) return {};
    return QStringLiteral("left out %1 of %2 lines").arg(leftOut).arg(lines);
}

} // namespace velmora
