#pragma once
// What the player asks of the unit for a control-file record: the set-points
// its value places give, by the unit's rules, or why it asks nothing.

#include "unit/limits.h"
#include "unit/measurement.h"
#include "unit/model.h"

#include <QByteArray>
#include <optional>

namespace velmora {

/// Why the player leaves a record out.
enum class SkipReason {
    None,
    Unreadable,       // not a time stamp and two texts
    TooLong,          // a line far longer than any record
    NoModel,          // no model chosen: the player shows its message instead
    VoltageNotDigits, // characters 1, 2, 4 of the voltage text
    CurrentNotDigits, // characters 1, 3, 4 of the current text
    CommandTooLong,   // the current field would have four digits
    PastModelRange,   // more than the model can give: sent whole or not at all
    PastUserLimit,    // above the user's own limit for the model: the same
};

/// The set-points and their command, or why there are none; `length` is how
/// long the command would have been when the current field came out too long.
struct PlaybackCommand {
    std::optional<Setpoints> setpoints;
    std::optional<QByteArray> command;
    SkipReason reason = SkipReason::None;
    qsizetype length = 0;
};

/// Characters 1, 2, 4 of the voltage text and 1, 3, 4 of the current text,
/// as set-points checked by the unit's rules on the model and within the
/// user's limits; or why there are none: no model given, a character used
/// missing or not a digit, a current field that would not be three digits,
/// or a value past the model's range or the user's limits. The unit is never
/// sent a command of any other shape.
PlaybackCommand MakePlaybackCommand(Model model, const QByteArray& voltageText,
                                    const QByteArray& currentText, const UserLimits& limits = {});

/// The same for a record whose value places hold digits.
PlaybackCommand CommandForValues(Model model, Values values, const UserLimits& limits = {});

} // namespace velmora
