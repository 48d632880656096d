#include "core/clock.h"

namespace velmora {

namespace {
std::function<QDateTime()>& TestClock() {
    static std::function<QDateTime()> clock;
    return clock;
}
} // namespace

QDateTime LocalNow() {
    if (TestClock()) return TestClock()();
    return QDateTime::currentDateTime();
}

void SetClockForTesting(std::function<QDateTime()> clock) {
    TestClock() = std::move(clock);
}

} // namespace velmora
