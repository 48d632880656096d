#include "sim/frame.h"

#include <algorithm>
#include <cmath>

namespace velmora::sim {

namespace {

// Rounds half-up to whole steps of the last digit shown, clamped to three digits.
// The small nudge keeps values such as 0.045 A, which binary floating point
// holds just below the half, rounding the way the display does.
int displayCounts(double value, double stepsPerUnit) {
    if (!std::isfinite(value) || value <= 0.0) return 0;
    const double counts = std::floor(value * stepsPerUnit + 0.5 + 1e-9);
    return static_cast<int>(std::min(counts, 999.0));
}

void putDigits(std::string& frame, std::size_t at, int counts) {
    frame[at] = static_cast<char>('0' + counts / 100);
    frame[at + 1] = static_cast<char>('0' + counts / 10 % 10);
    frame[at + 2] = static_cast<char>('0' + counts % 10);
}

} // namespace

std::string formatFrame(double volts, double amps) {
    std::string frame(kFrameLength, kFrameFiller);
    frame[0] = kFrameLead;
    putDigits(frame, kVoltsTensAt, displayCounts(volts, 10.0));
    putDigits(frame, kAmpsUnitsAt, displayCounts(amps, 100.0));
    return frame;
}

std::string garbleFrame(std::string frame, Garble how) {
    if (frame.size() != kFrameLength) return frame;
    if (how == Garble::BadLead) {
        frame[0] = 'X';
    } else {
        frame[kVoltsUnitsAt] = '?';
    }
    return frame;
}

} // namespace velmora::sim
