#pragma once
// The set-point command the player builds from a control-file record.

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
    PastUserLimit,    // above the user's own limit for the model: sent whole or not at all
};

/// The command, or why there is none; `length` is how long the command would
/// have been when the current field came out too long.
struct PlaybackCommand {
    std::optional<QByteArray> command;
    SkipReason reason = SkipReason::None;
    qsizetype length = 0;
};

/// Characters 1, 2, 4 of the voltage text, CR, the current number (characters
/// 1, 3, 4 of the current text; doubled on "1A/20V") with "000", CR; or why
/// there is none: no model given, a character used missing or not a digit,
/// or a current field that would not be three digits. The unit is never
/// sent a command of any other shape.
PlaybackCommand MakePlaybackCommand(Model model, const QByteArray& voltageText,
                                    const QByteArray& currentText);

/// The command for a record whose value places hold digits, on the model and
/// within the user's limits; or why there is none.
PlaybackCommand CommandForValues(Model model, Values values, const UserLimits& limits = {});

/// Whether a record asks for more than the user's limits allow: its voltage
/// (characters 1, 2, 4 in 100 mV) or its current (characters 1, 3, 4 in
/// 10 mA) above them. The player skips such a record whole, and
/// `velmora-files check` marks it.
bool RecordPastLimits(const UserLimits& limits, const QByteArray& voltageText,
                      const QByteArray& currentText);

} // namespace velmora
