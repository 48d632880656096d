#include "panel_on_pty.h"

#include "core/constants.h"
#include "core/settings_store.h"
#include "link/serial_comm.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cstdio>

namespace velmora::test {

void ClearSettings() {
    QSettings(QString(kOrganisation), QString()).clear();
}

namespace {

// Settings cleared before the session is made: it starts as on a first run.
std::unique_ptr<SerialLine> ClearedFirst(std::unique_ptr<SerialLine> line) {
    ClearSettings();
    return line ? std::move(line) : MakeQtSerialLine();
}

} // namespace

PanelOnPty::PanelOnPty(std::unique_ptr<SerialLine> line)
    : session(clock, ClearedFirst(std::move(line)), SettingsStore()), form(session) {
    session.start();
}

PanelOnPty::~PanelOnPty() {
    session.MSComm1().setPortOpen(false);
    session.mapPort(2, QString());
}

bool PanelOnPty::openCom2() {
    session.mapPort(2, pty.slavePath());
    session.choosePort(2);
    return pty.ok() && session.MSComm1().PortOpen();
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
    if (!pointLinkAt(target)) return false;
    session.mapPort(2, linkPath());
    session.choosePort(2);
    return pty.ok();
}

} // namespace velmora::test
