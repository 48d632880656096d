#include "recording/record_format.h"

#include <QByteArrayView>
#include <QVarLengthArray>

namespace velmora {

namespace {

QByteArray WithPointAt(const QString& text, qsizetype index) {
    QByteArray bytes = text.toLatin1();
    if (index < bytes.size()) bytes[index] = '.';
    return bytes;
}

// Splits at the commas that are outside quotes and outside the "#" of a
// date; a quote or "#" left open makes the line unreadable. Views into the
// line: a file of a million lines is read without a copy per field.
std::optional<QVarLengthArray<QByteArrayView, 3>> SplitFields(QByteArrayView line) {
    QVarLengthArray<QByteArrayView, 3> fields;
    char open = 0; // the quote or "#" we are inside, if any
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (open) {
            if (c == open) open = 0;
        } else if (c == ',') {
            fields.append(line.sliced(start, i - start));
            start = i + 1;
        } else if (c == '"' || c == '#') {
            open = c;
        }
    }
    if (open) return std::nullopt;
    fields.append(line.sliced(start));
    return fields;
}

// The inside of "x" or #x#, or a bare text; nothing for text around quotes.
std::optional<QByteArrayView> Unwrap(QByteArrayView field, char mark) {
    const QByteArrayView trimmed = field.trimmed();
    if (trimmed.size() >= 2 && trimmed.startsWith(mark) && trimmed.endsWith(mark)) {
        const QByteArrayView inside = trimmed.sliced(1, trimmed.size() - 2);
        if (!inside.contains(mark)) return inside;
        return std::nullopt;
    }
    if (mark == '#' || trimmed.contains('"')) return std::nullopt;
    return trimmed;
}

// The number the digits at [from, from + count) make; -1 when one is not a digit.
int DigitsAt(QByteArrayView text, qsizetype from, qsizetype count) {
    int number = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        number = number * 10 + (text[i] - '0');
    }
    return number;
}

// A stamp of digits in their places, read without the general date parser:
// the player and the checks read files of a million lines. Anything else is
// left to the parser below.
bool ParseDigitStamp(QByteArrayView text, Record& record) {
    const bool withTime =
        text.size() == 19 && text[10] == ' ' && text[13] == ':' && text[16] == ':';
    if ((text.size() != 10 && !withTime) || text[4] != '-' || text[7] != '-') return false;
    const int year = DigitsAt(text, 0, 4), month = DigitsAt(text, 5, 2), day = DigitsAt(text, 8, 2);
    const int hour = withTime ? DigitsAt(text, 11, 2) : 0;
    const int minute = withTime ? DigitsAt(text, 14, 2) : 0;
    const int second = withTime ? DigitsAt(text, 17, 2) : 0;
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0) return false;
    record.date = QDate(year, month, day);
    record.time = QTime(hour, minute, second);
    return true;
}

bool ParseStamp(QByteArrayView text, Record& record) {
    if (ParseDigitStamp(text, record)) return record.date.isValid() && record.time.isValid();
    const QString stamp = QString::fromLatin1(text);
    if (stamp.size() == 10) {
        record.date = QDate::fromString(stamp, u"yyyy-MM-dd");
        record.time = QTime(0, 0, 0);
    } else if (stamp.size() == 19 && stamp[10] == u' ') {
        record.date = QDate::fromString(stamp.left(10), u"yyyy-MM-dd");
        record.time = QTime::fromString(stamp.mid(11), u"hh:mm:ss");
    } else {
        return false;
    }
    return record.date.isValid() && record.time.isValid();
}

} // namespace

QByteArray FormatStamp(const QDateTime& at) {
    const QTime time = at.time();
    const bool midnight = time.hour() == 0 && time.minute() == 0 && time.second() == 0;
    const QString text =
        midnight ? at.date().toString(u"yyyy-MM-dd") : at.toString(u"yyyy-MM-dd hh:mm:ss");
    return '#' + text.toLatin1() + '#';
}

QByteArray FormatRecord(const QDateTime& at, const QString& voltageText,
                        const QString& currentText) {
    return FormatStamp(at) + ",\"" + WithPointAt(voltageText, 2) + "\",\"" +
           WithPointAt(currentText, 1) + "\"\r\n";
}

std::optional<Record> ParseRecord(const QByteArray& line) {
    const auto fields = SplitFields(line);
    if (!fields || fields->size() != 3) return std::nullopt;
    const auto stamp = Unwrap(fields->at(0), '#');
    const auto voltage = Unwrap(fields->at(1), '"');
    const auto current = Unwrap(fields->at(2), '"');
    Record record;
    if (!stamp || !voltage || !current || !ParseStamp(*stamp, record)) return std::nullopt;
    record.voltageText = voltage->toByteArray();
    record.currentText = current->toByteArray();
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
