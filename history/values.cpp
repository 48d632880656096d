#include "history/values.h"

#include "core/constants.h"
#include "recorder/record_format.h"

#include <cstdio>

namespace velmora {

namespace {

// "12.3" from 123, "0.40" from 40, "15.129" from 15129: no float rounding.
QByteArray Fixed(int value, int decimals) {
    int scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    return QByteArray::number(value / scale) + '.' +
           QByteArray::number(value % scale).rightJustified(decimals, '0');
}

} // namespace

std::optional<Values> ValuesOfTexts(const QByteArray& voltageText, const QByteArray& currentText) {
    const auto volts = NumberAtPlaces(voltageText, {1, 2, 4});
    const auto amps = NumberAtPlaces(currentText, {1, 3, 4});
    if (!volts || !amps) return std::nullopt;
    return Values{*volts, *amps};
}

std::optional<Values> ValuesOfTexts(const QString& voltageText, const QString& currentText) {
    return ValuesOfTexts(voltageText.toLatin1(), currentText.toLatin1());
}

std::optional<Setpoints> DecodeCommand(Model model, const QByteArray& command) {
    if (model == Model::None || command.size() != kCommandLength || command[3] != '\r' ||
        command[7] != '\r')
        return std::nullopt;
    const auto voltage = NumberAtPlaces(command, {1, 2, 3});
    const auto current = NumberAtPlaces(command, {5, 6, 7});
    if (!voltage || !current) return std::nullopt;
    const int currentStep = model == Model::Small1A20V ? 5 : 10;
    return Setpoints{*voltage * 100, *current * currentStep};
}

QByteArray CsvRow(QDate date, QTime time, Values values) {
    // By hand: the general date formatting costs more than all the rest of
    // a row together.
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d", date.year(), date.month(),
                  date.day(), time.hour(), time.minute(), time.second());
    return QByteArray(stamp) + ',' + Fixed(values.decivolts, 1) + ',' + Fixed(values.centiamps, 2) +
           ',' + Fixed(values.milliwatts(), 3);
}

QByteArray CsvRow(const QDateTime& at, Values values) {
    return CsvRow(at.date(), at.time(), values);
}

} // namespace velmora
