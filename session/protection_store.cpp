#include "session/protection_store.h"

namespace velmora {

ProtectionSettings LoadProtection(const SettingsStore& store, const Limits& limits) {
    const QString group = store.groups().protection;
    const auto text = [&](const char* key) { return store.text(group, QString::fromLatin1(key)); };
    return ParseProtectionSettings(
        {text(kOverVoltageKey), text(kOverCurrentKey), text(kOverPowerKey), text(kTripFramesKey)},
        limits);
}

bool SaveProtection(SettingsStore& store, const ProtectionSettings& s) {
    const auto rule = [](const TripRule& r) {
        return r.on ? QString::number(r.threshold) : QString();
    };
    return store.saveTexts(store.groups().protection,
                           {{QString::fromLatin1(kOverVoltageKey), rule(s.voltage)},
                            {QString::fromLatin1(kOverCurrentKey), rule(s.current)},
                            {QString::fromLatin1(kOverPowerKey), rule(s.power)},
                            {QString::fromLatin1(kTripFramesKey), QString::number(s.frames)}});
}

} // namespace velmora
