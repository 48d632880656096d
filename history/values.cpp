#include "history/values.h"

#include <cstdio>

namespace velmora {

namespace {

// "12.3" from 123, "0.40" from 40, "15.129" from 15129: no float rounding.
QByteArray Fixed(int value, int decimals) {
    int scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    return QByteArray::number(value / scale) + '.' +
           QByteArray::number(value % scale).rightJustified(decimals, '0');
}

} // namespace

QByteArray CsvRow(QDate date, QTime time, Values values) {
    // By hand: the general date formatting costs more than all the rest of
    // a row together.
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d", date.year(), date.month(),
                  date.day(), time.hour(), time.minute(), time.second());
    return QByteArray(stamp) + ',' + Fixed(values.decivolts, 1) + ',' + Fixed(values.centiamps, 2) +
           ',' + Fixed(values.milliwatts(), 3);
}

QByteArray CsvRow(const QDateTime& at, Values values) {
    return CsvRow(at.date(), at.time(), values);
}

} // namespace velmora
