#include "panel_on_pty.h"

#include "core/constants.h"
#include "core/settings_store.h"
#include "core/state.h"
#include "link/port.h"
#include "link/serial_comm.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cstdio>

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
    return pty.ok() && MSComm1() == form.MSComm1 && form.MSComm1->PortOpen();
}

bool PanelOnPty::pointLinkAt(const QString& target) {
    const QString aside = linkPath() + QStringLiteral(".new");
    QFile::remove(aside);
    if (target.isEmpty()) return QFile::remove(linkPath()) || !QFileInfo(linkPath()).isSymLink();
    return QFile::link(target, aside) &&
           std::rename(QFile::encodeName(aside).constData(),
                       QFile::encodeName(linkPath()).constData()) == 0;
}

bool PanelOnPty::openCom2ThroughLink(const QString& target) {
    ClosePort();
    ClearSettings();
    ResetSharedState();
    if (!pointLinkAt(target)) return false;
    SavePortMapping(2, linkPath());
    Shared.PortNumber = 2;
    OpenPort();
    return pty.ok() && MSComm1() == form.MSComm1;
}

} // namespace velmora::test
