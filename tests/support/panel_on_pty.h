#pragma once
// The panel with its port on a real pseudo-terminal: the test holds the
// master end and plays the unit, the panel opens COM2 as the program does.

#include "core/clock.h"
#include "link/serial_line.h"
#include "panel/form1.h"
#include "session/session.h"
#include "support/pty_pair.h"

#include <QTemporaryDir>
#include <memory>

namespace velmora::test {

/// Removes every setting the program has saved (in the tests' private folder).
void ClearSettings();

/// A session and its Form1 on the user's (test-private) settings, and a
/// pseudo-terminal for COM2.
class PanelOnPty {
  public:
    /// `line`: the session's line (the real one over QSerialPort when none).
    explicit PanelOnPty(std::unique_ptr<SerialLine> line = {});
    /// Closes the port and forgets COM2's mapping.
    ~PanelOnPty();
    PanelOnPty(const PanelOnPty&) = delete;
    PanelOnPty& operator=(const PanelOnPty&) = delete;

    /// COM2 mapped to the pseudo-terminal and chosen. True when the port is open.
    bool openCom2();

    /// A symbolic link in a folder of the fixture's own, as udev makes
    /// /dev/serial/by-id/ names: COM2 mapped to it, it pointing at `target`
    /// (the pseudo-terminal by default; empty: nowhere yet), and the port opened.
    bool openCom2ThroughLink(const QString& target);
    QString linkPath() const { return dir_.filePath(QStringLiteral("unit")); }
    /// Points the link somewhere else at once (never absent meanwhile);
    /// an empty target removes it.
    bool pointLinkAt(const QString& target);

    PtyPair pty;
    RealClock clock;
    Session session;
    Form1 form;

  private:
    QTemporaryDir dir_;
};

} // namespace velmora::test
