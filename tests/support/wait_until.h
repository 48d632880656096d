#pragma once
// Waiting in a test for something to happen, with the events handled meanwhile.

#include <QTest>
#include <chrono>
#include <functional>

namespace velmora::test {

/// Handles events until `done` holds or `timeout` has passed; whether it holds.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
    return QTest::qWaitFor(done, int(timeout.count()));
}

} // namespace velmora::test
