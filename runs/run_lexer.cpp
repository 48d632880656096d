#include "runs/run_lexer.h"

namespace velmora {

namespace {

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool StartsNumber(QByteArrayView line, qsizetype i) {
    const char c = line[i];
    if (IsDigit(c)) return true;
    const bool next = i + 1 < line.size();
    if (c == '.') return next && IsDigit(line[i + 1]);
    if (c == '+' || c == '-') return next && (IsDigit(line[i + 1]) || line[i + 1] == '.');
    return false;
}

// "1e308", "2E-3": an exponent right after a number's digits.
bool Exponent(QByteArrayView line, qsizetype at) {
    if (at + 1 >= line.size() || (line[at] != 'e' && line[at] != 'E')) return false;
    const char next = line[at + 1];
    return IsDigit(next) ||
           ((next == '+' || next == '-') && at + 2 < line.size() && IsDigit(line[at + 2]));
}

QString CharacterName(unsigned char c) {
    if (c >= 0x21 && c < 0x7f) return u'\'' + QChar(c) + u'\'';
    return QStringLiteral("0x%1").arg(int(c), 2, 16, QChar(u'0'));
}

} // namespace

QString RunProblem::text() const {
    return QStringLiteral("line %1:%2: %3").arg(place.line).arg(place.column).arg(message);
}

std::optional<RunProblem> CutTokens(QByteArrayView line, int lineNumber,
                                    std::vector<Token>& tokens) {
    qsizetype i = 0;
    while (i < line.size()) {
        const char c = line[i];
        const int column = int(i) + 1;
        if (c == ' ' || c == '\t') {
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        Token::Kind kind = Token::Word;
        if (IsLetter(c)) {
            while (end < line.size() && IsLetter(line[end]))
                ++end;
        } else if (StartsNumber(line, i)) {
            kind = Token::Number;
            while (end < line.size() && (IsDigit(line[end]) || line[end] == '.'))
                ++end;
            if (Exponent(line, end)) {
                qsizetype past = end + 1;
                while (past < line.size() &&
                       (IsDigit(line[past]) || line[past] == '+' || line[past] == '-'))
                    ++past;
                return RunProblem{
                    {lineNumber, column},
                    QString::fromLatin1(line.sliced(i, std::min<qsizetype>(past - i, 20))) +
                        QStringLiteral(": numbers are written out, without an "
                                       "exponent")};
            }
        } else if (c == '<' || c == '>') {
            kind = c == '<' ? Token::Less : Token::Greater;
        } else {
            return RunProblem{{lineNumber, column},
                              QStringLiteral("unexpected character ") +
                                  CharacterName(static_cast<unsigned char>(c))};
        }
        tokens.push_back({kind, line.sliced(i, end - i).toByteArray(), column});
        i = end;
    }
    return std::nullopt;
}

std::optional<Decimal> ReadDecimal(QByteArrayView text) {
    Decimal number;
    qsizetype i = 0;
    if (!text.isEmpty() && (text[0] == '+' || text[0] == '-')) {
        number.negative = text[0] == '-';
        ++i;
    }
    int digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            if (point) return std::nullopt;
            point = true;
            continue;
        }
        if (!IsDigit(c) || ++digits > Decimal::kMaxDigits) return std::nullopt;
        number.digits = number.digits * 10 + (c - '0');
        if (point) ++number.fractionDigits;
    }
    if (digits == 0) return std::nullopt;
    return number;
}

} // namespace velmora
