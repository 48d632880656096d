#include "recorder/record_format.h"

#include <QList>

namespace velmora {

namespace {

QByteArray WithPointAt(const QString& text, qsizetype index) {
    QByteArray bytes = text.toLatin1();
    if (index < bytes.size()) bytes[index] = '.';
    return bytes;
}

QByteArray Stamp(const QDateTime& at) {
    const QTime time = at.time();
    const bool midnight = time.hour() == 0 && time.minute() == 0 && time.second() == 0;
    const QString text =
        midnight ? at.date().toString(u"yyyy-MM-dd") : at.toString(u"yyyy-MM-dd hh:mm:ss");
    return '#' + text.toLatin1() + '#';
}

// Splits at the commas that are outside quotes and outside the "#" of a
// date; a quote or "#" left open makes the line unreadable.
std::optional<QList<QByteArray>> SplitFields(const QByteArray& line) {
    QList<QByteArray> fields(1);
    char open = 0; // the quote or "#" we are inside, if any
    for (const char c : line) {
        if (open) {
            if (c == open) open = 0;
        } else if (c == ',') {
            fields.append(QByteArray());
            continue;
        } else if (c == '"' || c == '#') {
            open = c;
        }
        fields.last().append(c);
    }
    if (open) return std::nullopt;
    return fields;
}

// The inside of "x" or #x#, or a bare text; nothing for text around quotes.
std::optional<QByteArray> Unwrap(const QByteArray& field, char mark) {
    const QByteArray trimmed = field.trimmed();
    if (trimmed.size() >= 2 && trimmed.startsWith(mark) && trimmed.endsWith(mark)) {
        const QByteArray inside = trimmed.mid(1, trimmed.size() - 2);
        if (!inside.contains(mark)) return inside;
        return std::nullopt;
    }
    if (mark == '#' || trimmed.contains('"')) return std::nullopt;
    return trimmed;
}

// The number of `count` digits at `at`; -1 unless all are digits. Read by
// hand: a player and a plot reading a long file spend most of their time in
// the general date parser otherwise.
int DigitsAt(const QByteArray& text, qsizetype at, qsizetype count) {
    int number = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return -1;
        number = number * 10 + (c - '0');
    }
    return number;
}

// yyyy-mm-dd, or yyyy-mm-dd hh:mm:ss.
bool ParseStamp(const QByteArray& text, Record& record) {
    const bool withTime =
        text.size() == 19 && text[10] == ' ' && text[13] == ':' && text[16] == ':';
    if ((text.size() != 10 && !withTime) || text[4] != '-' || text[7] != '-') return false;
    record.date = QDate(DigitsAt(text, 0, 4), DigitsAt(text, 5, 2), DigitsAt(text, 8, 2));
    record.time = withTime
                      ? QTime(DigitsAt(text, 11, 2), DigitsAt(text, 14, 2), DigitsAt(text, 17, 2))
                      : QTime(0, 0, 0);
    return DigitsAt(text, 0, 4) >= 0 && record.date.isValid() && record.time.isValid();
}

} // namespace

QByteArray FormatRecord(const QDateTime& at, const QString& voltageText,
                        const QString& currentText) {
    return Stamp(at) + ",\"" + WithPointAt(voltageText, 2) + "\",\"" + WithPointAt(currentText, 1) +
           "\"\r\n";
}

std::optional<Record> ParseRecord(const QByteArray& line) {
    const auto fields = SplitFields(line);
    if (!fields || fields->size() != 3) return std::nullopt;
    const auto stamp = Unwrap(fields->at(0), '#');
    const auto voltage = Unwrap(fields->at(1), '"');
    const auto current = Unwrap(fields->at(2), '"');
    Record record;
    if (!stamp || !voltage || !current || !ParseStamp(*stamp, record)) return std::nullopt;
    record.voltageText = *voltage;
    record.currentText = *current;
    return record;
}

bool StampHasCome(const Record& record, const QDateTime& now) {
    // Compared as the clock on the wall shows it, field by field, so a stamp
    // in an hour the clock skips at a change to summer time is still reached.
    if (now.date() != record.date) return now.date() > record.date;
    const QTime time = now.time();
    return QTime(time.hour(), time.minute(), time.second()) >= record.time;
}

} // namespace velmora
