#include "unit/setpoint_rules.h"

#include <cstdlib>

namespace velmora {

namespace {

// To the nearest multiple of `step`, halves away from zero.
int Nearest(int value, int step) {
    const int half = step / 2;
    const int steps = (std::abs(value) + half) / step;
    return (value < 0 ? -steps : steps) * step;
}

SetpointCheck Refused(const Setpoints& s, Refusal refusal, const QString& reason) {
    return {s, refusal, reason};
}

} // namespace

Millivolts RoundedVoltage(Millivolts voltage) {
    return Millivolts(Nearest(voltage.value, kVoltageStep.value));
}

Milliamps RoundedCurrent(Model model, Milliamps current) {
    return Milliamps(Nearest(current.value, CurrentStep(model).value));
}

SetpointCheck CheckSetpoints(Model model, const UserLimits& user, const Setpoints& asked) {
    const Setpoints s{RoundedVoltage(asked.voltage), RoundedCurrent(model, asked.current)};
    if (s == Setpoints{}) return {s, Refusal::None, {}};
    if (model == Model::None)
        return Refused(s, Refusal::NoModel, QStringLiteral("no model chosen"));
    if (s.voltage < Millivolts(0))
        return Refused(s, Refusal::PastModelRange,
                       QStringLiteral("voltage %1 is below 0").arg(VoltageText(s.voltage)));
    if (s.current < Milliamps(0))
        return Refused(s, Refusal::PastModelRange,
                       QStringLiteral("current %1 is below 0").arg(CurrentText(s.current)));
    const Limits range = LimitsOf(model);
    if (s.voltage > range.voltage)
        return Refused(
            s, Refusal::PastModelRange,
            QStringLiteral("voltage %1 is past the %2 model's %3")
                .arg(VoltageText(s.voltage), ModelName(model), VoltageText(range.voltage)));
    if (s.current > range.current)
        return Refused(
            s, Refusal::PastModelRange,
            QStringLiteral("current %1 is past the %2 model's %3")
                .arg(CurrentText(s.current), ModelName(model), CurrentText(range.current)));
    if (user.voltage && s.voltage > *user.voltage)
        return Refused(s, Refusal::PastUserLimit,
                       QStringLiteral("voltage %1 is above your own limit of %2")
                           .arg(VoltageText(s.voltage), VoltageText(*user.voltage)));
    if (user.current && s.current > *user.current)
        return Refused(s, Refusal::PastUserLimit,
                       QStringLiteral("current %1 is above your own limit of %2")
                           .arg(CurrentText(s.current), CurrentText(*user.current)));
    return {s, Refusal::None, {}};
}

Millivolts HighestVoltage(Model model, const UserLimits& user) {
    const Millivolts limit = Lowered(LimitsOf(model).voltage, user.voltage);
    return WithinLimit(Millivolts(limit.value + kVoltageStep.value), limit, kVoltageStep);
}

Milliamps HighestCurrent(Model model, const UserLimits& user) {
    const Milliamps limit = Lowered(LimitsOf(model).current, user.current);
    return WithinLimit(Milliamps(limit.value + 1), limit, CurrentStep(model));
}

} // namespace velmora
