#pragma once
// The one table of remote commands: the parser matches headers against it,
// and the help answer and the README's command list are written from it.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <span>

namespace velmora::scpi {

/// Every command the program knows, one per row of the table.
enum class CommandId {
    Identify,          // *IDN?
    Reset,             // *RST
    ClearStatus,       // *CLS
    EventStatus,       // *ESR?
    EventEnable,       // *ESE, *ESE?
    StatusByte,        // *STB?
    RequestEnable,     // *SRE, *SRE?
    OperationComplete, // *OPC, *OPC?
    Wait,              // *WAI
    SelfTest,          // *TST?
    SystemError,
    SystemVersion,
    SystemHelpHeaders,
    SystemWatchdog,
    SystemLink,
    Voltage,
    Current,
    VoltageLimit,
    CurrentLimit,
    Apply,
    OutputState,
    OutputMode,
    OutputTripped,
    OutputClearTrip,
    OutputTimer,
    MeasureVoltage,
    MeasureCurrent,
    MeasurePower,
    FetchVoltage,
    FetchCurrent,
    FetchPower,
    FetchAmpHours,
    FetchWattHours,
    FetchTime,
    ResetCounts,
    FetchVoltageMinimum,
    FetchVoltageMaximum,
    FetchVoltageMean,
    FetchCurrentMinimum,
    FetchCurrentMaximum,
    FetchCurrentMean,
    FetchPowerMinimum,
    FetchPowerMaximum,
    FetchPowerMean,
    RecordFile,
    RecordState,
    ProgramFile,
    ProgramState,
    ProgramProgress,
    RunFile,
    RunStateCommand,
    RunStep,
    RunResult,
    InstrumentNumber,  // INSTrument:NSELect, the client's unit by number
    InstrumentSelect,  // INSTrument[:SELect], the client's unit by name
    InstrumentCatalog, // INSTrument:CATalog?
    InstrumentCouple,  // INSTrument:COUPle
    OutputTripAll,     // OUTPut:PROTection:ALL
};

/// Whether a header is a command, a query (ends in `?`), or both.
enum class Access { Command, Query, Both };

/// What the command form takes. The query form of the numeric kinds
/// (Volts to AmperesLimit, and Channel) takes nothing or one of MIN, MAX,
/// DEF; that of OptionalChannels nothing or a channel list; every other
/// query takes nothing.
enum class ParamKind {
    None,
    Number,       // a plain decimal number, no unit: *ESE 32
    Volts,        // a number in V (or mV), or MIN|MAX|DEF
    Amperes,      // a number in A (or mA), or MIN|MAX|DEF
    Seconds,      // a number in s (or ms), or MIN|MAX|DEF
    VoltsLimit,   // as Volts, or OFF
    AmperesLimit, // as Amperes, or OFF
    VoltsAmperes, // two: as Volts, then as Amperes
    Boolean,      // ON|OFF|1|0; a number that does not round to 0 is ON
    Text,         // a quoted string
    RunStop,      // RUN|STOP
    // The units of a bench: which one, by number or name, and lists of them.
    Channel,          // a unit's number, a whole 1 to 8, or MIN|MAX|DEF: INST:NSEL 2
    Name,             // a unit's name, a quoted string or one word: INST "Unit 2", INST UNIT2
    Couple,           // ALL|NONE or a channel list: INST:COUP (@1,2)
    BooleanChannels,  // as Boolean, then a channel list or nothing: OUTP OFF,(@1:3)
    OptionalChannels, // for a query: a channel list or nothing: MEAS:VOLT? (@1,2)
};

/// One row: the header in SCPI notation (long form, its short form in
/// capitals, optional nodes in brackets), what it takes, and what it does.
struct CommandInfo {
    CommandId id;
    const char* header;
    Access access;
    ParamKind params;
    const char* description;
};

/// The table, in the order the help and the README list it.
std::span<const CommandInfo> Commands();
/// The row of a command.
const CommandInfo& InfoOf(CommandId id);

/// Whether a typed mnemonic is the long or the short form of a word in
/// SCPI notation ("VOLT", "voltage" for "VOLTage"; not "VOLTA"),
/// regardless of case.
bool MnemonicMatches(QByteArrayView typed, QByteArrayView word);

/// Whether the typed mnemonics, in order, spell the header, with or
/// without each of its optional nodes. A common command ("*IDN") is one
/// mnemonic, star included.
bool HeaderMatches(std::span<const QByteArrayView> typed, QByteArrayView header);

/// The answer to SYSTem:HELP:HEADers?: a definite-length block (`#<n><len>`
/// then the data), the data one header a line, each ending in LF: a query
/// only header ends in `?/qonly/`, a command only header in `/nquery/`, and
/// one that is both stands alone.
QByteArray HelpHeadersBlock();

/// The README's command list: a Markdown list, one item per row:
/// "- `OUTPut[:STATe] ON|OFF`, `OUTPut[:STATe]?`: Switches the output on or off."
QString CommandListMarkdown();

} // namespace velmora::scpi
