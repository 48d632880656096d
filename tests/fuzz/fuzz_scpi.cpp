// The remote-control parser fed arbitrary lines, and the line reader
// arbitrary bytes: every unit is a call the table knows with the parameters
// its kind allows, or an error with a standard text; a channel list names 1
// to 8 units once each and reads back as written; a string written by the
// answer formatter reads back unchanged; lines never outgrow the limit.

#include "fuzz/fuzz_common.h"

#include "scpi/scpi_channels.h"
#include "scpi/scpi_errors.h"
#include "scpi/scpi_format.h"
#include "scpi/scpi_line.h"
#include "scpi/scpi_parser.h"
#include "scpi/scpi_table.h"

#include <cmath>
#include <utility>

using namespace velmora;
using namespace velmora::scpi;

namespace {

// The fewest and the most parameters a command of the kind carries.
std::pair<qsizetype, qsizetype> CommandParameterCounts(ParamKind kind) {
    switch (kind) {
    case ParamKind::None:
        return {0, 0};
    case ParamKind::VoltsAmperes:
        return {2, 2};
    case ParamKind::BooleanChannels:
        return {1, 2};
    case ParamKind::OptionalChannels:
        return {0, 1};
    default:
        return {1, 1};
    }
}

void CheckChannels(const ChannelList& list) {
    if (list.channels.isEmpty() || list.channels.size() > kMaxChannel) fuzz::Finding();
    for (qsizetype i = 0; i < list.channels.size(); ++i) {
        const int channel = list.channels[i];
        if (channel < 1 || channel > kMaxChannel || list.channels.indexOf(channel) != i)
            fuzz::Finding();
    }
    const auto again = ReadChannelList(FormatChannelList(list));
    if (!std::holds_alternative<ChannelList>(again) || std::get<ChannelList>(again) != list)
        fuzz::Finding();
}

void CheckValue(const Call& call, const Value& value) {
    if (const auto* list = std::get_if<ChannelList>(&value)) return CheckChannels(*list);
    const double* number = std::get_if<double>(&value);
    if (!number) return;
    if (!std::isfinite(*number)) fuzz::Finding();
    if (call.id == CommandId::InstrumentNumber &&
        (*number < 1 || *number > kMaxChannel || *number != std::floor(*number)))
        fuzz::Finding();
}

void CheckUnits(const QList<Unit>& units, qsizetype lineSize) {
    if (units.size() > lineSize + 1) fuzz::Finding();
    for (const Unit& unit : units) {
        if (const Error* error = std::get_if<Error>(&unit)) {
            if (ErrorText(error->code).isEmpty() || error->code == ErrorCode::NoError)
                fuzz::Finding();
            const QByteArray entry = FormatErrorEntry(*error);
            if (entry.count('"') != 2 || entry.contains('\n') || !entry.endsWith('"'))
                fuzz::Finding();
            continue;
        }
        const Call& call = std::get<Call>(unit);
        const CommandInfo& row = InfoOf(call.id);
        if (row.id != call.id) fuzz::Finding();
        if (call.query ? row.access == Access::Command : row.access == Access::Query)
            fuzz::Finding();
        const qsizetype count = call.parameters.size();
        const auto [fewest, most] = CommandParameterCounts(row.params);
        if (call.query ? count > 1 : count < fewest || count > most) fuzz::Finding();
        for (const Value& value : call.parameters)
            CheckValue(call, value);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    CheckUnits(ParseLine(input), input.size());

    // Random bytes seldom open a channel list: the input inside one.
    const QByteArray inList = "OUTP OFF,(@" + input.toByteArray() + ')';
    CheckUnits(ParseLine(inList), inList.size());

    // The input as a file name: what FormatString writes reads back, its
    // backslashes doubled (answers write \uXXXX for what is not ASCII).
    if (input.size() <= kMaxLineBytes / 4) {
        bool printable = true;
        for (char c : input)
            printable = printable && c >= 0x20 && c < 0x7F;
        if (printable) {
            const QString text = QString::fromLatin1(input);
            const QList<Unit> units = ParseLine("REC:FILE " + FormatString(text));
            if (units.size() != 1 || !std::holds_alternative<Call>(units[0]) ||
                std::get<Call>(units[0]).parameters !=
                    QList<Value>{QString(text).replace(u'\\', QStringLiteral("\\\\"))})
                fuzz::Finding();
        }
    }

    // The input in two pieces through the line reader.
    LineReader reader;
    qsizetype lines = 0;
    for (const QByteArrayView piece :
         {input.first(input.size() / 2), input.sliced(input.size() / 2)}) {
        reader.Append(piece);
        while (const auto line = reader.Next()) {
            if (line->text.size() > kMaxLineBytes || line->text.contains('\n')) fuzz::Finding();
            if (line->tooLong && !line->text.isEmpty()) fuzz::Finding();
            if (++lines > input.size()) fuzz::Finding();
        }
        if (reader.Pending() > kMaxLineBytes + 1) fuzz::Finding();
    }
    return 0;
}
