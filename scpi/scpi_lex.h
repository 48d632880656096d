#pragma once
// The characters and parameter elements of a program message, shared by
// the header and the parameter readers.

#include "scpi/scpi_errors.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

namespace velmora::scpi {

/// White space between the parts of a line: space, tab, CR, LF.
constexpr bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
constexpr bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
constexpr bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
/// A byte a line may hold at all: printable ASCII and the white space.
constexpr bool IsAllowedByte(char c) {
    return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\r' || c == '\n';
}

/// The first position at or after pos that is not white space.
qsizetype SkipSpace(QByteArrayView text, qsizetype pos);

/// Where a decimal number starting at pos ends (sign, digits with an
/// optional point, an optional exponent); pos itself when there is none.
qsizetype DecimalEnd(QByteArrayView text, qsizetype pos);

/// One parameter as written: a decimal number with its suffix, character
/// data (a word such as ON or MAX), a quoted string, or an expression in
/// parentheses (a channel list).
struct Element {
    enum class Type { Number, Word, String, Expression } type = Type::Word;
    QByteArrayView raw; // as written, suffix, quotes and parentheses included
    double number = 0;
    QByteArrayView suffix;
    QString text; // a string's content, doubled quotes made single
};

/// The elements of a parameter text, separated by commas, or the first
/// error in their form.
struct Elements {
    QList<Element> list;
    std::optional<Error> error;
};
Elements ReadElements(QByteArrayView text);

} // namespace velmora::scpi
