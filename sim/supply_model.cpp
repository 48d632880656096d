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
    const double target = targetVolts();
    if (timeConstant_ <= 0.0) {
        volts_ = target;
        return;
    }
    volts_ += (target - volts_) * (1.0 - std::exp(-std::max(seconds, 0.0) / timeConstant_));
}

Reading SupplyModel::output() const {
    return Reading{volts_, volts_ / loadOhms_};
}

bool SupplyModel::constantCurrent() const {
    return setVolts_ > setAmps_ * loadOhms_;
}

double SupplyModel::targetVolts() const {
    return std::min(setVolts_, setAmps_ * loadOhms_);
}

Reading withNoise(Reading reading, double u, double w) {
    return Reading{std::max(reading.volts + u * kVoltsNoise, 0.0),
                   std::max(reading.amps + w * kAmpsNoise, 0.0)};
}

} // namespace velmora::sim
