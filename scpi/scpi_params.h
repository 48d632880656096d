#pragma once
// A command's parameters read from their text into typed values, checked in
// form only: the executor checks ranges against the unit and the limits.

#include "scpi/scpi_errors.h"
#include "scpi/scpi_table.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>
#include <variant>

namespace velmora::scpi {

/// MIN, MAX and DEF (MINimum, MAXimum, DEFault), and OFF for a limit.
enum class Special { Minimum, Maximum, Default, Off };

/// PROGram:STATe's RUN and STOP.
enum class RunStop { Run, Stop };

/// One parameter: a number in the command's base unit (V, A, s; a
/// millivolt comes out as 0.001), one of the special values, a boolean, a
/// string without its quotes, or RUN/STOP.
using Value = std::variant<double, Special, bool, QString, RunStop>;

/// The parameters, or the first error in them.
struct Parameters {
    QList<Value> values;
    std::optional<Error> error;
};

/// Reads the parameter text that follows a header and its white space.
/// A command takes exactly what its kind says; a query takes nothing, or
/// for the numeric kinds at most one of MIN, MAX, DEF.
Parameters ParseParameters(QByteArrayView text, ParamKind kind, bool query);

} // namespace velmora::scpi
