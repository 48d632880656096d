#pragma once
// The meters as texts: the line under the plot, the link's tooltip line and
// the plain numbers a remote query answers with.

#include "meters/meters.h"

#include <QString>
#include <QTime>

namespace velmora {

/// "12:34:56" of a local time; "--:--:--" for no time.
QString ClockText(QTime at);

/// "00:12:03", the hours going past 24 ("26:00:00"); 0 for a negative time.
QString HoursClockText(qint64 seconds);

/// "00:12:03"; from a day on "1 day 01:02:03", "3 days 00:00:00".
QString DurationText(qint64 seconds);

/// "0.1234 Ah  1.482 Wh  00:12:03  CV   V 0.0–12.3 (5.10)  I 0.00–0.50 (0.12)",
/// or kNothingMeasured before the first frame.
QString MetersLine(const MeterReadings& readings, Regulation regulation);

/// "meters: 0.1234 Ah, 1.482 Wh in 00:12:03 (CV, inferred)", and
/// ", 2 gaps left out" when frames stopped for more than 2 s.
QString MetersTooltip(const MeterReadings& readings, Regulation regulation);

inline constexpr char kNothingMeasured[] = "Meters: nothing measured yet";

/// Plain decimals with a point: "0.123400" (Ah), "1.482000" (Wh), "723.4" (s).
QString AmpHoursNumber(double ampHours);
QString WattHoursNumber(double wattHours);
QString SecondsNumber(qint64 ns);

} // namespace velmora
