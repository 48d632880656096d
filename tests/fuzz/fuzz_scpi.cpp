// The remote-control parser fed arbitrary lines, and the line reader
// arbitrary bytes: every unit is a call the table knows with the parameters
// its kind allows, or an error with a standard text; a string written by
// the answer formatter reads back unchanged; lines never outgrow the limit.

#include "fuzz/fuzz_common.h"

#include "scpi/scpi_errors.h"
#include "scpi/scpi_format.h"
#include "scpi/scpi_line.h"
#include "scpi/scpi_parser.h"
#include "scpi/scpi_table.h"

using namespace velmora;
using namespace velmora::scpi;

namespace {

qsizetype CommandParameterCount(ParamKind kind) {
    if (kind == ParamKind::None) return 0;
    return kind == ParamKind::VoltsAmperes ? 2 : 1;
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
        if (call.query ? count > 1 : count != CommandParameterCount(row.params)) fuzz::Finding();
        for (const Value& value : call.parameters)
            if (const double* number = std::get_if<double>(&value);
                number && !std::isfinite(*number))
                fuzz::Finding();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    CheckUnits(ParseLine(input), input.size());

    // The input as a file name: what FormatString writes reads back.
    if (input.size() <= kMaxLineBytes / 4) {
        bool printable = true;
        for (char c : input)
            printable = printable && c >= 0x20 && c < 0x7F;
        if (printable) {
            const QString text = QString::fromLatin1(input);
            const QList<Unit> units = ParseLine("REC:FILE " + FormatString(text));
            if (units.size() != 1 || !std::holds_alternative<Call>(units[0]) ||
                std::get<Call>(units[0]).parameters != QList<Value>{text})
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
