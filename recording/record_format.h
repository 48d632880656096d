#pragma once
// One line of the record file, which is also the control file the player
// reads: #yyyy-mm-dd hh:mm:ss#,"12.3V","1.23A" and CR LF.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <optional>

namespace velmora {

/// One record read back: when to send, and the two texts between the quotes.
struct Record {
    QDate date;
    QTime time; // 00:00:00 when the line carries the date only
    QByteArray voltageText;
    QByteArray currentText;
};

/// The line for a measurement at `at` (whole seconds), texts as the unit's
/// frame gave them with their commas turned into points, ended by CR LF.
/// At exactly 00:00:00 the stamp carries the date alone.
QByteArray FormatRecord(const QDateTime& at, const QString& voltageText,
                        const QString& currentText);

/// The time stamp field: #yyyy-mm-dd hh:mm:ss#, or #yyyy-mm-dd# at exactly
/// 00:00:00.
QByteArray FormatStamp(const QDateTime& at);

/// The record in one line (without its line end); nothing when the line is
/// not three fields: a date (and time) between "#", then two texts, each
/// quoted or not. Blanks around the fields are allowed.
std::optional<Record> ParseRecord(const QByteArray& line);

/// Whether the local date and time `now` has reached the record's second.
bool StampHasCome(const Record& record, const QDateTime& now);

} // namespace velmora
