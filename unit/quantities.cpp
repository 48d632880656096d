#include "unit/quantities.h"

#include <climits>
#include <cmath>

namespace velmora {

namespace {

int NearestWhole(double thousandths) {
    if (std::isnan(thousandths)) return 0;
    const double rounded = std::round(thousandths);
    if (rounded >= double(INT_MAX)) return INT_MAX;
    if (rounded <= double(INT_MIN)) return INT_MIN;
    return int(rounded);
}

// Thousandths as a decimal with `places` places (1 to 3): 12300, 1 -> "12.3".
QString Decimal(int thousandths, int places) {
    const int unit = places == 1 ? 100 : places == 2 ? 10 : 1;
    const int steps = thousandths / unit;
    const int whole = std::abs(steps) / (1000 / unit);
    const int fraction = std::abs(steps) % (1000 / unit);
    return QStringLiteral("%1%2.%3")
        .arg(thousandths < 0 ? QStringLiteral("-") : QString())
        .arg(whole)
        .arg(fraction, places, 10, QChar(u'0'));
}

} // namespace

Millivolts MillivoltsFromVolts(double volts) {
    return Millivolts(NearestWhole(volts * 1000.0));
}

Milliamps MilliampsFromAmperes(double amperes) {
    return Milliamps(NearestWhole(amperes * 1000.0));
}

QString VoltageText(Millivolts v) {
    return Decimal(v.value, v.value % 100 == 0 ? 1 : 3) + QStringLiteral(" V");
}

QString CurrentText(Milliamps a) {
    return Decimal(a.value, a.value % 10 == 0 ? 2 : 3) + QStringLiteral(" A");
}

} // namespace velmora
