#pragma once
// A measurement as one CSV row.

#include "unit/command.h"
#include "unit/measurement.h"

#include <QByteArray>
#include <QDateTime>

namespace velmora {

/// One CSV row, CR-less and without line end: "2024-03-05T14:07:09,12.3,1.23,15.129".
QByteArray CsvRow(QDate date, QTime time, Values values);
QByteArray CsvRow(const QDateTime& at, Values values);
inline constexpr char kCsvHeader[] = "time,voltage_V,current_A,power_W";

} // namespace velmora
