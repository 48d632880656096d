#pragma once
// Start and end of the program: the main window's load and close handlers.

class QObject;

namespace velmora {

/// SIGTERM, SIGINT and SIGHUP end the program as closing the main window
/// does, once the event loop sees them; `owner` keeps the watch on them.
void EndOnSignals(QObject* owner);

/// Makes the program's folder the current directory, loads the stored
/// settings and opens the serial port.
void Startup();

/// Closes the record and control files and releases the port.
void ReleaseResources();

/// Ends the program at once, from wherever it is asked for (also from inside
/// a wait): the command whose first character is on the line goes out whole,
/// nothing else is sent, resources are released and no other handler runs
/// after this one.
[[noreturn]] void Shutdown();

} // namespace velmora
