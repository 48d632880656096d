#pragma once
// Reading a command message from `<Topic>/<unit>/set`: {"voltage":5},
// {"current":0.25}, both at once, {"output":false|true}, {"clear_trip":true}
// or {"reset_meters":true}; anything else is refused with its reason.

#include "feed/bench_feed.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace velmora {

/// A command, or why the message is none.
struct CommandReading {
    std::optional<UnitCommand> command;
    QString problem; // set when there is no command
};

inline constexpr qsizetype kMaxCommandBytes = 4096;

/// Reads one message. Values must be JSON numbers (0 to 1000) or true and
/// false as given above; the door checks the model's and the user's limits.
CommandReading ReadCommand(const QByteArray& payload);

} // namespace velmora
