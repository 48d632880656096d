// What each remote command does to the session, and what each query answers.

#include "core/command_line.h"
#include "link/link_status.h"
#include "meters/meter_text.h"
#include "remote/scpi_client.h"
#include "remote/scpi_values.h"
#include "scpi/scpi_format.h"
#include "session/session.h"

#include <QFileInfo>
#include <cmath>

namespace velmora {

using namespace scpi;

namespace {

// A measurement older than this is no answer to "what does the unit read now".
constexpr qint64 kStaleNs = 2'000'000'000;

QByteArray Number(qint64 value) {
    return QByteArray::number(value);
}

// Each quantity's lowest, highest and mean are asked for in that order.
static_assert(int(CommandId::FetchVoltageMean) - int(CommandId::FetchVoltageMinimum) == 2 &&
              int(CommandId::FetchCurrentMean) - int(CommandId::FetchCurrentMinimum) == 2 &&
              int(CommandId::FetchPowerMean) - int(CommandId::FetchPowerMinimum) == 2);

// The lowest (0), highest (1) or mean (2) of a spread kept in steps of
// 1/`perUnit`: the extremes with the unit's places, the mean with more.
QByteArray SpreadNumber(const Spread& spread, int which, double perUnit, int places,
                        int meanPlaces) {
    if (which == 0) return FormatNumber(spread.min / perUnit, places);
    if (which == 1) return FormatNumber(spread.max / perUnit, places);
    return FormatNumber(spread.mean / perUnit, meanPlaces);
}

} // namespace

std::optional<QByteArray> ScpiClient::query(const Call& call) {
    const Value* given = call.parameters.isEmpty() ? nullptr : &call.parameters.first();
    const UnitControl& unit = selected().unit();
    switch (call.id) {
    case CommandId::Identify:
    case CommandId::InstrumentNumber:
    case CommandId::InstrumentSelect:
    case CommandId::InstrumentCatalog:
    case CommandId::InstrumentCouple:
    case CommandId::OutputTripAll:
        return benchQuery(call);
    case CommandId::EventStatus: {
        const quint8 esr = esr_;
        esr_ = 0;
        return Number(esr);
    }
    case CommandId::EventEnable:
        return Number(ese_);
    case CommandId::RequestEnable:
        return Number(sre_);
    case CommandId::StatusByte:
        return Number(statusByte());
    case CommandId::SelfTest:
        return QByteArray("0");
    case CommandId::SystemError:
        return FormatErrorEntry(errors_.Pop());
    case CommandId::SystemVersion:
        return QByteArray("1999.0");
    case CommandId::SystemHelpHeaders:
        return HelpHeadersBlock();
    case CommandId::SystemWatchdog:
        return FormatNumber(watchdogSeconds_, 1);
    case CommandId::SystemLink:
        return FormatString(bench_.count() == 1
                                ? LinkStatusText(unit.linkStatus())
                                : refusal(selectedNumber(), LinkStatusText(unit.linkStatus())));
    case CommandId::Voltage:
        return VoltsAnswer(given ? RemoteVoltage(*given, unit.model(), unit.userLimits())
                                 : lineSetpoints().voltage);
    case CommandId::Current:
        return AmperesAnswer(given ? RemoteCurrent(*given, unit.model(), unit.userLimits())
                                   : lineSetpoints().current);
    case CommandId::VoltageLimit:
        return VoltsAnswer(unit.setpointLimits().voltage);
    case CommandId::CurrentLimit:
        return AmperesAnswer(unit.setpointLimits().current);
    case CommandId::Apply:
        return VoltsAnswer(lineSetpoints().voltage) + ',' + AmperesAnswer(lineSetpoints().current);
    case CommandId::OutputState:
        return FormatBool(lineSetpoints() != Setpoints{});
    case CommandId::MeasureVoltage:
    case CommandId::MeasureCurrent:
    case CommandId::MeasurePower:
        if (given) return measurements(call.id, std::get<ChannelList>(*given));
        return measurement(call.id);
    case CommandId::FetchVoltage:
    case CommandId::FetchCurrent:
    case CommandId::FetchPower:
        return measurement(call.id);
    case CommandId::RecordFile:
        return FormatString(selected().recordFileName());
    case CommandId::RecordState:
        return FormatBool(selected().recording());
    case CommandId::ProgramFile:
        return FormatString(selected().controlFileName());
    case CommandId::ProgramState:
        return QByteArray(selected().playerState() == Player::State::Running ? "RUN" : "STOP");
    case CommandId::ProgramProgress: {
        const PlaybackProgress& progress = selected().playbackProgress();
        return Number(progress.sent) + ',' + Number(progress.total);
    }
    case CommandId::RunFile:
        return FormatString(selected().runFileName());
    case CommandId::RunStateCommand:
        return QByteArray(RunStateName(selected().runs().state()));
    case CommandId::RunStep: {
        const RunStatus status = selected().runs().status();
        return Number(status.step) + ',' + FormatString(status.stepText);
    }
    case CommandId::RunResult: {
        const QString folder = selected().runs().reportFolder();
        return QByteArray(RunStateName(selected().runs().state())) + ',' +
               FormatString(QFileInfo(folder).fileName());
    }
    case CommandId::OutputTripped:
        return FormatBool(selected().tripped());
    case CommandId::OutputTimer:
        return Number(selected().offTimerRemaining());
    default:
        return meterQuery(call.id);
    }
}

std::optional<QByteArray> ScpiClient::meterQuery(CommandId id) {
    const MeterReadings r = selected().meterReadings();
    if (r.frames == 0 || (id == CommandId::OutputMode && !selected().regulation()))
        return stale(QStringLiteral("nothing measured yet"));
    switch (id) {
    case CommandId::OutputMode:
        return QByteArray(RegulationName(*selected().regulation()));
    case CommandId::FetchAmpHours:
        return AmpHoursNumber(r.ampHours).toLatin1();
    case CommandId::FetchWattHours:
        return WattHoursNumber(r.wattHours).toLatin1();
    case CommandId::FetchTime:
        return SecondsNumber(r.runNs).toLatin1();
    case CommandId::FetchVoltageMinimum:
    case CommandId::FetchVoltageMaximum:
    case CommandId::FetchVoltageMean:
        return SpreadNumber(r.decivolts, int(id) - int(CommandId::FetchVoltageMinimum), 10.0, 1, 3);
    case CommandId::FetchCurrentMinimum:
    case CommandId::FetchCurrentMaximum:
    case CommandId::FetchCurrentMean:
        return SpreadNumber(r.centiamps, int(id) - int(CommandId::FetchCurrentMinimum), 100.0, 2,
                            4);
    case CommandId::FetchPowerMinimum:
    case CommandId::FetchPowerMaximum:
    case CommandId::FetchPowerMean:
        return SpreadNumber(r.milliwatts, int(id) - int(CommandId::FetchPowerMinimum), 1000.0, 3,
                            4);
    default:
        break;
    }
    fail(ErrorCode::UndefinedHeader);
    return std::nullopt;
}

// A query with nothing fresh to answer still answers, with SCPI's
// not-a-number, so no client waits for its time-out; the error says why.
QByteArray ScpiClient::stale(const QString& why) {
    fail(ErrorCode::DataStale, why);
    return FormatNumber(std::nan(""), 0);
}

void ScpiClient::command(const Call& call) {
    const auto& p = call.parameters;
    if (benchCommand(call)) return;
    switch (call.id) {
    case CommandId::Reset:
        return reset();
    case CommandId::ClearStatus:
        errors_.Clear();
        esr_ = 0;
        return;
    case CommandId::EventEnable:
    case CommandId::RequestEnable: {
        const auto mask = RegisterValue(p.first());
        if (!mask) return fail(ErrorCode::DataOutOfRange, QStringLiteral("0 to 255"));
        (call.id == CommandId::EventEnable ? ese_ : sre_) = *mask;
        return;
    }
    case CommandId::SystemWatchdog: {
        const auto seconds = WatchdogValue(p.first());
        if (!seconds) return fail(ErrorCode::DataOutOfRange, QStringLiteral("0 to 86400 s"));
        watchdogSeconds_ = *seconds;
        emit watchdogChanged(watchdogSeconds_);
        return;
    }
    case CommandId::Voltage:
    case CommandId::Current:
        return setpoint(call.id == CommandId::Voltage, p.first());
    case CommandId::Apply:
        setpoint(true, p.at(0));
        return setpoint(false, p.at(1));
    case CommandId::VoltageLimit:
    case CommandId::CurrentLimit:
        return limit(call.id == CommandId::VoltageLimit, p.first());
    case CommandId::RecordFile:
    case CommandId::RecordState:
    case CommandId::ProgramFile:
    case CommandId::ProgramState:
    case CommandId::RunFile:
        return fileCommand(call);
    case CommandId::RunStateCommand:
        return runCommand(std::get<RunStop>(p.first()));
    case CommandId::ResetCounts:
        return selected().resetMeters();
    case CommandId::OutputClearTrip:
        return selected().clearTrip();
    case CommandId::OutputTimer: {
        const auto seconds = WatchdogValue(p.first());
        if (!seconds) return fail(ErrorCode::DataOutOfRange, QStringLiteral("0 to 86400 s"));
        return selected().startOffTimer(qint64(std::ceil(*seconds)));
    }
    default:
        break;
    }
    fail(ErrorCode::UndefinedHeader, QString::fromLatin1(call.header));
}

void ScpiClient::setpoint(bool voltage, const Value& value) {
    const UnitControl& unit = selected().unit();
    if (voltage)
        pending_.voltage = RemoteVoltage(value, unit.model(), unit.userLimits());
    else
        pending_.current = RemoteCurrent(value, unit.model(), unit.userLimits());
}

void ScpiClient::limit(bool voltage, const Value& value) {
    UnitControl& unit = selected().unit();
    if (unit.model() == Model::None)
        return fail(ErrorCode::SettingsConflict, QStringLiteral("no model chosen"));
    UserLimits limits = unit.userLimits();
    if (voltage) {
        const auto reading = ReadVoltageLimit(unit.model(), value);
        if (!reading.ok) return fail(ErrorCode::DataOutOfRange, reading.detail);
        limits.voltage = reading.value;
    } else {
        const auto reading = ReadCurrentLimit(unit.model(), value);
        if (!reading.ok) return fail(ErrorCode::DataOutOfRange, reading.detail);
        limits.current = reading.value;
    }
    // A set-point it lowers goes out with the line's others, once, at its end.
    const LimitChange change = unit.setUserLimits(limits, false);
    if (change.voltageLoweredTo && !pending_.voltage) pending_.voltage = change.voltageLoweredTo;
    if (change.currentLoweredTo && !pending_.current) pending_.current = change.currentLoweredTo;
    if (!change.stored)
        fail(ErrorCode::ExecutionError,
             QStringLiteral("the limit holds until the program ends: %1 cannot be written")
                 .arg(selected().settingsFileName()));
}

// OFF zeroes the output now, the line's set-points before it with it; ON asks
// at the line's end for the set-points in force before the output was zeroed.
void ScpiClient::output(bool on) {
    UnitControl& unit = selected().unit();
    if (!on) {
        pending_ = {};
        return ask(selectedNumber(), SetpointSource::ZeroOutput, {});
    }
    const std::optional<Setpoints> before = unit.setpointsBeforeZero();
    if (!before || lineSetpoints() != Setpoints{}) return;
    pending_ = {before->voltage, before->current};
}

// *RST: every unit's output zeroed (each zero queued in this one turn) and
// its set-points to return to forgotten, unit 1 selected, the error queue
// emptied.
void ScpiClient::reset() {
    pending_ = {};
    for (int n = 1; n <= bench_.count(); ++n) {
        ask(n, SetpointSource::ZeroOutput, {});
        bench_.at(n).unit().forgetSetpointsBeforeZero();
    }
    selected_ = 1;
    errors_.Clear();
}

std::optional<QByteArray> ScpiClient::measurement(CommandId id) {
    return measurementOf(selectedNumber(), id);
}

QByteArray ScpiClient::measurementOf(int number, CommandId id) {
    const Session& unit = bench_.at(number);
    const std::optional<Measurement>& last = unit.lastMeasurement();
    if (!last || !last->values || unit.clock().monotonicNs() - last->atNs > kStaleNs)
        return stale(refusal(number, QStringLiteral("no readable frame for 2 s")));
    const Values v = *last->values;
    switch (id) {
    case CommandId::MeasureVoltage:
    case CommandId::FetchVoltage:
        return FormatNumber(Volts(v), 1);
    case CommandId::MeasureCurrent:
    case CommandId::FetchCurrent:
        return FormatNumber(Amperes(v), 2);
    default:
        return FormatNumber(Watts(v), 3);
    }
}

void ScpiClient::fileCommand(const Call& call) {
    const Value& value = call.parameters.first();
    switch (call.id) {
    case CommandId::RecordFile:
    case CommandId::ProgramFile:
    case CommandId::RunFile: {
        const QString name = std::get<QString>(value);
        if (const QString problem = FileNameProblem(name); !problem.isEmpty())
            return fail(ErrorCode::IllegalParameterValue, problem);
        if (call.id == CommandId::RecordFile)
            selected().setFileNames(name, selected().controlFileName());
        else if (call.id == CommandId::RunFile)
            selected().setRunFileName(name);
        else
            selected().setFileNames(selected().recordFileName(), name);
        return;
    }
    case CommandId::RecordState: {
        if (!std::get<bool>(value)) return selected().stopRecording();
        const FileStart start = selected().startRecording(selected().recordFileName());
        if (!start.started) fail(ErrorCode::FileNameError, start.refusal);
        return;
    }
    default: {
        if (std::get<scpi::RunStop>(value) == scpi::RunStop::Stop) return selected().stopPlayback();
        if (selected().playerState() != Player::State::Idle)
            return fail(ErrorCode::ExecutionError, QStringLiteral("a run is still in progress"));
        if (selected().runs().running())
            return fail(ErrorCode::ProgramCurrentlyRunning, QStringLiteral("a run is going"));
        const FileStart start = selected().startPlayback(selected().controlFileName());
        if (!start.started && selected().tripped())
            fail(ErrorCode::SettingsConflict, selected().tripText());
        else if (!start.started)
            fail(ErrorCode::FileNameError, start.refusal);
    }
    }
}

// RUN:STAT RUN checks the run file and starts it; a refusal names why:
// -285 and the check's first problem, -284 while a run or a playback goes,
// -221 while a trip holds, -257 for a file that cannot be read.
void ScpiClient::runCommand(RunStop what) {
    if (what == RunStop::Stop)
        return selected().stopRun(QStringLiteral("stopped by remote control"));
    if (selected().runFileName().isEmpty())
        return fail(ErrorCode::FileNameError, QStringLiteral("no run file named (RUN:FILE)"));
    if (selected().runs().running() || selected().playerState() != Player::State::Idle)
        return fail(ErrorCode::ProgramCurrentlyRunning,
                    selected().runs().running() ? QStringLiteral("a run is going")
                                                : QStringLiteral("a control file is playing"));
    if (selected().tripped()) return fail(ErrorCode::SettingsConflict, selected().tripText());
    const RunStart start = selected().startRun(selected().runFileName());
    if (start.started) return;
    fail(start.verdict.problems.isEmpty() ? ErrorCode::FileNameError
                                          : ErrorCode::ProgramSyntaxError,
         start.refusal);
}

} // namespace velmora
