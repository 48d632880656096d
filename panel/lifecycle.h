#pragma once
// Start and end of the program: the main window's load and close handlers.

namespace velmora {

/// Makes the program's folder the current directory, loads the stored
/// settings and opens the serial port.
void Startup();

/// Closes the record and control files and releases the port.
void ReleaseResources();

/// Ends the program at once, from wherever it is asked for (also from inside
/// a wait): resources are released and no other handler runs after this one.
[[noreturn]] void Shutdown();

} // namespace velmora
