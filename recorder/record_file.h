#pragma once
// Reading a whole record file, line by line, with the player's own reader.

#include "recorder/record_format.h"

#include <QString>
#include <functional>
#include <optional>

namespace velmora {

/// Reads the file at `path` a line at a time (as the player reads a control
/// file) and hands `each` the record of every line, or nothing for a line
/// that cannot be read. Returns a one-line message when the file cannot be
/// opened, nothing when it was read to its end.
std::optional<QString>
ReadRecordFile(const QString& path, const std::function<void(const std::optional<Record>&)>& each);

} // namespace velmora
