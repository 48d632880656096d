#pragma once
// The user's own voltage and current limits for a model, and the rule that
// nothing above a limit goes to the unit.

#include "unit/command.h"
#include "unit/model.h"

#include <QString>
#include <algorithm>
#include <optional>

namespace velmora {

/// The user's own limits for one model; nothing where the model's own holds.
struct UserLimits {
    std::optional<Millivolts> voltage;
    std::optional<Milliamps> current;
    friend bool operator==(const UserLimits&, const UserLimits&) = default;
};

/// A stored user limit as read back, in mV or mA.
struct StoredLimit {
    std::optional<int> value; // a whole number from 0 to the model's limit
    bool unreadable = false;  // text that is no such number: the model's limit holds
};

/// A stored user limit: a whole number from 0 to the model's limit. Absent
/// or empty text is no limit; any other text is no limit and unreadable.
StoredLimit ParseUserLimit(const QString& text, int modelLimit);

/// The lower of the two: a user limit lowers a limit, never raises it.
template <typename T> T Lowered(T limit, std::optional<T> userLimit) {
    return userLimit ? std::min(limit, *userLimit) : limit;
}

/// The limits the set-points are kept within: `limits` lowered by the user's.
Limits LoweredLimits(Limits limits, const UserLimits& user);

/// Whether a set-point pair goes past `limits`.
bool PastLimits(const Limits& limits, const Setpoints& setpoints);

/// Whether a set-point pair goes past the user's limits (the model's own
/// limits are not looked at here).
bool PastUserLimits(const UserLimits& limits, const Setpoints& setpoints);

/// The set-point after a step of `delta`: a step that would take it past the
/// limit or below zero is not taken at all (no clamping), so a set-point is
/// never left above a limit.
template <typename T> T Stepped(T setpoint, int delta, T limit) {
    const T after(setpoint.value + delta);
    if (after < T(0) || after > limit) return setpoint;
    return after;
}

/// The highest set-point at or below `limit` that the unit takes exactly:
/// a whole number of `step`s, so the command does not round it up past it.
template <typename T> T WithinLimit(T setpoint, T limit, T step) {
    if (setpoint <= limit) return setpoint;
    return T(std::max(0, limit.value / step.value * step.value));
}

} // namespace velmora
