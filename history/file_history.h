#pragma once
// A record file read into a history, and a record as a CSV row.

#include "history/history.h"
#include "recorder/record_format.h"

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
    std::unique_ptr<History> history; // none when the file could not be read
    qint64 lines = 0;                 // lines in the file
    qint64 leftOut = 0;               // lines that could not be read, or not as digits
    QString error;                    // one line, when there is no history
};

/// Reads the record file at `path` into a history of its own, every line
/// that can be read, in time order.
FileHistory LoadRecordFile(const QString& path);

/// "left out 3 of 120 lines"; empty when none was left out.
QString LeftOutText(qint64 leftOut, qint64 lines);

} // namespace velmora
