#include "scpi/scpi_lex.h"

#include <QByteArray>

namespace velmora::scpi {

namespace {

qsizetype SkipDigits(QByteArrayView text, qsizetype pos) {
    while (pos < text.size() && IsDigit(text[pos]))
        ++pos;
    return pos;
}

} // namespace

qsizetype DecimalEnd(QByteArrayView text, qsizetype pos) {
    qsizetype i = pos;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const qsizetype intStart = i;
    i = SkipDigits(text, i);
    qsizetype digits = i - intStart;
    if (i < text.size() && text[i] == '.') {
        const qsizetype fraction = i + 1;
        i = SkipDigits(text, fraction);
        digits += i - fraction;
    }
    if (digits == 0) return pos;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        // Without digits after it, an E starts the suffix instead.
        qsizetype j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && IsDigit(text[j])) i = SkipDigits(text, j);
    }
    return i;
}

namespace {

Element Make(Element::Type type, QByteArrayView raw) {
    Element e;
    e.type = type;
    e.raw = raw;
    return e;
}

struct Read {
    Element element;
    qsizetype end = 0;
    std::optional<Error> error;
};

Read ReadString(QByteArrayView text, qsizetype pos) {
    const char quote = text[pos];
    QByteArray content;
    for (qsizetype i = pos + 1; i < text.size(); ++i) {
        if (text[i] != quote) {
            content += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == quote) {
            content += quote;
            ++i;
        } else {
            Element e = Make(Element::Type::String, text.sliced(pos, i + 1 - pos));
            e.text = QString::fromUtf8(content);
            return {e, i + 1, {}};
        }
    }
    return {{}, pos, Error{ErrorCode::InvalidStringData, QStringLiteral("no closing quote")}};
}

Read ReadNumber(QByteArrayView text, qsizetype pos) {
    const qsizetype end = DecimalEnd(text, pos);
    if (end == pos)
        return {{}, pos, Error{ErrorCode::SyntaxError, QString::fromLatin1(text.sliced(pos, 1))}};
    Element e = Make(Element::Type::Number, {});
    bool ok = false;
    e.number = text.sliced(pos, end - pos).toByteArray().toDouble(&ok);
    // An overflow or underflow: more digits than a double holds.
    if (!ok) e.number = qInf();
    qsizetype next = end;
    const qsizetype suffix = SkipSpace(text, end);
    if (suffix < text.size() && IsLetter(text[suffix])) {
        next = suffix;
        while (next < text.size() && IsLetter(text[next]))
            ++next;
        e.suffix = text.sliced(suffix, next - suffix);
    }
    e.raw = text.sliced(pos, next - pos);
    return {e, next, {}};
}

// Up to the parenthesis that closes the one at pos; what is inside is read
// by the parameter that takes it.
Read ReadExpression(QByteArrayView text, qsizetype pos) {
    int depth = 0;
    for (qsizetype i = pos; i < text.size(); ++i) {
        if (text[i] == '(') ++depth;
        if (text[i] == ')' && --depth == 0)
            return {Make(Element::Type::Expression, text.sliced(pos, i + 1 - pos)), i + 1, {}};
    }
    return {{}, pos, Error{ErrorCode::InvalidExpression, QStringLiteral("no closing parenthesis")}};
}

Read ReadElement(QByteArrayView text, qsizetype pos) {
    const char c = text[pos];
    if (c == '"' || c == '\'') return ReadString(text, pos);
    if (c == '(') return ReadExpression(text, pos);
    if (IsDigit(c) || c == '+' || c == '-' || c == '.') return ReadNumber(text, pos);
    if (IsLetter(c)) {
        qsizetype end = pos;
        while (end < text.size() && (IsLetter(text[end]) || IsDigit(text[end]) || text[end] == '_'))
            ++end;
        return {Make(Element::Type::Word, text.sliced(pos, end - pos)), end, {}};
    }
    // Blocks and non-decimal numbers start with '#': no command takes them.
    const ErrorCode code = c == '#' ? ErrorCode::DataTypeError : ErrorCode::SyntaxError;
    return {{}, pos, Error{code, QString::fromLatin1(text.sliced(pos, 1))}};
}

} // namespace

qsizetype SkipSpace(QByteArrayView text, qsizetype pos) {
    while (pos < text.size() && IsSpace(text[pos]))
        ++pos;
    return pos;
}

Elements ReadElements(QByteArrayView text) {
    Elements out;
    qsizetype pos = SkipSpace(text, 0);
    if (pos == text.size()) return out;
    while (true) {
        Read read = ReadElement(text, pos);
        if (read.error) return {{}, read.error};
        out.list.append(read.element);
        pos = SkipSpace(text, read.end);
        if (pos == text.size()) return out;
        if (text[pos] != ',') {
            // "5 5" lacks a comma; "5.5.5" or "5V2" is no element at all.
            const ErrorCode code =
                pos > read.end ? ErrorCode::InvalidSeparator : ErrorCode::SyntaxError;
            return {{},
                    Error{code, QString::fromLatin1(text.sliced(pos).first(
                                    qMin<qsizetype>(10, text.size() - pos)))}};
        }
        pos = SkipSpace(text, pos + 1);
        if (pos == text.size() || text[pos] == ',')
            return {{}, Error{ErrorCode::SyntaxError, QStringLiteral("empty parameter")}};
    }
}

} // namespace velmora::scpi
