#include "unit/limits.h"

#include <algorithm>

namespace velmora {

StoredLimit ParseUserLimit(const QString& text, qint16 modelLimit) {
    if (text.isEmpty()) return {};
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') return {std::nullopt, true};
        // Leading zeros may run on; past the model's limit it is out anyway.
        value = std::min(value * 10 + (c.unicode() - u'0'), 99999);
    }
    if (value > modelLimit) return {std::nullopt, true};
    return {static_cast<qint16>(value), false};
}

qint16 Lowered(qint16 limit, std::optional<qint16> userLimit) {
    return userLimit ? std::min(limit, *userLimit) : limit;
}

Limits LoweredLimits(Limits limits, const UserLimits& user) {
    return {Lowered(limits.voltage, user.voltage), Lowered(limits.current, user.current)};
}

bool PastLimits(const Limits& limits, int voltageMv, int currentMa) {
    return voltageMv > limits.voltage || currentMa > limits.current;
}

bool PastUserLimits(const UserLimits& limits, int voltageMv, int currentMa) {
    return (limits.voltage && voltageMv > *limits.voltage) ||
           (limits.current && currentMa > *limits.current);
}

qint16 WithinLimit(qint16 setpoint, qint16 limit, int step) {
    if (setpoint <= limit) return setpoint;
    return static_cast<qint16>(std::max(0, limit / step * step));
}

} // namespace velmora
