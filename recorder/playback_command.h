#pragma once
// The set-point command the player builds from a control-file record.

#include "core/limits.h"
#include "core/state.h"

#include <QByteArray>
#include <optional>

namespace velmora {

/// Characters 1, 2, 4 of the voltage text, CR, the current number (characters
/// 1, 3, 4 of the current text; doubled on "1A/20V") with "000", CR. Nothing
/// when no model is given, when a character used is missing or not a digit,
/// or when the current field would not be three digits: the unit is never
/// sent a command of any other shape.
std::optional<QByteArray> BuildPlaybackCommand(Model model, const QByteArray& voltageText,
                                               const QByteArray& currentText);

/// Whether a record asks for more than the user's limits allow: its voltage
/// (characters 1, 2, 4 in 100 mV) or its current (characters 1, 3, 4 in
/// 10 mA) above them. The player skips such a record whole, and
/// `velmora-files check` marks it (with ReadUserLimits of the model in force).
bool RecordPastLimits(const UserLimits& limits, const QByteArray& voltageText,
                      const QByteArray& currentText);

} // namespace velmora
