#include "meters/meters.h"

#include <algorithm>
#include <cstdlib>

namespace velmora {

void Meters::Quantity::take(int value, qint64 intervalNs, bool first) {
    min = first ? value : std::min(min, value);
    max = first ? value : std::max(max, value);
    sum += value;
    if (intervalNs > 0) area += Wide(last + value) * intervalNs;
    last = value;
}

Spread Meters::Quantity::spread(qint64 frames, qint64 runNs) const {
    const double mean = runNs > 0 ? double(static_cast<long double>(area) / (2.0L * runNs))
                                  : (frames > 0 ? double(sum) / double(frames) : 0.0);
    return {min, max, mean};
}

void Meters::take(qint64 atNs, const Values& frame) {
    const int decivolts = frame.decivolts;
    const int centiamps = frame.centiamps;
    const bool first = frames_ == 0;
    qint64 interval = first ? 0 : std::max<qint64>(atNs - lastNs_, 0);
    if (interval > kMaxIntervalNs) {
        ++gaps_;
        interval = 0;
    }
    runNs_ += interval;
    lastNs_ = first ? atNs : std::max(lastNs_, atNs);
    ++frames_;
    volts_.take(decivolts, interval, first);
    amps_.take(centiamps, interval, first);
    watts_.take(frame.milliwatts(), interval, first);
}

MeterReadings Meters::readings() const {
    // Twice the area (trapezoids), steps to units, ns to hours.
    constexpr long double kCentiampNsPerAh = 2.0L * 100 * 1e9L * 3600;
    constexpr long double kMilliwattNsPerWh = 2.0L * 1000 * 1e9L * 3600;
    MeterReadings r;
    r.frames = frames_;
    r.gaps = gaps_;
    r.runNs = runNs_;
    r.ampHours = double(static_cast<long double>(amps_.area) / kCentiampNsPerAh);
    r.wattHours = double(static_cast<long double>(watts_.area) / kMilliwattNsPerWh);
    r.decivolts = volts_.spread(frames_, runNs_);
    r.centiamps = amps_.spread(frames_, runNs_);
    r.milliwatts = watts_.spread(frames_, runNs_);
    return r;
}

Regulation InferRegulation(const Values& frame, const Setpoints& setpoints) {
    const bool atCurrentLimit =
        std::abs(CurrentOf(frame).value - setpoints.current.value) <= kReadoutCurrentStep.value;
    return atCurrentLimit && VoltageOf(frame) < setpoints.voltage ? Regulation::ConstantCurrent
                                                                  : Regulation::ConstantVoltage;
}

const char* RegulationName(Regulation regulation) {
    return regulation == Regulation::ConstantCurrent ? "CC" : "CV";
}

} // namespace velmora
