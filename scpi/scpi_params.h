#pragma once
// A command's parameters read from their text into typed values, checked in
// form only: the executor checks ranges against the unit and the limits.

#include "scpi/scpi_channels.h"
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

/// INSTrument:COUPle's ALL and NONE.
enum class Coupling { All, None };

/// One parameter: a number in the command's base unit (V, A, s; a
/// millivolt comes out as 0.001; a unit's number as a whole number), one of
/// the special values, a boolean, a string without its quotes (a unit's
/// name given as a word comes as written), RUN/STOP, a channel list, or
/// ALL/NONE.
using Value = std::variant<double, Special, bool, QString, RunStop, ChannelList, Coupling>;

/// The parameters, or the first error in them.
struct Parameters {
    QList<Value> values;
    std::optional<Error> error;
};

/// Reads the parameter text that follows a header and its white space.
/// A command takes what its kind says; a query takes nothing, or for the
/// numeric kinds at most one of MIN, MAX, DEF, or for OptionalChannels at
/// most a channel list.
Parameters ParseParameters(QByteArrayView text, ParamKind kind, bool query);

} // namespace velmora::scpi
