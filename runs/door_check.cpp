#include "runs/door_check.h"

#include "runs/run_text.h"

namespace velmora {

namespace {

int ToStep(int value, int step) {
    return (value + step / 2) / step * step;
}

} // namespace

DoorCheck ModelDoorCheck(Model model, const UserLimits& user) {
    return [model, user](int millivolts, int milliamps) -> QString {
        if (model == Model::None) return QStringLiteral("no model is chosen");
        const int mv = ToStep(millivolts, kVoltageStepMv);
        const int ma = ToStep(milliamps, CurrentStepMa(model));
        const Limits limits = LimitsOf(model);
        const QString name = ModelName(model);
        if (mv > limits.voltage)
            return QStringLiteral("above the %1 model's limit of %2")
                .arg(name, VoltsText(limits.voltage));
        if (ma > limits.current)
            return QStringLiteral("above the %1 model's limit of %2")
                .arg(name, AmpsText(limits.current));
        if (user.voltage && mv > *user.voltage)
            return QStringLiteral("above your own limit of %1").arg(VoltsText(*user.voltage));
        if (user.current && ma > *user.current)
            return QStringLiteral("above your own limit of %1").arg(AmpsText(*user.current));
        return {};
    };
}

} // namespace velmora
