#pragma once
// Voltages and currents as the program keeps them, in types that carry their
// unit, and every conversion between them and the unit's own steps or volts
// and amperes: the one place a value is scaled.

#include <QString>
#include <QtGlobal>
#include <compare>

namespace velmora {

/// A whole number of one unit of measure; the tag says which, so a tenth of
/// a volt is never taken for a millivolt.
template <typename Tag> struct Measure {
    int value = 0;
    constexpr Measure() = default;
    constexpr explicit Measure(int v) : value(v) {}
    friend constexpr auto operator<=>(Measure, Measure) = default;
};

using Millivolts = Measure<struct MillivoltTag>;
using Milliamps = Measure<struct MilliampTag>;

namespace literals {
constexpr Millivolts operator""_mV(unsigned long long v) {
    return Millivolts(int(v));
}
constexpr Milliamps operator""_mA(unsigned long long v) {
    return Milliamps(int(v));
}
} // namespace literals

/// One measurement in the unit's steps: 0.1 V and 0.01 A (0 to 999 each), as
/// a frame and a record carry them.
struct Values {
    int decivolts = 0;
    int centiamps = 0;
    /// V x I in mW, exact.
    constexpr int milliwatts() const { return decivolts * centiamps; }
    friend bool operator==(const Values&, const Values&) = default;
};

/// The resolution of a frame's current read-out.
inline constexpr Milliamps kReadoutCurrentStep{10};

constexpr Millivolts VoltageOf(const Values& v) {
    return Millivolts(v.decivolts * 100);
}
constexpr Milliamps CurrentOf(const Values& v) {
    return Milliamps(v.centiamps * 10);
}
constexpr double Volts(Millivolts v) {
    return v.value / 1000.0;
}
constexpr double Amperes(Milliamps a) {
    return a.value / 1000.0;
}
constexpr double Volts(const Values& v) {
    return v.decivolts / 10.0;
}
constexpr double Amperes(const Values& v) {
    return v.centiamps / 100.0;
}
constexpr double Watts(const Values& v) {
    return v.milliwatts() / 1000.0;
}

/// The nearest whole millivolt or milliampere to a number of volts or
/// amperes, halves away from zero; past the range of an int, the largest one.
Millivolts MillivoltsFromVolts(double volts);
Milliamps MilliampsFromAmperes(double amperes);

/// Whether a voltage or a current in the unit's steps is past a limit given
/// in the program's units.
constexpr bool VoltageAbove(int decivolts, qint64 limitMv) {
    return decivolts * 100LL > limitMv;
}
constexpr bool CurrentAbove(int centiamps, qint64 limitMa) {
    return centiamps * 10LL > limitMa;
}
/// The power of a frame in mW above a limit in mW.
constexpr bool PowerAbove(const Values& v, qint64 limitMw) {
    return v.milliwatts() > limitMw;
}

/// "12.3 V", "1.23 A", "0.505 A": a set-point as a user reads it, with the
/// places its step needs.
QString VoltageText(Millivolts v);
QString CurrentText(Milliamps a);

} // namespace velmora
