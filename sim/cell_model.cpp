#include "sim/cell_model.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace velmora::sim {

namespace {

std::optional<double> finiteNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value)) return std::nullopt;
    return value;
}

} // namespace

std::optional<CellRating> parseCellRating(const std::string& text, std::string& error) {
    std::vector<double> fields;
    std::size_t from = 0;
    for (;;) {
        const std::size_t colon = text.find(':', from);
        const auto value = finiteNumber(text.substr(from, colon - from));
        if (!value) break;
        fields.push_back(*value);
        if (colon == std::string::npos) break;
        from = colon + 1;
    }
    error.clear();
    if (fields.size() != 4 || std::count(text.begin(), text.end(), ':') != 3)
        error = "needs MAH:VEMPTY:VFULL:OHMS, four numbers, not '" + text + "'";
    else if (fields[0] <= 0.0 || fields[0] > 1e9)
        error = "needs a capacity above 0 mAh, not '" + text + "'";
    else if (fields[1] < 0.0 || fields[2] <= fields[1] || fields[2] > 100.0)
        error = "needs 0 <= VEMPTY < VFULL <= 100, not '" + text + "'";
    else if (fields[3] <= 0.0 || fields[3] > 1e6)
        error = "needs a resistance above 0 ohms, not '" + text + "'";
    if (!error.empty()) return std::nullopt;
    return CellRating{fields[0], fields[1], fields[2], fields[3]};
}

double Cell::voltsPerCoulomb() const {
    return (rating_.fullVolts - rating_.emptyVolts) / (rating_.milliampHours * 3.6);
}

double Cell::openCircuitVolts() const {
    return rating_.emptyVolts + coulombs_ * voltsPerCoulomb();
}

double Cell::current(double sourceVolts, double limitAmps) const {
    const double drive = (sourceVolts - openCircuitVolts()) / rating_.ohms;
    return std::max(0.0, std::min(std::max(limitAmps, 0.0), drive));
}

double Cell::terminalVolts(double sourceVolts, double limitAmps) const {
    return openCircuitVolts() + current(sourceVolts, limitAmps) * rating_.ohms;
}

bool Cell::currentLimited(double sourceVolts, double limitAmps) const {
    return (sourceVolts - openCircuitVolts()) / rating_.ohms >= limitAmps;
}

void Cell::charge(double sourceVolts, double limitAmps, double seconds) {
    for (double left = std::max(seconds, 0.0); left > 0.0; left -= kMaxStepSeconds)
        chargeStep(sourceVolts, limitAmps, std::min(left, kMaxStepSeconds));
}

// Exact within the step: at the limit the charge grows linearly until the
// drive falls to the limit; below it the drive decays with the time constant
// R x C, C being the charge per volt of the open-circuit voltage.
void Cell::chargeStep(double sourceVolts, double limitAmps, double seconds) {
    const double limit = std::max(limitAmps, 0.0);
    const double slope = voltsPerCoulomb();
    double drive = sourceVolts - openCircuitVolts(); // volts across the resistance
    if (drive <= 0.0 || limit <= 0.0) return;
    if (drive >= limit * rating_.ohms) {
        const double toBoundary = (drive - limit * rating_.ohms) / slope / limit;
        const double limited = std::min(seconds, toBoundary);
        coulombs_ += limit * limited;
        seconds -= limited;
        drive = sourceVolts - openCircuitVolts();
        if (seconds <= 0.0) return;
    }
    const double timeConstant = rating_.ohms / slope;
    coulombs_ += drive * (1.0 - std::exp(-seconds / timeConstant)) / slope;
}

} // namespace velmora::sim
