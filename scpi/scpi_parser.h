#pragma once
// Reads one line of remote commands into program message units: the calls
// the executor runs and the errors it reports, all before anything runs.

#include "scpi/scpi_errors.h"
#include "scpi/scpi_params.h"
#include "scpi/scpi_table.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <variant>

namespace velmora::scpi {

/// The longest line taken, without its LF or CR LF; a longer one is
/// answered with -223 "Too much data" as a whole.
inline constexpr qsizetype kMaxLineBytes = 4096;

/// One command or query to run, its parameters read into values.
struct Call {
    CommandId id = CommandId::Identify;
    bool query = false;
    QList<Value> parameters;
    /// The header as typed ("SOUR:VOLT"), for the detail of an error.
    QByteArray header;
};

/// One program message unit: a call, or why it is not one.
using Unit = std::variant<Call, Error>;

/// Parses a line without its line end. Units are separated by `;` (one
/// after the last is allowed); a white-space-only line holds none.
///
/// Header paths: a header without a leading `:` continues the path of the
/// header before it on the line (`SOUR:VOLT 5;CURR 1` sets SOUR:CURR); one
/// that names nothing there is looked up from the root, as many instruments
/// do (`VOLT 5;OUTP ON`). A leading `:` starts from the root; common
/// commands (`*OPC`) leave the path alone. Headers match in long or short
/// form, any case, optional nodes left out or not.
///
/// Only printable ASCII, tab, CR and LF may appear: any other byte, NUL
/// included, makes its unit -102 (-151 within a string). A line over
/// kMaxLineBytes is one -223 error.
QList<Unit> ParseLine(QByteArrayView line);

/// The first error among the units, if any: the line is refused then.
const Error* FirstError(const QList<Unit>& units);

} // namespace velmora::scpi
