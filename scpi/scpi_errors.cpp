#include "scpi/scpi_errors.h"

#include "scpi/scpi_format.h"

#include <utility>

namespace velmora::scpi {

namespace {

struct ErrorRow {
    ErrorCode code;
    const char* text;
};

constexpr ErrorRow kErrors[] = {
    {ErrorCode::NoError, "No error"},
    {ErrorCode::CommandError, "Command error"},
    {ErrorCode::SyntaxError, "Syntax error"},
    {ErrorCode::InvalidSeparator, "Invalid separator"},
    {ErrorCode::DataTypeError, "Data type error"},
    {ErrorCode::ParameterNotAllowed, "Parameter not allowed"},
    {ErrorCode::MissingParameter, "Missing parameter"},
    {ErrorCode::UndefinedHeader, "Undefined header"},
    {ErrorCode::InvalidSuffix, "Invalid suffix"},
    {ErrorCode::SuffixNotAllowed, "Suffix not allowed"},
    {ErrorCode::InvalidCharacterData, "Invalid character data"},
    {ErrorCode::InvalidStringData, "Invalid string data"},
    {ErrorCode::InvalidExpression, "Invalid expression"},
    {ErrorCode::ExpressionNotAllowed, "Expression data not allowed"},
    {ErrorCode::ExecutionError, "Execution error"},
    {ErrorCode::ParameterError, "Parameter error"},
    {ErrorCode::SettingsConflict, "Settings conflict"},
    {ErrorCode::DataOutOfRange, "Data out of range"},
    {ErrorCode::TooMuchData, "Too much data"},
    {ErrorCode::IllegalParameterValue, "Illegal parameter value"},
    {ErrorCode::DataStale, "Data stale"},
    {ErrorCode::FileNameError, "File name error"},
    {ErrorCode::ProgramCurrentlyRunning, "Program currently running"},
    {ErrorCode::ProgramSyntaxError, "Program syntax error"},
    {ErrorCode::DeviceSpecificError, "Device-specific error"},
    {ErrorCode::QueueOverflow, "Queue overflow"},
    {ErrorCode::QueryInterrupted, "Query INTERRUPTED"},
    {ErrorCode::QueryUnterminated, "Query UNTERMINATED"},
};

// Printable ASCII without the double quote, which would end the answer's
// string early.
QByteArray SafeDetail(const QString& detail) {
    return AsciiText(detail.left(kMaxDetailChars), "'");
}

} // namespace

QLatin1StringView ErrorText(ErrorCode code) {
    for (const ErrorRow& row : kErrors)
        if (row.code == code) return QLatin1StringView(row.text);
    return {};
}

QByteArray FormatErrorEntry(const Error& error) {
    const QLatin1StringView text = ErrorText(error.code);
    QByteArray out = QByteArray::number(int(error.code)) + ",\"";
    out.append(text.data(), text.size());
    if (!error.detail.isEmpty()) out += ';' + SafeDetail(error.detail);
    return out + '"';
}

void ErrorQueue::Push(Error error) {
    if (entries_.size() < kCapacity) {
        entries_.append(std::move(error));
        return;
    }
    entries_.last() = Error{ErrorCode::QueueOverflow, {}};
}

Error ErrorQueue::Pop() {
    if (entries_.isEmpty()) return {};
    return entries_.takeFirst();
}

} // namespace velmora::scpi
