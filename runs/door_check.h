#pragma once
// The door's rules on plain values, for a check made where no session runs
// (velmora-files check): a set-point goes to the unit's step, then must lie
// within the model's range and the user's own limits.

#include "runs/run_check.h"
#include "unit/limits.h"

namespace velmora {

/// "above the 1A/20V model's limit of 20 V", "above your own limit of
/// 10 V", "no model is chosen"; empty when the pair would go out.
DoorCheck ModelDoorCheck(Model model, const UserLimits& user);

} // namespace velmora
