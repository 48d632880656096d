#pragma once
// How readings of the local clock map onto the time that passes, in the
// program's time zone: a reading that the change to summer time skips, and
// one that comes twice at the change back.

#include "recording/wall_time.h"

#include <QtGlobal>
#include <limits>

namespace velmora {

/// How often the local clock shows a reading.
enum class Reading { Once, Skipped, Twice };

/// When the local clock shows a reading, in seconds since 1970 (UTC).
struct LocalMoment {
    Reading reading = Reading::Once;
    qint64 first = 0; // for a skipped reading: when the clock jumps over it
    qint64 last = 0;  // the second time, for a reading that comes twice; else `first`
    friend bool operator==(const LocalMoment&, const LocalMoment&) = default;
};

/// Converts between wall-clock seconds (see wall_time.h) and seconds since
/// 1970. It remembers the last day without a clock change, so that a file of
/// a million lines costs a look-up in the time zone a day, not a line; the
/// zone must not change while it is in use.
class LocalClock {
  public:
    LocalMoment momentOf(qint64 wall);
    qint64 wallOf(qint64 elapsed);
    /// Milliseconds since 1970 of the moment the clock first shows the
    /// reading (or jumps over it): when the player sends a record stamped so.
    qint64 ms(qint64 wall) { return momentOf(wall).first * 1000; }
    qint64 ms(const QDate& date, const QTime& time) { return ms(WallSeconds(date, time)); }

  private:
    bool plain(qint64 day);

    qint64 plainDay_ = std::numeric_limits<qint64>::min();
    int plainOffset_ = 0; // seconds east of UTC on that day
};

} // namespace velmora
