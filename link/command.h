#pragma once
// The set-point command to the unit: three digits of voltage, CR, three digits
// of current, CR; and sending it one character at a time.

#include "core/state.h"

#include <QByteArray>

namespace velmora {

/// The number written with the pattern "000": at least three digits, leading
/// zeros, rounded to a whole number with halves away from zero.
QByteArray Format000(double value);

/// The command for the set-points on the given model: voltage in 100 mV steps
/// (truncated), current in 10 mA ("2,5A/25V") or 5 mA ("1A/20V") steps
/// (rounded, halves up). Empty when no model is defined.
QByteArray BuildSetpointCommand(Model model, qint16 voltageMv, qint16 currentMa);

/// Sends positions 1 to 8 of the command once the unit asserts CTS, one
/// character per write with a 10 ms pause after each, and returns after the
/// eighth pause, handling events all the while. A shorter text writes what it
/// has and still takes eight pauses; characters 9 on are dropped. One command
/// is on the line at a time: a command asked for while another is under way
/// goes out after it, whole. Dropped at once when the port is not open, or
/// when the port closes before the command is out.
void SendCommand(const QByteArray& command);

/// Drops every command still waiting to go out; the one whose first
/// character is on the line finishes. Their SendCommand calls return.
void DropWaitingCommands();

} // namespace velmora
