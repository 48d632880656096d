#pragma once
// The trip rules as the settings store keeps them, in the group "Protection".

#include "core/settings_store.h"
#include "meters/protection.h"

namespace velmora {

/// The stored rules, read against `limits` (the model's): a threshold beyond
/// them, or one that cannot be read, leaves its rule off.
ProtectionSettings LoadProtection(const SettingsStore& store, const Limits& limits);
/// A rule that is off loses its key; false when the file cannot be written.
bool SaveProtection(SettingsStore& store, const ProtectionSettings& settings);

} // namespace velmora
