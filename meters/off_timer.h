#pragma once
// The off-timer's arithmetic and texts: it zeroes the output at a deadline.

#include <QString>
#include <QTime>

namespace velmora {

/// Whole seconds left until the deadline (monotonic ns), rounded up: the
/// countdown reaches 0 at the deadline, not a second before; 0 after it.
qint64 RemainingSeconds(qint64 nowNs, qint64 deadlineNs);

/// "Zero output in 00:04:59" (days as in DurationText).
QString CountdownText(qint64 remainingSeconds);

/// "Output zeroed: the off-timer ran out at 12:34:56".
QString OffTimerMessage(QTime at);

} // namespace velmora
