#include "playback/playback_command.h"

#include "unit/command.h"
#include "unit/setpoint_rules.h"

namespace velmora {

PlaybackCommand MakePlaybackCommand(Model model, const QByteArray& voltageText,
                                    const QByteArray& currentText, const UserLimits& limits) {
    if (model == Model::None) return {std::nullopt, std::nullopt, SkipReason::NoModel};
    const auto voltage = VoltageAtPlaces(voltageText);
    if (!voltage) return {std::nullopt, std::nullopt, SkipReason::VoltageNotDigits};
    const auto current = CurrentAtPlaces(currentText);
    if (!current) return {std::nullopt, std::nullopt, SkipReason::CurrentNotDigits};
    return CommandForValues(model, Values{*voltage, *current}, limits);
}

PlaybackCommand CommandForValues(Model model, Values values, const UserLimits& limits) {
    if (model == Model::None) return {std::nullopt, std::nullopt, SkipReason::NoModel};
    const Setpoints asked = SetpointsOf(values);
    const QByteArray command = BuildSetpointCommand(model, asked);
    if (command.size() != kCommandLength)
        return {std::nullopt, std::nullopt, SkipReason::CommandTooLong, command.size()};
    // Past a limit a record is sent whole or not at all: never clamped.
    const SetpointCheck check = JudgeSetpoints(model, limits, asked);
    if (check.refusal == Refusal::PastModelRange)
        return {std::nullopt, std::nullopt, SkipReason::PastModelRange, command.size()};
    if (check.refusal == Refusal::PastUserLimit)
        return {std::nullopt, std::nullopt, SkipReason::PastUserLimit, command.size()};
    return {check.setpoints, command, SkipReason::None, command.size()};
}

} // namespace velmora
