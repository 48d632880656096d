#include "recorder/playback_command.h"

#include "core/constants.h"
#include "link/command.h"
#include "recorder/record_format.h"

namespace velmora {

PlaybackCommand MakePlaybackCommand(Model model, const QByteArray& voltageText,
                                    const QByteArray& currentText) {
    if (model == Model::None) return {std::nullopt, SkipReason::NoModel};
    const auto voltage = NumberAtPlaces(voltageText, {1, 2, 4});
    if (!voltage) return {std::nullopt, SkipReason::VoltageNotDigits};
    const auto current = NumberAtPlaces(currentText, {1, 3, 4});
    if (!current) return {std::nullopt, SkipReason::CurrentNotDigits};
    const QByteArray currentField = Format000(model == Model::Small1A20V ? 2 * *current : *current);
    QByteArray command = Format000(*voltage);
    command.append('\r').append(currentField).append('\r');
    if (currentField.size() != 3 || command.size() != kCommandLength)
        return {std::nullopt, SkipReason::CommandTooLong, command.size()};
    return {command, SkipReason::None, command.size()};
}

std::optional<QByteArray> BuildPlaybackCommand(Model model, const QByteArray& voltageText,
                                               const QByteArray& currentText) {
    return MakePlaybackCommand(model, voltageText, currentText).command;
}

bool RecordPastLimits(const UserLimits& limits, const QByteArray& voltageText,
                      const QByteArray& currentText) {
    const auto voltage = NumberAtPlaces(voltageText, {1, 2, 4});
    const auto current = NumberAtPlaces(currentText, {1, 3, 4});
    // A record the player cannot read is skipped for that reason already.
    if (!voltage || !current) return false;
    return PastUserLimits(limits, *voltage * 100, *current * 10);
}

} // namespace velmora
