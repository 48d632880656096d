#pragma once
// Waiting without blocking the window: every wait of the program lets the
// event loop run, so clicks, releases and serial events are handled meanwhile.

#include <QtGlobal>

namespace velmora {

/// Nanoseconds on a monotonic clock; unaffected by midnight or clock changes.
qint64 MonotonicNs();

/// Waits d seconds while handling events. Events are handled at least once.
/// The deadline is shared: a handler that waits inside this wait replaces it,
/// so this wait ends at its first check after that handler returns.
void WaitSeconds(double d);

/// Handles every pending event once, without sleeping.
void ProcessPendingEvents();

/// Sleeps in the event dispatcher until an event arrives or at most
/// `maxNs` have passed, then handles what arrived. Leaves the shared
/// deadline alone.
void SleepForEvents(qint64 maxNs);

} // namespace velmora
