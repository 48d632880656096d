#include "sim/unit_model.h"

#include <array>

namespace velmora::sim {

namespace {

constexpr std::array kModels{
    UnitModel{"1A/20V", 0.005},
    UnitModel{"2,5A/25V", 0.010},
};

} // namespace

UnitModel defaultModel() {
    return kModels.front();
}

std::optional<UnitModel> findModel(std::string_view name) {
    for (const UnitModel& model : kModels) {
        if (model.name == name) return model;
    }
    return std::nullopt;
}

std::string_view modelNames() {
    return "1A/20V, 2,5A/25V";
}

} // namespace velmora::sim
