#pragma once
// The set-point command to the unit: three digits of voltage, CR, three digits
// of current, CR, scaled by the model.

#include "unit/model.h"
#include "unit/quantities.h"

#include <QByteArray>
#include <optional>

namespace velmora {

inline constexpr qsizetype kCommandLength = 8;

/// The command that sets 0 V and 0 A: the same on both models.
inline constexpr char kZeroCommand[] = "000\r000\r";

/// A voltage and a current set-point.
struct Setpoints {
    Millivolts voltage;
    Milliamps current;
    friend bool operator==(const Setpoints&, const Setpoints&) = default;
};

/// The set-points a record's or a frame's values stand for.
constexpr Setpoints SetpointsOf(const Values& v) {
    return {VoltageOf(v), CurrentOf(v)};
}

/// The number written with the pattern "000": at least three digits, leading
/// zeros, rounded to a whole number with halves away from zero.
QByteArray Format000(double value);

/// The command for the set-points on the given model: voltage in 100 mV steps
/// (truncated), current in the model's steps (rounded, halves up). Empty when
/// no model is defined.
QByteArray BuildSetpointCommand(Model model, const Setpoints& setpoints);

/// The set-points a command asks of the unit on the model: voltage field in
/// 0.1 V steps, current field in the model's steps. Nothing unless it is
/// three digits, CR, three digits, CR, and a model is given.
std::optional<Setpoints> DecodeCommand(Model model, const QByteArray& command);

} // namespace velmora
