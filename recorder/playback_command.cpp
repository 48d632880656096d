#include "recorder/playback_command.h"

#include "core/constants.h"
#include "link/command.h"

#include <initializer_list>
#include <utility>

namespace velmora {

namespace {

// The characters at the given 1-based positions, when all are digits.
std::optional<QByteArray> DigitsAt(const QByteArray& text,
                                   std::initializer_list<qsizetype> positions) {
    QByteArray digits;
    digits.reserve(kCommandLength);
    for (const qsizetype position : positions) {
        if (position > text.size()) return std::nullopt;
        const char c = text.at(position - 1);
        if (c < '0' || c > '9') return std::nullopt;
        digits.append(c);
    }
    return digits;
}

} // namespace

PlaybackCommand MakePlaybackCommand(Model model, const QByteArray& voltageText,
                                    const QByteArray& currentText) {
    if (model == Model::None) return {std::nullopt, SkipReason::NoModel};
    auto voltage = DigitsAt(voltageText, {1, 2, 4});
    if (!voltage) return {std::nullopt, SkipReason::VoltageNotDigits};
    const auto current = DigitsAt(currentText, {1, 3, 4});
    if (!current) return {std::nullopt, SkipReason::CurrentNotDigits};
    const int number = current->toInt();
    const QByteArray currentField = Format000(model == Model::Small1A20V ? 2 * number : number);
    QByteArray command = std::move(*voltage); // reserved for the whole command
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
    const auto voltage = DigitsAt(voltageText, {1, 2, 4});
    const auto current = DigitsAt(currentText, {1, 3, 4});
    // A record the player cannot read is skipped for that reason already.
    if (!voltage || !current) return false;
    return PastUserLimits(limits, voltage->toInt() * 100, current->toInt() * 10);
}

} // namespace velmora
