#include "core/state.h"

#include "core/constants.h"

namespace velmora {

SharedState::SharedState()
    : VoltageLimit(kDefaultVoltageLimit), CurrentLimit(kDefaultCurrentLimit),
      PortNumber(kDefaultPort), RecordFileName(kDefaultRecordFile),
      ControlFileName(kDefaultControlFile), VoltageSetpoint(0), CurrentSetpoint(0),
      ButtonHeld(false), WaitDeadline(0), TransmitIndex(0), PlaybackStop(false) {}

SharedState Shared;

void ResetSharedState() {
    Shared = SharedState();
}

Model ModelFromCurrentLimit(qint16 currentLimit) {
    if (currentLimit == kLargeCurrentLimit) return Model::Large2A5_25V;
    if (currentLimit == kSmallCurrentLimit) return Model::Small1A20V;
    return Model::None;
}

Model CurrentModel() {
    return ModelFromCurrentLimit(Shared.CurrentLimit);
}

} // namespace velmora
