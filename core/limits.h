#pragma once
// The user's own voltage and current limits, one pair per model, kept in the
// settings store under "Limits" as whole mV and mA; and the limits the
// set-points are kept within.

#include "core/state.h"

#include <QString>
#include <optional>

namespace velmora {

/// The user's own limits for one model; nothing where the model's own holds.
struct UserLimits {
    std::optional<qint16> voltage;
    std::optional<qint16> current;
};

/// The stored key of a user limit: "MaxU_1000", "MaxI_2500", ...; empty for
/// no model.
QString UserLimitKey(Model model, bool voltage);

/// A stored user limit: a whole number from 0 to the model's limit, or
/// nothing (absent, empty, not a whole number, out of range).
std::optional<qint16> ParseUserLimit(const QString& text, qint16 modelLimit);

/// The user's limits for the model as stored; none for no model.
UserLimits ReadUserLimits(Model model);
/// Stores them; nothing given removes that key, so the model's limit holds.
void SaveUserLimits(Model model, const UserLimits& limits);

/// The lower of the two: a user limit lowers a limit, never raises it.
qint16 Lowered(qint16 limit, std::optional<qint16> userLimit);

/// What the adjust buttons step within: the shared limits, lowered by the
/// user's own for the model in force.
Limits SetpointLimits();

/// Whether a set-point pair goes past the user's limits for the model (the
/// model's own limits are not looked at here).
bool PastUserLimits(const UserLimits& limits, int voltageMv, int currentMa);

} // namespace velmora
