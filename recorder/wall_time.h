#pragma once
// Moments as the wall clock shows them, counted in seconds, the way the
// player compares a time stamp with the clock: field by field.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <limits>
#include <optional>

namespace velmora {

inline constexpr qint64 kSecondsPerDay = 86400;

/// Seconds since the start of the Julian day count; whole seconds only.
qint64 WallSeconds(const QDate& date, const QTime& time);
qint64 WallSeconds(const QDateTime& at);

/// The moment back as a date and time with the same fields (no time zone
/// moves an hour the clock skips).
QDateTime FromWallSeconds(qint64 seconds);

/// The moment the local clock shows a wall time, in ms since the epoch: where
/// the plot draws a record, its planned set-points and its skip mark. A time
/// the clock skips (the hour of a change to summer time) is the moment the
/// clock jumps past it, when the player sends such a record. One zone lookup
/// an hour of times, for the millions of a day's recording.
class LocalClock {
  public:
    qint64 ms(qint64 wallSeconds);
    qint64 ms(const QDate& date, const QTime& time) { return ms(WallSeconds(date, time)); }

  private:
    qint64 exactMs(qint64 wallSeconds);

    qint64 hour_ = std::numeric_limits<qint64>::min(); // the wall hour looked up last
    qint64 hourMs_ = 0;                                // when it starts
    bool plainHour_ = false; // it lasts an hour: no change of the clock in it
    qint64 gapFrom_ = 0, gapTo_ = 0, gapEndMs_ = 0; // wall times skipped, and when
};

/// "YYYY-MM-DD HH:MM:SS" (or the date alone, for midnight); nothing for any
/// other text.
std::optional<qint64> ParseMoment(const QString& text);

/// "2027-01-01 00:00:00".
QString ShowMoment(qint64 seconds);
/// "00:00:10"; a day or more as "3 days 01:00:00".
QString ShowDuration(qint64 seconds);
/// How long ago, roughly: "10 s", "5 min", "3 h", "2 days".
QString ShowAgo(qint64 seconds);

} // namespace velmora
