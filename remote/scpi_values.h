#pragma once
// The unit's rules for remote values: set-points to the unit's resolution
// within the limits in force, the user's limits, and the answers' numbers.

#include "scpi/scpi_errors.h"
#include "scpi/scpi_params.h"
#include "unit/limits.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace velmora {

/// "Velmora,1A/20V,COM2,0.1": four fields, so the model is written with a
/// point; "none" where no model or no port from 1 to 4 is chosen.
QByteArray IdentityAnswer(Model model, int port, const QString& version);

/// A voltage in V: one decimal on a whole 0.1 V, else three ("12.3", "12.345").
QByteArray VoltsAnswer(int millivolts);
/// A current in A: two decimals on a whole 10 mA, else three ("1.23", "0.505").
QByteArray AmperesAnswer(int milliamps);

/// A set-point as remote control asks for it, or why it is refused.
struct SetpointReading {
    std::optional<qint16> value; // mV or mA
    scpi::ErrorCode error = scpi::ErrorCode::NoError;
    QString detail;
};

/// Reads a set-point: a number goes to the unit's resolution (0.1 V; the
/// model's current step), nearest, halves up, as Set values takes it; MIN
/// and DEF are 0, MAX the highest within `within`. Refused past `within`
/// (the model's and the user's limits, -222) and with no model (-221).
SetpointReading ReadSetpoint(Model model, const Limits& within, bool voltage,
                             const scpi::Value& value);

/// MIN, MAX or DEF asked of a set-point query: 0, the highest, 0.
int SpecialSetpoint(Model model, const Limits& within, bool voltage, const scpi::Value& value);

/// A user's limit as remote control gives it: a number (to 0.1 V, or the
/// model's current step) within the model's range, MIN 0; MAX, DEF and OFF
/// remove it, so the model's limit holds.
struct LimitReading {
    bool ok = false;
    std::optional<qint16> value;
    QString detail;
};
LimitReading ReadLimit(Model model, bool voltage, const scpi::Value& value);

/// A status register mask, 0 to 255.
std::optional<quint8> RegisterValue(const scpi::Value& value);
/// The watchdog's seconds, 0 (off) to a day.
std::optional<double> WatchdogValue(const scpi::Value& value);

/// Whether a name given remotely is a bare file name: not empty, no folder
/// (no "/" or "\"), no "..", no control characters.
bool BareFileName(const QString& name);

} // namespace velmora
