#include "meters/off_timer.h"

#include "meters/meter_text.h"

namespace velmora {

qint64 RemainingSeconds(qint64 nowNs, qint64 deadlineNs) {
    if (deadlineNs <= nowNs) return 0;
    constexpr qint64 kNsPerSecond = 1'000'000'000;
    const qint64 left = deadlineNs - nowNs;
    return left / kNsPerSecond + (left % kNsPerSecond != 0 ? 1 : 0);
}

QString CountdownText(qint64 remainingSeconds) {
    return QStringLiteral("Zero output in ") + DurationText(remainingSeconds);
}

QString OffTimerMessage(QTime at) {
    return QStringLiteral("Output zeroed: the off-timer ran out at ") + ClockText(at);
}

} // namespace velmora
