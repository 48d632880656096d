#include "scpi/scpi_table.h"

#include "scpi/scpi_format.h"

#include <array>

namespace velmora::scpi {

namespace {

using A = Access;
using P = ParamKind;

constexpr CommandInfo kCommands[] = {
    {CommandId::Identify, "*IDN", A::Query, P::None,
     "Velmora, the model (1A/20V or 2.5A/25V), the port (COM2) and the version; none where not "
     "chosen. With several units, their models and ports joined by + (1A/20V+2.5A/25V)."},
    {CommandId::Reset, "*RST", A::Command, P::None,
     "Zero output on every unit (both set-points 0, a playback ended), unit 1 selected, and the "
     "error queue emptied."},
    {CommandId::ClearStatus, "*CLS", A::Command, P::None,
     "Empties the error queue and clears the event status register."},
    {CommandId::EventStatus, "*ESR", A::Query, P::None,
     "Reads the event status register and clears it."},
    {CommandId::EventEnable, "*ESE", A::Both, P::Number, "The event status enable mask, 0 to 255."},
    {CommandId::StatusByte, "*STB", A::Query, P::None, "Reads the status byte."},
    {CommandId::RequestEnable, "*SRE", A::Both, P::Number,
     "The service request enable mask, 0 to 255."},
    {CommandId::OperationComplete, "*OPC", A::Both, P::None,
     "Sets the operation complete bit; the query answers 1 once earlier commands are done."},
    {CommandId::Wait, "*WAI", A::Command, P::None, "Waits until earlier commands are done."},
    {CommandId::SelfTest, "*TST", A::Query, P::None, "Self-test: 0 when it passes."},
    {CommandId::SystemError, "SYSTem:ERRor[:NEXT]", A::Query, P::None,
     "The oldest entry of the error queue, taken out of it; 0,\"No error\" when it is empty."},
    {CommandId::SystemVersion, "SYSTem:VERSion", A::Query, P::None,
     "The SCPI version the commands follow."},
    {CommandId::SystemHelpHeaders, "SYSTem:HELP:HEADers", A::Query, P::None,
     "Lists every command header, one a line, as a definite-length block."},
    {CommandId::SystemWatchdog, "SYSTem:WDOG", A::Both, P::Seconds,
     "Zero output when this client sends nothing for this many seconds, also once it has gone; 0: "
     "off."},
    {CommandId::SystemLink, "SYSTem:LINK", A::Query, P::None,
     "What the link is doing, in the words of the panel's tooltip."},
    {CommandId::InstrumentNumber, "INSTrument:NSELect", A::Both, P::Channel,
     "The unit this client speaks to, by its number (1 to 8; 1 at connect): every command for "
     "one unit acts on it; a unit that is not there: -222."},
    {CommandId::InstrumentSelect, "INSTrument[:SELect]", A::Both, P::Name,
     "The unit this client speaks to, by its name: quoted (INST \"Unit 2\"), or bare when it is "
     "one word (INST Charger); the query answers it quoted."},
    {CommandId::InstrumentCatalog, "INSTrument:CATalog", A::Query, P::None,
     "The units' names in the order of their numbers, quoted, comma-separated: \"Unit 1\",\"Unit "
     "2\"."},
    {CommandId::InstrumentCouple, "INSTrument:COUPle", A::Both, P::Couple,
     "Coupled units take every set-point sent to any of them, checked against each one's limits "
     "first (past one: -222 naming the unit, nothing sent); ALL, NONE or the units' list."},
    {CommandId::Voltage, "[SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude]", A::Both, P::Volts,
     "The voltage set-point, to 0.1 V; past the model's or your own limit: -222, nothing sent."},
    {CommandId::Current, "[SOURce:]CURRent[:LEVel][:IMMediate][:AMPLitude]", A::Both, P::Amperes,
     "The current set-point, to 10 mA (5 mA on 1A/20V); past a limit: -222, nothing sent."},
    {CommandId::VoltageLimit, "[SOURce:]VOLTage:LIMit", A::Both, P::VoltsLimit,
     "Your own voltage limit; MAX, DEF or OFF removes it."},
    {CommandId::CurrentLimit, "[SOURce:]CURRent:LIMit", A::Both, P::AmperesLimit,
     "Your own current limit; MAX, DEF or OFF removes it."},
    {CommandId::Apply, "APPLy", A::Both, P::VoltsAmperes,
     "Both set-points; set-points changed in one line go out as one command."},
    {CommandId::OutputState, "OUTPut[:STATe]", A::Both, P::BooleanChannels,
     "OFF is Zero output; ON sends again the set-points in force before it; 0 while both are 0. "
     "With a channel list, on each unit it names, all in the same moment."},
    {CommandId::OutputMode, "OUTPut:MODE", A::Query, P::None,
     "CV or CC, inferred from the newest reading and the set-points."},
    {CommandId::OutputTripped, "OUTPut:PROTection:TRIPped", A::Query, P::None,
     "1 while a protection trip holds the output at zero."},
    {CommandId::OutputClearTrip, "OUTPut:PROTection:CLEar", A::Command, P::None,
     "Clears a trip: set-points may go to the unit again."},
    {CommandId::OutputTripAll, "OUTPut:PROTection:ALL", A::Both, P::Boolean,
     "ON: a trip on any unit zeroes every unit, each saying why; stored as [Bench] TripAll."},
    {CommandId::OutputTimer, "OUTPut:TIMer", A::Both, P::Seconds,
     "Zero output after this many seconds; 0 stops the off-timer; the query answers the seconds "
     "left."},
    {CommandId::MeasureVoltage, "MEASure[:SCALar]:VOLTage[:DC]", A::Query, P::OptionalChannels,
     "The newest reading's voltage (12.3); none for 2 s: 9.91E+37 and -230. With a channel list, "
     "each unit's, comma-separated in "
     "the list's order."},
    {CommandId::MeasureCurrent, "MEASure[:SCALar]:CURRent[:DC]", A::Query, P::OptionalChannels,
     "The newest reading's current (1.23); none for 2 s: 9.91E+37 and -230. With a channel list, "
     "each unit's, comma-separated in "
     "the list's order."},
    {CommandId::MeasurePower, "MEASure[:SCALar]:POWer[:DC]", A::Query, P::OptionalChannels,
     "The newest reading's voltage times current (15.129); none for 2 s: 9.91E+37 and -230. With a "
     "channel list, each unit's, comma-separated in "
     "the list's order."},
    {CommandId::FetchVoltage, "FETCh[:SCALar]:VOLTage[:DC]", A::Query, P::None,
     "As MEASure:VOLTage? without a channel list."},
    {CommandId::FetchCurrent, "FETCh[:SCALar]:CURRent[:DC]", A::Query, P::None,
     "As MEASure:CURRent? without a channel list."},
    {CommandId::FetchPower, "FETCh[:SCALar]:POWer[:DC]", A::Query, P::None,
     "As MEASure:POWer? without a channel list."},
    {CommandId::FetchAmpHours, "FETCh:AHOur", A::Query, P::None,
     "The charge delivered since the meters were reset, in ampere-hours."},
    {CommandId::FetchWattHours, "FETCh:WHOur", A::Query, P::None,
     "The energy delivered since the meters were reset, in watt-hours."},
    {CommandId::FetchTime, "FETCh:TIME", A::Query, P::None,
     "The seconds the meters have run since the meters were reset."},
    {CommandId::ResetCounts, "SENSe:AHOur:RESet", A::Command, P::None,
     "Starts the meters again: ampere-hours, watt-hours, time, lowest, highest and mean."},
    {CommandId::FetchVoltageMinimum, "FETCh:VOLTage:MINimum", A::Query, P::None,
     "The lowest voltage reading since the meters were reset."},
    {CommandId::FetchVoltageMaximum, "FETCh:VOLTage:MAXimum", A::Query, P::None,
     "The highest voltage reading since the meters were reset."},
    {CommandId::FetchVoltageMean, "FETCh:VOLTage:MEAN", A::Query, P::None,
     "The mean voltage reading since the meters were reset."},
    {CommandId::FetchCurrentMinimum, "FETCh:CURRent:MINimum", A::Query, P::None,
     "The lowest current reading since the meters were reset."},
    {CommandId::FetchCurrentMaximum, "FETCh:CURRent:MAXimum", A::Query, P::None,
     "The highest current reading since the meters were reset."},
    {CommandId::FetchCurrentMean, "FETCh:CURRent:MEAN", A::Query, P::None,
     "The mean current reading since the meters were reset."},
    {CommandId::FetchPowerMinimum, "FETCh:POWer:MINimum", A::Query, P::None,
     "The lowest power since the meters were reset."},
    {CommandId::FetchPowerMaximum, "FETCh:POWer:MAXimum", A::Query, P::None,
     "The highest power since the meters were reset."},
    {CommandId::FetchPowerMean, "FETCh:POWer:MEAN", A::Query, P::None,
     "The mean power since the meters were reset."},
    {CommandId::RecordFile, "RECord:FILE", A::Both, P::Text,
     "The record file: a bare name, no folder, as in the settings window."},
    {CommandId::RecordState, "RECord:STATe", A::Both, P::Boolean, "Starts or stops recording."},
    {CommandId::ProgramFile, "PROGram:FILE", A::Both, P::Text,
     "The control file: a bare name, no folder, as in the settings window."},
    {CommandId::ProgramState, "PROGram:STATe", A::Both, P::RunStop,
     "Starts or stops playing the control file."},
    {CommandId::ProgramProgress, "PROGram:PROGress", A::Query, P::None,
     "Commands sent and commands in the file: 3,12."},
    {CommandId::RunFile, "RUN:FILE", A::Both, P::Text,
     "The run file: a bare name, no folder, resolved as the control file's."},
    {CommandId::RunStateCommand, "RUN:STATe", A::Both, P::RunStop,
     "Checks and starts the run file, or stops the run (it ends as failed); the query answers "
     "IDLE, RUNNING, DONE or FAILED."},
    {CommandId::RunStep, "RUN:STEP", A::Query, P::None,
     "The step running (or the last that ran) and its line: 2,\"rest 10 s\"."},
    {CommandId::RunResult, "RUN:RESult", A::Query, P::None,
     "How the last run ended and its report's folder: DONE,\"charge-20261208-143000\"."},
};

// One word of a header pattern, e.g. "LEVel" from "[:LEVel]".
struct Node {
    QByteArrayView word;
    bool optional = false;
};

// No header in the table has more nodes than this; a longer pattern is cut.
constexpr qsizetype kMaxNodes = 8;
using Nodes = std::array<Node, kMaxNodes>;

qsizetype SplitHeader(QByteArrayView header, Nodes& nodes) {
    qsizetype count = 0;
    bool optional = false;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= header.size(); ++i) {
        const char c = i < header.size() ? header[i] : ':';
        if (c == ':' || c == '[' || c == ']') {
            if (start >= 0 && count < kMaxNodes)
                nodes[count++] = {header.sliced(start, i - start), optional};
            start = -1;
            if (c == '[') optional = true;
            if (c == ']') optional = false;
        } else if (start < 0) {
            start = i;
        }
    }
    return count;
}

bool MatchFrom(std::span<const QByteArrayView> typed, std::span<const Node> nodes) {
    if (nodes.empty()) return typed.empty();
    if (nodes.front().optional && MatchFrom(typed, nodes.subspan(1))) return true;
    return !typed.empty() && MnemonicMatches(typed.front(), nodes.front().word) &&
           MatchFrom(typed.subspan(1), nodes.subspan(1));
}

QByteArray ParamSyntax(ParamKind kind) {
    switch (kind) {
    case P::None:
        return {};
    case P::Number:
        return "<value>";
    case P::Volts:
        return "<volts>";
    case P::Amperes:
        return "<amperes>";
    case P::Seconds:
        return "<seconds>";
    case P::VoltsLimit:
        return "<volts>|OFF";
    case P::AmperesLimit:
        return "<amperes>|OFF";
    case P::VoltsAmperes:
        return "<volts>,<amperes>";
    case P::Boolean:
        return "ON|OFF";
    case P::Text:
        return "\"<name>\"";
    case P::RunStop:
        return "RUN|STOP";
    case P::Channel:
        return "<n>";
    case P::Name:
        return "<name>";
    case P::Couple:
        return "ALL|NONE|(@<list>)";
    case P::BooleanChannels:
        return "ON|OFF[,(@<list>)]";
    case P::OptionalChannels:
        return {};
    }
    return {};
}

// What a query takes, where the help shows it.
QByteArray QuerySyntax(ParamKind kind) {
    return kind == P::OptionalChannels ? "[(@<list>)]" : QByteArray();
}

} // namespace

