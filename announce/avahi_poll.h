#pragma once
// Avahi's client library driven by the program's event loop: its file
// descriptors watched with QSocketNotifier, its time-outs on the clock's
// timers. Nothing runs on a thread of its own.

#include "core/clock.h"

#include <avahi-common/watch.h>

namespace velmora {

/// An AvahiPoll whose watches and time-outs live in the event loop. It must
/// outlive every Avahi client made on it.
class AvahiEventLoopPoll {
  public:
    explicit AvahiEventLoopPoll(Clock& clock);
    AvahiEventLoopPoll(const AvahiEventLoopPoll&) = delete;
    AvahiEventLoopPoll& operator=(const AvahiEventLoopPoll&) = delete;
    const AvahiPoll* poll() const { return &poll_; }

  private:
    Clock& clock_;
    AvahiPoll poll_{};

    friend struct AvahiPollFunctions;
};

} // namespace velmora
