#pragma once
// The per-user settings store: texts under organisation "Tarnholm",
// section "Netzteil". On Linux: $XDG_CONFIG_HOME/Tarnholm.conf.

#include <QString>
#include <optional>

namespace velmora {

/// The text stored under the key; empty when there is none.
QString ReadSetting(const QString& key);
void SaveSetting(const QString& key, const QString& text);

/// The device that COMn maps to, as stored in the "Ports" group; empty when
/// the user has not mapped it.
QString ReadPortMapping(int port);
/// Stores a mapping; an empty device removes it.
void SavePortMapping(int port, const QString& device);

/// A whole number within 16 bits ("20000", "-3"); nothing for any other text,
/// including blanks around the digits.
std::optional<qint16> ParseInt16(const QString& text);

/// Loads the stored settings into the shared state, over the defaults.
/// Numbers that are not whole 16-bit numbers keep their defaults.
void LoadSettings();

} // namespace velmora