std::span<const CommandInfo> Commands() {
    return kCommands;
}

const CommandInfo& InfoOf(CommandId id) {
    for (const CommandInfo& row : kCommands)
        if (row.id == id) return row;
    return kCommands[0]; // unreachable: every id has its row, which the tests check
}

bool MnemonicMatches(QByteArrayView typed, QByteArrayView word) {
    qsizetype shortLength = 0;
    while (shortLength < word.size() && !(word[shortLength] >= 'a' && word[shortLength] <= 'z'))
        ++shortLength;
    const auto same = [&](qsizetype length) {
        return typed.size() == length &&
               QByteArrayView(word.first(length)).compare(typed, Qt::CaseInsensitive) == 0;
    };
    return same(shortLength) || same(word.size());
}

bool HeaderMatches(std::span<const QByteArrayView> typed, QByteArrayView header) {
    Nodes nodes;
    const qsizetype count = SplitHeader(header, nodes);
    return MatchFrom(typed, std::span<const Node>(nodes.data(), size_t(count)));
}

QByteArray HelpHeadersBlock() {
    QByteArray lines;
    for (const CommandInfo& row : kCommands) {
        lines += row.header;
        if (row.access == Access::Query) lines += "?/qonly/";
        if (row.access == Access::Command) lines += "/nquery/";
        lines += '\n';
    }
    return DefiniteBlock(lines);
}

QString CommandListMarkdown() {
    QByteArray out;
    for (const CommandInfo& row : kCommands) {
        QByteArrayList forms;
        if (row.access != Access::Query) {
            const QByteArray params = ParamSyntax(row.params);
            forms += '`' + QByteArray(row.header) + (params.isEmpty() ? "" : " " + params) + '`';
        }
        if (row.access != Access::Command) {
            const QByteArray params = QuerySyntax(row.params);
            forms +=
                '`' + QByteArray(row.header) + '?' + (params.isEmpty() ? "" : " " + params) + '`';
        }
        out += "- " + forms.join(", ") + ": " + row.description + '\n';
    }
    return QString::fromLatin1(out);
}

} // namespace velmora::scpi
