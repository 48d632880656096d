#pragma once
// The eight adjust buttons: which set-point each steps, by how much, and how
// the set-point read-out shows it.

#include <QString>

namespace velmora {

/// What one adjust button does.
struct AdjustStep {
    bool voltage; // the voltage set-point (mV), else the current set-point (mA)
    int delta;    // added on every step
};

/// The step of adjust button 1..8.
AdjustStep StepOfButton(int number);

/// The set-point after one step; a step that would pass the limit or go below
/// zero is not taken at all (no clamping).
qint16 Stepped(qint16 setpoint, int delta, qint16 limit);

/// The set-point read-out: "00500mV" for voltage, "0050mA" for current.
QString SetpointCaption(bool voltage, qint16 setpoint);

} // namespace velmora
