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

QByteArray FormatString(const QString& text) {
    QByteArray quoted = text.toUtf8();
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
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
