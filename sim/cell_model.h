#pragma once

#include <optional>
#include <string>

namespace velmora::sim {

// A rechargeable cell as `--cell MAH:VEMPTY:VFULL:OHMS` gives it.
struct CellRating {
    double milliampHours = 0.0;
    double emptyVolts = 0.0;
    double fullVolts = 0.0;
    double ohms = 0.0;
};

// "2:3.0:4.2:1": the rating, or why not in `error`.
std::optional<CellRating> parseCellRating(const std::string& text, std::string& error);

// A cell on the unit's output, empty at the start: its open-circuit voltage
// is linear in the charge it holds, from VEMPTY empty to VFULL full (and on
// past full at the same slope), behind an internal resistance. The unit
// drives it from a source voltage with a current limit; current never flows
// back out of the cell.
class Cell {
  public:
    // Charge is integrated in steps of at most this long.
    static constexpr double kMaxStepSeconds = 0.01;

    explicit Cell(const CellRating& rating) : rating_(rating) {}

    double openCircuitVolts() const;
    // The smaller of the limit and (source - open-circuit voltage) / R, never below 0.
    double current(double sourceVolts, double limitAmps) const;
    // What the unit's read-out shows: the open-circuit voltage plus I x R.
    double terminalVolts(double sourceVolts, double limitAmps) const;
    bool currentLimited(double sourceVolts, double limitAmps) const;
    // Lets `seconds` pass with the source and limit held.
    void charge(double sourceVolts, double limitAmps, double seconds);
    double chargedAmpHours() const { return coulombs_ / 3600.0; }

  private:
    void chargeStep(double sourceVolts, double limitAmps, double seconds);
    double voltsPerCoulomb() const;

    CellRating rating_;
    double coulombs_ = 0.0;
};

} // namespace velmora::sim
