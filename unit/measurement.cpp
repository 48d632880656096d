#include "unit/measurement.h"

#include <initializer_list>

namespace velmora {

namespace {

// The number the digits at the given 1-based places make.
std::optional<int> NumberAtPlaces(QByteArrayView text, std::initializer_list<qsizetype> places) {
    int number = 0;
    for (const qsizetype place : places) {
        if (place < 1 || place > text.size()) return std::nullopt;
        const char c = text.at(place - 1);
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    return number;
}

} // namespace

std::optional<int> VoltageAtPlaces(QByteArrayView voltageText) {
    return NumberAtPlaces(voltageText, {1, 2, 4});
}

std::optional<int> CurrentAtPlaces(QByteArrayView currentText) {
    return NumberAtPlaces(currentText, {1, 3, 4});
}

std::optional<Values> ValuesOfTexts(QByteArrayView voltageText, QByteArrayView currentText) {
    const auto volts = VoltageAtPlaces(voltageText);
    const auto amps = CurrentAtPlaces(currentText);
    if (!volts || !amps) return std::nullopt;
    return Values{*volts, *amps};
}

std::optional<Measurement> ParseFrame(QByteArrayView block, qint64 atNs, qint64 atMs) {
    if (block.size() != kFrameLength || block.at(0) != 'D') return std::nullopt;
    // Positions are counted from 1 as the unit's documentation counts them.
    const auto c = [&block](int position) { return block.at(position - 1); };
    const char voltage[] = {c(3), c(4), ',', c(5), 'V'};
    const char current[] = {c(8), ',', c(9), c(10), 'A'};
    Measurement m;
    m.voltageText = QString::fromLatin1(voltage, 5);
    m.currentText = QString::fromLatin1(current, 5);
    m.values = ValuesOfTexts(QByteArrayView(voltage, 5), QByteArrayView(current, 5));
    m.atNs = atNs;
    m.atMs = atMs;
    return m;
}

} // namespace velmora
