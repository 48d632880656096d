#include "link/port.h"

#include "core/constants.h"
#include "core/state.h"
#include "link/serial_comm.h"

namespace velmora {

SerialComm* MSComm1 = nullptr;

void OpenPort() {
    if (!MSComm1) return;
    // A port number or settings text the component refuses is treated like a
    // port that cannot be opened: silently, port closed.
    if (!MSComm1->setCommPort(Shared.PortNumber)) return;
    if (!MSComm1->setSettings(QString(kLineSettings))) return;
    if (!MSComm1->setInputLen(0)) return;
    if (!MSComm1->setRThreshold(kFrameLength)) return;
    MSComm1->setPortOpen(true);
}

void ClosePort() {
    if (MSComm1 && MSComm1->PortOpen()) MSComm1->setPortOpen(false);
}

} // namespace velmora
