#include "unit/limits.h"

namespace velmora {

StoredLimit ParseUserLimit(const QString& text, int modelLimit) {
    if (text.isEmpty()) return {};
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') return {std::nullopt, true};
        // Leading zeros may run on; past the model's limit it is out anyway.
        value = std::min(value * 10 + (c.unicode() - u'0'), 99999);
    }
    if (value > modelLimit) return {std::nullopt, true};
    return {value, false};
}

Limits LoweredLimits(Limits limits, const UserLimits& user) {
    return {Lowered(limits.voltage, user.voltage), Lowered(limits.current, user.current)};
}

bool PastLimits(const Limits& limits, const Setpoints& s) {
    return s.voltage > limits.voltage || s.current > limits.current;
}

bool PastUserLimits(const UserLimits& limits, const Setpoints& s) {
    return (limits.voltage && s.voltage > *limits.voltage) ||
           (limits.current && s.current > *limits.current);
}

} // namespace velmora
