#include "core/limits.h"

#include "core/constants.h"
#include "core/settings_store.h"

#include <QSettings>
#include <algorithm>

namespace velmora {

namespace {

constexpr QLatin1StringView kLimitsSection{"Limits"};

} // namespace

QString UserLimitKey(Model model, bool voltage) {
    if (model == Model::None) return {};
    return (voltage ? QStringLiteral("MaxU_") : QStringLiteral("MaxI_")) +
           QString::number(LimitsOf(model).current);
}

std::optional<qint16> ParseUserLimit(const QString& text, qint16 modelLimit) {
    const auto number = ParseInt16(text);
    if (!number || *number < 0 || *number > modelLimit) return std::nullopt;
    return number;
}

UserLimits ReadUserLimits(Model model) {
    if (model == Model::None) return {};
    QSettings store{QString(kOrganisation), QString()};
    store.beginGroup(kLimitsSection);
    const Limits own = LimitsOf(model);
    return {ParseUserLimit(store.value(UserLimitKey(model, true)).toString(), own.voltage),
            ParseUserLimit(store.value(UserLimitKey(model, false)).toString(), own.current)};
}

void SaveUserLimits(Model model, const UserLimits& limits) {
    if (model == Model::None) return;
    QSettings store{QString(kOrganisation), QString()};
    store.beginGroup(kLimitsSection);
    const auto save = [&store](const QString& key, std::optional<qint16> value) {
        if (value)
            store.setValue(key, QString::number(*value));
        else
            store.remove(key);
    };
    save(UserLimitKey(model, true), limits.voltage);
    save(UserLimitKey(model, false), limits.current);
}

qint16 Lowered(qint16 limit, std::optional<qint16> userLimit) {
    return userLimit ? std::min(limit, *userLimit) : limit;
}

Limits SetpointLimits() {
    const UserLimits user = ReadUserLimits(CurrentModel());
    return {Lowered(Shared.VoltageLimit, user.voltage), Lowered(Shared.CurrentLimit, user.current)};
}

bool PastUserLimits(const UserLimits& limits, int voltageMv, int currentMa) {
    return (limits.voltage && voltageMv > *limits.voltage) ||
           (limits.current && currentMa > *limits.current);
}

} // namespace velmora
