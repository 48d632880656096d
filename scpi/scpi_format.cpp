#include "scpi/scpi_format.h"

#include <cmath>

namespace velmora::scpi {

QByteArray FormatNumber(double value, int decimals) {
    if (!std::isfinite(value)) return "9.91E+37";
    QByteArray text = QByteArray::number(value, 'f', qBound(0, decimals, 15));
    // "-0.00": the sign of a value too small to show means nothing.
    if (text.startsWith('-') && text.count('0') == text.size() - 1 - (decimals > 0 ? 1 : 0))
        text.remove(0, 1);
    return text;
}

QByteArray FormatBool(bool value) {
    return value ? "1" : "0";
}

QByteArray AsciiText(const QString& text, const QByteArray& quote) {
    QByteArray out;
    for (const char32_t c : text.toUcs4()) {
        if (c == U'"')
            out += quote;
        else if (c == U'\n')
            out += "; "; // between the lines of a message
        else if (c == U'\\')
            out += "\\\\";
        else if (c == 0x2013 || c == 0x2014)
            out += '-'; // a dash between words
        else if (c >= 0x20 && c < 0x7f)
            out += char(c);
        else if (c <= 0xffff)
            out += "\\u" + QByteArray::number(uint(c), 16).rightJustified(4, '0');
        else
            out += "\\U" + QByteArray::number(uint(c), 16).rightJustified(8, '0');
    }
    return out;
}

QByteArray FormatString(const QString& text) {
    return '"' + AsciiText(text, "\"\"") + '"';
}

QByteArray DefiniteBlock(const QByteArray& data) {
    const QByteArray length = QByteArray::number(data.size());
    return '#' + QByteArray::number(length.size()) + length + data;
}

QByteArray AnswerLine(const QByteArrayList& answers) {
    if (answers.isEmpty()) return {};
    return answers.join(';') + '\n';
}

} // namespace velmora::scpi
