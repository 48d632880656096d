#pragma once
// Which device a port number stands for, and opening a serial component on it.

#include <QMap>
#include <QString>

namespace velmora {

class SerialComm;

/// The device that port number n stands for: the user's mapping of COMn when
/// there is one, else /dev/ttyS(n-1) ("COMn" on Windows).
QString DeviceForPort(int port, const QMap<int, QString>& mappedDevices);

/// Configures `comm` for port `port` on `device` at "9600,N,8,1", reading
/// every waiting character at once and raising the receive event at 12,
/// then opens it. A failure to open is not reported: the port stays closed
/// (and is looked for by itself while it is meant to be open).
void OpenPort(SerialComm& comm, qint16 port, const QString& device);

/// Closes the port if it is open, and ends the attempts to re-open it;
/// harmless on a closed port.
void ClosePort(SerialComm& comm);

} // namespace velmora
