#include "panel_on_pty.h"

#include "core/constants.h"
#include "core/settings_store.h"

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
    session.unit().mapPort(2, QString());
}

bool PanelOnPty::openCom2() {
    session.unit().mapPort(2, pty.slavePath());
    session.unit().choosePort(2);
    return pty.ok() && session.unit().linkOpen();
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
    session.unit().mapPort(2, linkPath());
    session.unit().choosePort(2);
    return pty.ok();
}

} // namespace velmora::test
