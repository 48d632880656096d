#include "workbench/units_feed.h"

#include "link/link_status.h"
#include "unit/setpoint_rules.h"

#include <cmath>

namespace velmora {

namespace {

// A set-point from outside, in V or A, as the door takes it in mV or mA;
// nothing for a value no unit could be set to (the door says why for the rest).
std::optional<int> Thousandths(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 1000.0) return std::nullopt;
    return int(std::lround(value * 1000.0));
}

} // namespace

UnitsFeed::UnitsFeed(Units& units, QObject* parent) : BenchFeed(parent), units_(units) {
    connect(&units_, &UnitSet::changed, this, &UnitsFeed::follow);
    follow();
}

UnitsFeed::~UnitsFeed() = default;

// Each unit's counts stay with it when its number moves.
void UnitsFeed::follow() {
    std::vector<Counts> kept;
    for (int n = 1; n <= units_.count(); ++n) {
        Session& session = units_.at(n);
        if (const Counts* had = countsOf(session)) {
            kept.push_back(*had);
            continue;
        }
        kept.push_back({&session});
        watch(session);
    }
    counts_ = std::move(kept);
    emit unitsChanged();
}

void UnitsFeed::watch(Session& session) {
    const auto changedNow = [this, &session] {
        if (const int n = numberOf(session)) emit changed(n);
    };
    const auto tell = [this, &session](const QString& kind, const QString& text) {
        if (const int n = numberOf(session)) emit happened(n, kind, text);
    };
    const auto counts = [this, &session]() -> Counts* {
        for (Counts& c : counts_)
            if (c.session == &session) return &c;
        return nullptr;
    };
    UnitControl& unit = session.unit();
    connect(&unit, &UnitControl::frameArrived, this, [counts](const Measurement& frame) {
        Counts* c = counts();
        if (!c) return;
        if (!frame.values) {
            ++c->unreadable;
            return;
        }
        ++c->frames;
        c->values = frame.values;
    });
    connect(&unit, &UnitControl::commandStarted, this, [counts](const QByteArray&) {
        if (Counts* c = counts()) ++c->commands;
    });
    for (auto signal : {&UnitControl::setpointsChanged, &UnitControl::linkChanged,
                        &UnitControl::modelChanged, &UnitControl::userLimitsChanged})
        connect(&unit, signal, this, changedNow);
    connect(&session, &Session::measured, this, changedNow);
    connect(&session, &Session::protectionChanged, this, changedNow);
    connect(&session, &Session::recordingChanged, this, changedNow);
    connect(&session, &Session::runChanged, this, changedNow);
    connect(&session, &Session::protectionTripped, this,
            [tell](const QString& text) { tell(QStringLiteral("trip"), text); });
    connect(&session, &Session::runEvent, this, [tell](const RunEvent& e) {
        if (e.kind != RunEvent::StepStarted) tell(QStringLiteral("run"), e.text());
    });
    connect(&unit, &UnitControl::zeroed, this, [tell](SetpointSource source) {
        if (source == SetpointSource::OffTimer)
            tell(QStringLiteral("off-timer"),
                 QStringLiteral("output zeroed: the off-timer ran out"));
        else if (source == SetpointSource::Watchdog)
            tell(QStringLiteral("watchdog"),
                 QStringLiteral("output zeroed: a remote client's watchdog ran out"));
        else if (source == SetpointSource::AllOutputsOff)
            tell(QStringLiteral("all-off"), QStringLiteral("output zeroed with every unit's"));
    });
    // The broker's own refusals are answered by the bridge, with the message.
    connect(&unit, &UnitControl::refused, this,
            [tell](SetpointSource source, const DoorAnswer& answer) {
                if (source != SetpointSource::Broker)
                    tell(QStringLiteral("refused"), answer.reason);
            });
}

int UnitsFeed::numberOf(const Session& session) const {
    for (int n = 1; n <= units_.count(); ++n)
        if (&units_.at(n) == &session) return n;
    return 0;
}

const UnitsFeed::Counts* UnitsFeed::countsOf(const Session& session) const {
    for (const Counts& c : counts_)
        if (c.session == &session) return &c;
    return nullptr;
}

QString UnitsFeed::unitModel(int unit) const {
    const Model model = units_.at(unit).unit().model();
    return model == Model::None ? QString() : ModelName(model);
}

UnitState UnitsFeed::state(int unit) const {
    const Session& s = units_.at(unit);
    const Setpoints set = s.unit().setpoints();
    UnitState state;
    const Counts* counts = countsOf(s);
    if (counts && counts->values) {
        state.measured = true;
        state.voltage = Volts(*counts->values);
        state.current = Amperes(*counts->values);
        state.power = Watts(*counts->values);
    }
    state.setVoltage = set.voltage.value / 1000.0;
    state.setCurrent = set.current.value / 1000.0;
    state.output = set != Setpoints{};
    if (s.regulation()) state.mode = QString::fromLatin1(RegulationName(*s.regulation()));
    state.tripped = s.tripped();
    const MeterReadings meters = s.meterReadings();
    state.chargeAh = meters.ampHours;
    state.energyWh = meters.wattHours;
    state.link = LinkWord(s.unit().linkStatus());
    state.recording = s.recording();
    state.run = QString::fromLatin1(RunStateName(s.runs().state())).toLower();
    if (counts) {
        state.framesReceived = counts->frames;
        state.framesUnreadable = counts->unreadable;
        state.commandsSent = counts->commands;
    }
    return state;
}

SetpointLimits UnitsFeed::setpointLimits(int unit) const {
    const UnitControl& u = units_.at(unit).unit();
    if (u.model() == Model::None) return {};
    return {HighestVoltage(u.model(), u.userLimits()).value / 1000.0,
            HighestCurrent(u.model(), u.userLimits()).value / 1000.0, 0.1,
            CurrentStep(u.model()).value / 1000.0};
}

QString UnitsFeed::command(int unit, const UnitCommand& command) {
    if (unit < 1 || unit > units_.count()) return QStringLiteral("there is no unit %1").arg(unit);
    Session& session = units_.at(unit);
    switch (command.kind) {
    case UnitCommand::ClearTrip:
        session.clearTrip();
        return {};
    case UnitCommand::ResetMeters:
        session.resetMeters();
        return {};
    case UnitCommand::Output: {
        if (!command.output) return session.unit().request(SetpointSource::ZeroOutput, {}).reason;
        const std::optional<Setpoints> before = session.unit().setpointsBeforeZero();
        if (!before || session.unit().setpoints() != Setpoints{}) return {};
        return units_.request(unit, SetpointSource::Broker, {before->voltage, before->current})
            .answer.reason;
    }
    case UnitCommand::Setpoints:
        break;
    }
    SetpointChange change;
    if (command.voltage) {
        const auto mv = Thousandths(*command.voltage);
        if (!mv)
            return QStringLiteral("voltage %1 V is past every model's range").arg(*command.voltage);
        change.voltage = Millivolts(*mv);
    }
    if (command.current) {
        const auto ma = Thousandths(*command.current);
        if (!ma)
            return QStringLiteral("current %1 A is past every model's range").arg(*command.current);
        change.current = Milliamps(*ma);
    }
    if (change.empty()) return QStringLiteral("no set-point given");
    const BenchAnswer answer = units_.request(unit, SetpointSource::Broker, change);
    if (answer.refusedBy == 0) return {};
    return answer.refusedBy == unit
               ? answer.answer.reason
               : QStringLiteral("%1: %2").arg(units_.name(answer.refusedBy), answer.answer.reason);
}

} // namespace velmora
