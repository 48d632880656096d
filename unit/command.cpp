#include "unit/command.h"

#include <cmath>

namespace velmora {

namespace {

std::optional<int> ThreeDigits(const QByteArray& text, qsizetype from) {
    int number = 0;
    for (qsizetype i = from; i < from + 3; ++i) {
        const char c = text.at(i);
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    return number;
}

// Writes a field's digits (at least three, a minus sign before a negative
// value) so that they end just before `end`; gives where they start. By hand:
// a plot or a check of a day's recording makes millions of these.
char* FieldBefore(char* end, double value) {
    const double rounded = std::floor(std::fabs(value) + 0.5);
    char* start = end;
    for (auto number = static_cast<quint64>(rounded); number > 0 || end - start < 3; number /= 10)
        *--start = char('0' + number % 10);
    if (value < 0 && rounded != 0) *--start = '-';
    return start;
}

// Two fields, each followed by CR, built in one piece.
QByteArray CommandOfFields(double first, double second) {
    char text[64];
    char* end = text + sizeof text;
    *--end = '\r';
    char* start = FieldBefore(end, second);
    *--start = '\r';
    start = FieldBefore(start, first);
    return QByteArray(start, text + sizeof text - start);
}

} // namespace

QByteArray Format000(double value) {
    char text[24];
    char* const end = text + sizeof text;
    const char* start = FieldBefore(end, value);
    return QByteArray(start, end - start);
}

QByteArray BuildSetpointCommand(Model model, const Setpoints& setpoints) {
    if (model == Model::None) return {};
    const double volts = std::trunc(double(setpoints.voltage.value) / kVoltageStep.value);
    const double current = double(setpoints.current.value) / CurrentStep(model).value;
    return CommandOfFields(volts, current);
}

std::optional<Setpoints> DecodeCommand(Model model, const QByteArray& command) {
    if (model == Model::None || command.size() != kCommandLength || command[3] != '\r' ||
        command[7] != '\r')
        return std::nullopt;
    const auto voltage = ThreeDigits(command, 0);
    const auto current = ThreeDigits(command, 4);
    if (!voltage || !current) return std::nullopt;
    return Setpoints{Millivolts(*voltage * kVoltageStep.value),
                     Milliamps(*current * CurrentStep(model).value)};
}

} // namespace velmora
