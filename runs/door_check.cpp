#include "runs/door_check.h"

#include "unit/setpoint_rules.h"

namespace velmora {

DoorCheck ModelDoorCheck(Model model, const UserLimits& user) {
    return [model, user](int millivolts, int milliamps) -> QString {
        // A run's steps are no zeroing: with no model none of them goes out.
        if (model == Model::None) return QStringLiteral("no model chosen");
        return CheckSetpoints(model, user, {Millivolts(millivolts), Milliamps(milliamps)}).reason;
    };
}

} // namespace velmora
