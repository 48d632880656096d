#pragma once

#include <optional>
#include <string_view>

namespace velmora::sim {

// One model of the unit: how it scales the digits of a set-point command.
struct UnitModel {
    std::string_view name;
    double ampsPerStep;
};

// Both models scale the voltage field alike: one digit step is 0.1 V.
inline constexpr double kVoltsPerStep = 0.1;

// The model the unit is when the user names none.
UnitModel defaultModel();

// Looks a model up by the name printed on its front panel, e.g. "1A/20V".
std::optional<UnitModel> findModel(std::string_view name);

// Every model name, for the help text and error messages.
std::string_view modelNames();

} // namespace velmora::sim
