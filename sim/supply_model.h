#pragma once

#include "sim/cell_model.h"

#include <optional>

namespace velmora::sim {

// What the unit's output delivers at one moment.
struct Reading {
    double volts = 0.0;
    double amps = 0.0;
};

// The unit's output into a resistive load: constant voltage until the current
// reaches its set-point, then constant current with the voltage falling to
// I_set * R. After a new set-point the output voltage approaches its new value
// exponentially, as the output capacitor and the regulator let it. A cell may
// take the load's place (see Cell).
class SupplyModel {
  public:
    // settleSeconds: time to come within 1% of a new set-point; 0 jumps at once.
    SupplyModel(double loadOhms, double settleSeconds);

    void setTarget(double volts, double amps);
    // A new load from now on: the current follows at once, the voltage
    // settles toward its new value as after a new set-point.
    void setLoad(double ohms) { loadOhms_ = ohms; }
    // A cell in place of the load from now on (`--cell`): the voltage
    // set-point, settling as before, drives it through its resistance.
    void setCell(const CellRating& rating) { cell_.emplace(rating); }
    const std::optional<Cell>& cell() const { return cell_; }
    // Lets the given time pass.
    void advance(double seconds);

    Reading output() const;
    bool constantCurrent() const;
    double setVolts() const { return setVolts_; }
    double setAmps() const { return setAmps_; }

  private:
    void settle(double seconds);
    double targetVolts() const;

    double loadOhms_;
    double timeConstant_;
    double setVolts_ = 0.0;
    double setAmps_ = 0.0;
    double volts_ = 0.0;
    std::optional<Cell> cell_;
};

// Adds the flicker of a real display: u and w in [-1, 1] move the reading by
// up to half a step of the last digit shown, so it shifts by one count at most.
Reading withNoise(Reading reading, double u, double w);

} // namespace velmora::sim
