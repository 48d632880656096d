#include "recording/local_clock.h"

#include "recording/wall_time.h"

#include <QDateTime>
#include <algorithm>

namespace velmora {

namespace {

// 1970-01-01 00:00:00 in wall-clock seconds.
constexpr qint64 kEpochWall = 2440588 * kSecondsPerDay;

qint64 DayOf(qint64 wall) {
    return wall >= 0 ? wall / kSecondsPerDay : -((-wall + kSecondsPerDay - 1) / kSecondsPerDay);
}

int OffsetAt(qint64 elapsed) {
    return QDateTime::fromSecsSinceEpoch(elapsed).offsetFromUtc();
}

qint64 LookUpWall(qint64 elapsed) {
    return elapsed + OffsetAt(elapsed) + kEpochWall;
}

// The moment the clock jumps over `wall`: the first one in [from, to] that
// reads it or later, the readings rising all the way.
qint64 JumpOver(qint64 wall, qint64 from, qint64 to) {
    while (from < to) {
        const qint64 middle = from + (to - from) / 2;
        if (LookUpWall(middle) >= wall)
            to = middle;
        else
            from = middle + 1;
    }
    return from;
}

} // namespace

bool LocalClock::plain(qint64 day) {
    if (day == plainDay_) return true;
    // Every moment the day's readings stand for lies within a day of it: no
    // zone is more than 14 hours from UTC.
    const qint64 start = day * kSecondsPerDay - kEpochWall;
    const int before = OffsetAt(start - kSecondsPerDay);
    if (before != OffsetAt(start + 2 * kSecondsPerDay)) return false;
    plainDay_ = day;
    plainOffset_ = before;
    return true;
}

LocalMoment LocalClock::momentOf(qint64 wall) {
    const qint64 asUtc = wall - kEpochWall;
    if (plain(DayOf(wall))) return {Reading::Once, asUtc - plainOffset_, asUtc - plainOffset_};
    // A change of the clock near this day: the offsets on either side of it.
    const int before = OffsetAt(asUtc - kSecondsPerDay);
    const int after = OffsetAt(asUtc + kSecondsPerDay);
    qint64 found[2];
    int count = 0;
    for (const int offset : {before, after})
        if (LookUpWall(asUtc - offset) == wall && (count == 0 || found[0] != asUtc - offset))
            found[count++] = asUtc - offset;
    if (count == 0) {
        const qint64 jump =
            JumpOver(wall, asUtc - std::max(before, after), asUtc - std::min(before, after));
        return {Reading::Skipped, jump, jump};
    }
    if (count == 1) return {Reading::Once, found[0], found[0]};
    return {Reading::Twice, std::min(found[0], found[1]), std::max(found[0], found[1])};
}

qint64 LocalClock::wallOf(qint64 elapsed) {
    const qint64 known = elapsed + plainOffset_ + kEpochWall;
    if (DayOf(known) == plainDay_) return known;
    const qint64 wall = LookUpWall(elapsed);
    plain(DayOf(wall));
    return wall;
}

} // namespace velmora
