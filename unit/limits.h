#pragma once
// The user's own voltage and current limits for a model, and the rule that
// nothing above a limit goes to the unit.

#include "unit/model.h"

#include <QString>
#include <optional>

namespace velmora {

/// The user's own limits for one model; nothing where the model's own holds.
struct UserLimits {
    std::optional<qint16> voltage; // mV
    std::optional<qint16> current; // mA
    friend bool operator==(const UserLimits&, const UserLimits&) = default;
};

/// A stored user limit as read back.
struct StoredLimit {
    std::optional<qint16> value; // a whole number from 0 to the model's limit
    bool unreadable = false;     // text that is no such number: the model's limit holds
};

/// A stored user limit: a whole number from 0 to the model's limit. Absent
/// or empty text is no limit; any other text is no limit and unreadable.
StoredLimit ParseUserLimit(const QString& text, qint16 modelLimit);

/// The lower of the two: a user limit lowers a limit, never raises it.
qint16 Lowered(qint16 limit, std::optional<qint16> userLimit);

/// The limits the set-points are kept within: `limits` lowered by the user's.
Limits LoweredLimits(Limits limits, const UserLimits& user);

/// Whether a set-point pair goes past `limits`.
bool PastLimits(const Limits& limits, int voltageMv, int currentMa);

/// Whether a set-point pair goes past the user's limits (the model's own
/// limits are not looked at here).
bool PastUserLimits(const UserLimits& limits, int voltageMv, int currentMa);

/// The highest set-point at or below `limit` that the unit takes exactly:
/// a whole number of `step`s, so the command does not round it up past it.
qint16 WithinLimit(qint16 setpoint, qint16 limit, int step);

} // namespace velmora
