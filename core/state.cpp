#include "core/state.h"

#include "core/constants.h"

namespace velmora {

SharedState::SharedState()
    : VoltageLimit(LimitsOf(kDefaultModel).voltage), CurrentLimit(LimitsOf(kDefaultModel).current),
      PortNumber(kDefaultPort), RecordFileName(kDefaultRecordFile),
      ControlFileName(kDefaultControlFile), VoltageSetpoint(0), CurrentSetpoint(0),
      ButtonHeld(false), WaitDeadline(0), TransmitIndex(0), PlaybackStop(false) {}

SharedState Shared;

void ResetSharedState() {
    Shared = SharedState();
}

Model CurrentModel() {
    return ModelFromCurrentLimit(Shared.CurrentLimit);
}

} // namespace velmora
