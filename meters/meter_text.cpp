#include "meters/meter_text.h"

#include <QStringList>
#include <algorithm>

namespace velmora {

namespace {

constexpr qint64 kSecondsPerDay = 24 * 3600;

// A value in steps of 10^-decimals as a decimal: 123, 1 -> "12.3".
QString Steps(qint64 steps, int decimals) {
    qint64 unit = 1;
    for (int i = 0; i < decimals; ++i)
        unit *= 10;
    return QStringLiteral("%1.%2").arg(steps / unit).arg(steps % unit, decimals, 10, QChar(u'0'));
}

// "0.0–12.3 (5.10)": min–max at the read-out's decimals, the mean at two.
QString SpreadText(const Spread& spread, int decimals, double stepsPerUnit) {
    return Steps(spread.min, decimals) + QChar(0x2013) + Steps(spread.max, decimals) +
           QStringLiteral(" (%1)").arg(spread.mean / stepsPerUnit, 0, 'f', 2);
}

} // namespace

QString ClockText(QTime at) {
    return at.isValid() ? at.toString(QStringLiteral("hh:mm:ss")) : QStringLiteral("--:--:--");
}

QString HoursClockText(qint64 seconds) {
    seconds = std::max<qint64>(seconds, 0);
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QChar(u'0'))
        .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'));
}

QString DurationText(qint64 seconds) {
    seconds = std::max<qint64>(seconds, 0);
    const qint64 days = seconds / kSecondsPerDay;
    const QString clock = HoursClockText(seconds % kSecondsPerDay);
    if (days == 0) return clock;
    return QStringLiteral("%1 %2 %3").arg(days).arg(days == 1 ? "day" : "days", clock);
}

QString MetersLine(const MeterReadings& r, Regulation regulation) {
    if (r.frames == 0) return QString::fromLatin1(kNothingMeasured);
    return QStringLiteral("%1 Ah  %2 Wh  %3  %4   V %5  I %6")
        .arg(r.ampHours, 0, 'f', 4)
        .arg(r.wattHours, 0, 'f', 3)
        .arg(DurationText(r.runNs / 1'000'000'000), QLatin1StringView(RegulationName(regulation)),
             SpreadText(r.decivolts, 1, 10.0), SpreadText(r.centiamps, 2, 100.0));
}

QString MetersTooltip(const MeterReadings& r, Regulation regulation) {
    if (r.frames == 0) return QStringLiteral("meters: nothing measured yet");
    QString text = QStringLiteral("meters: %1 Ah, %2 Wh in %3 (%4, inferred)")
                       .arg(r.ampHours, 0, 'f', 4)
                       .arg(r.wattHours, 0, 'f', 3)
                       .arg(DurationText(r.runNs / 1'000'000'000),
                            QLatin1StringView(RegulationName(regulation)));
    if (r.gaps > 0)
        text += QStringLiteral(", %1 %2 left out").arg(r.gaps).arg(r.gaps == 1 ? "gap" : "gaps");
    return text;
}

QString AmpHoursNumber(double ampHours) {
    return QString::number(ampHours, 'f', 6);
}

QString WattHoursNumber(double wattHours) {
    return QString::number(wattHours, 'f', 6);
}

QString SecondsNumber(qint64 ns) {
    return Steps((std::max<qint64>(ns, 0) + 50'000'000) / 100'000'000, 1);
}

} // namespace velmora
