#pragma once
// The settings group "Runs": the timeout of an `until` that gives none, and
// how many frames in a row make a condition hold.

#include <QString>
#include <QStringList>

namespace velmora {

class SettingsStore;

struct RunSettings {
    static constexpr int kDefaultFrames = 3;
    static constexpr int kMaxFrames = 1000;
    qint64 defaultTimeoutMs = 24LL * 3'600'000; // Timeout
    int frames = kDefaultFrames;                // Frames
    friend bool operator==(const RunSettings&, const RunSettings&) = default;
};

/// Timeout: whole seconds ("86400") or a duration as a run file writes it
/// ("3 h", "90 min"), above 0 and at most 8760 h; Frames: 1 to 1000. A text
/// that is absent or empty keeps the default; one that cannot be read keeps
/// it too and is named in `problems` ("Timeout=soon").
RunSettings ParseRunSettings(const QString& timeout, const QString& frames,
                             QStringList* problems = nullptr);
RunSettings LoadRunSettings(const SettingsStore& store, QStringList* problems = nullptr);

} // namespace velmora
