#include "playback/playback_command.h"

#include "unit/command.h"
#include "unit/measurement.h"

namespace velmora {

PlaybackCommand MakePlaybackCommand(Model model, const QByteArray& voltageText,
                                    const QByteArray& currentText) {
    if (model == Model::None) return {std::nullopt, SkipReason::NoModel};
    const auto voltage = VoltageAtPlaces(voltageText);
    if (!voltage) return {std::nullopt, SkipReason::VoltageNotDigits};
    const auto current = CurrentAtPlaces(currentText);
    if (!current) return {std::nullopt, SkipReason::CurrentNotDigits};
    return CommandForValues(model, Values{*voltage, *current});
}

PlaybackCommand CommandForValues(Model model, Values values, const UserLimits& limits) {
    if (model == Model::None) return {std::nullopt, SkipReason::NoModel};
    const QByteArray command = BuildRecordCommand(model, values.decivolts, values.centiamps);
    if (command.size() != kCommandLength)
        return {std::nullopt, SkipReason::CommandTooLong, command.size()};
    // Past the user's own limits a record is sent whole or not at all.
    if (PastUserLimits(limits, values.decivolts * 100, values.centiamps * 10))
        return {std::nullopt, SkipReason::PastUserLimit, command.size()};
    return {command, SkipReason::None, command.size()};
}

bool RecordPastLimits(const UserLimits& limits, const QByteArray& voltageText,
                      const QByteArray& currentText) {
    const auto values = ValuesOfTexts(voltageText, currentText);
    // A record the player cannot read is skipped for that reason already.
    if (!values) return false;
    return PastUserLimits(limits, values->decivolts * 100, values->centiamps * 10);
}

} // namespace velmora
