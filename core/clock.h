#pragma once
// The present local date and time, to the second, with a seam for tests that
// need a given moment (a record written at midnight).

#include <QDateTime>
#include <functional>

namespace velmora {

QDateTime LocalNow();

/// Replaces the clock for tests; an empty function restores the real one.
void SetClockForTesting(std::function<QDateTime()> clock);

} // namespace velmora
