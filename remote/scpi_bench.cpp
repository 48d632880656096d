// The commands that speak of the bench rather than one unit: which unit a
// client speaks to, coupling, channel lists, the bench's identity and
// protection across it.

#include "core/command_line.h"
#include "remote/scpi_client.h"
#include "remote/scpi_values.h"
#include "scpi/scpi_format.h"
#include "session/session.h"

namespace velmora {

using namespace scpi;

std::optional<QByteArray> ScpiClient::benchQuery(const Call& call) {
    switch (call.id) {
    case CommandId::Identify: {
        QList<BenchIdentity> units;
        for (int n = 1; n <= bench_.count(); ++n)
            units << BenchIdentity{bench_.at(n).unit().model(), bench_.at(n).unit().port()};
        return IdentityAnswer(units, ProgramVersion());
    }
    case CommandId::InstrumentNumber:
        return QByteArray::number(selectedNumber());
    case CommandId::InstrumentSelect:
        return FormatString(bench_.name(selectedNumber()));
    case CommandId::InstrumentCatalog: {
        QByteArrayList names;
        for (int n = 1; n <= bench_.count(); ++n)
            names << FormatString(bench_.name(n));
        return names.join(',');
    }
    case CommandId::InstrumentCouple: {
        const QList<int> coupled = bench_.coupled();
        if (coupled.isEmpty()) return QByteArray("NONE");
        if (coupled.size() == bench_.count()) return QByteArray("ALL");
        return FormatChannelList({coupled});
    }
    default:
        return FormatBool(bench_.tripAll());
    }
}

// True when `call` was one of the bench's commands, done or refused.
bool ScpiClient::benchCommand(const Call& call) {
    const auto& p = call.parameters;
    switch (call.id) {
    case CommandId::InstrumentNumber: {
        const Value& value = p.first();
        if (const auto* special = std::get_if<Special>(&value)) {
            select(*special == Special::Maximum ? bench_.count() : 1);
            return true;
        }
        const int number = int(std::get<double>(value));
        if (unitsThere({{number}})) select(number);
        return true;
    }
    case CommandId::InstrumentSelect: {
        const QString name = std::get<QString>(p.first());
        if (const int number = bench_.numberOf(name)) {
            select(number);
            return true;
        }
        fail(ErrorCode::IllegalParameterValue,
             QStringLiteral("no unit named \"%1\" (INST:CAT? lists them)").arg(name.left(64)));
        return true;
    }
    case CommandId::InstrumentCouple:
        couple(p.first());
        return true;
    case CommandId::OutputState:
        if (p.size() > 1)
            outputs(std::get<bool>(p.first()), std::get<ChannelList>(p.at(1)));
        else
            output(std::get<bool>(p.first()));
        return true;
    case CommandId::OutputTripAll:
        if (!bench_.setTripAll(std::get<bool>(p.first())))
            fail(ErrorCode::ExecutionError,
                 QStringLiteral("it holds until the program ends: %1 cannot be written")
                     .arg(bench_.at(1).settingsFileName()));
        return true;
    default:
        return false;
    }
}

// Whether every unit in `list` is on the bench; -222 naming the first that is not.
bool ScpiClient::unitsThere(const ChannelList& list) {
    for (int n : list.channels) {
        if (n >= 1 && n <= bench_.count()) continue;
        fail(ErrorCode::DataOutOfRange,
             bench_.count() == 1 ? QStringLiteral("unit %1: the bench has one unit").arg(n)
                                 : QStringLiteral("unit %1: the bench has units 1 to %2")
                                       .arg(n)
                                       .arg(bench_.count()));
        return false;
    }
    return true;
}

// The set-points the line gave the unit selected so far go to it before
// another is selected.
void ScpiClient::select(int number) {
    if (number != selectedNumber()) flushSetpoints();
    selected_ = number;
}

// Every unit's zero or return is asked for in this one call, so none waits
// for another's line; the selected unit's ON waits for the line's end, as
// without a list.
void ScpiClient::outputs(bool on, const ChannelList& list) {
    if (!unitsThere(list)) return;
    for (int n : list.channels) {
        if (n == selectedNumber()) {
            output(on);
            continue;
        }
        UnitControl& unit = bench_.at(n).unit();
        if (!on) {
            ask(n, SetpointSource::ZeroOutput, {});
            continue;
        }
        const std::optional<Setpoints> before = unit.setpointsBeforeZero();
        if (before && unit.setpoints() == Setpoints{}) ask(n, SetpointSource::Remote, *before);
    }
}

void ScpiClient::couple(const Value& value) {
    if (const auto* which = std::get_if<Coupling>(&value)) {
        QList<int> all;
        if (*which == Coupling::All)
            for (int n = 1; n <= bench_.count(); ++n)
                all << n;
        return bench_.setCoupled(all);
    }
    const ChannelList& list = std::get<ChannelList>(value);
    if (unitsThere(list)) bench_.setCoupled(list.channels);
}

std::optional<QByteArray> ScpiClient::measurements(CommandId id, const ChannelList& list) {
    if (!unitsThere(list)) return std::nullopt;
    QByteArrayList each;
    for (int n : list.channels)
        each << measurementOf(n, id);
    return each.join(',');
}

} // namespace velmora
