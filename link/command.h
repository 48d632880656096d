#pragma once
// Sending a set-point command to the unit one character at a time.

#include "unit/command.h"

#include <QByteArray>

namespace velmora {

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
