#pragma once
// The user's own voltage and current limits, one pair per model, kept in the
// settings store under "Limits" as whole mV and mA; and the limits the
// set-points are kept within.

#include "core/state.h"
#include "unit/limits.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace velmora {

/// The stored key of a user limit: "MaxU_1000", "MaxI_2500", ...; empty for
/// no model.
QString UserLimitKey(Model model, bool voltage);

/// The user's limits for the model as stored, and whether a stored value
/// could not be read (it then leaves the model's limit in force).
struct StoredUserLimits {
    UserLimits limits;
    QStringList unreadable; // "MaxU_1000=+5000", one text a key
};
StoredUserLimits ReadStoredUserLimits(Model model);
/// The user's limits for the model as stored; none for no model.
UserLimits ReadUserLimits(Model model);
/// Stores them; nothing given removes that key, so the model's limit holds.
/// False when the settings file could not be written.
bool SaveUserLimits(Model model, const UserLimits& limits);

/// What the adjust buttons step within: the shared limits, lowered by the
/// user's own for the model in force.
Limits SetpointLimits();

} // namespace velmora
