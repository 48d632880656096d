#include "link/port.h"

#include "core/constants.h"
#include "link/serial_comm.h"
#include "unit/measurement.h"

namespace velmora {

QString DeviceForPort(int port, const QMap<int, QString>& mappedDevices) {
    const QString mapped = mappedDevices.value(port);
    if (!mapped.isEmpty()) return mapped;
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

void OpenPort(SerialComm& comm, qint16 port, const QString& device) {
    // A port number or settings text the component refuses is treated like a
    // port that cannot be opened: silently, port closed.
    if (!comm.setCommPort(port)) return;
    if (!comm.setDevice(device)) return;
    if (!comm.setSettings(QString(kLineSettings))) return;
    if (!comm.setInputLen(0)) return;
    if (!comm.setRThreshold(kFrameLength)) return;
    comm.setPortOpen(true);
}

void ClosePort(SerialComm& comm) {
    // Also when the port is closed, waiting for its device: that ends.
    comm.setPortOpen(false);
}

} // namespace velmora
