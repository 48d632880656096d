#pragma once
// The numbers behind a voltage and a current text, and the set-points a
// command to the unit carries, each in the unit's own steps.

#include "core/state.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace velmora {

/// One measurement in the unit's steps: 0.1 V and 0.01 A (0 to 999 each).
struct Values {
    int decivolts = 0;
    int centiamps = 0;
    /// V x I in mW, exact.
    int milliwatts() const { return decivolts * centiamps; }
};

/// The values of a voltage text "12,3V" (or "12.3V") and a current text
/// "1,23A": characters 1, 2, 4 and 1, 3, 4. Nothing when one of them is
/// missing or not a digit.
std::optional<Values> ValuesOfTexts(const QByteArray& voltageText, const QByteArray& currentText);
std::optional<Values> ValuesOfTexts(const QString& voltageText, const QString& currentText);

/// The set-points a command asks of the unit, in mV and mA: voltage field in
/// 0.1 V steps, current field in 10 mA ("2,5A/25V") or 5 mA ("1A/20V")
/// steps. Nothing unless it is three digits, CR, three digits, CR.
struct Setpoints {
    int millivolts = 0;
    int milliamps = 0;
};
std::optional<Setpoints> DecodeCommand(Model model, const QByteArray& command);

/// One CSV row, CR-less and without line end: "2024-03-05T14:07:09,12.3,1.23,15.129".
QByteArray CsvRow(QDate date, QTime time, Values values);
QByteArray CsvRow(const QDateTime& at, Values values);
inline constexpr char kCsvHeader[] = "time,voltage_V,current_A,power_W";

} // namespace velmora
