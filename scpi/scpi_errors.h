#pragma once
// The standard SCPI error codes and texts, and the instrument's error queue
// that SYSTem:ERRor? reads.

#include <QByteArray>
#include <QList>
#include <QString>

namespace velmora::scpi {

/// The codes this program reports; the values are the standard ones.
enum class ErrorCode : int {
    NoError = 0,
    CommandError = -100,
    SyntaxError = -102,
    InvalidSeparator = -103,
    DataTypeError = -104,
    ParameterNotAllowed = -108,
    MissingParameter = -109,
    UndefinedHeader = -113,
    InvalidSuffix = -131,
    SuffixNotAllowed = -138,
    InvalidCharacterData = -141,
    InvalidStringData = -151,
    InvalidExpression = -171,
    ExpressionNotAllowed = -178,
    ExecutionError = -200,
    ParameterError = -220,
    SettingsConflict = -221,
    DataOutOfRange = -222,
    TooMuchData = -223,
    IllegalParameterValue = -224,
    DataStale = -230,
    FileNameError = -257,
    ProgramCurrentlyRunning = -284,
    ProgramSyntaxError = -285,
    DeviceSpecificError = -300,
    QueueOverflow = -350,
    QueryInterrupted = -410,
    QueryUnterminated = -420,
};

/// The standard text of a code ("Undefined header"); empty for a code not
/// in the list above.
QLatin1StringView ErrorText(ErrorCode code);

/// One error: its code and, optionally, a short detail for the user
/// ("VOLT 30 above 25.0 V").
struct Error {
    ErrorCode code = ErrorCode::NoError;
    QString detail;

    bool operator==(const Error&) const = default;
};

/// An error as SYSTem:ERRor? answers it, without the line end:
/// `-222,"Data out of range;VOLT 30 above 25.0 V"`, `0,"No error"`. The
/// detail is cut to kMaxDetailChars and its quotes, control characters and
/// non-ASCII characters are replaced, so the answer stays one quoted string.
QByteArray FormatErrorEntry(const Error& error);
// Room for a whole trip message; the answer stays within SCPI's 255 characters.
inline constexpr qsizetype kMaxDetailChars = 200;

/// The error queue: first in, first out, at most kCapacity entries. When it
/// is full, the last entry becomes -350 "Queue overflow" and later errors
/// are dropped until entries are read.
class ErrorQueue {
  public:
    static constexpr qsizetype kCapacity = 16;

    void Push(Error error);
    /// The oldest entry, removed; NoError when the queue is empty.
    Error Pop();
    void Clear() { entries_.clear(); }
    qsizetype Size() const { return entries_.size(); }
    bool IsEmpty() const { return entries_.isEmpty(); }

  private:
    QList<Error> entries_;
};

} // namespace velmora::scpi
