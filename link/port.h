#pragma once
// Opening and closing the port the shared port number names.

namespace velmora {

class SerialComm;

/// The main window's serial component; set by the main window when it is
/// created (tests set their own).
extern SerialComm* MSComm1;

/// Configures MSComm1 for the shared port number at "9600,N,8,1", reading
/// every waiting character at once and raising the receive event at 12, then
/// opens it. A failure to open is not reported: the port stays closed.
void OpenPort();

/// Closes the port if it is open; harmless on a closed port.
void ClosePort();

} // namespace velmora
