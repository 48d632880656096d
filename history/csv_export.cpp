#include "history/csv_export.h"

#include "history/history.h"

#include <QDateTime>
#include <QSaveFile>

namespace velmora {

namespace {

// Local date and time of ms since the epoch, with one zone lookup per hour
// of samples: a day of them would otherwise take most of a minute.
class LocalTimes {
  public:
    QByteArray row(qint64 ms, Values values) {
        const qint64 hour = ms - ((ms % kHourMs) + kHourMs) % kHourMs; // before 1970 too
        if (hour != hourMs_) {
            hourMs_ = hour;
            const QDateTime start = QDateTime::fromMSecsSinceEpoch(hour);
            date_ = start.date();
            startOfDayMs_ = start.time().msecsSinceStartOfDay();
        }
        // A zone half an hour off starts the hour at :30, so it may cross midnight.
        qint64 ofDay = startOfDayMs_ + (ms - hour);
        QDate date = date_;
        if (ofDay >= kDayMs) {
            date = date.addDays(1);
            ofDay -= kDayMs;
        }
        return CsvRow(date, QTime::fromMSecsSinceStartOfDay(int(ofDay)), values);
    }

  private:
    static constexpr qint64 kHourMs = 3'600'000;
    static constexpr qint64 kDayMs = 24 * kHourMs;
    qint64 hourMs_ = -1;
    QDate date_;
    qint64 startOfDayMs_ = 0;
};

} // namespace

bool WriteHistoryCsv(const History& history, QIODevice& out) {
    QByteArray block = QByteArray(kCsvHeader) + '\n';
    LocalTimes local;
    for (qint64 i = 0; i < history.size(); ++i) {
        const Sample s = history.at(i);
        block += local.row(s.ms, s.values) + '\n';
        if (block.size() > 64 * 1024) {
            if (out.write(block) != block.size()) return false;
            block.clear();
        }
    }
    return out.write(block) == block.size();
}

bool WriteHistoryCsv(const History& history, const QString& path) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && WriteHistoryCsv(history, file) && file.commit();
}

} // namespace velmora
