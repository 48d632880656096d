#pragma once
// The unit's two models: the name each is chosen by, its limits and the
// current step of its set-point command.

#include "unit/quantities.h"

#include <QString>
#include <optional>

namespace velmora {

enum class Model { None, Small1A20V, Large2A5_25V };

/// The model a first start assumes.
inline constexpr Model kDefaultModel = Model::Small1A20V;

/// A voltage limit and a current limit.
struct Limits {
    Millivolts voltage;
    Milliamps current;
    friend bool operator==(const Limits&, const Limits&) = default;
};

/// The limits of `model`; Model::None has none and gives zeros.
Limits LimitsOf(Model model);

/// The model a current limit names: 1000 mA "1A/20V", 2500 mA "2,5A/25V";
/// any other value names none. The voltage limit never tells the model.
Model ModelFromCurrentLimit(Milliamps currentLimit);

/// The current one step of the command's current field stands for: 5 mA on
/// "1A/20V", 10 mA on "2,5A/25V" (and where no model is chosen).
Milliamps CurrentStep(Model model);

/// The voltage one step of the command's voltage field stands for, on both models.
inline constexpr Millivolts kVoltageStep{100};

/// The name as the settings window shows it: "1A/20V", "2,5A/25V"; empty for none.
QString ModelCaption(Model model);

/// The name with a point for the decimal, for lists separated by commas:
/// "1A/20V", "2.5A/25V", "none".
QString ModelPlainName(Model model);

/// "1A/20V", "2,5A/25V" or "no model".
QString ModelName(Model model);

/// The model a name stands for: "1A/20V", "2,5A/25V" or "2.5A/25V",
/// whatever the case of its letters; nothing for any other text.
std::optional<Model> ParseModelName(const QString& text);

} // namespace velmora
