#pragma once
// Remote values as the unit's rules take them: set-points and the user's
// limits read from SCPI parameters, and the answers' numbers.

#include "scpi/scpi_errors.h"
#include "scpi/scpi_params.h"
#include "session/unit_control.h"
#include "unit/limits.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace velmora {

/// One unit as *IDN? names it.
struct BenchIdentity {
    Model model = Model::None;
    int port = 0;
};

/// "Velmora,1A/20V,COM2,0.1": four fields, so the model is written with a
/// point; "none" where no model or no port from 1 to 4 is chosen. With
/// several units the models and the ports are each joined by "+":
/// "Velmora,1A/20V+2.5A/25V,COM2+COM3,0.2".
QByteArray IdentityAnswer(const QList<BenchIdentity>& units, const QString& version);

/// A voltage in V: one decimal on a whole 0.1 V, else three ("12.3", "12.345").
QByteArray VoltsAnswer(Millivolts voltage);
/// A current in A: two decimals on a whole 10 mA, else three ("1.23", "0.505").
QByteArray AmperesAnswer(Milliamps current);

/// A set-point asked for remotely: a number of volts or amperes as it is
/// (the door rounds it and checks it); MIN and DEF 0, MAX the highest the
/// unit takes within the model's range and the user's limits.
Millivolts RemoteVoltage(const scpi::Value& value, Model model, const UserLimits& user);
Milliamps RemoteCurrent(const scpi::Value& value, Model model, const UserLimits& user);

/// The SCPI error for a refusal at the door: -221 for no model or a trip,
/// -222 for a value past a range or a limit, -200 while the program ends.
scpi::ErrorCode DoorError(DoorAnswer::Verdict verdict);

/// A user's limit as remote control gives it: a number (to 0.1 V, or the
/// model's current step) within the model's range, MIN 0; MAX, DEF and OFF
/// remove it, so the model's limit holds.
template <typename T> struct LimitReading {
    bool ok = false;
    std::optional<T> value;
    QString detail;
};
LimitReading<Millivolts> ReadVoltageLimit(Model model, const scpi::Value& value);
LimitReading<Milliamps> ReadCurrentLimit(Model model, const scpi::Value& value);

/// A status register mask, 0 to 255.
std::optional<quint8> RegisterValue(const scpi::Value& value);
/// The watchdog's seconds, 0 (off) to a day.
std::optional<double> WatchdogValue(const scpi::Value& value);

/// Why a name given remotely is no bare file name (not empty, not "." or
/// "..", no folder: no "/" or "\", no control characters); empty when it is.
QString FileNameProblem(const QString& name);

} // namespace velmora
