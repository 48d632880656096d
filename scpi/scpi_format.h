#pragma once
// The answers' texts: numbers, booleans, strings, blocks, and one answer
// line from the answers of several queries.

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

namespace velmora::scpi {

/// A number as a plain decimal with the given places, never an exponent:
/// (12.3, 1) -> "12.3", (15.129, 3) -> "15.129", (0, 0) -> "0". A value
/// that rounds to zero has no minus sign. Not-a-number and the infinities
/// answer 9.91E+37, SCPI's not-a-number.
QByteArray FormatNumber(double value, int decimals);

/// 1 or 0.
QByteArray FormatBool(bool value);

/// The text in printable 7-bit ASCII, which every client can decode: a
/// double quote as `quote`, a line break as "; ", a dash between words as
/// "-", a backslash doubled, and any other character outside printable ASCII
/// as \uXXXX (or \UXXXXXXXX), its Unicode number in hex.
QByteArray AsciiText(const QString& text, const QByteArray& quote);

/// A string in double quotes, in AsciiText with a double quote doubled.
QByteArray FormatString(const QString& text);

/// A definite-length arbitrary block: `#`, the count of length digits, the
/// length, the data.
QByteArray DefiniteBlock(const QByteArray& data);

/// One answer line: the answers of a line's queries joined with `;`, ending
/// in one LF; nothing at all when there are no answers.
QByteArray AnswerLine(const QByteArrayList& answers);

} // namespace velmora::scpi
