#pragma once
// Opening and closing the port the shared port number names.

#include <QString>

namespace velmora {

class SerialComm;

/// The program's serial component, which the main window owns (a test may
/// make its own); null while there is none.
SerialComm* MSComm1();

/// The device that port number n stands for: the user's mapping under
/// "Ports"/"COMn" when there is one, else /dev/ttyS(n-1) ("COMn" on Windows).
QString DeviceForPort(int port);

/// Configures MSComm1 for the shared port number and its device at
/// "9600,N,8,1", reading every waiting character at once and raising the
/// receive event at 12, then opens it. A failure to open is not reported:
/// the port stays closed.
void OpenPort();

/// Closes the port if it is open, and ends the attempts to re-open it;
/// harmless on a closed port.
void ClosePort();

} // namespace velmora
