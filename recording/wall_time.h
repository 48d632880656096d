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
