#include "runs/run_text.h"

#include "recording/wall_time.h"
#include "runs/run_program.h"

#include <cstdlib>

namespace velmora {

QString TrimmedDecimal(qint64 value, int decimals) {
    qint64 scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const qint64 magnitude = value < 0 ? -value : value;
    QString text = QString::number(magnitude / scale);
    QString fraction = QString::number(magnitude % scale).rightJustified(decimals, u'0');
    while (fraction.endsWith(u'0'))
        fraction.chop(1);
    if (!fraction.isEmpty()) text += u'.' + fraction;
    return value < 0 ? u'-' + text : text;
}

QString VoltsText(qint64 millivolts) {
    return TrimmedDecimal(millivolts, 3) + QStringLiteral(" V");
}

QString AmpsText(qint64 milliamps) {
    return TrimmedDecimal(milliamps, 3) + QStringLiteral(" A");
}

QString WattsText(qint64 milliwatts) {
    return TrimmedDecimal(milliwatts, 3) + QStringLiteral(" W");
}

QString WrittenDuration(qint64 ms) {
    struct Unit {
        qint64 ms;
        const char* name;
    };
    for (const Unit unit : {Unit{3'600'000, " h"}, Unit{60'000, " min"}, Unit{1000, " s"}}) {
        if (ms != 0 && ms % unit.ms == 0)
            return QString::number(ms / unit.ms) + QLatin1StringView(unit.name);
    }
    if (ms >= 1000 && ms % 100 == 0) return TrimmedDecimal(ms, 3) + QStringLiteral(" s");
    return QString::number(ms) + QStringLiteral(" ms");
}

QString SecondsText(qint64 ns) {
    return QString::number(double(ns) / 1e9, 'f', 1) + QStringLiteral(" s");
}

QString ChargeText(double ampHours) {
    if (std::abs(ampHours) < 1.0) return QString::number(ampHours * 1000, 'f', 3) + " mAh";
    return QString::number(ampHours, 'f', 4) + QStringLiteral(" Ah");
}

QString EnergyText(double wattHours) {
    if (std::abs(wattHours) < 1.0) return QString::number(wattHours * 1000, 'f', 3) + " mWh";
    return QString::number(wattHours, 'f', 4) + QStringLiteral(" Wh");
}

QString LongDurationText(qint64 ms) {
    return ShowDuration(ms / 1000 + (ms % 1000 > 0 ? 1 : 0));
}

QString RunCondition::text() const {
    const QString op = above ? QStringLiteral(" > ") : QStringLiteral(" < ");
    switch (measure) {
    case Observed::Current:
        return u'I' + op + AmpsText(value);
    case Observed::Voltage:
        return u'V' + op + VoltsText(value);
    case Observed::Power:
        return u'P' + op + WattsText(value);
    case Observed::Charge:
        return QStringLiteral("Ah") + op + TrimmedDecimal(value, 6) + " Ah";
    case Observed::Energy:
        return QStringLiteral("Wh") + op + TrimmedDecimal(value, 6) + " Wh";
    case Observed::Time:
        return QStringLiteral("time") + op + WrittenDuration(value);
    case Observed::ConstantCurrent:
        return QStringLiteral("CC");
    case Observed::ConstantVoltage:
        return QStringLiteral("CV");
    }
    return {};
}

} // namespace velmora
