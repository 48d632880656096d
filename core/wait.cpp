#include "core/wait.h"

#include "core/state.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>

namespace velmora {

qint64 MonotonicNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

void ProcessPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void SleepForEvents(qint64 maxNs) {
    if (maxNs <= 0) {
        ProcessPendingEvents();
        return;
    }
    // A timer wakes the dispatcher at the latest at the end of the interval;
    // any other event wakes it earlier. Rounding up avoids waking a little
    // early and spinning through the last fraction of a millisecond.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(std::chrono::milliseconds((maxNs + 999'999) / 1'000'000));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void WaitSeconds(double d) {
    Shared.WaitDeadline = MonotonicNs() + static_cast<qint64>(d * 1e9);
    ProcessPendingEvents();
    // Shared.WaitDeadline is read anew on every check: a nested wait may have
    // replaced it.
    for (qint64 now = MonotonicNs(); now < Shared.WaitDeadline; now = MonotonicNs())
        SleepForEvents(Shared.WaitDeadline - now);
}

} // namespace velmora
