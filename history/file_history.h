#pragma once
// A record file read into a history, and a record as a CSV row.

#include "history/history.h"
#include "playback/playback_plan.h"
#include "recording/record_file.h"
#include "recording/record_format.h"

#include <QString>
#include <memory>
#include <optional>

namespace velmora {

/// The CSV row of one record line, or nothing when the line could not be
/// read or its value places hold anything but digits.
std::optional<QByteArray> CsvRowOfRecord(const std::optional<Record>& record);

/// The values of a record whose value places are digits.
std::optional<Values> ValuesOfRecord(const Record& record);

/// What reading a record file gave.
struct FileHistory {
    std::unique_ptr<History>
        history;        // none when the file could not be read, or was not read to its end
    qint64 lines = 0;   // lines in the file
    qint64 leftOut = 0; // lines that could not be read, or not as digits
    QString error;      // one line, when the file could not be read
    std::optional<PlaybackPlan> plan; // when asked for
    bool cancelled = false;           // stopped through the reading's control
};

/// Reads the record file at `path` in one pass, each line parsed once: every
/// line that can be read into a history of its own, in time order, and,
/// with `plan`, what the file would do when played, with the check's
/// warnings. Touches nothing but its arguments, so it can run on a thread
/// of its own, followed and stopped through `control`.
FileHistory LoadRecordFile(const QString& path,
                           const std::optional<PlanInputs>& plan = std::nullopt,
                           const ReadingControl& control = {});

/// "left out 3 of 120 lines"; empty when none was left out.
QString LeftOutText(qint64 leftOut, qint64 lines);

} // namespace velmora
