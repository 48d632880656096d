#pragma once
// The panel with its port on a real pseudo-terminal: the test holds the
// master end and plays the unit, the panel opens COM2 as the program does.

#include "link/serial_line.h"
#include "panel/form1.h"
#include "support/pty_pair.h"

#include <memory>

namespace velmora::test {

/// Removes every setting the program has saved (in the tests' private folder).
void ClearSettings();

/// A Form1 (which sets the global MSComm1) and a pseudo-terminal for COM2.
class PanelOnPty {
  public:
    PanelOnPty() = default;
    /// Closes the port and forgets COM2's mapping.
    ~PanelOnPty();
    PanelOnPty(const PanelOnPty&) = delete;
    PanelOnPty& operator=(const PanelOnPty&) = delete;

    /// Settings cleared, shared state reset, COM2 mapped to the pseudo-terminal
    /// and opened, through `line` when one is given (the real line otherwise).
    /// True when the port is open.
    bool openCom2(std::unique_ptr<SerialLine> line = {});

    PtyPair pty;
    Form1 form;
};

} // namespace velmora::test
