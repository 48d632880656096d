#pragma once
// What the unit may be asked for: set-points rounded to its steps, within
// the model's range and the user's own limits. The session's one door for
// set-points and every check made beforehand (a control file's, a run's)
// follow these rules, so they agree.

#include "unit/command.h"
#include "unit/limits.h"

#include <QString>

namespace velmora {

/// Why set-points may not go to the unit.
enum class Refusal {
    None,
    NoModel,        // no model chosen: no command can be built
    PastModelRange, // below 0, or above what the model can give
    PastUserLimit,  // above the user's own limit for the model
};

/// The set-points as they would go out, or why they may not.
struct SetpointCheck {
    Setpoints setpoints; // rounded to the unit's steps
    Refusal refusal = Refusal::None;
    QString reason; // for the user, the same wherever it is shown; empty when accepted
    bool accepted() const { return refusal == Refusal::None; }
};

/// A voltage to the nearest 0.1 V and a current to the nearest step of the
/// model's command (halves up): what the unit takes exactly.
Millivolts RoundedVoltage(Millivolts voltage);
Milliamps RoundedCurrent(Model model, Milliamps current);

/// Rounds both set-points to the unit's steps, then checks them against the
/// model's range and the user's limits. The zero always passes, on either
/// model and with none: its command is the same.
SetpointCheck CheckSetpoints(Model model, const UserLimits& user, const Setpoints& asked);
/// The same check with no reason spelled out: for a million records at once.
SetpointCheck JudgeSetpoints(Model model, const UserLimits& user, const Setpoints& asked);

/// The highest set-point the unit takes exactly within the model's range and
/// the user's limits: what MAX stands for.
Millivolts HighestVoltage(Model model, const UserLimits& user);
Milliamps HighestCurrent(Model model, const UserLimits& user);

} // namespace velmora
