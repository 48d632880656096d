#include "core/state.h"

#include "core/constants.h"

namespace velmora {

Limits LimitsOf(Model model) {
    switch (model) {
    case Model::Small1A20V:
        return {kSmallVoltageLimit, kSmallCurrentLimit};
    case Model::Large2A5_25V:
        return {kLargeVoltageLimit, kLargeCurrentLimit};
    case Model::None:
        break;
    }
    return {0, 0};
}

SharedState::SharedState()
    : VoltageLimit(LimitsOf(kDefaultModel).voltage), CurrentLimit(LimitsOf(kDefaultModel).current),
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
