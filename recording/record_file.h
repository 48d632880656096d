#pragma once
// Reading a whole record file, line by line, with the player's own reader.

#include "recording/record_format.h"

#include <QString>
#include <atomic>
#include <functional>
#include <optional>

namespace velmora {

/// One line of a record file as read, parsed once for everyone who wants it.
struct ReadLine {
    int number = 0;               // from 1
    std::optional<Record> record; // when the line reads as a record
    bool tooLong = false;         // longer than any record: read to its end and dropped
};

/// How a reading on a thread of its own is followed and stopped from another.
struct ReadingControl {
    /// Looked at every few thousand lines: once set, the reading stops.
    const std::atomic<bool>* cancel = nullptr;
    /// The bytes of the file read so far, set as often.
    std::atomic<qint64>* bytesRead = nullptr;
};

/// Why the file at `path` cannot be read, in one line; nothing when it can.
/// Cheap: the file is opened, not read.
std::optional<QString> RecordFileProblem(const QString& path);

/// Reads the file at `path` a line at a time (as the player reads a control
/// file) and hands `each` every line. Returns a one-line message when the
/// file cannot be opened or read, nothing when it was read to its end or
/// stopped through `control`.
std::optional<QString> ReadRecordLines(const QString& path,
                                       const std::function<void(const ReadLine&)>& each,
                                       const ReadingControl& control = {});

/// The same, handing `each` the record of every line, or nothing for a line
/// that cannot be read.
std::optional<QString>
ReadRecordFile(const QString& path, const std::function<void(const std::optional<Record>&)>& each);

} // namespace velmora
