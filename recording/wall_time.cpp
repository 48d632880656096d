#include "recording/wall_time.h"

#include <cstdio>

#include <utility>

namespace velmora {

namespace {

QString TwoDigits(qint64 n) {
    return QString::number(n).rightJustified(2, u'0');
}

} // namespace

qint64 WallSeconds(const QDate& date, const QTime& time) {
    return date.toJulianDay() * kSecondsPerDay + time.hour() * 3600 + time.minute() * 60 +
           time.second();
}

qint64 WallSeconds(const QDateTime& at) {
    return WallSeconds(at.date(), at.time());
}

QDateTime FromWallSeconds(qint64 seconds) {
    const qint64 day = seconds >= 0 ? seconds / kSecondsPerDay
                                    : -((-seconds + kSecondsPerDay - 1) / kSecondsPerDay);
    const qint64 rest = seconds - day * kSecondsPerDay;
    return QDateTime(QDate::fromJulianDay(day), QTime(0, 0).addSecs(int(rest)), Qt::UTC);
}

std::optional<qint64> ParseMoment(const QString& text) {
    const QString trimmed = text.trimmed();
    QDate date;
    QTime time(0, 0);
    if (trimmed.size() == 10) {
        date = QDate::fromString(trimmed, QStringLiteral("yyyy-MM-dd"));
    } else if (trimmed.size() == 19 && trimmed[10] == u' ') {
        date = QDate::fromString(trimmed.left(10), QStringLiteral("yyyy-MM-dd"));
        time = QTime::fromString(trimmed.mid(11), QStringLiteral("hh:mm:ss"));
    }
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    return WallSeconds(date, time);
}

QString ShowMoment(qint64 seconds) {
    // By hand: a check lists a million of these.
    const qint64 dayNumber = seconds >= 0 ? seconds / kSecondsPerDay
                                          : -((-seconds + kSecondsPerDay - 1) / kSecondsPerDay);
    const qint64 rest = seconds - dayNumber * kSecondsPerDay;
    int year = 0, month = 0, day = 0;
    QDate::fromJulianDay(dayNumber).getDate(&year, &month, &day);
    char text[32];
    const int size = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month,
                                   day, int(rest / 3600), int(rest % 3600 / 60), int(rest % 60));
    return QString::fromLatin1(text, size);
}

QString ShowDuration(qint64 seconds) {
    const qint64 s = std::max<qint64>(seconds, 0);
    const qint64 days = s / kSecondsPerDay;
    QString clock = TwoDigits(s % kSecondsPerDay / 3600) + u':' + TwoDigits(s % 3600 / 60) + u':' +
                    TwoDigits(s % 60);
    if (days == 0) return clock;
    return QString::number(days) +
           (days == 1 ? QStringLiteral(" day ") : QStringLiteral(" days ")) + clock;
}

QString ShowAgo(qint64 seconds) {
    if (seconds < 60) return QString::number(seconds) + QStringLiteral(" s");
    if (seconds < 3600) return QString::number(seconds / 60) + QStringLiteral(" min");
    if (seconds < kSecondsPerDay) return QString::number(seconds / 3600) + QStringLiteral(" h");
    const qint64 days = seconds / kSecondsPerDay;
    return QString::number(days) + (days == 1 ? QStringLiteral(" day") : QStringLiteral(" days"));
}

} // namespace velmora
