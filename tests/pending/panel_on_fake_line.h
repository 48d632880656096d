#pragma once
// The panel with its port on a FakeLine: the caller hands it characters
// directly, with no device and no timing of its own.

#include "core/state.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "panel/form1.h"
#include "support/fake_line.h"

#include <memory>

namespace velmora::test {

/// A Form1 whose MSComm1 runs on a FakeLine, from the shared state at program
/// start, with the port opened as the program does and the line's counts at 0.
struct PanelOnFakeLine {
    PanelOnFakeLine() {
        ResetSharedState();
        auto fake = std::make_unique<FakeLine>();
        line = fake.get();
        form.MSComm1->setLine(std::move(fake));
        OpenPort();
        line->clearCounts();
    }
    Form1 form;
    FakeLine* line;
};

} // namespace velmora::test
