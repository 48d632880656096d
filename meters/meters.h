#pragma once
// The live meters: charge, energy, run time and the spread of the values,
// from every readable frame and its arrival time; and the regulation a frame
// suggests.

#include "unit/command.h"

#include <QtGlobal>

namespace velmora {

/// The smallest, largest and time-weighted mean of one quantity, in the
/// unit's steps (decivolts, centiamps or mW).
struct Spread {
    int min = 0;
    int max = 0;
    double mean = 0.0;
};

/// What the meters hold at one moment.
struct MeterReadings {
    qint64 frames = 0;
    qint64 gaps = 0;  // intervals over kMaxIntervalNs, left out
    qint64 runNs = 0; // the intervals integrated, summed
    double ampHours = 0.0;
    double wattHours = 0.0;
    Spread decivolts, centiamps, milliwatts;
};

/// Integrates the frames with the trapezoidal rule on their arrival times.
/// Sums are kept in whole steps times nanoseconds, so months of frames do
/// not drift.
class Meters {
  public:
    /// A longer silence between two frames is a gap: not integrated.
    static constexpr qint64 kMaxIntervalNs = 2'000'000'000;

    /// One readable frame arriving at `atNs` (monotonic); a time before the
    /// last frame's counts as the same moment.
    void take(qint64 atNs, const Values& frame);
    void reset() { *this = Meters(); }

    MeterReadings readings() const;
    bool empty() const { return frames_ == 0; }

  private:
    __extension__ typedef __int128 Wide;

    struct Quantity {
        int min = 0, max = 0;
        int last = 0;
        qint64 sum = 0; // of the frames' values, for the mean without run time
        Wide area = 0;  // twice the integral, in steps x ns
        void take(int value, qint64 intervalNs, bool first);
        Spread spread(qint64 frames, qint64 runNs) const;
    };

    qint64 frames_ = 0;
    qint64 gaps_ = 0;
    qint64 runNs_ = 0;
    qint64 lastNs_ = 0;
    Quantity volts_, amps_, watts_;
};

/// How the unit regulates, as one frame and the set-points suggest it.
enum class Regulation { ConstantVoltage, ConstantCurrent };

/// Constant current when the current read-out is within one of its steps
/// (10 mA) of the current set-point and the voltage is below its set-point; otherwise
/// constant voltage. Inferred, not reported by the unit.
Regulation InferRegulation(const Values& frame, const Setpoints& setpoints);

/// "CV" or "CC".
const char* RegulationName(Regulation regulation);

} // namespace velmora
