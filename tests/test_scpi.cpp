// The remote-control language: lines read into calls and errors, the header
// paths, every table row by its forms, the help and README texts, the error
// queue, the answers' texts and the line reader.

#include "scpi/scpi_channels.h"
#include "scpi/scpi_errors.h"
#include "scpi/scpi_format.h"
#include "scpi/scpi_line.h"
#include "scpi/scpi_parser.h"
#include "scpi/scpi_table.h"

#include <QFile>
#include <QRegularExpression>
#include <cmath>
#include <gtest/gtest.h>

using namespace velmora::scpi;
using Id = CommandId;

namespace {

Unit C(Id id, QList<Value> values = {}) {
    return Call{id, false, values, {}};
}
Unit Q(Id id, QList<Value> values = {}) {
    return Call{id, true, values, {}};
}
Unit E(ErrorCode code) {
    return Error{code, {}};
}
Value L(QList<int> channels) {
    return ChannelList{channels};
}

std::string Brief(const Value& value) {
    if (const double* d = std::get_if<double>(&value))
        return QByteArray::number(*d, 'g', 17).toStdString();
    if (const bool* b = std::get_if<bool>(&value)) return *b ? "true" : "false";
    if (const QString* s = std::get_if<QString>(&value)) return '<' + s->toStdString() + '>';
    if (const RunStop* r = std::get_if<RunStop>(&value)) return *r == RunStop::Run ? "RUN" : "STOP";
    if (const auto* list = std::get_if<ChannelList>(&value))
        return FormatChannelList(*list).toStdString();
    if (const Coupling* c = std::get_if<Coupling>(&value))
        return *c == Coupling::All ? "ALL" : "NONE";
    const char* names[] = {"MIN", "MAX", "DEF", "OFF"};
    return names[int(std::get<Special>(value))];
}

// Calls by their table header and values, errors by their code alone.
std::string Brief(const QList<Unit>& units) {
    std::string out;
    for (const Unit& unit : units) {
        if (const Error* error = std::get_if<Error>(&unit)) {
            out += "error " + std::to_string(int(error->code)) + " | ";
            continue;
        }
        const Call& call = std::get<Call>(unit);
        out += InfoOf(call.id).header;
        if (call.query) out += '?';
        for (const Value& value : call.parameters)
            out += ' ' + Brief(value);
        out += " | ";
    }
    return out;
}

} // namespace

