#include "scpi/scpi_channels.h"

#include "scpi/scpi_lex.h"

#include <QString>
#include <cmath>
#include <optional>

namespace velmora::scpi {

namespace {

Error Invalid(const QString& why) {
    return {ErrorCode::InvalidExpression, why};
}

QString Written(QByteArrayView text) {
    return QString::fromLatin1(text);
}

// A channel as written, or nothing when no number stands at pos.
struct Number {
    QByteArrayView written;
    double value = 0;
};

std::optional<Number> ReadNumber(QByteArrayView list, qsizetype& pos) {
    pos = SkipSpace(list, pos);
    const qsizetype end = DecimalEnd(list, pos);
    if (end == pos) return std::nullopt;
    Number number{list.sliced(pos, end - pos)};
    bool ok = false;
    number.value = number.written.toByteArray().toDouble(&ok);
    if (!ok) number.value = qInf(); // more digits than a double holds
    pos = end;
    return number;
}

std::optional<Error> CheckChannel(const Number& number) {
    if (!(number.value >= 1 && number.value <= kMaxChannel))
        return Error{ErrorCode::DataOutOfRange,
                     QStringLiteral("channel %1: the units are numbered 1 to %2")
                         .arg(Written(number.written))
                         .arg(kMaxChannel)};
    if (number.value != std::floor(number.value))
        return Error{ErrorCode::IllegalParameterValue,
                     QStringLiteral("channel %1 is no whole number").arg(Written(number.written))};
    return std::nullopt;
}

std::optional<Error> Add(ChannelList& list, int channel) {
    if (list.channels.size() == kMaxChannel)
        return Error{ErrorCode::TooMuchData,
                     QStringLiteral("more than %1 channels").arg(kMaxChannel)};
    if (list.channels.contains(channel))
        return Error{ErrorCode::IllegalParameterValue,
                     QStringLiteral("channel %1 named twice").arg(channel)};
    list.channels.append(channel);
    return std::nullopt;
}

// One item at pos: a channel, or a range "first:last" that runs upward.
std::optional<Error> ReadItem(QByteArrayView list, qsizetype& pos, ChannelList& out) {
    const qsizetype start = SkipSpace(list, pos);
    const auto first = ReadNumber(list, pos);
    if (!first) {
        if (start == list.size() || list[start] == ',')
            return Invalid(QStringLiteral("an empty channel list or item"));
        if (list[start] == ':') return Invalid(QStringLiteral("a range without its first channel"));
        return Invalid(
            QStringLiteral("no channel number at \"%1\"")
                .arg(Written(list.sliced(start).first(qMin<qsizetype>(10, list.size() - start)))));
    }
    std::optional<Number> last;
    pos = SkipSpace(list, pos);
    if (pos < list.size() && list[pos] == ':') {
        ++pos;
        last = ReadNumber(list, pos);
        if (!last)
            return Invalid(
                QStringLiteral("the range %1: has no last channel").arg(Written(first->written)));
    }
    if (auto error = CheckChannel(*first)) return error;
    if (last) {
        if (auto error = CheckChannel(*last)) return error;
        if (last->value < first->value)
            return Error{ErrorCode::IllegalParameterValue,
                         QStringLiteral("the range %1:%2 runs downward")
                             .arg(Written(first->written), Written(last->written))};
    }
    for (int channel = int(first->value); channel <= int(last ? last->value : first->value);
         ++channel)
        if (auto error = Add(out, channel)) return error;
    return std::nullopt;
}

} // namespace

std::variant<ChannelList, Error> ReadChannelList(QByteArrayView expression) {
    if (!expression.startsWith('(') || !expression.endsWith(')') || expression.size() < 2)
        return Invalid(QStringLiteral("a channel list stands in parentheses: (@1,2)"));
    const QByteArrayView inside = expression.sliced(1, expression.size() - 2);
    qsizetype pos = SkipSpace(inside, 0);
    if (pos == inside.size() || inside[pos] != '@')
        return Invalid(QStringLiteral("a channel list starts with (@"));
    const QByteArrayView list = inside.sliced(pos + 1);
    ChannelList out;
    pos = 0;
    while (true) {
        if (auto error = ReadItem(list, pos, out)) return *error;
        pos = SkipSpace(list, pos);
        if (pos == list.size()) return out;
        if (list[pos] != ',')
            return Invalid(
                QStringLiteral("\"%1\" in a channel list")
                    .arg(Written(list.sliced(pos).first(qMin<qsizetype>(10, list.size() - pos)))));
        ++pos;
    }
}

QByteArray FormatChannelList(const ChannelList& list) {
    QByteArrayList channels;
    for (int channel : list.channels)
        channels += QByteArray::number(channel);
    return "(@" + channels.join(',') + ')';
}

} // namespace velmora::scpi
