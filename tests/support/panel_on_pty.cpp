#include "panel_on_pty.h"

#include "core/constants.h"
#include "core/settings_store.h"
#include "core/state.h"
#include "link/port.h"
#include "link/serial_comm.h"

#include <QSettings>

namespace velmora::test {

void ClearSettings() {
    QSettings(QString(kOrganisation), QString()).clear();
}

PanelOnPty::~PanelOnPty() {
    ClosePort();
    SavePortMapping(2, QString());
}

bool PanelOnPty::openCom2(std::unique_ptr<SerialLine> line) {
    ClearSettings();
    ResetSharedState();
    if (line) form.MSComm1->setLine(std::move(line));
    SavePortMapping(2, pty.slavePath());
    Shared.PortNumber = 2;
    OpenPort();
    return pty.ok() && MSComm1 == form.MSComm1 && MSComm1->PortOpen();
}

} // namespace velmora::test