TEST(ScpiParser, ReadsLinesIntoCalls) {
    struct Case {
        QByteArray line;
        QList<Unit> units;
    };
    const Case cases[] = {
        {"*IDN?", {Q(Id::Identify)}},
        {"*idn?", {Q(Id::Identify)}},
        {"*RST;*CLS;*OPC;*OPC?;*WAI",
         {C(Id::Reset), C(Id::ClearStatus), C(Id::OperationComplete), Q(Id::OperationComplete),
          C(Id::Wait)}},
        {"*ESE 32;*ESE?;*SRE 0;*SRE?",
         {C(Id::EventEnable, {32.0}), Q(Id::EventEnable), C(Id::RequestEnable, {0.0}),
          Q(Id::RequestEnable)}},
        {"VOLT 5", {C(Id::Voltage, {5.0})}},
        {"volt 5V", {C(Id::Voltage, {5.0})}},
        {"VOLT 500 mV", {C(Id::Voltage, {0.5})}},
        {"VOLT 1.25e1", {C(Id::Voltage, {12.5})}},
        {"VOLT +.5", {C(Id::Voltage, {0.5})}},
        {"VOLT 5.", {C(Id::Voltage, {5.0})}},
        {"VOLT -2E-1 V", {C(Id::Voltage, {-0.2})}},
        {"CURR 500 MA", {C(Id::Current, {0.5})}},
        {"CURR 1.5A", {C(Id::Current, {1.5})}},
        {"VOLT MAX;VOLT minimum;CURR DEF",
         {C(Id::Voltage, {Special::Maximum}), C(Id::Voltage, {Special::Minimum}),
          C(Id::Current, {Special::Default})}},
        {"VOLT?;VOLT? MAX;CURR? def",
         {Q(Id::Voltage), Q(Id::Voltage, {Special::Maximum}), Q(Id::Current, {Special::Default})}},
        {"VOLT:LIM OFF;CURR:LIM 2;CURR:LIM MAX;VOLT:LIM?",
         {C(Id::VoltageLimit, {Special::Off}), C(Id::CurrentLimit, {2.0}),
          C(Id::CurrentLimit, {Special::Maximum}), Q(Id::VoltageLimit)}},
        {"APPL 12.5, 1.5;APPL 12.5V ,1500mA;APPL?",
         {C(Id::Apply, {12.5, 1.5}), C(Id::Apply, {12.5, 1.5}), Q(Id::Apply)}},
        {"OUTP ON;OUTP:STAT 0;outp off;output:state 1;OUTP?",
         {C(Id::OutputState, {true}), C(Id::OutputState, {false}), C(Id::OutputState, {false}),
          C(Id::OutputState, {true}), Q(Id::OutputState)}},
        {"OUTP:MODE?;:OUTP:PROT:TRIP?;:OUTP:PROT:CLE",
         {Q(Id::OutputMode), Q(Id::OutputTripped), C(Id::OutputClearTrip)}},
        {"OUTP:TIM 60;OUTP:TIM 1500 ms;OUTP:TIM?",
         {C(Id::OutputTimer, {60.0}), C(Id::OutputTimer, {1.5}), Q(Id::OutputTimer)}},
        {"SYST:WDOG 10;SYST:WDOG?;SYST:ERR?;SYST:ERR:NEXT?",
         {C(Id::SystemWatchdog, {10.0}), Q(Id::SystemWatchdog), Q(Id::SystemError),
          Q(Id::SystemError)}},
        // Measurements and the statistics under the same FETCh node.
        {"MEAS:VOLT?", {Q(Id::MeasureVoltage)}},
        {"MEAS:SCAL:VOLT:DC?", {Q(Id::MeasureVoltage)}},
        {"FETC:VOLT?", {Q(Id::FetchVoltage)}},
        {"FETC:VOLT:MIN?", {Q(Id::FetchVoltageMinimum)}},
        {"FETC:SCAL:POW?;:FETC:POW:MAX?;:FETC:CURR:MEAN?",
         {Q(Id::FetchPower), Q(Id::FetchPowerMaximum), Q(Id::FetchCurrentMean)}},
        {"SENS:AHO:RES", {C(Id::ResetCounts)}},
        {"REC:FILE \"run 1.dat\"", {C(Id::RecordFile, {QString("run 1.dat")})}},
        {"REC:FILE 'it''s'", {C(Id::RecordFile, {QString("it's")})}},
        {"REC:FILE \"say \"\"hi\"\"\"", {C(Id::RecordFile, {QString("say \"hi\"")})}},
        {"REC:FILE \"a;b\";REC:STAT ON",
         {C(Id::RecordFile, {QString("a;b")}), C(Id::RecordState, {true})}},
        {"REC:FILE ''", {C(Id::RecordFile, {QString("")})}},
        {"PROG:FILE \"plan.dat\";PROG:STAT RUN;prog:stat stop;PROG:STAT?;PROG:PROG?",
         {C(Id::ProgramFile, {QString("plan.dat")}), C(Id::ProgramState, {RunStop::Run}),
          C(Id::ProgramState, {RunStop::Stop}), Q(Id::ProgramState), Q(Id::ProgramProgress)}},
        // The bench: units by number and name, coupling, and channel lists.
        {"INST:NSEL 2;INST:NSEL?;INST:NSEL? MAX;INST:NSEL MIN",
         {C(Id::InstrumentNumber, {2.0}), Q(Id::InstrumentNumber),
          Q(Id::InstrumentNumber, {Special::Maximum}),
          C(Id::InstrumentNumber, {Special::Minimum})}},
        {"instrument:nselect 8;INST:NSEL 2.0;INST:NSEL +1e0",
         {C(Id::InstrumentNumber, {8.0}), C(Id::InstrumentNumber, {2.0}),
          C(Id::InstrumentNumber, {1.0})}},
        {"INST \"Unit 2\";INST:SEL UNIT2;inst:select 'a \"b\"';INST?;INST:SEL?",
         {C(Id::InstrumentSelect, {QString("Unit 2")}), C(Id::InstrumentSelect, {QString("UNIT2")}),
          C(Id::InstrumentSelect, {QString("a \"b\"")}), Q(Id::InstrumentSelect),
          Q(Id::InstrumentSelect)}},
        {"INST:CAT?;INST:NSEL 2;CAT?", // the path stays under INSTrument
         {Q(Id::InstrumentCatalog), C(Id::InstrumentNumber, {2.0}), Q(Id::InstrumentCatalog)}},
        {"INST:COUP ALL;INST:COUP none;INST:COUP (@1,3);INST:COUP?",
         {C(Id::InstrumentCouple, {Coupling::All}), C(Id::InstrumentCouple, {Coupling::None}),
          C(Id::InstrumentCouple, {L({1, 3})}), Q(Id::InstrumentCouple)}},
        {"OUTP OFF,(@1,2);OUTP ON,(@1:3);OUTP:STAT 1 , (@1,3:5);outp off,( @ 2 , 1 )",
         {C(Id::OutputState, {false, L({1, 2})}), C(Id::OutputState, {true, L({1, 2, 3})}),
          C(Id::OutputState, {true, L({1, 3, 4, 5})}), C(Id::OutputState, {false, L({2, 1})})}},
        {"OUTP OFF,(@1:8);OUTP ON,(@3,1:2);OUTP OFF,(@2:2)",
         {C(Id::OutputState, {false, L({1, 2, 3, 4, 5, 6, 7, 8})}),
          C(Id::OutputState, {true, L({3, 1, 2})}), C(Id::OutputState, {false, L({2})})}},
        {"MEAS:VOLT? (@1,2);CURR? (@1:3);POW? (@2);:MEAS:SCAL:VOLT:DC? (@8)",
         {Q(Id::MeasureVoltage, {L({1, 2})}), Q(Id::MeasureCurrent, {L({1, 2, 3})}),
          Q(Id::MeasurePower, {L({2})}), Q(Id::MeasureVoltage, {L({8})})}},
        {"OUTP:PROT:ALL ON;OUTP:PROT:ALL?;:OUTP:PROT:CLE;ALL 0",
         {C(Id::OutputTripAll, {true}), Q(Id::OutputTripAll), C(Id::OutputClearTrip),
          C(Id::OutputTripAll, {false})}},
        // White space and the message unit separator.
        {"  *IDN? ; VOLT?  ", {Q(Id::Identify), Q(Id::Voltage)}},
        {"VOLT\t5\r", {C(Id::Voltage, {5.0})}},
        {"*IDN?;", {Q(Id::Identify)}},
        {"", {}},
        {"   ", {}},
        // Errors stand in their unit's place; the other units are read on.
        {"VOLT 5;VOLTA 3;*IDN?",
         {C(Id::Voltage, {5.0}), E(ErrorCode::UndefinedHeader), Q(Id::Identify)}},
        {"*IDN?;;*RST", {Q(Id::Identify), E(ErrorCode::SyntaxError), C(Id::Reset)}},
        {"OUTP OFF,(@8:1);*IDN?", {E(ErrorCode::IllegalParameterValue), Q(Id::Identify)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        EXPECT_EQ(Brief(ParseLine(c.line)), Brief(c.units));
    }
}

TEST(ScpiParser, FollowsTheHeaderPath) {
    struct Case {
        QByteArray line;
        QList<Unit> units;
    };
    const Case cases[] = {
        {"SOUR:VOLT 5;CURR 1", {C(Id::Voltage, {5.0}), C(Id::Current, {1.0})}},
        {"MEAS:VOLT?;CURR?;POW?",
         {Q(Id::MeasureVoltage), Q(Id::MeasureCurrent), Q(Id::MeasurePower)}},
        {"FETC:AHO?;WHO?;TIME?", {Q(Id::FetchAmpHours), Q(Id::FetchWattHours), Q(Id::FetchTime)}},
        {"FETC:VOLT:MIN?;MAX?;MEAN?",
         {Q(Id::FetchVoltageMinimum), Q(Id::FetchVoltageMaximum), Q(Id::FetchVoltageMean)}},
        {"OUTP:PROT:CLE;TRIP?", {C(Id::OutputClearTrip), Q(Id::OutputTripped)}},
        // Common commands leave the path where it was.
        {"SOUR:VOLT 5;*OPC;CURR 1",
         {C(Id::Voltage, {5.0}), C(Id::OperationComplete), C(Id::Current, {1.0})}},
        // A leading colon starts from the root.
        {"MEAS:VOLT?;:VOLT 3", {Q(Id::MeasureVoltage), C(Id::Voltage, {3.0})}},
        {"MEAS:VOLT?;VOLT?", {Q(Id::MeasureVoltage), Q(Id::MeasureVoltage)}},
        // Nothing of that name under the path: looked up from the root.
        {"VOLT 5;OUTP ON", {C(Id::Voltage, {5.0}), C(Id::OutputState, {true})}},
        {"SOUR:VOLT:LIM 5;CURR:LIM 1", {C(Id::VoltageLimit, {5.0}), C(Id::CurrentLimit, {1.0})}},
        // An error leaves the path alone.
        {"MEAS:VOLT?;XYZ?;CURR?",
         {Q(Id::MeasureVoltage), E(ErrorCode::UndefinedHeader), Q(Id::MeasureCurrent)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        EXPECT_EQ(Brief(ParseLine(c.line)), Brief(c.units));
    }
}

TEST(ScpiParser, ReportsTheStandardErrors) {
    struct Case {
        QByteArray line;
        ErrorCode code;
    };
    const Case cases[] = {
        {"VOLTA 5", ErrorCode::UndefinedHeader},
        {"VOL 5", ErrorCode::UndefinedHeader},
        {"VOLTAGES 5", ErrorCode::UndefinedHeader},
        {"OUTP1 ON", ErrorCode::UndefinedHeader},
        {"*RST?", ErrorCode::UndefinedHeader},
        {"*IDN", ErrorCode::UndefinedHeader},
        {"MEAS:VOLT 5", ErrorCode::UndefinedHeader},
        {"SOUR:SOUR:VOLT 5", ErrorCode::UndefinedHeader},
        {"VOLT", ErrorCode::MissingParameter},
        {"VOLT ", ErrorCode::MissingParameter},
        {"APPL 5", ErrorCode::MissingParameter},
        {"REC:FILE", ErrorCode::MissingParameter},
        {"*RST 1", ErrorCode::ParameterNotAllowed},
        {"VOLT 5,6", ErrorCode::ParameterNotAllowed},
        {"MEAS:VOLT? 5", ErrorCode::ParameterNotAllowed},
        {"VOLT? MAX,MIN", ErrorCode::ParameterNotAllowed},
        {"VOLT? 5", ErrorCode::DataTypeError},
        {"VOLT \"5\"", ErrorCode::DataTypeError},
        {"REC:FILE 5", ErrorCode::DataTypeError},
        {"OUTP \"ON\"", ErrorCode::DataTypeError},
        {"PROG:STAT 1", ErrorCode::DataTypeError},
        {"VOLT #H1F", ErrorCode::DataTypeError},
        {"VOLT 5 A", ErrorCode::InvalidSuffix},
        {"VOLT 5 KV", ErrorCode::InvalidSuffix},
        {"CURR 1 V", ErrorCode::InvalidSuffix},
        {"OUTP:TIM 5 MIN", ErrorCode::InvalidSuffix},
        {"VOLT 5E", ErrorCode::InvalidSuffix},
        {"*ESE 5 V", ErrorCode::SuffixNotAllowed},
        {"OUTP 1 V", ErrorCode::SuffixNotAllowed},
        {"OUTP MAYBE", ErrorCode::InvalidCharacterData},
        {"VOLT ON", ErrorCode::InvalidCharacterData},
        {"VOLT OFF", ErrorCode::InvalidCharacterData},
        {"*ESE MAX", ErrorCode::InvalidCharacterData},
        {"PROG:STAT GO", ErrorCode::InvalidCharacterData},
        {"REC:FILE \"abc", ErrorCode::InvalidStringData},
        {"REC:FILE 'abc\"", ErrorCode::InvalidStringData},
        {"REC:FILE \"a;VOLT 5", ErrorCode::InvalidStringData},
        {"VOLT 1e999", ErrorCode::DataOutOfRange},
        {"VOLT 5 5", ErrorCode::InvalidSeparator},
        {"*IDN?*RST", ErrorCode::InvalidSeparator},
        {"MEAS:VOLT?MEAS:CURR?", ErrorCode::InvalidSeparator},
        {"VOLT,5", ErrorCode::InvalidSeparator},
        {"REC:FILE \"a\" \"b\"", ErrorCode::InvalidSeparator},
        {"VOLT 5.5.5", ErrorCode::SyntaxError},
        {"VOLT 5V2", ErrorCode::SyntaxError},
        {"VOLT +", ErrorCode::SyntaxError},
        {"VOLT ?", ErrorCode::SyntaxError},
        {"VOLT :", ErrorCode::SyntaxError},
        {"APPL 5,", ErrorCode::SyntaxError},
        {"APPL 5,,1", ErrorCode::SyntaxError},
        {"VOLT:", ErrorCode::SyntaxError},
        {"VOLT::LEV 5", ErrorCode::SyntaxError},
        {":", ErrorCode::SyntaxError},
        {"*", ErrorCode::SyntaxError},
        {"5", ErrorCode::SyntaxError},
        {";", ErrorCode::SyntaxError},
        {"?", ErrorCode::SyntaxError},
        // Bytes that have no place in a line: outside a string, then inside one.
        {QByteArray("VOLT 5\0", 7), ErrorCode::SyntaxError},
        {"VOLT\x01 5", ErrorCode::SyntaxError},
        {"VOLT 5\x7f", ErrorCode::SyntaxError},
        {"REC:FILE \"a\x01\"", ErrorCode::InvalidStringData},
        {"REC:FILE \"\xc3\xa4.dat\"", ErrorCode::InvalidStringData},
        {QByteArray(kMaxLineBytes + 1, ' '), ErrorCode::TooMuchData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        const QList<Unit> units = ParseLine(c.line);
        ASSERT_EQ(units.size(), 1);
        ASSERT_TRUE(FirstError(units));
        EXPECT_EQ(int(FirstError(units)->code), int(c.code));
    }
}

// Channel lists and unit numbers refused with the SCPI-99 codes: -171
// Invalid expression (the form), -222 Data out of range (past units 1 to 8),
// -224 Illegal parameter value (downward, twice, not whole), -223 Too much
// data (over 8 channels), -178 Expression data not allowed (a list where a
// command takes none).
TEST(ScpiParser, RefusesBadChannelListsAndUnitNumbers) {
    struct Case {
        QByteArray parameter;
        ErrorCode code;
    };
    const Case lists[] = {
        {"(@)", ErrorCode::InvalidExpression},
        {"( @ )", ErrorCode::InvalidExpression},
        {"(@1:)", ErrorCode::InvalidExpression},
        {"(@:2)", ErrorCode::InvalidExpression},
        {"(@1:2:3)", ErrorCode::InvalidExpression},
        {"(@1,2", ErrorCode::InvalidExpression},
        {"(@1,(2)", ErrorCode::InvalidExpression},
        {"(@1,,2)", ErrorCode::InvalidExpression},
        {"(@1,)", ErrorCode::InvalidExpression},
        {"(@,1)", ErrorCode::InvalidExpression},
        {"(1,2)", ErrorCode::InvalidExpression},
        {"()", ErrorCode::InvalidExpression},
        {"(@A)", ErrorCode::InvalidExpression},
        {"(@1V)", ErrorCode::InvalidExpression},
        {"(@1 2)", ErrorCode::InvalidExpression},
        {"(@1;2)", ErrorCode::InvalidExpression}, // the ';' ends the unit inside the list
        {"(@0)", ErrorCode::DataOutOfRange},
        {"(@9)", ErrorCode::DataOutOfRange},
        {"(@-1)", ErrorCode::DataOutOfRange},
        {"(@1e9)", ErrorCode::DataOutOfRange},
        {"(@1e999)", ErrorCode::DataOutOfRange},
        {"(@1:9)", ErrorCode::DataOutOfRange},
        {"(@0:2)", ErrorCode::DataOutOfRange},
        {"(@1:1000000000)", ErrorCode::DataOutOfRange},
        {"(@1.5)", ErrorCode::IllegalParameterValue},
        {"(@8:1)", ErrorCode::IllegalParameterValue},
        {"(@1,1,1)", ErrorCode::IllegalParameterValue},
        {"(@1:3,2)", ErrorCode::IllegalParameterValue},
        {"(@1:8,1)", ErrorCode::TooMuchData},
        {"(@1,1,1,1,1,1,1,1,1)", ErrorCode::IllegalParameterValue}, // twice, seen first
    };
    for (const Case& c : lists) {
        for (const QByteArray header : {"OUTP OFF,", "MEAS:VOLT? ", "INST:COUP "}) {
            SCOPED_TRACE((header + c.parameter).toStdString());
            const QList<Unit> units = ParseLine(header + c.parameter + ";*RST");
            ASSERT_TRUE(FirstError(units)) << "a line with a bad list runs nothing";
            EXPECT_EQ(int(FirstError(units)->code), int(c.code));
        }
    }
    const Case others[] = {
        {"INST:NSEL 0", ErrorCode::DataOutOfRange},
        {"INST:NSEL 9", ErrorCode::DataOutOfRange},
        {"INST:NSEL -1", ErrorCode::DataOutOfRange},
        {"INST:NSEL 1e9", ErrorCode::DataOutOfRange},
        {"INST:NSEL 1.5", ErrorCode::IllegalParameterValue},
        {"INST:NSEL 2 V", ErrorCode::SuffixNotAllowed},
        {"INST:NSEL \"2\"", ErrorCode::DataTypeError},
        {"INST:NSEL ON", ErrorCode::InvalidCharacterData},
        {"INST:NSEL (@2)", ErrorCode::ExpressionNotAllowed},
        {"INST:NSEL", ErrorCode::MissingParameter},
        {"INST:NSEL? 2", ErrorCode::DataTypeError},
        {"INST 5", ErrorCode::DataTypeError},
        {"INST (@1)", ErrorCode::ExpressionNotAllowed},
        {"INST", ErrorCode::MissingParameter},
        {"INST \"Unit 1\",\"Unit 2\"", ErrorCode::ParameterNotAllowed},
        {"INST:CAT? 1", ErrorCode::ParameterNotAllowed},
        {"INST:COUP 5", ErrorCode::DataTypeError},
        {"INST:COUP SOME", ErrorCode::InvalidCharacterData},
        {"INST:COUP", ErrorCode::MissingParameter},
        {"INST:COUP? (@1)", ErrorCode::ParameterNotAllowed},
        {"OUTP (@1,2)", ErrorCode::ExpressionNotAllowed},
        {"OUTP ON,5", ErrorCode::ParameterNotAllowed},
        {"OUTP ON,(@1),(@2)", ErrorCode::ParameterNotAllowed},
        {"OUTP? (@1)", ErrorCode::ParameterNotAllowed},
        {"OUTP:PROT:ALL MAYBE", ErrorCode::InvalidCharacterData},
        {"OUTP:PROT:ALL ON,(@1)", ErrorCode::ParameterNotAllowed},
        {"MEAS:VOLT? (@1),(@2)", ErrorCode::ParameterNotAllowed},
        {"MEAS:VOLT? (@1,2)x", ErrorCode::SyntaxError},
        {"FETC:VOLT? (@1)", ErrorCode::ParameterNotAllowed},
        {"VOLT (@1)", ErrorCode::ExpressionNotAllowed},
        {"VOLT? (@1)", ErrorCode::DataTypeError},
        {"REC:FILE (@1)", ErrorCode::ExpressionNotAllowed},
    };
    for (const Case& c : others) {
        SCOPED_TRACE(c.parameter.toStdString());
        const QList<Unit> units = ParseLine(c.parameter);
        ASSERT_EQ(units.size(), 1);
        ASSERT_TRUE(FirstError(units));
        EXPECT_EQ(int(FirstError(units)->code), int(c.code));
    }
}

// What SYSTem:ERRor? says of a bad list or unit: the code and what was wrong.
TEST(ScpiParser, ChannelListErrorsSayWhatIsWrong) {
    struct Case {
        QByteArray line;
        QByteArray entry;
    };
    const Case cases[] = {
        {"OUTP OFF,(@)", "-171,\"Invalid expression;an empty channel list or item\""},
        {"OUTP OFF,(@1:)", "-171,\"Invalid expression;the range 1: has no last channel\""},
        {"OUTP OFF,(@:2)", "-171,\"Invalid expression;a range without its first channel\""},
        {"OUTP OFF,(@1,2", "-171,\"Invalid expression;no closing parenthesis\""},
        {"OUTP OFF,(1)", "-171,\"Invalid expression;a channel list starts with (@\""},
        {"OUTP OFF,(@1,x)", "-171,\"Invalid expression;no channel number at 'x'\""},
        {"OUTP OFF,(@2 3)", "-171,\"Invalid expression;'3' in a channel list\""},
        {"OUTP OFF,(@9)", "-222,\"Data out of range;channel 9: the units are numbered 1 to 8\""},
        {"OUTP OFF,(@8:1)", "-224,\"Illegal parameter value;the range 8:1 runs downward\""},
        {"OUTP OFF,(@1,1,1)", "-224,\"Illegal parameter value;channel 1 named twice\""},
        {"OUTP OFF,(@1.5)", "-224,\"Illegal parameter value;channel 1.5 is no whole number\""},
        {"OUTP OFF,(@1:8,1)", "-223,\"Too much data;more than 8 channels\""},
        {"INST:NSEL 9", "-222,\"Data out of range;unit 9: the units are numbered 1 to 8\""},
        {"INST:NSEL 2.5", "-224,\"Illegal parameter value;unit 2.5 is no whole number\""},
        {"VOLT (@1)", "-178,\"Expression data not allowed;(@1)\""},
    };
    for (const Case& c : cases) {
        const QList<Unit> units = ParseLine(c.line);
        ASSERT_TRUE(FirstError(units)) << c.line.toStdString();
        EXPECT_EQ(FormatErrorEntry(*FirstError(units)), c.entry) << c.line.toStdString();
    }
}

// A list as an answer writes it reads back as the same list.
TEST(ScpiChannels, ListsReadInTheOrderWrittenAndFormatBack) {
    struct Case {
        QByteArray written;
        QList<int> channels;
        QByteArray formatted;
    };
    const Case cases[] = {
        {"(@1)", {1}, "(@1)"},
        {"(@1,2)", {1, 2}, "(@1,2)"},
        {"(@1:3)", {1, 2, 3}, "(@1,2,3)"},
        {"(@1,3:5)", {1, 3, 4, 5}, "(@1,3,4,5)"},
        {"(@5,1:2,8)", {5, 1, 2, 8}, "(@5,1,2,8)"},
        {"( @ 7 : 8 , 1 )", {7, 8, 1}, "(@7,8,1)"},
        {"(@+2,3.0,4e0)", {2, 3, 4}, "(@2,3,4)"},
        {"(@1:8)", {1, 2, 3, 4, 5, 6, 7, 8}, "(@1,2,3,4,5,6,7,8)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written.toStdString());
        const auto read = ReadChannelList(c.written);
        ASSERT_TRUE(std::holds_alternative<ChannelList>(read));
        EXPECT_EQ(std::get<ChannelList>(read).channels, c.channels);
        EXPECT_EQ(FormatChannelList(std::get<ChannelList>(read)), c.formatted);
        EXPECT_EQ(ReadChannelList(c.formatted), read);
    }
}

TEST(ScpiParser, TakesALineOfTheLongestLength) {
    QByteArray line = "VOLT 5";
    line += QByteArray(kMaxLineBytes - line.size(), ' ');
    EXPECT_EQ(Brief(ParseLine(line)), Brief({C(Id::Voltage, {5.0})}));
}

TEST(ScpiParser, ErrorsTellWhatWasTyped) {
    const QList<Unit> units = ParseLine("SOUR:VOLTA 5;VOLT 5\x01;VOLT 5 A");
    ASSERT_EQ(units.size(), 3);
    EXPECT_EQ(std::get<Error>(units[0]).detail, "SOUR:VOLTA");
    EXPECT_EQ(std::get<Error>(units[1]).detail, "byte 0x01");
    EXPECT_EQ(std::get<Error>(units[2]).detail, "5 A");
}

// Every row is reached by its long form, its short form with all optional
// nodes, and its shortest form, as a command and as a query as it allows.
TEST(ScpiTable, EveryRowIsReachedByItsForms) {
    const auto sample = [](ParamKind kind) -> QByteArray {
        switch (kind) {
        case ParamKind::None:
            return "";
        case ParamKind::VoltsAmperes:
            return " 1,1";
        case ParamKind::Boolean:
            return " ON";
        case ParamKind::Text:
            return " \"x\"";
        case ParamKind::Name:
            return " UNIT2";
        case ParamKind::Couple:
            return " NONE";
        case ParamKind::RunStop:
            return " RUN";
        default:
            return " 1";
        }
    };
    for (const CommandInfo& row : Commands()) {
        const QString header = QString::fromLatin1(row.header);
        QString everyNode = header;
        everyNode.remove(u'[').remove(u']');
        QString shortest = header;
        shortest.remove(QRegularExpression(QStringLiteral("\\[[^]]*\\]")));
        const QString forms[] = {everyNode.toLower(), everyNode.remove(QRegularExpression("[a-z]")),
                                 shortest.remove(QRegularExpression("[a-z]"))};
        for (const QString& form : forms) {
            SCOPED_TRACE(form.toStdString());
            if (row.access != Access::Query) {
                const QList<Unit> units = ParseLine(form.toLatin1() + sample(row.params));
                ASSERT_EQ(units.size(), 1);
                ASSERT_TRUE(std::holds_alternative<Call>(units[0])) << Brief(units);
                EXPECT_EQ(std::get<Call>(units[0]).id, row.id);
            }
            if (row.access != Access::Command) {
                const QList<Unit> units = ParseLine(form.toLatin1() + '?');
                ASSERT_EQ(units.size(), 1);
                ASSERT_TRUE(std::holds_alternative<Call>(units[0])) << Brief(units);
                EXPECT_EQ(std::get<Call>(units[0]).id, row.id);
                EXPECT_TRUE(std::get<Call>(units[0]).query);
            }
        }
    }
}

TEST(ScpiTable, EveryIdHasItsRow) {
    for (int id = 0; id <= int(Id::OutputTripAll); ++id)
        EXPECT_EQ(int(InfoOf(Id(id)).id), id);
    EXPECT_EQ(Commands().size(), size_t(Id::OutputTripAll) + 1);
}

TEST(ScpiTable, HelpListsEveryHeaderInABlock) {
    const QByteArray block = HelpHeadersBlock();
    ASSERT_TRUE(block.startsWith('#'));
    const int digits = block.at(1) - '0';
    const QByteArray data = block.mid(2 + digits);
    EXPECT_EQ(block.mid(2, digits).toInt(), data.size());
    EXPECT_EQ(data.count('\n'), qsizetype(Commands().size()));
    EXPECT_TRUE(data.startsWith("*IDN?/qonly/\n*RST/nquery/\n*CLS/nquery/\n*ESR?/qonly/\n*ESE\n"));
    EXPECT_TRUE(data.contains("\n[SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude]\n"));
    EXPECT_TRUE(data.contains("\nFETCh[:SCALar]:VOLTage[:DC]?/qonly/\n"));
    EXPECT_TRUE(data.contains("\nSYSTem:LINK?/qonly/\nINSTrument:NSELect\nINSTrument[:SELect]\n"
                              "INSTrument:CATalog?/qonly/\nINSTrument:COUPle\n"));
    EXPECT_TRUE(data.contains("\nOUTPut:PROTection:CLEar/nquery/\nOUTPut:PROTection:ALL\n"));
    EXPECT_TRUE(data.endsWith("\nRUN:RESult?/qonly/\n"));
}

TEST(ScpiTable, ReadmeListHasOneItemPerRow) {
    const QStringList lines = CommandListMarkdown().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), qsizetype(Commands().size()));
    // How each form is written: queries with "?", commands with their parameters.
    EXPECT_TRUE(lines.first().startsWith("- `*IDN?`: "));
    EXPECT_TRUE(lines.contains("- `OUTPut[:STATe] ON|OFF[,(@<list>)]`, `OUTPut[:STATe]?`: OFF is "
                               "Zero output; ON sends again the set-points in force before it; 0 "
                               "while both are 0. With a channel list, on each unit it names, all "
                               "in the same moment."));
    EXPECT_TRUE(lines.contains("- `INSTrument:NSELect <n>`, `INSTrument:NSELect?`: The unit this "
                               "client speaks to, by its number (1 to 8; 1 at connect): every "
                               "command for one unit acts on it; a unit that is not there: -222."));
    EXPECT_TRUE(lines.contains(
        "- `INSTrument:COUPle ALL|NONE|(@<list>)`, `INSTrument:COUPle?`: Coupled units take every "
        "set-point sent to any of them, checked against each one's limits first (past one: -222 "
        "naming the unit, nothing sent); ALL, NONE or the units' list."));
    const qsizetype measure = lines.indexOf(
        "- `MEASure[:SCALar]:CURRent[:DC]? [(@<list>)]`: The newest reading's current (1.23); none "
        "for 2 s: 9.91E+37 and -230. With a channel list, each unit's, comma-separated in the "
        "list's order.");
    EXPECT_GT(measure, 0);
    EXPECT_TRUE(lines.contains("- `APPLy <volts>,<amperes>`, `APPLy?`: Both set-points; set-points "
                               "changed in one line go out as one command."));
}

TEST(ScpiErrors, EntriesAsTheQueueAnswers) {
    struct Case {
        Error error;
        QByteArray entry;
    };
    const Case cases[] = {
        {{}, "0,\"No error\""},
        {{ErrorCode::UndefinedHeader, {}}, "-113,\"Undefined header\""},
        {{ErrorCode::DataOutOfRange, "VOLT 30 above 25.0 V"},
         "-222,\"Data out of range;VOLT 30 above 25.0 V\""},
        {{ErrorCode::QueryUnterminated, {}}, "-420,\"Query UNTERMINATED\""},
        // The detail never ends the quoted string nor the line.
        {{ErrorCode::SyntaxError, "a\"b\nc\xe4"}, "-102,\"Syntax error;a'b; c\\ufffd\""},
        {{ErrorCode::SyntaxError, QString(kMaxDetailChars + 40, u'x')},
         "-102,\"Syntax error;" + QByteArray(kMaxDetailChars, 'x') + '"'},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatErrorEntry(c.error), c.entry);
}

TEST(ScpiErrors, AFullQueueEndsInOverflow) {
    ErrorQueue queue;
    for (int i = 0; i < ErrorQueue::kCapacity + 5; ++i)
        queue.Push({ErrorCode::SyntaxError, QString::number(i)});
    ASSERT_EQ(queue.Size(), ErrorQueue::kCapacity);
    for (int i = 0; i < ErrorQueue::kCapacity - 1; ++i)
        EXPECT_EQ(queue.Pop(), (Error{ErrorCode::SyntaxError, QString::number(i)}));
    EXPECT_EQ(queue.Pop(), (Error{ErrorCode::QueueOverflow, {}}));
    EXPECT_EQ(queue.Pop(), Error{});
    // Room again: new errors are kept.
    queue.Push({ErrorCode::DataStale, {}});
    EXPECT_EQ(queue.Pop().code, ErrorCode::DataStale);
}

TEST(ScpiFormat, AnswerTexts) {
    struct Case {
        QByteArray text;
        QByteArray expected;
    };
    const Case cases[] = {
        {FormatNumber(12.3, 1), "12.3"},
        {FormatNumber(1.23, 2), "1.23"},
        {FormatNumber(15.129, 3), "15.129"},
        {FormatNumber(0, 0), "0"},
        {FormatNumber(-1.5, 1), "-1.5"},
        {FormatNumber(-10, 0), "-10"},
        {FormatNumber(-0.001, 2), "0.00"},
        {FormatNumber(-0.4, 0), "0"},
        {FormatNumber(1e20, 0), "100000000000000000000"},
        {FormatNumber(std::nan(""), 2), "9.91E+37"},
        {FormatBool(true), "1"},
        {FormatBool(false), "0"},
        {FormatString("run.dat"), "\"run.dat\""},
        {FormatString("say \"hi\""), "\"say \"\"hi\"\"\""},
        {FormatString(""), "\"\""},
        // 7-bit ASCII, which every client decodes: a dash between words as
        // "-", a backslash doubled, anything else as its Unicode number.
        {FormatString(QString::fromUtf8("\xc3\xa4")), "\"\\u00e4\""},
        {FormatString(QString::fromUtf8("COM2 \xe2\x80\x93 /dev/ttyS1: open")),
         "\"COM2 - /dev/ttyS1: open\""},
        {FormatString(QString::fromUtf8("a\\b\tc\xf0\x9f\x94\x8c")),
         "\"a\\\\b\\u0009c\\U0001f50c\""},
        {DefiniteBlock(""), "#10"},
        {DefiniteBlock("abc"), "#13abc"},
        {DefiniteBlock(QByteArray(12, 'a')), "#212aaaaaaaaaaaa"},
        {AnswerLine({}), ""},
        {AnswerLine({"1"}), "1\n"},
        {AnswerLine({"1", "2.5", "\"x\""}), "1;2.5;\"x\"\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.text, c.expected);
}

// What the client writes reads back as a string parameter, unchanged.
TEST(ScpiFormat, StringsReadBackThroughTheParser) {
    for (const QString& text :
         {QString("a"), QString("it's \"so\""), QString("''\"\""), QString(" ; , ")}) {
        const QList<Unit> units = ParseLine("REC:FILE " + FormatString(text));
        ASSERT_EQ(units.size(), 1);
        EXPECT_EQ(std::get<Call>(units[0]).parameters, QList<Value>{text});
    }
}

TEST(ScpiLineReader, CutsBytesIntoLines) {
    using Line = LineReader::Line;
    const QByteArray longest(kMaxLineBytes, 'x');
    struct Case {
        const char* name;
        QByteArrayList chunks;
        QList<Line> lines;
    };
    const Case cases[] = {
        {"lf", {"*IDN?\n"}, {{"*IDN?"}}},
        {"pieces", {"*ID", "N?\r", "\n"}, {{"*IDN?"}}},
        {"several", {"A\nB\r\nC"}, {{"A"}, {"B"}}},
        {"empty", {"\n\r\n"}, {{""}, {""}}},
        {"bareCr", {"A\rB\n"}, {{"A\rB"}}},
        {"longest", {longest + "\r\n"}, {{longest}}},
        {"oneOver", {longest + "x\n"}, {{{}, true}}},
        {"oneOverCrLf", {longest + "x\r\n", "OK\n"}, {{{}, true}, {"OK"}}},
        {"overInPieces", {longest, longest, longest + "\nOK\n"}, {{{}, true}, {"OK"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LineReader reader;
        QList<Line> lines;
        for (const QByteArray& chunk : c.chunks) {
            reader.Append(chunk);
            while (const auto line = reader.Next())
                lines.append(*line);
            EXPECT_LE(reader.Pending(), kMaxLineBytes + 1);
        }
        ASSERT_EQ(lines.size(), c.lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].text, c.lines[i].text);
            EXPECT_EQ(lines[i].tooLong, c.lines[i].tooLong);
        }
    }
}

// The README's list of remote commands is the table's own.
TEST(ScpiTable, TheReadmeListsEveryCommandAsTheTableDoes) {
    QFile readme(QStringLiteral(VELMORA_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const QString begin = QStringLiteral("<!-- remote commands: from the command table -->\n");
    const QString end = QStringLiteral("<!-- end of the remote commands -->");
    const qsizetype from = text.indexOf(begin);
    const qsizetype to = text.indexOf(end);
    ASSERT_GE(from, 0);
    ASSERT_GT(to, from);
    const QString listed = text.mid(from + begin.size(), to - from - begin.size());
    EXPECT_EQ(listed.toStdString(), velmora::scpi::CommandListMarkdown().toStdString());
}
