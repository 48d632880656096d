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

} // namespace

QByteArray Format000(double value) {
    const double rounded = std::floor(std::fabs(value) + 0.5);
    // By hand: a plot or a check of a day's recording makes millions of these.
    char text[24];
    int start = int(sizeof text);
    for (auto number = static_cast<quint64>(rounded); number > 0 || sizeof text - start < 3;
         number /= 10)
        text[--start] = char('0' + number % 10);
    if (value < 0 && rounded != 0) text[--start] = '-';
    return QByteArray(text + start, qsizetype(sizeof text) - start);
}

QByteArray BuildSetpointCommand(Model model, int voltageMv, int currentMa) {
    if (model == Model::None) return {};
    const double volts = std::trunc(static_cast<double>(voltageMv) / kVoltageStepMv);
    const double current = static_cast<double>(currentMa) / CurrentStepMa(model);
    return Format000(volts) + '\r' + Format000(current) + '\r';
}

QByteArray BuildRecordCommand(Model model, int decivolts, int centiamps) {
    if (model == Model::None) return {};
    // A record's current is in 0.01 A; the small model counts in 5 mA.
    const int field = centiamps * 10 / CurrentStepMa(model);
    return Format000(decivolts) + '\r' + Format000(field) + '\r';
}

std::optional<Setpoints> DecodeCommand(Model model, const QByteArray& command) {
    if (model == Model::None || command.size() != kCommandLength || command[3] != '\r' ||
        command[7] != '\r')
        return std::nullopt;
    const auto voltage = ThreeDigits(command, 0);
    const auto current = ThreeDigits(command, 4);
    if (!voltage || !current) return std::nullopt;
    return Setpoints{*voltage * kVoltageStepMv, *current * CurrentStepMa(model)};
}

} // namespace velmora
