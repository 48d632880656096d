#pragma once
// The door's rules on plain values, for a check made where no session runs
// (velmora-files check): a set-point goes to the unit's step, then must lie
// within the model's range and the user's own limits.

#include "runs/run_check.h"
#include "unit/limits.h"

namespace velmora {

/// The reason the unit's rules give ("voltage 25.0 V is past the 1A/20V
/// model's 20.0 V", "no model chosen"); empty when the pair would go out.
DoorCheck ModelDoorCheck(Model model, const UserLimits& user);

} // namespace velmora
