#include "link/port.h"

#include "core/constants.h"
#include "core/settings_store.h"
#include "core/state.h"
#include "link/serial_comm.h"
#include "unit/measurement.h"

namespace velmora {

SerialComm* MSComm1() {
    return SerialComm::current();
}

QString DeviceForPort(int port) {
    const QString mapped = ReadPortMapping(port);
    if (!mapped.isEmpty()) return mapped;
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

void OpenPort() {
    SerialComm* comm = MSComm1();
    if (!comm) return;
    // A port number or settings text the component refuses is treated like a
    // port that cannot be opened: silently, port closed.
    if (!comm->setCommPort(Shared.PortNumber)) return;
    if (!comm->setDevice(DeviceForPort(Shared.PortNumber))) return;
    if (!comm->setSettings(QString(kLineSettings))) return;
    if (!comm->setInputLen(0)) return;
    if (!comm->setRThreshold(kFrameLength)) return;
    comm->setPortOpen(true);
}

void ClosePort() {
    // Also when the port is closed, waiting for its device: that ends.
    if (SerialComm* comm = MSComm1()) comm->setPortOpen(false);
}

} // namespace velmora
