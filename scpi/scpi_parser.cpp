#include "scpi/scpi_parser.h"

#include "scpi/scpi_lex.h"

#include <optional>

namespace velmora::scpi {

namespace {

using Mnemonics = QList<QByteArrayView>;

struct Header {
    Mnemonics mnemonics;
    bool common = false;
    bool root = false;
    bool query = false;
    QByteArrayView text;
    qsizetype end = 0;
    std::optional<Error> error;
};

bool IsMnemonicChar(char c) {
    return IsLetter(c) || IsDigit(c) || c == '_';
}

QString Excerpt(QByteArrayView text, qsizetype pos) {
    return QString::fromLatin1(text.sliced(pos).first(qMin<qsizetype>(12, text.size() - pos)));
}

Header ReadHeader(QByteArrayView unit, qsizetype start) {
    Header h;
    qsizetype pos = start;
    h.common = unit[pos] == '*';
    h.root = unit[pos] == ':';
    if (h.common || h.root) ++pos;
    while (true) {
        const qsizetype word = h.common ? pos - 1 : pos;
        if (pos == unit.size() || !IsLetter(unit[pos])) {
            h.error = Error{ErrorCode::SyntaxError, Excerpt(unit, start)};
            return h;
        }
        while (pos < unit.size() && IsMnemonicChar(unit[pos]))
            ++pos;
        h.mnemonics.append(unit.sliced(word, pos - word));
        if (h.common || pos == unit.size() || unit[pos] != ':') break;
        ++pos;
    }
    if (pos < unit.size() && unit[pos] == '?') {
        h.query = true;
        ++pos;
    }
    h.text = unit.sliced(start, pos - start);
    h.end = pos;
    if (pos < unit.size() && !IsSpace(unit[pos]))
        h.error = Error{ErrorCode::InvalidSeparator, Excerpt(unit, start)};
    return h;
}

const CommandInfo* Find(const Mnemonics& typed, bool query) {
    for (const CommandInfo& row : Commands()) {
        const bool fits = row.access == Access::Both || (row.access == Access::Query) == query;
        if (fits && HeaderMatches({typed.constData(), size_t(typed.size())}, row.header))
            return &row;
    }
    return nullptr;
}

// Looks the header up under the path, then from the root, and moves the
// path to the found header's parent.
const CommandInfo* Resolve(const Header& h, Mnemonics& path) {
    if (h.common) return Find(h.mnemonics, h.query);
    if (!h.root && !path.isEmpty()) {
        const Mnemonics full = path + h.mnemonics;
        if (const CommandInfo* row = Find(full, h.query)) {
            path = full.first(full.size() - 1);
            return row;
        }
    }
    const CommandInfo* row = Find(h.mnemonics, h.query);
    if (row) path = h.mnemonics.first(h.mnemonics.size() - 1);
    return row;
}

Unit ParseUnit(QByteArrayView unit, Mnemonics& path) {
    const Header h = ReadHeader(unit, SkipSpace(unit, 0));
    if (h.error) return *h.error;
    const CommandInfo* row = Resolve(h, path);
    if (!row) return Error{ErrorCode::UndefinedHeader, QString::fromLatin1(h.text)};
    Parameters parameters = ParseParameters(unit.sliced(h.end), row->params, h.query);
    if (parameters.error) return *parameters.error;
    return Call{row->id, h.query, std::move(parameters.values), h.text.toByteArray()};
}

QString ByteDetail(char c) {
    return QStringLiteral("byte 0x%1").arg(uint(uchar(c)), 2, 16, QLatin1Char('0'));
}

} // namespace

QList<Unit> ParseLine(QByteArrayView line) {
    if (line.size() > kMaxLineBytes)
        return {
            Error{ErrorCode::TooMuchData, QStringLiteral("line over %1 bytes").arg(kMaxLineBytes)}};
    QList<Unit> units;
    Mnemonics path;
    std::optional<Error> badByte;
    char quote = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i < line.size()) {
            const char c = line[i];
            if (!IsAllowedByte(c) && !badByte)
                badByte = Error{quote ? ErrorCode::InvalidStringData : ErrorCode::SyntaxError,
                                ByteDetail(c)};
            if (quote) {
                if (c == quote) quote = 0;
                continue;
            }
            if (c == '"' || c == '\'') quote = c;
            if (c != ';') continue;
        }
        const QByteArrayView unit = line.sliced(start, i - start);
        start = i + 1;
        if (badByte) {
            units.append(*badByte);
            badByte.reset();
        } else if (SkipSpace(unit, 0) < unit.size()) {
            units.append(ParseUnit(unit, path));
        } else if (i < line.size()) {
            units.append(Error{ErrorCode::SyntaxError, QStringLiteral("empty command")});
        }
    }
    return units;
}

const Error* FirstError(const QList<Unit>& units) {
    for (const Unit& unit : units)
        if (const Error* error = std::get_if<Error>(&unit)) return error;
    return nullptr;
}

} // namespace velmora::scpi
