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

// Why rounded set-points `s` were refused, for the user.
QString ReasonFor(Model model, const UserLimits& user, const Setpoints& s, Refusal refusal) {
    const Limits range = LimitsOf(model);
    switch (refusal) {
    case Refusal::None:
        return {};
    case Refusal::NoModel:
        return QStringLiteral("no model chosen");
    case Refusal::PastModelRange:
        if (s.voltage < Millivolts(0))
            return QStringLiteral("voltage %1 is below 0").arg(VoltageText(s.voltage));
        if (s.current < Milliamps(0))
            return QStringLiteral("current %1 is below 0").arg(CurrentText(s.current));
        if (s.voltage > range.voltage)
            return QStringLiteral("voltage %1 is past the %2 model's %3")
                .arg(VoltageText(s.voltage), ModelName(model), VoltageText(range.voltage));
        return QStringLiteral("current %1 is past the %2 model's %3")
            .arg(CurrentText(s.current), ModelName(model), CurrentText(range.current));
    case Refusal::PastUserLimit:
        if (user.voltage && s.voltage > *user.voltage)
            return QStringLiteral("voltage %1 is above your own limit of %2")
                .arg(VoltageText(s.voltage), VoltageText(*user.voltage));
        return QStringLiteral("current %1 is above your own limit of %2")
            .arg(CurrentText(s.current), CurrentText(user.current.value_or(Milliamps(0))));
    }
    return {};
}

} // namespace

Millivolts RoundedVoltage(Millivolts voltage) {
    return Millivolts(Nearest(voltage.value, kVoltageStep.value));
}

Milliamps RoundedCurrent(Model model, Milliamps current) {
    return Milliamps(Nearest(current.value, CurrentStep(model).value));
}

SetpointCheck JudgeSetpoints(Model model, const UserLimits& user, const Setpoints& asked) {
    const Setpoints s{RoundedVoltage(asked.voltage), RoundedCurrent(model, asked.current)};
    const auto judged = [&](Refusal refusal) { return SetpointCheck{s, refusal, {}}; };
    if (s == Setpoints{}) return judged(Refusal::None);
    if (model == Model::None) return judged(Refusal::NoModel);
    const Limits range = LimitsOf(model);
    if (s.voltage < Millivolts(0) || s.current < Milliamps(0) || s.voltage > range.voltage ||
        s.current > range.current)
        return judged(Refusal::PastModelRange);
    if ((user.voltage && s.voltage > *user.voltage) || (user.current && s.current > *user.current))
        return judged(Refusal::PastUserLimit);
    return judged(Refusal::None);
}

SetpointCheck CheckSetpoints(Model model, const UserLimits& user, const Setpoints& asked) {
    SetpointCheck check = JudgeSetpoints(model, user, asked);
    check.reason = ReasonFor(model, user, check.setpoints, check.refusal);
    return check;
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
