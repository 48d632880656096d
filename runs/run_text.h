#pragma once
// How a run shows its values: set-points, durations, charge and energy, the
// way the run file writes them and the way its reasons read.

#include <QString>
#include <QtGlobal>

namespace velmora {

/// `value` thousandths (or whatever `decimals` says) as a decimal with the
/// trailing zeros dropped: (50, 3) "0.05", (4200, 3) "4.2", (5000, 3) "5".
QString TrimmedDecimal(qint64 value, int decimals);

QString VoltsText(qint64 millivolts); // "4.2 V"
QString AmpsText(qint64 milliamps);   // "0.05 A"
QString WattsText(qint64 milliwatts); // "1.5 W"
/// In the largest of h, min, s and ms that shows it exactly: "3 h", "90 s", "250 ms".
QString WrittenDuration(qint64 ms);
/// A run time in seconds to a tenth: "22.4 s".
QString SecondsText(qint64 ns);
/// "1.918 mAh" below 1 Ah, "1.2345 Ah" from there.
QString ChargeText(double ampHours);
/// "7.912 mWh" below 1 Wh, "1.2345 Wh" from there.
QString EnergyText(double wattHours);
/// A worst-case duration, whole seconds rounded up: "03:00:20", "2 days 01:00:00".
QString LongDurationText(qint64 ms);

} // namespace velmora
