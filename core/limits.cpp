#include "core/limits.h"

#include "core/constants.h"

#include <QSettings>
#include <QStringList>

namespace velmora {

namespace {

constexpr QLatin1StringView kLimitsSection{"Limits"};

} // namespace

QString UserLimitKey(Model model, bool voltage) {
    if (model == Model::None) return {};
    return (voltage ? QStringLiteral("MaxU_") : QStringLiteral("MaxI_")) +
           QString::number(LimitsOf(model).current);
}

StoredUserLimits ReadStoredUserLimits(Model model) {
    if (model == Model::None) return {};
    QSettings store{QString(kOrganisation), QString()};
    store.beginGroup(kLimitsSection);
    const Limits own = LimitsOf(model);
    StoredUserLimits out;
    const auto read = [&](bool voltage, qint16 modelLimit, std::optional<qint16>& into) {
        const QString key = UserLimitKey(model, voltage);
        const QVariant value = store.value(key);
        const QString text = value.typeId() == QMetaType::QStringList
                                 ? value.toStringList().join(u',')
                                 : value.toString();
        const StoredLimit limit = ParseUserLimit(text, modelLimit);
        into = limit.value;
        if (limit.unreadable) out.unreadable << key + u'=' + text;
    };
    read(true, own.voltage, out.limits.voltage);
    read(false, own.current, out.limits.current);
    return out;
}

UserLimits ReadUserLimits(Model model) {
    return ReadStoredUserLimits(model).limits;
}

bool SaveUserLimits(Model model, const UserLimits& limits) {
    if (model == Model::None) return true;
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
    store.sync();
    return store.status() == QSettings::NoError;
}

Limits SetpointLimits() {
    const UserLimits user = ReadUserLimits(CurrentModel());
    return {Lowered(Shared.VoltageLimit, user.voltage), Lowered(Shared.CurrentLimit, user.current)};
}

} // namespace velmora
