#include "sim/supply_model.h"

#include <algorithm>
#include <cmath>

namespace velmora::sim {

namespace {

// exp(-5) < 1%: five time constants make up the settling time.
constexpr double kTimeConstantsToSettle = 5.0;
constexpr double kVoltsNoise = 0.05;
constexpr double kAmpsNoise = 0.005;

} // namespace

SupplyModel::SupplyModel(double loadOhms, double settleSeconds)
    : loadOhms_(loadOhms), timeConstant_(std::max(settleSeconds, 0.0) / kTimeConstantsToSettle) {}

void SupplyModel::setTarget(double volts, double amps) {
    setVolts_ = std::max(volts, 0.0);
    setAmps_ = std::max(amps, 0.0);
}

void SupplyModel::advance(double seconds) {
    seconds = std::max(seconds, 0.0);
    if (!cell_) return settle(seconds);
    // With a cell the source settles in steps, the cell charging from it.
    double left = seconds;
    do {
        const double step = std::min(left, Cell::kMaxStepSeconds);
        settle(step);
        cell_->charge(volts_, setAmps_, step);
        left -= step;
    } while (left > 0.0);
}

void SupplyModel::settle(double seconds) {
    const double target = targetVolts();
    if (timeConstant_ <= 0.0) {
        volts_ = target;
        return;
    }
    volts_ += (target - volts_) * (1.0 - std::exp(-seconds / timeConstant_));
}

Reading SupplyModel::output() const {
    if (cell_)
        return Reading{cell_->terminalVolts(volts_, setAmps_), cell_->current(volts_, setAmps_)};
    return Reading{volts_, volts_ / loadOhms_};
}

bool SupplyModel::constantCurrent() const {
    if (cell_) return setAmps_ > 0.0 && cell_->currentLimited(volts_, setAmps_);
    return setVolts_ > setAmps_ * loadOhms_;
}

// With a cell the source heads for the voltage set-point; the cell's
// resistance and the current limit decide the current.
double SupplyModel::targetVolts() const {
    if (cell_) return setVolts_;
    return std::min(setVolts_, setAmps_ * loadOhms_);
}

Reading withNoise(Reading reading, double u, double w) {
    return Reading{std::max(reading.volts + u * kVoltsNoise, 0.0),
                   std::max(reading.amps + w * kAmpsNoise, 0.0)};
}

} // namespace velmora::sim
