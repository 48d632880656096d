#pragma once
// The panel with its session's port on a FakeLine: the caller hands it
// characters directly, with no device, on the real clock.

#include "core/clock.h"
#include "core/settings_store.h"
#include "panel/form1.h"
#include "session/session.h"
#include "support/fake_line.h"

#include <memory>

namespace velmora::test {

/// A session on a FakeLine and its Form1, the session started from the
/// user's (test-private) settings as the program starts, the line's counts at 0.
struct PanelOnFakeLine {
    PanelOnFakeLine()
        : line(new FakeLine), session(clock, std::unique_ptr<SerialLine>(line), SettingsStore()),
          form(session) {
        session.start();
        line->clearCounts();
    }
    RealClock clock;
    FakeLine* line;
    Session session;
    Form1 form;
};

} // namespace velmora::test
